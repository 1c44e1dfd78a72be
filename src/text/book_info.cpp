// Compiled as GBK: the marker and bracket literals are GBK bytes.
#include "text/book_info.h"

namespace qx::text {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::size_t LastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i-- > 0;) {
        if (IsSeparator(path[i])) return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string StemOf(std::string_view path) {
    const std::size_t sep = LastSeparator(path);
    const std::size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) return {};
    return std::string(path.substr(nameStart, dot - nameStart));
}

std::string DirectoryOf(std::string_view path) {
    const std::size_t sep = LastSeparator(path);
    if (sep == std::string_view::npos) return {};
    if (sep == 0) return std::string(path.substr(0, 1));  // the root directory
    return std::string(path.substr(0, sep));
}

BookInfo ProposeBookInfo(std::string_view gbkStem) {
    using runtime::Find;
    using runtime::FindLast;
    using runtime::Text;
    // A control character in a file name (a newline, a tab) stands for a
    // blank: no title or author carries one into folder names and pages.
    std::string cleaned(gbkStem);
    for (char& c : cleaned) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    const std::string_view s = runtime::Trim(cleaned);
    static constexpr std::string_view kMarker = "作者：";
    static constexpr std::string_view kClosingBracket = "》";

    BookInfo info;
    if (const auto m = Find(s, kMarker); m > 0) {
        const auto at = static_cast<std::size_t>(m - 1);
        info.title = Text(runtime::TrimEnd(s.substr(0, at)));
        info.author = Text(runtime::TrimStart(s.substr(at + kMarker.size())));
        return info;
    }
    const auto p = FindLast(s, " ");
    const auto q = FindLast(s, kClosingBracket);
    if (q < p && p > 1) {
        info.title = Text(runtime::TrimEnd(s.substr(0, static_cast<std::size_t>(p - 1))));
        info.author = Text(s.substr(static_cast<std::size_t>(p)));
    } else if (p < q && q > 3) {
        const auto end = static_cast<std::size_t>(q - 1) + kClosingBracket.size();
        info.title = Text(s.substr(0, end));
        info.author = Text(runtime::TrimStart(s.substr(end)));
    }
    return info;
}

}  // namespace qx::text
