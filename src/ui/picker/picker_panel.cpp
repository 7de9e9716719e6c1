#include "picker_panel.h"

#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace corvane {

PickerPanel::PickerPanel(QWidget* content) : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint)
{
    setWindowTitle("Open link in profile");
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
}

std::optional<PickerKey> PickerPanel::map(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: // the keypad's
        return PickerKey{PickerKey::enter};
    case Qt::Key_Escape:
        return PickerKey{PickerKey::escape};
    case Qt::Key_Down:
        return PickerKey{PickerKey::down};
    case Qt::Key_Up:
        return PickerKey{PickerKey::up};
    default:
        break;
    }
    // The digit keys by their place as well as by the character they type,
    // so layouts whose digits need Shift still pick by number.
    if (event.key() >= Qt::Key_1 && event.key() <= Qt::Key_9)
        return PickerKey{PickerKey::number, event.key() - Qt::Key_1};
    const QString text = event.text();
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '9')
        return PickerKey{PickerKey::number, text[0].unicode() - '1'};
    return std::nullopt;
}

void PickerPanel::keyPressEvent(QKeyEvent* event)
{
    if (const std::optional<PickerKey> key = map(*event)) {
        event->accept();
        if (onKey)
            onKey(*key);
        return;
    }
    QWidget::keyPressEvent(event);
}

void PickerPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_grabTries = 0;
    QTimer::singleShot(0, this, &PickerPanel::takeInput);
}

// A pop-up's own grab is asked for before its window is on the screen, and
// X refuses to grab for a window that is not: when no window of ours has
// the focus (the first link of a fresh start, or the panel has just closed
// for the picker) the keys would go elsewhere. So the keyboard and the
// pointer are taken again once the window is up, retrying for a moment.
void PickerPanel::takeInput()
{
    constexpr int tries = 50;
    constexpr int pauseMs = 20;
    QWindow* window = windowHandle();
    if (!isVisible() || !window)
        return;
    const bool keys = window->setKeyboardGrabEnabled(true);
    const bool pointer = window->setMouseGrabEnabled(true);
    if ((keys && pointer) || ++m_grabTries >= tries)
        return;
    QTimer::singleShot(pauseMs, this, &PickerPanel::takeInput);
}

void PickerPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (auto resign = onResign) {
        onResign = nullptr;
        resign();
    }
}

} // namespace corvane
