#include "model.h"

#include "core/update_feed.h"
#include "platform/platform.h"
#include "presenters.h"
#include "updater.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTimer>

namespace corvane {

namespace {

constexpr double day = 86400;
constexpr qint64 maxFeedBytes = 1 << 20;

// The feed's addresses are opened and downloaded: web addresses only, never a
// local file or another program's link.
std::optional<QUrl> webUrl(const std::optional<std::string>& text)
{
    if (!text)
        return std::nullopt;
    const QUrl url(QString::fromStdString(*text), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == "https" || scheme == "http")
               ? std::optional(url)
               : std::nullopt;
}

} // namespace

QString Model::appVersion() const
{
    return m_env.updates.version.isEmpty() ? QStringLiteral("0") : m_env.updates.version;
}

QUrl Model::latestURL() const
{
    const QVariant stored = m_userDefaults->value(QStringLiteral("updateFeedURL"));
    if (stored.typeId() == QMetaType::QString) {
        const QUrl url(stored.toString(), QUrl::StrictMode);
        if (url.isValid() && !url.isRelative())
            return url;
    }
    return QUrl(m_env.updates.feedURL);
}

void Model::fetchLatest(Fetched done)
{
    auto* network = new QNetworkAccessManager(this);
    QNetworkRequest request(latestURL());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(m_env.updates.feedTimeoutMs);
    QNetworkReply* reply = network->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxFeedBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, network, reply, done = std::move(done)] {
        network->deleteLater();
        const QByteArray body = reply->readAll();
        const bool answered = reply->error() == QNetworkReply::NoError &&
                              reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        const auto entry = answered ? UpdateFeed::parse(body.toStdString()) : std::nullopt;
        const auto page = entry ? webUrl(entry->page) : std::nullopt;
        if (!page) {
            done(false, std::nullopt); // a failure leaves the announcement as it was
            return;
        }
        std::optional<UpdateInfo> newer;
        if (UpdateFeed::isNewer(entry->version, appVersion().toStdString()))
            newer = UpdateInfo{QString::fromStdString(entry->version), *page, webUrl(entry->zip)};
        setAvailableUpdate(newer);
        done(true, newer);
    });
}

void Model::checkForUpdatesQuietly()
{
    const double last = m_userDefaults->value(QStringLiteral("lastUpdateCheck"), 0.0).toDouble();
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    if (!(now - last > day))
        return;
    // Stored first, so that a check that fails also counts as the day's.
    m_userDefaults->setValue(QStringLiteral("lastUpdateCheck"), now);
    m_userDefaults->sync();
    fetchLatest([](bool, const std::optional<UpdateInfo>&) {});
}

void Model::checkForUpdates()
{
    fetchLatest([this](bool ok, const std::optional<UpdateInfo>& newer) {
        if (!ok) {
            alert({QStringLiteral("Couldn't check for updates"),
                   QStringLiteral("Check your connection and try again."),
                   {}});
        } else if (!newer) {
            alert({QStringLiteral("You're up to date"),
                   QStringLiteral("Corvane ") + appVersion() + QStringLiteral(" is the latest version."),
                   {}});
        } else if (updatesFromPackage()) {
            alert({QStringLiteral("Corvane ") + newer->version + QStringLiteral(" is available"),
                   QStringLiteral("You have ") + appVersion() +
                       QStringLiteral(". Corvane was installed from a package: install the new package "
                                      "from the website."),
                   {QStringLiteral("Open website"), QStringLiteral("Later")}},
                  [this](int response) {
                      if (response == AlertPresenter::firstButton)
                          installUpdate();
                  });
        } else {
            alert({QStringLiteral("Corvane ") + newer->version + QStringLiteral(" is available"),
                   QStringLiteral("You have ") + appVersion() +
                       QStringLiteral(". Install it now; Corvane restarts by itself."),
                   {QStringLiteral("Install update"), QStringLiteral("Later")}},
                  [this](int response) {
                      if (response == AlertPresenter::firstButton)
                          installUpdate();
                  });
        }
    });
}

void Model::installUpdate()
{
    if (!m_availableUpdate || m_installingUpdate)
        return;
    const UpdateInfo update = *m_availableUpdate;
    // The package manager owns a packaged copy: replacing its files would
    // leave it with a version it does not know.
    if (!update.zip || updatesFromPackage()) {
        m_env.platform->openUrl(update.page);
        return;
    }
    const auto start = [this, update] {
        // The question may have stayed open while another installation began.
        if (m_installingUpdate)
            return;
        setInstallingUpdate(true);
        // The status is shown once, as a toast; the banner's bar shows the rest.
        setStatus(QStringLiteral("Downloading Corvane ") + update.version + QChar(0x2026));
        const auto progress = [this](int percent) {
            if (m_installingUpdate)
                setUpdateProgress(percent);
        };
        m_cancelInstall =
            Updater::install(*update.zip, update.version, m_env.updates.application, m_env.updates.installer,
                             this, progress, [this, update, progress](const Updater::Result& result) {
                                 m_cancelInstall = nullptr;
                                 progress(-1);
                                 if (result.cancelled) {
                                     setInstallingUpdate(false);
                                     return;
                                 }
                                 if (result.error) {
                                     setInstallingUpdate(false);
                                     alert({QStringLiteral("Couldn't install the update"),
                                            result.error->message,
                                            {QStringLiteral("Open website"), QStringLiteral("Close")}},
                                           [this, page = update.page](int response) {
                                               if (response == AlertPresenter::firstButton)
                                                   m_env.platform->openUrl(page);
                                           });
                                     return;
                                 }
                                 setStatus(QStringLiteral("Installed. Restarting") + QChar(0x2026));
                                 QTimer::singleShot(m_env.updates.restartDelayMs, Qt::PreciseTimer, this,
                                                    [this, installed = result.installed] {
                                                        if (m_env.updates.relaunch)
                                                            m_env.updates.relaunch(installed);
                                                        else
                                                            Updater::relaunch(installed);
                                                    });
                             });
    };
    if (m_pending.isEmpty()) {
        start();
        return;
    }
    alert({QStringLiteral("Install the update now?"),
           QStringLiteral("Links waiting for a profile are kept in memory only and will be discarded."),
           {QStringLiteral("Install"), QStringLiteral("Cancel")}},
          [start](int response) {
              if (response == AlertPresenter::firstButton)
                  start();
          });
}

void Model::cancelUpdate()
{
    if (m_cancelInstall)
        m_cancelInstall();
}

void Model::updateNow()
{
    m_userDefaults->remove(QStringLiteral("lastUpdateCheck"));
    checkForUpdatesQuietly();
    if (updatesFromPackage())
        return; // announced, never installed
    auto* poll = new QTimer(this);
    poll->setTimerType(Qt::PreciseTimer);
    auto looks = std::make_shared<int>(0);
    connect(poll, &QTimer::timeout, this, [this, poll, looks] {
        if (!m_availableUpdate && ++*looks < m_env.updates.updateNowPolls)
            return;
        poll->deleteLater();
        poll->stop();
        installUpdate();
    });
    poll->start(m_env.updates.updateNowPollMs);
}

void Model::alert(const Alert& alert, std::function<void(int response)> done)
{
    if (!m_env.alerts) {
        if (done)
            done(0); // nobody to ask: nothing is confirmed
        return;
    }
    m_env.alerts->run(alert, [done = std::move(done)](int response) {
        if (done)
            done(response);
    });
}

} // namespace corvane
