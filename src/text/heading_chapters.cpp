// Compiled as GBK: the texts here are the program's own, in GBK bytes.
//
// Loading by headings: the headings that the rules find become the Index,
// built the way separate-lines mode builds it (entry and node texts, volume
// numbers, labels), so every later step works on it unchanged. A chapter's
// body runs from after its heading to the last line with text before the
// next heading; the last chapter's body runs to the end of the text.

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "headings/outline.h"
#include "runtime/encoding.h"
#include "runtime/gbk_text.h"
#include "text/chapters.h"
#include "text/index_building.h"
#include "text/messages.h"

namespace qx::text {
namespace {

using namespace detail;
using headings::IsBlankLine;

// The offset just after the last line with text in [from, to), or `from`
// when there is none.
std::int64_t ContentEnd(std::string_view text, std::int64_t from, std::int64_t to) {
    if (to > static_cast<std::int64_t>(text.size()))
        to = static_cast<std::int64_t>(text.size());
    while (to > from) {
        // The line that ends at `to` (its line end included).
        std::int64_t lineStart = from;
        if (to - 1 > from) {
            const void* lf = memrchr(text.data() + from, '\n', static_cast<std::size_t>(to - 1 - from));
            if (lf)
                lineStart = static_cast<const char*>(lf) - text.data() + 1;
        }
        if (!IsBlankLine(
                text.substr(static_cast<std::size_t>(lineStart), static_cast<std::size_t>(to - lineStart)))) {
            return to;
        }
        to = lineStart;
    }
    return from;
}

// The text before the first heading is only the book's own title line
// (《书名》作者): the e-book's title page says as much, so it makes no chapter.
bool IsOnlyBookTitleLine(std::string_view front) {
    int lines = 0;
    std::string_view title;
    std::size_t pos = 0;
    while (pos < front.size()) {
        const auto lf = front.find('\n', pos);
        const std::string_view line =
            front.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        if (!IsBlankLine(line)) {
            ++lines;
            title = runtime::Trim(line.substr(0, line.find('\r')));
        }
        pos = lf == std::string_view::npos ? front.size() : lf + 1;
    }
    return lines == 1 && title.size() <= 64 && title.substr(0, 2) == "《" &&
           title.find("》") != std::string_view::npos;
}

// What the check needs to know of each chapter.
struct Facts {
    std::optional<int> number;
    std::string family;
    bool restartAllowed = false;  // first chapter after a volume heading
    bool front = false;           // front matter and volume introductions: not numbered
    std::int64_t bytes = 0;
    bool hasText = false;
};

void Check(const std::vector<Facts>& facts, std::vector<ChapterWarning>& warnings) {
    struct Seen {
        std::optional<int> last;
        std::map<int, int> chapterOf;  // number → chapter index, since the last restart
    };
    std::map<std::string, Seen> families;
    for (std::size_t k = 0; k < facts.size(); ++k) {
        const Facts& f = facts[k];
        if (!f.number)
            continue;
        Seen& s = families[f.family];
        const int n = *f.number;
        if (f.restartAllowed && n == 1)
            s.chapterOf.clear();
        if (s.last && !(f.restartAllowed && n == 1)) {
            const int last = *s.last;
            const int chapter = static_cast<int>(k);
            const auto twin = s.chapterOf.find(n);
            if (n < last) {
                warnings.push_back({chapter, WarningKind::Backwards, msg::BackwardsWarning(last, n)});
            } else if (twin != s.chapterOf.end()) {
                warnings.push_back(
                    {chapter, WarningKind::Duplicate, msg::DuplicateWarning(n, twin->second + 1)});
            } else if (n > last + 1) {
                warnings.push_back({chapter, WarningKind::Gap, msg::GapWarning(last, n)});
            }
        }
        s.last = n;
        s.chapterOf.emplace(n, static_cast<int>(k));
    }

    // Sizes: a chapter far longer than the usual one has probably swallowed
    // the next chapter's heading.
    std::vector<std::int64_t> sizes;
    for (const Facts& f : facts) {
        if (f.hasText && !f.front)
            sizes.push_back(f.bytes);
    }
    std::int64_t median = 0;
    if (sizes.size() >= 5) {
        std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2),
                         sizes.end());
        median = sizes[sizes.size() / 2];
    }
    for (std::size_t k = 0; k < facts.size(); ++k) {
        const Facts& f = facts[k];
        if (!f.hasText) {
            warnings.push_back({static_cast<int>(k), WarningKind::Empty, Text(msg::kEmptyWarning)});
        } else if (median > 0 && f.bytes > 4 * median && f.bytes > median + 20000) {
            warnings.push_back({static_cast<int>(k), WarningKind::Long,
                                msg::LongWarning(static_cast<int>((f.bytes + median / 2) / median))});
        }
    }
    std::stable_sort(warnings.begin(), warnings.end(),
                     [](const ChapterWarning& a, const ChapterWarning& b) { return a.chapter < b.chapter; });
}

}  // namespace

void LoadChaptersByHeadings(Book& book, const headings::RuleSet& rules, runtime::Ui& ui) {
    auto& working = book.workingText;
    if (!working.SeekStart())
        return;
    auto& index = book.index;
    ClearForLoad(index);
    index.ChapterEnd.assign(1, 0);

    const std::string_view text = working.Bytes();
    const auto end = static_cast<std::int64_t>(text.size());
    const headings::Matcher matcher(rules);
    const headings::Outline outline = headings::FindHeadings(text, matcher);
    const auto& hs = outline.headings;

    int volumes = 0;
    int chapterInVolume = 1;
    // Chapters before the first volume stand at the top level, each on its
    // own, rather than under the first of them.
    int volumeNode = -1;
    Text volumeName;
    Text volumeNameHalf;
    std::vector<Text> chapterLabels;
    std::vector<Facts> facts;
    bool afterVolume = false;

    auto addChapter = [&](const Text& title, std::int64_t start, std::int64_t stop, Facts f) {
        auto texts = ChapterTextsOf(title, volumeName, volumeNameHalf);
        const std::size_t k = index.titles.size();
        AddChapter(index, std::move(texts.entry), start);
        index.tree.Add(std::move(texts.node), volumeNode);
        index.volumeNumbers.push_back(std::to_string(volumes));
        ++chapterInVolume;
        const std::int64_t contentEnd = ContentEnd(text, start, stop);
        SetChapterEnd(index, k, std::max(start, contentEnd));
        f.bytes = contentEnd - start;
        f.hasText = contentEnd > start;
        facts.push_back(std::move(f));
    };

    // The text before the first heading: nothing of it is lost.
    const std::int64_t firstLine = hs.empty() ? end : hs.front().lineStart;
    const std::string_view front = text.substr(0, static_cast<std::size_t>(firstLine));
    if (ContentEnd(text, 0, firstLine) > 0 && (hs.empty() || !IsOnlyBookTitleLine(front))) {
        Facts f;
        f.front = true;
        addChapter(Text(msg::kFrontMatterTitle), 0, firstLine, f);
    }

    for (std::size_t i = 0; i < hs.size(); ++i) {
        const auto& h = hs[i];
        const std::int64_t next = i + 1 < hs.size() ? hs[i + 1].lineStart : end;
        if (h.volume) {
            AppendSequenceNumbers(chapterInVolume - 1, chapterLabels);
            ++volumes;
            chapterInVolume = 1;
            volumeName = h.title;
            volumeNameHalf = runtime::ToHalfWidth(volumeName);
            volumeNode = index.tree.Count();
            index.tree.Add(volumeNameHalf);
            afterVolume = true;
            // Text between a volume heading and its first chapter, or a
            // volume without chapters, makes a chapter of the volume's own
            // title, so nothing is lost and no volume is empty.
            const bool textFollows = h.bodyStart < next && ContentEnd(text, h.bodyStart, next) > h.bodyStart;
            const bool chapterFollows = i + 1 < hs.size() && !hs[i + 1].volume;
            if (textFollows || !chapterFollows) {
                Facts f;
                f.front = true;
                addChapter(h.title, std::min(h.bodyStart, next), next, f);
            }
            continue;
        }
        Facts f;
        f.number = h.number;
        f.family = h.family;
        f.restartAllowed = afterVolume;
        afterVolume = false;
        addChapter(h.title, h.bodyStart, next, f);
    }
    AppendSequenceNumbers(chapterInVolume - 1, chapterLabels);
    BuildLabels(index, chapterLabels, volumes);

    const std::size_t n = index.titles.size();
    index.ChapterEnd.resize(n + 1, 0);
    if (n > 0)
        index.ChapterEnd[n] = end;
    index.cursor = n > 0 ? 0 : -1;
    Check(facts, index.warnings);
    working.Seek(end);

    if (const auto slow = matcher.SetAside(); !slow.empty()) {
        std::string names;
        for (const auto& name : slow)
            names += "\r\n" + runtime::Utf8ToGbk(name);
        ui.Message(std::string(msg::kRulesSetAside) + names, runtime::Icon::Exclamation);
    }
    if (hs.empty()) {
        ui.Status(msg::kNoHeadingsFound);
        return;
    }
    std::set<int> suspicious;
    for (const auto& w : index.warnings)
        suspicious.insert(w.chapter);
    ui.Status(msg::HeadingsLoaded(static_cast<int>(n), volumes, static_cast<int>(suspicious.size())));
}

}  // namespace qx::text
