#include "app_delegate.h"

#include "app/model.h"
#include "dropdown_panel.h"
#include "panel_placement.h"
#include "platform/platform.h"
#include "run_in_front.h"
#include "tray_artwork.h"
#include "ui/picker/picker_controller.h"
#include "ui/picker/picker_view.h"
#include "ui/kit/appearance.h"
#include "ui/kit/preferences.h"
#include "ui/window/content_view.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <limits>

namespace corvane {

namespace {

QPointer<AppDelegate> sharedDelegate;

qint64 monotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}

// Tells the shell when the panel has been painted after being shown.
class PaintWatcher : public QObject {
public:
    PaintWatcher(QWidget* watched, std::function<void()> painted)
        : QObject(watched), m_painted(std::move(painted))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            m_pending = true;
        else if (event->type() == QEvent::Paint && m_pending) {
            m_pending = false;
            QTimer::singleShot(0, this, [this] { m_painted(); });
        }
        return false;
    }

private:
    std::function<void()> m_painted;
    bool m_pending = false;
};

// "--render-previews FOLDER": the folder, when the switch has one.
std::optional<QString> previewFolder(const QStringList& arguments)
{
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1String("--render-previews"))
            return arguments[i + 1];
    return std::nullopt;
}

} // namespace

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent), clock(monotonicMs), terminate([] { QCoreApplication::quit(); }),
      trayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      m_closedAt(std::numeric_limits<qint64>::min() / 2)
{
}

AppDelegate::~AppDelegate()
{
    delete m_window.data();
    delete m_statusMenu.data();
}

AppDelegate* AppDelegate::shared()
{
    return sharedDelegate;
}

std::optional<int> AppDelegate::start(Model& model, const Launch& launch)
{
    // From here on the picker and the alerts can reach the panel.
    sharedDelegate = this;
    m_model = &model;

    // Rendering previews is all such a process does.
    if (const std::optional<QString> folder = previewFolder(launch.arguments)) {
        if (renderPreviews)
            return renderPreviews(*folder);
        std::fprintf(stderr, "corvane: this build renders no previews\n");
        return 2;
    }

    // The panel with the main view; every close is recorded.
    buildPanel();

    // The main menu's shortcuts, the tray icon and the pin, kept in step with
    // the user defaults.
    installShortcuts();
    applyMenuBarVisibility();
    Preferences& preferences = Preferences::of(model);
    connect(&preferences, &Preferences::showInMenuBarChanged, this, &AppDelegate::applyMenuBarVisibility);
    connect(&preferences, &Preferences::pinWindowChanged, this, &AppDelegate::applyMenuBarVisibility);
    // The tray follows the desktop's scheme, whatever the window is set to.
    connect(&Appearance::shared(), &Appearance::changed, this, [this] {
        if (m_statusItem)
            m_statusItem->setIcon(TrayArtwork::icon(darkPanel()));
    });

    // An ordinary launch opens the panel; a launch for a link leaves the
    // person where they clicked it.
    if (launch.defaultLaunch) {
        QTimer::singleShot(showDelayMs, Qt::PreciseTimer, this, [this] {
            if (m_window)
                show();
        });
    }

    // The profiles, quietly, when the browser was reached before and runs now.
    if (model.userDefaults().value(QStringLiteral("connectedBefore"), false).toBool() &&
        model.platform().isBrowserRunning(model.targetBrowser()))
        model.refresh(true);

    // The person may have changed the default browser while away. Asking
    // the desktop takes a moment, so a panel that is just opening paints first.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            return;
        QTimer::singleShot(activeCheckDelayMs, this, [this] {
            if (m_model)
                m_model->checkDefaultBrowser();
        });
    });

    // Updates: at most one check a day, or at once and installing with --update-now.
    if (launch.arguments.contains(QStringLiteral("--update-now")))
        model.updateNow();
    else
        model.checkForUpdatesQuietly();

    // Links that arrived during start-up, now that the panel and the picker
    // can take them.
    if (launch.receiveHeld)
        launch.receiveHeld();
    model.drain();
    return std::nullopt;
}

void AppDelegate::buildPanel()
{
    m_window = new DropdownPanel(m_model->userDefaults());
    auto* view = new ContentView(*m_model);
    m_window->setContent(view);
    m_window->hasSheet = [view] { return view->editor() != nullptr; };
    m_window->onDismiss = [self = QPointer<AppDelegate>(this)] {
        if (self)
            self->m_closedAt = self->clock();
    };
    new PaintWatcher(m_window, [this] { emit panelPainted(); });
}

void AppDelegate::installShortcuts()
{
    // No menu bar on this desktop: the main menu's keys are the panel's own.
    const auto add = [this](const QString& title, const QKeySequence& keys, void (AppDelegate::*slot)()) {
        auto* action = new QAction(title, m_window);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        m_window->addAction(action);
    };
    add(QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), &AppDelegate::showSettings);
    add(QStringLiteral("Close Window"), QKeySequence(Qt::CTRL | Qt::Key_W), &AppDelegate::hidePanel);
    add(QStringLiteral("Quit Corvane"), QKeySequence(Qt::CTRL | Qt::Key_Q), &AppDelegate::quit);
}

QMenu* AppDelegate::statusMenu()
{
    if (m_statusMenu)
        return m_statusMenu;
    m_statusMenu = new QMenu;
    m_statusMenu->addAction(QStringLiteral("Open Corvane"), this, &AppDelegate::show);
    m_statusMenu->addAction(QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                            &AppDelegate::showSettings);
    m_statusMenu->addAction(QStringLiteral("Check for Updates…"), this, &AppDelegate::checkForUpdates);
    m_statusMenu->addAction(QStringLiteral("Send Feedback…"), this, &AppDelegate::sendFeedback);
    m_statusMenu->addSeparator();
    m_statusMenu->addAction(QStringLiteral("Quit Corvane"), QKeySequence(Qt::CTRL | Qt::Key_Q), this,
                            &AppDelegate::quit);
    return m_statusMenu;
}

bool AppDelegate::darkPanel() const
{
    return Appearance::shared().systemDark();
}

void AppDelegate::applyMenuBarVisibility()
{
    if (m_window)
        m_window->applyPin();
    if (!m_model)
        return;

    // Only a stored false hides the icon; anything unreadable counts as true.
    const QVariant stored = m_model->userDefaults().value(QStringLiteral("showInMenuBar"));
    const bool storedFalse =
        stored.typeId() == QMetaType::Bool ? !stored.toBool() : stored.toString() == QLatin1String("false");
    const bool hidden = stored.isValid() && storedFalse;
    if (hidden) {
        if (m_statusItem) {
            m_statusItem->hide();
            delete m_statusItem.data();
        }
        return;
    }
    if (m_statusItem)
        return;
    m_statusItem = new QSystemTrayIcon(TrayArtwork::icon(darkPanel()), this);
    m_statusItem->setToolTip(QStringLiteral("Corvane"));
    m_statusItem->setContextMenu(statusMenu());
    connect(m_statusItem, &QSystemTrayIcon::activated, this, &AppDelegate::statusItemClicked);
    m_statusItem->show();
}

void AppDelegate::statusItemClicked(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return; // the context menu opens by itself; double and middle clicks mean nothing
    if (QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier)) {
        statusMenu()->popup(QCursor::pos());
        return;
    }
    if (!m_window)
        return;
    if (m_window->isVisible()) {
        m_window->dismiss();
        return;
    }
    // The press that took the focus from the open panel closed it a moment
    // ago; the same press must not open it again.
    if (clock() - m_closedAt <= clickGuardMs)
        return;
    show();
}

void AppDelegate::positionUnderIcon()
{
    if (!m_window)
        return;
    std::optional<QRect> icon;
    if (m_statusItem && trayAvailable())
        icon = m_statusItem->geometry();
    QList<ScreenArea> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << ScreenArea{screen->geometry(), screen->availableGeometry()};
    m_window->move(corvane::positionUnderIcon(m_window->size(), icon, screens, QCursor::pos()));
}

void AppDelegate::show()
{
    if (!m_window)
        return;
    positionUnderIcon();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AppDelegate::showWindow()
{
    show();
}

void AppDelegate::attachPicker(PickerController& picker)
{
    picker.beforeShowing = [self = QPointer<AppDelegate>(this)] {
        if (self && self->m_window)
            self->m_window->yieldKeyboard();
    };
}

void AppDelegate::hidePanel()
{
    if (m_window)
        m_window->dismiss();
}

void AppDelegate::showSettings()
{
    if (m_model)
        m_model->setRequestedTab(AppTab::settings);
    show();
}

void AppDelegate::checkForUpdates()
{
    if (m_model)
        m_model->checkForUpdates();
}

void AppDelegate::sendFeedback()
{
    if (m_model)
        m_model->sendFeedback();
}

void AppDelegate::quit()
{
    if (!m_model || m_model->pending().isEmpty()) {
        terminate();
        return;
    }
    // Waiting links live only in memory.
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Corvane"));
    box.setText(QStringLiteral("Discard pending links and quit?"));
    box.setInformativeText(QStringLiteral("Pending links are kept in memory only."));
    QPushButton* keep = box.addButton(QStringLiteral("Keep running"), QMessageBox::RejectRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard and quit"), QMessageBox::DestructiveRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    runInFront(box);
    if (box.clickedButton() == discard)
        terminate();
}

} // namespace corvane
