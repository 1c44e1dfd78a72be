#pragma once
// Encoding conversion of the input text and of texts crossing the program's
// edges (widgets, file names, JSON). Inside, every text is GBK.

#include <string>
#include <string_view>

namespace qx::runtime {

// UTF-16LE bytes to GBK as Windows code page 936 converts them: characters
// without a GBK form become "?", one per UTF-16 code unit, so a character
// outside the BMP becomes "??". The text ends at its first NUL code unit and
// a trailing odd byte is ignored. A byte-order mark at the very start is
// dropped: it is not part of the book and would otherwise show as "?".
std::string Utf16LeToGbk(std::string_view bytes);

// The two traditional-to-simplified conversions of the "文件" page, numbered
// as the program numbers them.
enum class ChineseConversion { TraditionalGbkToSimplifiedGbk = 3, Big5ToSimplifiedGbk = 5 };

// Converts `text` (which ends at its first NUL byte) to simplified-character
// GBK. Characters the result cannot hold become "?". Throws
// std::runtime_error when the conversion tables cannot be loaded. The text
// is taken by value and released before the result is assembled, so a large
// book is not held three times over.
// How the traditional characters are simplified: by the phrase-aware fast
// path (the normal way), or by handing all text to the converter (the
// reference the fast path must match; used by tests and benchmarks).
enum class SimplifyWith { FastPath, ConverterOnly };
std::string ConvertChinese(std::string text, ChineseConversion mode, SimplifyWith way = SimplifyWith::FastPath);

// GBK to UTF-8; bytes that are not GBK become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// UTF-8 to GBK; characters without a GBK form become "?".
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace qx::runtime
