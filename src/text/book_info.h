#pragma once
// Title and author proposed from the input file's name.

#include <string>
#include <string_view>

#include "runtime/gbk_text.h"

namespace qx::text {

struct BookInfo {
    runtime::Text title;   // empty = unknown
    runtime::Text author;  // empty = unknown
};

// The file name without directory and extension: the text between the last
// path separator and the last dot; empty when the name has no dot.
std::string StemOf(std::string_view path);
// The directory part of a path, without the final separator.
std::string DirectoryOf(std::string_view path);

// Splits a GBK stem into title and author: at the first "作者：" marker;
// otherwise at the last half-width space when it comes after the last "》";
// otherwise just after the last "》" when at least three bytes precede it.
BookInfo ProposeBookInfo(std::string_view gbkStem);

}  // namespace qx::text
