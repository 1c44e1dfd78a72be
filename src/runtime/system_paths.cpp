#include "runtime/system_paths.h"

#include <QDir>
#include <QStandardPaths>
#include <cstdlib>
#include <system_error>

namespace qx::runtime {

std::filesystem::path ProgramHome(const std::optional<std::filesystem::path>& override) {
    if (override && !override->empty()) return *override;
    if (const char* env = std::getenv("QX_HOME"); env && *env) return env;
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
