#pragma once
// Where the program finds its home and the user's folders.

#include <filesystem>
#include <optional>
#include <string>

namespace qx::runtime {

// The program home: `override` when given (the --home option), otherwise
// QX_HOME when set, otherwise the directory of the running executable. It
// holds qx_cfg.ini, data.vdb, data.vdt and template/.
std::filesystem::path ProgramHome(const std::optional<std::filesystem::path>& override = std::nullopt);

// The user's documents folder (the home directory when there is none).
std::filesystem::path DocumentsDirectory();

// The directory for temporary files.
std::filesystem::path TemporaryDirectory();

}  // namespace qx::runtime
