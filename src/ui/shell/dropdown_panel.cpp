#include "dropdown_panel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QWindow>

namespace corvane {

namespace {

// A tool window has no taskbar entry; unpinned the panel also stays above
// the windows of other applications, as a menu does.
constexpr Qt::WindowFlags unpinnedFlags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

bool pinnedInStore(const QSettings& store)
{
    return store.value(QStringLiteral("pinWindow"), false).toBool();
}

bool isInside(const QWidget* window, const QWidget* panel)
{
    for (const QWidget* w = window; w; w = w->parentWidget())
        if (w == panel)
            return true;
    return false;
}

} // namespace

DropdownPanel::DropdownPanel(QSettings& userDefaults, QWidget* parent)
    : QWidget(parent, unpinnedFlags), m_userDefaults(userDefaults)
{
    setWindowTitle(QStringLiteral("Corvane"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(panelSize);
}

void DropdownPanel::setContent(QWidget* content)
{
    delete m_content;
    m_content = content;
    if (!content)
        return;
    content->setParent(this);
    content->setGeometry(rect());
    content->show();
}

void DropdownPanel::resizeEvent(QResizeEvent* event)
{
    if (m_content)
        m_content->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void DropdownPanel::applyPin()
{
    m_pinned = pinnedInStore(m_userDefaults);
    setOnTop(!m_pinned);
}

bool DropdownPanel::onTop() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

// QWidget::setWindowFlags would recreate the window and take it off the
// screen; telling the widget and the live window separately changes only the
// stacking, so an open panel stays open and keeps its place and focus.
void DropdownPanel::setOnTop(bool onTop)
{
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (flags == windowFlags())
        return;
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle())
        window->setFlags(flags);
}

void DropdownPanel::dismiss()
{
    hide();
    if (onDismiss)
        onDismiss();
}

void DropdownPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || isActiveWindow())
        return;
    // The window that took the activation is known only once this event is
    // handled, so the check waits one turn of the event loop.
    QTimer::singleShot(0, this, [self = QPointer<DropdownPanel>(this)] {
        if (self)
            self->clickAwayCheck();
    });
}

void DropdownPanel::yieldKeyboard()
{
    if (isVisible() && !staysOpenWithoutFocus())
        dismiss();
}

bool DropdownPanel::staysOpenWithoutFocus() const
{
    if (sheetOpen())
        return true;
    // One of our alerts runs over the panel; it comes back when the alert ends.
    if (QApplication::activeModalWidget())
        return true;
    return pinnedInStore(m_userDefaults);
}

void DropdownPanel::clickAwayCheck()
{
    if (!isVisible() || isActiveWindow())
        return;
    if (staysOpenWithoutFocus())
        return;
    // A window of the panel's own (a dialog it opened) took the focus.
    if (const QWidget* active = QApplication::activeWindow();
        active && active != this && isInside(active, this))
        return;
    dismiss();
}

void DropdownPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!sheetOpen())
        dismiss();
}

// Pinned, the panel moves with its background; the window manager does the
// moving where it can, so the panel snaps and stays inside screens as any
// window does.
void DropdownPanel::mousePressEvent(QMouseEvent* event)
{
    if (!m_pinned || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void DropdownPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragOffset) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - *m_dragOffset);
    event->accept();
}

void DropdownPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragOffset) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragOffset.reset();
    event->accept();
}

} // namespace corvane
