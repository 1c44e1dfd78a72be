#include "epub/xml_text.h"

#include "runtime/encoding.h"

namespace qx::epub {
namespace {

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Blanks at either end of a paragraph: space, tab, ideographic space.
std::string_view TrimBlanks(std::string_view s) {
    auto blankAt = [&](std::size_t i) -> std::size_t {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r') return 1;
        if (s.substr(i, 3) == "\xE3\x80\x80") return 3;
        return 0;
    };
    std::size_t b = 0;
    while (b < s.size()) {
        const std::size_t n = blankAt(b);
        if (!n) break;
        b += n;
    }
    std::size_t e = s.size();
    while (e > b) {
        if (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r') {
            --e;
        } else if (e - b >= 3 && s.substr(e - 3, 3) == "\xE3\x80\x80") {
            e -= 3;
        } else {
            break;
        }
    }
    return s.substr(b, e - b);
}

// Length of a character XML cannot hold at all at `i` (a control character
// other than tab, line feed and carriage return; U+FFFE, U+FFFF), else 0.
std::size_t UnfitAt(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return 1;
    if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(s[i + 2]) == 0xBE || static_cast<unsigned char>(s[i + 2]) == 0xBF)) {
        return 3;
    }
    return 0;
}

// `s` without the characters XML cannot hold; `kept` holds the text when
// some had to go.
std::string_view WithoutUnfit(std::string_view s, std::string& kept) {
    std::size_t i = 0;
    while (i < s.size() && !UnfitAt(s, i)) ++i;
    if (i == s.size()) return s;
    kept.assign(s.substr(0, i));
    while (i < s.size()) {
        if (const std::size_t n = UnfitAt(s, i)) {
            i += n;
        } else {
            kept += s[i++];
        }
    }
    return kept;
}

// Calls `line(text)` for every paragraph of a decoded body. A line of
// nothing but blanks and characters XML cannot hold (a form feed between
// pages, say) is no paragraph, and blanks that such characters hid are
// trimmed too.
template <class Line>
void ForEachParagraph(const std::string& utf8, Line&& line) {
    std::size_t pos = 0;
    std::string halved;
    std::string kept;
    while (pos < utf8.size()) {
        auto lf = utf8.find('\n', pos);
        if (lf == std::string::npos) lf = utf8.size();
        std::string_view text = TrimBlanks(WithoutUnfit(std::string_view(utf8).substr(pos, lf - pos), kept));
        pos = lf + 1;
        if (text.empty()) continue;
        if (text.find('\\') != std::string_view::npos) {
            // The Next step doubled every backslash; the reader sees one.
            halved.clear();
            for (std::size_t i = 0; i < text.size(); ++i) {
                halved += text[i];
                if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
            }
            line(std::string_view(halved));
        } else {
            line(text);
        }
    }
}

}  // namespace

void AppendEscapedXml(std::string& out, std::string_view s) {
    std::size_t plain = 0;  // start of the stretch not yet copied
    std::size_t i = 0;
    auto flush = [&](std::size_t end) { out.append(s.data() + plain, end - plain); };
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const char* entity = nullptr;
        std::size_t skip = 0;
        switch (c) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '"': entity = "&quot;"; break;
            case '\'': entity = "&#39;"; break;
            default: skip = UnfitAt(s, i);
        }
        if (entity || skip) {
            flush(i);
            if (entity) out += entity;
            i += entity ? 1 : skip;
            plain = i;
            continue;
        }
        i += c < 0x80 ? 1 : SequenceLength(c);
    }
    flush(std::min(i, s.size()));
}

std::string EscapeXml(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 16);
    AppendEscapedXml(out, utf8);
    return out;
}

std::vector<std::string> Paragraphs(std::string_view gbk) {
    std::vector<std::string> out;
    ForEachParagraph(runtime::GbkToUtf8(gbk), [&](std::string_view p) { out.emplace_back(p); });
    return out;
}

void AppendParagraphs(std::string& out, std::string_view gbk) {
    ForEachParagraph(runtime::GbkToUtf8(gbk), [&](std::string_view p) {
        out += "<p>";
        AppendEscapedXml(out, p);
        out += "</p>\n";
    });
}

}  // namespace qx::epub
