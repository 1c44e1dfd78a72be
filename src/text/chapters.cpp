#include "text/chapters.h"

#include <algorithm>

#include <string_view>

#include "headings/heading_rules.h"
#include "runtime/gbk_text.h"
#include "text/messages.h"
#include "text/index_building.h"

namespace qx::text {
namespace {

using runtime::Trim;
using msg::kAnalysed;
using msg::kLoaded;
using msg::kNoLayoutNeeded;
using namespace detail;

// Reads trimmed lines from the working text.
class LineReader {
public:
    explicit LineReader(runtime::WorkingText& text) : m_text(text) {}
    std::string_view Next() { return Trim(m_text.ReadLine()); }
    // Skips blank lines; gives the first non-blank one, or the empty line
    // when the end of the text comes first.
    std::string_view NextNonBlank() {
        std::string_view line = Next();
        while (line.empty() && !m_text.AtEnd()) line = Next();
        return line;
    }
    std::int64_t Offset() const { return m_text.Position(); }
    bool AtEnd() const { return m_text.AtEnd(); }

    // A chapter body runs until two blank lines in a row (or the end of the
    // text). Returns the offset of the first of those two blank lines.
    std::int64_t SkipBody() {
        for (;;) {
            const std::int64_t end = Offset();
            if (Next().empty() && Next().empty()) return end;
            if (AtEnd()) return end;
        }
    }

private:
    runtime::WorkingText& m_text;
};

int DigitCount(std::int64_t n) {
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

Text ZeroPadded(std::int64_t value, int width) {
    Text digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

void LoadOneLine(LineReader& in, ChapterIndex& index) {
    do {
        Text title(in.NextNonBlank());
        const std::size_t k = index.titles.size();
        AddChapter(index, std::move(title), in.Offset());
        SetChapterEnd(index, k, in.SkipBody());
    } while (!in.AtEnd());
}

// Returns the volume count.
int LoadSeparateLines(LineReader& in, ChapterIndex& index, std::vector<Text>& chapterLabels) {
    int volumes = 0;
    int chapterInVolume = 1;
    Text volumeName;
    Text volumeNameHalf;
    int volumeNode = 0;
    while (!in.AtEnd()) {
        Text title(in.NextNonBlank());
        std::int64_t start = in.Offset();

        // Volume test: two blank lines after the title.
        bool isVolume = in.Next().empty() && in.Next().empty();
        if (isVolume) {
            if (in.AtEnd()) break;  // a title followed only by blank lines: the text ends here
            volumeName = std::move(title);
            volumeNameHalf = runtime::ToHalfWidth(volumeName);
            AppendSequenceNumbers(chapterInVolume - 1, chapterLabels);
            ++volumes;
            chapterInVolume = 1;
            volumeNode = index.tree.Count();
            index.tree.Add(volumeNameHalf);
            // The line after a volume title is always a chapter title. When the
            // text ends first, the volume keeps one chapter with an empty title
            // and body, so no volume is left without a chapter.
            title = Text(in.NextNonBlank());
            start = in.Offset();
        }

        auto texts = ChapterTextsOf(title, volumeName, volumeNameHalf);
        const std::size_t k = index.titles.size();
        AddChapter(index, std::move(texts.entry), start);
        index.tree.Add(std::move(texts.node), volumeNode);
        index.volumeNumbers.push_back(std::to_string(volumes));
        ++chapterInVolume;
        SetChapterEnd(index, k, in.SkipBody());
    }
    AppendSequenceNumbers(chapterInVolume - 1, chapterLabels);
    return volumes;
}

}  // namespace

namespace detail {

void BuildLabels(ChapterIndex& index, const std::vector<Text>& chapterLabels, int volumeCount) {
    const int width = DigitCount(volumeCount);
    index.labels.clear();
    index.labels.reserve(chapterLabels.size());
    for (std::size_t i = 0; i < chapterLabels.size(); ++i) {
        const Text& volume = i < index.volumeNumbers.size() ? index.volumeNumbers[i] : Text();
        const auto number = static_cast<std::int64_t>(runtime::TextToNumber(volume));
        index.labels.push_back(ZeroPadded(number, width) + "_" + chapterLabels[i]);
    }
}

void ClearForLoad(ChapterIndex& index) {
    index.titles.clear();
    index.sizes.clear();
    index.volumeNumbers.clear();
    index.labels.clear();
    index.ChapterStart.clear();
    index.ChapterEnd.clear();
    index.tree.Clear();
    index.cursor = -1;
    index.warnings.clear();
}

void AddChapter(ChapterIndex& index, Text title, std::int64_t start) {
    index.titles.push_back(std::move(title));
    index.sizes.push_back(0);
    index.ChapterStart.push_back(start);
}

void SetChapterEnd(ChapterIndex& index, std::size_t chapter, std::int64_t end) {
    if (index.ChapterEnd.size() < chapter + 2) index.ChapterEnd.resize(chapter + 2, 0);
    index.ChapterEnd[chapter + 1] = end;
}

ChapterTexts ChapterTextsOf(const Text& title, const Text& volumeName, const Text& volumeNameHalf) {
    static const Text kFullWidthSpace(runtime::kIdeographicSpace);
    if (volumeName.empty()) return {title, title};
    if (IsPictureTitle(volumeName)) return {volumeNameHalf + " " + title, title};
    Text node = runtime::ToHalfWidth(title);
    return {volumeNameHalf + kFullWidthSpace + node, node};
}

}  // namespace detail

bool IsPictureTitle(std::string_view title) { return title.substr(0, 4) == "<img"; }

void AppendSequenceNumbers(std::int32_t n, std::vector<Text>& list) {
    if (n <= 0) return;
    const int digits = DigitCount(n);
    // Room grows by doubling: reserving exactly the new size on every volume
    // would move all labels again for each one of many small volumes.
    const std::size_t needed = list.size() + static_cast<std::size_t>(n);
    if (needed > list.capacity()) list.reserve(std::max(needed, list.capacity() * 2));
    for (std::int32_t i = 1; i <= n; ++i) list.push_back(ZeroPadded(i, digits));
}

void LoadChapters(Book& book, LayoutMode mode, runtime::Ui& ui, const headings::RuleSet* rules) {
    if (book.workingText.IsOpen()) book.mode = mode;
    if (mode == LayoutMode::Headings) {
        if (rules) {
            LoadChaptersByHeadings(book, *rules, ui);
        } else {
            LoadChaptersByHeadings(book, headings::RuleSet::BuiltIn(), ui);
        }
        return;
    }
    auto& text = book.workingText;
    if (!text.SeekStart()) return;
    auto& index = book.index;
    ClearForLoad(index);
    index.ChapterEnd.assign(1, text.Position());

    LineReader in(text);
    std::vector<Text> chapterLabels;
    int volumes = 0;
    if (mode == LayoutMode::OneLine) {
        LoadOneLine(in, index);
    } else {
        volumes = LoadSeparateLines(in, index, chapterLabels);
    }

    BuildLabels(index, chapterLabels, volumes);
    const std::size_t n = index.titles.size();
    index.ChapterEnd.resize(n + 1, 0);
    index.ChapterEnd[n] = text.Position();
    index.cursor = n > 0 ? 0 : -1;
    ui.Status(kLoaded);
}

void AnalyzeChapters(Book& book, LayoutMode mode, runtime::Ui& ui) {
    if (!book.workingText.SeekStart()) return;
    auto& index = book.index;
    if (mode == LayoutMode::SeparateLines && index.tree.Count() > 0) {
        ui.Status(kNoLayoutNeeded);
        return;
    }
    if (mode == LayoutMode::Headings && index.tree.Count() > 0) {
        ui.Status(msg::kHeadingsNeedNoAnalysis);
        return;
    }
    index.volumeNumbers.clear();
    index.labels.clear();
    index.tree.Clear();

    int volumes = 0;
    int chapterInVolume = 1;
    int volumeNode = 0;
    std::vector<Text> chapterLabels;
    index.volumeNumbers.reserve(index.titles.size());
    for (const Text& title : index.titles) {
        const std::string_view t = title;
        std::string_view prefix = t.substr(0, std::min(t.find(' '), t.size()));
        if (prefix == "<img") {
            // A picture: the volume is the tag up to the space after it.
            const auto space = t.size() > 5 ? t.find(' ', 5) : std::string_view::npos;
            prefix = space == std::string_view::npos ? std::string_view() : t.substr(0, space);
        }
        if (prefix.empty()) prefix = t;

        if (prefix != index.tree.TextOf(volumeNode)) {
            AppendSequenceNumbers(chapterInVolume - 1, chapterLabels);
            ++volumes;
            chapterInVolume = 1;
            volumeNode = index.tree.Count();
            index.tree.Add(Text(prefix));
            index.tree.Emphasise(volumeNode);
        }
        const bool whole = prefix.size() == t.size();
        index.tree.Add(whole ? title : Text(t.substr(prefix.size() + 1)), volumeNode);
        index.volumeNumbers.push_back(std::to_string(volumes));
        ++chapterInVolume;
    }
    AppendSequenceNumbers(chapterInVolume - 1, chapterLabels);
    BuildLabels(index, chapterLabels, volumes);
    ui.Status(kAnalysed);
}

}  // namespace qx::text
