#include "runtime/encoding_detect.h"

#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>
#include <opencc/SerializableDict.hpp>
#include <uchardet.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/gbk_text.h"

namespace qx::runtime {
namespace {

// Statistics need no more than this much text; the checks for zero bytes and
// for UTF-8 look at the whole sample, up to kLookedAtBytes.
constexpr std::size_t kAnalysedBytes = 1 << 20;
constexpr std::size_t kLookedAtBytes = 8 << 20;
// What the system's detector is given when the statistics say nothing.
constexpr std::size_t kDetectorBytes = 16 << 10;  // it reads about 2 MB/s

// The 500 most frequent characters of Chinese text, simplified. Their
// traditional forms are added from the conversion tables at start.
constexpr char16_t kCommonCharacters[] =
    u"的一是不了人我在有他这个们中来上大为和国地到以说时要就出会可也你对生能而子那得于着下自之年过发后作里"
    u"用道行所然家种事成方多经么去法学如都同现当没动面起看定天分还进好小部其些主样理心她本前开但因只从想实"
    u"日军者意无力它与长把机十民第公此已工使情明性知全三又关点正业外将两高间由问很最重并物手应战向头文体政"
    u"美相见被利什二等产或新己制身果加西斯月话合回特代内信表化老给世位次度门任常先海通教儿原东声提立及比员"
    u"解水名真论处走义各入几口认条平系气题活尔更别打女变四神总何电数安少报才结反受目太量再感建务做接必场件"
    u"计管期市直德资命山金指克许统区保至队形社便空决治展马科司五基眼书非则听白却界达光放强即像难且权思王象"
    u"完设式色路记南品住告类求据程北边死张该交规万取拉格望觉术领共确传师观清今切院让识候带导争运笑飞风步改"
    u"收根干造言联持组每济车亲极林服快办议往元英士证近失转夫令准布始怎呢存未远叫台单影具罗字爱击流备兵连调"
    u"深商算质团集百需价花党华城石级整府离况亚请技际约示复病息究线似官火断精满支视消越器容照须九增研写称企"
    u"八功吗包片史委乎查轻易早曾除农找装广显吧阿李标谈吃图念六引历首医局突专费号尽另周较注语仅考落青随选列";

enum CharacterKind : std::uint8_t { kCommon = 1, kTraditionalOnly = 2, kSimplifiedOnly = 4 };

// One byte per BMP code point: common, traditional-only, simplified-only.
struct CharacterTable {
    std::vector<std::uint8_t> kind = std::vector<std::uint8_t>(0x10000, 0);
};

// ICU's step over one UTF-8 character: the code point, or a negative value
// for an ill-formed sequence.
UChar32 NextUtf8(const char* s, int32_t& i, int32_t n) {
    UChar32 c = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"  // inside the macro
    U8_NEXT(s, i, n, c);
#pragma GCC diagnostic pop
    return c;
}

// The code point of a text of exactly one character, or -1.
UChar32 SingleCharacter(const std::string& utf8) {
    int32_t at = 0;
    const UChar32 c = NextUtf8(utf8.data(), at, static_cast<int32_t>(utf8.size()));
    return at == static_cast<int32_t>(utf8.size()) ? c : -1;
}

// Calls visit(key, values, keyAmongValues) for each one-character entry of
// an OpenCC character table; a missing table visits nothing.
template <class Visit>
void ForEachCharacterEntry(const char* file, Visit&& visit) {
    for (const char* dir : {"/usr/share/opencc/", "/usr/local/share/opencc/"}) {
        try {
            auto dict = opencc::SerializableDict::NewFromFile<opencc::MarisaDict>(std::string(dir) + file);
            for (const auto& entry : *dict->GetLexicon()) {
                const UChar32 key = SingleCharacter(entry->Key());
                if (key < 0x80 || key > 0xFFFF) continue;
                std::vector<UChar32> values;
                bool keyAmongValues = false;
                for (const auto& value : entry->Values()) {
                    const UChar32 v = SingleCharacter(value);
                    if (v < 0x80 || v > 0xFFFF) continue;
                    values.push_back(v);
                    keyAmongValues = keyAmongValues || v == key;
                }
                visit(key, values, keyAmongValues);
            }
            return;
        } catch (...) {
            // Not here: try the next place; without the tables the common
            // list holds simplified forms only and no text counts as
            // traditional.
        }
    }
}

const CharacterTable& Characters() {
    static const CharacterTable table = [] {
        CharacterTable t;
        for (const char16_t c : kCommonCharacters) {
            if (c != 0) t.kind[c] |= kCommon;
        }
        // Simplified to traditional: a key that is never its own traditional
        // form is simplified-only, and the traditional forms of a common
        // character are common too.
        ForEachCharacterEntry("STCharacters.ocd2", [&](UChar32 key, const auto& values, bool keyAmongValues) {
            if (!keyAmongValues) t.kind[key] |= kSimplifiedOnly;
            if (t.kind[key] & kCommon) {
                for (const UChar32 v : values) t.kind[v] |= kCommon;
            }
        });
        ForEachCharacterEntry("TSCharacters.ocd2", [&](UChar32 key, const auto&, bool keyAmongValues) {
            if (!keyAmongValues) t.kind[key] |= kTraditionalOnly;
        });
        for (auto& k : t.kind) {
            if ((k & kTraditionalOnly) && (k & kSimplifiedOnly)) k &= kCommon;  // no evidence either way
        }
        return t;
    }();
    return table;
}

// What one reading of the sample finds.
struct Tally {
    std::size_t nonAscii = 0;  // characters beyond ASCII, U+FFFD not counted
    std::size_t common = 0;
    std::size_t invalid = 0;  // U+FFFD and lone surrogates: bytes the reading cannot decode
    std::size_t traditional = 0;
    std::size_t simplified = 0;

    long Score() const { return static_cast<long>(common) - 2 * static_cast<long>(invalid); }
    // Chinese text: at least a fifth of its characters (after the penalty for
    // undecodable bytes) are common ones. A wrong reading finds a few per cent.
    bool ReadsAsChinese() const { return common > 0 && 5 * Score() >= static_cast<long>(nonAscii); }
    bool AsciiOnly() const { return nonAscii == 0 && invalid == 0; }
    bool Traditional() const { return traditional > simplified; }
};

Tally Count(std::u16string_view text) {
    const auto& kind = Characters().kind;
    Tally t;
    const auto n = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < n;) {
        UChar32 c = 0;
        U16_NEXT(text.data(), i, n, c);
        if (c < 0x80) continue;
        if (c == 0xFFFD || U_IS_SURROGATE(c)) {
            ++t.invalid;
            continue;
        }
        ++t.nonAscii;
        if (c > 0xFFFF) continue;
        const std::uint8_t k = kind[static_cast<std::size_t>(c)];
        t.common += k & kCommon;
        t.traditional += (k & kTraditionalOnly) != 0;
        t.simplified += (k & kSimplifiedOnly) != 0;
    }
    return t;
}

void SubstituteReplacementChar(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                               UConverterCallbackReason reason, UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
    static const UChar kReplacement = 0xFFFD;
    *status = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

struct CloseConverter {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// `bytes` read by an ICU converter, undecodable bytes as U+FFFD; empty when
// the converter is missing.
std::u16string Decode(const char* converter, std::string_view bytes) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, CloseConverter> conv(ucnv_open(converter, &status));
    if (U_FAILURE(status) || !conv || bytes.empty()) return {};
    ucnv_setToUCallBack(conv.get(), &SubstituteReplacementChar, nullptr, nullptr, nullptr, &status);
    std::u16string out(bytes.size() + 1, u'\0');
    status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(conv.get(), reinterpret_cast<UChar*>(out.data()),
                                    static_cast<int32_t>(out.size()), bytes.data(),
                                    static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::u16string DecodeUtf8(std::string_view bytes) {
    std::u16string out(bytes.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n,
                         bytes.data(), static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::u16string DecodeUtf16(std::string_view bytes, bool littleEndian) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t k = 0; k < out.size(); ++k) {
        const auto first = static_cast<unsigned char>(bytes[2 * k]);
        const auto second = static_cast<unsigned char>(bytes[2 * k + 1]);
        out[k] = static_cast<char16_t>(littleEndian ? first | (second << 8) : (first << 8) | second);
    }
    return out;
}

// The part the statistics look at: up to kAnalysedBytes, ending after a line
// feed where one is near the end, so that no character is cut.
std::string_view Window(std::string_view sample) {
    if (sample.size() <= kAnalysedBytes) return sample;
    std::string_view window = sample.substr(0, kAnalysedBytes);
    const auto lf = window.rfind('\n');
    if (lf != std::string_view::npos && lf >= kAnalysedBytes / 2) window = window.substr(0, lf + 1);
    return window;
}

// Strict UTF-8 (no overlong forms, surrogates or code points beyond
// U+10FFFF); a sequence cut by the end of the sample is allowed.
struct Utf8Check {
    bool valid = true;
    bool ascii = true;
};

Utf8Check CheckUtf8(std::string_view s) {
    Utf8Check check;
    const auto n = static_cast<int32_t>(s.size());
    for (int32_t i = 0; i < n;) {
        if (static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) < 0x80) {
            ++i;
            continue;
        }
        check.ascii = false;
        const int32_t start = i;
        if (NextUtf8(s.data(), i, n) >= 0) continue;
        // Cut by the end: a lead byte and only continuation bytes up to the
        // end, fewer than the lead byte asks for.
        const auto lead = static_cast<unsigned char>(s[static_cast<std::size_t>(start)]);
        int32_t wanted = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            wanted = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            wanted = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            wanted = 4;
        }
        bool cut = wanted > 0 && n - start < wanted;
        for (int32_t k = start + 1; cut && k < n; ++k) {
            cut = (static_cast<unsigned char>(s[static_cast<std::size_t>(k)]) & 0xC0) == 0x80;
        }
        if (cut && n - start >= 2) {  // the second byte rules out overlong forms and surrogates
            const auto second = static_cast<unsigned char>(s[static_cast<std::size_t>(start) + 1]);
            if (wanted == 3) cut = U8_IS_VALID_LEAD3_AND_T1(lead, second);
            if (wanted == 4) cut = U8_IS_VALID_LEAD4_AND_T1(lead, second);
        }
        if (!cut) check.valid = false;
        return check;
    }
    return check;
}

// Well-formed four-byte sequences that stand for a character: U+0080..U+FFFF
// (81 30 81 30 .. 84 31 A4 39) or U+10000..U+10FFFF (90 30 81 30 ..
// E3 32 9A 35).
bool HoldsFourByteCharacters(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLengthAt(text, i);
        if (length == 4) {
            // Position in the order of all four-byte sequences.
            long linear = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const long byte = static_cast<unsigned char>(text[i + k]);
                linear = k % 2 == 0 ? linear * 126 + (byte - 0x81) : linear * 10 + (byte - 0x30);
            }
            constexpr long kBmpEnd = 39419;        // 84 31 A4 39
            constexpr long kSupplement = 189000;  // 90 30 81 30
            if (linear <= kBmpEnd || (linear >= kSupplement && linear < kSupplement + 0x100000)) return true;
        }
        i += length;
    }
    return false;
}

// The system's character-set detector, for samples the statistics cannot
// tell apart: BIG5 when it says so.
bool DetectorSaysBig5(std::string_view sample) {
    uchardet_t detector = uchardet_new();
    if (!detector) return false;
    const std::string_view part = sample.substr(0, kDetectorBytes);
    bool big5 = false;
    if (uchardet_handle_data(detector, part.data(), part.size()) == 0) {
        uchardet_data_end(detector);
        const char* charset = uchardet_get_charset(detector);
        big5 = charset && std::strncmp(charset, "BIG5", 4) == 0;
    }
    uchardet_delete(detector);
    return big5;
}

EncodingGuess Guess(SourceEncoding encoding, const char* name, bool byteOrderMark, const Tally& tally) {
    EncodingGuess g;
    g.encoding = encoding;
    g.name = name;
    g.byteOrderMark = byteOrderMark;
    g.asciiOnly = tally.AsciiOnly();
    g.traditional = encoding == SourceEncoding::Big5 || tally.Traditional();
    return g;
}

EncodingGuess Utf16Guess(bool littleEndian, bool byteOrderMark, const Tally& tally) {
    return Guess(littleEndian ? SourceEncoding::Utf16Le : SourceEncoding::Utf16Be,
                 littleEndian ? "UTF-16LE" : "UTF-16BE", byteOrderMark, tally);
}

EncodingGuess Detect(std::string_view sample) {
    // 1. A byte-order mark says it all.
    if (sample.starts_with("\xEF\xBB\xBF")) {
        return Guess(SourceEncoding::Utf8, "UTF-8 (BOM)", true, Count(DecodeUtf8(Window(sample.substr(3)))));
    }
    if (sample.starts_with("\xFF\xFE") || sample.starts_with("\xFE\xFF")) {
        const bool little = sample[0] == '\xFF';
        return Utf16Guess(little, true, Count(DecodeUtf16(Window(sample.substr(2)), little)));
    }

    const std::string_view window = Window(sample);
    // Readings as GBK (GB18030 reads its four-byte sequences too) and BIG5,
    // made when first needed.
    Tally gbk, big5;
    bool legacyCounted = false;
    auto countLegacy = [&] {
        if (legacyCounted) return;
        gbk = Count(Decode("gb18030", window));
        big5 = Count(Decode("windows-950-2000", window));
        legacyCounted = true;
    };

    // 2. UTF-16 without a byte-order mark. ASCII in UTF-16 has a zero byte at
    // one side, but so has a Chinese character U+xx00 (一 is U+4E00) at the
    // other: with few ASCII characters neither side need be the larger, so
    // the zeros only make UTF-16 worth reading, and the reading decides.
    std::size_t zeros[2] = {0, 0};  // at even, at odd offsets
    for (std::size_t i = 0; i < sample.size(); ++i) zeros[i & 1] += sample[i] == 0;
    const std::size_t allZeros = zeros[0] + zeros[1];
    if (allZeros > 0 && allZeros * 1000 >= sample.size()) {
        const Tally le = Count(DecodeUtf16(window, true));
        const Tally be = Count(DecodeUtf16(window, false));
        const bool leFirst = le.Score() >= be.Score();
        const Tally& best = leFirst ? le : be;
        countLegacy();
        if (best.ReadsAsChinese() && best.Score() > std::max(gbk.Score(), big5.Score())) {
            return Utf16Guess(leFirst, false, best);
        }
        // Mostly ASCII: a zero byte in a quarter of the bytes and nine in ten
        // of them at one side; no text in another encoding has that.
        const std::size_t side = zeros[1] >= zeros[0] ? 1 : 0;
        if (allZeros * 4 >= sample.size() && zeros[side] >= 9 * zeros[1 - side]) {
            const bool little = side == 1;
            return Utf16Guess(little, false, little ? le : be);
        }
    }

    // 3. UTF-8, or plain ASCII.
    const Utf8Check utf8 = CheckUtf8(sample);
    if (utf8.valid && utf8.ascii) return Guess(SourceEncoding::Gbk, "ASCII", false, Tally{});
    if (utf8.valid) {
        const Tally t = Count(DecodeUtf8(window));
        // A few bytes of GBK may happen to be valid UTF-8.
        if (t.nonAscii < 32) {
            countLegacy();
            if (std::max(gbk.Score(), big5.Score()) > t.Score()) {
                return big5.Score() > gbk.Score() ? Guess(SourceEncoding::Big5, "BIG5", false, big5)
                                                  : Guess(SourceEncoding::Gbk, "GBK", false, gbk);
            }
        }
        return Guess(SourceEncoding::Utf8, "UTF-8", false, t);
    }

    // 4. GBK or BIG5.
    countLegacy();
    bool isBig5 = big5.Score() > gbk.Score();
    if (big5.Score() == gbk.Score() || std::max(big5.Score(), gbk.Score()) <= 0) {
        isBig5 = DetectorSaysBig5(sample);
    }
    if (isBig5) return Guess(SourceEncoding::Big5, "BIG5", false, big5);
    return Guess(SourceEncoding::Gbk, HoldsFourByteCharacters(window) ? "GB18030" : "GBK", false, gbk);
}

}  // namespace

EncodingGuess DetectEncoding(std::string_view sample) {
    try {
        if (sample.empty()) return Guess(SourceEncoding::Gbk, "ASCII", false, Tally{});
        return Detect(sample.substr(0, kLookedAtBytes));
    } catch (...) {
        // Out of memory for the readings: the program's own encoding.
        EncodingGuess g;
        g.name = "GBK";
        return g;
    }
}

}  // namespace qx::runtime
