#include "platform/XdgAutostart.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vantrel;
using vantrel::test::TempDir;
using EnvVar = vantrel::test::ScopedEnvVar;
namespace fs = std::filesystem;

TEST(XdgAutostart, EntryStartsTheExecutableInTheWorkingDirectory) {
    EXPECT_EQ(XdgAutostart::desktopEntry("/opt/vantrel/bin/vantrel", "/home/me/sites"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Vantrel\n"
              "Exec=\"/opt/vantrel/bin/vantrel\"\n"
              "Path=/home/me/sites\n");
}

TEST(XdgAutostart, ExecPathIsQuotedThenEscapedAsAString) {
    // Inside the quotes ", `, $ and \ take a backslash; % doubles; then the
    // string escapes double every backslash: \$ is written \\$, a literal
    // backslash \\\\.
    const std::string entry = XdgAutostart::desktopEntry("/my apps/$x \"q\"/a\\b%c`", " /dir\nnext");
    EXPECT_NE(entry.find("\nExec=\"/my apps/\\\\$x \\\\\"q\\\\\"/a\\\\\\\\b%%c\\\\`\"\n"), std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\nPath=\\s/dir\\nnext\n"), std::string::npos) << entry;
}

TEST(XdgAutostart, AddWritesUnderXdgConfigHomeAndRemoveDeletes) {
    TempDir dir;
    const std::string config = dir.path() + "/config";
    EnvVar xdg("XDG_CONFIG_HOME", config.c_str());
    const std::string path = config + "/autostart/vantrel.desktop";
    EXPECT_EQ(XdgAutostart::entryPath(), path);

    ASSERT_TRUE(XdgAutostart::add("/usr/bin/vantrel", "/srv/data")); // creates the folders
    EXPECT_EQ(TempDir::readFile(path), XdgAutostart::desktopEntry("/usr/bin/vantrel", "/srv/data"));
    ASSERT_TRUE(XdgAutostart::add("/usr/bin/vantrel", "/srv/other")); // rewritten, not appended
    EXPECT_EQ(TempDir::readFile(path), XdgAutostart::desktopEntry("/usr/bin/vantrel", "/srv/other"));

    XdgAutostart::remove();
    EXPECT_FALSE(fs::exists(path));
    XdgAutostart::remove(); // nothing there: silent
}

TEST(XdgAutostart, FallsBackToHomeConfigWhenXdgConfigHomeIsUnusable) {
    EnvVar home("HOME", "/home/someone");
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        EnvVar xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(XdgAutostart::entryPath(), "/home/someone/.config/autostart/vantrel.desktop");
    }
    EnvVar noHome("HOME", nullptr);
    EnvVar xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(XdgAutostart::entryPath(), "");
    EXPECT_FALSE(XdgAutostart::add("/usr/bin/vantrel", "/srv"));
}

TEST(XdgAutostart, AddFailsWhenTheEntryCannotBeWritten) {
    TempDir dir;
    TempDir::writeFile("config", "a file where the folder should be");
    EnvVar xdg("XDG_CONFIG_HOME", (dir.path() + "/config").c_str());
    EXPECT_FALSE(XdgAutostart::add("/usr/bin/vantrel", "/srv"));
    XdgAutostart::remove(); // silent

    fs::create_directories("other/autostart/vantrel.desktop"); // a folder in the entry's place
    EnvVar other("XDG_CONFIG_HOME", (dir.path() + "/other").c_str());
    EXPECT_FALSE(XdgAutostart::add("/usr/bin/vantrel", "/srv"));
    XdgAutostart::remove(); // silent
}

TEST(XdgAutostart, CurrentExecutableIsTheRunningProgram) {
    const fs::path exe = XdgAutostart::currentExecutable();
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_EQ(exe.filename(), "autostart_tests");
}
