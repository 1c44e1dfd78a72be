// A small driver for the end-to-end tests: the Next step, the automatic
// layout and the output run on one book, with the built-in parameter texts
// and the templates of a given program home (default: the source tree's
// data folder, which holds template/默认).
//
// usage: qx_make_ebook BOOK.txt OUT_DIR [--mode separate|one-line] [--title T]
//                      [--author A] [--home DIR] [--template NAME]... [--timing]
// Prints the e-book directory; exit code 0 when the run completed. --timing
// also prints the time of the Next step and of the output run.

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/default_parameters.h"
#include "output/output_run.h"
#include "runtime/encoding.h"
#include "text/next_step.h"

namespace {

using namespace qx;

// Prints everything on stderr and answers Yes: the test starts from an empty
// directory, and a second run replaces the first.
class PrintingUi : public runtime::Ui {
public:
    void Status(std::string_view text, bool) override {
        if (!quiet) Print("", text);
    }
    runtime::Answer Ask(std::string_view text, runtime::Buttons, runtime::Icon, std::string_view) override {
        Print("question: ", text);
        return runtime::Answer::Yes;
    }
    void Message(std::string_view text, runtime::Icon) override { Print("message: ", text); }

    bool quiet = false;  // status texts (the percentages) not printed

private:
    static void Print(const char* kind, std::string_view gbk) {
        std::cerr << "qx_make_ebook: " << kind << runtime::GbkToUtf8(gbk) << "\n";
    }
};

int Usage() {
    std::cerr << "usage: qx_make_ebook BOOK.txt OUT_DIR [--mode separate|one-line] [--title T] [--author A]"
                 " [--home DIR] [--template NAME]... [--timing]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    std::string mode = "separate", title = "Title", author = "Author";
    std::filesystem::path home = QX_SOURCE_DATA_DIR;
    std::vector<std::string> templates;
    bool timing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--mode") {
            mode = value();
        } else if (a == "--title") {
            title = value();
        } else if (a == "--author") {
            author = value();
        } else if (a == "--home") {
            home = value();
        } else if (a == "--template") {
            templates.push_back(value());
        } else if (a == "--timing") {
            timing = true;
        } else if (a.rfind("--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2 || (mode != "separate" && mode != "one-line")) return Usage();
    if (templates.empty()) templates.push_back("默认");  // a UTF-8 literal: this file is not compiled as GBK

    PrintingUi ui;
    ui.quiet = timing;
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const auto t0 = Clock::now();
    text::FilePage page;
    page.inputPath = positional[0];
    page.title = runtime::Utf8ToGbk(title);
    page.author = runtime::Utf8ToGbk(author);
    page.mode = mode == "one-line" ? text::LayoutMode::OneLine : text::LayoutMode::SeparateLines;
    text::Book book;
    if (text::RunNextStep(page, book, ui) != text::NextStepResult::Loaded) return 1;
    const auto t1 = Clock::now();

    const output::ParameterTexts parameters = app::DefaultParameterTexts();
    output::OutputJob job;
    job.book = &book;
    job.title = page.title;
    job.author = page.author;
    job.outputDirectory = positional[1];
    job.programHome = home;
    for (const auto& t : templates) job.selectedTemplates.push_back(runtime::Utf8ToGbk(t));
    job.inputFile = page.inputPath;
    job.parameters = &parameters;
    if (!output::CheckOutputReady(book.index, job.selectedTemplates.size(), ui)) return 1;
    const output::OutputResult result = output::RunOutput(job, ui);
    if (timing) {
        std::cerr << "qx_make_ebook: " << book.index.ChapterCount() << " chapters; Next step " << ms(t1 - t0)
                  << " ms, output run " << ms(Clock::now() - t1) << " ms\n";
    }
    if (!result.ebookDirectory.empty()) std::cout << result.ebookDirectory.string() << "\n";
    return result.completed ? 0 : 1;
}
