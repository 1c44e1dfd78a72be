#include "runtime/encoding.h"

#include "runtime/threads.h"

#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>
#include <opencc/SerializableDict.hpp>
#include <opencc/SimpleConverter.hpp>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

#include "runtime/gbk_text.h"

namespace qx::runtime {
namespace {

constexpr const char* kGbk = "windows-936-2000";
constexpr const char* kGb18030 = "gb18030";
constexpr const char* kBig5 = "windows-950-2000";
constexpr const char* kUtf8 = "UTF-8";

// Pieces of a book converted on their own: large enough that handing them to
// the cores costs nothing, small enough that both cores get work.
constexpr std::size_t kPieceBytes = 1 << 20;
// Plain conversion grows its buffer and converts this much at a time, so the
// converter writes into memory that was just made ready and is still in the
// cache; in pieces of 1 MB it runs at two thirds of the speed.
constexpr std::size_t kStepBytes = 64 << 10;

struct CloseConverter {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, CloseConverter>;

ConverterPtr Open(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr conv(ucnv_open(name, &status));
    if (U_FAILURE(status) || !conv) {
        throw std::runtime_error(std::string("character set converter missing: ") + name);
    }
    return conv;
}

// Writes U+FFFD for every byte sequence the source encoding cannot decode.
void SubstituteReplacementChar(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                               UConverterCallbackReason reason, UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
    static const UChar kReplacement = 0xFFFD;
    *status = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

// A converter from bytes of one encoding to UTF-16, undecodable bytes giving
// U+FFFD.
class Decoder {
public:
    explicit Decoder(const char* name) : m_conv(Open(name)) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(m_conv.get(), &SubstituteReplacementChar, nullptr, nullptr, nullptr, &status);
    }

    UConverter* Get() const { return m_conv.get(); }

    void Append(std::string_view bytes, std::u16string& out) {
        if (bytes.empty()) return;
        ucnv_resetToUnicode(m_conv.get());
        const std::size_t base = out.size();
        out.resize(base + bytes.size() + 1);
        UErrorCode status = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(m_conv.get(), reinterpret_cast<UChar*>(out.data() + base),
                                  static_cast<int32_t>(out.size() - base), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(base + static_cast<std::size_t>(n) + 1);
            status = U_ZERO_ERROR;
            ucnv_resetToUnicode(m_conv.get());
            n = ucnv_toUChars(m_conv.get(), reinterpret_cast<UChar*>(out.data() + base),
                              static_cast<int32_t>(out.size() - base), bytes.data(),
                              static_cast<int32_t>(bytes.size()), &status);
        }
        if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
        out.resize(base + static_cast<std::size_t>(n));
    }

private:
    ConverterPtr m_conv;
};

// Reads the working text: double-byte characters as code page 936 reads them,
// GB18030 four-byte sequences as GB18030 reads them. Code page 936 alone
// would take 81 30 for a lead byte without its trail and a digit.
class WorkingTextDecoder {
public:
    WorkingTextDecoder() : m_gbk(kGbk), m_gb18030(kGb18030) {}

    std::u16string Decode(std::string_view text) {
        std::u16string out;
        out.reserve(text.size());
        std::size_t run = 0;  // start of the stretch without four-byte sequences
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t length = CharLengthAt(text, i);
            if (length != 4) {
                i += length;
                continue;
            }
            m_gbk.Append(text.substr(run, i - run), out);
            std::size_t end = i + 4;
            while (CharLengthAt(text, end) == 4) end += 4;
            m_gb18030.Append(text.substr(i, end - i), out);
            run = i = end;
        }
        m_gbk.Append(text.substr(run), out);
        return out;
    }

private:
    Decoder m_gbk;
    Decoder m_gb18030;
};

// Converts to the working text by the rules of the header: code page 936
// without its best-fit mappings, and for every character it cannot hold the
// callback below.
class WorkingTextEncoder {
public:
    WorkingTextEncoder() : m_gbk(Open(kGbk)), m_gb18030(Open(kGb18030)) {
        // Without fallbacks code page 936 reports a character it would only
        // approximate (U+00A2 as the full-width cent sign) as unassigned, so
        // it is kept exactly too.
        ucnv_setFallback(m_gbk.get(), false);
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setFromUCallBack(m_gbk.get(), &KeepCharacter, this, nullptr, nullptr, &status);
        if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
    }
    WorkingTextEncoder(const WorkingTextEncoder&) = delete;
    WorkingTextEncoder& operator=(const WorkingTextEncoder&) = delete;

    // Appends `bytes`, read by `source`, converted.
    void Append(UConverter* source, std::string_view bytes, std::string& out) {
        if (bytes.empty()) return;
        UChar pivot[4096];
        UChar* pivotSource = pivot;
        UChar* pivotTarget = pivot;
        const char* from = bytes.data();
        std::size_t written = out.size();
        // Chinese text never grows (three UTF-8 bytes or two UTF-16 bytes
        // become two); other text may, and the buffer grows then.
        out.resize(written + bytes.size() + 16);
        bool reset = true;
        for (;;) {
            char* to = out.data() + written;
            UErrorCode status = U_ZERO_ERROR;
            ucnv_convertEx(m_gbk.get(), source, &to, out.data() + out.size(), &from,
                           bytes.data() + bytes.size(), pivot, &pivotSource, &pivotTarget,
                           pivot + std::size(pivot), reset, true, &status);
            written = static_cast<std::size_t>(to - out.data());
            reset = false;
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                out.resize(out.size() + out.size() / 2 + 64);
                continue;
            }
            if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
            break;
        }
        out.resize(written);
    }

    void AppendUtf16(std::u16string_view text, std::string& out) {
        if (text.empty()) return;
        const std::size_t base = out.size();
        out.resize(base + text.size() * 2 + 16);
        ucnv_resetFromUnicode(m_gbk.get());
        UErrorCode status = U_ZERO_ERROR;
        const auto* units = reinterpret_cast<const UChar*>(text.data());
        const auto length = static_cast<int32_t>(text.size());
        int32_t n = ucnv_fromUChars(m_gbk.get(), out.data() + base, static_cast<int32_t>(out.size() - base),
                                    units, length, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(base + static_cast<std::size_t>(n) + 1);
            status = U_ZERO_ERROR;
            ucnv_resetFromUnicode(m_gbk.get());
            n = ucnv_fromUChars(m_gbk.get(), out.data() + base, static_cast<int32_t>(out.size() - base),
                                units, length, &status);
        }
        if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
        out.resize(base + static_cast<std::size_t>(n));
    }

private:
    static void KeepCharacter(const void* context, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                              UChar32 c, UConverterCallbackReason reason, UErrorCode* status) {
        if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
        *status = U_ZERO_ERROR;
        if (reason != UCNV_UNASSIGNED) c = 0xFFFD;  // a lone surrogate is no character
        if (c == 0xFEFF) return;
        if (c == 0xA0) {
            ucnv_cbFromUWriteBytes(args, " ", 1, 0, status);
            return;
        }
        char bytes[8];
        const auto* self = static_cast<const WorkingTextEncoder*>(context);
        const int32_t n = self->Gb18030Form(c, bytes, sizeof bytes);
        if (n <= 0) {
            ucnv_cbFromUWriteBytes(args, "?", 1, 0, status);  // not reached: GB18030 holds all of Unicode
            return;
        }
        ucnv_cbFromUWriteBytes(args, bytes, n, 0, status);
    }

    int32_t Gb18030Form(UChar32 c, char* bytes, int32_t capacity) const {
        UChar units[2];
        int32_t length = 0;
        UBool error = false;
        U16_APPEND(units, length, 2, c, error);
        if (error) return 0;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(m_gb18030.get());
        const int32_t n = ucnv_fromUChars(m_gb18030.get(), bytes, capacity, units, length, &status);
        return U_SUCCESS(status) ? n : 0;
    }

    ConverterPtr m_gbk;
    ConverterPtr m_gb18030;
};

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out(text.size() * 3 + 1, '\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n,
                       reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                       0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out(text.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n,
                         text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string_view UpToNul(std::string_view text) {
    const void* nul = std::memchr(text.data(), 0, text.size());
    return nul ? text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data())) : text;
}

bool IsUtf16(SourceEncoding source) {
    return source == SourceEncoding::Utf16Le || source == SourceEncoding::Utf16Be;
}

// The part of a book that is converted: up to its first NUL character, after
// its byte-order mark, whole UTF-16 code units only.
std::string_view BookText(std::string_view bytes, SourceEncoding source) {
    if (!IsUtf16(source)) {
        bytes = UpToNul(bytes);
        if (source == SourceEncoding::Utf8 && bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
        return bytes;
    }
    bytes = bytes.substr(0, bytes.size() & ~std::size_t{1});
    const bool little = source == SourceEncoding::Utf16Le;
    if (bytes.starts_with(little ? std::string_view("\xFF\xFE") : std::string_view("\xFE\xFF"))) {
        bytes.remove_prefix(2);
    }
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) return bytes.substr(0, i);
    }
    return bytes;
}

// The first character boundary at or after `end`, for text whose pieces
// begin at `pos`. A lead byte of UTF-8 or the first half of a surrogate pair
// never ends a piece; GBK and BIG5 have no such marks, so their characters are
// walked from the start of the piece (every boundary of the walk is one for
// the converters too).
std::size_t CharacterBoundary(std::string_view text, std::size_t pos, std::size_t end,
                              SourceEncoding source) {
    const auto continuation = [&](std::size_t at) {
        return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    };
    switch (source) {
        case SourceEncoding::Utf8:
            for (int k = 0; k < 3 && continuation(end); ++k) ++end;
            return end;
        case SourceEncoding::Utf16Le:
        case SourceEncoding::Utf16Be: {
            end = (end + 1) & ~std::size_t{1};
            if (end < 2 || end >= text.size()) return std::min(end, text.size());
            const std::size_t high = source == SourceEncoding::Utf16Le ? end - 1 : end - 2;
            const bool leadSurrogate = (static_cast<unsigned char>(text[high]) & 0xFC) == 0xD8;
            return leadSurrogate ? end + 2 : end;
        }
        case SourceEncoding::Gbk:
        case SourceEncoding::Big5:
            while (pos < end) pos += CharLengthAt(text, pos);
            return pos;
    }
    return end;
}

// Where a piece that should end near `end` ends: just after the first line
// feed within `reach` bytes, else just after the first carriage return there
// (line ends of old Macintosh files), else at a character boundary. Line ends
// are never part of a character (0x0A and 0x0D never are in GBK, BIG5 or
// UTF-8, and in UTF-16 they are whole code units at even offsets), and no
// phrase of the simplification tables spans one.
std::size_t PieceEnd(std::string_view text, std::size_t pos, std::size_t end, std::size_t reach,
                     SourceEncoding source) {
    const std::size_t limit = std::min(text.size(), end + reach);
    std::size_t cr = std::string_view::npos;
    if (!IsUtf16(source)) {
        const std::string_view window = text.substr(end, limit - end);
        if (const auto lf = window.find('\n'); lf != std::string_view::npos) return end + lf + 1;
        if (const auto at = window.find('\r'); at != std::string_view::npos) cr = end + at + 1;
    } else {
        const std::size_t low = source == SourceEncoding::Utf16Be ? 1 : 0;  // the byte of 0A or 0D
        for (std::size_t at = (end + 1) & ~std::size_t{1}; at + 1 < limit; at += 2) {
            if (text[at + 1 - low] != 0) continue;
            if (text[at + low] == '\n') return at + 2;
            if (text[at + low] == '\r' && cr == std::string_view::npos) cr = at + 2;
        }
    }
    return cr != std::string_view::npos ? cr : CharacterBoundary(text, pos, end, source);
}

// Splits `text` into pieces of about `target` bytes (at most twice that) that
// end at line ends where the text has them, and never inside a character.
std::vector<std::string_view> SplitAtLines(std::string_view text, std::size_t target, SourceEncoding source) {
    std::vector<std::string_view> pieces;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos + target;
        end = end < text.size() ? std::min(text.size(), PieceEnd(text, pos, end, target, source))
                                : text.size();
        pieces.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return pieces;
}

// Traditional-to-simplified conversion that gives exactly what the OpenCC
// converter gives, much faster. The converter splits the text greedily into
// the longest phrases of its phrase table and converts each piece alone. Where
// no phrase begins with a character and the one after it, that character is
// a piece of its own and converts the same way wherever it stands; only
// stretches where a phrase may begin go through the converter. A stretch ends
// where no phrase begun inside it can reach and no phrase begins.
class Simplifier {
public:
    // Pairs of characters to the longest phrase they begin: an open-address
    // table, looked up for nearly every character of a book.
    class PairTable {
    public:
        void Build(const std::unordered_map<std::uint64_t, std::size_t>& pairs) {
            std::size_t capacity = 16;
            while (capacity < pairs.size() * 2) capacity *= 2;
            m_mask = capacity - 1;
            m_keys.assign(capacity, 0);
            m_values.assign(capacity, 0);
            for (const auto& [key, value] : pairs) {
                std::size_t at = Hash(key) & m_mask;
                while (m_keys[at] != 0) at = (at + 1) & m_mask;
                m_keys[at] = key;
                m_values[at] = static_cast<std::uint32_t>(value);
            }
        }
        std::size_t Find(std::uint64_t key) const {
            if (m_keys.empty()) return 0;
            for (std::size_t at = Hash(key) & m_mask;; at = (at + 1) & m_mask) {
                if (m_keys[at] == key) return m_values[at];
                if (m_keys[at] == 0) return 0;
            }
        }

    private:
        static std::size_t Hash(std::uint64_t key) {
            return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20);
        }
        std::vector<std::uint64_t> m_keys;  // 0: empty (no pair of characters is 0)
        std::vector<std::uint32_t> m_values;
        std::size_t m_mask = 0;
    };

    struct Phrases {
        bool loaded = false;
        // For each pair of first characters of a phrase: the longest phrase
        // beginning with it, in UTF-8 bytes.
        std::unordered_map<std::uint64_t, std::size_t> longest;
        PairTable pairs;
        // The same in UTF-16 code units, for text converted as UTF-16.
        std::unordered_map<std::uint64_t, std::size_t> longestUnits;
        PairTable pairUnits;
        // A one-bit sieve of the pairs (128 KB, which stays in the cache):
        // most pairs of a text begin no phrase and are not looked up at all.
        std::vector<std::uint64_t> sieve = std::vector<std::uint64_t>(kSieveBits / 64, 0);
        static constexpr std::size_t kSieveBits = std::size_t{1} << 20;
        static std::size_t SieveBit(std::uint64_t pair) {
            return static_cast<std::size_t>((pair * 0xC2B2AE3D27D4EB4Full) >> 44);
        }
        void Sift(std::uint64_t pair) { sieve[SieveBit(pair) / 64] |= std::uint64_t{1} << (SieveBit(pair) % 64); }
        bool MayBegin(std::uint64_t pair) const {
            return (sieve[SieveBit(pair) / 64] >> (SieveBit(pair) % 64)) & 1;
        }
    };

    Simplifier() : m_converter(SharedConverter()) {}

    // The reference: all text through the converter.
    std::string ConvertAll(const std::string& utf8) const { return m_converter.Convert(utf8); }

    std::string Convert(const std::string& utf8) {
        const Phrases& phrases = PhraseTable();
        if (!phrases.loaded) return m_converter.Convert(utf8);
        std::string out;
        out.reserve(utf8.size());
        const std::size_t n = utf8.size();
        std::size_t stretch = std::string::npos;  // start of the stretch for the converter
        std::size_t reach = 0;                    // no phrase begun in it goes past here
        std::size_t i = 0;
        char32_t c = 0;
        std::size_t length = Decode(utf8, 0, c);  // 0: a byte that is not UTF-8
        while (i < n) {
            const std::size_t step = length == 0 ? 1 : length;
            char32_t next = 0;
            const std::size_t nextLength = i + step < n ? Decode(utf8, i + step, next) : 0;
            if (stretch != std::string::npos && i >= reach) {
                out += m_converter.Convert(utf8.substr(stretch, i - stretch));
                stretch = std::string::npos;
            }
            std::size_t longest = 0;
            if (length == 0) {
                longest = step;  // not UTF-8 (the text comes from ICU, so never): the safe way
            } else if (nextLength > 0 && phrases.MayBegin(Pair(c, next))) {
                longest = phrases.pairs.Find(Pair(c, next));
            }
            if (longest > 0) {
                if (stretch == std::string::npos) stretch = i;
                reach = std::max(reach, i + longest);
            } else if (stretch == std::string::npos) {
                AppendSingle(out, c, std::string_view(utf8).substr(i, step));
            }
            i += step;
            c = next;
            length = nextLength;
        }
        if (stretch != std::string::npos) out += m_converter.Convert(utf8.substr(stretch));
        return out;
    }

    // The same on UTF-16 text, which spares the book two passes through
    // UTF-8: only the stretches where a phrase may begin go through UTF-8 to
    // the converter.
    std::u16string ConvertUtf16(std::u16string_view text) {
        const Phrases& phrases = PhraseTable();
        if (!phrases.loaded) return Utf8ToUtf16(m_converter.Convert(Utf16ToUtf8(text)));
        // Written through a pointer into room for the whole text: a
        // character's simplified form is one unit where it is one unit.
        std::u16string out(text.size() + 16, u'\0');
        char16_t* to = out.data();
        auto room = [&](std::size_t more) {
            const auto used = static_cast<std::size_t>(to - out.data());
            if (used + more + 2 > out.size()) {
                out.resize(std::max(out.size() * 3 / 2, used + more + 16));
                to = out.data() + used;
            }
        };
        auto put = [&](std::u16string_view units) {
            room(units.size());
            std::copy(units.begin(), units.end(), to);
            to += units.size();
        };
        const std::size_t n = text.size();
        const char16_t* in = text.data();
        std::size_t stretch = std::u16string::npos;
        std::size_t reach = 0;
        std::size_t i = 0;
        while (i < n) {
            char32_t c = in[i];
            std::size_t length = 1;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                length = 2;
            }
            if (stretch != std::u16string::npos && i >= reach) {
                put(Utf8ToUtf16(m_converter.Convert(Utf16ToUtf8(text.substr(stretch, i - stretch)))));
                stretch = std::u16string::npos;
            }
            std::size_t longest = 0;
            if (i + length < n) {
                char32_t next = in[i + length];
                if (next >= 0xD800 && next <= 0xDBFF && i + length + 1 < n) {
                    next = 0x10000 + ((next - 0xD800) << 10) + (in[i + length + 1] - 0xDC00);
                }
                const std::uint64_t pair = Pair(c, next);
                if (phrases.MayBegin(pair)) longest = phrases.pairUnits.Find(pair);
            }
            if (longest > 0) {
                if (stretch == std::u16string::npos) stretch = i;
                reach = std::max(reach, i + longest);
            } else if (stretch == std::u16string::npos) {
                if (c < 0x80) {
                    room(1);
                    *to++ = static_cast<char16_t>(c);
                } else if (const char16_t single = c < 0x10000 ? Single(c) : kUnknown;
                           single != kUnknown && single != kNotSingle) {
                    room(1);
                    *to++ = single;
                } else {
                    std::string converted;
                    AppendSingle(converted, c, Utf16ToUtf8(text.substr(i, length)));
                    put(Utf8ToUtf16(converted));
                }
            }
            i += length;
        }
        if (stretch != std::u16string::npos) put(Utf8ToUtf16(m_converter.Convert(Utf16ToUtf8(text.substr(stretch)))));
        out.resize(static_cast<std::size_t>(to - out.data()));
        return out;
    }

private:
    static std::uint64_t Pair(char32_t first, char32_t second) {
        return (static_cast<std::uint64_t>(first) << 32) | second;
    }

    // The code point at byte `at`; its length, or 0 for bytes that are not UTF-8.
    static std::size_t Decode(std::string_view utf8, std::size_t at, char32_t& c) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (length == 0 || at + length > utf8.size()) {
            c = 0;
            return 0;
        }
        c = length == 1 ? lead : (lead & (0x7F >> length));
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[at + k]) & 0x3F);
        return length;
    }

    static const Phrases& PhraseTable() {
        static const Phrases table = [] {
            Phrases t;
            for (const char* dir : {"/usr/share/opencc/", "/usr/local/share/opencc/"}) {
                try {
                    auto dict = opencc::SerializableDict::NewFromFile<opencc::MarisaDict>(
                        std::string(dir) + "TSPhrases.ocd2");
                    for (const auto& entry : *dict->GetLexicon()) {
                        const std::string key = entry->Key();
                        char32_t first = 0, second = 0;
                        const std::size_t firstLength = key.empty() ? 0 : Decode(key, 0, first);
                        if (firstLength == 0 || firstLength >= key.size()) continue;  // one character: a piece anyway
                        if (Decode(key, firstLength, second) == 0) continue;
                        auto& longest = t.longest[Pair(first, second)];
                        longest = std::max(longest, key.size());
                        auto& units = t.longestUnits[Pair(first, second)];
                        units = std::max(units, Utf8ToUtf16(key).size());
                        t.Sift(Pair(first, second));
                    }
                    t.pairs.Build(t.longest);
                    t.pairUnits.Build(t.longestUnits);
                    t.loaded = true;
                    break;
                } catch (...) {
                    // Not here: try the next place, or convert everything the slow way.
                }
            }
            return t;
        }();
        return table;
    }

    // A character that is a piece of its own, converted once. Nearly every
    // character of the basic plane converts to one such character: those
    // are kept in a table of 128 KB, small enough for the cache; the rest
    // (none, several characters, or beyond the plane) are converted each
    // time. The table serves the whole process, as the converter does, so
    // a conversion need not clear one of its own first; threads that meet a
    // character at once both store the same value.
    static constexpr char16_t kUnknown = 0;
    static constexpr char16_t kNotSingle = 0xFFFF;
    void AppendSingle(std::string& out, char32_t c, std::string_view utf8) {
        if (c < 0x80) {
            out += static_cast<char>(c);  // no phrase and no character of ASCII changes
            return;
        }
        if (c >= 0x10000 || utf8.size() > 4) {
            out += m_converter.Convert(std::string(utf8));
            return;
        }
        char16_t to = Single(c);
        if (to == kUnknown) {
            const std::string converted = m_converter.Convert(std::string(utf8));
            char32_t d = 0;
            const std::size_t n = converted.empty() ? 0 : Decode(converted, 0, d);
            to = n > 0 && n == converted.size() && d > 0 && d < 0xFFFF && (d < 0xD800 || d > 0xDFFF)
                     ? static_cast<char16_t>(d)
                     : kNotSingle;
            m_single[c].store(to, std::memory_order_relaxed);
            if (to == kNotSingle) {
                out += converted;
                return;
            }
        }
        if (to == kNotSingle) {
            out += m_converter.Convert(std::string(utf8));
            return;
        }
        AppendUtf8(out, to);
    }

    static void AppendUtf8(std::string& out, char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // Loading the converter's dictionaries costs far more than converting a
    // book's pieces, and the converter only reads them once loaded (it may be
    // used by several threads at once): one serves the whole process. A
    // missing configuration throws here, each time it is asked for.
    static const opencc::SimpleConverter& SharedConverter() {
        static const opencc::SimpleConverter converter("t2s.json");
        return converter;
    }
    const opencc::SimpleConverter& m_converter;
    static std::atomic<char16_t>* SharedSingles() {
        static std::atomic<char16_t> table[0x10000];  // all kUnknown
        return table;
    }
    char16_t Single(char32_t c) const { return m_single[c].load(std::memory_order_relaxed); }
    std::atomic<char16_t>* const m_single = SharedSingles();
};

const char* ConverterName(SourceEncoding source) {
    switch (source) {
        case SourceEncoding::Gbk: return kGbk;
        case SourceEncoding::Big5: return kBig5;
        case SourceEncoding::Utf8: return kUtf8;
        case SourceEncoding::Utf16Le: return "UTF-16LE";
        case SourceEncoding::Utf16Be: return "UTF-16BE";
    }
    return kGbk;
}

// One core's share of a book conversion, with converters of its own.
class PieceConverter {
public:
    PieceConverter(SourceEncoding source, bool simplify, SimplifyWith way)
        : m_simplify(simplify), m_way(way) {
        if (source == SourceEncoding::Gbk) {
            m_working.emplace();
        } else {
            m_source.emplace(ConverterName(source));
        }
        if (simplify) {
            m_utf8.emplace(kUtf8);
            m_simplifier.emplace();
        }
    }

    // Without simplification: appends the converted piece to `out`. (GBK
    // without simplification stays as it is and never comes here.)
    void AppendTo(std::string_view piece, std::string& out) { m_encoder.Append(m_source->Get(), piece, out); }

    std::string Convert(std::string_view piece) {
        std::string out;
        if (!m_simplify) {
            AppendTo(piece, out);
            return out;
        }
        std::u16string utf16;
        if (m_working) {
            utf16 = m_working->Decode(piece);
        } else {
            m_source->Append(piece, utf16);
        }
        if (m_way == SimplifyWith::ConverterOnly) {
            const std::string utf8 = Utf16ToUtf8(utf16);
            std::u16string().swap(utf16);
            m_encoder.Append(m_utf8->Get(), m_simplifier->ConvertAll(utf8), out);
            return out;
        }
        const std::u16string simplified = m_simplifier->ConvertUtf16(utf16);
        std::u16string().swap(utf16);
        m_encoder.AppendUtf16(simplified, out);
        return out;
    }

private:
    bool m_simplify;
    SimplifyWith m_way;
    std::optional<WorkingTextDecoder> m_working;  // GBK input
    std::optional<Decoder> m_source;              // any other input
    std::optional<Decoder> m_utf8;                // the simplified text, converted all at once
    std::optional<Simplifier> m_simplifier;
    WorkingTextEncoder m_encoder;
};

unsigned Cores(std::size_t jobs) {
    return std::max(1u, std::min<unsigned>(WorkerCount(), static_cast<unsigned>(jobs)));
}

// Runs work(0) ... work(workers - 1) on threads of their own and passes on the
// first failure.
template <class Work>
void RunOnCores(unsigned workers, Work&& work) {
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto guarded = [&](unsigned w) {
        try {
            work(w);
        } catch (const std::exception& e) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::make_exception_ptr(std::runtime_error(e.what()));
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::make_exception_ptr(std::runtime_error("traditional-to-simplified tables missing"));
        }
    };
    if (workers <= 1) {
        guarded(0);
    } else {
        std::vector<std::thread> threads;
        for (unsigned w = 0; w < workers; ++w) threads.emplace_back(guarded, w);
        for (auto& t : threads) t.join();
    }
    if (failure) std::rethrow_exception(failure);
}

// Simplification: pieces of about 1 MB dealt out to the cores in turn, since
// the converter's speed varies with the text. The pieces are independent
// because they end at line feeds, and no phrase of the tables spans a line.
std::vector<std::string> SimplifyPieces(std::string_view text, SourceEncoding source, SimplifyWith way) {
    const auto pieces = SplitAtLines(text, kPieceBytes, source);
    std::vector<std::string> results(pieces.size());
    const unsigned workers = Cores(pieces.size());
    RunOnCores(workers, [&](unsigned first) {
        PieceConverter converter(source, true, way);
        for (std::size_t p = first; p < pieces.size(); p += workers) {
            results[p] = converter.Convert(pieces[p]);
        }
    });
    return results;
}

// Plain conversion: one stretch of the book per core, each converted into a
// buffer of its own, the first one with room for the whole result (address
// space only, until written), so that joining copies only the later ones.
std::vector<std::string> ConvertStretches(std::string_view text, SourceEncoding source) {
    const unsigned cores = Cores(text.size() / kPieceBytes + 1);
    const auto stretches = SplitAtLines(text, text.size() / cores + 1, source);
    std::vector<std::string> results(stretches.size());
    if (stretches.empty()) return results;
    RunOnCores(static_cast<unsigned>(stretches.size()), [&](unsigned s) {
        PieceConverter converter(source, false, SimplifyWith::FastPath);
        std::string& out = results[s];
        out.reserve(s == 0 ? text.size() + 64 : stretches[s].size() + 64);
        for (const auto piece : SplitAtLines(stretches[s], kStepBytes, source)) {
            converter.AppendTo(piece, out);
        }
    });
    return results;
}

std::string Join(std::vector<std::string>& results) {
    if (results.empty()) return {};
    std::size_t total = 0;
    for (const auto& r : results) total += r.size();
    std::string out = std::move(results.front());
    out.reserve(total);
    for (std::size_t k = 1; k < results.size(); ++k) {
        out += results[k];
        std::string().swap(results[k]);
    }
    return out;
}

std::string ConvertUtf16(std::string_view bytes, SourceEncoding source) {
    auto results = ConvertStretches(BookText(bytes, source), source);
    return Join(results);
}

WorkingTextEncoder& EdgeEncoder() {
    thread_local WorkingTextEncoder encoder;
    return encoder;
}

}  // namespace

std::string ConvertToGbk(std::string bytes, SourceEncoding source, bool simplify, SimplifyWith way) {
    if (source == SourceEncoding::Gbk && !simplify) return bytes;
    const std::string_view text = BookText(bytes, source);
    auto results = simplify ? SimplifyPieces(text, source, way) : ConvertStretches(text, source);
    std::string().swap(bytes);
    return Join(results);
}

std::string Utf8TextToGbk(std::string text) {
    return ConvertToGbk(std::move(text), SourceEncoding::Utf8, false);
}

std::string Utf16LeToGbk(std::string_view bytes) { return ConvertUtf16(bytes, SourceEncoding::Utf16Le); }

std::string Utf16BeToGbk(std::string_view bytes) { return ConvertUtf16(bytes, SourceEncoding::Utf16Be); }

std::string ConvertChinese(std::string text, ChineseConversion mode, SimplifyWith way) {
    const SourceEncoding source =
        mode == ChineseConversion::Big5ToSimplifiedGbk ? SourceEncoding::Big5 : SourceEncoding::Gbk;
    return ConvertToGbk(std::move(text), source, true, way);
}

std::u16string GbkToUtf16(std::string_view gbk) {
    thread_local WorkingTextDecoder decoder;
    return decoder.Decode(gbk);
}

std::string GbkToUtf8(std::string_view gbk) {
    // A long text (a whole chapter for the EPUB) goes through in pieces, so
    // that its UTF-16 form and the room for its UTF-8 are never held whole
    // beside the result. Pieces end after a whole character: a lead byte
    // without its trail may take the next byte with it when decoded.
    constexpr std::size_t kPiece = std::size_t{1} << 16;
    if (gbk.size() <= kPiece) return Utf16ToUtf8(GbkToUtf16(gbk));
    std::string out;
    std::size_t start = 0;
    while (start < gbk.size()) {
        std::size_t end = start;
        while (end < gbk.size()) {
            const std::size_t length = CharLengthAt(gbk, end);
            const auto byte = static_cast<unsigned char>(gbk[end]);
            end += length;
            const bool whole = length != 1 || byte < 0x81 || byte == 0xFF;
            if (whole && end - start >= kPiece) break;
        }
        out += Utf16ToUtf8(GbkToUtf16(gbk.substr(start, end - start)));
        start = end;
    }
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    EdgeEncoder().AppendUtf16(Utf8ToUtf16(utf8), out);
    return out;
}

}  // namespace qx::runtime
