// The launcher on Linux and other POSIX systems.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "launcher/platform.h"

extern char** environ;

namespace qx::launcher {
namespace {

bool SameContent(const std::filesystem::path& file, std::string_view data) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    if (static_cast<std::size_t>(in.tellg()) != data.size()) return false;
    in.seekg(0);
    std::string present(data.size(), '\0');
    in.read(present.data(), static_cast<std::streamsize>(present.size()));
    return in && present == data;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

class PosixPlatform : public LaunchPlatform {
public:
    std::optional<std::filesystem::path> ExecutablePath() override {
        std::error_code ec;
        auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) return std::nullopt;
        return self;
    }

    // TMPDIR when set, as the system's programs take it, else /tmp.
    std::optional<std::filesystem::path> TemporaryPath() override {
        const char* dir = std::getenv("TMPDIR");
        std::filesystem::path path = (dir && *dir) ? dir : "/tmp";
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
        return path;
    }

    // The directory is shared by every start with the same tag and holds
    // code the launcher is about to load: it must be ours and closed to
    // others, not a link somebody else planted in a shared /tmp.
    bool PrepareDirectory(const std::filesystem::path& dir) override {
        ::mkdir(dir.c_str(), 0700);
        struct stat st {};
        if (::lstat(dir.c_str(), &st) != 0) return false;
        return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    }

    // A running instance maps these files: they are never rewritten in
    // place. An unchanged file is left alone; a changed one is written
    // beside it and renamed over it, so a running instance keeps its copy.
    bool WriteFile(const std::filesystem::path& file, std::string_view data) override {
        if (SameContent(file, data)) return true;
        std::string temporary = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
        const int fd = ::mkstemp(temporary.data());
        if (fd < 0) return false;
        const bool written = WriteAll(fd, data);
        const bool closed = ::close(fd) == 0;
        if (!written || !closed || ::rename(temporary.c_str(), file.c_str()) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        return true;
    }

    void* LoadLibrary(const std::filesystem::path& file) override {
        void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = ::dlerror();
            lastLoadError = why ? why : "";
        }
        return library;
    }

    void* FindExport(void* library, const char* name) override { return ::dlsym(library, name); }

    std::string lastLoadError;
};

bool OnTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// A desktop notification for a launcher started from a file manager, where
// nobody reads standard error. Missing notify-send is no error.
void Notify(const std::string& message) {
    std::string program = "notify-send", urgency = "--urgency=critical", caption(kErrorCaption);
    std::string text = message;
    char* argv[] = {program.data(), urgency.data(), caption.data(), text.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "notify-send", nullptr, nullptr, argv, environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}

}  // namespace

std::unique_ptr<LaunchPlatform> MakeSystemPlatform() { return std::make_unique<PosixPlatform>(); }

std::string_view LastLoadError(const LaunchPlatform& platform) {
    if (const auto* posix = dynamic_cast<const PosixPlatform*>(&platform)) return posix->lastLoadError;
    return {};
}

void ShowLaunchError(std::string_view message, std::string_view detail) {
    std::string line = std::string(kErrorCaption) + ": " + std::string(message) + "\n";
    if (!detail.empty()) line += std::string(detail) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (!OnTerminal() && HasDisplay()) Notify(std::string(message));
}

}  // namespace qx::launcher
