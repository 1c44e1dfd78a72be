// The launcher on this system's calls: real directories, real files, a
// real shared library loaded with the system loader.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "launcher/launcher.h"
#include "launcher/payload.h"
#include "launcher/platform.h"
#include "support/temp_dir.h"

namespace qx::launcher {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SystemLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        if (old) m_oldTmp = old;
        fs::create_directories(dir.Path() / "tmp");
        ::setenv("TMPDIR", (dir.Path() / "tmp").c_str(), 1);
        kernel = ReadAll(QX_TEST_KERNEL);
        ASSERT_FALSE(kernel.empty()) << "test kernel missing: " << QX_TEST_KERNEL;
    }
    void TearDown() override {
        if (m_oldTmp.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", m_oldTmp.c_str(), 1);
    }
    fs::path Pack(const std::vector<PayloadFile>& files, std::uint32_t tag, const char* name = "app") {
        return dir.Write(name, std::string(4096, 'L') + BuildPayload(files, {tag, 0xC0FFEE}));
    }
    test::TempDir dir;
    std::string kernel;
    std::string m_oldTmp;
};

TEST_F(SystemLaunchTest, KernelIsWrittenLoadedAndItsEntryReceivesTheImage) {
    auto platform = MakeSystemPlatform();
    const LaunchResult r = PrepareLaunchFrom(Pack({{"vtrun.vlx", kernel}, {"a.vlx", "companion"}}, 0xBEEF), *platform);
    ASSERT_FALSE(r.failure) << MessageOf(*r.failure) << " " << LastLoadError(*platform);
    EXPECT_EQ(r.directory, dir.Path() / "tmp" / "V_BEEF");
    struct stat st {};
    ASSERT_EQ(::stat(r.directory.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "the directory is closed to other users";
    EXPECT_EQ(ReadAll(r.directory / "a.vlx"), "companion");

    const char image[] = "VQ image";
    r.entry(image);
    void* handle = ::dlopen((r.directory / "vtrun.vlx").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    const auto seen = reinterpret_cast<const void* (*)()>(::dlsym(handle, "SeenImage"));
    EXPECT_EQ(seen(), image);
    ::dlclose(handle);
}

TEST_F(SystemLaunchTest, AKernelThatIsNoLibraryFailsToLoadWithTheSystemsReason) {
    auto platform = MakeSystemPlatform();
    const LaunchResult r = PrepareLaunchFrom(Pack({{"VTRUN.VLR", "not an ELF file"}}, 0x2), *platform);
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(MessageOf(*r.failure), "Failed to load kernel library!");
    EXPECT_FALSE(LastLoadError(*platform).empty());
}

// The directory holds code about to be loaded: one that others may write
// to, or a link planted in its place, is not used.
TEST_F(SystemLaunchTest, ADirectoryOthersCanWriteOrALinkInItsPlaceIsRefused) {
    const fs::path exe = Pack({{"vtrun.vlx", kernel}}, 0x77);
    const fs::path target = dir.Path() / "tmp" / "V_77";
    fs::create_directories(target);
    fs::permissions(target, fs::perms::all);
    auto platform = MakeSystemPlatform();
    LaunchResult r = PrepareLaunchFrom(exe, *platform);
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(MessageOf(*r.failure), "Can't retrieve the temporary directory!");
    EXPECT_FALSE(fs::exists(target / "vtrun.vlx"));

    fs::remove(target);
    fs::create_directories(dir.Path() / "elsewhere");
    fs::create_directory_symlink(dir.Path() / "elsewhere", target);
    r = PrepareLaunchFrom(exe, *platform);
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(MessageOf(*r.failure), "Can't retrieve the temporary directory!");
    EXPECT_TRUE(fs::is_empty(dir.Path() / "elsewhere"));
}

// A first instance maps the files it loaded. A second start never changes
// those bytes under it: an unchanged file is left alone, a changed one is
// replaced by a new file, and the first instance keeps its copy.
TEST_F(SystemLaunchTest, ASecondStartLeavesTheFilesOfARunningInstanceIntact) {
    auto platform = MakeSystemPlatform();
    const std::string oldData(8192, 'o');
    LaunchResult first = PrepareLaunchFrom(Pack({{"vtrun.vlx", kernel}, {"lib.vlx", oldData}}, 0x5), *platform);
    ASSERT_FALSE(first.failure);
    const fs::path lib = first.directory / "lib.vlx";
    const int fd = ::open(lib.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    void* mapped = ::mmap(nullptr, oldData.size(), PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    struct stat before {};
    ::stat((first.directory / "vtrun.vlx").c_str(), &before);

    const std::string newData(8192, 'n');
    const LaunchResult second = PrepareLaunchFrom(Pack({{"vtrun.vlx", kernel}, {"lib.vlx", newData}}, 0x5, "app2"), *platform);
    ASSERT_FALSE(second.failure);
    EXPECT_EQ(std::string(static_cast<const char*>(mapped), oldData.size()), oldData);
    EXPECT_EQ(ReadAll(lib), newData);
    struct stat after {};
    ::stat((first.directory / "vtrun.vlx").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino) << "an unchanged kernel is not written again";
    ::munmap(mapped, oldData.size());
    ::close(fd);
    for (const auto& e : fs::directory_iterator(first.directory))
        EXPECT_NE(e.path().filename().string().front(), '.') << "no temporary file left: " << e.path();
}

}  // namespace
}  // namespace qx::launcher
