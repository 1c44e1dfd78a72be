#include "launcher/launcher.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>

#include "launcher/payload.h"

namespace qx::launcher {

std::string_view MessageOf(LaunchFailure failure) {
    switch (failure) {
        case LaunchFailure::CannotOpenFile: return "Can't open file!";
        case LaunchFailure::InvalidData: return "Invalid data in the file!";
        case LaunchFailure::ReadFailed: return "Failed to read data from the file!";
        case LaunchFailure::InsufficientMemory: return "Insufficient memory!";
        case LaunchFailure::ReadFailedOrInvalid: return "Failed to read file or invalid data in file!";
        case LaunchFailure::NoTemporaryDirectory: return "Can't retrieve the temporary directory!";
        case LaunchFailure::DecompressFailed: return "Failed to decompress data!";
        case LaunchFailure::KernelNotFound: return "Not found the kernel library!";
        case LaunchFailure::KernelLoadFailed: return "Failed to load kernel library!";
        case LaunchFailure::KernelInvalid: return "The kernel library is invalid!";
        case LaunchFailure::KernelInterfaceInvalid: return "The interface of kernel library is invalid!";
    }
    return "Invalid data in the file!";
}

std::string TemporaryDirectoryName(std::uint32_t tag) {
    char name[16];
    std::snprintf(name, sizeof name, "V_%X", static_cast<unsigned>(tag));
    return name;
}

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

// A buffer left uninitialised, so a large stated size costs nothing until
// it is written; nullptr when the memory is not there.
Buffer Allocate(LaunchPlatform& platform, std::size_t bytes) {
    if (!platform.MayAllocate(bytes)) return nullptr;
    return Buffer(new (std::nothrow) unsigned char[std::max<std::size_t>(bytes, 1)]);
}

// Deflate cannot expand its input by more than 1032 to 1, so a capacity
// beyond that bound is never used: taking only the bound gives the same
// results without reserving memory a crafted capacity asks for.
std::size_t UsableCapacity(std::int32_t capacity, std::size_t streamBytes) {
    const std::size_t bound = streamBytes * 1040 + 4096;
    return std::min(static_cast<std::size_t>(capacity), bound);
}

LaunchResult Fail(LaunchResult result, LaunchFailure failure) {
    result.failure = failure;
    result.entry = nullptr;
    return result;
}

}  // namespace

LaunchResult PrepareLaunchFrom(const std::filesystem::path& executable, LaunchPlatform& platform) {
    LaunchResult result;
    // 1. Open our own file for reading.
    std::ifstream file(executable, std::ios::binary);
    if (!file) return Fail(std::move(result), LaunchFailure::CannotOpenFile);

    // 2. The trailer's position, file size - 8, must be at least 1000.
    file.seekg(0, std::ios::end);
    const std::streamoff fileSize = file.tellg();
    if (!file || fileSize < 0) return Fail(std::move(result), LaunchFailure::ReadFailed);
    const std::int64_t trailerAt = static_cast<std::int64_t>(fileSize) - static_cast<std::int64_t>(kTrailerSize);
    if (trailerAt < kSmallestTrailerPosition) return Fail(std::move(result), LaunchFailure::InvalidData);

    // 3. Read the trailer.
    unsigned char trailer[kTrailerSize];
    file.seekg(trailerAt, std::ios::beg);
    file.read(reinterpret_cast<char*>(trailer), kTrailerSize);
    if (!file || file.gcount() != static_cast<std::streamsize>(kTrailerSize))
        return Fail(std::move(result), LaunchFailure::ReadFailed);

    // 4. Magic and payload length; the payload lies inside the file.
    const auto length = static_cast<std::int32_t>(ReadLe32(trailer));
    if (ReadLe32(trailer + 4) != kPayloadMagic || length < 4 || length >= trailerAt)
        return Fail(std::move(result), LaunchFailure::InvalidData);
    const auto payloadSize = static_cast<std::size_t>(length);

    // 5. Room for the payload, and at least for its header: the steps below
    // read the header's fields before they check that the payload holds
    // them, so the fields a short payload lacks read as zero.
    Buffer payload = Allocate(platform, std::max(payloadSize, kPayloadHeaderSize));
    if (!payload) return Fail(std::move(result), LaunchFailure::InsufficientMemory);
    std::fill(payload.get() + std::min(payloadSize, kPayloadHeaderSize), payload.get() + kPayloadHeaderSize, 0);

    // 6. Read it whole; it starts with the same magic.
    file.seekg(trailerAt - length, std::ios::beg);
    if (file) file.read(reinterpret_cast<char*>(payload.get()), length);
    if (!file || file.gcount() != length || ReadLe32(payload.get()) != kPayloadMagic)
        return Fail(std::move(result), LaunchFailure::ReadFailedOrInvalid);
    file.close();

    // 7. and 8. The temporary directory V_<tag>, created if missing.
    const std::optional<std::filesystem::path> temporary = platform.TemporaryPath();
    if (!temporary || temporary->empty()) return Fail(std::move(result), LaunchFailure::NoTemporaryDirectory);
    result.directory = *temporary / TemporaryDirectoryName(ReadLe32(payload.get() + 4));
    if (!platform.PrepareDirectory(result.directory))
        return Fail(std::move(result), LaunchFailure::NoTemporaryDirectory);

    // 9. Unscramble everything after the key.
    const std::uint32_t key = ReadLe32(payload.get() + 8);
    if (payloadSize > 12) Scramble(payload.get() + 12, payloadSize - 12, key);

    // 10. A stream must follow the header; second magic; a positive capacity.
    if (length - static_cast<std::int32_t>(kPayloadHeaderSize) <= 0 || ReadLe32(payload.get() + 12) != kSecondMagic)
        return Fail(std::move(result), LaunchFailure::InvalidData);
    const auto capacity = static_cast<std::int32_t>(ReadLe32(payload.get() + 16));
    if (capacity <= 0) return Fail(std::move(result), LaunchFailure::InvalidData);

    // 11. The output buffer.
    const std::size_t streamSize = payloadSize - kPayloadHeaderSize;
    const std::size_t outputSize = UsableCapacity(capacity, streamSize);
    Buffer content = Allocate(platform, outputSize);
    if (!content) return Fail(std::move(result), LaunchFailure::InsufficientMemory);

    // 12. One-shot inflate; output that does not fit is an error too.
    uLongf contentSize = static_cast<uLongf>(outputSize);
    if (uncompress(content.get(), &contentSize, payload.get() + kPayloadHeaderSize, static_cast<uLong>(streamSize)) !=
        Z_OK) {
        return Fail(std::move(result), LaunchFailure::DecompressFailed);
    }
    payload.reset();

    // 13. The records. All of them are checked before any file is written,
    // so a bad payload leaves nothing behind and no name reaches outside
    // the directory.
    const auto records = SplitRecords(
        std::string_view(reinterpret_cast<const char*>(content.get()), static_cast<std::size_t>(contentSize)));
    if (!records) return Fail(std::move(result), LaunchFailure::InvalidData);
    for (const RecordView& record : *records) {
        if (IsKernelName(record.name)) result.kernelName = std::string(record.name);  // a later one wins
        result.files.emplace_back(record.name);
        platform.WriteFile(result.directory / std::string(record.name), record.data);
    }

    // 14. The kernel library must be among them.
    if (records->empty() || result.kernelName.empty()) return Fail(std::move(result), LaunchFailure::KernelNotFound);

    // 15. Load it and ask for the runtime's entry.
    void* kernel = platform.LoadLibrary(result.directory / result.kernelName);
    if (!kernel) return Fail(std::move(result), LaunchFailure::KernelLoadFailed);
    void* getNewSock = platform.FindExport(kernel, kEntryExport);
    if (!getNewSock) return Fail(std::move(result), LaunchFailure::KernelInvalid);
    const RuntimeEntry entry = reinterpret_cast<GetNewSockFunction>(getNewSock)(kInterfaceVersion);
    if (!entry) return Fail(std::move(result), LaunchFailure::KernelInterfaceInvalid);

    // 16. The content buffer goes; the written files stay.
    result.entry = entry;
    return result;
}

LaunchResult PrepareLaunch(LaunchPlatform& platform) {
    const std::optional<std::filesystem::path> self = platform.ExecutablePath();
    if (!self) {
        LaunchResult result;
        result.failure = LaunchFailure::CannotOpenFile;
        return result;
    }
    return PrepareLaunchFrom(*self, platform);
}

}  // namespace qx::launcher
