#pragma once
// Whole-file reads and writes on the file system.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qx::runtime {

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// The first `count` bytes of the file (all of a shorter one), or nothing
// when it cannot be opened or read.
std::optional<std::string> ReadFilePrefix(const std::filesystem::path& path, std::size_t count);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failure never leaves a half-written file. Returns success.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Renames `from` over `to` (replacing it), through the same rename that
// WriteFileAtomically uses, so tests can make it fail. Returns success.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// Tests replace the final rename to show what a save cut short leaves
// behind; nullptr restores the real one.
using RenameFunction = bool (*)(const std::filesystem::path& from, const std::filesystem::path& to);
void SetRenameFunctionForTesting(RenameFunction rename);

}  // namespace qx::runtime
