#include "projects/project_text.h"

#include "runtime/encoding.h"
#include "runtime/gbk_text.h"

namespace qx::projects {
namespace {

std::string FromU8(const std::u8string& s) { return std::string(s.begin(), s.end()); }

}  // namespace

bool ContainsCharacter(std::string_view text, std::string_view character) {
    if (character.empty()) return false;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t width = runtime::CharLengthAt(text, i);
        if (text.substr(i, width) == character) return true;
        i += width;
    }
    return false;
}

Text JoinLines(std::string_view text) {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += ' ';
        } else if (text[i] == '\n') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

Text PathToGbk(const std::filesystem::path& path) { return runtime::Utf8ToGbk(FromU8(path.u8string())); }

std::filesystem::path GbkToPath(std::string_view gbk) {
    const std::string utf8 = runtime::GbkToUtf8(gbk);
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToProjectBytes(const std::filesystem::path& path) {
#ifdef _WIN32
    return runtime::Utf8ToGbk(FromU8(path.generic_u8string()));
#else
    return path.generic_string();
#endif
}

std::filesystem::path ProjectTextToPath(std::string_view gbk) {
    // Backslashes are turned into slashes after the conversion: in GBK a
    // backslash byte may be the second half of a character.
    std::string utf8 = runtime::GbkToUtf8(gbk);
    for (char& c : utf8) {
        if (c == '\\') c = '/';
    }
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace qx::projects
