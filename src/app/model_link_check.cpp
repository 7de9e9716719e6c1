#include "model.h"

#include "core/route_error.h"
#include "core/router.h"
#include "platform/platform.h"

namespace corvane {

namespace {

// Spaces and tabs only decide whether the field counts as empty, so a field
// holding a line break is still tested: Router::typedURL trims white space,
// line breaks included, from both ends, and the router refuses a line break
// left inside the link.
QString trimSpaces(const QString& text)
{
    const auto isSpace = [](QChar c) { return c == '\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

void Model::test()
{
    if (trimSpaces(m_testURL).isEmpty()) {
        setPreview(std::nullopt);
        return;
    }
    try {
        const Url url = Router::incoming(Router::typedURL(m_testURL.toStdString()));
        const Decision decision = Router::decide(url, m_config);
        PreviewResult result{std::nullopt, QString::fromStdString(decision.reason), false};
        if (decision.profile) {
            const QString profile = QString::fromStdString(*decision.profile);
            result.profile = profile;
            if (!m_profiles.isEmpty() && !m_profiles.contains(profile))
                result.detail += ". This profile was not found in " + targetBrowser().displayName;
        }
        setPreview(result);
    } catch (const RouteError& error) {
        setPreview(PreviewResult{std::nullopt, QString::fromStdString(error.message()), true});
    }
}

void Model::openTest()
{
    Decision decision;
    std::optional<Url> url;
    try {
        url = Router::incoming(Router::typedURL(m_testURL.toStdString()));
        decision = Router::decide(*url, m_config);
    } catch (const RouteError&) {
        test();
        return;
    }
    if (m_pending.size() >= maxPending)
        return;
    const QString reason = decision.profile ? QString::fromStdString(decision.reason) : Router::noMatchReason;
    appendPending(*url, decision.profile, reason);
    drain();
}

QString Model::testHost() const
{
    const std::optional<Url> url = Url::parse(Router::typedURL(m_testURL.toStdString()));
    return url && url->host ? QString::fromStdString(*url->host) : QString();
}

} // namespace corvane
