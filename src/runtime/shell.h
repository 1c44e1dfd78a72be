#pragma once
// Shell operations: the system trash and the file manager.

#include <filesystem>

namespace qx::runtime {

// Moves a file or a directory tree to the system trash (the recycle bin of
// the desktop), without asking. Returns false when it could not be moved;
// the path is then left as it was.
bool MoveToTrash(const std::filesystem::path& path);

// Opens a directory in the desktop's file manager (xdg-open on Linux,
// explorer on Windows) without waiting for it. Returns whether the program
// could be started.
bool OpenInFileManager(const std::filesystem::path& directory);

}  // namespace qx::runtime
