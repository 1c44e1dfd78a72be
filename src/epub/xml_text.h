#pragma once
// Texts of the book made fit for XHTML documents (UTF-8).

#include <string>
#include <string_view>
#include <vector>

namespace qx::epub {

// `utf8` escaped for XML text and attribute values: & < > " ' as entities.
// Characters that XML does not allow at all (control characters other than
// tab, line feed and carriage return; U+FFFE and U+FFFF) are dropped.
std::string EscapeXml(std::string_view utf8);
void AppendEscapedXml(std::string& out, std::string_view utf8);

// The paragraphs of a chapter body as the e-book's pages show them: one per
// line that has text, its leading and trailing blanks (spaces, ideographic
// spaces, tabs) dropped, and the backslashes that the working text holds
// doubled shown single. `gbk` is a body as it stands in the working text;
// the paragraphs are UTF-8, not escaped.
std::vector<std::string> Paragraphs(std::string_view gbk);

// The same paragraphs, each escaped in <p>…</p> and a line end, appended to
// `out` (the one pass the writer makes over a book's text).
void AppendParagraphs(std::string& out, std::string_view gbk);

}  // namespace qx::epub
