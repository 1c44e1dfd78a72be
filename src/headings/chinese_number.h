#pragma once
// Numbers as novels write them in headings: Arabic digits (half- or
// full-width, zero-padded or not), Chinese numerals (一百二十三, 一〇三,
// 两百, 廿, financial forms 壹贰叁, traditional 兩 萬) and Roman numerals
// (for English headings). Texts are UTF-8.

#include <optional>
#include <string_view>

namespace qx::headings {

// The value of `text` when all of it is one number, else nothing. Values
// above a million are refused (no heading counts that far).
std::optional<int> ParseNumber(std::string_view utf8);

// Roman numerals (I, IV, XII, …), either case; nothing for anything else.
std::optional<int> ParseRoman(std::string_view ascii);

}  // namespace qx::headings
