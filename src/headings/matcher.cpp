#include "headings/matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "headings/chinese_number.h"
#include "runtime/encoding.h"
#include "runtime/gbk_text.h"

namespace qx::headings {
namespace {

// Only so much of a line is decoded and tried: a heading stands at the start.
constexpr std::size_t kHeadBytes = 240;
// A heading line longer than this (in characters) holds body text too, or
// is a sentence.
constexpr std::size_t kLongLine = 40;
// A title longer than this is no title.
constexpr std::size_t kLongTitle = 30;
// A heading without anything between number and title reads as a sentence
// when the title goes on this long.
constexpr std::size_t kLongUnseparatedTitle = 20;
// A pattern of the user's may backtrack beyond any measure on some lines
// ("(a*)*b" on a line of a's). Every match is bounded: a sane heading
// pattern needs a few hundred steps on a line head, the bound is far above
// that and still small enough that a whole book is tried in seconds. A
// rule that reaches the bound on this many lines is set aside for the rest
// of the book (Matcher::SetAside), so a bad pattern costs little more than
// those lines.
constexpr std::uint32_t kMatchLimit = 20000;
constexpr std::uint32_t kDepthLimit = 2000;
constexpr PCRE2_SIZE kHeapLimitKiB = 4096;
constexpr int kLimitHitsBeforeSetAside = 32;

char32_t Decode(std::string_view s, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (at + length > s.size())
        length = s.size() - at;
    char32_t c = length == 1 ? lead : static_cast<char32_t>(lead & (0x7F >> length));
    for (std::size_t k = 1; k < length; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    at += length;
    return c;
}

std::u32string CodePoints(std::string_view utf8) {
    std::u32string out;
    for (std::size_t at = 0; at < utf8.size();)
        out.push_back(Decode(utf8, at));
    return out;
}

// Byte offset of code point `index` of `utf8`.
std::size_t OffsetOfCodePoint(std::string_view utf8, std::size_t index) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < index && at < utf8.size(); ++i)
        Decode(utf8, at);
    return at;
}

bool IsGapChar(char32_t c) {
    return c == U'\x3000' || c == U'\t';
}
bool IsSpaceChar(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\x3000' || c == U'\xA0';
}
bool IsSentencePunctuation(char32_t c) {
    return c == U'，' || c == U'。' || c == U'！' || c == U'？' || c == U'；' || c == U'…' || c == U'“' ||
           c == U'”' || c == U'「' || c == U'」';
}

// Characters that go on a sentence after "第三章": 第三章的内容, 第三章里.
bool IsParticle(char32_t c) {
    static const std::u32string kParticles = U"的了里是说讲就都也还已呢吗吧所和与在中时后前才又却被把给让";
    return kParticles.find(c) != std::u32string::npos;
}

// Number and unit that are the start of an ordinary word: 第一回合, 第二集团军.
bool ContinuesAsWord(const std::string& unit, char32_t next) {
    static const struct {
        const char* unit;
        const char32_t* nexts;
    } kWords[] = {
        {"回", U"合"},     {"集", U"团"}, {"部", U"分队门下长位件"}, {"章", U"程"},
        {"节", U"课目日"}, {"篇", U"幅"}, {"话", U"题语"},           {"幕", U"后"},
    };
    for (const auto& w : kWords) {
        if (unit == w.unit && std::u32string_view(w.nexts).find(next) != std::u32string_view::npos)
            return true;
    }
    return false;
}

std::optional<int> EnglishNumber(std::string_view word) {
    static const char* const kWords[] = {"one",     "two",       "three",    "four",     "five",
                                         "six",     "seven",     "eight",    "nine",     "ten",
                                         "eleven",  "twelve",    "thirteen", "fourteen", "fifteen",
                                         "sixteen", "seventeen", "eighteen", "nineteen", "twenty"};
    std::string lower(word);
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (int i = 0; i < 20; ++i) {
        if (lower == kWords[i])
            return i + 1;
    }
    return std::nullopt;
}

struct Groups {
    int num = -1, unit = -1, sep = -1, title = -1, rest = -1;
};

}  // namespace

namespace {

// A pattern compiled (and JIT-compiled) once. Matching only reads it, so
// one copy serves every matcher and every thread.
struct Program {
    pcre2_code* code = nullptr;
    Groups groups;
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() { pcre2_code_free(code); }
};

}  // namespace

struct Matcher::Compiled {
    std::shared_ptr<const Program> program;
    pcre2_code* code = nullptr;  // the program's
    Groups groups;
    int rule = -1;
    Kind kind = Kind::Chapter;
    bool builtIn = false;
    std::string name;
    // Lines on which the match reached its bound (counted by every thread).
    mutable std::atomic<int> limitHits{0};
    bool SetAside() const { return limitHits.load(std::memory_order_relaxed) >= kLimitHitsBeforeSetAside; }
};

namespace {

std::shared_ptr<const Program> CompileProgram(const std::string& pattern, std::string* error) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    // The pattern's UTF-8 is checked: a user's pattern comes from a file that
    // may hold anything, and PCRE2 must not be given malformed UTF-8.
    pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), PCRE2_UTF,
                                   &code, &offset, nullptr);
    if (!re) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(code, message, sizeof message);
        if (error)
            *error = reinterpret_cast<const char*>(message);
        return nullptr;
    }
    pcre2_jit_compile(re, PCRE2_JIT_COMPLETE);  // without JIT the interpreter runs: slower, same result
    auto program = std::make_shared<Program>();
    program->code = re;
    auto group = [&](const char* name) {
        const int n = pcre2_substring_number_from_name(re, reinterpret_cast<PCRE2_SPTR>(name));
        return n > 0 ? n : -1;
    };
    program->groups = {group("num"), group("unit"), group("sep"), group("title"), group("rest")};
    return program;
}

// Compiling the rules (JIT above all) costs far more than matching a
// chapter's worth of lines, and a matcher is made for every sample the
// window looks at and for every book of a batch: compiled programs are
// kept, by pattern, for the life of the process. The store is bounded; when
// full it starts again (programs in use live on in their matchers).
constexpr std::size_t kStoredPrograms = 128;

std::shared_ptr<const Program> StoredProgram(const std::string& pattern, std::string* error) {
    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const Program>> store;
    {
        const std::lock_guard lock(mutex);
        if (const auto it = store.find(pattern); it != store.end())
            return it->second;
    }
    auto program = CompileProgram(pattern, error);
    if (!program)
        return nullptr;  // a refused pattern is tried again and told again
    const std::lock_guard lock(mutex);
    if (store.size() >= kStoredPrograms)
        store.clear();
    store.emplace(pattern, program);
    return program;
}

std::unique_ptr<Matcher::Compiled> Compile(const std::string& pattern, std::string* error) {
    auto program = StoredProgram(pattern, error);
    if (!program)
        return nullptr;
    auto compiled = std::make_unique<Matcher::Compiled>();
    compiled->code = program->code;
    compiled->groups = program->groups;
    compiled->program = std::move(program);
    return compiled;
}

// One match's captures: byte ranges into the subject, npos when unset.
struct Match {
    std::size_t end = 0;
    std::array<std::pair<std::size_t, std::size_t>, 16> spans{};
    std::string_view Span(std::string_view subject, int group) const {
        if (group < 0 || group >= static_cast<int>(spans.size()))
            return {};
        const auto [b, e] = spans[static_cast<std::size_t>(group)];
        if (b == PCRE2_UNSET || e == PCRE2_UNSET)
            return {};
        return subject.substr(b, e - b);
    }
    std::size_t Begin(int group) const {
        if (group < 0 || group >= static_cast<int>(spans.size()))
            return PCRE2_UNSET;
        return spans[static_cast<std::size_t>(group)].first;
    }
};

// The bounds of every match (read only once made, so shared by all threads).
const pcre2_match_context* Bounds() {
    static pcre2_match_context* const context = [] {
        pcre2_match_context* c = pcre2_match_context_create(nullptr);
        if (c) {
            pcre2_set_match_limit(c, kMatchLimit);
            pcre2_set_depth_limit(c, kDepthLimit);
            pcre2_set_heap_limit(c, kHeapLimitKiB);
        }
        return c;
    }();
    return context;
}

std::optional<Match> Run(const Matcher::Compiled& re, std::string_view subject) {
    thread_local pcre2_match_data* data = pcre2_match_data_create(16, nullptr);
    const int rc = pcre2_match(re.code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0,
                               PCRE2_NO_UTF_CHECK, data, const_cast<pcre2_match_context*>(Bounds()));
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
        rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        re.limitHits.fetch_add(1, std::memory_order_relaxed);
        return std::nullopt;
    }
    if (rc < 0)
        return std::nullopt;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    const std::uint32_t pairs = std::min<std::uint32_t>(pcre2_get_ovector_count(data), 16);
    Match m;
    for (auto& s : m.spans)
        s = {PCRE2_UNSET, PCRE2_UNSET};
    for (std::uint32_t i = 0; i < pairs && i < static_cast<std::uint32_t>(rc); ++i) {
        m.spans[i] = {ov[2 * i], ov[2 * i + 1]};
    }
    m.end = ov[1];
    return m;
}

// The UTF-8 bytes of the heading and where the line's body text begins,
// both as offsets into `subject`, after the checks that tell a heading from
// a sentence. Nothing when the line reads as body text.
struct Extent {
    std::size_t headingEnd;
    std::size_t bodyBegin;
};

std::optional<Extent> BuiltInExtent(const Matcher::Compiled& re, const Match& m, std::string_view subject,
                                    std::size_t lineChars, const std::string& unit) {
    const Groups& g = re.groups;
    // Where the free text after the heading's fixed part begins, and whether
    // something separates the two.
    std::size_t titleBegin;
    bool separated;
    if (re.kind == Kind::Special) {
        // The rule itself asks for a separator (or a number) after the word.
        const std::size_t restBegin = m.Begin(g.rest);
        titleBegin = restBegin == PCRE2_UNSET ? m.end : restBegin;
        separated = true;
    } else {
        titleBegin = m.Begin(g.title);
        if (titleBegin == PCRE2_UNSET)
            titleBegin = m.end;
        separated = !m.Span(subject, g.sep).empty();
    }
    const std::string_view title = subject.substr(titleBegin, m.end - titleBegin);
    const std::u32string t = CodePoints(title);

    if (!t.empty() && !separated && re.kind != Kind::Special) {
        // 第三章说的是……: a sentence that begins with a chapter number.
        if (std::any_of(t.begin(), t.end(), IsSentencePunctuation))
            return std::nullopt;
        if (IsParticle(t.front()) || ContinuesAsWord(unit, t.front()))
            return std::nullopt;
        if (t.size() > kLongUnseparatedTitle)
            return std::nullopt;
    }
    if (lineChars <= kLongLine && t.size() <= kLongTitle)
        return Extent{m.end, m.end};

    // A long line: the heading and the chapter's first sentence share it.
    // The heading ends at the last gap before the first sentence
    // punctuation; without a gap, at the number and unit when something
    // separated them from the text.
    std::size_t firstPunctuation = t.size();
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (IsSentencePunctuation(t[i])) {
            firstPunctuation = i;
            break;
        }
    }
    std::optional<std::size_t> gap;
    for (std::size_t i = 1; i < std::min(firstPunctuation, kLongTitle + 1); ++i) {
        const bool wide = IsGapChar(t[i]);
        const bool doubleSpace = t[i] == U' ' && i + 1 < t.size() && t[i + 1] == U' ';
        if (wide || doubleSpace)
            gap = i;
    }
    if (gap) {
        std::size_t bodyAt = *gap;
        while (bodyAt < t.size() && IsSpaceChar(t[bodyAt]))
            ++bodyAt;
        if (bodyAt < t.size()) {
            return Extent{titleBegin + OffsetOfCodePoint(title, *gap),
                          titleBegin + OffsetOfCodePoint(title, bodyAt)};
        }
    }
    if (separated) {
        std::size_t headingEnd = titleBegin;
        while (headingEnd > 0 && (subject[headingEnd - 1] == ' ' || subject[headingEnd - 1] == '\t'))
            --headingEnd;
        if (subject.substr(0, headingEnd).ends_with("\xE3\x80\x80"))
            headingEnd -= 3;
        return Extent{headingEnd, titleBegin};
    }
    return std::nullopt;
}

}  // namespace

bool IsBlankLine(std::string_view line) {
    const std::size_t indent = IndentOf(line);
    for (std::size_t i = indent; i < line.size(); ++i) {
        if (line[i] != '\r' && line[i] != '\n') return false;
    }
    return true;
}

std::size_t IndentOf(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
        } else if (i + 1 < line.size() && line[i] == '\xA1' && line[i + 1] == '\xA1') {
            i += 2;
        } else {
            break;
        }
    }
    return i;
}

// The GBK spellings MayMatch looks for, converted once for the process.
struct Matcher::LeadWords {
    std::array<std::vector<std::string>, 256> byFirstByte;  // words a heading may begin with
    std::array<char, 2> di{};                                // 第

    static const LeadWords& Get() {
        static const LeadWords words = [] {
            LeadWords w;
            const std::string di = runtime::Utf8ToGbk("第");
            w.di = {di[0], di[1]};
            // The words a heading without a number may begin with (their
            // first two characters where they have more).
            for (const char* word : {"卷", "序", "楔子", "引子", "引言", "前言", "尾声", "尾聲", "后记", "後記", "后序",
                                     "後序", "终章", "終章", "大结", "大結", "结局", "結局", "番外", "跋", "完本", "完结",
                                     "完結"}) {
                const std::string gbk = runtime::Utf8ToGbk(word);
                w.byFirstByte[static_cast<unsigned char>(gbk[0])].push_back(gbk);
            }
            return w;
        }();
        return words;
    }
};

Matcher::Matcher(const RuleSet& set) {
    const auto& rules = set.Rules();
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const Rule& r = rules[i];
        if (!r.enabled)
            continue;
        std::string error;
        auto compiled = Compile(r.pattern, &error);
        if (!compiled) {
            m_problems.push_back(r.name + ": " + error);
            continue;
        }
        compiled->rule = static_cast<int>(i);
        compiled->name = r.name;
        compiled->kind = r.kind;
        compiled->builtIn = r.builtIn;
        if (!r.builtIn)
            m_anyUserRule = true;
        if (r.builtIn && r.name == kBareNumbersRule)
            m_bareNumbers = true;
        m_rules.push_back(std::move(compiled));
    }
    m_ruleCount = rules.size();
    // Words and signs that sites put before a heading: 正文, VIP章节,
    // empty or short tag brackets, stars.
    m_noise = Compile(
        "^(?:[【\\[〖［(（<〈「『{｛][ "
        "\\t\\x{3000}]*(?:正文|VIP|vip|ＶＩＰ|新书|更新|手打|无弹窗|無彈窗|精校|"
        "免费|首发)?[ "
        "\\t\\x{3000}]*[】\\]〗］)）>〉」』}｝]|正文卷|正文部分|正文|VIP卷|VIP章节|vip卷|ＶＩＰ卷|VIP|"
        "章节目录|最新章节|免费章节|作品相关|[☆★◆◇●○■□※◎]+[、.．]?)[ \\t\\x{3000}:：]*",
        nullptr);
    m_lead = &LeadWords::Get();
}

Matcher::~Matcher() = default;

std::vector<std::string> Matcher::SetAside() const {
    std::vector<std::string> names;
    for (const auto& re : m_rules) {
        if (re->SetAside())
            names.push_back(re->name);
    }
    return names;
}

bool Matcher::MayMatch(std::string_view line) const {
    if (m_anyUserRule)
        return true;
    const std::size_t indent = IndentOf(line);
    if (indent >= line.size())
        return false;
    const auto first = static_cast<unsigned char>(line[indent]);
    if ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))
        return true;
    if (m_bareNumbers && ((first >= '0' && first <= '9') || first >= 0x80))
        return true;
    const std::string_view rest = line.substr(indent);
    for (const auto& word : m_lead->byFirstByte[first]) {
        if (rest.starts_with(word))
            return true;
    }
    // 第 among the first characters (after noise words such as 正文). This
    // runs on every line of a book: two bytes compared, no call.
    for (std::size_t at = 0, chars = 0; at + 1 < rest.size() && chars < 12; ++chars) {
        if (rest[at] == m_lead->di[0] && rest[at + 1] == m_lead->di[1])
            return true;
        at += runtime::CharLengthAt(rest, at);
    }
    return false;
}

std::optional<LineMatch> Matcher::Match(std::string_view line) const {
    if (!MayMatch(line))
        return std::nullopt;
    return MatchAt(line, IndentOf(line), true);
}

std::optional<LineMatch> Matcher::MatchAt(std::string_view line, std::size_t indent,
                                          bool allowSameLine) const {
    if (indent >= line.size())
        return std::nullopt;
    // The head of the line, cut at a character boundary, decoded.
    std::size_t headEnd = indent;
    std::size_t lineChars = 0;
    while (headEnd < line.size() && headEnd - indent < kHeadBytes) {
        headEnd += runtime::CharLengthAt(line, headEnd);
        ++lineChars;
    }
    headEnd = std::min(headEnd, line.size());
    for (std::size_t at = headEnd; at < line.size(); at += runtime::CharLengthAt(line, at))
        ++lineChars;
    const std::string_view gbkHead = line.substr(indent, headEnd - indent);
    const std::string utf8 = runtime::GbkToUtf8(gbkHead);

    // UTF-8 offset in the head to GBK offset in the line, character by
    // character. A match asks for its offsets in order, so the walk goes on
    // from where the last one stopped; ASCII needs no decoding.
    std::size_t walkedGbk = 0, walkedUtf8 = 0;
    auto gbkOffset = [&](std::size_t utf8Offset) {
        if (utf8Offset < walkedUtf8)
            walkedGbk = walkedUtf8 = 0;
        std::size_t& g = walkedGbk;
        std::size_t& u = walkedUtf8;
        while (g < gbkHead.size() && u < utf8Offset) {
            const std::size_t n = runtime::CharLengthAt(gbkHead, g);
            u += n == 1 && static_cast<unsigned char>(gbkHead[g]) < 0x80
                     ? 1
                     : runtime::GbkToUtf8(gbkHead.substr(g, n)).size();
            g += n;
        }
        return indent + g;
    };

    std::size_t skipped = 0;  // noise bytes (UTF-8) before the heading
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string_view subject = std::string_view(utf8).substr(skipped);
        for (const auto& re : m_rules) {
            if (re->SetAside())
                continue;
            const auto m = Run(*re, subject);
            if (!m || m->end == 0)
                continue;
            LineMatch out;
            out.rule = re->rule;
            out.kind = re->kind;
            out.userRule = !re->builtIn;
            std::string unit(m->Span(subject, re->groups.unit));
            for (char& c : unit)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            out.unit = unit;
            const std::string_view num = m->Span(subject, re->groups.num);
            if (!num.empty()) {
                out.number = ParseNumber(num);
                if (!out.number)
                    out.number = EnglishNumber(num);
                if (!out.number)
                    continue;  // 第X章 with something that is no number
            }
            Extent extent{m->end, m->end};
            if (re->builtIn) {
                const auto e = BuiltInExtent(*re, *m, subject, lineChars, unit);
                if (!e)
                    continue;
                extent = *e;
            }
            // Trailing spaces are not part of the heading.
            std::string_view heading = subject.substr(0, extent.headingEnd);
            while (!heading.empty() && (heading.back() == ' ' || heading.back() == '\t'))
                heading.remove_suffix(1);
            while (heading.ends_with("\xE3\x80\x80"))
                heading.remove_suffix(3);
            if (heading.empty())
                continue;
            std::size_t bodyAt = extent.bodyBegin;
            while (bodyAt < subject.size() && (subject[bodyAt] == ' ' || subject[bodyAt] == '\t'))
                ++bodyAt;
            while (subject.substr(bodyAt, 3) == "\xE3\x80\x80")
                bodyAt += 3;
            out.headingBegin = gbkOffset(skipped);
            out.headingEnd = gbkOffset(skipped + heading.size());
            out.bodyBegin = bodyAt >= subject.size() && headEnd == line.size() ? line.size()
                                                                               : gbkOffset(skipped + bodyAt);

            // 第一卷 风起 第一章 少年: a chapter heading after a volume
            // heading on the same line.
            if (allowSameLine && (out.kind == Kind::Part || out.kind == Kind::Volume)) {
                for (std::size_t at = out.headingBegin; at < out.headingEnd;) {
                    const std::size_t n = runtime::CharLengthAt(line, at);
                    const bool space = n == 1 ? line[at] == ' ' || line[at] == '\t'
                                              : n == 2 && line[at] == '\xA1' && line[at + 1] == '\xA1';
                    at += n;
                    if (!space || at >= out.headingEnd)
                        continue;
                    const std::size_t next = at + IndentOf(line.substr(at));
                    if (next >= out.headingEnd)
                        continue;
                    const auto chapter = MatchAt(line, next, false);
                    if (chapter && (chapter->kind == Kind::Chapter || chapter->kind == Kind::Special)) {
                        out.chapterOnSameLine = next;
                        std::size_t end = at;
                        while (end > out.headingBegin && (line[end - 1] == ' ' || line[end - 1] == '\t'))
                            --end;
                        while (end >= out.headingBegin + 2 && line[end - 1] == '\xA1' &&
                               line[end - 2] == '\xA1')
                            end -= 2;
                        out.headingEnd = end;
                        break;
                    }
                }
            }
            return out;
        }
        // No rule at this point: try again after a noise word.
        if (!m_noise)
            break;
        const auto noise = Run(*m_noise, subject);
        if (!noise || noise->end == 0)
            break;
        skipped += noise->end;
    }
    return std::nullopt;
}

}  // namespace qx::headings
