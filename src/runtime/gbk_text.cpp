#include "runtime/gbk_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qx::runtime {
namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualAt(std::string_view text, std::size_t at, std::string_view what, bool ignoreCase) {
    if (!ignoreCase) return text.compare(at, what.size(), what) == 0;
    for (std::size_t i = 0; i < what.size(); ++i) {
        if (FoldAscii(text[at + i]) != FoldAscii(what[i])) return false;
    }
    return true;
}

// Zero-based index of the first match at or after `from`, or npos.
std::size_t FindIndex(std::string_view text, std::string_view what, std::size_t from, bool ignoreCase) {
    if (what.empty() || what.size() > text.size()) return std::string_view::npos;
    if (!ignoreCase) return text.find(what, from);
    for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
        if (EqualAt(text, i, what, true)) return i;
    }
    return std::string_view::npos;
}

// GBK code of each full-width form, indexed by the trail byte of row A3,
// plus the ideographic space; built once from the mapping of code page 936,
// where row A3 holds U+FF01..U+FF5E except A3A4 (U+FFE5, yen) and A3FE
// (U+FFE3, macron), and U+FF04 and U+FF5E sit at A1E7 and A1AB.
struct HalfWidthTable {
    std::array<char, 256> rowA1{};  // 0 = stays as it is
    std::array<char, 256> rowA3{};
    HalfWidthTable() {
        rowA1[0xA1] = ' ';
        rowA1[0xE7] = '$';
        rowA1[0xAB] = '~';
        for (int trail = 0xA1; trail <= 0xFD; ++trail) {
            if (trail == 0xA4) continue;
            rowA3[static_cast<std::size_t>(trail)] = static_cast<char>(trail - 0x80);
        }
    }
};

const HalfWidthTable& HalfWidth() {
    static const HalfWidthTable table;
    return table;
}

}  // namespace

std::int64_t Length(std::string_view text) { return static_cast<std::int64_t>(text.size()); }

Text Left(std::string_view text, std::int64_t count) {
    if (count <= 0) return {};
    return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text Right(std::string_view text, std::int64_t count) {
    if (count <= 0) return {};
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(count), text.size());
    return Text(text.substr(text.size() - n));
}

Text Mid(std::string_view text, std::int64_t start, std::int64_t count) {
    if (start < 1) start = 1;
    if (count <= 0 || static_cast<std::size_t>(start) > text.size()) return {};
    return Text(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

std::int64_t Find(std::string_view text, std::string_view what, std::int64_t start, bool ignoreCase) {
    if (start < 1) start = 1;
    if (static_cast<std::size_t>(start - 1) > text.size()) return -1;
    const auto at = FindIndex(text, what, static_cast<std::size_t>(start - 1), ignoreCase);
    return at == std::string_view::npos ? -1 : static_cast<std::int64_t>(at) + 1;
}

std::int64_t FindLast(std::string_view text, std::string_view what, std::int64_t start, bool ignoreCase) {
    if (what.empty() || what.size() > text.size()) return -1;
    std::size_t last = text.size() - what.size();
    if (start > 0) last = std::min(last, static_cast<std::size_t>(start - 1));
    for (std::size_t i = last + 1; i-- > 0;) {
        if (EqualAt(text, i, what, ignoreCase)) return static_cast<std::int64_t>(i) + 1;
    }
    return -1;
}

Text Replace(std::string_view text, std::string_view what, std::string_view with, std::int64_t start,
             std::int64_t count, bool ignoreCase) {
    if (start < 1) start = 1;
    if (what.empty() || count == 0 || static_cast<std::size_t>(start - 1) >= text.size()) {
        return Text(text);
    }
    Text out;
    out.reserve(text.size());
    std::size_t pos = static_cast<std::size_t>(start - 1);
    out.append(text.substr(0, pos));
    std::int64_t done = 0;
    while (count < 0 || done < count) {
        const auto at = FindIndex(text, what, pos, ignoreCase);
        if (at == std::string_view::npos) break;
        out.append(text.substr(pos, at - pos));
        out.append(with);
        pos = at + what.size();
        ++done;
    }
    out.append(text.substr(pos));
    return out;
}

namespace {

bool IsIdeographicSpaceAt(std::string_view text, std::size_t at, std::size_t length) {
    return length == 2 && text[at] == '\xA1' && text[at + 1] == '\xA1';
}

}  // namespace

std::string_view TrimStart(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = CharLengthAt(text, i);
        if (text[i] != ' ' && !IsIdeographicSpaceAt(text, i, length)) break;
        i += length;
    }
    return text.substr(i);
}

std::string_view TrimEnd(std::string_view text) {
    std::size_t n = text.size();
    for (;;) {
        // 0x20 is never part of a longer character, so trailing half-width
        // spaces go without looking further back.
        while (n > 0 && text[n - 1] == ' ') --n;
        if (n < 2 || text[n - 1] != '\xA1' || text[n - 2] != '\xA1') return text.substr(0, n);
        // A1 A1 at the end may also be the trail byte of the character before
        // it and a lone A1; only a walk tells where characters begin. It
        // starts after the last byte that can only be a character of its own
        // (below 40, but for the digits a four-byte sequence holds), or at
        // the start.
        std::size_t from = n;
        while (from > 0) {
            const auto b = static_cast<unsigned char>(text[from - 1]);
            if (b < 0x40 && (b < 0x30 || b > 0x39)) break;
            --from;
        }
        std::size_t keep = from;
        for (std::size_t i = from; i < n;) {
            const std::size_t length = CharLengthAt(text, i);
            const bool space = text[i] == ' ' || IsIdeographicSpaceAt(text, i, length);
            i += length;
            if (!space) keep = i;
        }
        // Only blanks after that byte: what stands before may end in blanks too.
        if (keep != from || from == 0) return text.substr(0, keep);
        n = from;
    }
}

std::string_view Trim(std::string_view text) { return TrimEnd(TrimStart(text)); }

Text ToHalfWidth(std::string_view text) {
    const auto& table = HalfWidth();
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLengthAt(text, i);
        char single = 0;
        if (length == 2) {
            const auto trail = static_cast<unsigned char>(text[i + 1]);
            if (text[i] == '\xA1') single = table.rowA1[trail];
            if (text[i] == '\xA3') single = table.rowA3[trail];
        }
        if (single != 0) {
            out.push_back(single);
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

Text NumberToText(std::int64_t value) { return std::to_string(value); }

Text NumberToText(double value) {
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9.0e18) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    std::array<char, 64> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    if (ec != std::errc{}) return "0";
    return Text(buf.data(), end);
}

double TextToNumber(std::string_view text) {
    text = TrimStart(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0;
    std::size_t digitsBegin = i;
    auto [ptr, ec] = std::from_chars(text.data() + digitsBegin, text.data() + text.size(), value,
                                     std::chars_format::fixed);
    if (ec != std::errc{}) return 0;
    (void)ptr;
    return negative ? -value : value;
}

Text FixedDecimals(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 30);
    // Round half away from zero on the decimal digits, not on the binary value,
    // so 0.125 with two decimals gives 0.13.
    std::array<char, 512> buf{};
    const double scale = std::pow(10.0, decimals);
    double scaled = std::round(value * scale);
    if (std::fabs(scaled) < 1e17) {
        std::snprintf(buf.data(), buf.size(), "%.*f", decimals, scaled / scale);
    } else {
        std::snprintf(buf.data(), buf.size(), "%.*f", decimals, value);
    }
    return Text(buf.data());
}

}  // namespace qx::runtime
