// The heading rules with rules of the user's own on arbitrary books. The
// first byte chooses: bit 2 clear, the first line of the rest is a user
// pattern (of the kind bits 0-1 give) and the remainder the book; bit 2 set,
// the rest up to its first zero byte is a rules file and the remainder the
// book. Bit 3 turns the bare-numbers rule on.
//
// Checked: no crash, sanitizer report or hang (however the pattern
// backtracks); a pattern that does not compile is refused with a message,
// by the rules dialog's test and by the matcher alike, and one that
// compiles is not; every match lies inside its line, heading before body;
// a rules file read back from its own text gives the same rules; loading
// by these headings leaves a whole Index.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "headings/heading_rules.h"
#include "headings/matcher.h"
#include "pipeline_harness.h"
#include "runtime/ui.h"
#include "text/chapters.h"
#include "text/next_step.h"

namespace {

using namespace qx;

class QuietUi : public runtime::Ui {
public:
    void Status(std::string_view, bool) override {}
    runtime::Answer Ask(std::string_view, runtime::Buttons, runtime::Icon, std::string_view) override {
        return runtime::Answer::No;
    }
    void Message(std::string_view, runtime::Icon) override {}
};

bool SameRules(const headings::RuleSet& a, const headings::RuleSet& b) {
    if (a.Rules().size() != b.Rules().size()) return false;
    for (std::size_t i = 0; i < a.Rules().size(); ++i) {
        const auto& x = a.Rules()[i];
        const auto& y = b.Rules()[i];
        if (x.pattern != y.pattern || x.kind != y.kind || x.enabled != y.enabled || x.builtIn != y.builtIn) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto choice = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    headings::RuleSet rules = headings::RuleSet::BuiltIn();
    std::string_view book;
    if (choice & 4) {
        const auto zero = rest.find('\0');
        const std::string_view file = rest.substr(0, zero);
        book = zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);
        rules = headings::RuleSet::FromFileText(file);
        const auto again = headings::RuleSet::FromFileText(rules.ToFileText());
        fuzz::Require(SameRules(rules, again), "a rules file that does not read back as written");
        for (const auto& r : rules.Rules()) {
            if (r.builtIn || !r.enabled) continue;
            // What the dialog would refuse, the matcher must leave out too.
            headings::RuleSet one;
            one.AddUserRule(r.pattern, r.kind, r.name);
            const headings::Matcher alone(one);
            fuzz::Require(headings::PatternError(r.pattern).has_value() == !alone.Problems().empty(),
                          "the rules dialog and the matcher disagree on a pattern");
        }
    } else {
        const auto lf = rest.find('\n');
        const std::string pattern(rest.substr(0, lf));
        book = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        static constexpr headings::Kind kKinds[] = {headings::Kind::Chapter, headings::Kind::Part,
                                                    headings::Kind::Volume, headings::Kind::Special};
        if (!pattern.empty()) {
            headings::RuleSet one;
            one.AddUserRule(pattern, kKinds[choice & 3], "fuzz");
            const bool refused = headings::PatternError(pattern).has_value();
            const headings::Matcher check(one);
            fuzz::Require(refused == !check.Problems().empty(),
                          "the rules dialog and the matcher disagree on a pattern");
            fuzz::Require(check.Problems().empty() || !check.Problems().front().empty(), "a refusal without a message");
            rules.AddUserRule(pattern, kKinds[choice & 3], "fuzz");
        }
    }
    if (choice & 8) {
        for (auto& r : rules.Rules()) {
            if (r.name == headings::kBareNumbersRule) r.enabled = true;
        }
    }

    const headings::Matcher matcher(rules);
    std::size_t pos = 0;
    int lines = 0;
    while (pos < book.size() && lines < 200) {
        auto lf = book.find('\n', pos);
        if (lf == std::string_view::npos) lf = book.size();
        std::string_view line = book.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (const auto m = matcher.Match(line)) {
            fuzz::Require(m->headingBegin <= m->headingEnd && m->headingEnd <= m->bodyBegin &&
                              m->bodyBegin <= line.size(),
                          "a heading match outside its line");
            fuzz::Require(m->rule >= 0 && static_cast<std::size_t>(m->rule) < rules.Rules().size(),
                          "a match by a rule that does not exist");
            fuzz::Require(!m->chapterOnSameLine ||
                              (*m->chapterOnSameLine >= m->headingEnd && *m->chapterOnSameLine < line.size()),
                          "a chapter on the same line outside it");
        }
        pos = lf + 1;
        ++lines;
    }

    QuietUi ui;
    text::Book loaded;
    loaded.workingText.Adopt(text::NormaliseText(book));
    text::LoadChaptersByHeadings(loaded, rules, ui);
    fuzz::CheckIndex(loaded);
    return 0;
}
