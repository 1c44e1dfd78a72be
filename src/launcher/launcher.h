#pragma once
// The launcher's start-up: find the payload at the end of the executable,
// check it, unscramble and decompress it, write its files into the temporary
// directory V_<tag>, load the kernel library from there and ask it for the
// runtime's entry. The operating system is reached through LaunchPlatform,
// so tests run every step in-process on crafted files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::launcher {

// One failure per check; each has its fixed message.
enum class LaunchFailure {
    CannotOpenFile,
    InvalidData,
    ReadFailed,
    InsufficientMemory,
    ReadFailedOrInvalid,
    NoTemporaryDirectory,
    DecompressFailed,
    KernelNotFound,
    KernelLoadFailed,
    KernelInvalid,
    KernelInterfaceInvalid,
};

// The message shown for a failure, byte for byte.
std::string_view MessageOf(LaunchFailure failure);
inline constexpr std::string_view kErrorCaption = "Error";

// The kernel library's export, called with kInterfaceVersion, returns the
// runtime's entry, which takes the address of the program image.
inline constexpr const char* kEntryExport = "GetNewSock";
inline constexpr int kInterfaceVersion = 1000;
using RuntimeEntry = void (*)(const void* programImage);
using GetNewSockFunction = RuntimeEntry (*)(int version);

class LaunchPlatform {
public:
    virtual ~LaunchPlatform() = default;
    // The full path of the running executable; nothing when unknown.
    virtual std::optional<std::filesystem::path> ExecutablePath() = 0;
    // The system's directory for temporary files; nothing when there is none.
    virtual std::optional<std::filesystem::path> TemporaryPath() = 0;
    // Creates `dir` if needed (an existing one is fine) and says whether the
    // launcher may put its files there.
    virtual bool PrepareDirectory(const std::filesystem::path& dir) = 0;
    // Writes one payload file, replacing an older one. The launcher does not
    // look at the result: a file in use keeps its present content.
    virtual bool WriteFile(const std::filesystem::path& file, std::string_view data) = 0;
    // Loads a library; nullptr on failure.
    virtual void* LoadLibrary(const std::filesystem::path& file) = 0;
    // An export of a loaded library; nullptr when missing.
    virtual void* FindExport(void* library, const char* name) = 0;
    // Whether a buffer of this many bytes may be taken; tests say no to
    // show the memory checks.
    virtual bool MayAllocate(std::size_t bytes) {
        (void)bytes;
        return true;
    }
};

struct LaunchResult {
    std::optional<LaunchFailure> failure;  // set: show its message and stop
    RuntimeEntry entry = nullptr;          // otherwise: call it with the program image
    std::filesystem::path directory;       // the temporary directory V_<tag>
    std::string kernelName;                // the kernel record that was loaded
    std::vector<std::string> files;        // the payload's file names, in order
};

// "V_" and the tag in upper-case hexadecimal without leading zeros.
std::string TemporaryDirectoryName(std::uint32_t tag);

// Every start-up step, in order, up to the runtime's entry. The first
// failing step decides the result.
LaunchResult PrepareLaunch(LaunchPlatform& platform);

// The same on a given executable file (tests and the packer's check).
LaunchResult PrepareLaunchFrom(const std::filesystem::path& executable, LaunchPlatform& platform);

}  // namespace qx::launcher
