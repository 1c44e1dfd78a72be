#include "headings/heading_rules.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "runtime/files.h"

namespace qx::headings {

const char* const kBareNumbersRule = "编号 标题";

namespace {

// Chinese numerals as headings write them, with the financial and
// traditional forms.
#define QX_CN_DIGITS "零〇○一二两兩三四五六七八九十百千万萬廿卅壹贰貳叁參肆伍陆陸柒捌玖拾佰仟"
#define QX_NUMBER "(?<num>[0-9０-９]{1,7}|[" QX_CN_DIGITS "]{1,12})"
#define QX_SPACE "[ \\t\\x{3000}]"
#define QX_SEPARATOR "(?<sep>[ \\t\\x{3000}:：、，,.．·_\\-—]*)"
#define QX_ENGLISH_NUMBER                                                                               \
    "(?<num>[0-9]{1,5}|[ivxlcdm]{1,10}|one|two|three|four|five|six|seven|eight|nine|ten|eleven|twelve|" \
    "thirteen|fourteen|fifteen|sixteen|seventeen|eighteen|nineteen|twenty)\\b"

struct BuiltInRule {
    const char* name;
    Kind kind;
    const char* pattern;
    bool enabled;
};

// Most specific first. A chapter unit comes before the volume units so that
// 第一集 counts as a volume only beside real chapters (see Kind::Part).
const BuiltInRule kBuiltIn[] = {
    {"第N章", Kind::Chapter,
     "^第" QX_SPACE "*" QX_NUMBER QX_SPACE "*(?<unit>[章回节節话話幕])" QX_SEPARATOR "(?<title>.*)$", true},
    {"第N卷", Kind::Part,
     "^第" QX_SPACE "*" QX_NUMBER QX_SPACE "*(?<unit>[卷部集篇])" QX_SEPARATOR "(?<title>.*)$", true},
    {"卷N", Kind::Part,
     "^(?<unit>卷)" QX_SPACE "*" QX_NUMBER "(?<sep>[ \\t\\x{3000}:：、·_\\-—]+|$)(?<title>.*)$", true},
    {"序/楔子/尾声/番外", Kind::Special,
     "^(?<title>(?<unit>序章|序言|序幕|序曲|序|楔子|引子|引言|前言|尾声|尾聲|后记|後記|终章|終章|大结局|"
     "大結局|"
     "结局|結局|番外篇|番外|后序|後序|跋|完本感言|完结感言|完結感言)"
     "(?:(?:[ \\t\\x{3000}:：、·_\\-—]+|(?=[0-9０-９一二三四五六七八九十]))(?<rest>.*))?)$",
     true},
    {"Chapter N", Kind::Chapter,
     "(?i)^(?<unit>chapter|chap\\.|ch\\.)[ \\t]*" QX_ENGLISH_NUMBER "(?<sep>[ \\t:.\\-—]*)(?<title>.*)$",
     true},
    {"Part N", Kind::Part,
     "(?i)^(?<unit>part|book|volume|vol\\.)[ \\t]*" QX_ENGLISH_NUMBER "(?<sep>[ \\t:.\\-—]*)(?<title>.*)$",
     true},
    // Bare numbers (001 标题, 一、标题) are common in lists inside chapters
    // too, so this one is off until the user turns it on.
    {kBareNumbersRule, Kind::Chapter,
     "^(?<num>[0-9０-９]{1,4}|[一二三四五六七八九十百]{1,6})(?<sep>[、.．:：]|[ \\t\\x{3000}]+)"
     "(?<title>[^ \\t\\x{3000}].{0,29})$",
     false},
};

std::string_view NextField(std::string_view& line) {
    const auto tab = line.find('\t');
    std::string_view field = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    return field;
}

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

}  // namespace

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Chapter:
            return "chapter";
        case Kind::Part:
            return "part";
        case Kind::Volume:
            return "volume";
        case Kind::Special:
            return "special";
    }
    return "chapter";
}

std::optional<Kind> KindFromName(std::string_view name) {
    for (const Kind k : {Kind::Chapter, Kind::Part, Kind::Volume, Kind::Special}) {
        if (name == KindName(k))
            return k;
    }
    return std::nullopt;
}

RuleSet RuleSet::BuiltIn() {
    RuleSet set;
    for (const auto& b : kBuiltIn)
        set.m_rules.push_back({b.name, b.kind, b.pattern, b.enabled, true});
    return set;
}

void RuleSet::AddUserRule(std::string pattern, Kind kind, std::string name) {
    auto firstBuiltIn = m_rules.begin();
    while (firstBuiltIn != m_rules.end() && !firstBuiltIn->builtIn)
        ++firstBuiltIn;
    if (name.empty())
        name = pattern;
    m_rules.insert(firstBuiltIn, Rule{std::move(name), kind, std::move(pattern), true, false});
}

std::string RuleSet::ToFileText() const {
    std::string out =
        "# Heading rules of QX e-book maker (UTF-8), tried in this order.\n"
        "# on|off <TAB> builtin <TAB> name                a built-in rule\n"
        "# on|off <TAB> chapter|part|volume|special <TAB> pattern   a rule of your own (PCRE2);\n"
        "#   a group named num gives the heading's number; the heading is what the pattern matches.\n";
    for (const Rule& r : m_rules) {
        out += r.enabled ? "on\t" : "off\t";
        out +=
            r.builtIn ? std::string("builtin\t") + r.name : std::string(KindName(r.kind)) + "\t" + r.pattern;
        out += "\n";
    }
    return out;
}

RuleSet RuleSet::FromFileText(std::string_view text, std::vector<std::string>* problems) {
    RuleSet set = BuiltIn();
    std::vector<Rule> user;
    int lineNumber = 0;
    auto complain = [&](const std::string& why) {
        if (problems)
            problems->push_back("line " + std::to_string(lineNumber) + ": " + why);
    };
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const auto lf = text.find('\n');
        std::string_view line = TrimLineEnd(text.substr(0, lf));
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string_view state = NextField(line);
        const std::string_view kind = NextField(line);
        const std::string_view rest = line;
        if (state != "on" && state != "off") {
            complain("the first field must be on or off");
            continue;
        }
        const bool enabled = state == "on";
        if (kind == "builtin") {
            bool found = false;
            for (Rule& r : set.m_rules) {
                if (r.builtIn && r.name == rest) {
                    r.enabled = enabled;
                    found = true;
                }
            }
            if (!found)
                complain("no built-in rule named " + std::string(rest));
            continue;
        }
        const auto k = KindFromName(kind);
        if (!k) {
            complain("unknown kind " + std::string(kind));
            continue;
        }
        if (rest.empty()) {
            complain("a rule needs a pattern");
            continue;
        }
        user.push_back(Rule{std::string(rest), *k, std::string(rest), enabled, false});
    }
    set.m_rules.insert(set.m_rules.begin(), user.begin(), user.end());
    return set;
}

std::filesystem::path RulesFilePath(const std::filesystem::path& home) {
    return home / "heading_rules.txt";
}

RuleSet LoadRules(const std::filesystem::path& home, std::vector<std::string>* problems) {
    const auto text = runtime::ReadWholeFile(RulesFilePath(home));
    if (!text)
        return RuleSet::BuiltIn();
    return RuleSet::FromFileText(*text, problems);
}

bool SaveRules(const std::filesystem::path& home, const RuleSet& rules) {
    return runtime::WriteFileAtomically(RulesFilePath(home), rules.ToFileText());
}

std::optional<std::string> PatternError(const std::string& pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_UTF | PCRE2_UCP, &error, &offset, nullptr);
    if (code) {
        pcre2_code_free(code);
        return std::nullopt;
    }
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    return std::string(reinterpret_cast<const char*>(message)) + " (at offset " + std::to_string(offset) +
           ")";
}

}  // namespace qx::headings
