#pragma once
// The bundle's built-in templates as one file: records of a relative path
// (UTF-8, '/' separated, NUL-terminated), a 32-bit little-endian size and
// the file's bytes.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::launcher {

struct ArchivedFile {
    std::string path;  // relative, '/' separated
    std::string data;
};

// The files under `dir`, in path order. Throws std::filesystem_error when
// the directory cannot be read.
std::vector<ArchivedFile> CollectFiles(const std::filesystem::path& dir);

std::string EncodeArchive(const std::vector<ArchivedFile>& files);

// Nothing when a record is cut short or a path could leave the directory it
// is unpacked into (absolute, empty parts, "." or "..", a backslash).
std::optional<std::vector<ArchivedFile>> DecodeArchive(std::string_view bytes);

// Unpacks into `target`, which must not exist yet: the files go to a
// temporary sibling first, renamed into place when all are written, so an
// interrupted start leaves no half set. Returns success.
bool UnpackArchive(std::string_view bytes, const std::filesystem::path& target);

}  // namespace qx::launcher
