#include "launcher/template_archive.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "launcher/payload.h"

namespace qx::launcher {

namespace fs = std::filesystem;

std::vector<ArchivedFile> CollectFiles(const fs::path& dir) {
    std::vector<ArchivedFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        files.push_back({fs::relative(entry.path(), dir).generic_string(), std::move(data)});
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return files;
}

std::string EncodeArchive(const std::vector<ArchivedFile>& files) {
    std::string out;
    for (const ArchivedFile& f : files) {
        out += f.path;
        out.push_back('\0');
        AppendLe32(out, static_cast<std::uint32_t>(f.data.size()));
        out += f.data;
    }
    return out;
}

namespace {

bool SafeRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/') return false;
    std::size_t from = 0;
    while (true) {
        const std::size_t slash = path.find('/', from);
        const std::string_view part = path.substr(from, slash == std::string_view::npos ? path.npos : slash - from);
        if (!IsSafeRecordName(part)) return false;
        if (slash == std::string_view::npos) return true;
        from = slash + 1;
    }
}

}  // namespace

std::optional<std::vector<ArchivedFile>> DecodeArchive(std::string_view bytes) {
    std::vector<ArchivedFile> files;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t nul = bytes.find('\0', at);
        if (nul == std::string_view::npos) return std::nullopt;
        const std::string_view path = bytes.substr(at, nul - at);
        if (!SafeRelativePath(path)) return std::nullopt;
        at = nul + 1;
        if (bytes.size() - at < 4) return std::nullopt;
        const std::uint32_t size = ReadLe32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
        at += 4;
        if (size > bytes.size() - at) return std::nullopt;
        files.push_back({std::string(path), std::string(bytes.substr(at, size))});
        at += size;
    }
    return files;
}

bool UnpackArchive(std::string_view bytes, const fs::path& target) {
    const auto files = DecodeArchive(bytes);
    std::error_code ec;
    if (!files || fs::exists(target, ec)) return false;
    const fs::path partial = target.parent_path() / ("." + target.filename().string() + "." +
                                                     std::to_string(std::random_device{}()));
    bool ok = true;
    for (const ArchivedFile& f : *files) {
        const fs::path file = partial / fs::path(f.path);
        fs::create_directories(file.parent_path(), ec);
        std::ofstream out(file, std::ios::binary);
        out.write(f.data.data(), static_cast<std::streamsize>(f.data.size()));
        if (!out.flush()) ok = false;
    }
    if (ok) {
        fs::rename(partial, target, ec);
        ok = !ec;
    }
    if (!ok) fs::remove_all(partial, ec);
    return ok;
}

}  // namespace qx::launcher
