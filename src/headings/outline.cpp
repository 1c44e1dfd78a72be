#include "headings/outline.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "runtime/encoding.h"

namespace qx::headings {
namespace {

// How many non-blank lines may stand between a chapter's heading and a line
// that repeats its number for that line still to count as the title shown
// again (sites often repeat it as the first line of the text).
constexpr int kRepeatWindow = 2;
// A run of headings with nothing between them, this long or longer, that is
// later numbered again from its start: a list of contents.
constexpr std::size_t kContentsRun = 3;

struct Candidate {
    std::int64_t lineStart = 0;
    std::int64_t bodyStart = 0;
    std::int64_t ordinal = 0;  // non-blank lines before this one
    Kind kind = Kind::Chapter;
    std::optional<int> number;
    std::string family;
    std::string title;  // GBK
    int rule = -1;
    bool dropped = false;
    bool afterVolume = false;  // the first chapter candidate after an accepted volume
    bool indented = false;
};

std::string FamilyOf(const LineMatch& m) {
    if (m.userRule)
        return "rule" + std::to_string(m.rule);
    return m.unit;
}

// Calls `visit(lineStart, line)` for every line, the line without its end.
template <class Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const void* lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
        const std::size_t end =
            lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) : text.size();
        std::size_t lineEnd = end;
        if (lineEnd > pos && text[lineEnd - 1] == '\r')
            --lineEnd;
        visit(pos, text.substr(pos, lineEnd - pos));
        pos = end + 1;
    }
}

std::vector<Candidate> Scan(std::string_view text, const Matcher& matcher) {
    std::vector<Candidate> out;
    std::int64_t ordinal = 0;
    ForEachLine(text, [&](std::size_t start, std::string_view line) {
        if (IsBlankLine(line))
            return;
        if (matcher.MayMatch(line)) {
            if (const auto m = matcher.Match(line)) {
                Candidate c;
                c.lineStart = static_cast<std::int64_t>(start);
                c.ordinal = ordinal;
                c.kind = m->kind;
                c.number = m->number;
                c.family = FamilyOf(*m);
                c.title = std::string(line.substr(m->headingBegin, m->headingEnd - m->headingBegin));
                c.rule = m->rule;
                c.indented = m->headingBegin > 0 && IndentOf(line) > 0;
                const std::size_t bodyAt = m->chapterOnSameLine ? *m->chapterOnSameLine : m->bodyBegin;
                // A heading that fills its line: the body starts on the next line.
                const bool whole = bodyAt >= line.size();
                const std::size_t next =
                    start + line.size() +
                    (text.size() > start + line.size() && text[start + line.size()] == '\r' ? 2 : 1);
                c.bodyStart = whole ? static_cast<std::int64_t>(std::min(next, text.size()))
                                    : static_cast<std::int64_t>(start + bodyAt);
                out.push_back(c);
                if (m->chapterOnSameLine) {
                    // The chapter heading that shares the volume's line.
                    const std::string_view rest = line.substr(*m->chapterOnSameLine);
                    if (const auto chapter = matcher.Match(rest)) {
                        Candidate ch = c;
                        ch.kind = chapter->kind;
                        ch.number = chapter->number;
                        ch.family = FamilyOf(*chapter);
                        ch.title = std::string(
                            rest.substr(chapter->headingBegin, chapter->headingEnd - chapter->headingBegin));
                        ch.rule = chapter->rule;
                        const bool chapterWhole = chapter->bodyBegin >= rest.size();
                        ch.bodyStart = chapterWhole ? static_cast<std::int64_t>(std::min(next, text.size()))
                                                    : static_cast<std::int64_t>(
                                                          start + *m->chapterOnSameLine + chapter->bodyBegin);
                        out.back().bodyStart = static_cast<std::int64_t>(start + *m->chapterOnSameLine);
                        out.push_back(ch);
                    }
                }
            }
        }
        ++ordinal;
    });
    return out;
}

// Book-level kind of 第N卷/部/集/篇: volumes beside numbered chapters.
void ResolveParts(std::vector<Candidate>& cs) {
    const auto chapters = std::count_if(cs.begin(), cs.end(), [](const Candidate& c) {
        return c.kind == Kind::Chapter && c.number.has_value();
    });
    for (auto& c : cs) {
        if (c.kind == Kind::Part)
            c.kind = chapters >= 2 ? Kind::Volume : Kind::Chapter;
    }
}

bool IsNumberedChapter(const Candidate& c) {
    return !c.dropped && c.kind == Kind::Chapter && c.number;
}

// A list of contents: headings one after the other with nothing between
// them, numbered again later in the book from the list's first number.
void DropContentsLists(std::vector<Candidate>& cs) {
    std::size_t i = 0;
    while (i < cs.size()) {
        // A run of heading lines with nothing between them, numbered one
        // after the other.
        std::size_t j = i + 1;
        while (j < cs.size() && cs[j].ordinal == cs[j - 1].ordinal + 1 &&
               !(cs[j].number && cs[j - 1].number && cs[j].family == cs[j - 1].family &&
                 *cs[j].number != *cs[j - 1].number + 1)) {
            ++j;
        }
        // [i, j) is a run of consecutive heading lines.
        std::size_t numbered = 0;
        const Candidate* first = nullptr;
        for (std::size_t k = i; k < j; ++k) {
            if (IsNumberedChapter(cs[k])) {
                ++numbered;
                if (!first)
                    first = &cs[k];
            }
        }
        if (numbered >= kContentsRun && first) {
            const bool numberedAgain =
                std::any_of(cs.begin() + static_cast<std::ptrdiff_t>(j), cs.end(), [&](const Candidate& c) {
                    return IsNumberedChapter(c) && c.family == first->family && c.number == first->number;
                });
            if (numberedAgain) {
                for (std::size_t k = i; k < j; ++k)
                    cs[k].dropped = true;
            }
        }
        i = j;
    }
}

// Where the numbered headings stand at the start of their lines, an
// indented line with a word such as 附录 is a line of the text that happens
// to begin with it.
void DropIndentedSpecials(std::vector<Candidate>& cs) {
    std::size_t numbered = 0, flush = 0;
    for (const auto& c : cs) {
        if (!IsNumberedChapter(c))
            continue;
        ++numbered;
        if (!c.indented)
            ++flush;
    }
    if (numbered < 3 || flush * 10 < numbered * 8)
        return;
    for (auto& c : cs) {
        if (c.kind == Kind::Special && c.indented)
            c.dropped = true;
    }
}

// The next candidate after `i` of the same family that is not dropped yet.
const Candidate* NextInFamily(const std::vector<Candidate>& cs, std::size_t i) {
    for (std::size_t k = i + 1; k < cs.size(); ++k) {
        if (!cs[k].dropped && cs[k].kind == cs[i].kind && cs[k].family == cs[i].family && cs[k].number)
            return &cs[k];
    }
    return nullptr;
}

void CheckSequences(std::vector<Candidate>& cs) {
    struct State {
        std::optional<int> last;
    };
    std::map<std::string, State> families;
    const Candidate* lastAccepted = nullptr;
    const Candidate* lastInFamily = nullptr;
    std::optional<int> volumeNumber;
    std::string volumeTitle;
    bool afterVolume = false;
    for (std::size_t i = 0; i < cs.size(); ++i) {
        Candidate& c = cs[i];
        if (c.dropped)
            continue;
        if (c.kind == Kind::Volume) {
            // The same volume heading again (a site repeating it before every
            // chapter) starts no new volume; it stays in the text.
            if (lastAccepted && c.number == volumeNumber && c.title == volumeTitle) {
                c.dropped = true;
                continue;
            }
            volumeNumber = c.number;
            volumeTitle = c.title;
            afterVolume = true;
            lastAccepted = &c;
            continue;
        }
        if (!c.number) {  // special headings, and user rules without a number
            lastAccepted = &c;
            continue;
        }
        State& s = families[c.family];
        bool accept = true;
        if (s.last) {
            const int n = *c.number;
            const int last = *s.last;
            if (afterVolume && (n == 1 || n == last + 1)) {
                accept = true;
            } else if (n == last + 1) {
                accept = true;
            } else if (n == last) {
                const std::int64_t between = lastAccepted ? c.ordinal - lastAccepted->ordinal - 1 : 0;
                // The title shown again right under the heading.
                accept = !(lastAccepted == lastInFamily && lastInFamily && between <= kRepeatWindow &&
                           lastInFamily->family == c.family);
            } else if (n < last) {
                const Candidate* next = NextInFamily(cs, i);
                accept = n == 1 || (next && next->number == n + 1);
            } else {
                const Candidate* next = NextInFamily(cs, i);
                accept = !(next && next->number == last + 1);
            }
        }
        if (!accept) {
            c.dropped = true;
            continue;
        }
        c.afterVolume = afterVolume;
        afterVolume = false;
        s.last = c.number;
        lastAccepted = &c;
        lastInFamily = &c;
    }
}

FoundHeading ToFound(const Candidate& c) {
    FoundHeading h;
    h.lineStart = c.lineStart;
    h.bodyStart = c.bodyStart;
    h.volume = c.kind == Kind::Volume;
    h.special = c.kind == Kind::Special || (c.kind == Kind::Chapter && !c.number);
    h.title = c.title;
    h.number = c.number;
    h.family = c.family;
    h.rule = c.rule;
    return h;
}

// Without volume headings, chapter numbering that starts again at one
// begins a new volume; the volumes get generated titles.
void AddVolumesAtRestarts(const std::vector<Candidate>& cs, Outline& outline) {
    if (std::any_of(cs.begin(), cs.end(),
                    [](const Candidate& c) { return !c.dropped && c.kind == Kind::Volume; })) {
        return;
    }
    std::map<std::string, int> last;
    std::vector<std::size_t> restarts;  // indexes into outline.headings
    std::optional<std::size_t> firstNumbered;
    for (std::size_t i = 0; i < outline.headings.size(); ++i) {
        const auto& h = outline.headings[i];
        if (h.volume || !h.number)
            continue;
        if (!firstNumbered)
            firstNumbered = i;
        const auto it = last.find(h.family);
        if (it != last.end() && *h.number == 1 && it->second > 1)
            restarts.push_back(i);
        last[h.family] = *h.number;
    }
    if (restarts.empty())
        return;
    restarts.insert(restarts.begin(), *firstNumbered);
    std::vector<FoundHeading> with;
    std::size_t r = 0;
    int volume = 0;
    for (std::size_t i = 0; i < outline.headings.size(); ++i) {
        if (r < restarts.size() && restarts[r] == i) {
            FoundHeading v;
            v.volume = true;
            v.synthetic = true;
            v.lineStart = outline.headings[i].lineStart;
            v.bodyStart = outline.headings[i].lineStart;
            v.number = ++volume;
            v.title = runtime::Utf8ToGbk("第" + ChineseNumeral(volume) + "卷");
            v.family = "volume";
            with.push_back(std::move(v));
            ++r;
        }
        with.push_back(outline.headings[i]);
    }
    outline.headings = std::move(with);
}

}  // namespace

Outline FindHeadings(std::string_view text, const Matcher& matcher) {
    std::vector<Candidate> cs = Scan(text, matcher);
    ResolveParts(cs);
    DropContentsLists(cs);
    DropIndentedSpecials(cs);
    CheckSequences(cs);
    Outline outline;
    for (const auto& c : cs) {
        if (c.dropped) {
            ++outline.rejected;
        } else {
            outline.headings.push_back(ToFound(c));
        }
    }
    AddVolumesAtRestarts(cs, outline);
    return outline;
}

std::vector<int> CountPerRule(std::string_view text, const Matcher& matcher) {
    std::vector<int> counts(matcher.RuleCount(), 0);
    ForEachLine(text, [&](std::size_t, std::string_view line) {
        if (!matcher.MayMatch(line))
            return;
        if (const auto m = matcher.Match(line)) {
            if (m->rule >= 0 && static_cast<std::size_t>(m->rule) < counts.size())
                ++counts[static_cast<std::size_t>(m->rule)];
        }
    });
    return counts;
}

std::string ChineseNumeral(int value) {
    static const char* const kDigits[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
    if (value <= 0)
        return kDigits[0];
    if (value >= 10000)
        return std::to_string(value);
    std::string out;
    const int thousands = value / 1000, hundreds = value / 100 % 10, tens = value / 10 % 10,
              ones = value % 10;
    bool zero = false;  // a 零 is owed before the next digit
    if (thousands)
        out += std::string(kDigits[thousands]) + "千";
    if (hundreds) {
        out += std::string(kDigits[hundreds]) + "百";
    } else if (thousands && (tens || ones)) {
        zero = true;
    }
    if (tens) {
        if (zero)
            out += kDigits[0];
        zero = false;
        if (!(tens == 1 && value < 20))
            out += kDigits[tens];
        out += "十";
    } else if ((thousands || hundreds) && ones) {
        zero = true;
    }
    if (ones) {
        if (zero)
            out += kDigits[0];
        out += kDigits[ones];
    }
    return out;
}

SequenceVerdict JudgeSequence(const Outline& outline) {
    SequenceVerdict v;
    std::map<std::string, int> last;
    for (const auto& h : outline.headings) {
        if (h.volume)
            continue;
        ++v.chapters;
        if (!h.number)
            continue;
        ++v.numbered;
        if (v.firstTitle.empty())
            v.firstTitle = h.title;
        const auto it = last.find(h.family);
        if (it == last.end() || *h.number == it->second + 1 || *h.number == 1)
            ++v.inOrder;
        last[h.family] = *h.number;
    }
    v.consistent = v.numbered >= 3 && v.inOrder * 10 >= v.numbered * 7;
    return v;
}

}  // namespace qx::headings
