#pragma once
// Whole-file reads and writes on the file system.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qx::runtime {

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// The first `count` bytes of the file (all of a shorter one), or nothing
// when it cannot be opened or read.
std::optional<std::string> ReadFilePrefix(const std::filesystem::path& path, std::size_t count);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failure never leaves a half-written file. Returns success.
// Leftovers of saves that died before their rename (named "<name>.tmp"
// and up to six digits) are removed first, unless a save that is still
// running holds them.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);
// The same, telling why it failed (the system's error of the step that did).
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::error_code& error);

// Flushes a file written by other means (an archive library, say) to the
// disk, so that renaming it over an older one cannot leave an empty file
// after a power cut. False, with the system's reason, when it could not.
bool SyncFile(const std::filesystem::path& path, std::error_code& error);

// Renames `from` over `to` (replacing it), through the same rename that
// WriteFileAtomically uses, so tests can make it fail. Returns success.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error);

// Swaps two entries of the same file system in one step (both must exist),
// so that no moment sees neither of them under either name. False, with
// the reason, when it could not; ExchangeUnsupported tells a file system or
// system that cannot do it from other failures.
bool ExchangePaths(const std::filesystem::path& a, const std::filesystem::path& b, std::error_code& error);
bool ExchangeUnsupported(const std::error_code& error);

// Whether a write failed because the place cannot take it at all: the disk
// is full or over quota, mounted read-only, or failing. Such a failure
// spoils every file after it, unlike one file that is in the way.
bool PlaceCannotBeWritten(const std::error_code& error);

// The system's reason for an error as GBK text (it comes in the language
// and character set of the system's locale).
std::string ReasonOf(const std::error_code& error);

// A mark that this process is writing a file or folder under a temporary
// name: an advisory lock that the system drops when the process ends,
// however it ends, so a later run tells the leftover of a run that died from
// one that is still being written (by another window or command). Marking
// fails quietly: an unmarked entry only risks being taken for a leftover.
class WritingMark {
public:
    WritingMark() = default;
    explicit WritingMark(const std::filesystem::path& path);
    ~WritingMark();
    WritingMark(WritingMark&& other) noexcept;
    WritingMark& operator=(WritingMark&& other) noexcept;
    WritingMark(const WritingMark&) = delete;
    WritingMark& operator=(const WritingMark&) = delete;

    bool Held() const { return m_fd >= 0; }
    void Release();

private:
    int m_fd = -1;
};

// The entries of `folder` (files and folders, never links) whose names
// `ours` accepts and that no running writer marks: what earlier runs that
// died left behind.
std::vector<std::filesystem::path> LeftoversIn(const std::filesystem::path& folder,
                                               const std::function<bool(std::string_view name)>& ours);

// Tests replace the final rename to show what a save cut short leaves
// behind; nullptr restores the real one.
using RenameFunction = bool (*)(const std::filesystem::path& from, const std::filesystem::path& to);
void SetRenameFunctionForTesting(RenameFunction rename);
// Tests make ExchangePaths answer "not supported" to try what follows then.
void SetExchangeUnsupportedForTesting(bool unsupported);

}  // namespace qx::runtime
