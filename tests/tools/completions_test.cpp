// The shell completions of corvane-route, asked of bash, fish and zsh
// themselves, against the options the tool's own --help lists.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString completions(const QString& name)
{
    return qEnvironmentVariable("CORVANE_SOURCE_DIR") + "/resources/package/completions/" + name;
}

// Runs a shell in a home of its own: fish keeps its variables and history there.
QString shell(const QString& program, const QStringList& arguments)
{
    static QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        env.insert(name, home.filePath(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The long options of `corvane-route --help`.
QStringList documentedOptions()
{
    const QString help = shell(qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane-route", {"--help"});
    QStringList options;
    for (const QRegularExpressionMatch& match :
         QRegularExpression(R"(^  (--[a-z-]+))", QRegularExpression::MultilineOption).globalMatch(help))
        options << match.captured(1);
    return options;
}

QStringList words(const QString& text)
{
    QStringList found;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        found << line.section('\t', 0, 0).trimmed();
    return found;
}

// `corvane-route WORDS…` completed by the bash function, the last word being
// the one under the cursor.
QStringList bashCompletes(const QStringList& line)
{
    QString quoted = "corvane-route";
    for (const QString& word : line)
        quoted += " '" + word + "'";
    const QString script = "source '" + completions("corvane-route.bash") + "'\nCOMP_WORDS=(" + quoted +
                           ")\nCOMP_CWORD=" + QString::number(line.size()) +
                           "\n_corvane_route\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    return words(shell("bash", {"--norc", "-c", script}));
}

TEST(Completions, EveryShellOffersEveryDocumentedOption)
{
    const QStringList options = documentedOptions();
    ASSERT_GE(options.size(), 6) << "the help text lists its options";

    const QStringList bash = bashCompletes({"--"});
    const QStringList fish = words(shell(
        "fish", {"--no-config", "-c",
                 "source '" + completions("corvane-route.fish") + "'; complete -C 'corvane-route --'"}));
    QFile zshFile(completions("_corvane-route"));
    ASSERT_TRUE(zshFile.open(QIODevice::ReadOnly));
    const QString zsh = QString::fromUtf8(zshFile.readAll());
    // compinit takes the file from the folder and binds it to the command.
    QTemporaryDir zshHome;
    EXPECT_EQ(
        shell("zsh", {"-f", "-c",
                      "fpath=('" + completions("") + "' $fpath); autoload -Uz compinit; compinit -u -d '" +
                          zshHome.filePath("dump") + "'; print -r -- $_comps[corvane-route]"}),
        "_corvane-route\n");

    for (const QString& option : options) {
        EXPECT_TRUE(bash.contains(option)) << "bash: " << option.toStdString();
        EXPECT_TRUE(fish.contains(option)) << "fish: " << option.toStdString();
        EXPECT_TRUE(zsh.contains(
            QRegularExpression("'(\\(.*\\))?\\{?[-h,]*" + QRegularExpression::escape(option) + "[=\\[}]")))
            << "zsh: " << option.toStdString();
    }
    for (const QString& offered : bash)
        EXPECT_TRUE(offered == "--" || options.contains(offered)) << "bash offers " << offered.toStdString();
    for (const QString& offered : fish)
        EXPECT_TRUE(options.contains(offered)) << "fish offers " << offered.toStdString();
}

TEST(Completions, SettingsTakesAFileAndLinksTakeNoOptions)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("rules.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString prefix = dir.filePath("ru");

    EXPECT_EQ(bashCompletes({"--settings", prefix}), QStringList{file.fileName()});
    // As bash splits "--settings=FILE" by default, and as it comes with "=" taken out of the word breaks.
    EXPECT_EQ(bashCompletes({"--settings", "=", prefix}), QStringList{file.fileName()});
    EXPECT_EQ(bashCompletes({"--settings=" + prefix}), QStringList{file.fileName()});
    EXPECT_EQ(bashCompletes({"--un"}), QStringList{"--unwrap"});
    EXPECT_TRUE(bashCompletes({"--", "--un"}).isEmpty()) << "after -- every word is a link";

    const QStringList fish =
        words(shell("fish", {"--no-config", "-c",
                             "source '" + completions("corvane-route.fish") +
                                 "'; complete -C 'corvane-route --settings " + prefix + "'"}));
    EXPECT_EQ(fish, QStringList{file.fileName()});
}

} // namespace
