#include "image/services.h"

#include <gtest/gtest.h>

#include <cstring>

#include "image/image_writer.h"
#include "support/temp_dir.h"

namespace qx::image {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kMain = 0x52010001, kButton = 0x16010001, kEdit = 0x16010002;

struct Ended {
    int code;
};

ProgramImage SmallImage() {
    ImageSpec imageSpec;
    imageSpec.libraries = {{"vtrun", "K", "1", "0", "kernel"}};
    ConstBuilder c;
    imageSpec.dllLibraryName = c.AddText("kernel32.dll");
    imageSpec.dllFunctionName = c.AddText("WideCharToMultiByte");
    imageSpec.constData = c.Bytes();
    imageSpec.code = std::string(16, '\0');
    FormUnit window;
    window.identifier = kMain;
    window.type = kWindowUnit;
    window.flags = 1;
    FormUnit button;
    button.identifier = kButton;
    button.type = UnitType(0, 11);
    button.name = "按钮_分析";
    button.left = 296;
    button.flags = 1 | 4;
    FormUnit edit;
    edit.identifier = kEdit;
    edit.type = UnitType(0, 5);
    edit.name = "编辑框_书名";
    edit.flags = 2;  // hidden and disabled
    imageSpec.windows = {{kMain, 0, {window, button, edit}}};
    return ReadProgramImage(WriteProgramImage(imageSpec));
}

class ServicesTest : public ::testing::Test {
protected:
    ServicesTest() : image(SmallImage()), runtime(image) {
        runtime.SetExit([](int code) { throw Ended{code}; });
        runtime.SetErrorStream([this](std::string_view text) { report += text; });
        RegisterTextCommands(runtime);
        InstallRuntime(&runtime);
    }
    ~ServicesTest() override { InstallRuntime(nullptr); }

    // Runs `f`, which must end the program; gives the exit code.
    template <class F>
    int ExitCodeOf(F f) {
        try {
            f();
        } catch (const Ended& e) {
            return e.code;
        }
        ADD_FAILURE() << "the program did not end";
        return -1;
    }
    std::string TakeText(std::int64_t block) {
        auto* p = reinterpret_cast<char*>(static_cast<std::uintptr_t>(block));
        std::string s(p);
        Services().free(p);
        return s;
    }

    ProgramImage image;
    Runtime runtime;
    std::string report;
};

TEST_F(ServicesTest, AllocationTrioKeepsContentAndFreeTakesTextResultsToo) {
    const ServiceTable& s = Services();
    auto* block = static_cast<char*>(s.allocate(4));
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(s.reallocate(block, 1 << 20));
    EXPECT_STREQ(block, "abc");
    s.free(block);
    const std::int64_t text = runtime.TextResult("文本");
    EXPECT_EQ(runtime.LiveBlocks(), 1u);
    EXPECT_EQ(TakeText(text), "文本");
    EXPECT_EQ(runtime.LiveBlocks(), 0u);
}

TEST_F(ServicesTest, EndRunsTheRegisteredRoutineOnceAndRunTimeErrorsEndWithTheirReport) {
    static int ran = 0;
    ran = 0;
    Services().small(3, reinterpret_cast<std::intptr_t>(+[] { ++ran; }), 0, 0);
    EXPECT_EQ(ExitCodeOf([] { Services().end(7); }), 7);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(ExitCodeOf([] { Services().end(0); }), 0);
    EXPECT_EQ(ran, 1) << "the clean-up routine runs once";
    EXPECT_EQ(ExitCodeOf([] { Services().reportError(kIndexAboveCount); }), 1);
    EXPECT_EQ(report, "run-time error 1: array index above the element count\n");
}

TEST_F(ServicesTest, StartWindowAndMessageLoopGoToTheProgramsRuntime) {
    std::vector<std::string> calls;
    runtime.SetWindowLoader([&](const FormWindow& w) { calls.push_back("load " + std::to_string(w.units.size())); });
    runtime.SetMessageLoop([&] { calls.push_back("loop"); });
    Services().loadStartWindow(kMain);
    Services().runMessageLoop();
    EXPECT_EQ(calls, (std::vector<std::string>{"load 3", "loop"}));
    EXPECT_EQ(runtime.StartWindow(), kMain);
    EXPECT_EQ(ExitCodeOf([] { Services().loadStartWindow(0x52019999); }), 1);
    EXPECT_NE(report.find("no such window"), std::string::npos);
}

TEST_F(ServicesTest, PropertiesByNumberOnNamedControlsStartFromTheFormAndChangeAtOnce) {
    const ServiceTable& s = Services();
    const std::uint32_t button = runtime.Controls().ControlNamed(kMain, "按钮_分析");
    const std::uint32_t edit = runtime.Controls().ControlNamed(kMain, "编辑框_书名");
    ASSERT_EQ(button, kButton);
    EXPECT_EQ(s.readProperty(kMain, button, kLeft).low, 296u);
    EXPECT_EQ(s.readProperty(kMain, button, kVisible).low, 1u);
    EXPECT_EQ(s.readProperty(kMain, edit, kVisible).low, 0u);
    EXPECT_EQ(s.readProperty(kMain, edit, kDisabled).low, 1u);
    EXPECT_EQ(s.readProperty(kMain, button, kVisible).type, static_cast<std::uint32_t>(ValueType::Boolean));

    s.writeProperty(kMain, button, kVisible, {0, 0, static_cast<std::uint32_t>(ValueType::Boolean)});
    EXPECT_EQ(s.readProperty(kMain, button, kVisible).low, 0u);
    s.writeProperty(kMain, edit, kText, Runtime::TextArgument("西游记"));
    const Argument text = s.readProperty(kMain, edit, kText);
    EXPECT_EQ(text.type, static_cast<std::uint32_t>(ValueType::Text));
    EXPECT_EQ(TakeText(static_cast<std::int64_t>((static_cast<std::uint64_t>(text.high) << 32) | text.low)), "西游记");
    s.writeProperty(kMain, 0, kText, Runtime::TextArgument("caption"));  // control 0 is the window

    EXPECT_EQ(ExitCodeOf([&] { s.readProperty(kMain, 0x16010999, kText); }), 1);
    EXPECT_EQ(ExitCodeOf([&] { s.readProperty(kMain, button, 7); }), 1);
    EXPECT_EQ(report,
              "run-time error 102: no such window or control\nrun-time error 103: no such property\n");
    EXPECT_EQ(runtime.LiveBlocks(), 0u);
}

TEST_F(ServicesTest, FindFileListsFoldersOrFilesByPatternUntilTheEmptyText) {
    test::TempDir dir;
    fs::create_directories(dir.Path() / reinterpret_cast<const char*>(u8"默认"));
    fs::create_directories(dir.Path() / "blue");
    dir.Write("notes.txt", "x");
    dir.Write("readme", "x");
    const std::string pattern = dir.Path().string() + "\\*.*";
    std::uint32_t state = 0;
    const auto st = reinterpret_cast<std::intptr_t>(&state);
    const ServiceTable& s = Services();
    std::vector<std::string> folders;
    for (std::intptr_t name = s.small(0, reinterpret_cast<std::intptr_t>(pattern.c_str()), 16, st);;
         name = s.small(0, 0, 16, st)) {
        const std::string n = TakeText(name);
        if (n.empty()) break;
        folders.push_back(n);
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"blue", "默认"}));
    const std::string txt = dir.Path().string() + "/*.TXT";
    EXPECT_EQ(TakeText(s.small(0, reinterpret_cast<std::intptr_t>(txt.c_str()), 0, st)), "notes.txt");
    s.small(1, st, 0, 0);
    EXPECT_EQ(TakeText(s.small(0, 0, 0, st)), "") << "an ended search gives nothing";
    s.small(2, st, 4, 0);  // the resize notice has no effect
    EXPECT_EQ(ExitCodeOf([&] { s.small(9, 0, 0, 0); }), 1);
}

TEST_F(ServicesTest, KernelCommandsTakeArgumentTriplesAndGiveFreshTexts) {
    const ServiceTable& s = Services();
    const Argument text = Runtime::TextArgument("  孙悟空abc  ");
    EXPECT_EQ(s.callKernel(1, 1, &text), 13);
    const Argument left[] = {Runtime::TextArgument("孙悟空"), Runtime::IntegerArgument(4)};
    EXPECT_EQ(TakeText(s.callKernel(2, 2, left)), "孙悟");
    const Argument find[] = {Runtime::TextArgument("abcabc"), Runtime::TextArgument("c"), Argument{}};
    EXPECT_EQ(s.callKernel(5, 3, find), 3) << "an omitted start is 1";
    EXPECT_EQ(TakeText(s.callKernel(6, 1, &text)), "孙悟空abc");
    const Argument number = Runtime::DoubleArgument(2.5);
    EXPECT_EQ(TakeText(s.callKernel(7, 1, &number)), "2.5");
    EXPECT_EQ(s.callLibrary(0, 1, 1, &text), 13) << "library 0 is the kernel";
    EXPECT_EQ(ExitCodeOf([&] { s.callKernel(999, 0, nullptr); }), 1);
    EXPECT_EQ(ExitCodeOf([&] { s.callLibrary(5, 1, 0, nullptr); }), 1);
    const Argument wrong = Runtime::IntegerArgument(1);
    EXPECT_EQ(ExitCodeOf([&] { s.callKernel(1, 1, &wrong); }), 1);
    EXPECT_EQ(runtime.LiveBlocks(), 0u);
}

TEST_F(ServicesTest, TheDeclaredDllFunctionConvertsUtf16ToGbk) {
    const char16_t wide[] = u"中文A";
    char buffer[16] = {};
    std::uintptr_t args[8] = {936, 0, reinterpret_cast<std::uintptr_t>(wide), static_cast<std::uintptr_t>(-1), 0, 0, 0, 0};
    EXPECT_EQ(Services().callDll(0, args, 8), 6) << "size asked: 2 + 2 + 1 bytes and the NUL";
    args[4] = reinterpret_cast<std::uintptr_t>(buffer);
    args[5] = sizeof buffer;
    EXPECT_EQ(Services().callDll(0, args, 8), 6);
    EXPECT_STREQ(buffer, "中文A");
    args[5] = 3;
    EXPECT_EQ(Services().callDll(0, args, 8), 0) << "a buffer too small takes nothing";
    EXPECT_EQ(ExitCodeOf([&] { Services().callDll(0, args, 7); }), 1);
    EXPECT_NE(report.find("run-time error 6"), std::string::npos);
}

}  // namespace
}  // namespace qx::image
