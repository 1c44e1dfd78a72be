#pragma once
// Guessing the encoding of a chosen book from its first bytes, so that the
// "文件" page can propose the right conversion and the status bar can say
// what the file is.

#include <string>
#include <string_view>

#include "runtime/encoding.h"

namespace qx::runtime {

struct EncodingGuess {
    SourceEncoding encoding = SourceEncoding::Gbk;  // what to read the file as
    bool byteOrderMark = false;
    // Most of its characters that differ between the two scripts are
    // traditional-only forms. Always true for BIG5.
    bool traditional = false;
    bool asciiOnly = false;  // no character beyond ASCII (an empty sample too)
    // For the status bar and messages: "UTF-8", "UTF-8 (BOM)", "UTF-16LE",
    // "UTF-16BE", "GBK", "GB18030" (GBK holding four-byte sequences, read as
    // GBK), "BIG5" or "ASCII" (read as GBK).
    std::string name;
};

// Guesses from `sample`, the first bytes of a file (8 MB at most are looked
// at; it may end in the middle of a character), in this order:
//  1. a byte-order mark (UTF-8, UTF-16LE, UTF-16BE);
//  2. zero bytes mostly at odd offsets (UTF-16LE) or even offsets (UTF-16BE),
//     when reading the sample so finds more common Chinese characters than
//     reading it as GBK or BIG5, or when zeros are too many for any text
//     (ASCII in UTF-16); a stray NUL or two never makes a GBK file UTF-16;
//  3. strict UTF-8 (a sequence cut by the end of the sample allowed): ASCII
//     when no byte is above 7F, else UTF-8 (a short sample that reads better
//     as GBK is GBK);
//  4. GBK or BIG5, whichever reading finds more of the most common Chinese
//     characters (in either script) for fewer undecodable bytes; where both
//     find none, the character-set detector of the system decides.
// Deterministic, never throws, and takes a few milliseconds for a few MB.
EncodingGuess DetectEncoding(std::string_view sample);

}  // namespace qx::runtime
