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
    // With the title or author left as the prompt ("请输入书名"), generated
    // pages are empty after their message; the output run refuses such a
    // book before it gets here.
    const bool named = !output::TitleMissing(title) && !output::AuthorMissing(author);
    Require(index.ChapterCount() == 0 || !named || !table.empty(), "no page table for a book");
    if (scripts) scripts("js/page.js", table);
    const std::vector<runtime::Text> names = {title, author, "\\'\"", "\xC4\xAC\xC8\xCF" /* 默认 */};
    const auto menu = output::BuildTemplateMenuScript(output::TemplateMenuItems(names), context);
    if (scripts) scripts("js/mb.js", menu);

    if (epub && index.ChapterCount() > 0) RunEpub(book, title, author);
    CheckIndex(book);
    return figures;
}

}  // namespace qx::fuzz
