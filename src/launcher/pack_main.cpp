// qxebook-pack: makes a self-extracting executable from a launcher and the
// files it is to carry, and lists what such an executable carries.
#include <sys/stat.h>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "launcher/payload.h"

namespace {

using namespace qx::launcher;
namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: qxebook-pack --launcher FILE --out FILE [--tag HEX] [--key HEX] [--capacity N] FILE...\n"
    "       qxebook-pack --list FILE\n"
    "\n"
    "  Appends FILE... (stored under their bare names) to a copy of the launcher as\n"
    "  its payload. One of them must be the kernel library vtrun.vlx or vtrun.vlr.\n"
    "  --tag       names the temporary directory V_<tag> (default: random)\n"
    "  --key       the 4-byte scrambling key (default: random)\n"
    "  --capacity  the decompression buffer size to store (default: the exact size)\n"
    "  --list      prints the files an executable carries\n";

std::optional<std::string> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::optional<std::uint32_t> ParseHex(const std::string& text) {
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// Unpacks without writing or loading anything, to list the records.
class ListingPlatform : public LaunchPlatform {
public:
    std::optional<fs::path> ExecutablePath() override { return std::nullopt; }
    std::optional<fs::path> TemporaryPath() override { return fs::path("."); }
    bool PrepareDirectory(const fs::path&) override { return true; }
    bool WriteFile(const fs::path& file, std::string_view data) override {
        std::cout << data.size() << "\t" << file.filename().string() << "\n";
        return true;
    }
    void* LoadLibrary(const fs::path&) override { return nullptr; }
    void* FindExport(void*, const char*) override { return nullptr; }
};

int List(const fs::path& file) {
    ListingPlatform platform;
    const LaunchResult result = PrepareLaunchFrom(file, platform);
    if (result.failure && *result.failure != LaunchFailure::KernelLoadFailed) {
        std::cerr << "qxebook-pack: " << file.string() << ": " << MessageOf(*result.failure) << "\n";
        return 1;
    }
    std::cout << "temporary directory " << result.directory.filename().string() << ", kernel library "
              << result.kernelName << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--launcher" || arg == "--out" || arg == "--tag" || arg == "--key" || arg == "--capacity" ||
            arg == "--list") {
            if (i + 1 >= argc) {
                std::cerr << "qxebook-pack: " << arg << " needs a value\n" << kUsage;
                return 2;
            }
            options[arg] = argv[++i];
        } else if (arg.starts_with("--")) {
            std::cerr << "qxebook-pack: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (options.count("--list")) return List(options["--list"]);
    if (!options.count("--launcher") || !options.count("--out") || files.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    std::random_device random;
    PackOptions pack;
    pack.tag = random();
    pack.key = random();
    for (const auto& [name, target] : {std::pair{"--tag", &pack.tag}, std::pair{"--key", &pack.key}}) {
        if (!options.count(name)) continue;
        const auto value = ParseHex(options[name]);
        if (!value) {
            std::cerr << "qxebook-pack: " << name << " must be a hexadecimal number, not " << options[name] << "\n";
            return 2;
        }
        *target = *value;
    }
    if (options.count("--capacity")) {
        const std::string& text = options["--capacity"];
        std::int32_t capacity = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), capacity);
        if (ec != std::errc{} || end != text.data() + text.size()) {
            std::cerr << "qxebook-pack: --capacity must be a number, not " << text << "\n";
            return 2;
        }
        pack.capacity = capacity;
    }

    std::vector<PayloadFile> payloadFiles;
    bool kernel = false;
    for (const std::string& file : files) {
        auto data = ReadAll(file);
        if (!data) {
            std::cerr << "qxebook-pack: cannot read " << file << "\n";
            return 1;
        }
        const std::string name = fs::path(file).filename().string();
        kernel = kernel || IsKernelName(name);
        payloadFiles.push_back({name, std::move(*data)});
    }
    if (!kernel) std::cerr << "qxebook-pack: warning: no kernel library (vtrun.vlx or vtrun.vlr) among the files\n";

    const auto launcher = ReadAll(options["--launcher"]);
    if (!launcher) {
        std::cerr << "qxebook-pack: cannot read the launcher " << options["--launcher"] << "\n";
        return 1;
    }
    std::string executable;
    try {
        executable = *launcher + BuildPayload(payloadFiles, pack);
    } catch (const std::exception& e) {
        std::cerr << "qxebook-pack: " << e.what() << "\n";
        return 1;
    }
    const fs::path out = options["--out"];
    const fs::path partial = out.string() + ".part";
    {
        std::ofstream o(partial, std::ios::binary | std::ios::trunc);
        o.write(executable.data(), static_cast<std::streamsize>(executable.size()));
        if (!o.flush()) {
            std::cerr << "qxebook-pack: cannot write " << partial.string() << "\n";
            return 1;
        }
    }
    ::chmod(partial.c_str(), 0755);
    std::error_code ec;
    fs::rename(partial, out, ec);
    if (ec) {
        std::cerr << "qxebook-pack: cannot write " << out.string() << ": " << ec.message() << "\n";
        return 1;
    }
    char tag[16];
    std::snprintf(tag, sizeof tag, "%X", static_cast<unsigned>(pack.tag));
    std::cout << "wrote " << out.string() << " (" << executable.size() << " bytes, " << payloadFiles.size()
              << " files, temporary directory V_" << tag << ")\n";
    return 0;
}
