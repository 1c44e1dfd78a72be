#include "runtime/shell.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <system_error>

namespace qx::runtime {
namespace {

QString ToQString(const std::filesystem::path& path) {
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QString::fromStdString(path.native());
#endif
}

}  // namespace

bool MoveToTrash(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return false;
    const fs::path absolute = fs::absolute(path, ec);
#ifndef _WIN32
    // The trash in the user's data folder must be there first: without it
    // Qt falls back to a "files" folder relative to the working directory.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome + QStringLiteral("/Trash/files")) ||
        !QDir().mkpath(dataHome + QStringLiteral("/Trash/info"))) {
        return false;
    }
#endif
    QString whereInTrash;
    if (!QFile::moveToTrash(ToQString(absolute), &whereInTrash)) return false;
    if (QDir::isRelativePath(whereInTrash)) {
        // Not in a real trash: put it back rather than leave it there.
        fs::rename(fs::absolute(whereInTrash.toStdString(), ec), absolute, ec);
        return false;
    }
    return !fs::exists(fs::symlink_status(absolute, ec));
}

bool OpenInFileManager(const std::filesystem::path& directory) {
    std::error_code ec;
    const QString dir = ToQString(std::filesystem::absolute(directory, ec));
#ifdef _WIN32
    return QProcess::startDetached(QStringLiteral("explorer.exe"), {QDir::toNativeSeparators(dir)});
#else
    return QProcess::startDetached(QStringLiteral("xdg-open"), {dir});
#endif
}

}  // namespace qx::runtime
