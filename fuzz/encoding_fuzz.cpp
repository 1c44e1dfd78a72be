// Encoding detection and conversion on arbitrary bytes. The first byte
// chooses the source encoding of the conversion (GBK, BIG5, UTF-8,
// UTF-16LE, UTF-16BE, or the one detected: bits 0-2) and simplification
// (bit 3); the rest is the file.
//
// Checked: no crash, sanitizer report or exception but the documented ones;
// detection names what it chose; the working text always reads back as
// well-formed UTF-8; a well-formed UTF-8 text keeps every character through
// the working text and back (the documented exceptions aside: U+00A0 becomes
// a space, U+FEFF goes, and a few characters come back as the private-use
// characters code page 936 reads their codes as).
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline_harness.h"
#include "runtime/encoding.h"
#include "runtime/encoding_detect.h"

namespace {

using namespace qx;

bool PrivateUse(std::uint32_t cp) { return cp >= 0xE000 && cp <= 0xF8FF; }

// `back` is `original` after the trip through the working text.
void CheckRoundTrip(const std::vector<std::uint32_t>& original, const std::vector<std::uint32_t>& back) {
    std::size_t j = 0;
    for (std::uint32_t cp : original) {
        if (cp == 0xFEFF) continue;
        const std::uint32_t expected = cp == 0xA0 ? 0x20 : cp;
        fuzz::Require(j < back.size(), "characters lost on the way through the working text");
        fuzz::Require(back[j] == expected || (PrivateUse(back[j]) && !PrivateUse(cp)),
                      "a character changed on the way through the working text");
        ++j;
    }
    fuzz::Require(j == back.size(), "characters added on the way through the working text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto choice = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const runtime::EncodingGuess guess = runtime::DetectEncoding(bytes);
    fuzz::Require(!guess.name.empty(), "detection without a name");

    static constexpr runtime::SourceEncoding kSources[] = {
        runtime::SourceEncoding::Gbk, runtime::SourceEncoding::Big5, runtime::SourceEncoding::Utf8,
        runtime::SourceEncoding::Utf16Le, runtime::SourceEncoding::Utf16Be};
    const runtime::SourceEncoding source = (choice & 7) < 5 ? kSources[choice & 7] : guess.encoding;
    const bool simplify = (choice & 8) != 0;
    std::string gbk;
    try {
        gbk = runtime::ConvertToGbk(std::string(bytes), source, simplify);
    } catch (const std::runtime_error&) {
        return 0;  // the conversion tables are missing: told to the user, not a fault of the input
    }
    fuzz::Require(fuzz::WellFormedUtf8(runtime::GbkToUtf8(gbk), nullptr), "the working text does not read back as UTF-8");

    // Texts crossing the program's edges: any bytes in, well-formed out.
    fuzz::Require(fuzz::WellFormedUtf8(runtime::GbkToUtf8(bytes), nullptr), "GbkToUtf8 made malformed UTF-8");
    std::vector<std::uint32_t> original;
    if (fuzz::WellFormedUtf8(bytes, &original)) {
        std::vector<std::uint32_t> back;
        fuzz::Require(fuzz::WellFormedUtf8(runtime::GbkToUtf8(runtime::Utf8ToGbk(bytes)), &back), "malformed round trip");
        CheckRoundTrip(original, back);
    }
    return 0;
}
