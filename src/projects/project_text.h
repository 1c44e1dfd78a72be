#pragma once
// Helpers the two project writers share: GBK texts walked by character, and
// paths crossing between the file system and GBK project texts.

#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/gbk_text.h"

namespace qx::projects {

using runtime::Text;

// Whether `character` (one GBK character, one or two bytes) occurs in
// `text` as a whole character: a trail byte and the next lead byte never
// make a false match.
bool ContainsCharacter(std::string_view text, std::string_view character);

// Every CR LF, CR and LF becomes one blank.
Text JoinLines(std::string_view text);

// A path as GBK text (characters GBK lacks become "?").
Text PathToGbk(const std::filesystem::path& path);
// A GBK text naming a file or directory as a path.
std::filesystem::path GbkToPath(std::string_view gbk);
// A path as the bytes a program of this system reads from a project file:
// UTF-8 here, GBK on Windows. Separators are forward slashes.
std::string PathToProjectBytes(const std::filesystem::path& path);

// A GBK path text from a project (backslashes or slashes) as a path.
std::filesystem::path ProjectTextToPath(std::string_view gbk);

}  // namespace qx::projects
