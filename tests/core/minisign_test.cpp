#include "core/minisign.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const fs::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Keys and signatures made by the minisign tool itself, so the format we read
// is the one the release is signed with.
class MinisignTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("corvane-minisign-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* name : {"a", "b"})
            ASSERT_EQ(run(std::string("minisign -G -W -p ") + name + ".pub -s " + name + ".key"), 0);
        write(dir / "file", std::string(200000, 'x') + "end");
        ASSERT_EQ(run("minisign -S -s a.key -t 'release 1.0' -m file"), 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::string& command) const
    {
        return std::system(("cd '" + dir.string() + "' && " + command + " >/dev/null 2>&1").c_str());
    }
    Minisign::PublicKey key(const char* name) const { return *Minisign::parsePublicKey(read(dir / name)); }

    fs::path dir;
};

TEST_F(MinisignTest, AcceptsTheToolsSignatureFromTheRightKeyOnly)
{
    const std::string signature = read(dir / "file.minisig");
    EXPECT_TRUE(Minisign::verifyFile(dir / "file", signature, key("a.pub")));
    EXPECT_EQ(Minisign::parseSignature(signature)->trustedComment, "release 1.0");
    EXPECT_FALSE(Minisign::verifyFile(dir / "file", signature, key("b.pub")));

    // The key also reads as the bare line that a build setting holds.
    const std::string pub = read(dir / "a.pub");
    const std::string line = pub.substr(pub.find('\n') + 1);
    EXPECT_EQ(Minisign::parsePublicKey(line), key("a.pub"));

    write(dir / "file", read(dir / "file") + "!");
    EXPECT_FALSE(Minisign::verifyFile(dir / "file", signature, key("a.pub")));
    EXPECT_FALSE(Minisign::verifyFile(dir / "missing", signature, key("a.pub")));
}

TEST_F(MinisignTest, RefusesAnAlteredTrustedComment)
{
    std::string signature = read(dir / "file.minisig");
    signature.replace(signature.find("release 1.0"), 11, "release 9.9");
    ASSERT_TRUE(Minisign::parseSignature(signature));
    EXPECT_FALSE(Minisign::verifyFile(dir / "file", signature, key("a.pub")));
}

TEST_F(MinisignTest, RefusesMalformedSignaturesAndKeys)
{
    const std::string good = read(dir / "file.minisig");
    std::istringstream in(good);
    std::string l[4];
    for (auto& line : l)
        std::getline(in, line);
    std::string legacy = l[1];
    legacy[1] = 'W'; // "RW..." decodes to the legacy "Ed" algorithm
    const std::string cases[] = {
        "",
        l[0] + "\n" + l[1] + "\n" + l[2] + "\n",                         // no global signature
        l[1] + "\n" + l[0] + "\n" + l[2] + "\n" + l[3] + "\n",           // lines swapped
        l[0] + "\n" + legacy + "\n" + l[2] + "\n" + l[3] + "\n",         // legacy form
        l[0] + "\n" + l[1] + "=\n" + l[2] + "\n" + l[3] + "\n",          // bad padding
        l[0] + "\n" + l[1].substr(4) + "\n" + l[2] + "\n" + l[3] + "\n", // truncated
        l[0] + "\n" + l[1] + "\n" + l[2] + "\n" + l[3] + "\nmore\n",     // trailing text
        l[0] + "\n" + l[1] + "\ntrusted comment:x\n" + l[3] + "\n",      // no space after the colon
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Minisign::parseSignature(text), std::nullopt);
    }
    // Windows line ends are the same file.
    std::string crlf;
    for (const auto& line : l)
        crlf += line + "\r\n";
    EXPECT_TRUE(Minisign::verifyFile(dir / "file", crlf, key("a.pub")));

    const std::string pub = read(dir / "a.pub");
    const std::string line = pub.substr(pub.find('\n') + 1);
    for (const std::string& text : {std::string(), std::string("untrusted comment: x\n"), line + line,
                                    line.substr(0, 20), "RU" + line.substr(2)}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Minisign::parsePublicKey(text), std::nullopt);
    }
}

} // namespace
} // namespace corvane
