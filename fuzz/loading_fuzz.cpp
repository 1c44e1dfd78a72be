// Loading and analysis with layout on arbitrary working texts: the first
// byte chooses the mode (separate lines, one line, headings) and whether
// automatic layout runs; the rest is the book's text, normalised as the
// Next step leaves it.
//
// Checked: no crash, sanitizer report or hang, and a whole Index after
// loading, analysis, automatic layout and manual layout of every volume
// (pipeline_harness.cpp, CheckIndex); layout changes no node count.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline_harness.h"
#include "runtime/ui.h"
#include "text/layout.h"
#include "text/next_step.h"

namespace {

class QuietUi : public qx::runtime::Ui {
public:
    void Status(std::string_view, bool) override {}
    qx::runtime::Answer Ask(std::string_view, qx::runtime::Buttons, qx::runtime::Icon, std::string_view) override {
        return qx::runtime::Answer::No;
    }
    void Message(std::string_view, qx::runtime::Icon) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx;
    if (size < 1) return 0;
    const auto choice = data[0];
    const std::string_view raw(reinterpret_cast<const char*>(data) + 1, size - 1);
    const text::LayoutMode mode = (choice & 3) == 1   ? text::LayoutMode::OneLine
                                  : (choice & 3) == 2 ? text::LayoutMode::Headings
                                                      : text::LayoutMode::SeparateLines;
    QuietUi ui;
    text::Book book;
    book.workingText.Adopt(text::NormaliseText(raw));
    text::LoadChapters(book, mode, ui);
    // One-line mode leaves the labels and the tree to analysis.
    if (mode == text::LayoutMode::OneLine) text::AnalyzeChapters(book, mode, ui);
    fuzz::CheckIndex(book);
    const int nodes = book.index.tree.Count();
    if (choice & 4) text::AutomaticLayout(book.index, mode, ui);
    for (int node = 0; node < book.index.tree.Count(); ++node) {
        if (text::IsVolumeNode(book.index.tree, node)) text::ManualLayout(book.index, node, mode, ui);
    }
    fuzz::Require(book.index.tree.Count() == nodes, "layout added or removed nodes");
    fuzz::CheckIndex(book);
    return 0;
}
