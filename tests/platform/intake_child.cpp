#include "intake_child.h"

#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <sys/prctl.h>
#include <thread>

namespace corvane::test {

namespace {

constexpr const char* modeVariable = "CORVANE_INTAKE_CHILD";

QByteArray toJson(const QStringList& links)
{
    return QJsonDocument(QJsonArray::fromStringList(links)).toJson(QJsonDocument::Compact);
}

void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The order of a real `corvane-app` start: hand off before any application
// object exists, build it and listen, build the state (as slow as the test
// says, blocking this thread), then take what arrived.
int runChild()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test that started us
    const QStringList links = linksOf(QString::fromUtf8("x " + qgetenv("CORVANE_INTAKE_LINKS")));
    SingleInstance intake(qEnvironmentVariable("CORVANE_INTAKE_DIR"));
    if (intake.handOff(links)) {
        say(intake.failure().isEmpty() ? "handed" : "failed " + intake.failure().toUtf8());
        return intake.failure().isEmpty() ? 0 : 1;
    }
    static int argc = 1;
    static char name[] = "intake-child";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    if (!intake.listen()) {
        say("cannot listen");
        return 1;
    }
    if (const int slowMs = qEnvironmentVariableIntValue("CORVANE_INTAKE_SLOW_MS"); slowMs > 0) {
        say("listening");
        std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
    }
    QObject::connect(&intake, &SingleInstance::linksReceived,
                     [](const QStringList& received, const Activation& activation) {
                         say("links " + toJson(received));
                         if (!activation.isEmpty())
                             say("activation " + activation.startupId.toUtf8() + " " +
                                 activation.token.toUtf8());
                     });
    QObject::connect(&intake, &SingleInstance::reopenRequested, [] { say("reopen"); });
    say("first " + toJson(links));
    intake.startDelivering();
    return app.exec();
}

// Runs before main(): in child mode the test framework never starts.
[[maybe_unused]] const bool childMode = [] {
    if (qEnvironmentVariableIsEmpty(modeVariable))
        return false;
    std::_Exit(runChild());
}();

} // namespace

IntakeChild::~IntakeChild()
{
    if (state() != NotRunning) {
        kill();
        waitForFinished();
    }
}

std::unique_ptr<IntakeChild> startIntakeChild(const QString& folder, const QStringList& links, int slowMs)
{
    auto child = std::make_unique<IntakeChild>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVANE_INTAKE_SLOW_MS"), QString::number(slowMs));
    env.insert(QString::fromLatin1(modeVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("CORVANE_INTAKE_DIR"), folder);
    env.insert(QStringLiteral("CORVANE_INTAKE_LINKS"), QString::fromUtf8(toJson(links)));
    child->setProcessEnvironment(env);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), {});
    return child;
}

QString nextLine(QProcess& child, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!child.canReadLine()) {
        if (child.state() == QProcess::NotRunning || deadline.hasExpired())
            return child.canReadLine() ? QString::fromUtf8(child.readLine()).trimmed() : QString();
        child.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    return QString::fromUtf8(child.readLine()).trimmed();
}

QStringList linksOf(const QString& line)
{
    const QString json = line.section(u' ', 1);
    QStringList links;
    for (const QJsonValue& value : QJsonDocument::fromJson(json.toUtf8()).array())
        links << value.toString();
    return links;
}

} // namespace corvane::test
