#pragma once
// Text operations on GBK byte strings. Positions are byte positions counted
// from 1, and a search that finds nothing gives -1, as the rules of the
// program count them. An absent text is the empty text.

#include <cstdint>
#include <string>
#include <string_view>

namespace qx::runtime {

using Text = std::string;

// The ideographic space, GBK A1 A1.
inline constexpr std::string_view kIdeographicSpace = "\xA1\xA1";

std::int64_t Length(std::string_view text);
Text Left(std::string_view text, std::int64_t count);
Text Right(std::string_view text, std::int64_t count);
// Middle part of `count` bytes from 1-based position `start`.
Text Mid(std::string_view text, std::int64_t start, std::int64_t count);

// Position of the first occurrence of `what` at or after `start`, or -1.
// `ignoreCase` folds ASCII letters only; GBK bytes are compared as they are.
std::int64_t Find(std::string_view text, std::string_view what, std::int64_t start = 1,
                  bool ignoreCase = false);
// Position of the last occurrence of `what` that begins at or before `start`
// (the end of the text when start is 0 or less), or -1.
std::int64_t FindLast(std::string_view text, std::string_view what, std::int64_t start = 0,
                      bool ignoreCase = false);

// Replaces occurrences of `what` from position `start` on, left to right
// without overlap, at most `count` times (all when count < 0).
Text Replace(std::string_view text, std::string_view what, std::string_view with, std::int64_t start = 1,
             std::int64_t count = -1, bool ignoreCase = false);

// Trimming removes half-width spaces and ideographic spaces. Working on bytes
// is safe for GBK: 0x20 is never part of a double-byte character, and A1 A1
// at either end of well-formed text is always a whole ideographic space.
std::string_view TrimStart(std::string_view text);
std::string_view TrimEnd(std::string_view text);
std::string_view Trim(std::string_view text);

// Full-width Latin letters, digits, punctuation and the ideographic space
// become their single-byte forms; every other character stays.
Text ToHalfWidth(std::string_view text);

// Decimal text of a number: integers without a fraction, other values with
// the shortest digits that read back to the same double.
Text NumberToText(double value);
Text NumberToText(std::int64_t value);
// Reads a leading decimal number (after leading spaces); 0 when there is none.
double TextToNumber(std::string_view text);
// Fixed number of decimals, no digit grouping, rounding half away from zero.
Text FixedDecimals(double value, int decimals);

}  // namespace qx::runtime
