#pragma once
// Many books in one command: each converted by a process of the program's
// own with the same options, a few at a time.

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace qx::cli {

// The books that `given` names: files as they are, and every ".txt" file of
// a folder (by name). Nothing is checked here; each book's run tells.
std::vector<std::filesystem::path> BooksOf(const std::vector<std::string>& given);

// Runs `program convert BOOK options… --quiet` for every book, `jobs` at a
// time, and prints one line per book as it ends on `out`: "done: BOOK: what
// it wrote" or "failed: BOOK: why". Returns 0 when every book was converted,
// else 1.
int RunBatch(const std::filesystem::path& program, const std::vector<std::filesystem::path>& books,
             const std::vector<std::string>& options, unsigned jobs, std::ostream& out);

}  // namespace qx::cli
