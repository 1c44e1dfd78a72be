#pragma once
// Text operations on GBK byte strings. Positions are byte positions counted
// from 1, and a search that finds nothing gives -1, as the rules of the
// program count them. An absent text is the empty text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qx::runtime {

using Text = std::string;

// The ideographic space, GBK A1 A1.
inline constexpr std::string_view kIdeographicSpace = "\xA1\xA1";

// Length in bytes of the character that begins at byte `at` (counted from 0)
// of a GBK text, which may also hold GB18030 four-byte sequences for the
// characters GBK lacks:
//   4  a four-byte sequence: 81-FE, 30-39, 81-FE, 30-39;
//   2  a double-byte character: lead 81-FE, trail 40-7E or 80-FE;
//   1  anything else: ASCII, the single bytes 80 and FF, and a lead byte that
//      is cut off by the end or not followed by a trail byte (it stands alone
//      and the byte after it begins the next character);
//   0  when `at` is at or past the end.
// Every walk over the characters of a text steps with this, so that all
// agree where a character begins; a byte of 30-39 or 81-FE inside a
// four-byte sequence is never taken for a character of its own.
inline std::size_t CharLengthAt(std::string_view text, std::size_t at) {
    if (at >= text.size()) return 0;
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x81 || lead == 0xFF || at + 1 >= text.size()) return 1;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second >= 0x30 && second <= 0x39) {
        if (at + 3 >= text.size()) return 1;
        const auto third = static_cast<unsigned char>(text[at + 2]);
        const auto fourth = static_cast<unsigned char>(text[at + 3]);
        return third >= 0x81 && third != 0xFF && fourth >= 0x30 && fourth <= 0x39 ? 4 : 1;
    }
    return (second >= 0x40 && second != 0x7F && second != 0xFF) ? 2 : 1;
}

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

// Trimming removes half-width spaces and ideographic spaces, whole characters
// only (as CharLengthAt finds them): the A1 trail byte of a character before a
// lone A1 at the end is not taken for half of an ideographic space.
std::string_view TrimStart(std::string_view text);
std::string_view TrimEnd(std::string_view text);
std::string_view Trim(std::string_view text);

// Full-width Latin letters, digits, punctuation and the ideographic space
// become their single-byte forms; every other character (four-byte sequences
// included) stays as it is.
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
