// Narrow literals here are GBK.
#include "runtime/record_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/files.h"
#include "support/temp_dir.h"

namespace qx::runtime {
namespace {

namespace fs = std::filesystem;

// ---- Files built byte by byte, independent of the writer ----

std::string Le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Le64(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof d);
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return s;
}

std::string ZeroFilled(std::string text, std::size_t width) {
    text.resize(width, '\0');
    return text;
}

constexpr double kStamp = 38963.0;  // 3 September 2006

std::string VdbHeader(std::uint32_t count, std::uint32_t nextId, std::uint32_t recordLength = 23,
                      std::uint32_t fieldCount = 2) {
    return "WVDB" + std::string("\0\0\x01\0", 4) + Le64(kStamp) + Le32(count) + Le32(nextId) +
           Le32(recordLength) + std::string(84, '\0') + Le32(fieldCount);
}

std::string Descriptor(const std::string& name, std::uint32_t type, std::uint32_t offset,
                       std::uint32_t width) {
    return ZeroFilled(name, 20) + Le32(type) + Le32(offset) + Le32(width) + std::string(40, '\0');
}

std::string ParameterDescriptors() { return Descriptor("标签", 10, 4, 15) + Descriptor("数值", 12, 19, 0); }

std::string RecordBytes(std::uint32_t id, const std::string& name, std::uint32_t firstBlock) {
    return Le32(id) + ZeroFilled(name, 15) + Le32(firstBlock);
}

std::string VdtHeader(std::uint32_t blocks) {
    return ZeroFilled("WVDT" + std::string("\0\0\x01\0", 4) + Le64(kStamp) + Le32(blocks), 512);
}

std::string Block(std::uint32_t prev, std::uint32_t next, const std::string& text) {
    return ZeroFilled(Le32(prev) + Le32(next) + Le32(static_cast<std::uint32_t>(text.size())) + text, 512);
}

std::string Repeat(const std::string& piece, std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) s += piece;
    s.resize(bytes);
    return s;
}

// A two-row parameter table: row 1 "链接" with a two-block text in blocks 1
// and 2, row 2 "制作" with a one-block text in block 3; ids 1 and 3.
struct HandMade {
    std::string vdb;
    std::string vdt;
};
HandMade SmallTable() {
    HandMade t;
    t.vdb = VdbHeader(2, 4) + ParameterDescriptors() + RecordBytes(1, "链接", 1) + RecordBytes(3, "制作", 3);
    t.vdt = VdtHeader(4) + Block(0, 2, Repeat("甲", 500)) + Block(1, 0, "乙乙") + Block(0, 0, "QX");
    return t;
}

RecordTable ParameterTable() {
    return NewRecordTable({{"标签", FieldType::ShortText, 0, 15}, {"数值", FieldType::LongText, 0, 0}});
}

// ---- Reading and writing the layout ----

TEST(RecordTableRead, HandMadeParameterTableGivesItsHeaderFieldsAndTexts) {
    const HandMade t = SmallTable();
    const RecordTable table = ParseRecordTable(t.vdb, t.vdt);
    EXPECT_EQ(table.timeStamp, kStamp);
    EXPECT_EQ(table.nextId, 4u);
    EXPECT_EQ(table.recordLength, 23u);
    ASSERT_EQ(table.fields.size(), 2u);
    EXPECT_EQ(table.fields[0].name, "标签");
    EXPECT_EQ(table.fields[0].type, FieldType::ShortText);
    EXPECT_EQ(table.fields[0].offset, 4u);
    EXPECT_EQ(table.fields[0].width, 15u);
    EXPECT_EQ(table.fields[1].name, "数值");
    EXPECT_EQ(table.fields[1].type, FieldType::LongText);
    EXPECT_EQ(table.fields[1].offset, 19u);
    ASSERT_EQ(table.records.size(), 2u);
    EXPECT_EQ(table.records[0].id, 1u);
    EXPECT_EQ(table.records[0].values, (std::vector<std::string>{"链接", Repeat("甲", 500) + "乙乙"}));
    EXPECT_EQ(table.records[1].id, 3u);
    EXPECT_EQ(table.records[1].values, (std::vector<std::string>{"制作", "QX"}));
}

TEST(RecordTableRead, ChainsInAnyBlockOrderReadAlongTheirLinks) {
    // One text in blocks 5, 2, 4 (backwards and with gaps); the other in 1;
    // block 3 is free. A block that holds fewer than 500 bytes inside a chain
    // still contributes exactly its used bytes.
    const std::string a = Repeat("一", 500), b = Repeat("二", 120), c = Repeat("三", 500);
    const std::string vdb =
        VdbHeader(2, 3) + ParameterDescriptors() + RecordBytes(1, "甲", 5) + RecordBytes(2, "乙", 1);
    const std::string vdt = VdtHeader(6) + Block(0, 0, "solo") + Block(5, 4, b) + Block(0, 0, "") +
                            Block(2, 0, c) + Block(0, 2, a);
    const RecordTable table = ParseRecordTable(vdb, vdt);
    EXPECT_EQ(table.records[0].values[1], a + b + c);
    EXPECT_EQ(table.records[1].values[1], "solo");
}

TEST(RecordTableWrite, EncodesTheParameterLayoutByteForByte) {
    RecordTable table = ParameterTable();
    table.timeStamp = kStamp;
    AddRecord(table, {"链接", Repeat("甲", 500) + "乙乙"});
    AddRecord(table, {"制作", ""});
    const RecordTableBytes bytes = EncodeRecordTable(table);
    EXPECT_EQ(bytes.vdb, VdbHeader(2, 3) + ParameterDescriptors() + RecordBytes(1, "链接", 1) +
                             RecordBytes(2, "制作", 0));
    EXPECT_EQ(bytes.vdt, VdtHeader(3) + Block(0, 2, Repeat("甲", 500)) + Block(1, 0, "乙乙"));
}

TEST(RecordTableWrite, RoundTripKeepsIdsGapsAndTextsAcrossBlockBoundaries) {
    test::TempDir dir;
    const fs::path vdb = dir.Path() / "data.vdb", vdt = dir.Path() / "data.vdt";
    RecordTable table = ParameterTable();
    table.timeStamp = kStamp;
    const std::vector<std::size_t> sizes = {0, 1, 499, 500, 501, 1000, 1500, 1501};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        // Mixed single- and double-byte text, so block edges fall inside characters too.
        AddRecord(table, {"第" + std::to_string(i) + "项", Repeat("a书" + std::to_string(i), sizes[i])});
    }
    table.records.erase(table.records.begin() + 2);  // a gap in the ids
    ASSERT_TRUE(WriteRecordTable(table, vdb, vdt));
    const RecordTable back = ReadRecordTable(vdb, vdt);
    EXPECT_EQ(back, table);
    EXPECT_EQ(back.records[2].id, 4u);
    EXPECT_EQ(back.nextId, 9u);

    // Grow, shrink and empty texts through the data source, reopen, compare.
    RecordDataSource source;
    source.Open(vdb);
    ASSERT_EQ(source.RowCount(), 7);
    const std::string grown = Repeat("长文本", 2600);
    ASSERT_TRUE(source.Write(1, 2, grown));
    ASSERT_TRUE(source.Write(5, 2, "short"));
    ASSERT_TRUE(source.Write(7, 2, ""));
    source.Open(vdb);
    EXPECT_EQ(source.Read(1, 2), grown);
    EXPECT_EQ(source.Read(5, 2), "short");
    EXPECT_EQ(source.Read(7, 2), "");
    for (int row : {2, 3, 4, 6}) {
        EXPECT_EQ(source.Read(row, 2), table.records[static_cast<std::size_t>(row - 1)].values[1]) << row;
    }
    EXPECT_EQ(source.Table().nextId, 9u);
    EXPECT_GT(source.Table().timeStamp, 43000.0);  // a save stamps the current time
}

TEST(RecordTableWrite, NextIdNeverFallsToAnIdInUse) {
    RecordTable table = ParameterTable();
    table.records.push_back({7, {"x", ""}});
    table.nextId = 3;
    EXPECT_EQ(ParseRecordTable(EncodeRecordTable(table).vdb, EncodeRecordTable(table).vdt).nextId, 8u);
    EXPECT_EQ(AddRecord(table, {"y"}), 8u);
}

// ---- Names fitted to their field ----

TEST(RecordTableText, LongNamesAreCutWithoutSplittingACharacter) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"标题_Chapter", "标题_Chapter"},
        {"一二三四五六七八", "一二三四五六七"},    // 16 bytes: the eighth character would be split
        {"abc一二三四五六七", "abc一二三四五六"},  // 17 bytes
        {"abcd一二三四五六七", "abcd一二三四五"},  // the 15th byte is a lead byte: cut before it
        {"a一二三四五六七", "a一二三四五六七"},    // exactly 15
        {std::string("ab\0cd", 5), "ab"},          // a text ends at its first zero byte
    };
    for (const Case& c : cases) EXPECT_EQ(FitTextField(c.in, 15), c.out) << c.in;

    test::TempDir dir;
    RecordTable table = ParameterTable();
    AddRecord(table, {"名", "v"});
    ASSERT_TRUE(WriteRecordTable(table, dir.Path() / "data.vdb", dir.Path() / "data.vdt"));
    RecordDataSource source;
    source.Open(dir.Path() / "data.vdb");
    ASSERT_TRUE(source.Write(1, 1, "abcd一二三四五六七"));
    EXPECT_EQ(source.Read(1, 1), "abcd一二三四五");
    source.Open(dir.Path() / "data.vdb");
    EXPECT_EQ(source.Read(1, 1), "abcd一二三四五");
}

// ---- Damaged files ----

struct Damage {
    const char* name;
    HandMade files;
    TableFile which;
    std::uint64_t offset;
};

HandMade With(HandMade t, bool inVdb, std::size_t at, const std::string& bytes) {
    (inVdb ? t.vdb : t.vdt).replace(at, bytes.size(), bytes);
    return t;
}

HandMade Cut(HandMade t, bool inVdb, std::size_t size) {
    (inVdb ? t.vdb : t.vdt).resize(size);
    return t;
}

HandMade OverlapBehindAnEmptyField() {
    HandMade t = SmallTable();
    t.vdb = VdbHeader(2, 4, 23, 3) + Descriptor("标签", 10, 4, 15) + Descriptor("空", 10, 8, 0) +
            Descriptor("数值", 12, 17, 0) + RecordBytes(1, "链接", 1) + RecordBytes(3, "制作", 3);
    return t;
}

std::vector<Damage> DamagedTables() {
    const HandMade ok = SmallTable();
    const std::size_t rec1 = 116 + 144, rec2 = rec1 + 23;
    const std::size_t block1 = 512, block2 = 1024, block3 = 1536;
    return {
        {"TruncatedRecordHeader", Cut(ok, true, 60), TableFile::Records, 0},
        {"NotARecordFile", With(ok, true, 0, "WVDX"), TableFile::Records, 0},
        {"UnknownVersion", With(ok, true, 4, Le32(2)), TableFile::Records, 4},
        {"HugeRecordCount", With(ok, true, 16, Le32(0xFFFFFFFF)), TableFile::Records, 16},
        {"OneRecordTooMany", With(ok, true, 16, Le32(3)), TableFile::Records, 16},
        {"HugeFieldCount", With(ok, true, 112, Le32(0x7FFFFFFF)), TableFile::Records, 112},
        {"RecordLengthZero", With(ok, true, 24, Le32(0)), TableFile::Records, 24},
        {"HugeRecordLength", With(ok, true, 24, Le32(0xFFFFFFF0)), TableFile::Records, 24},
        {"TextFieldPastTheRecord", With(ok, true, 116 + 28, Le32(20)), TableFile::Records, 116 + 20},
        {"LongTextFieldPastTheRecord", With(ok, true, 188 + 24, Le32(20)), TableFile::Records, 188 + 20},
        {"FieldOffsetWraps", With(ok, true, 116 + 24, Le32(0xFFFFFFFE)), TableFile::Records, 116 + 20},
        {"FieldOverTheId", With(ok, true, 116 + 24, Le32(2)), TableFile::Records, 116 + 20},
        {"FieldsOverlap", With(ok, true, 188 + 24, Le32(17)), TableFile::Records, 188 + 20},
        // Found by fuzzing: a field of no bytes between two overlapping ones
        // hid their overlap, and a save wrote one over the other.
        {"FieldsOverlapAcrossAFieldOfNoBytes", OverlapBehindAnEmptyField(), TableFile::Records, 116 + 144 + 20},
        {"UnknownFieldType", With(ok, true, 188 + 20, Le32(3)), TableFile::Records, 188 + 20},
        {"FirstBlockPastTheEnd", With(ok, true, rec2 + 19, Le32(4)), TableFile::Records, rec2 + 19},
        {"TwoTextsShareABlock", With(ok, true, rec2 + 19, Le32(2)), TableFile::Records, rec2 + 19},
        {"TruncatedLongTextHeader", Cut(ok, false, 100), TableFile::LongTexts, 0},
        {"NotALongTextFile", With(ok, false, 0, "WVDB"), TableFile::LongTexts, 0},
        {"HugeBlockCount", With(ok, false, 16, Le32(0xFFFFFFFF)), TableFile::LongTexts, 16},
        {"BlockCountZero", With(ok, false, 16, Le32(0)), TableFile::LongTexts, 16},
        {"LastBlockCutShort", Cut(ok, false, 2000), TableFile::LongTexts, 16},
        {"ChainLoopsOnItself", With(ok, false, block2 + 4, Le32(2)), TableFile::LongTexts, block2 + 4},
        {"ChainLoopsBack", With(ok, false, block2 + 4, Le32(1)), TableFile::LongTexts, block2 + 4},
        {"ChainRunsIntoAnotherText", With(ok, false, block2 + 4, Le32(3)), TableFile::Records, rec2 + 19},
        {"NextBlockPastTheEnd", With(ok, false, block1 + 4, Le32(9)), TableFile::LongTexts, block1 + 4},
        {"NextBlockFarPastTheEnd", With(ok, false, block1 + 4, Le32(0xFFFFFFFF)), TableFile::LongTexts,
         block1 + 4},
        {"UsedCountAbove500", With(ok, false, block3 + 8, Le32(501)), TableFile::LongTexts, block3 + 8},
        {"HugeUsedCount", With(ok, false, block3 + 8, Le32(0xFFFFFFFF)), TableFile::LongTexts, block3 + 8},
    };
}

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedTable : public testing::TestWithParam<Damage> {};

TEST_P(DamagedTable, IsRefusedWithTheFileAndOffset) {
    const Damage& d = GetParam();
    try {
        ParseRecordTable(d.files.vdb, d.files.vdt);
        ADD_FAILURE() << "accepted";
    } catch (const RecordTableFormatError& e) {
        EXPECT_EQ(e.Which(), d.which) << e.what();
        EXPECT_EQ(e.Offset(), d.offset) << e.what();
        EXPECT_FALSE(e.Reason().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedTable, testing::ValuesIn(DamagedTables()),
                         [](const testing::TestParamInfo<Damage>& p) { return std::string(p.param.name); });

TEST(RecordTableRead, MissingFilesAreFormatErrorsNamingTheFile) {
    test::TempDir dir;
    const HandMade t = SmallTable();
    const fs::path vdb = dir.Write("data.vdb", t.vdb);
    try {
        ReadRecordTable(vdb, dir.Path() / "data.vdt");
        ADD_FAILURE() << "accepted";
    } catch (const RecordTableFormatError& e) {
        EXPECT_EQ(e.Which(), TableFile::LongTexts);
        EXPECT_EQ(e.File(), dir.Path() / "data.vdt");
    }
    RecordDataSource source;
    EXPECT_THROW(source.Open(dir.Path() / "none.vdb"), RecordTableFormatError);
    EXPECT_FALSE(source.IsOpen());
    EXPECT_THROW(source.Open(vdb), RecordTableFormatError);  // its .vdt is missing
    EXPECT_FALSE(source.IsOpen());
    EXPECT_EQ(source.RowCount(), 0);
}

// Random damage to a valid table: every result is either a table or a format
// error, and whatever is accepted writes out and reads back the same.
TEST(RecordTableRead, RandomDamageIsReadOrRefusedNeverMisread) {
    RecordTable table = ParameterTable();
    AddRecord(table, {"链接", Repeat("甲乙", 1200)});
    AddRecord(table, {"制作", "QX"});
    AddRecord(table, {"", ""});
    AddRecord(table, {"版权", Repeat("x", 500)});
    const RecordTableBytes valid = EncodeRecordTable(table);
    const std::vector<std::uint32_t> interesting = {0,  1,   2,   3,   4,          5,         19,
                                                    23, 500, 501, 512, 0x7FFFFFFF, 0xFFFFFFFF};

    std::mt19937 rng(20240607);
    int accepted = 0, refused = 0;
    for (int round = 0; round < 6000; ++round) {
        HandMade m{valid.vdb, valid.vdt};
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            std::string& target = (rng() % 2 == 0) ? m.vdb : m.vdt;
            if (target.empty()) continue;
            const std::size_t at = rng() % target.size();
            switch (rng() % 4) {
                case 0:
                    target[at] = static_cast<char>(rng());
                    break;
                case 1:
                    target.resize(at);
                    break;
                case 2: {
                    const std::string v = Le32(interesting[rng() % interesting.size()]);
                    target.replace(at & ~std::size_t{3},
                                   std::min<std::size_t>(4, target.size() - (at & ~std::size_t{3})), v);
                    break;
                }
                default:
                    target.insert(at, std::string(1 + rng() % 600, static_cast<char>(rng())));
                    break;
            }
        }
        try {
            const RecordTable read = ParseRecordTable(m.vdb, m.vdt);
            const RecordTableBytes again = EncodeRecordTable(read);
            EXPECT_EQ(EncodeRecordTable(ParseRecordTable(again.vdb, again.vdt)).vdb, again.vdb);
            ++accepted;
        } catch (const RecordTableFormatError&) {
            ++refused;
        }
    }
    std::printf("random damage: %d tables read, %d refused\n", accepted, refused);
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
}

// ---- Saving safely ----

TEST(RecordTableWrite, FailedRenameLeavesTheOldTableAndNoTemporaryFiles) {
    test::TempDir dir;
    const fs::path vdb = dir.Path() / "data.vdb", vdt = dir.Path() / "data.vdt";
    RecordTable table = ParameterTable();
    AddRecord(table, {"甲", "old"});
    ASSERT_TRUE(WriteRecordTable(table, vdb, vdt));
    const std::string oldVdb = *ReadWholeFile(vdb);

    // The long-text file cannot be replaced: a directory with something in it.
    fs::remove(vdt);
    fs::create_directories(vdt / "inside");
    table.records[0].values[1] = "new";
    EXPECT_FALSE(WriteRecordTable(table, vdb, vdt));
    EXPECT_EQ(*ReadWholeFile(vdb), oldVdb);
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        EXPECT_TRUE(entry.path() == vdb || entry.path() == vdt) << entry.path();
    }

    // Through the data source a failed save changes nothing in memory either.
    fs::remove_all(vdt);
    ASSERT_TRUE(WriteRecordTable(table, vdb, vdt));
    RecordDataSource source;
    source.Open(vdb);
    const std::string before = source.Read(1, 2);
    fs::remove(vdt);
    fs::create_directories(vdt / "inside");
    EXPECT_FALSE(source.Write(1, 2, "lost"));
    EXPECT_EQ(source.Read(1, 2), before);
    EXPECT_FALSE(source.Write(2, 2, "x"));  // no such row
    EXPECT_FALSE(source.Write(1, 3, "x"));  // no such column
    EXPECT_EQ(source.Read(0, 1), "");
    EXPECT_EQ(source.Read(1, 3), "");
}

TEST(RecordTableWrite, SaveCutShortBetweenTheTwoFilesLeavesTheOldTableWhole) {
    test::TempDir dir;
    const fs::path vdb = dir.Path() / "data.vdb", vdt = dir.Path() / "data.vdt";
    RecordTable table = ParameterTable();
    for (int i = 0; i < 6; ++i)
        AddRecord(table, {"p" + std::to_string(i), Repeat("旧" + std::to_string(i), 700)});
    ASSERT_TRUE(WriteRecordTable(table, vdb, vdt));

    // Several saves in a row, each stopped after the long-text file: the record
    // file of the previous save must still read its own texts.
    for (int save = 0; save < 5; ++save) {
        const RecordTable before = ReadRecordTable(vdb, vdt);
        const std::string oldVdb = *ReadWholeFile(vdb);
        RecordTable changed = before;
        changed.records[static_cast<std::size_t>(save)].values[1] = Repeat("新" + std::to_string(save), 1100);
        changed.records[5].values[1] = Repeat("改", 300 + 200 * static_cast<std::size_t>(save));
        ASSERT_TRUE(WriteRecordTable(changed, vdb, vdt));
        EXPECT_EQ(ReadRecordTable(vdb, vdt), changed);
        ASSERT_TRUE(WriteFileAtomically(vdb, oldVdb));  // as if the second rename never happened
        EXPECT_EQ(ReadRecordTable(vdb, vdt), before) << "save " << save;
        ASSERT_TRUE(WriteRecordTable(changed, vdb, vdt));
    }
}

TEST(RecordTableWrite, RepeatedSavesDoNotGrowTheLongTextFile) {
    test::TempDir dir;
    const fs::path vdb = dir.Path() / "data.vdb", vdt = dir.Path() / "data.vdt";
    RecordTable table = ParameterTable();
    for (int i = 0; i < 24; ++i) AddRecord(table, {"p" + std::to_string(i), Repeat("文", 450 + 97 * i)});
    ASSERT_TRUE(WriteRecordTable(table, vdb, vdt));
    const auto compact = fs::file_size(vdt);

    RecordDataSource source;
    source.Open(vdb);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(source.Write(1 + i % 24, 2, Repeat("编" + std::to_string(i), 300 + (i * 131) % 2500)));
    }
    source.Open(vdb);
    std::uintmax_t liveBlocks = 0;
    for (int row = 1; row <= 24; ++row) liveBlocks += (source.Read(row, 2).size() + 499) / 500;
    std::printf("long-text file: %ju bytes at first, %ju after 100 saves, %ju live blocks\n",
                static_cast<std::uintmax_t>(compact), static_cast<std::uintmax_t>(fs::file_size(vdt)),
                liveBlocks);
    EXPECT_LE(fs::file_size(vdt), (1 + 2 * liveBlocks) * 512);
    EXPECT_EQ(source.Read(4, 2), Repeat("编99", 300 + (99 * 131) % 2500));  // the last save
}

}  // namespace
}  // namespace qx::runtime
