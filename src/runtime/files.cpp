#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace qx::runtime {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
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

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::random_device rd;
    auto temp = path;
    temp += ".tmp" + std::to_string(rd() % 1000000);
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fflush(f) == 0) && ok;
    ok = (::fsync(::fileno(f)) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temp, path, ec);
        ok = !ec;
    }
    if (!ok) std::filesystem::remove(temp, ec);
    return ok;
}

}  // namespace qx::runtime
