#pragma once

#include "core/rules.h"
#include "model_environment.h"
#include "records.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFileSystemWatcher;
class QSettings;
class QTimer;

namespace corvane {

struct TargetBrowser;
struct WebHandler;
struct Alert;
namespace Bridge {
struct Runner;
}

// The one observable state of the application: configuration, profiles, the
// link queue, status and toast, settings persistence and default-browser
// state. Lives on the main thread; every published field emits its change
// signal on every assignment, even when the value stays the same.
class Model : public QObject {
    Q_OBJECT
    Q_PROPERTY(corvane::Configuration config READ config WRITE setConfig NOTIFY configChanged)
    Q_PROPERTY(QStringList profiles READ profiles WRITE setProfiles NOTIFY profilesChanged)
    Q_PROPERTY(QList<corvane::Pending> pending READ pending WRITE setPending NOTIFY pendingChanged)
    Q_PROPERTY(QList<corvane::Opened> recent READ recent WRITE setRecent NOTIFY recentChanged)
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(std::optional<QString> toast READ toast WRITE setToast NOTIFY toastChanged)
    Q_PROPERTY(bool busy READ busy WRITE setBusy NOTIFY busyChanged)
    Q_PROPERTY(bool loadFailure READ loadFailure WRITE setLoadFailure NOTIFY loadFailureChanged)
    Q_PROPERTY(std::optional<QString> saveError READ saveError WRITE setSaveError NOTIFY saveErrorChanged)
    Q_PROPERTY(QString testURL READ testURL WRITE setTestURL NOTIFY testURLChanged)
    Q_PROPERTY(
        std::optional<corvane::PreviewResult> preview READ preview WRITE setPreview NOTIFY previewChanged)
    Q_PROPERTY(bool isRouting READ isRouting WRITE setIsRouting NOTIFY isRoutingChanged)
    Q_PROPERTY(int attentionCount READ attentionCount WRITE setAttentionCount NOTIFY attentionCountChanged)
    Q_PROPERTY(
        bool isDefaultBrowser READ isDefaultBrowser WRITE setIsDefaultBrowser NOTIFY isDefaultBrowserChanged)
    Q_PROPERTY(std::optional<QString> otherDefaultBrowser READ otherDefaultBrowser WRITE
                   setOtherDefaultBrowser NOTIFY otherDefaultBrowserChanged)
    Q_PROPERTY(bool defaultIsLinkRouter READ defaultIsLinkRouter WRITE setDefaultIsLinkRouter NOTIFY
                   defaultIsLinkRouterChanged)
    Q_PROPERTY(std::optional<corvane::AppTab> requestedTab READ requestedTab WRITE setRequestedTab NOTIFY
                   requestedTabChanged)
    Q_PROPERTY(
        bool installingUpdate READ installingUpdate WRITE setInstallingUpdate NOTIFY installingUpdateChanged)
    Q_PROPERTY(std::optional<corvane::UpdateInfo> availableUpdate READ availableUpdate WRITE
                   setAvailableUpdate NOTIFY availableUpdateChanged)
    Q_PROPERTY(int updateProgress READ updateProgress NOTIFY updateProgressChanged)

public:
    static constexpr int maxPending = 100;
    static constexpr int maxRecent = 50;

    // Loads the settings and checks the default browser.
    explicit Model(ModelEnvironment environment, QObject* parent = nullptr);
    ~Model() override;

    // The application's instance. setupShared() must run once first (main does).
    static Model& shared();
    static Model& setupShared(ModelEnvironment environment);

    // Published fields.
    const Configuration& config() const { return m_config; }
    void setConfig(const Configuration& value); // schedules a save
    const QStringList& profiles() const { return m_profiles; }
    void setProfiles(const QStringList& value);
    const QList<Pending>& pending() const { return m_pending; }
    void setPending(const QList<Pending>& value);
    const QList<Opened>& recent() const { return m_recent; }
    void setRecent(const QList<Opened>& value);
    const QString& status() const { return m_status; }
    void setStatus(const QString& value); // a non-empty text is also flashed
    const std::optional<QString>& toast() const { return m_toast; }
    void setToast(const std::optional<QString>& value);
    bool busy() const { return m_busy; }
    void setBusy(bool value);
    bool loadFailure() const { return m_loadFailure; }
    void setLoadFailure(bool value);
    const std::optional<QString>& saveError() const { return m_saveError; }
    void setSaveError(const std::optional<QString>& value);
    const QString& testURL() const { return m_testURL; }
    void setTestURL(const QString& value);
    const std::optional<PreviewResult>& preview() const { return m_preview; }
    void setPreview(const std::optional<PreviewResult>& value);
    bool isRouting() const { return m_isRouting; }
    void setIsRouting(bool value);
    int attentionCount() const { return m_attentionCount; }
    void setAttentionCount(int value);
    bool isDefaultBrowser() const { return m_isDefaultBrowser; }
    void setIsDefaultBrowser(bool value);
    const std::optional<QString>& otherDefaultBrowser() const { return m_otherDefaultBrowser; }
    void setOtherDefaultBrowser(const std::optional<QString>& value);
    bool defaultIsLinkRouter() const { return m_defaultIsLinkRouter; }
    void setDefaultIsLinkRouter(bool value);
    const std::optional<AppTab>& requestedTab() const { return m_requestedTab; }
    void setRequestedTab(const std::optional<AppTab>& value);
    bool installingUpdate() const { return m_installingUpdate; }
    void setInstallingUpdate(bool value);
    const std::optional<UpdateInfo>& availableUpdate() const { return m_availableUpdate; }
    void setAvailableUpdate(const std::optional<UpdateInfo>& value);
    // How much of the update's archive has arrived, in percent; -1 while
    // nothing is known (no download, or a server that gives no length).
    int updateProgress() const { return m_updateProgress; }
    void setUpdateProgress(int percent);

    // Unpublished state.
    bool autosave() const { return m_autosave; }
    void setAutosave(bool value) { m_autosave = value; }
    bool previewDefaultBanner() const { return m_previewDefaultBanner; }
    void setPreviewDefaultBanner(bool value) { m_previewDefaultBanner = value; }
    const Configuration& savedConfig() const { return m_savedConfig; }
    const QString& configPath() const { return m_env.settingsPath; }
    const std::optional<Uuid>& dismissedPicker() const { return m_dismissedPicker; }
    void setDismissedPicker(const std::optional<Uuid>& id) { m_dismissedPicker = id; }

    // The user-defaults store ("reuseOpenTabs", "connectedBefore", "browser", ...).
    QSettings& userDefaults() const { return *m_userDefaults; }
    Platform& platform() const { return *m_env.platform; }
    // The browser links go to, as the user default "browser" picks it now.
    TargetBrowser targetBrowser() const;
    // Chooses the browser by its id (the user default "browser"); every name
    // shown for it follows through targetBrowserChanged().
    void setTargetBrowser(const QString& id);

    // The profiles of the target browser where the extension is connected
    // now, so an open tab can be reused there; follows tabReuseChanged() and
    // targetBrowserChanged().
    QStringList tabReuseProfiles() const;

    // Status and profiles.
    void flash(const QString& message);
    void refresh(bool quiet);
    void showWindow();
    // Opens a mail to the support address with the version and the system.
    void sendFeedback();
    static QUrl feedbackLink(const QString& address, const QString& version, const QString& systemName);

    // The link queue and the link test.
    // `activation` goes to the browser started for the first of these links,
    // or ends when none is started for it.
    void receive(const QStringList& links, const Activation& activation = {});
    void drain();
    void retry(const Uuid& id, const QString& profile);
    void discard(const Uuid& id);
    void addRule(const Rule& rule);
    void test();
    void openTest();
    QString testHost() const;

    // Settings files.
    void save();
    void revealSettings();
    void revealExtension();

    // Default-browser state. Asking the desktop takes a while: the fields
    // change when its answer arrives.
    void checkDefaultBrowser();
    void setDefault();

    // Updates.
    QString appVersion() const;
    QUrl latestURL() const;
    // Installed by a package: the package manager replaces Corvane, never
    // Corvane itself; an update is announced and its page opened instead.
    bool updatesFromPackage() const { return !m_env.updates.package.isEmpty(); }
    void checkForUpdatesQuietly();
    void checkForUpdates();
    void installUpdate();
    // Stops a running installation before it changes anything; quietly, the
    // user asked for it.
    void cancelUpdate();
    // Forgets the day's check, checks at once and installs what it finds.
    void updateNow();

signals:
    void configChanged();
    void profilesChanged();
    void pendingChanged();
    void recentChanged();
    void statusChanged();
    void toastChanged();
    void busyChanged();
    void loadFailureChanged();
    void saveErrorChanged();
    void testURLChanged();
    void previewChanged();
    void isRoutingChanged();
    void attentionCountChanged();
    void isDefaultBrowserChanged();
    void otherDefaultBrowserChanged();
    void defaultIsLinkRouterChanged();
    void requestedTabChanged();
    void installingUpdateChanged();
    void availableUpdateChanged();
    void updateProgressChanged();
    void targetBrowserChanged();
    void tabReuseChanged();

private:
    // What the settings file held when we last read or wrote it, so that a
    // change on disk can be told from our own saves.
    struct SettingsOnDisk {
        std::optional<std::string> bytes; // none: no file
        std::string error;                // set: the file could not be read
        bool operator==(const SettingsOnDisk&) const = default;
    };

    void load();
    SettingsOnDisk readSettings() const;
    void adoptSettings(const SettingsOnDisk& disk);
    void watchSettings();
    void reloadSettings();
    void scheduleSave();
    void askDefaultBrowser(std::function<void()> then);
    void startHandlerQuery();
    void applyDefaultBrowser(const std::optional<WebHandler>& handler);
    void enqueue(const QStringList& links, const Activation& activation = {});
    void resolveThenEnqueue(QStringList links, QStringList resolved, const Activation& activation);
    void endWaitingActivations();
    void route(const Pending& first);
    void sendRoute(const Pending& first, const TargetBrowser& browser);
    void openInBrowser(const Pending& first, const TargetBrowser& browser);
    void routeSucceeded(const Pending& first, bool reused);
    void routeFailed(const Pending& first, const QString& message);
    void needAttention();
    Bridge::Runner runner(const TargetBrowser& browser) const;
    void appendPending(const Url& url, const std::optional<std::string>& profile, const QString& reason);
    void redecidePausedLinks();
    void offerNewProfiles();
    using Fetched = std::function<void(bool ok, const std::optional<UpdateInfo>& newer)>;
    void fetchLatest(Fetched done);
    void alert(const Alert& alert, std::function<void(int response)> done = {});

    ModelEnvironment m_env;
    std::unique_ptr<QSettings> m_userDefaults;
    QTimer* m_toastTimer = nullptr;
    QTimer* m_saveTimer = nullptr;
    QTimer* m_reloadTimer = nullptr;
    QFileSystemWatcher* m_settingsWatcher = nullptr;
    std::optional<SettingsOnDisk> m_settingsOnDisk;
    // One question to the desktop at a time; requests meanwhile share one
    // more, asked after the answer, so each sees the state after its request.
    bool m_handlerQueryRunning = false;
    bool m_handlerQueryQueued = false;
    QList<std::function<void()>> m_afterHandlerQuery;
    QList<std::function<void()>> m_afterQueuedHandlerQuery;

    Configuration m_config;
    QStringList m_profiles;
    QList<Pending> m_pending;
    QList<Opened> m_recent;
    QString m_status;
    std::optional<QString> m_toast;
    bool m_autosave = true;
    bool m_busy = false;
    bool m_loadFailure = false;
    std::optional<QString> m_saveError;
    QString m_testURL;
    std::optional<PreviewResult> m_preview;
    bool m_isRouting = false;
    int m_attentionCount = 0;
    bool m_isDefaultBrowser = false;
    std::optional<QString> m_otherDefaultBrowser;
    bool m_defaultIsLinkRouter = false;
    bool m_previewDefaultBanner = false;
    Configuration m_savedConfig;
    std::optional<Uuid> m_dismissedPicker;
    // Links decided while an unusable settings file paused routing: the
    // repaired rules decide them again.
    QList<Uuid> m_decidedWhilePaused;
    std::optional<AppTab> m_requestedTab;
    bool m_installingUpdate = false;
    std::optional<UpdateInfo> m_availableUpdate;
    int m_updateProgress = -1;
    std::function<void()> m_cancelInstall;
};

} // namespace corvane
