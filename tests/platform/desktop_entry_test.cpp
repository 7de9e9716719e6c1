#include "platform/linux/desktop_entry.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;

namespace corvane::DesktopEntry {
void PrintTo(const Entry& entry, std::ostream* out)
{
    *out << '{' << entry.name.toStdString() << ", " << entry.exec.toStdString() << '}';
}
} // namespace corvane::DesktopEntry

namespace {

TEST(DesktopEntry, ExecProgramIsTheFirstWordUnquoted)
{
    const std::vector<std::pair<QString, QString>> cases{
        {"/usr/bin/corvane %U", "/usr/bin/corvane"},
        {"  corvane", "corvane"},
        {"\"/opt/my apps/corvane\" %U", "/opt/my apps/corvane"},
        {R"("/opt/\"q\" \$x \\ \`/corvane" --flag)", R"(/opt/"q" $x \ `/corvane)"},
        {"\"/opt/unterminated %U", ""},
        {"/opt/100%%/corvane %U", "/opt/100%/corvane"},
        {"\"/opt/50%% off/corvane\" %U", "/opt/50% off/corvane"},
        {"", ""},
    };
    for (const auto& [exec, program] : cases)
        EXPECT_EQ(DesktopEntry::execProgram(exec), program) << exec.toStdString();
}

TEST(DesktopEntry, ReadsTheMainGroupOnly)
{
    QTemporaryDir dir;
    const auto write = [&](const QByteArray& body) {
        QFile file(dir.filePath("app.desktop"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(body);
        return file.fileName();
    };
    EXPECT_EQ(
        DesktopEntry::read(write("# comment\n[Desktop Entry]\nName = Web\\sApp\nName[de]=Netz\n"
                                 "Exec=\"/opt/a b/app\" %U\n[Desktop Action new]\nName=New\nExec=other\n")),
        (DesktopEntry::Entry{"Web App", "\"/opt/a b/app\" %U"}));
    EXPECT_EQ(DesktopEntry::read(write("[Desktop Action new]\nName=New\n")), std::nullopt);
    EXPECT_EQ(DesktopEntry::read(write("[Desktop Entry]\nName=Gone\nHidden=true\n")), std::nullopt);
    EXPECT_EQ(DesktopEntry::read(dir.filePath("missing.desktop")), std::nullopt);
}

TEST(DesktopEntry, DataDirsFollowXdgWithTheirDefaults)
{
    QProcessEnvironment env;
    env.insert("HOME", "/home/u");
    EXPECT_EQ(DesktopEntry::dataDirs(env),
              (QStringList{"/home/u/.local/share", "/usr/local/share", "/usr/share"}));
    env.insert("XDG_DATA_HOME", "relative/ignored");
    env.insert("XDG_DATA_DIRS", "/a::relative:/b");
    EXPECT_EQ(DesktopEntry::dataDirs(env), (QStringList{"/home/u/.local/share", "/a", "/b"}));
    env.insert("XDG_DATA_HOME", "/data");
    EXPECT_EQ(DesktopEntry::dataDirs(env).first(), "/data");
}

} // namespace
