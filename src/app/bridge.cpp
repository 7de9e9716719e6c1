#include "bridge.h"

#include "platform/process_run.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

namespace corvane::Bridge {

namespace {

const QString missingRunner = QStringLiteral("Missing routing script. Rebuild or reinstall Corvane.");

QString timedOut(const QString& browser)
{
    return QStringLiteral("%1 timed out. Check %1 before retrying; the link may already be open.")
        .arg(browser);
}

QString serialise(const Request& request)
{
    QJsonObject object;
    for (auto it = request.begin(); it != request.end(); ++it)
        object.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// Text that is not valid UTF-8 says nothing we could show.
QString strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    return decoder.hasError() ? QString() : text;
}

} // namespace

void call(const Request& request, const Runner& runner, QObject* context, Completion done)
{
    const QFileInfo program(runner.program);
    if (runner.program.isEmpty() || !program.exists() || program.isDir()) {
        // Never before `call` returns, as every other answer.
        QTimer::singleShot(0, context ? context : QCoreApplication::instance(), [done = std::move(done)] {
            done({std::nullopt, missingRunner});
        });
        return;
    }
    ProcessRun::Job job;
    job.program = runner.program;
    job.arguments = runner.arguments + QStringList{serialise(request)};
    job.environment = runner.environment;
    job.timeoutMs = runner.timeoutMs;
    job.graceMs = runner.graceMs;
    ProcessRun::start(job, context, [runner, done = std::move(done)](const ProcessResult& result) {
        if (!result.startError.isEmpty())
            done({std::nullopt, result.startError});
        else if (result.timedOut)
            done({std::nullopt, timedOut(runner.browserName)});
        else if (result.ok)
            done({result.output, {}});
        else
            done({std::nullopt,
                  cleanError(strictUtf8(result.errors), runner.browserName, runner.permissionHint)});
    });
}

QString cleanError(const QString& errorText, const QString& browserName, const QString& permissionHint)
{
    QString text = errorText.trimmed();
    static const QString marker = QStringLiteral("Error: ");
    if (const qsizetype at = text.indexOf(marker); at >= 0)
        text = text.mid(at + marker.size());
    static const QRegularExpression errorNumber(QStringLiteral(" \\(-?\\d+\\)$"));
    if (const auto match = errorNumber.match(text); match.hasMatch())
        text.remove(match.capturedStart(), match.capturedLength());

    if (text.contains(QLatin1String("-1743")) ||
        text.contains(QLatin1String("not authorized"), Qt::CaseInsensitive)) {
        QString message = QStringLiteral("Corvane is not allowed to control %1.").arg(browserName);
        if (!permissionHint.isEmpty())
            message += QLatin1Char(' ') + permissionHint;
        return message;
    }
    if (text.isEmpty())
        return QStringLiteral("Automation failed.");
    return text;
}

} // namespace corvane::Bridge
