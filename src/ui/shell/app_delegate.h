#pragma once

#include "app/presenters.h"
#include "dropdown_panel.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>

#include <functional>
#include <optional>

class QAction;
class QMenu;

namespace corvane {

class Model;
class PickerController;

// The application shell: the tray icon and its menu, the dropdown panel and
// its shortcuts, the start-up sequence, quitting and feedback. One instance
// for the life of the process; the model reaches it as its window presenter.
class AppDelegate : public QObject, public WindowPresenter {
    Q_OBJECT

public:
    struct Launch {
        QStringList arguments;     // the process's own, for the two switches
        bool defaultLaunch = true; // false when the desktop started us to open links
        // Hands over the links received so far; run as the last step, before the drain.
        std::function<void()> receiveHeld = {};
    };
    // Writes the preview images into a folder; the process's exit code.
    using PreviewRenderer = std::function<int(const QString& folder)>;

    static constexpr int showDelayMs = 300;
    static constexpr int clickGuardMs = 300;
    static constexpr int activeCheckDelayMs = 100;

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // From the start of start() on.
    static AppDelegate* shared();

    // The start-up sequence. Returns the exit code when the process was only
    // to render previews, nullopt when the application runs.
    std::optional<int> start(Model& model, const Launch& launch);

    DropdownPanel* window() const { return m_window; }
    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    QMenu* statusMenu();
    qint64 closedAt() const { return m_closedAt; }

    // What the tray, the menus and the shortcuts do.
    void show();
    void hidePanel();
    void showSettings();
    void checkForUpdates();
    void sendFeedback();
    void quit();
    void statusItemClicked(QSystemTrayIcon::ActivationReason reason);

    // Creates or removes the tray icon as "showInMenuBar" says, and pins or
    // unpins the panel as "pinWindow" says.
    void applyMenuBarVisibility();
    void positionUnderIcon();

    void showWindow() override;

    // The picker takes the keyboard from the panel when it comes up.
    void attachPicker(PickerController& picker);

    // Set before start(); tests replace them.
    PreviewRenderer renderPreviews;      // empty: this build renders none
    std::function<qint64()> clock;       // milliseconds, monotonic
    std::function<void()> terminate;     // ends the application
    std::function<bool()> trayAvailable; // is there a tray host to show an icon in

signals:
    // The panel was put on the screen and painted.
    void panelPainted();

private:
    void buildPanel();
    void installShortcuts();
    bool darkPanel() const;

    Model* m_model = nullptr;
    QPointer<DropdownPanel> m_window;
    QPointer<QSystemTrayIcon> m_statusItem;
    QPointer<QMenu> m_statusMenu;
    qint64 m_closedAt;
};

} // namespace corvane
