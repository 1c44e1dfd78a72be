#include "runtime/system_paths.h"

#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <cstdlib>
#include <system_error>

namespace qx::runtime {
namespace {

std::filesystem::path UserFolder(QStandardPaths::StandardLocation location) {
    QString dir = QStandardPaths::writableLocation(location);
    if (dir.isEmpty()) dir = QDir::homePath();
    return std::filesystem::path(dir.toStdString()) / "qxebook";
}

// The share folder of an installation whose executables are in `bin`.
std::filesystem::path ShareFolderBeside(const std::filesystem::path& bin) {
    return bin.parent_path() / "share" / "qxebook";
}

// A portable copy can write its own folder, and is not an installation's
// bin folder (root can write /usr/bin, yet the program there is installed).
bool IsPortableCopy(const std::filesystem::path& dir) {
    std::error_code ec;
    if (std::filesystem::is_directory(ShareFolderBeside(dir), ec)) return false;
    return ::access(dir.c_str(), W_OK) == 0;
}

}  // namespace

HomeLayout LocateProgramHome(const std::optional<std::filesystem::path>& override,
                             const std::filesystem::path& executableDirectory) {
    HomeLayout layout;
    if (override && !override->empty()) {
        layout.home = *override;
    } else if (const char* env = std::getenv("QX_HOME"); env && *env) {
        layout.home = env;
    } else if (IsPortableCopy(executableDirectory)) {
        layout.home = executableDirectory;
    } else {
        layout.perUser = true;
        layout.home = UserFolder(QStandardPaths::GenericDataLocation);
        layout.config = UserFolder(QStandardPaths::GenericConfigLocation);
        layout.installedTemplates = ShareFolderBeside(executableDirectory) / "template";
        return layout;
    }
    layout.config = layout.home;
    return layout;
}

HomeLayout LocateProgramHome(const std::optional<std::filesystem::path>& override) {
    return LocateProgramHome(override, ExecutableDirectory());
}

std::filesystem::path ProgramHome(const std::optional<std::filesystem::path>& override) {
    return LocateProgramHome(override).home;
}

std::filesystem::path ExecutableDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return exe.parent_path();
    return std::filesystem::current_path(ec);
}

std::filesystem::path DocumentsDirectory() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty()) dir = QDir::homePath();
    return std::filesystem::path(dir.toStdString());
}

std::filesystem::path TemporaryDirectory() {
    std::error_code ec;
    auto dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : dir;
}

}  // namespace qx::runtime
