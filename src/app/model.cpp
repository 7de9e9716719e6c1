#include "model.h"

#include "bridge.h"
#include "platform/platform.h"
#include "presenters.h"
#include "tab_relay.h"
#include "unwrap_resolver.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSettings>
#include <QTimer>

namespace corvane {

namespace {

QPointer<Model> sharedModel;

// Observers redraw on every assignment, so the signal goes out even when the
// value did not change.
template <typename T> void publish(Model* model, T& field, const T& value, void (Model::*changed)())
{
    field = value;
    emit(model->*changed)();
}

QTimer* singleShotTimer(QObject* parent)
{
    auto* timer = new QTimer(parent);
    timer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; these delays are promises.
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

std::optional<QStringList> decodeProfiles(const QByteArray& output)
{
    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isArray())
        return std::nullopt;
    QStringList names;
    for (const QJsonValue& value : document.array()) {
        if (!value.isString())
            return std::nullopt;
        names << value.toString();
    }
    return names;
}

} // namespace

Model::Model(ModelEnvironment environment, QObject* parent)
    : QObject(parent), m_env(std::move(environment)),
      m_userDefaults(std::make_unique<QSettings>(m_env.userDefaultsPath, QSettings::IniFormat)),
      m_autosave(m_env.autosave)
{
    Q_ASSERT(m_env.platform);
    if (!m_env.resolver) {
        m_env.resolver = [](const Url& url, QObject* context, std::function<void(const Url&)> done) {
            Unwrap::resolve(url, context, std::move(done));
        };
    }
    m_toastTimer = singleShotTimer(this);
    connect(m_toastTimer, &QTimer::timeout, this, [this] { setToast(std::nullopt); });
    m_saveTimer = singleShotTimer(this);
    connect(m_saveTimer, &QTimer::timeout, this, &Model::save);
    m_reloadTimer = singleShotTimer(this);
    connect(m_reloadTimer, &QTimer::timeout, this, &Model::reloadSettings);

    if (m_env.tabs)
        connect(m_env.tabs, &TabRelay::connectionsChanged, this, &Model::tabReuseChanged);

    load();
    checkDefaultBrowser();
}

Model::~Model() = default;

Model& Model::shared()
{
    if (!sharedModel)
        qFatal("Model::shared() used before Model::setupShared()");
    return *sharedModel;
}

Model& Model::setupShared(ModelEnvironment environment)
{
    delete sharedModel.data();
    sharedModel = new Model(std::move(environment), QCoreApplication::instance());
    return *sharedModel;
}

void Model::setConfig(const Configuration& value)
{
    publish(this, m_config, value, &Model::configChanged);
    scheduleSave();
}

void Model::setProfiles(const QStringList& value)
{
    publish(this, m_profiles, value, &Model::profilesChanged);
}
void Model::setPending(const QList<Pending>& value)
{
    publish(this, m_pending, value, &Model::pendingChanged);
}
void Model::setRecent(const QList<Opened>& value)
{
    publish(this, m_recent, value, &Model::recentChanged);
}

void Model::setStatus(const QString& value)
{
    publish(this, m_status, value, &Model::statusChanged);
    if (!value.isEmpty())
        flash(value);
}

void Model::setToast(const std::optional<QString>& value)
{
    publish(this, m_toast, value, &Model::toastChanged);
}
void Model::setBusy(bool value)
{
    publish(this, m_busy, value, &Model::busyChanged);
}
void Model::setLoadFailure(bool value)
{
    publish(this, m_loadFailure, value, &Model::loadFailureChanged);
}

void Model::setSaveError(const std::optional<QString>& value)
{
    publish(this, m_saveError, value, &Model::saveErrorChanged);
}

void Model::setTestURL(const QString& value)
{
    publish(this, m_testURL, value, &Model::testURLChanged);
}

void Model::setPreview(const std::optional<PreviewResult>& value)
{
    publish(this, m_preview, value, &Model::previewChanged);
}

void Model::setIsRouting(bool value)
{
    publish(this, m_isRouting, value, &Model::isRoutingChanged);
}

void Model::setAttentionCount(int value)
{
    publish(this, m_attentionCount, value, &Model::attentionCountChanged);
}

void Model::setIsDefaultBrowser(bool value)
{
    publish(this, m_isDefaultBrowser, value, &Model::isDefaultBrowserChanged);
}

void Model::setOtherDefaultBrowser(const std::optional<QString>& value)
{
    publish(this, m_otherDefaultBrowser, value, &Model::otherDefaultBrowserChanged);
}

void Model::setDefaultIsLinkRouter(bool value)
{
    publish(this, m_defaultIsLinkRouter, value, &Model::defaultIsLinkRouterChanged);
}

void Model::setRequestedTab(const std::optional<AppTab>& value)
{
    publish(this, m_requestedTab, value, &Model::requestedTabChanged);
}

void Model::setInstallingUpdate(bool value)
{
    publish(this, m_installingUpdate, value, &Model::installingUpdateChanged);
}

void Model::setAvailableUpdate(const std::optional<UpdateInfo>& value)
{
    publish(this, m_availableUpdate, value, &Model::availableUpdateChanged);
}

void Model::setUpdateProgress(int percent)
{
    publish(this, m_updateProgress, percent, &Model::updateProgressChanged);
}

TargetBrowser Model::targetBrowser() const
{
    return m_env.platform->targetBrowser(m_userDefaults->value("browser").toString());
}

QStringList Model::tabReuseProfiles() const
{
    return m_env.tabs ? m_env.tabs->connectedProfiles(targetBrowser().id) : QStringList();
}

void Model::setTargetBrowser(const QString& id)
{
    if (id == m_userDefaults->value("browser").toString())
        return;
    m_userDefaults->setValue("browser", id);
    emit targetBrowserChanged();
}

Bridge::Runner Model::runner(const TargetBrowser& browser) const
{
    Bridge::Runner runner;
    runner.program = m_env.platform->bridgeRunner();
    runner.arguments = QStringList{"--browser", browser.id};
    runner.browserName = browser.displayName;
    runner.timeoutMs = m_env.bridgeTimeoutMs;
    runner.graceMs = m_env.bridgeGraceMs;
    return runner;
}

// Restarting the one timer cancels the older message's countdown, so a newer
// message always keeps its full time on screen.
void Model::flash(const QString& message)
{
    setToast(message);
    m_toastTimer->start(m_env.toastMs);
}

void Model::showWindow()
{
    if (m_env.window)
        m_env.window->showWindow();
}

void Model::needAttention()
{
    setAttentionCount(m_attentionCount + 1);
    showWindow();
}

// A picker that came up before the profiles were known (the first link of a
// fresh start) shows them once they are.
void Model::offerNewProfiles()
{
    if (m_isRouting || m_loadFailure || m_pending.isEmpty() || !m_env.picker)
        return;
    const Pending& head = m_pending.first();
    if (!head.profile && !head.attempted && m_dismissedPicker != head.id)
        m_env.picker->present(head, m_profiles);
}

void Model::refresh(bool quiet)
{
    if (m_busy)
        return;
    setBusy(true);
    const TargetBrowser browser = targetBrowser();
    Bridge::call({{"action", "profiles"}}, runner(browser), this,
                 [this, quiet, name = browser.displayName](const Bridge::Result& result) {
                     const std::optional<QStringList> names =
                         result.ok() ? decodeProfiles(*result.output) : std::nullopt;
                     if (names) {
                         setProfiles(*names);
                         offerNewProfiles();
                         if (!quiet) {
                             const qsizetype count = names->size();
                             setStatus(QStringLiteral("Connected to %1. %2 %3 found.")
                                           .arg(name)
                                           .arg(count)
                                           .arg(count == 1 ? "profile" : "profiles"));
                         }
                         m_userDefaults->setValue("connectedBefore", true);
                     } else {
                         // No Automation permission exists here, so no hint about it is added.
                         setStatus(result.ok() ? QStringLiteral("The data couldn't be read because it "
                                                                "isn't in the correct format.")
                                               : result.error);
                     }
                     setBusy(false);
                 });
}

} // namespace corvane
