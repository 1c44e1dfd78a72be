#pragma once
// A quick test of generated script texts, as a browser reading them as GBK
// sees their characters: every string literal ends on its own line, so no
// quote or line end of the book's text has escaped its string. It knows the
// shape of the program's scripts (strings, comments, no regular-expression
// literals holding quotes); the full parse is node's (tests/fuzz_seeds).

#include <string_view>

namespace qx::fuzz {

// True when every string in single or double quotes closes before its line
// ends and the text ends outside any string or block comment.
bool ScriptStringsClosed(std::string_view gbkScript);

// True when `escaped`, put between quotes of either kind, stays one string:
// no unescaped quote or line end, no backslash left at its end.
bool SafeInsideString(std::string_view escaped);

}  // namespace qx::fuzz
