#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray out;
    QByteArray err;
};

QString routeBinary()
{
    return qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane-route";
}

class CorvaneRoute : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        writeSettings(R"({"version": 1, "defaultProfile": "Personal", "rules": [
            {"id": "6F1C2A0E-5B7D-4E3A-9C11-2D8E4F6A7B01", "enabled": true, "kind": "domain",
             "pattern": "example.com", "profile": "Work"},
            {"id": "6F1C2A0E-5B7D-4E3A-9C11-2D8E4F6A7B02", "enabled": false, "kind": "domain",
             "pattern": "example.org", "profile": "Off"},
            {"id": "6F1C2A0E-5B7D-4E3A-9C11-2D8E4F6A7B03", "enabled": true, "kind": "urlPrefix",
             "pattern": "https:\/\/example.org\/team", "profile": "Team"}]})");
    }

    void writeSettings(const QByteArray& json)
    {
        QFile file(settings());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
    }

    QString settings() const { return m_dir.filePath("settings.json"); }

    Outcome run(QStringList args, const QByteArray& input = {})
    {
        QProcess process;
        // The default settings location must never be the real home folder.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path());
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        process.setProcessEnvironment(env);
        process.start(routeBinary(), args);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(30000));
        Outcome result;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        for (const QByteArray& line : result.out.split('\n')) {
            if (!line.isEmpty())
                result.lines.append(QJsonDocument::fromJson(line).object());
        }
        return result;
    }

    QTemporaryDir m_dir;
};

TEST_F(CorvaneRoute, RoutesArgumentsInOrderWithProfileAndReason)
{
    const Outcome r = run({"--settings", settings(), "https://docs.example.com/a", "https://example.org/team/x",
                       "https://example.org/"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 3);
    EXPECT_EQ(r.lines[0]["input"].toString(), "https://docs.example.com/a");
    EXPECT_EQ(r.lines[0]["url"].toString(), "https://docs.example.com/a");
    EXPECT_EQ(r.lines[0]["profile"].toString(), "Work");
    EXPECT_EQ(r.lines[0]["reason"].toString(), "Rule 1: example.com");
    EXPECT_EQ(r.lines[1]["reason"].toString(), "Rule 3: https://example.org/team") << "disabled rules count";
    EXPECT_EQ(r.lines[2]["profile"].toString(), "Personal");
    EXPECT_EQ(r.lines[2]["reason"].toString(), "Default profile");
}

TEST_F(CorvaneRoute, ReadsStandardInputLineByLineAndReportsRefusals)
{
    const Outcome r = run({"--settings", settings()},
                      "https://example.com/\r\n\nhttps://user@example.com/\ncorvane://open?url=https%3A%2F%2Fexample.com%2F\n");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.lines.size(), 4);
    EXPECT_EQ(r.lines[0]["input"].toString(), "https://example.com/") << "trailing CR removed";
    EXPECT_EQ(r.lines[1]["input"].toString(), "");
    EXPECT_EQ(r.lines[1]["error"].toString(), "Only absolute HTTP(S) links without credentials are accepted.");
    EXPECT_FALSE(r.lines[1].contains("profile"));
    EXPECT_EQ(r.lines[2]["error"].toString(), "Only absolute HTTP(S) links without credentials are accepted.");
    EXPECT_EQ(r.lines[3]["url"].toString(), "https://example.com/");
}

TEST_F(CorvaneRoute, NoProfileIsNullWithoutDefault)
{
    writeSettings(R"({"version": 1, "rules": []})");
    const Outcome r = run({"--settings", settings(), "https://example.net/"});
    ASSERT_EQ(r.lines.size(), 1);
    EXPECT_TRUE(r.lines[0]["profile"].isNull());
    EXPECT_EQ(r.lines[0]["reason"].toString(), "No matching rule. Pick a profile.");
}

TEST_F(CorvaneRoute, TypedAndUnwrapOptions)
{
    Outcome r = run({"--settings", settings(), "--typed", "  docs.example.com/x  "});
    ASSERT_EQ(r.lines.size(), 1);
    EXPECT_EQ(r.lines[0]["url"].toString(), "https://docs.example.com/x");

    const QString wrapped = "https://www.google.com/url?q=https%3A%2F%2Fexample.com%2Fdoc&sa=D";
    r = run({"--settings", settings(), "--unwrap", wrapped, "https://example.org/plain"});
    ASSERT_EQ(r.lines.size(), 2);
    EXPECT_EQ(r.lines[0]["unwrapped"].toString(), "https://example.com/doc");
    EXPECT_EQ(r.lines[0]["profile"].toString(), "Work");
    EXPECT_FALSE(r.lines[1].contains("unwrapped"));

    r = run({"--settings", settings(), wrapped});
    EXPECT_EQ(r.lines[0]["url"].toString(), wrapped) << "no unwrapping unless asked";

    // A redirect page needs no network even when following is allowed.
    r = run({"--settings", settings(), "--follow", wrapped});
    ASSERT_EQ(r.lines.size(), 1);
    EXPECT_EQ(r.lines[0]["unwrapped"].toString(), "https://example.com/doc");
}

TEST_F(CorvaneRoute, CheckAndUnusableSettings)
{
    Outcome r = run({"--check", "--settings", settings()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "OK: 3 rules\n");

    r = run({"--check", "--settings", m_dir.filePath("missing.json")});
    EXPECT_EQ(r.exitCode, 0) << "a missing file is the default configuration";
    EXPECT_EQ(r.out, "OK: 0 rules\n");

    writeSettings(R"({"version": 2, "rules": []})");
    r = run({"--settings", settings(), "https://example.com/"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty()) << "nothing is routed";
    EXPECT_TRUE(r.err.contains("Unsupported settings version. Settings were not changed."));
    EXPECT_EQ(r.err.count('\n'), 1);

    writeSettings("{not json");
    r = run({"--check", "--settings", settings()});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(CorvaneRoute, DefaultSettingsComeFromXdgConfigHome)
{
    QDir().mkpath(m_dir.filePath("config/corvane"));
    QFile::copy(settings(), m_dir.filePath("config/corvane/settings.json"));
    const Outcome r = run({"--check"});
    EXPECT_EQ(r.out, "OK: 3 rules\n");
}

} // namespace
