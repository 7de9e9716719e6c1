#include "model_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace corvane::testing {

void ModelTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    // Nothing the model reaches may land in the real home folder.
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        m_savedEnvironment.append(
            {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        qputenv(name, dir.filePath(QString("env/") + name).toUtf8());
    }
    env.settingsPath = path("config/corvane/settings.json");
    env.userDefaultsPath = path("config/corvane/corvane.conf");
    env.platform = &platform;
    env.picker = &picker;
    env.window = &window;
    env.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) { done(url); };
    env.bridgeTimeoutMs = 5000;
    env.bridgeGraceMs = 500;
    useRunner(openedAnswer);
}

void ModelTest::TearDown()
{
    for (const auto& [name, value] : m_savedEnvironment) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

std::unique_ptr<Model> ModelTest::makeModel()
{
    return std::make_unique<Model>(env);
}

void ModelTest::useRunner(const QString& routeBody, const QString& profilesBody)
{
    const QString script = path("runner.sh");
    writeFile(script, QString("#!/bin/sh\n"
                              "log='%1'\n"
                              "printf '%s\\n' \"$3\" >> \"$log\"\n"
                              "case \"$3\" in\n"
                              "  *'\"profiles\"'*) %2 ;;\n"
                              "  *) %3 ;;\n"
                              "esac\n")
                          .arg(path("runner.log"), profilesBody, routeBody)
                          .toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    platform.runner = script;
}

QStringList ModelTest::requests() const
{
    return QString::fromUtf8(readFile(path("runner.log"))).split('\n', Qt::SkipEmptyParts);
}

QStringList ModelTest::routedUrls() const
{
    QStringList urls;
    for (const QString& line : requests()) {
        const QJsonObject request = QJsonDocument::fromJson(line.toUtf8()).object();
        if (request.value("action") == "route")
            urls << request.value("url").toString();
    }
    return urls;
}

bool ModelTest::waitIdle(Model& model, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !model.isRouting() && !model.busy(); }, timeoutMs);
}

Configuration withDefault(const QString& profile)
{
    Configuration config;
    config.defaultProfile = profile.toStdString();
    return config;
}

Configuration withRules(std::vector<Rule> rules, std::optional<std::string> defaultProfile)
{
    Configuration config;
    config.rules = std::move(rules);
    config.defaultProfile = std::move(defaultProfile);
    return config;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace corvane::testing
