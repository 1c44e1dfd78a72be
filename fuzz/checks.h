#pragma once
// What the fuzz targets check of the program's results. Built without
// coverage: the checks are not what is fuzzed, and would only slow every
// execution and add features of their own.

#include <cstdint>
#include <string_view>
#include <vector>

#include "text/chapters.h"

namespace qx::fuzz {

// Aborts with `what` on stderr when `ok` is false.
void Require(bool ok, const char* what);

// Well-formed UTF-8; with `codePoints`, its characters are appended there.
bool WellFormedUtf8(std::string_view s, std::vector<std::uint32_t>* codePoints = nullptr);

// Checks the Index of a loaded book: one title, label and volume number per
// chapter, offsets inside the working text and in order, parents that exist
// and are volumes, every chapter's node where its volume number puts it, and
// every volume node with a chapter.
void CheckIndex(const text::Book& book);

// Every byte a well-formed UTF-8 sequence, and no character XML forbids.
bool IsXmlText(std::string_view s);

// Tags open and close in order, and every '&' starts an entity (a cheap
// well-formedness test: the writer's own markup, with every text escaped,
// has no '<' or '&' of its own).
bool TagsBalanced(std::string_view doc);

}  // namespace qx::fuzz
