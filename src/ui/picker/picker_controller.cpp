#include "picker_controller.h"

#include "app/model.h"
#include "core/router.h"
#include "picker_view.h"
#include "platform/platform.h"
#include "ui/kit/appearance.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace corvane {

PickerController::PickerController(Model* model, QObject* parent) : QObject(parent), m_model(model) {}

PickerController::~PickerController()
{
    close();
}

Model& PickerController::model() const
{
    return m_model ? *m_model : Model::shared();
}

bool PickerController::isDark() const
{
    return m_isDark ? m_isDark() : Appearance::shared().dark();
}

void PickerController::present(const Pending& link, const QStringList& profiles)
{
    // The profiles may arrive after the picker (the first link of a fresh
    // start): the same link with other profiles gets a fresh panel.
    if (m_panel && m_presentedID == link.id && m_profiles == profiles)
        return;
    close();
    m_presentedID = link.id;
    m_link = link;
    m_profiles = profiles;
    m_host = QString::fromStdString(Router::ruleHost(link.url));

    const QPointer<PickerController> self(this);
    PickerView::Callbacks callbacks;
    callbacks.choose = [self](int row) {
        if (self)
            self->choose(row);
    };
    callbacks.openApp = [self] {
        if (self)
            self->openApp();
    };
    auto* state = new PickerState;
    auto* view = new PickerView(m_host, profiles, model().targetBrowser().displayName, state,
                                VantraPalette{isDark()}, std::move(callbacks));
    auto* panel = new PickerPanel(view);
    state->setParent(panel);
    panel->onKey = [self](PickerKey key) {
        if (self)
            self->handleKey(key);
    };
    panel->onResign = [self] {
        if (self)
            self->dismiss();
    };
    m_panel = panel;
    m_view = view;
    m_state = state;

    panel->adjustSize();
    panel->move(originAtPointer(panel->size()));
    // Whatever gives way to the picker does so before it is up: a window
    // hidden under an open pop-up would take the pop-up with it.
    if (beforeShowing)
        beforeShowing();
    if (m_panel != panel)
        return; // replaced meanwhile
    panel->show();
    // A pop-up grabs the keyboard as it appears; focus makes the keys land on
    // the panel itself rather than on whichever row is under the pointer.
    panel->activateWindow();
    panel->setFocus(Qt::PopupFocusReason);
}

void PickerController::close()
{
    QPointer<PickerPanel> panel = m_panel;
    m_panel = nullptr;
    m_view = nullptr;
    m_state = nullptr;
    m_presentedID.reset();
    if (!panel)
        return;
    // Hiding it ourselves is not the user setting the link aside.
    panel->onResign = nullptr;
    panel->onKey = nullptr;
    panel->hide();
    panel->deleteLater();
}

void PickerController::handleKey(PickerKey key)
{
    const int count = int(m_profiles.size());
    switch (key.kind) {
    case PickerKey::number:
        if (key.row >= 0 && key.row < count) {
            if (m_state)
                m_state->setSelected(key.row);
            choose(key.row);
        }
        break;
    case PickerKey::escape:
        dismiss();
        break;
    case PickerKey::enter:
        if (m_state && m_state->selected() >= 0 && m_state->selected() < count)
            choose(m_state->selected());
        break;
    case PickerKey::up:
        if (m_state)
            m_state->setSelected(std::max(m_state->selected() - 1, 0));
        break;
    case PickerKey::down:
        if (m_state && count > 0)
            m_state->setSelected(std::min(m_state->selected() + 1, count - 1));
        break;
    case PickerKey::other:
        break;
    }
}

void PickerController::choose(int row)
{
    if (row < 0 || row >= m_profiles.size() || !m_panel)
        return;
    const QString profile = m_profiles[row];
    const bool always = m_state && m_state->always();
    const QString host = m_host;
    const Uuid id = m_link.id;
    // The panel goes first, so nothing the model does next can land on it.
    close();
    Model& target = model();
    if (always && !host.isEmpty())
        target.addRule(Rule::make(MatchKind::domain, host.toStdString(), profile.toStdString()));
    target.retry(id, profile);
}

void PickerController::dismiss()
{
    if (!m_panel || !m_presentedID)
        return;
    const Uuid id = *m_presentedID;
    close();
    Model& target = model();
    target.setDismissedPicker(id);
    target.setStatus("The link is waiting under Links.");
}

void PickerController::openApp()
{
    close();
    model().showWindow();
}

QPoint PickerController::origin(const QPoint& mouse, const QSize& size, const QRect& available)
{
    constexpr int inset = 8;
    const int left = available.x();
    const int top = available.y();
    const int right = available.x() + available.width();
    const int bottom = available.y() + available.height();
    const int x = std::min(right - size.width() - inset, std::max(mouse.x() + inset, left + inset));
    const int y = std::max(top + inset, std::min(mouse.y() + inset, bottom - size.height() - inset));
    return QPoint(x, y);
}

QPoint PickerController::originAtPointer(const QSize& size)
{
    const QPoint mouse = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(mouse);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1440, 900);
    return origin(mouse, size, available);
}

} // namespace corvane
