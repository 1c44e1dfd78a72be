#include "image/program_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

#include "image/image_inspect.h"
#include "image/image_writer.h"
#include "support/temp_dir.h"

namespace qx::image {
namespace {

constexpr std::uint32_t kMain = 0x52010001;
constexpr std::uint32_t kTab = 0x16010001, kPage1Button = 0x16010002, kPage2Edit = 0x16010003,
                        kGroup = 0x16010004;

FormUnit Unit(std::uint32_t id, std::uint32_t type, const std::string& name, std::uint32_t parent,
              std::vector<std::uint32_t> children = {}, std::uint32_t flags = 1) {
    FormUnit u;
    u.identifier = id;
    u.type = type;
    u.name = name;
    u.remark = "remark of " + name;
    u.left = 10;
    u.top = -2;
    u.width = 56;
    u.height = 24;
    u.parent = parent;
    u.children = std::move(children);
    u.flags = flags;
    u.smallNumber = 3;
    u.properties = std::string("\x05\0\0\0caption", 11);
    return u;
}

// An image with every part: eight libraries, texts, a window with a tab
// control, its pages' members, a group box and a tree view from library 1;
// relocations of all four kinds; the four load lists.
ImageSpec FullSpec() {
    ImageSpec imageSpec;
    for (int i = 0; i < 8; ++i)
        imageSpec.libraries.push_back({"lib" + std::to_string(i), "ID" + std::to_string(i), "1", "0", "library " + std::to_string(i)});
    ConstBuilder c;
    imageSpec.dllLibraryName = c.AddText("kernel32.dll");
    imageSpec.dllFunctionName = c.AddText("WideCharToMultiByte");
    const std::uint32_t hello = c.AddText("请点击“浏览”按钮选择输入文件！");
    c.AddDouble(3.5);
    imageSpec.constData = c.Bytes();
    imageSpec.constSize = static_cast<std::uint32_t>(imageSpec.constData.size() + 100);

    FormWindow w{kMain, 0x19010001, {}};
    FormUnit window = Unit(kMain, kWindowUnit, "", 0);
    window.events = {{0, 8}, {-1, 12}};
    w.units.push_back(window);
    w.units.push_back(Unit(kTab, kTabControlUnit, "选择夹_制作流程", 0, {kPage1Button, 0, kPage2Edit, kGroup, 0}));
    FormUnit button = Unit(kPage1Button, UnitType(0, 11), "按钮_分析", kTab, {}, 5);
    button.cursor = 0x7F89;
    button.events = {{0, 16}};
    w.units.push_back(button);
    w.units.push_back(Unit(kPage2Edit, UnitType(1, 1), "树型框_索引目录", kGroup));
    w.units.push_back(Unit(kGroup, UnitType(0, 9), "分组框1", kTab, {kPage2Edit}, 1));
    imageSpec.windows = {w, FormWindow{kMain + 1, 0, {Unit(kMain + 1, kWindowUnit, "", 0)}}};

    std::string& code = imageSpec.code;
    const auto imm = [&](std::uint32_t v) {
        const auto at = static_cast<std::uint32_t>(code.size());
        for (int i = 0; i < 4; ++i) code.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return at;
    };
    code = std::string(8, '\x90');
    imageSpec.entry = 4;
    for (std::uint32_t s = 0; s < 13; ++s) imageSpec.relocations.push_back({imm(s * 4), RelocationKind::Service});
    imageSpec.relocations.push_back({imm(hello), RelocationKind::Const});
    imageSpec.relocations.push_back({imm(72), RelocationKind::Var});
    imageSpec.relocations.push_back({imm(4), RelocationKind::Code});
    imageSpec.loadLists.identifiers = {imm(kMain), imm(kPage1Button), imm(0x26010001), imm(0x06010001)};
    imageSpec.loadLists.dllFunctions = {imm(0), imm(0)};
    imageSpec.loadLists.libraries = {imm(0), imm(7)};
    imageSpec.loadLists.unitTypes = {imm(UnitType(0, 11)), imm(UnitType(3, 1))};
    return imageSpec;
}

TEST(ProgramImage, WhatTheWriterWritesTheReaderGivesBack) {
    const ImageSpec imageSpec = FullSpec();
    const std::string bytes = WriteProgramImage(imageSpec);
    const ProgramImage image = ReadProgramImage(bytes + std::string(50, 'x'));  // trailing bytes are not the image's
    EXPECT_EQ(image.size, bytes.size());
    EXPECT_EQ(image.header.words, imageSpec.words);
    EXPECT_EQ(image.libraries, imageSpec.libraries);
    ASSERT_EQ(image.segments.size(), 6u);
    const std::vector<std::string> order = {"const", "form", "help", "code", "var", "@reloc1"};
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(image.segments[i].name, order[i]);
    EXPECT_EQ(image.Find("const")->memorySize, imageSpec.constSize);
    EXPECT_EQ(image.Find("var")->memorySize, 76u);
    EXPECT_EQ(image.Find("code")->relocations, imageSpec.relocations);
    EXPECT_EQ(image.header.entry, image.Find("code")->dataOffset + 4);
    EXPECT_EQ(image.loadLists, imageSpec.loadLists);
    EXPECT_EQ(image.windows, imageSpec.windows);
    EXPECT_EQ(image.ConstText(ConstBuilder::kEmptyText), "");
    EXPECT_EQ(image.ConstText(imageSpec.dllFunctionName), "WideCharToMultiByte");
}

std::uint32_t WordAt(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
void SetWord(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Each damage is reported at the offset of the field that is wrong.
TEST(ProgramImage, TheFirstViolationIsReportedWithItsOffset) {
    const std::string good = WriteProgramImage(FullSpec());
    const ProgramImage image = ReadProgramImage(good);
    const auto seg = [&](const char* name) { return static_cast<std::size_t>(image.Find(name)->headerOffset); };
    const std::size_t codeData = image.Find("code")->dataOffset;
    const std::size_t formData = image.Find("form")->dataOffset;
    const std::size_t firstRecord = formData + 4 + 16 + 24 + 8 * 5;  // table, window head, ids and offsets
    // The window's flags sit before its small number, events and properties.
    const FormUnit& window = image.windows[0].units[0];
    const std::size_t flagsAt =
        firstRecord + EncodeUnit(window).size() - window.properties.size() - 4 - 8 * window.events.size() - 4 - 4;
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        std::size_t offset;
    };
    const std::vector<Case> cases = {
        {"magic", [](std::string& b) { b[1] = 'X'; }, 0},
        {"header byte 10 not zero", [](std::string& b) { b[10] = 1; }, 10},
        {"first segment beyond the end", [](std::string& b) { SetWord(b, 36, 0x7FFFFFF0); SetWord(b, 84, 0x7FFFFFF0); }, 36},
        {"offset 84 differs", [](std::string& b) { SetWord(b, 84, 0); }, 84},
        {"library record with four fields", [](std::string& b) { b[b.find('\r', 96)] = '_'; }, 96},
        {"code flags", [&](std::string& b) { SetWord(b, seg("code") + 8, 1); }, seg("code") + 8},
        {"name not zero padded", [&](std::string& b) { b[seg("help") + 12 + 10] = 'z'; }, seg("help") + 12},
        {"data beyond the end", [&](std::string& b) { SetWord(b, seg("form") + 44, 0xFFFFFF00); }, seg("form") + 44},
        {"data larger than memory", [&](std::string& b) { SetWord(b, seg("help") + 36, 10); }, seg("help") + 40},
        {"chain returns", [&](std::string& b) { SetWord(b, seg("@reloc1") + 4, static_cast<std::uint32_t>(seg("form"))); },
         seg("@reloc1") + 4},
        {"relocations outside a code segment", [&](std::string& b) { SetWord(b, seg("var") + 48, 1); }, seg("var") + 48},
        {"relocation kind 5", [&](std::string& b) { SetWord(b, seg("code") + 56, WordAt(b, seg("code") + 56) | 5); },
         seg("code") + 56},
        {"const relocation past const", [&](std::string& b) { SetWord(b, codeData + 8 + 13 * 4, 0x100000); },
         seg("code") + 56 + 13 * 4},
        {"relocation past the code", [&](std::string& b) { SetWord(b, seg("code") + 56, 0x10000 * 8); }, seg("code") + 56},
        {"entry outside code", [](std::string& b) { SetWord(b, 60, 4); }, 60},
        {"var with image data", [&](std::string& b) { SetWord(b, seg("var") + 44, 200); }, seg("var") + 44},
        {"DLL name outside const", [](std::string& b) { SetWord(b, 88, 0x7FFF0000); }, 88},
        {"named header wrong", [&](std::string& b) { SetWord(b, 64 + 4, static_cast<std::uint32_t>(seg("help"))); }, 68},
        {"window table size", [&](std::string& b) { SetWord(b, formData, 12); }, formData},
        {"unit flags", [&](std::string& b) { SetWord(b, flagsAt, 99); }, flagsAt},
    };
    for (const Case& c : cases) {
        std::string bad = good;
        c.damage(bad);
        try {
            ReadProgramImage(bad);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const ImageFormatError& e) {
            EXPECT_EQ(e.Offset(), c.offset) << c.what << ": " << e.what();
        }
    }
}

TEST(ProgramImage, FormReferencesMustStayInsideTheirWindow) {
    const auto refused = [](ImageSpec imageSpec, const char* what) {
        EXPECT_THROW(ReadProgramImage(WriteProgramImage(imageSpec)), ImageFormatError) << what;
    };
    ImageSpec imageSpec = FullSpec();
    imageSpec.windows[0].units[2].parent = 0x16019999;
    refused(imageSpec, "parent elsewhere");
    imageSpec = FullSpec();
    imageSpec.windows[0].units[4].children = {0x16010001, 0};
    refused(imageSpec, "a 0 child outside a tab control");
    imageSpec = FullSpec();
    imageSpec.windows[0].units[2].events = {{0, 0x100000}};
    refused(imageSpec, "handler outside the code");
    imageSpec = FullSpec();
    imageSpec.windows[0].units[2].type = UnitType(8, 1);
    refused(imageSpec, "unit of a library not listed");
    imageSpec = FullSpec();
    imageSpec.windows[0].units[0].name = "main";
    refused(imageSpec, "a window with a name");
    imageSpec = FullSpec();
    imageSpec.windows[0].units[3].identifier = kPage1Button;
    refused(imageSpec, "two units with one identifier");
    imageSpec = FullSpec();
    imageSpec.loadLists.libraries = {static_cast<std::uint32_t>(imageSpec.code.size())};
    refused(imageSpec, "load list entry past the code");
    imageSpec = FullSpec();
    imageSpec.windows.clear();
    EXPECT_NO_THROW(ReadProgramImage(WriteProgramImage(imageSpec))) << "a form without windows is valid";
}

// Every cut of a valid image is refused cleanly, never read past its end.
TEST(ProgramImage, EveryTruncationIsRefusedWithAnOffsetInsideTheBytes) {
    const std::string good = WriteProgramImage(FullSpec());
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        try {
            ReadProgramImage(std::string_view(good).substr(0, cut));
            ADD_FAILURE() << "accepted a cut at " << cut;
        } catch (const ImageFormatError& e) {
            EXPECT_LE(e.Offset(), cut) << cut;
        }
    }
}

// Random damage: every result is either a valid image or a format error.
// Counts go to the test log.
TEST(ProgramImage, RandomDamageIsReadOrRefusedNeverMisread) {
    const std::string good = WriteProgramImage(FullSpec());
    std::mt19937 rng(20261208);
    int accepted = 0, refused = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bad = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = rng() % bad.size();
            switch (rng() % 3) {
                case 0: bad[at] = static_cast<char>(rng()); break;
                case 1: SetWord(bad, at - at % 4 < bad.size() - 4 ? at - at % 4 : 0, static_cast<std::uint32_t>(rng())); break;
                case 2: bad.resize(at); break;
            }
            if (bad.size() < 4) break;
        }
        try {
            const ProgramImage image = ReadProgramImage(bad);
            ASSERT_LE(image.size, bad.size());
            ++accepted;
        } catch (const ImageFormatError& e) {
            ASSERT_LE(e.Offset(), bad.size());
            ++refused;
        }
    }
    std::printf("random damage: %d accepted, %d refused\n", accepted, refused);
    ::testing::Test::RecordProperty("accepted", accepted);
    ::testing::Test::RecordProperty("refused", refused);
}

TEST(ImageInspect, PrintsTheSummaryOrTheFirstFaultWithItsOffset) {
    test::TempDir dir;
    const std::string good = WriteProgramImage(FullSpec());
    std::ostringstream out, err;
    EXPECT_EQ(RunImageInspect(dir.Write("good.img", good), out, err), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("libraries (8)"), std::string::npos) << text;
    EXPECT_NE(text.find("code relocations 16: service 13 const 1 var 1 code 1"), std::string::npos) << text;
    EXPECT_NE(text.find("load lists: identifiers 4, DLL functions 2, libraries 2, unit types 2"), std::string::npos);
    EXPECT_NE(text.find(reinterpret_cast<const char*>(u8"按钮_分析")), std::string::npos) << "names are shown as UTF-8";
    std::string bad = good;
    bad[10] = 1;
    std::ostringstream out2, err2;
    EXPECT_EQ(RunImageInspect(dir.Write("bad.img", bad), out2, err2), 1);
    EXPECT_NE(err2.str().find("at offset 0xA (10)"), std::string::npos) << err2.str();
    std::ostringstream out3, err3;
    EXPECT_EQ(RunImageInspect(dir.Write("none.txt", "plain text"), out3, err3), 1);
    EXPECT_EQ(RunImageCommand({"inspect"}, out3, err3), 2);
}

}  // namespace
}  // namespace qx::image
