#include "headings/chinese_number.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qx::headings {
namespace {

constexpr std::int64_t kLimit = 1000000;

// One code point from UTF-8 at `at`; advances `at`. Invalid bytes give 0.
char32_t NextCodePoint(std::string_view s, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = lead < 0x80   ? 1
                         : lead < 0xC0 ? 0
                         : lead < 0xE0 ? 2
                         : lead < 0xF0 ? 3
                         : lead < 0xF8 ? 4
                                       : 0;
    if (length == 0 || at + length > s.size()) {
        ++at;
        return 0;
    }
    char32_t c = length == 1 ? lead : static_cast<char32_t>(lead & (0x7F >> length));
    for (std::size_t k = 1; k < length; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    at += length;
    return c;
}

// Digit value of a Chinese numeral character, -1 when it is none.
int ChineseDigit(char32_t c) {
    switch (c) {
        case U'〇':
        case U'零':
        case U'○':
        case U'Ｏ':
            return 0;
        case U'一':
        case U'壹':
        case U'弌':
            return 1;
        case U'二':
        case U'两':
        case U'兩':
        case U'贰':
        case U'貳':
        case U'弍':
            return 2;
        case U'三':
        case U'叁':
        case U'參':
        case U'弎':
            return 3;
        case U'四':
        case U'肆':
            return 4;
        case U'五':
        case U'伍':
            return 5;
        case U'六':
        case U'陆':
        case U'陸':
            return 6;
        case U'七':
        case U'柒':
            return 7;
        case U'八':
        case U'捌':
            return 8;
        case U'九':
        case U'玖':
            return 9;
        default:
            return -1;
    }
}

// Value of a unit character (十, 百, …), 0 when it is none.
std::int64_t ChineseUnit(char32_t c) {
    switch (c) {
        case U'十':
        case U'拾':
            return 10;
        case U'百':
        case U'佰':
            return 100;
        case U'千':
        case U'仟':
            return 1000;
        case U'万':
        case U'萬':
            return 10000;
        default:
            return 0;
    }
}

std::optional<int> ParseDigits(const std::vector<char32_t>& cps) {
    std::int64_t value = 0;
    for (const char32_t c : cps) {
        int d = -1;
        if (c >= U'0' && c <= U'9')
            d = static_cast<int>(c - U'0');
        if (c >= U'０' && c <= U'９')
            d = static_cast<int>(c - U'０');
        if (d < 0)
            return std::nullopt;
        value = value * 10 + d;
        if (value > kLimit)
            return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<int> ParseChinese(const std::vector<char32_t>& cps) {
    bool anyUnit = false;
    for (const char32_t c : cps) {
        if (ChineseUnit(c) == 0 && ChineseDigit(c) < 0 && c != U'廿' && c != U'卅')
            return std::nullopt;
        if (ChineseUnit(c) != 0 || c == U'廿' || c == U'卅')
            anyUnit = true;
    }
    if (!anyUnit) {
        // Digit by digit: 一〇三 = 103, 二零一 = 201.
        std::int64_t value = 0;
        for (const char32_t c : cps) {
            value = value * 10 + ChineseDigit(c);
            if (value > kLimit)
                return std::nullopt;
        }
        return static_cast<int>(value);
    }
    // With units: 一百二十三, 十二 (a leading 十 counts as 一十), 一千零五,
    // 三万二千, 廿三 = 23, 卅 = 30.
    std::int64_t total = 0;    // completed groups of ten thousands
    std::int64_t section = 0;  // below ten thousand
    std::int64_t digit = -1;   // pending digit, -1 for none
    std::int64_t lastUnit = 100000;
    for (const char32_t c : cps) {
        if (c == U'廿' || c == U'卅') {
            if (digit >= 0)
                return std::nullopt;
            section += c == U'廿' ? 20 : 30;
            lastUnit = 10;
            continue;
        }
        const int d = ChineseDigit(c);
        if (d >= 0) {
            if (digit > 0)
                return std::nullopt;  // two digits in a row such as 二三
            digit = d;
            continue;
        }
        const std::int64_t unit = ChineseUnit(c);
        if (unit == 10000) {
            section += digit > 0 ? digit : 0;
            if (section == 0)
                section = 1;
            total += section * 10000;
            if (total > kLimit)
                return std::nullopt;
            section = 0;
            digit = -1;
            lastUnit = 100000;
            continue;
        }
        if (unit >= lastUnit)
            return std::nullopt;  // 十百, 百百
        section += (digit < 0 ? 1 : digit) * unit;
        if (digit == 0)
            return std::nullopt;  // 零十
        digit = -1;
        lastUnit = unit;
    }
    if (digit > 0) {
        // 一百二 reads as 一百二十 only in speech; in headings it is 102 or a
        // typo, so take the plain digit.
        section += digit;
    }
    total += section;
    if (total > kLimit)
        return std::nullopt;
    return static_cast<int>(total);
}

}  // namespace

std::optional<int> ParseNumber(std::string_view utf8) {
    std::vector<char32_t> cps;
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, at);
        if (c == 0)
            return std::nullopt;
        cps.push_back(c);
        if (cps.size() > 16)
            return std::nullopt;
    }
    if (cps.empty())
        return std::nullopt;
    if (const auto digits = ParseDigits(cps))
        return digits;
    if (const auto chinese = ParseChinese(cps))
        return chinese;
    std::string ascii;
    for (const char32_t c : cps) {
        if (c >= 0x80)
            return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    return ParseRoman(ascii);
}

std::optional<int> ParseRoman(std::string_view ascii) {
    if (ascii.empty() || ascii.size() > 15)
        return std::nullopt;
    auto value = [](char c) -> int {
        switch (c | 0x20) {
            case 'i':
                return 1;
            case 'v':
                return 5;
            case 'x':
                return 10;
            case 'l':
                return 50;
            case 'c':
                return 100;
            case 'd':
                return 500;
            case 'm':
                return 1000;
            default:
                return 0;
        }
    };
    int total = 0;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
        const int v = value(ascii[i]);
        if (v == 0)
            return std::nullopt;
        const int next = i + 1 < ascii.size() ? value(ascii[i + 1]) : 0;
        total += next > v ? -v : v;
    }
    if (total <= 0)
        return std::nullopt;
    // Only the canonical spelling: IIII or VX are not numerals.
    static const char* const kThousands[] = {"", "m", "mm", "mmm"};
    static const char* const kHundreds[] = {"", "c", "cc", "ccc", "cd", "d", "dc", "dcc", "dccc", "cm"};
    static const char* const kTens[] = {"", "x", "xx", "xxx", "xl", "l", "lx", "lxx", "lxxx", "xc"};
    static const char* const kOnes[] = {"", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix"};
    if (total >= 4000)
        return std::nullopt;
    const std::string canonical = std::string(kThousands[total / 1000]) + kHundreds[total / 100 % 10] +
                                  kTens[total / 10 % 10] + kOnes[total % 10];
    std::string lower(ascii);
    for (char& c : lower)
        c = static_cast<char>(c | 0x20);
    if (lower != canonical)
        return std::nullopt;
    return total;
}

}  // namespace qx::headings
