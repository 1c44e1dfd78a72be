#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "launcher/payload.h"
#include "support/temp_dir.h"

namespace qx::launcher {
namespace {

namespace fs = std::filesystem;

// ---- A platform that keeps everything in memory ----

int g_versionAsked = 0;
bool g_interfaceAnswers = true;
const void* g_imageSeen = nullptr;

void FakeEntry(const void* image) { g_imageSeen = image; }
RuntimeEntry FakeGetNewSock(int version) {
    g_versionAsked = version;
    return g_interfaceAnswers ? &FakeEntry : nullptr;
}

class FakePlatform : public LaunchPlatform {
public:
    std::optional<fs::path> temporary = fs::path("/fake-tmp");
    bool directoryUsable = true;
    bool loadFails = false;
    bool exportMissing = false;
    std::size_t memoryLimit = SIZE_MAX;
    std::set<std::string> busy;  // files another instance holds open

    std::vector<fs::path> directories;
    std::map<std::string, std::string> written;
    std::vector<std::string> writeOrder;
    std::vector<fs::path> loaded;

    std::optional<fs::path> ExecutablePath() override { return std::nullopt; }
    std::optional<fs::path> TemporaryPath() override { return temporary; }
    bool PrepareDirectory(const fs::path& dir) override {
        directories.push_back(dir);
        return directoryUsable;
    }
    bool WriteFile(const fs::path& file, std::string_view data) override {
        const std::string name = file.filename().string();
        if (busy.count(name)) return false;
        written[name] = std::string(data);
        writeOrder.push_back(name);
        return true;
    }
    void* LoadLibrary(const fs::path& file) override {
        loaded.push_back(file);
        return loadFails ? nullptr : this;
    }
    void* FindExport(void*, const char* name) override {
        if (exportMissing || std::string_view(name) != "GetNewSock") return nullptr;
        return reinterpret_cast<void*>(&FakeGetNewSock);
    }
    bool MayAllocate(std::size_t bytes) override { return bytes <= memoryLimit; }
};

// ---- Crafted executables ----

std::string Filler(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>("MZ launcher body "[i % 17]);
    return s;
}

const std::vector<PayloadFile> kFiles = {{"vtrun.vlx", "kernel bytes \x01\x02\x03"},
                                         {"support.vlx", std::string(5000, 'S')},
                                         {"empty.vlr", ""}};

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_versionAsked = 0;
        g_interfaceAnswers = true;
        g_imageSeen = nullptr;
    }
    LaunchResult Run(const std::string& fileBytes) {
        const fs::path exe = dir.Write("app.exe", fileBytes);
        return PrepareLaunchFrom(exe, platform);
    }
    LaunchResult RunPayload(const std::string& payload, std::size_t body = 4096) {
        return Run(Filler(body) + payload);
    }
    test::TempDir dir;
    FakePlatform platform;
};

std::optional<std::string> Message(const LaunchResult& r) {
    if (!r.failure) return std::nullopt;
    return std::string(MessageOf(*r.failure));
}

std::string Trailer(std::int32_t length, std::uint32_t magic = kPayloadMagic) {
    std::string t;
    AppendLe32(t, static_cast<std::uint32_t>(length));
    AppendLe32(t, magic);
    return t;
}

// A payload header with the given fields, scrambled as the launcher expects,
// followed by `stream` and the trailer.
std::string CraftedPayload(std::uint32_t second, std::int32_t capacity, const std::string& stream,
                           std::uint32_t key = 0x11223344, std::uint32_t first = kPayloadMagic) {
    std::string p;
    AppendLe32(p, first);
    AppendLe32(p, 0xABC);
    AppendLe32(p, key);
    AppendLe32(p, second);
    AppendLe32(p, static_cast<std::uint32_t>(capacity));
    p += stream;
    Scramble(reinterpret_cast<unsigned char*>(p.data()) + 12, p.size() - 12, key);
    return p + Trailer(static_cast<std::int32_t>(p.size()));
}

// ---- The format ----

TEST(Payload, ScramblingUsesTheKeyByteAfterThePositionAndUndoesItself) {
    unsigned char bytes[9] = {};
    Scramble(bytes, 9, 0x44332211);
    const unsigned char expected[9] = {0x22, 0x33, 0x44, 0x11, 0x22, 0x33, 0x44, 0x11, 0x22};
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 9), std::vector<unsigned char>(expected, expected + 9));
    Scramble(bytes, 9, 0x44332211);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 9), std::vector<unsigned char>(9, 0));
}

TEST(Payload, TemporaryDirectoryIsTheTagInUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(TemporaryDirectoryName(0x1A2B), "V_1A2B");
    EXPECT_EQ(TemporaryDirectoryName(0), "V_0");
    EXPECT_EQ(TemporaryDirectoryName(0xFFFFFFFF), "V_FFFFFFFF");
    EXPECT_EQ(TemporaryDirectoryName(0x00abcdef), "V_ABCDEF");
}

TEST(Payload, KernelNamesIgnoreAsciiCaseOnly) {
    for (const char* yes : {"vtrun.vlx", "vtrun.vlr", "VTRUN.VLX", "VtRuN.VlR"}) EXPECT_TRUE(IsKernelName(yes)) << yes;
    for (const char* no : {"vtrun.dll", "vtrun.vlx ", "xvtrun.vlx", "vtrun", ""}) EXPECT_FALSE(IsKernelName(no)) << no;
}

TEST(Payload, TheFixedMessagesByteForByte) {
    const std::vector<std::pair<LaunchFailure, std::string>> all = {
        {LaunchFailure::CannotOpenFile, "Can't open file!"},
        {LaunchFailure::InvalidData, "Invalid data in the file!"},
        {LaunchFailure::ReadFailed, "Failed to read data from the file!"},
        {LaunchFailure::InsufficientMemory, "Insufficient memory!"},
        {LaunchFailure::ReadFailedOrInvalid, "Failed to read file or invalid data in file!"},
        {LaunchFailure::NoTemporaryDirectory, "Can't retrieve the temporary directory!"},
        {LaunchFailure::DecompressFailed, "Failed to decompress data!"},
        {LaunchFailure::KernelNotFound, "Not found the kernel library!"},
        {LaunchFailure::KernelLoadFailed, "Failed to load kernel library!"},
        {LaunchFailure::KernelInvalid, "The kernel library is invalid!"},
        {LaunchFailure::KernelInterfaceInvalid, "The interface of kernel library is invalid!"},
    };
    for (const auto& [failure, text] : all) EXPECT_EQ(MessageOf(failure), text);
}

// ---- Packing and unpacking against each other ----

TEST_F(LaunchTest, PackedFilesAreWrittenUnchangedIntoVTagAndTheKernelIsAskedForItsEntry) {
    std::mt19937 rng(8);
    for (int round = 0; round < 20; ++round) {
        FakePlatform p;
        PackOptions options(static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng()), std::nullopt,
                            static_cast<int>(rng() % 10));
        const LaunchResult r = PrepareLaunchFrom(dir.Write("x.exe", Filler(1000 + rng() % 5000) + BuildPayload(kFiles, options)), p);
        ASSERT_FALSE(r.failure) << *Message(r);
        EXPECT_EQ(r.directory, fs::path("/fake-tmp") / TemporaryDirectoryName(options.tag));
        EXPECT_EQ(p.writeOrder, (std::vector<std::string>{"vtrun.vlx", "support.vlx", "empty.vlr"}));
        for (const PayloadFile& f : kFiles) EXPECT_EQ(p.written[f.name], f.data);
        EXPECT_EQ(p.loaded, std::vector<fs::path>{r.directory / "vtrun.vlx"});
        EXPECT_EQ(g_versionAsked, 1000);
        ASSERT_EQ(r.entry, &FakeEntry);
    }
}

TEST_F(LaunchTest, AFileOf1007BytesIsRefusedBeforeItsTrailerIsReadAndOneOf1008IsRead) {
    const std::string payload = BuildPayload(kFiles, {0x1A2B, 0x5EED, std::nullopt});
    ASSERT_LT(payload.size(), 1000u);
    const LaunchResult at1008 = Run(Filler(1008 - payload.size()) + payload);
    EXPECT_FALSE(at1008.failure) << *Message(at1008);
    const LaunchResult at1007 = Run(Filler(1007 - payload.size()) + payload);
    EXPECT_EQ(Message(at1007), "Invalid data in the file!");
    EXPECT_TRUE(platform.directories.size() == 1) << "only the 1008-byte run got as far as the directory";
    EXPECT_EQ(Message(Run("")), "Invalid data in the file!");
    EXPECT_EQ(Message(Run("short")), "Invalid data in the file!");
}

TEST_F(LaunchTest, EveryCheckOfTheTrailerAndThePayloadGivesItsMessage) {
    const std::string good = BuildPayload(kFiles, {0x77, 0x12345678, std::nullopt});
    const std::string records = EncodeRecords(kFiles);
    struct Case {
        const char* what;
        std::string file;
        std::string message;
    };
    std::string badStream = good;
    badStream[30] = static_cast<char>(badStream[30] ^ 0x5A);  // inside the scrambled zlib stream
    const std::vector<Case> cases = {
        {"wrong trailer magic", Filler(2000) + good.substr(0, good.size() - 4) + "\x01\x02\x03\x04",
         "Invalid data in the file!"},
        {"L = 3", Filler(2000) + Trailer(3), "Invalid data in the file!"},
        {"L negative", Filler(2000) + Trailer(-5), "Invalid data in the file!"},
        {"L = file size - 8", Filler(1992) + Trailer(1992), "Invalid data in the file!"},
        {"L = 4 with a wrong first magic", Filler(2000) + "abcd" + Trailer(4),
         "Failed to read file or invalid data in file!"},
        {"L = 4 with the right magic", Filler(2000) + std::string("\xA5\xB7\x9A\x82", 4) + Trailer(4),
         "Invalid data in the file!"},
        {"L = 20: header only", Filler(2000) + CraftedPayload(kSecondMagic, 10, ""), "Invalid data in the file!"},
        {"second magic wrong", Filler(2000) + CraftedPayload(kSecondMagic + 1, 10, "xyz"), "Invalid data in the file!"},
        {"capacity 0", Filler(2000) + CraftedPayload(kSecondMagic, 0, "xyz"), "Invalid data in the file!"},
        {"capacity negative", Filler(2000) + CraftedPayload(kSecondMagic, -1, "xyz"), "Invalid data in the file!"},
        {"not a zlib stream", Filler(2000) + CraftedPayload(kSecondMagic, 100, "not zlib"), "Failed to decompress data!"},
        {"damaged stream", Filler(2000) + badStream, "Failed to decompress data!"},
        {"capacity one byte short",
         Filler(2000) + BuildPayload(kFiles, {1, 2, static_cast<std::int32_t>(records.size() - 1)}),
         "Failed to decompress data!"},
        {"no kernel among the files", Filler(2000) + BuildPayload({{"a.vlx", "a"}, {"vtrun.dll", "b"}}, {1, 2}),
         "Not found the kernel library!"},
        {"no records at all", Filler(2000) + BuildPayloadFromRecords("", {1, 2}), "Not found the kernel library!"},
    };
    for (const Case& c : cases) {
        FakePlatform p;
        const LaunchResult r = PrepareLaunchFrom(dir.Write("case.exe", c.file), p);
        EXPECT_EQ(Message(r), c.message) << c.what;
        EXPECT_EQ(r.entry, nullptr) << c.what;
    }
    EXPECT_EQ(Message(PrepareLaunchFrom(dir.Path() / "missing.exe", platform)), "Can't open file!");
}

TEST_F(LaunchTest, TheTemporaryDirectoryIsMadeBeforeThePayloadBodyIsChecked) {
    // L = 20 fails only at step 10: the directory V_ABC exists by then.
    const LaunchResult r = RunPayload(CraftedPayload(kSecondMagic, 10, ""));
    EXPECT_EQ(Message(r), "Invalid data in the file!");
    EXPECT_EQ(platform.directories, std::vector<fs::path>{fs::path("/fake-tmp") / "V_ABC"});
    EXPECT_TRUE(platform.written.empty());
}

TEST_F(LaunchTest, ALargerCapacityThanNeededIsFineAndTheExactOneToo) {
    const std::string records = EncodeRecords(kFiles);
    for (const std::int32_t capacity : {static_cast<std::int32_t>(records.size()), 1 << 20, 0x7FFFFFFF}) {
        FakePlatform p;
        const LaunchResult r =
            PrepareLaunchFrom(dir.Write("c.exe", Filler(2000) + BuildPayload(kFiles, {1, 2, capacity})), p);
        EXPECT_FALSE(r.failure) << capacity;
        EXPECT_EQ(p.written["support.vlx"], std::string(5000, 'S'));
    }
}

TEST_F(LaunchTest, MemoryChecksComeBeforeReadingAndBeforeDecompressing) {
    const std::string payload = BuildPayload(kFiles, {1, 2, 100000});
    platform.memoryLimit = payload.size() - 9;  // less than L
    EXPECT_EQ(Message(RunPayload(payload)), "Insufficient memory!");
    EXPECT_TRUE(platform.directories.empty());
    platform.memoryLimit = 2000;  // the payload fits, the capacity does not
    EXPECT_EQ(Message(RunPayload(payload)), "Insufficient memory!");
    EXPECT_EQ(platform.directories.size(), 1u);
}

TEST_F(LaunchTest, NoTemporaryDirectoryOrOneThatMayNotBeUsedStopsTheStart) {
    const std::string payload = BuildPayload(kFiles, {1, 2});
    platform.temporary.reset();
    EXPECT_EQ(Message(RunPayload(payload)), "Can't retrieve the temporary directory!");
    platform.temporary = fs::path("/fake-tmp");
    platform.directoryUsable = false;
    EXPECT_EQ(Message(RunPayload(payload)), "Can't retrieve the temporary directory!");
    EXPECT_TRUE(platform.written.empty());
}

TEST_F(LaunchTest, KernelLoadExportAndInterfaceFailures) {
    const std::string payload = BuildPayload(kFiles, {1, 2});
    platform.loadFails = true;
    EXPECT_EQ(Message(RunPayload(payload)), "Failed to load kernel library!");
    EXPECT_EQ(platform.written.size(), 3u) << "the files stay written";
    platform.loadFails = false;
    platform.exportMissing = true;
    EXPECT_EQ(Message(RunPayload(payload)), "The kernel library is invalid!");
    platform.exportMissing = false;
    g_interfaceAnswers = false;
    EXPECT_EQ(Message(RunPayload(payload)), "The interface of kernel library is invalid!");
    EXPECT_EQ(g_versionAsked, 1000);
}

TEST_F(LaunchTest, UpperCaseKernelNameCountsAndTheLaterOfTwoKernelsIsLoaded) {
    LaunchResult r = RunPayload(BuildPayload({{"a.vlx", "a"}, {"VTRUN.VLX", "k"}}, {0x10, 2}));
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(r.kernelName, "VTRUN.VLX");
    EXPECT_EQ(platform.loaded.back(), fs::path("/fake-tmp/V_10/VTRUN.VLX"));

    r = RunPayload(BuildPayload({{"vtrun.vlx", "first"}, {"b.vlx", "b"}, {"VtRun.vlr", "second"}}, {0x10, 2}));
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(r.kernelName, "VtRun.vlr");
    EXPECT_EQ(platform.loaded.back(), fs::path("/fake-tmp/V_10/VtRun.vlr"));
    EXPECT_EQ(platform.written["vtrun.vlx"], "first") << "the earlier kernel is still written";
}

TEST_F(LaunchTest, ASecondRunWhileFilesAreInUseSkipsThemSilentlyAndUsesThePresentOnes) {
    const std::string payload = BuildPayload(kFiles, {0x51, 2});
    platform.busy = {"vtrun.vlx", "support.vlx"};
    const LaunchResult r = RunPayload(payload);
    ASSERT_FALSE(r.failure) << *Message(r);
    EXPECT_EQ(platform.writeOrder, std::vector<std::string>{"empty.vlr"});
    EXPECT_EQ(platform.loaded.back(), fs::path("/fake-tmp/V_51/vtrun.vlx"));
    EXPECT_EQ(r.entry, &FakeEntry);
}

// Names that would reach outside the temporary directory, and records cut
// short, refuse the whole payload: nothing is written.
TEST_F(LaunchTest, UnsafeNamesAndCutRecordsRefuseThePayloadBeforeAnythingIsWritten) {
    const std::string kernel = EncodeRecords({{"vtrun.vlx", "k"}});
    const auto record = [](const std::string& name, const std::string& data) {
        std::string r = name;
        r.push_back('\0');
        AppendLe32(r, static_cast<std::uint32_t>(data.size()));
        return r + data;
    };
    std::string sizeTooLarge = record("b.vlx", "abc");
    sizeTooLarge[6] = 4;  // says 4 bytes, 3 follow
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"parent directory", record("../evil.so", "x")},
        {"absolute path", record("/etc/evil", "x")},
        {"sub-directory", record("sub/evil", "x")},
        {"backslash", record("..\\evil", "x")},
        {"drive letter", record("C:evil", "x")},
        {"dot dot", record("..", "x")},
        {"dot", record(".", "x")},
        {"empty name", record("", "x")},
        {"control character", record("a\nb", "x")},
        {"size past the end", sizeTooLarge},
        {"size field cut", std::string("b.vlx\0\x01\x00", 8)},
        {"name without its NUL", std::string("b.vlx")},
    };
    for (const auto& [what, tail] : bad) {
        FakePlatform p;
        const LaunchResult r =
            PrepareLaunchFrom(dir.Write("bad.exe", Filler(2000) + BuildPayloadFromRecords(kernel + tail, {1, 2})), p);
        EXPECT_EQ(Message(r), "Invalid data in the file!") << what;
        EXPECT_TRUE(p.written.empty()) << what;
        EXPECT_TRUE(p.loaded.empty()) << what;
    }
    EXPECT_THROW(BuildPayload({{"../x", "a"}}, {}), std::invalid_argument) << "the packer refuses them too";
}

TEST(PayloadRecords, SplitGivesEveryRecordAndRefusesAnyOverrun) {
    const std::string records = EncodeRecords(kFiles);
    const auto split = SplitRecords(records);
    ASSERT_TRUE(split);
    ASSERT_EQ(split->size(), 3u);
    EXPECT_EQ((*split)[1].name, "support.vlx");
    EXPECT_EQ((*split)[1].data.size(), 5000u);
    for (std::size_t cut = 1; cut < records.size(); ++cut) {
        const auto part = SplitRecords(std::string_view(records).substr(0, cut));
        // A cut inside a record is refused; a cut between records is a shorter valid list.
        if (part) {
            EXPECT_LT(part->size(), 3u) << cut;
        }
    }
}

}  // namespace
}  // namespace qx::launcher
