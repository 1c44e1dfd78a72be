#include "runtime/files.h"

#include <fcntl.h>
#include <langinfo.h>
#include <stdio.h>  // renameat2
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "runtime/encoding.h"

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
bool g_exchangeUnsupported = false;

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

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

bool Rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
    if (g_rename) {
        if (g_rename(from, to))
            return true;
        error = std::make_error_code(std::errc::io_error);
        return false;
    }
    error.clear();
    std::filesystem::rename(from, to, error);
    return !error;
}

// "<name>.tmp" and one to six digits: the temporary names of WriteFileAtomically.
bool IsTemporaryOf(std::string_view entry, std::string_view name) {
    if (entry.size() <= name.size() + 4 || entry.substr(0, name.size()) != name ||
        entry.substr(name.size(), 4) != ".tmp") {
        return false;
    }
    const std::string_view digits = entry.substr(name.size() + 4);
    return digits.size() <= 6 && digits.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

void SetRenameFunctionForTesting(RenameFunction rename) { g_rename = rename; }
void SetExchangeUnsupportedForTesting(bool unsupported) {
    g_exchangeUnsupported = unsupported;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    return Rename(from, to, error);
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
    return Rename(from, to, error);
}

bool SyncFile(const std::filesystem::path& path, std::error_code& error) {
    error.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = LastError();
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    if (!synced)
        error = LastError();
    ::close(fd);
    return synced;
}

bool ExchangePaths(const std::filesystem::path& a, const std::filesystem::path& b, std::error_code& error) {
    error.clear();
    if (g_exchangeUnsupported) {
        error = std::make_error_code(std::errc::function_not_supported);
        return false;
    }
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    error = LastError();
#else
    error = std::make_error_code(std::errc::function_not_supported);
#endif
    return false;
}

bool ExchangeUnsupported(const std::error_code& error) {
    // EINVAL: a file system without the exchange; ENOSYS: a kernel without renameat2.
    return error == std::errc::invalid_argument || error == std::errc::function_not_supported ||
           error == std::errc::operation_not_supported || error == std::errc::not_supported;
}

bool PlaceCannotBeWritten(const std::error_code& error) {
    if (!error ||
        (error.category() != std::generic_category() && error.category() != std::system_category())) {
        return false;
    }
    switch (error.value()) {
        case ENOSPC:
        case EDQUOT:
        case EROFS:
        case EIO:
            return true;
        default:
            return false;
    }
}

std::string ReasonOf(const std::error_code& error) {
    const std::string text = error.message();
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return text;
    if (std::string_view(::nl_langinfo(CODESET)) == "UTF-8")
        return Utf8ToGbk(text);
    return "errno " + std::to_string(error.value());
}

WritingMark::WritingMark(const std::filesystem::path& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        Release();
}

WritingMark::~WritingMark() {
    Release();
}

WritingMark::WritingMark(WritingMark&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

WritingMark& WritingMark::operator=(WritingMark&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void WritingMark::Release() {
    if (m_fd >= 0)
        ::close(m_fd);  // closing drops the lock
    m_fd = -1;
}

std::vector<std::filesystem::path> LeftoversIn(const std::filesystem::path& folder,
                                               const std::function<bool(std::string_view name)>& ours) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!ours(name))
            continue;
        std::error_code typeError;
        const auto status = it->symlink_status(typeError);
        if (typeError || !(std::filesystem::is_regular_file(status) || std::filesystem::is_directory(status)))
            continue;
        // Whoever still writes it holds its mark; one that cannot be opened
        // to check is left alone.
        if (WritingMark(it->path()).Held())
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

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
    std::error_code error;
    return WriteFileAtomically(path, bytes, error);
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::error_code& error) {
    error.clear();
    const std::string name = path.filename().string();
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    for (const auto& leftover :
         LeftoversIn(folder, [&](std::string_view entry) { return IsTemporaryOf(entry, name); })) {
        std::error_code ec;
        std::filesystem::remove(leftover, ec);
    }

    std::random_device rd;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temp = path;
        temp += ".tmp" + std::to_string(rd() % 1000000);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            error = LastError();
            return false;
        }
    }
    if (fd < 0) {
        error = std::make_error_code(std::errc::file_exists);
        return false;
    }
    // Held until the rename, so that another save of the same file does not
    // take this one for a leftover.
    ::flock(fd, LOCK_EX | LOCK_NB);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (!ok)
        error = LastError();
    ok = ok && Rename(temp, path, error);
    ::close(fd);  // after fsync, closing cannot lose the bytes
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return false;
    }
    SyncDirectory(path);
    return true;
}

}  // namespace qx::runtime
