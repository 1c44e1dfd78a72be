#pragma once
// Encoding conversion of the input text and of texts crossing the program's
// edges (widgets, file names, JSON). Inside, every text is GBK.
//
// Every conversion into the working text keeps every character:
// - a character GBK has gets exactly its bytes of code page 936 (the euro sign
//   is the single byte 80);
// - a character GBK lacks (rare ideographs such as U+20BB7, emoji, Thai, ...)
//   gets its GB18030 four-byte sequence, and so does a character that code
//   page 936 would only replace by a look-alike (U+00A2 does not become the
//   full-width cent sign, a compatibility ideograph does not become its
//   unified twin);
// - a few characters that GB18030 gives a double-byte code which code page
//   936 reads as a private-use character (U+1E3F, U+01F9, some radicals and
//   CJK extension A ideographs) get that double-byte code: a GB18030 reader
//   such as a browser shows them rightly, GbkToUtf8 gives the private-use
//   character;
// - U+00A0 (no-break space, common as indentation in texts copied from web
//   pages) becomes a plain space 20, so that trimming and the title rules see
//   it as the space it stands for;
// - U+FEFF (a byte-order mark, at the start or left in the middle where files
//   were joined) is no part of the book and is dropped;
// - what is not a character at all (bytes that are not UTF-8, a lone UTF-16
//   surrogate, bytes the source encoding cannot decode) becomes U+FFFD, the
//   replacement character, as its four-byte sequence 84 31 A4 37.

#include <string>
#include <string_view>

namespace qx::runtime {

// The encodings a book may come in.
enum class SourceEncoding { Gbk, Big5, Utf8, Utf16Le, Utf16Be };

// How traditional characters are simplified: by the phrase-aware fast path
// (the normal way), or by handing all text to the converter (the reference
// the fast path must match; used by tests and benchmarks).
enum class SimplifyWith { FastPath, ConverterOnly };

// Converts a whole book in `source` encoding to the working text (GBK), with
// traditional characters simplified when `simplify` is set. The text ends at
// its first NUL character; a leading byte-order mark is dropped; UTF-16 input
// ignores a trailing odd byte. GBK input without simplification is returned
// as it is; BIG5 input without simplification keeps its traditional
// characters. Large books are converted on all cores. The bytes are taken by
// value and released before the result is assembled, so a large book is not
// held three times over. Throws std::runtime_error when a converter or the
// simplification tables cannot be loaded.
std::string ConvertToGbk(std::string bytes, SourceEncoding source, bool simplify,
                         SimplifyWith way = SimplifyWith::FastPath);

// A whole UTF-8 book to the working text: ConvertToGbk(text, Utf8, false).
std::string Utf8TextToGbk(std::string text);

// UTF-16 books to the working text, without simplification. A surrogate pair
// becomes one four-byte sequence.
std::string Utf16LeToGbk(std::string_view bytes);
std::string Utf16BeToGbk(std::string_view bytes);

// The two traditional-to-simplified conversions of the "文件" page, numbered
// as the program numbers them.
enum class ChineseConversion { TraditionalGbkToSimplifiedGbk = 3, Big5ToSimplifiedGbk = 5 };

// Converts `text` to simplified-character GBK: ConvertToGbk with source GBK
// or BIG5 and simplification.
std::string ConvertChinese(std::string text, ChineseConversion mode, SimplifyWith way = SimplifyWith::FastPath);

// Working text (GBK, with GB18030 four-byte sequences) to UTF-8: double-byte
// characters as code page 936 reads them, four-byte sequences as GB18030
// reads them; bytes that are neither become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// The same reading into UTF-16, for the window's texts.
std::u16string GbkToUtf16(std::string_view gbk);
// UTF-8 (a widget's text, a file name, an argument) to the working text, by
// the rules above; unlike a book it may hold NUL characters.
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace qx::runtime
