#pragma once
// The rules that tell a heading line from body text. A rule is a regular
// expression (PCRE2, on UTF-8 text) tried on a line after its indentation;
// the first rule that accepts the line decides what kind of heading it is.
// The built-in rules come first in a fixed order, most specific first, and
// each can be turned off; the user's own rules are tried before them.
//
// The rules live in a UTF-8 file in the program home:
//   # comment
//   on<TAB>builtin<TAB>第N章           a built-in rule, named, turned on or off
//   on<TAB>chapter<TAB>^Section \d+    a rule of the user's: kind and pattern
// A user pattern may name a group "num" (the heading's number, Arabic,
// Chinese or Roman) and a group "title"; the heading is what the pattern
// matched, and the rest of the line stays in the chapter's body.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qx::headings {

enum class Kind {
    Chapter,  // 第N章, 第N回, Chapter 12, …
    Part,     // 第N卷/部/集/篇: a volume when the book also has chapters, else a chapter
    Volume,   // always a volume (user rules only)
    Special,  // 序, 楔子, 尾声, 番外 …: a chapter without a number
};

struct Rule {
    std::string name;  // built-in: its fixed name; user: shown in the rules dialog
    Kind kind = Kind::Chapter;
    std::string pattern;  // UTF-8
    bool enabled = true;
    bool builtIn = false;
};

// The name of the built-in rule for bare numbers (001 标题, 一、标题), off by default.
extern const char* const kBareNumbersRule;

// Texts of kinds in the rules file: "chapter", "part", "volume", "special".
const char* KindName(Kind kind);
std::optional<Kind> KindFromName(std::string_view name);

class RuleSet {
public:
    // The built-in rules in their order, each at its default state.
    static RuleSet BuiltIn();

    std::vector<Rule>& Rules() { return m_rules; }
    const std::vector<Rule>& Rules() const { return m_rules; }

    // Adds a rule of the user's in front of the others (tried first).
    void AddUserRule(std::string pattern, Kind kind = Kind::Chapter, std::string name = {});

    // The file's text; reading it back gives the same rules.
    std::string ToFileText() const;
    // Rules from a file's text: built-in rules keep their fixed order and
    // pattern and take the on/off state the file gives them (a built-in rule
    // the file does not name keeps its default); user rules come first in the
    // file's order. Lines that cannot be read are reported in `problems`.
    static RuleSet FromFileText(std::string_view text, std::vector<std::string>* problems = nullptr);

private:
    std::vector<Rule> m_rules;
};

// The rules file of a program home.
std::filesystem::path RulesFilePath(const std::filesystem::path& home);
// The rules of the program home: the built-in rules when there is no file.
RuleSet LoadRules(const std::filesystem::path& home, std::vector<std::string>* problems = nullptr);
// Writes the rules file (atomically). Returns success.
bool SaveRules(const std::filesystem::path& home, const RuleSet& rules);

// A pattern's compile error, or nothing when it is a valid expression.
std::optional<std::string> PatternError(const std::string& pattern);

}  // namespace qx::headings
