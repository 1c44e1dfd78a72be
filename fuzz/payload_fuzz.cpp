// Feeds arbitrary bytes to the launcher's start-up steps.
//
// First input byte even: the rest is the end of an executable (payload and
// trailer) behind a 1000-byte launcher body; the whole start-up runs on it.
// Odd: the rest is decompressed payload content; it is packed into a valid
// payload first, so the records are read behind the real zlib step.
//
// Checked: no crash or sanitizer report; the only failure messages are the
// launcher's; every written file has a safe bare name; with packed content,
// the files written are exactly the records, and a content the record
// splitter refuses is refused with "Invalid data in the file!".
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "launcher/payload.h"

namespace {

using namespace qx::launcher;
namespace fs = std::filesystem;

void Check(bool ok) {
    if (!ok) std::abort();
}

void Entry(const void*) {}
RuntimeEntry GetNewSock(int version) { return version == kInterfaceVersion ? &Entry : nullptr; }

class MemoryPlatform : public LaunchPlatform {
public:
    std::vector<std::string> names;
    std::optional<fs::path> ExecutablePath() override { return std::nullopt; }
    std::optional<fs::path> TemporaryPath() override { return fs::path("/nowhere"); }
    bool PrepareDirectory(const fs::path&) override { return true; }
    bool WriteFile(const fs::path& file, std::string_view) override {
        Check(file.parent_path().parent_path() == "/nowhere");
        const std::string name = file.filename().string();
        Check(IsSafeRecordName(name));
        names.push_back(name);
        return true;
    }
    void* LoadLibrary(const fs::path&) override { return this; }
    void* FindExport(void*, const char*) override { return reinterpret_cast<void*>(&GetNewSock); }
    bool MayAllocate(std::size_t bytes) override { return bytes <= (64u << 20); }
};

const fs::path& InputFile() {
    static const fs::path path = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                                 ("qx-payload-fuzz-" + std::to_string(::getpid()));
    return path;
}

LaunchResult Launch(const std::string& tail, MemoryPlatform& platform) {
    {
        std::ofstream out(InputFile(), std::ios::binary | std::ios::trunc);
        out << std::string(1000, 'B') << tail;
    }
    return PrepareLaunchFrom(InputFile(), platform);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    MemoryPlatform platform;
    if (data[0] % 2 == 0) {
        const LaunchResult r = Launch(rest, platform);
        Check(r.failure.has_value() != (r.entry != nullptr));
        if (r.failure) Check(!MessageOf(*r.failure).empty());
        return 0;
    }
    const PackOptions options(data[0], static_cast<std::uint32_t>(size) * 2654435761u, {}, 1);
    const LaunchResult r = Launch(BuildPayloadFromRecords(rest, options), platform);
    const auto records = SplitRecords(rest);
    if (!records) {
        Check(r.failure == LaunchFailure::InvalidData);
        Check(platform.names.empty());
        return 0;
    }
    Check(platform.names.size() == records->size());
    std::string kernel;
    for (std::size_t i = 0; i < records->size(); ++i) {
        Check(platform.names[i] == (*records)[i].name);
        if (IsKernelName((*records)[i].name)) kernel = std::string((*records)[i].name);
    }
    if (kernel.empty()) {
        Check(r.failure == LaunchFailure::KernelNotFound);
    } else {
        Check(!r.failure && r.kernelName == kernel && r.entry == &Entry);
    }
    return 0;
}
