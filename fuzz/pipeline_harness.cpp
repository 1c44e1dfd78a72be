#include "pipeline_harness.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

#include "app/default_parameters.h"
#include "epub/book_plan.h"
#include "epub/documents.h"
#include "epub/zip_writer.h"
#include "output/page_generation.h"
#include "runtime/encoding.h"
#include "runtime/gbk_text.h"
#include "text/layout.h"
#include "text/next_step.h"
#include "text/preview.h"

namespace qx::fuzz {
namespace {

using runtime::Answer;

// Says nothing, answers the step's one question as the input chose, and
// never cancels.
class QuietUi : public runtime::Ui {
public:
    explicit QuietUi(Answer answer) : m_answer(answer) {}
    void Status(std::string_view, bool) override {}
    Answer Ask(std::string_view, runtime::Buttons buttons, runtime::Icon, std::string_view) override {
        if (buttons == runtime::Buttons::Ok) return Answer::Ok;
        if (buttons == runtime::Buttons::YesNo && m_answer == Answer::Cancel) return Answer::No;
        return m_answer;
    }
    void Message(std::string_view, runtime::Icon) override {}

private:
    Answer m_answer;
};

// Every byte a well-formed UTF-8 sequence, and no character XML forbids.
bool IsXmlText(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
            ++i;
            continue;
        }
        int n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (n == 0 || i + static_cast<std::size_t>(n) > s.size()) return false;
        std::uint32_t cp = c & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
        for (int k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

// Tags open and close in order (a cheap well-formedness test: the writer's
// own markup, with every text escaped, has no '<' or '&' of its own).
bool TagsBalanced(std::string_view doc) {
    std::vector<std::string_view> open;
    std::size_t pos = 0;
    while ((pos = doc.find('<', pos)) != std::string_view::npos) {
        const std::size_t end = doc.find('>', pos);
        if (end == std::string_view::npos) return false;
        std::string_view tag = doc.substr(pos + 1, end - pos - 1);
        pos = end + 1;
        if (tag.empty()) return false;
        if (tag[0] == '?' || tag[0] == '!') continue;
        if (tag.back() == '/') continue;
        const bool closing = tag[0] == '/';
        if (closing) tag.remove_prefix(1);
        const std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n"));
        if (closing) {
            if (open.empty() || open.back() != name) return false;
            open.pop_back();
        } else {
            open.push_back(name);
        }
    }
    // Text outside tags holds no stray '>' made from the book's own text
    // only when escaped; '&' must start an entity.
    for (std::size_t amp = doc.find('&'); amp != std::string_view::npos; amp = doc.find('&', amp + 1)) {
        const std::size_t semi = doc.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 10) return false;
    }
    return open.empty();
}

void CheckDocument(const std::string& doc, const char* what) {
    Require(IsXmlText(doc), what);
    Require(TagsBalanced(doc), what);
}

void RunEpub(const text::Book& book, std::string_view title, std::string_view author) {
    const auto& index = book.index;
    const epub::Plan plan = epub::MakePlan(index, "/nonexistent/qx-fuzz/book.txt");
    Require(plan.pictures.empty(), "an EPUB picture that no file has");
    epub::BookFacts facts;
    facts.title = runtime::GbkToUtf8(runtime::Trim(title));
    facts.author = runtime::GbkToUtf8(runtime::Trim(author));
    facts.language = "zh-CN";
    facts.identifier = "urn:uuid:00000000-0000-5000-8000-000000000000";
    facts.modified = "2026-01-01T00:00:00Z";
    int chapterPages = 0;
    std::set<std::string> hrefs;
    for (const epub::Page& page : plan.pages) {
        Require(!page.label.empty(), "an EPUB contents entry without text");
        Require(hrefs.insert(page.href).second, "two EPUB pages with one name");
        Require(page.volumePage < 0 || (static_cast<std::size_t>(page.volumePage) < plan.pages.size() &&
                                        plan.pages[static_cast<std::size_t>(page.volumePage)].kind ==
                                            epub::Page::Kind::Volume),
                "an EPUB page under something that is no volume page");
        std::string doc;
        if (page.kind == epub::Page::Kind::Volume) {
            doc = epub::VolumePage(facts, plan, page);
        } else {
            Require(page.chapter == chapterPages, "EPUB chapter pages out of book order");
            ++chapterPages;
            const auto k = static_cast<std::size_t>(page.chapter);
            const std::string_view text = book.workingText.Bytes();
            const auto start = static_cast<std::size_t>(index.ChapterStart[k]);
            const auto end = static_cast<std::size_t>(index.ChapterEnd[k + 1]);
            doc = epub::ChapterPage(facts, plan, page, start < end ? text.substr(start, end - start) : std::string_view());
        }
        CheckDocument(doc, "an EPUB page that is no well-formed XML text");
        const auto packed = epub::Compress(doc);
        Require(packed.size == doc.size(), "an EPUB page packed to another size");
    }
    Require(chapterPages == index.ChapterCount(), "an EPUB without a page for every chapter");
    CheckDocument(epub::NavigationDocument(facts, plan), "an EPUB contents document that is no well-formed XML");
    CheckDocument(epub::Ncx(facts, plan), "an EPUB NCX that is no well-formed XML");
    CheckDocument(epub::PackageDocument(facts, plan), "an EPUB package document that is no well-formed XML");
    CheckDocument(epub::TitlePage(facts), "an EPUB title page that is no well-formed XML");
}

}  // namespace

bool WellFormedUtf8(std::string_view s, std::vector<std::uint32_t>* out) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (out) out->push_back(c);
            ++i;
            continue;
        }
        const int n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (n == 0 || i + static_cast<std::size_t>(n) > s.size()) return false;
        std::uint32_t cp = c & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
        for (int k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (out) out->push_back(cp);
        i += static_cast<std::size_t>(n);
    }
    return true;
}

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "pipeline check failed: %s\n", what);
    std::abort();
}

void CheckIndex(const text::Book& book) {
    const auto& index = book.index;
    const auto n = static_cast<std::size_t>(index.ChapterCount());
    const auto size = book.workingText.Size();
    Require(index.labels.size() == n, "not one label per chapter");
    Require(index.volumeNumbers.size() == n, "not one volume number per chapter");
    Require(index.sizes.size() == n, "not one size per chapter");
    Require(index.ChapterStart.size() >= n && index.ChapterEnd.size() >= n + 1, "offset tables shorter than the book");
    Require(index.cursor >= -1 && index.cursor < static_cast<int>(n), "a cursor outside the chapter list");
    std::set<std::string> labels(index.labels.begin(), index.labels.end());
    Require(labels.size() == n, "two chapters with one label (one fragment file for both)");
    if (n > 0) Require(index.ChapterEnd[0] >= 0 && index.ChapterEnd[0] <= size, "the start outside the text");
    for (std::size_t k = 0; k < n; ++k) {
        const auto start = index.ChapterStart[k];
        const auto end = index.ChapterEnd[k + 1];
        Require(start >= 0 && start <= size && end >= 0 && end <= size, "a chapter offset outside the working text");
        Require(index.ChapterEnd[k] <= start, "a chapter starting before the previous one ends");
        Require(start <= end, "a chapter ending before it starts");
    }
    const auto& tree = index.tree;
    for (int i = 0; i < tree.Count(); ++i) {
        const int parent = tree.At(i).parent;
        Require(parent == -1 || (parent >= 0 && parent < i), "a node whose parent is not before it");
        Require(parent == -1 || tree.At(parent).parent == -1, "a node under a node that is no volume");
    }
    if (tree.Count() == 0) {
        Require(n == 0, "chapters without a tree");
        return;
    }
    std::vector<bool> chapterNode(static_cast<std::size_t>(tree.Count()), false);
    int previous = -1;
    for (std::size_t k = 0; k < n; ++k) {
        const int node = index.NodeOfChapter(static_cast<int>(k));
        Require(node > previous, "a chapter without its node, or chapter nodes out of order");
        chapterNode[static_cast<std::size_t>(node)] = true;
        previous = node;
    }
    for (int i = 0; i < tree.Count(); ++i) {
        if (chapterNode[static_cast<std::size_t>(i)]) continue;
        Require(tree.At(i).parent == -1, "a node that is neither chapter nor volume");
        Require(!text::ChaptersOf(tree, i).Empty(), "a volume node without a chapter");
        Require(chapterNode[static_cast<std::size_t>(i + 1)], "a volume node not followed by its chapter");
    }
}

PipelineFigures RunPipeline(std::string_view input, const ScriptSink& scripts) {
    PipelineFigures figures;
    if (input.size() < 3) return figures;
    const auto b0 = static_cast<unsigned char>(input[0]);
    const auto b1 = static_cast<unsigned char>(input[1]);
    const auto b2 = static_cast<unsigned char>(input[2]);
    std::string_view text = input.substr(3);

    text::FilePage page;
    page.inputPath = "book.txt";
    switch (b0 & 3) {
        case 0: page.mode = text::LayoutMode::SeparateLines; break;
        case 1: page.mode = text::LayoutMode::OneLine; break;
        case 2: page.mode = text::LayoutMode::Headings; break;
        default: page.chooseMode = true; break;
    }
    const bool automaticLayout = (b0 & 4) != 0;
    const int manualFrom = b0 >> 3;
    switch (b1 & 7) {
        case 1: page.convert = page.fromUnicode = true; break;
        case 2: page.convert = page.fromBig5 = true; break;
        case 3: page.convert = page.fromTraditionalGbk = true; break;
        case 4: page.convert = page.fromUtf8 = true; break;
        case 5: page.detectEncoding = true; break;
        default: break;
    }
    page.simplify = (b1 & 8) != 0;
    page.keepTraditional = (b1 & 16) != 0;
    static constexpr Answer kAnswers[] = {Answer::Yes, Answer::No, Answer::Cancel, Answer::Cancel};
    QuietUi ui(kAnswers[(b1 >> 5) & 3]);
    const bool epub = (b1 & 128) != 0;

    // Title and author: bytes from the end of the input, so they can be
    // anything a user may type (GBK).
    std::size_t titleLength = std::min<std::size_t>(b2 & 15, text.size());
    const std::string titleBytes(text.substr(text.size() - titleLength));
    text.remove_suffix(titleLength);
    std::size_t authorLength = std::min<std::size_t>(b2 >> 4, text.size());
    const std::string authorBytes(text.substr(text.size() - authorLength));
    text.remove_suffix(authorLength);
    const std::string title = titleBytes.empty() ? "Book" : titleBytes;
    const std::string author = authorBytes.empty() ? "Author" : authorBytes;

    text::Book book;
    const auto result = text::RunNextStepOnBytes(std::string(text), page, book, ui, automaticLayout);
    if (result != text::NextStepResult::Loaded) return figures;
    figures.loaded = true;
    figures.chapters = book.index.ChapterCount();
    Require(book.workingText.IsOpen(), "loaded without a working text");
    CheckIndex(book);

    auto& index = book.index;
    // Layout changes node texts only.
    const std::size_t nodes = static_cast<std::size_t>(index.tree.Count());
    text::AutomaticLayout(index, page.mode, ui);
    CheckIndex(book);
    for (int node = manualFrom; node < index.tree.Count() && node < manualFrom + 64; node += 7) {
        text::ManualLayout(index, node, page.mode, ui);
    }
    text::ManualLayout(index, index.tree.Count() - 1, page.mode, ui);
    Require(static_cast<std::size_t>(index.tree.Count()) == nodes, "layout added or removed nodes");
    CheckIndex(book);

    // Both previews.
    for (int node = -1; node <= index.tree.Count() && node < 256; ++node) {
        (void)text::BalloonText(index.tree, node, (node & 1) != 0);
    }
    const auto preview = text::BuildPreviewPage(index.tree, title, author, "C:\\books\\");
    Require(preview.has_value() == (index.tree.Count() > 0), "a contents page for an empty tree, or none for a book");

    // Every fragment, then the page table that reads their sizes.
    const output::ParameterTexts parameters = app::DefaultParameterTexts();
    output::PageContext context{title, author, &parameters, 2};
    for (int k = 0; k < index.ChapterCount(); ++k) {
        index.cursor = k;
        const auto fragment = output::BuildChapterFragment(book, context);
        int size = -1;
        const auto again = output::BuildChapterFragmentOf(book, k, context, &size);
        Require(fragment == again && size == index.sizes[static_cast<std::size_t>(k)],
                "a chapter's fragment differs between the two ways of making it");
        if (scripts) scripts("txt/" + index.labels[static_cast<std::size_t>(k)] + ".txt", fragment);
    }
    const auto table = output::BuildPageTable(index, context, ui);
    Require(index.ChapterCount() == 0 || !table.empty(), "no page table for a book");
    if (scripts) scripts("js/page.js", table);
    const std::vector<runtime::Text> names = {title, author, "\\'\"", "\xC4\xAC\xC8\xCF" /* 默认 */};
    const auto menu = output::BuildTemplateMenuScript(output::TemplateMenuItems(names), context);
    if (scripts) scripts("js/mb.js", menu);

    if (epub && index.ChapterCount() > 0) RunEpub(book, title, author);
    CheckIndex(book);
    return figures;
}

}  // namespace qx::fuzz
