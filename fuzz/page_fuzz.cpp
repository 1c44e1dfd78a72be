// Page generation on arbitrary books and book information. Input: one
// choice byte (bit 0: headings mode instead of separate lines), then parts
// split at zero bytes: the book's text, the title, the author, the maker's
// and the rights text (rows 24 and 23), a template name.
//
// Checked: no crash or sanitizer report; every text EscapeForScript makes is
// one script string between quotes of either kind, whatever its input
// (backslashes literal or doubled already); every chapter fragment, the page
// table and the menu script keep every string closed; the fragment made
// alone equals the one made in order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/default_parameters.h"
#include "output/page_generation.h"
#include "pipeline_harness.h"
#include "runtime/ui.h"
#include "script_check.h"
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

void CheckScript(const std::string& script, const char* what) {
    fuzz::Require(fuzz::ScriptStringsClosed(script), what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto choice = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::string> parts;
    while (parts.size() < 5) {
        const auto zero = rest.find('\0');
        parts.emplace_back(rest.substr(0, zero));
        if (zero == std::string_view::npos) {
            rest = {};
            break;
        }
        rest.remove_prefix(zero + 1);
    }
    parts.emplace_back(rest);
    parts.resize(6);

    // The escaping on its own, on every part as it stands.
    for (const auto& p : parts) {
        fuzz::Require(fuzz::SafeInsideString(output::EscapeForScript(p, output::Backslashes::Literal)),
                      "EscapeForScript (literal) left the string open");
        fuzz::Require(fuzz::SafeInsideString(output::EscapeForScript(p, output::Backslashes::Escaped)),
                      "EscapeForScript (escaped) left the string open");
    }

    QuietUi ui;
    text::Book book;
    book.workingText.Adopt(text::NormaliseText(parts[0]));
    const auto mode = (choice & 1) ? text::LayoutMode::Headings : text::LayoutMode::SeparateLines;
    text::LoadChapters(book, mode, ui);
    fuzz::CheckIndex(book);

    static const output::ParameterTexts defaults = app::DefaultParameterTexts();
    output::ParameterTexts parameters = defaults;
    parameters[output::param::kMaker] = parts[3];
    parameters[output::param::kCopyright] = parts[4];
    const std::string title = parts[1].empty() ? "Book" : parts[1];
    const std::string author = parts[2].empty() ? "Author" : parts[2];
    output::PageContext page{title, author, &parameters, 2};
    auto& index = book.index;
    for (int k = 0; k < index.ChapterCount(); ++k) {
        index.cursor = k;
        const auto fragment = output::BuildChapterFragment(book, page);
        int fragmentSize = -1;
        fuzz::Require(output::BuildChapterFragmentOf(book, k, page, &fragmentSize) == fragment &&
                          fragmentSize == index.sizes[static_cast<std::size_t>(k)],
                      "a fragment made alone differs from the one made in order");
        CheckScript(fragment, "a chapter fragment with a string left open");
    }
    CheckScript(output::BuildPageTable(index, page, ui), "a page table with a string left open");
    const std::vector<runtime::Text> names = {parts[5], title};
    CheckScript(output::BuildTemplateMenuScript(output::TemplateMenuItems(names), page),
                "a menu script with a string left open");
    (void)output::BuildStartPage(page, ui);
    return 0;
}
