// Texts here are compiled as GBK, like the program's own.
#include "app/startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/parameter_store.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::app {
namespace {

namespace fs = std::filesystem;
using runtime::Answer;
using ::testing::ElementsAre;

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        paths = {dir.Path() / "home", dir.Path() / "docs", dir.Path() / "tmp"};
        fs::create_directories(paths.home);
        fs::create_directories(paths.temporary);
    }
    void MakeTemplates(std::initializer_list<const char*> names) {
        for (const char* n : names) fs::create_directories(paths.home / "template" / runtime::GbkToUtf8(n));
    }
    std::string Ini() { return runtime::ReadWholeFile(SettingsPath(paths.home)).value_or(""); }

    test::TempDir dir;
    ProgramPaths paths;
    AppState state;
    test::ScriptedUi ui;
};

TEST_F(StartUpTest, FirstStartAsksForTheTableAndTakesDefaults) {
    ui.answers = {Answer::Yes};
    MakeTemplates({"默认"});
    const auto settings = StartUp(state, paths, ui);
    ASSERT_TRUE(settings);
    EXPECT_EQ(ui.Texts(test::ScriptedUi::Call::Ask), std::vector<std::string>{std::string(kMissingTableQuestion)});
    EXPECT_TRUE(fs::exists(ParameterTablePath(paths.home)));
    EXPECT_TRUE(fs::exists(paths.temporary / "~temp.vdb"));
    EXPECT_TRUE(fs::exists(paths.temporary / "~temp.vdt"));
    EXPECT_EQ(settings->outputDirectory, (paths.documents / "My eBooks").string());
    EXPECT_EQ(state.inputDirectory, settings->outputDirectory);
    EXPECT_TRUE(settings->instantPreview && settings->autoOpenOutput && settings->autoSaveParameters);
    EXPECT_EQ(settings->layoutMode, text::LayoutMode::SeparateLines);
    EXPECT_THAT(state.templates.Selected(), ElementsAre("默认"));
}

TEST_F(StartUpTest, DecliningToRestoreTheTableEndsWithoutTouchingAnything) {
    ui.answers = {Answer::No};
    EXPECT_FALSE(StartUp(state, paths, ui));
    EXPECT_FALSE(fs::exists(ParameterTablePath(paths.home)));
    EXPECT_FALSE(fs::exists(SettingsPath(paths.home)));
    EXPECT_FALSE(fs::exists(paths.temporary / "~temp.vdb"));
}

TEST_F(StartUpTest, SavedSelectionOfTwoOfThreeTemplatesComesBackInOrder) {
    ASSERT_TRUE(WriteDefaultTables(paths.home));
    MakeTemplates({"默认", "古风", "简洁"});
    runtime::WriteFileAtomically(SettingsPath(paths.home), "[基本设置]\r\n模板=简洁|默认\r\n");
    const auto settings = StartUp(state, paths, ui);
    ASSERT_TRUE(settings);
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_THAT(state.templates.Selected(), ElementsAre("简洁", "默认"));
    ASSERT_EQ(state.templates.Items().size(), 3u);
    EXPECT_EQ(state.templates.Items()[0].name, "简洁");
    EXPECT_EQ(state.templates.Items()[1].name, "默认");
    EXPECT_EQ(state.templates.Items()[2].name, "古风");
    EXPECT_FALSE(state.templates.Items()[2].ticked);
    EXPECT_EQ(state.templates.SelectedCount(), 2);
    EXPECT_EQ(state.templates.CurrentNumberText(), "2");
    EXPECT_EQ(state.templates.AvailableCount(), 3);
}

TEST_F(StartUpTest, ClosingWritesTheSettingsDropsVanishedTemplatesAndDeletesBackups) {
    ASSERT_TRUE(WriteDefaultTables(paths.home));
    MakeTemplates({"默认"});
    runtime::WriteFileAtomically(SettingsPath(paths.home), "[基本设置]\r\n模板=旧模板|默认\r\n[别的]\r\n键=值\r\n");
    auto settings = StartUp(state, paths, ui);
    ASSERT_TRUE(settings);
    state.inputDirectory = "/books";
    settings->instantPreview = false;
    ASSERT_TRUE(CloseDown(state, paths, *settings));
    const std::string ini = Ini();
    EXPECT_NE(ini.find("模板=默认"), std::string::npos) << ini;
    EXPECT_NE(ini.find("即时预览=假"), std::string::npos);
    EXPECT_NE(ini.find("输入目录=/books"), std::string::npos);
    EXPECT_NE(ini.find("键=值"), std::string::npos);
    EXPECT_FALSE(fs::exists(paths.temporary / "~temp.vdb"));
    EXPECT_FALSE(fs::exists(paths.temporary / "~temp.vdt"));
}

TEST_F(StartUpTest, WithoutATemplateFolderTheListIsEmptyAndClosingWritesTheDefault) {
    ASSERT_TRUE(WriteDefaultTables(paths.home));
    auto settings = StartUp(state, paths, ui);
    ASSERT_TRUE(settings);
    EXPECT_EQ(state.templates.AvailableCount(), 0);
    EXPECT_EQ(state.templates.SelectedCount(), 0);
    EXPECT_EQ(state.templates.CurrentNumberText(), "0");
    ASSERT_TRUE(CloseDown(state, paths, *settings));
    EXPECT_NE(Ini().find("模板=默认"), std::string::npos);
}

TEST_F(StartUpTest, SettingsThatCannotBeSavedAreToldWithTheFileAndTheReasonAndTheOldFileStays) {
    ASSERT_TRUE(WriteDefaultTables(paths.home));
    const std::string before = "[基本设置]\r\n模板=默认\r\n";
    runtime::WriteFileAtomically(SettingsPath(paths.home), before);
    auto settings = StartUp(state, paths, ui);
    ASSERT_TRUE(settings);
    settings->instantPreview = false;

    // The last step of the save fails: the file keeps its old content, no
    // temporary file is left, and the error box says which file and why.
    runtime::SetRenameFunctionForTesting([](const fs::path&, const fs::path&) { return false; });
    const bool written = CloseDown(state, paths, *settings, &ui);
    runtime::SetRenameFunctionForTesting(nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(Ini(), before);
    for (const auto& entry : fs::directory_iterator(paths.home)) {
        EXPECT_EQ(entry.path().filename().string().find("qx_cfg.ini.tmp"), std::string::npos) << entry.path();
    }
    const std::string file = runtime::Utf8ToGbk(SettingsPath(paths.home).string());
    ASSERT_EQ(ui.Texts(test::ScriptedUi::Call::Message).size(), 1u);
    EXPECT_EQ(ui.calls.back().text,
              "设置保存失败，原有设置文件未改动：" + file + "\r\n原因：Input/output error");
    EXPECT_EQ(ui.calls.back().icon, runtime::Icon::Error);
    EXPECT_FALSE(fs::exists(paths.temporary / "~temp.vdb"));  // the backups go all the same

    // A folder that is gone: the system's reason; without a Ui nothing is shown.
    ui.calls.clear();
    paths.config = dir.Path() / "gone";
    EXPECT_FALSE(CloseDown(state, paths, *settings, &ui));
    ASSERT_EQ(ui.Texts(test::ScriptedUi::Call::Message).size(), 1u);
    EXPECT_THAT(ui.calls.back().text, ::testing::EndsWith("\r\n原因：No such file or directory"));
    EXPECT_FALSE(CloseDown(state, paths, *settings));
    EXPECT_EQ(ui.Texts(test::ScriptedUi::Call::Message).size(), 1u);
}

TEST(ParameterStore, TheBuiltInTableHasTheShippedShape) {
    test::TempDir dir;
    ASSERT_TRUE(WriteDefaultTables(dir.Path()));
    EXPECT_EQ(fs::file_size(ParameterTablePath(dir.Path())), 812u);
    const auto table = runtime::ReadRecordTable(ParameterTablePath(dir.Path()), ParameterTextsPath(dir.Path()));
    ASSERT_EQ(table.records.size(), 24u);
    EXPECT_EQ(table.recordLength, 23u);
    EXPECT_EQ(table.nextId, 26u);
    EXPECT_EQ(table.records[20].id, 21u);
    EXPECT_EQ(table.records[21].id, 23u);
    EXPECT_EQ(table.records[23].id, 25u);
    EXPECT_EQ(table.timeStamp, 38963.0);  // 3 September 2006
    EXPECT_EQ(table.records[0].values[0], "标题_Chapter");
    EXPECT_EQ(table.records[23].values[0], "制作");
    EXPECT_EQ(table.records[23].values[1], "Zarvo");
    runtime::RecordDataSource source;
    source.Open(ParameterTablePath(dir.Path()));
    const auto texts = ReadParameterTexts(source);
    EXPECT_EQ(texts[24], "Zarvo");
    EXPECT_NE(texts[18].find("{PAGE}"), std::string::npos);
}

TEST(ParameterStore, ADamagedTableIsReplacedOnlyWhenTheUserAgreesAndIsKeptAside) {
    test::TempDir dir;
    ASSERT_TRUE(WriteDefaultTables(dir.Path()));
    runtime::WriteFileAtomically(ParameterTablePath(dir.Path()), "WVDB broken");
    runtime::RecordDataSource source;
    test::ScriptedUi ui;
    ui.answers = {Answer::No};
    EXPECT_FALSE(OpenParameterTable(source, dir.Path(), ui));
    EXPECT_EQ(*runtime::ReadWholeFile(ParameterTablePath(dir.Path())), "WVDB broken");
    ui.answers = {Answer::Yes};
    EXPECT_TRUE(OpenParameterTable(source, dir.Path(), ui));
    EXPECT_EQ(source.RowCount(), 24);
    EXPECT_EQ(*runtime::ReadWholeFile(dir.Path() / "data.vdb.damaged"), "WVDB broken");
}

}  // namespace
}  // namespace qx::app
