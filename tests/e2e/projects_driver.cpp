// A small driver for the end-to-end tests of the projects: the CHM
// compilation and the packer project of an e-book directory, with the
// built-in parameter texts read from data/params.
//
// usage: qx_projects_driver chm EBOOK_DIR OUT_DIR --title T --author A [--label L]
//                           [--chm-title T] [--chm-name N] [--home DIR] [--params DIR]
//        qx_projects_driver epj EBOOK_DIR OUT_DIR --title T --author A [--params DIR]
// Prints the CHM or the project file; exit code 0 when it was made.
// This file is compiled as UTF-8, not GBK.

#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "projects/chm_project.h"
#include "projects/packer_project.h"
#include "runtime/encoding.h"
#include "runtime/files.h"

namespace {

using namespace qx;
namespace fs = std::filesystem;

class PrintingUi : public runtime::Ui {
public:
    void Status(std::string_view text, bool) override { Print("status: ", text); }
    runtime::Answer Ask(std::string_view text, runtime::Buttons, runtime::Icon, std::string_view) override {
        Print("question: ", text);
        return runtime::Answer::Yes;
    }
    void Message(std::string_view text, runtime::Icon) override { Print("message: ", text); }

private:
    static void Print(const char* kind, std::string_view gbk) {
        std::cerr << "qx_projects_driver: " << kind << runtime::GbkToUtf8(gbk) << "\n";
    }
};

// A parameter file (UTF-8, LF) as the program holds the text: one trailing
// line end dropped, CR LF line ends, GBK.
runtime::Text Parameter(const fs::path& dir, const std::string& name) {
    const auto bytes = runtime::ReadWholeFile(dir / fs::path(std::u8string(name.begin(), name.end())));
    if (!bytes) throw std::runtime_error("missing parameter file " + name);
    std::string text = *bytes;
    if (text.ends_with('\n')) text.pop_back();
    if (text.ends_with('\r')) text.pop_back();
    std::string crlf;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
        crlf += text[i];
    }
    return runtime::Utf8ToGbk(crlf);
}

fs::path Utf8Path(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

int Usage() {
    std::cerr << "usage: qx_projects_driver chm|epj EBOOK_DIR OUT_DIR --title T --author A [--label L]"
                 " [--chm-title T] [--chm-name N] [--home DIR] [--params DIR]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string command = argv[1];
    const fs::path book = Utf8Path(argv[2]);
    const fs::path out = Utf8Path(argv[3]);
    std::map<std::string, std::string> o;
    for (int i = 4; i + 1 < argc; i += 2) o[argv[i]] = argv[i + 1];
    const fs::path params = o.count("--params") ? Utf8Path(o["--params"]) : fs::path(QX_SOURCE_PARAMS_DIR);
    const auto gbk = [&](const char* key) { return runtime::Utf8ToGbk(o[key]); };

    try {
        PrintingUi ui;
        if (command == "chm") {
            projects::ChmRequest request;
            request.recordedEbookDirectory = book;
            request.outputDirectory = out;
            request.title = gbk("--title");
            request.author = gbk("--author");
            request.lastChapterLabel = gbk("--label");
            request.rights = Parameter(params, "23_版权.txt");
            request.maker = Parameter(params, "24_制作.txt");
            const projects::ChmProposal proposal = projects::ProposeChm(request, ui);
            if (!proposal.ready) return 1;
            projects::ChmJob job;
            job.ebookDirectory = proposal.ebookDirectory;
            job.programHome = o.count("--home") ? Utf8Path(o["--home"]) : fs::path();
            job.hhpTemplate = Parameter(params, "20_HHP.txt");
            job.ebookTitle = o.count("--chm-title") ? gbk("--chm-title") : proposal.ebookTitle;
            job.chmFileName = o.count("--chm-name") ? gbk("--chm-name") : proposal.chmFileName;
            job.timeLimitSeconds = 120;
            const projects::ChmResult result = projects::CompileChm(job, ui);
            std::cerr << runtime::GbkToUtf8(result.compilerOutput);
            if (result.outcome != projects::ChmOutcome::Compiled) return 1;
            std::cout << result.chmFile.string() << "\n";
            return 0;
        }
        if (command == "epj") {
            projects::PackerProjectJob job;
            job.recordedEbookDirectory = book;
            job.outputDirectory = out;
            job.title = gbk("--title");
            job.author = gbk("--author");
            job.epjTemplate = Parameter(params, "21_EPJ.txt");
            job.rights = Parameter(params, "23_版权.txt");
            const projects::PackerProjectResult result = projects::WritePackerProject(job, ui);
            if (!result.written) return 1;
            std::cout << result.projectPath.string() << "\n";
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "qx_projects_driver: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
