// Texts here are compiled as GBK, like the program's own.
// Where the program keeps things: a portable copy in its own folder, an
// installed copy in the user's XDG folders, and the first start of such a
// user.
#include "app/user_home.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/parameter_store.h"
#include "app/startup.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::app {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Sets an environment variable for one test and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = ::getenv(name)) m_old = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A fake installation: <root>/usr/bin (the executable's folder) beside
// <root>/usr/share/qxebook/template/默认, and a user's empty XDG folders.
class InstalledLayoutTest : public ::testing::Test {
protected:
    InstalledLayoutTest()
        : bin(dir.Path() / "usr" / "bin"),
          share(dir.Path() / "usr" / "share" / "qxebook"),
          noHome("QX_HOME", std::nullopt),
          config("XDG_CONFIG_HOME", (dir.Path() / "user" / "config").string()),
          data("XDG_DATA_HOME", (dir.Path() / "user" / "data").string()) {
        fs::create_directories(bin);
        fs::create_directories(share / "template" / runtime::GbkToUtf8("默认"));
        fs::create_directories(share / "template" / runtime::GbkToUtf8("古典"));
    }

    test::TempDir dir;
    fs::path bin, share;
    ScopedEnv noHome, config, data;
};

TEST_F(InstalledLayoutTest, AnExecutableBesideAShareFolderKeepsTheUsersThingsInTheXdgFolders) {
    const auto layout = runtime::LocateProgramHome(std::nullopt, bin);
    EXPECT_TRUE(layout.perUser);
    EXPECT_EQ(layout.home, dir.Path() / "user" / "data" / "qxebook");
    EXPECT_EQ(layout.config, dir.Path() / "user" / "config" / "qxebook");
    EXPECT_EQ(layout.installedTemplates, share / "template");
}

TEST_F(InstalledLayoutTest, WithoutXdgVariablesTheFoldersAreUnderTheHomeDirectory) {
    ScopedEnv home("HOME", (dir.Path() / "someone").string());
    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
    const auto layout = runtime::LocateProgramHome(std::nullopt, bin);
    EXPECT_EQ(layout.home, dir.Path() / "someone" / ".local" / "share" / "qxebook");
    EXPECT_EQ(layout.config, dir.Path() / "someone" / ".config" / "qxebook");
}

TEST_F(InstalledLayoutTest, TheHomeOptionAndQxHomeStillGiveThePortableLayout) {
    const auto given = runtime::LocateProgramHome(dir.Path() / "mine", bin);
    EXPECT_FALSE(given.perUser);
    EXPECT_EQ(given.home, dir.Path() / "mine");
    EXPECT_EQ(given.config, dir.Path() / "mine");
    EXPECT_TRUE(given.installedTemplates.empty());

    ScopedEnv env("QX_HOME", (dir.Path() / "env").string());
    const auto fromEnv = runtime::LocateProgramHome(std::nullopt, bin);
    EXPECT_FALSE(fromEnv.perUser);
    EXPECT_EQ(fromEnv.home, dir.Path() / "env");
    // The option wins over the variable.
    EXPECT_EQ(runtime::LocateProgramHome(dir.Path() / "mine", bin).home, dir.Path() / "mine");
}

TEST_F(InstalledLayoutTest, AWritableFolderWithoutAShareFolderIsAPortableCopy) {
    const fs::path portable = dir.Path() / "portable";
    fs::create_directories(portable);
    const auto layout = runtime::LocateProgramHome(std::nullopt, portable);
    EXPECT_FALSE(layout.perUser);
    EXPECT_EQ(layout.home, portable);
    EXPECT_EQ(layout.config, portable);
}

TEST_F(InstalledLayoutTest, AFolderTheUserCannotWriteIsAnInstalledCopy) {
    if (::geteuid() == 0) GTEST_SKIP() << "root can write every folder";
    const fs::path readOnly = dir.Path() / "opt";
    fs::create_directories(readOnly);
    ::chmod(readOnly.c_str(), 0555);
    const auto layout = runtime::LocateProgramHome(std::nullopt, readOnly);
    ::chmod(readOnly.c_str(), 0755);
    EXPECT_TRUE(layout.perUser);
    EXPECT_EQ(layout.home, dir.Path() / "user" / "data" / "qxebook");
}

TEST_F(InstalledLayoutTest, TheFirstStartMakesTheFoldersTableAndSettingsAndLaterStartsKeepThem) {
    const auto layout = runtime::LocateProgramHome(std::nullopt, bin);
    std::string problem;
    ASSERT_TRUE(PrepareUserHome(layout, dir.Path() / "docs", problem)) << problem;
    ASSERT_TRUE(fs::exists(ParameterTablePath(layout.home)));
    ASSERT_TRUE(fs::exists(SettingsPath(layout.config)));
    const auto settings = ReadSettings(SettingsPath(layout.config), dir.Path() / "docs");
    EXPECT_EQ(settings.outputDirectory, (dir.Path() / "docs" / "My eBooks").string());

    // What the user changed since is left alone by the next start.
    ASSERT_TRUE(runtime::WriteFileAtomically(SettingsPath(layout.config), "[mine]\r\nkept=1\r\n"));
    const auto table = runtime::ReadWholeFile(ParameterTablePath(layout.home));
    ASSERT_TRUE(PrepareUserHome(layout, dir.Path() / "docs", problem)) << problem;
    EXPECT_EQ(runtime::ReadWholeFile(SettingsPath(layout.config)), "[mine]\r\nkept=1\r\n");
    EXPECT_EQ(runtime::ReadWholeFile(ParameterTablePath(layout.home)), table);
}

TEST_F(InstalledLayoutTest, APortableHomeIsNotPrepared) {
    const auto layout = runtime::LocateProgramHome(dir.Path() / "mine", bin);
    std::string problem;
    EXPECT_TRUE(PrepareUserHome(layout, dir.Path() / "docs", problem));
    EXPECT_FALSE(fs::exists(dir.Path() / "mine"));
}

TEST_F(InstalledLayoutTest, AHomeThatCannotBeMadeIsReportedWithThePlace) {
    // A file where the data folder should be.
    fs::create_directories(dir.Path() / "user");
    std::ofstream(dir.Path() / "user" / "data") << "x";
    const auto layout = runtime::LocateProgramHome(std::nullopt, bin);
    std::string problem;
    EXPECT_FALSE(PrepareUserHome(layout, dir.Path() / "docs", problem));
    EXPECT_THAT(problem, ::testing::HasSubstr((dir.Path() / "user" / "data").string()));
}

TEST_F(InstalledLayoutTest, StartUpOfANewUserAsksNothingAndListsTheInstalledTemplatesAfterTheUsers) {
    const auto layout = runtime::LocateProgramHome(std::nullopt, bin);
    // The user's own 古典 wins over the installed one of that name.
    fs::create_directories(layout.home / "template" / runtime::GbkToUtf8("古典"));
    fs::create_directories(layout.home / "template" / runtime::GbkToUtf8("我的"));
    const ProgramPaths paths = PathsOf(layout, dir.Path() / "docs", dir.Path());
    EXPECT_TRUE(paths.perUser);
    EXPECT_EQ(paths.ConfigDirectory(), layout.config);

    AppState state;
    test::ScriptedUi ui;
    ASSERT_TRUE(StartUp(state, paths, ui));
    EXPECT_TRUE(ui.Texts(test::ScriptedUi::Call::Ask).empty());
    EXPECT_TRUE(fs::exists(ParameterTablePath(layout.home)));
    auto installed = InstalledTemplates(paths.home, paths.installedTemplates);
    std::sort(installed.begin(), installed.begin() + 2);  // the user's two, in file-system order
    EXPECT_THAT(installed, ElementsAre("古典", "我的", "默认"));

    // Closing saves into the config folder, not beside the executable.
    Settings settings = ReadSettings(SettingsPath(layout.config), paths.documents);
    settings.outputDirectory = "/elsewhere";
    ASSERT_TRUE(CloseDown(state, paths, settings));
    EXPECT_EQ(ReadSettings(SettingsPath(layout.config), paths.documents).outputDirectory, "/elsewhere");
    EXPECT_FALSE(fs::exists(SettingsPath(bin)));
    EXPECT_FALSE(fs::exists(SettingsPath(layout.home)));
}

}  // namespace
}  // namespace qx::app
