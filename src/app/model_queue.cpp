#include "model.h"

#include "bridge.h"
#include "core/route_error.h"
#include "core/router.h"
#include "core/unwrap.h"
#include "platform/platform.h"
#include "presenters.h"
#include "tab_relay.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QScopeGuard>
#include <QSettings>

#include <algorithm>

namespace corvane {

namespace {

std::optional<Url> parse(const QString& text)
{
    return Url::parse(text.toStdString());
}

bool isFileLink(const std::optional<Url>& url)
{
    return url && url->scheme &&
           QString::fromStdString(*url->scheme).compare("file", Qt::CaseInsensitive) == 0;
}

bool needsUnwrapping(const QString& text)
{
    const std::optional<Url> url = parse(text);
    return url && (Unwrap::fromParameter(*url) || Unwrap::shouldFollow(*url));
}

QString notInstalled(const TargetBrowser& browser)
{
    return browser.displayName + " is not installed.";
}

bool reusedTab(const QByteArray& output)
{
    const QJsonValue value = QJsonDocument::fromJson(output).object().value("reused");
    return value.isBool() && value.toBool();
}

} // namespace

void Model::receive(const QStringList& links, const Activation& activation)
{
    QStringList others;
    QList<QUrl> files;
    for (const QString& text : links) {
        if (isFileLink(parse(text)))
            files << QUrl(text);
        else
            others << text;
    }
    bool activationUsed = false;
    if (!files.isEmpty()) {
        const TargetBrowser browser = targetBrowser();
        if (browser.installed) {
            m_env.platform->openFilesWithBrowser(browser, files, activation);
            activationUsed = true;
        } else {
            // Dropping the files without a word would lose them unnoticed.
            setStatus(notInstalled(browser));
            showWindow();
        }
    }
    // The browser started for the files took the activation: it is good once.
    const Activation rest = activationUsed ? Activation{} : activation;
    // One link that needs the network holds back its whole batch, so the
    // batch keeps its order when it is queued.
    if (std::any_of(others.cbegin(), others.cend(), needsUnwrapping))
        resolveThenEnqueue(others, {}, rest);
    else
        enqueue(others, rest);
}

void Model::resolveThenEnqueue(QStringList links, QStringList resolved, const Activation& activation)
{
    if (links.isEmpty()) {
        enqueue(resolved, activation);
        return;
    }
    const QString text = links.takeFirst();
    const std::optional<Url> url = parse(text);
    if (!url) {
        resolved << text; // enqueue refuses it with the proper message
        resolveThenEnqueue(std::move(links), std::move(resolved), activation);
        return;
    }
    m_env.resolver(*url, this, [this, links, resolved, activation](const Url& real) mutable {
        resolved << QString::fromStdString(real.absoluteString());
        resolveThenEnqueue(std::move(links), std::move(resolved), activation);
    });
}

void Model::enqueue(const QStringList& links, const Activation& activation)
{
    const qsizetype before = m_pending.size();
    for (const QString& text : links) {
        if (m_pending.size() >= maxPending) {
            setStatus("Queue is full (100 links). Clear pending links before trying again.");
            showWindow();
            break;
        }
        try {
            const Url url = Router::incoming(text.toStdString());
            const Decision decision = Router::decide(url, m_config);
            appendPending(url, decision.profile, QString::fromStdString(decision.reason));
            if (m_loadFailure)
                m_decidedWhilePaused << m_pending.last().id;
        } catch (const RouteError& error) {
            setStatus(QString::fromStdString(error.message()));
            showWindow();
        }
    }
    // The first link of the batch carries it; none queued, nothing to carry it.
    if (m_pending.size() > before)
        m_pending[before].activation = activation;
    else
        m_env.platform->endActivation(activation);
    drain();
}

void Model::appendPending(const Url& url, const std::optional<std::string>& profile, const QString& reason)
{
    Pending link{Uuid::random(), url, std::nullopt, reason, false, {}};
    if (profile)
        link.profile = QString::fromStdString(*profile);
    m_pending.append(link);
    emit pendingChanged();
}

void Model::redecidePausedLinks()
{
    const QList<Uuid> ids = std::exchange(m_decidedWhilePaused, {});
    bool changed = false;
    for (Pending& link : m_pending) {
        if (!ids.contains(link.id))
            continue;
        const Decision decision = Router::decide(link.url, m_config);
        link.profile =
            decision.profile ? std::optional(QString::fromStdString(*decision.profile)) : std::nullopt;
        link.reason = QString::fromStdString(decision.reason);
        changed = true;
    }
    if (changed)
        emit pendingChanged();
}

void Model::drain()
{
    // Whatever the queue does not open now ends its startup sequence.
    const auto settle = qScopeGuard([this] { endWaitingActivations(); });
    if (m_isRouting || m_loadFailure || m_pending.isEmpty())
        return;
    // A copy: the picker may call back into retry() before it returns.
    Pending head = m_pending.first();
    if (head.attempted) {
        needAttention();
        return;
    }
    if (head.profile) {
        setIsRouting(true);
        m_pending.first().attempted = head.attempted = true;
        emit pendingChanged();
        route(head);
        return;
    }
    if (m_dismissedPicker == head.id)
        return;
    if (m_env.picker)
        m_env.picker->present(head, m_profiles);
}

void Model::endWaitingActivations()
{
    // While a link is being opened, the ones behind it may be next: they keep theirs.
    if (m_isRouting)
        return;
    for (Pending& link : m_pending) {
        if (!link.activation.isEmpty())
            m_env.platform->endActivation(std::exchange(link.activation, {}));
    }
}

void Model::route(const Pending& first)
{
    const TargetBrowser browser = targetBrowser();
    const QString profile = first.profile.value_or(QString());
    // A profile whose extension is connected is asked first; the browser is
    // started only when it has no tab showing the link.
    if (m_env.tabs && m_userDefaults->value("reuseOpenTabs", true).toBool() &&
        m_env.tabs->isConnected(browser.id, profile)) {
        m_env.tabs->switchToTab(browser.id, profile, QString::fromStdString(first.url.absoluteString()),
                                m_env.tabReuseTimeoutMs, this, [this, first, browser](bool switched) {
                                    if (!switched) {
                                        openInBrowser(first, browser);
                                        return;
                                    }
                                    m_env.platform->endActivation(first.activation); // no browser was started
                                    for (Pending& link : m_pending) {
                                        if (link.id == first.id)
                                            link.activation = {};
                                    }
                                    routeSucceeded(first, true);
                                });
        return;
    }
    openInBrowser(first, browser);
}

void Model::openInBrowser(const Pending& first, const TargetBrowser& browser)
{
    if (m_env.platform->isBrowserRunning(browser)) {
        sendRoute(first, browser);
        return;
    }
    if (!browser.installed) {
        routeFailed(first, notInstalled(browser));
        return;
    }
    m_env.platform->launchBrowser(browser,
                                  [self = QPointer<Model>(this), first, browser](const QString& error) {
                                      if (!self)
                                          return;
                                      if (error.isEmpty())
                                          self->sendRoute(first, browser);
                                      else
                                          self->routeFailed(first, error);
                                  });
}

void Model::sendRoute(const Pending& first, const TargetBrowser& browser)
{
    const bool reuse = m_userDefaults->value("reuseOpenTabs", true).toBool();
    const Bridge::Request request{{"action", "route"},
                                  {"profile", first.profile.value_or(QString())},
                                  {"url", QString::fromStdString(first.url.absoluteString())},
                                  {"reuse", reuse ? "1" : "0"}};
    Bridge::Runner helper = runner(browser);
    helper.environment = m_env.platform->launchEnvironment(first.activation);
    for (Pending& link : m_pending) {
        if (link.id == first.id)
            link.activation = {}; // used up by this launch, whatever its outcome
    }
    Bridge::call(request, helper, this, [this, first](const Bridge::Result& result) {
        if (result.ok())
            routeSucceeded(first, reusedTab(*result.output));
        else
            routeFailed(first, result.error);
    });
}

void Model::routeSucceeded(const Pending& first, bool reused)
{
    m_pending.removeIf([&](const Pending& link) { return link.id == first.id; });
    emit pendingChanged();

    const QString profile = first.profile.value_or(QString());
    m_recent.prepend(Opened{Uuid::random(), first.url, profile, first.reason, reused});
    if (m_recent.size() > maxRecent)
        m_recent.resize(maxRecent);
    emit recentChanged();

    setStatus(reused ? "Switched to the open tab in " + profile + "." : "Opened in " + profile + ".");
    setIsRouting(false);
    drain();
}

// Never retried on its own: a time-out may mean the link is already open.
void Model::routeFailed(const Pending& first, const QString& message)
{
    m_env.platform->endActivation(first.activation); // no browser may have come up to end it
    setStatus(message);
    for (Pending& link : m_pending) {
        if (link.id == first.id)
            link.reason = message;
    }
    emit pendingChanged();
    needAttention();
    setIsRouting(false);
    drain();
}

void Model::retry(const Uuid& id, const QString& profile)
{
    if (m_isRouting)
        return;
    const auto link =
        std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending& p) { return p.id == id; });
    if (link == m_pending.end())
        return;
    link->profile = profile;
    link->attempted = false;
    m_decidedWhilePaused.removeAll(id); // the person's choice stands
    if (link->reason.startsWith("No matching rule"))
        link->reason = "Picked " + profile;
    emit pendingChanged();
    drain();
}

void Model::discard(const Uuid& id)
{
    if (m_isRouting)
        return;
    m_pending.removeIf([&](const Pending& link) { return link.id == id; });
    emit pendingChanged();
    drain();
}

void Model::addRule(const Rule& rule)
{
    try {
        Router::validate(rule);
    } catch (const RouteError&) {
        return;
    }
    // One rule past the limit would make the whole configuration invalid, and
    // every later link would be refused with the limit's message.
    if (m_config.rules.size() >= static_cast<size_t>(Configuration::maxRules))
        return;
    const bool present =
        std::any_of(m_config.rules.cbegin(), m_config.rules.cend(), [&](const Rule& existing) {
            return existing.kind == rule.kind && existing.pattern == rule.pattern;
        });
    if (present)
        return;
    Configuration next = m_config;
    next.rules.push_back(rule);
    setConfig(next);
}

} // namespace corvane
