#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace qx::runtime {
namespace {

// A file opened for reading, with what fstat says of it; -1 for a file that
// cannot be opened, and for a directory.
int OpenForReading(const std::filesystem::path& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    struct stat st {};
    const int fd = OpenForReading(path, st);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    // Read in one go when the size is known; keep reading for files that grow
    // or report no size (pipes, /proc). A full buffer is grown only when a
    // small probe shows there is more, so the usual case copies nothing.
    bytes.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            char probe[65536];
            const ssize_t got = ::read(fd, probe, sizeof probe);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                ::close(fd);
                return std::nullopt;
            }
            if (got == 0) break;
            bytes.resize(bytes.size() + static_cast<std::size_t>(got) + bytes.size() / 2 + 65536);
            std::memcpy(bytes.data() + filled, probe, static_cast<std::size_t>(got));
            filled += static_cast<std::size_t>(got);
            continue;
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return bytes;
}

namespace {

RenameFunction g_rename = nullptr;

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

// Makes a finished rename durable before the next file is replaced.
void SyncDirectory(const std::filesystem::path& file) {
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (g_rename) return g_rename(from, to);
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
}

}  // namespace

void SetRenameFunctionForTesting(RenameFunction rename) { g_rename = rename; }

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) { return Rename(from, to); }

std::optional<std::string> ReadFilePrefix(const std::filesystem::path& path, std::size_t count) {
    struct stat st {};
    const int fd = OpenForReading(path, st);
    if (fd < 0) return std::nullopt;
    // A file of known size needs no more room than it has.
    if (st.st_size > 0) count = std::min(count, static_cast<std::size_t>(st.st_size) + 1);
    std::string bytes(count, '\0');
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = ::read(fd, bytes.data() + filled, count - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return bytes;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::random_device rd;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temp = path;
        temp += ".tmp" + std::to_string(rd() % 1000000);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && Rename(temp, path);
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return false;
    }
    SyncDirectory(path);
    return true;
}

}  // namespace qx::runtime
