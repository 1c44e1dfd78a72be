#include "runtime/encoding.h"

#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>
#include <opencc/SerializableDict.hpp>
#include <opencc/SimpleConverter.hpp>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

namespace qx::runtime {
namespace {

constexpr const char* kGbk = "windows-936-2000";
constexpr const char* kBig5 = "windows-950-2000";

// An ICU converter set up as the Windows code pages behave: unmappable
// characters become "?", best-fit (fallback) mappings are used, and
// undecodable bytes become U+FFFD.
class Converter {
public:
    explicit Converter(const char* name) {
        UErrorCode status = U_ZERO_ERROR;
        m_conv = ucnv_open(name, &status);
        if (U_FAILURE(status) || !m_conv) {
            throw std::runtime_error(std::string("character set converter missing: ") + name);
        }
        ucnv_setFallback(m_conv, true);
        status = U_ZERO_ERROR;
        ucnv_setSubstChars(m_conv, "?", 1, &status);
        status = U_ZERO_ERROR;
        // Write U+FFFD for every undecodable byte sequence.
        ucnv_setToUCallBack(m_conv, &SubstituteReplacementChar, nullptr, nullptr, nullptr, &status);
    }
    ~Converter() { ucnv_close(m_conv); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::u16string ToUnicode(std::string_view bytes) {
        ucnv_resetToUnicode(m_conv);
        std::u16string out(bytes.size() + 1, u'\0');
        UErrorCode status = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(m_conv, reinterpret_cast<UChar*>(out.data()),
                                  static_cast<int32_t>(out.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<std::size_t>(n) + 1, u'\0');
            status = U_ZERO_ERROR;
            ucnv_resetToUnicode(m_conv);
            n = ucnv_toUChars(m_conv, reinterpret_cast<UChar*>(out.data()),
                              static_cast<int32_t>(out.size()), bytes.data(),
                              static_cast<int32_t>(bytes.size()), &status);
        }
        if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
        out.resize(static_cast<std::size_t>(n));
        return out;
    }

    std::string FromUnicode(std::u16string_view text) {
        ucnv_resetFromUnicode(m_conv);
        std::string out(text.size() * 2 + 1, '\0');
        UErrorCode status = U_ZERO_ERROR;
        int32_t n = ucnv_fromUChars(m_conv, out.data(), static_cast<int32_t>(out.size()),
                                    reinterpret_cast<const UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<std::size_t>(n) + 1, '\0');
            status = U_ZERO_ERROR;
            ucnv_resetFromUnicode(m_conv);
            n = ucnv_fromUChars(m_conv, out.data(), static_cast<int32_t>(out.size()),
                                reinterpret_cast<const UChar*>(text.data()),
                                static_cast<int32_t>(text.size()), &status);
        }
        if (U_FAILURE(status)) throw std::runtime_error("text conversion failed");
        out.resize(static_cast<std::size_t>(n));
        return out;
    }

private:
    static void SubstituteReplacementChar(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                          UConverterCallbackReason reason, UErrorCode* status) {
        if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
        static const UChar kReplacement = 0xFFFD;
        *status = U_ZERO_ERROR;
        ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
    }

    UConverter* m_conv = nullptr;
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

// Splits `text` into pieces of about `target` bytes that end just after a
// line feed, so that no multi-byte character is cut (0x0A is never part of a
// GBK or BIG5 character).
std::vector<std::string_view> SplitAtLines(std::string_view text, std::size_t target) {
    std::vector<std::string_view> pieces;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = std::min(text.size(), pos + target);
        if (end < text.size()) {
            const auto lf = text.find('\n', end);
            end = lf == std::string_view::npos ? text.size() : lf + 1;
        }
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
    struct Phrases {
        bool loaded = false;
        // For each pair of first characters of a phrase: the longest phrase
        // beginning with it, in UTF-8 bytes.
        std::unordered_map<std::uint64_t, std::size_t> longest;
    };

    Simplifier() : m_converter("t2s.json") {}

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
            } else if (nextLength > 0) {
                const auto found = phrases.longest.find(Pair(c, next));
                if (found != phrases.longest.end()) longest = found->second;
            }
            if (longest > 0) {
                if (stretch == std::string::npos) stretch = i;
                reach = std::max(reach, i + longest);
            } else if (stretch == std::string::npos) {
                out += Single(c, std::string_view(utf8).substr(i, step));
            }
            i += step;
            c = next;
            length = nextLength;
        }
        if (stretch != std::string::npos) out += m_converter.Convert(utf8.substr(stretch));
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
                    }
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

    // A character that is a piece of its own, converted once.
    const std::string& Single(char32_t c, std::string_view utf8) {
        if (c >= 0x10000 || utf8.size() > 4) {
            m_scratch = m_converter.Convert(std::string(utf8));
            return m_scratch;
        }
        if (!m_known[c]) {
            m_single[c] = m_converter.Convert(std::string(utf8));
            m_known[c] = true;
        }
        return m_single[c];
    }

    opencc::SimpleConverter m_converter;
    std::vector<std::string> m_single = std::vector<std::string>(0x10000);
    std::vector<bool> m_known = std::vector<bool>(0x10000, false);
    std::string m_scratch;
};

}  // namespace

std::string Utf16LeToGbk(std::string_view bytes) {
    Converter gbk(kGbk);
    const std::size_t units = bytes.size() / 2;
    std::string out;
    out.reserve(units * 2);
    constexpr std::size_t kChunk = 1 << 20;
    std::u16string chunk;
    chunk.reserve(kChunk);
    std::size_t i = 0;
    auto unit = [&](std::size_t k) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    };
    if (units > 0 && unit(0) == 0xFEFF) i = 1;
    bool ended = false;
    while (i < units && !ended) {
        chunk.clear();
        while (i < units && chunk.size() < kChunk) {
            char16_t c = unit(i++);
            if (c == 0) {
                ended = true;
                break;
            }
            // Code page 936 has no surrogates: each half becomes its own "?".
            if (c >= 0xD800 && c <= 0xDFFF) c = u'?';
            chunk.push_back(c);
        }
        out += gbk.FromUnicode(chunk);
    }
    return out;
}

std::string ConvertChinese(std::string input, ChineseConversion mode, SimplifyWith way) {
    const std::string_view text = UpToNul(input);
    const char* source = mode == ChineseConversion::Big5ToSimplifiedGbk ? kBig5 : kGbk;
    auto pieces = SplitAtLines(text, 1 << 20);
    std::vector<std::string> results(pieces.size());

    // Each worker has its own converters; the pieces are independent because
    // they end at line feeds, and no phrase of the tables spans a line.
    const unsigned workers =
        std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(), static_cast<unsigned>(pieces.size())));
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&](unsigned first) {
        try {
            Converter in(source);
            Converter out(kGbk);
            Simplifier simplify;
            opencc::SimpleConverter converter("t2s.json");
            for (std::size_t p = first; p < pieces.size(); p += workers) {
                const std::string utf8 = Utf16ToUtf8(in.ToUnicode(pieces[p]));
                const std::string simplified =
                    way == SimplifyWith::ConverterOnly ? converter.Convert(utf8) : simplify.Convert(utf8);
                results[p] = out.FromUnicode(Utf8ToUtf16(simplified));
            }
        } catch (const std::exception& e) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::make_exception_ptr(std::runtime_error(e.what()));
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::make_exception_ptr(std::runtime_error("traditional-to-simplified tables missing"));
        }
    };
    if (workers <= 1) {
        work(0);
    } else {
        std::vector<std::thread> threads;
        for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work, w);
        for (auto& t : threads) t.join();
    }
    if (failure) std::rethrow_exception(failure);
    pieces.clear();
    std::string().swap(input);

    std::size_t total = 0;
    for (const auto& r : results) total += r.size();
    std::string out;
    out.reserve(total);
    for (auto& r : results) {
        out += r;
        std::string().swap(r);
    }
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    thread_local Converter conv(kGbk);
    return Utf16ToUtf8(conv.ToUnicode(gbk));
}

std::string Utf8ToGbk(std::string_view utf8) {
    thread_local Converter conv(kGbk);
    return conv.FromUnicode(Utf8ToUtf16(utf8));
}

}  // namespace qx::runtime
