#pragma once
// Trying the heading rules on lines of the working text (GBK). The rules
// are UTF-8 expressions, so a line that may be a heading is decoded before
// they are tried; a cheap test on the GBK bytes first skips the lines that
// no built-in rule could accept, which is nearly every line of a book.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "headings/heading_rules.h"

namespace qx::headings {

struct LineMatch {
    int rule = -1;  // index into the rule set it was made from
    Kind kind = Kind::Chapter;
    bool userRule = false;
    std::optional<int> number;
    std::string unit;  // UTF-8: "章", "回", "卷", "chapter" (lower case), the word of a special heading
    // GBK byte offsets into the line: the heading text (indentation and
    // noise words before it excluded, trailing spaces too), and where the
    // rest of the line, if any, begins as body text (line size when none).
    std::size_t headingBegin = 0;
    std::size_t headingEnd = 0;
    std::size_t bodyBegin = 0;
    // For a volume heading followed on the same line by a chapter heading
    // ("第一卷 风起 第一章 少年"): where that chapter heading begins.
    std::optional<std::size_t> chapterOnSameLine;
};

class Matcher {
public:
    // Rules that are off are left out; a user pattern that does not compile
    // is left out and told in Problems().
    explicit Matcher(const RuleSet& rules);
    ~Matcher();
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;

    // What the first rule that accepts `gbkLine` (one line without its line
    // end) makes of it. Safe to call from several threads at once.
    std::optional<LineMatch> Match(std::string_view gbkLine) const;

    // False only for lines that no rule can accept.
    bool MayMatch(std::string_view gbkLine) const;

    const std::vector<std::string>& Problems() const { return m_problems; }
    // The rules whose matches ran into their bound on so many lines that
    // they are no longer tried (a pattern that backtracks without end).
    std::vector<std::string> SetAside() const;
    std::size_t RuleCount() const { return m_ruleCount; }

    struct Compiled;  // one compiled expression (matcher.cpp)

private:
    std::optional<LineMatch> MatchAt(std::string_view gbkLine, std::size_t indent, bool allowSameLine) const;

    std::vector<std::unique_ptr<Compiled>> m_rules;
    std::unique_ptr<Compiled> m_noise;
    std::vector<std::string> m_problems;
    std::size_t m_ruleCount = 0;
    bool m_anyUserRule = false;
    bool m_bareNumbers = false;
    struct LeadWords;
    const LeadWords* m_lead = nullptr;  // 第 and the words a heading may begin with, in GBK
};

// Bytes of indentation at the start of a GBK line: half-width spaces, tabs
// and ideographic spaces.
std::size_t IndentOf(std::string_view gbkLine);
// A line of nothing but indentation (and its line end, when it is given).
bool IsBlankLine(std::string_view gbkLine);

}  // namespace qx::headings
