#include "script_check.h"

#include "runtime/gbk_text.h"

namespace qx::fuzz {

namespace {

// The byte at `at` is a character of its own that a browser reads as ASCII
// (GBK lead bytes only take a trail byte that can be one).
bool AsciiAt(std::string_view s, std::size_t at, std::size_t* length) {
    *length = runtime::CharLengthAt(s, at);
    return *length == 1 && static_cast<unsigned char>(s[at]) < 0x80;
}

}  // namespace

bool SafeInsideString(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t n = 0;
        if (!AsciiAt(s, i, &n)) {
            i += n;
            continue;
        }
        const char c = s[i];
        if (c == '\'' || c == '"' || c == '\r' || c == '\n') return false;
        if (c == '\\') {
            if (i + 1 >= s.size()) return false;  // would escape the closing quote
            std::size_t m = 0;
            if (AsciiAt(s, i + 1, &m)) {
                i += 2;  // the escaped character, whatever it is
                continue;
            }
        }
        i += n;
    }
    return true;
}

bool ScriptStringsClosed(std::string_view s) {
    enum { Code, Single, Double, LineComment, BlockComment } state = Code;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t n = 0;
        const bool ascii = AsciiAt(s, i, &n);
        const char c = ascii ? s[i] : '\0';
        switch (state) {
            case Code:
                if (c == '\'') state = Single;
                else if (c == '"') state = Double;
                else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') state = LineComment;
                else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') { state = BlockComment; ++i; }
                break;
            case Single:
            case Double:
                if (c == '\r' || c == '\n') return false;
                if (c == '\\') {
                    std::size_t m = 0;
                    if (i + 1 < s.size() && AsciiAt(s, i + 1, &m)) {
                        // A line continuation inside a string is legal but
                        // the program never writes one.
                        if (s[i + 1] == '\r' || s[i + 1] == '\n') return false;
                        i += 2;
                        continue;
                    }
                } else if ((c == '\'' && state == Single) || (c == '"' && state == Double)) {
                    state = Code;
                }
                break;
            case LineComment:
                if (c == '\n') state = Code;
                break;
            case BlockComment:
                if (c == '*' && i + 1 < s.size() && s[i + 1] == '/') { state = Code; ++i; }
                break;
        }
        i += n;
    }
    return state == Code || state == LineComment;
}

}  // namespace qx::fuzz
