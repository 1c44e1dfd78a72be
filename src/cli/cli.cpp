#include "cli/cli.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <thread>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <set>

#include "app/parameter_store.h"
#include "image/image_inspect.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/template_list.h"
#include "app/user_home.h"
#include "cli/batch.h"
#include "epub/epub_writer.h"
#include "epub/messages.h"
#include "headings/heading_rules.h"
#include "output/messages.h"
#include "output/output_run.h"
#include "projects/chm_project.h"
#include "projects/packer_project.h"
#include "runtime/shell.h"
#include "text/messages.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "runtime/system_paths.h"
#include "text/book_info.h"
#include "text/chapters.h"
#include "text/next_step.h"
#include "text/preview.h"

namespace qx::cli {
namespace {

using runtime::Answer;
using runtime::Buttons;
using runtime::Icon;

constexpr const char* kUsage =
    "usage: qxebook [gui] [--home DIR] [BOOK.txt]   open the desktop program (with BOOK.txt chosen)\n"
    "       qxebook --version              print the program's version\n"
    "       qxebook inspect BOOK.txt [--title T] [--author A] [--mode auto|separate|one-line|headings]\n"
    "                       [--convert auto|none|utf8|utf16|big5|gbk-trad] [--simplify|--no-simplify]\n"
    "                       [--rule REGEX]... [--yes|--no] [--no-layout] [--json] [--home DIR]\n"
    "\n"
    "       qxebook preview BOOK.txt [the inspect options] [--out DIR]\n"
    "\n"
    "  inspect   read a TXT book and print its volumes and chapters\n"
    "  preview   read a TXT book and write preview.htm, a contents page of the\n"
    "            whole book, into DIR (default: the current directory)\n"
    "\n"
    "  --title, --author   book title and author (default: taken from the file name)\n"
    "  --mode              auto (default): headings when the heading rules find a\n"
    "                      consistent sequence of chapter headings, else separate;\n"
    "                      separate: volume titles on their own line, chapters after\n"
    "                      two blank lines; one-line: each title line holds volume, a\n"
    "                      space, chapter; headings: chapters and volumes found by\n"
    "                      their headings (第一章, 第十回, 楔子, Chapter 12, …)\n"
    "  --convert           auto (default): detect the encoding and convert what needs\n"
    "                      it; none: read the text as GBK; utf8, utf16 (LE or BE),\n"
    "                      big5, gbk-trad: convert from that encoding\n"
    "  --simplify          also turn traditional characters of UTF-8 or UTF-16 text\n"
    "                      into simplified ones (auto does so for traditional text);\n"
    "                      --no-simplify keeps them\n"
    "  --rule REGEX        a heading rule of your own (PCRE2 on UTF-8 text), tried\n"
    "                      before the rules of the program home (repeat for more)\n"
    "  --yes, --no         answer the question asked when the text looks like UTF-16\n"
    "                      and nothing converts it (--convert none)\n"
    "  --no-layout         in one-line mode, skip the automatic layout after analysis\n"
    "  --json              print the Index as one JSON object, with the encoding read,\n"
    "                      the mode used and the warnings of headings mode\n"
    "\n"
    "       qxebook convert BOOK.txt|FOLDER... [the inspect options] [--template NAME]... [--out DIR]\n"
    "                       [--overwrite] [--open] [--home DIR]\n"
    "                       [--chm [--chm-title T] [--chm-name N]] [--epj]\n"
    "                       [--epub [--epub-only] [--cover FILE] [--css FILE]]\n"
    "\n"
    "  convert   read a TXT book and write its HTML e-book into DIR/<title> (DIR:\n"
    "            the saved Output directory, normally ~/Documents/My eBooks);\n"
    "            prints the e-book directory\n"
    "  --template          a template of the program home, in order (repeat for\n"
    "                      more; default: the saved selection)\n"
    "  --overwrite         move an existing e-book directory to the trash first\n"
    "                      (without it an existing directory is left alone)\n"
    "  --open              open the e-book directory in the file manager\n"
    "  --chm               then compile the e-book into DIR/<name>.chm (with chm/hhc.exe\n"
    "                      of the program home, or chmcmd); --chm-title and --chm-name\n"
    "                      replace the proposed title and file name\n"
    "  --epj               then write the packer project DIR/<title>.epj\n"
    "  several books, or a folder (every .txt in it): each is converted with the\n"
    "                      same options, --jobs N at a time (default: the cores),\n"
    "                      one line per book; title and author come from each name\n"
    "  --quiet             no progress and no messages, only errors\n"
    "  --epub              then write the EPUB 3 e-book DIR/<title>.epub (an existing\n"
    "                      one is replaced only with --overwrite); --epub-only writes\n"
    "                      it without the HTML e-book; --cover FILE gives a cover\n"
    "                      picture (default: cover.jpg or cover.png beside the book),\n"
    "                      --css FILE a style sheet of your own\n"
    "\n"
    "       qxebook image inspect FILE\n"
    "\n"
    "  image     check a program image (or an executable carrying one) and\n"
    "            print a summary of its header, libraries, segments and forms\n"
    "\n"
    "       qxebook params list|get N|set N FILE|restore [--home DIR] [--raw]\n"
    "\n"
    "  params    the 24 template texts of the parameter table in the program home\n"
    "            (data.vdb and data.vdt): list them, print one, replace one with\n"
    "            the content of FILE, or restore the built-in texts. Texts are\n"
    "            UTF-8 on the terminal and in FILE; --raw passes GBK bytes.\n"
    "  --home    the program home (default: QX_HOME, else the program's directory\n"
    "            when it can be written, else ~/.local/share/qxebook with the\n"
    "            settings in ~/.config/qxebook)\n";

// Talks to the user on stderr and answers questions from the flags: the
// UTF-16 question from --yes/--no, the question about an existing e-book
// directory from --overwrite. A question without its flag is refused, never
// guessed.
class CliUi : public runtime::Ui {
public:
    CliUi(std::ostream& err, std::optional<bool> utf16Answer, bool overwrite = false, bool quiet = false)
        : m_err(err), m_utf16Answer(utf16Answer), m_overwrite(overwrite), m_quiet(quiet),
          m_terminal(&err == &std::cerr && ::isatty(2)) {}
    // A quiet run that fails still says why: the last status it kept back.
    ~CliUi() override {
        EndProgressLine();
        if (m_quiet && !m_succeeded && !m_told && !m_lastStatus.empty()) {
            m_err << "qxebook: error: " << m_lastStatus << "\n";
        }
    }
    void Succeeded() { m_succeeded = true; }

    void Status(std::string_view gbkText, bool) override {
        const std::string text = runtime::GbkToUtf8(gbkText);
        if (m_quiet) {
            if (text.empty() || text.back() != '%') m_lastStatus = text;
            return;
        }
        // Progress percentages come one per chapter: print every tenth, or
        // none on a terminal, where the progress line shows them.
        if (!text.empty() && text.back() == '%' && text.find_first_not_of("0123456789") == text.size() - 1) {
            if (m_terminal) return;
            const int percent = std::atoi(text.c_str());
            if (percent % 10 != 0 || percent == m_lastPercent) return;
            m_lastPercent = percent;
        }
        EndProgressLine();
        m_err << "qxebook: " << text << "\n";
    }
    Answer Ask(std::string_view gbkText, Buttons buttons, Icon icon, std::string_view gbkTitle) override {
        if (buttons == Buttons::Ok) {
            Message(gbkText, icon);
            return Answer::Ok;
        }
        const bool exists = gbkText == output::msg::kEbookExists || gbkText.starts_with(epub::msg::kEpubExists);
        if (gbkText == text::msg::kLooksLikeUnicode && m_utf16Answer) {
            return *m_utf16Answer ? Answer::Yes : Answer::No;
        }
        if (exists && m_overwrite) return Answer::Yes;
        m_told = true;
        EndProgressLine();
        m_err << "qxebook: " << (gbkTitle.empty() ? "" : runtime::GbkToUtf8(gbkTitle) + " ")
              << runtime::GbkToUtf8(gbkText) << "\n"
              << (exists ? "qxebook: it exists and is left as it is: --overwrite replaces it (an e-book "
                           "directory goes to the trash first)\n"
                         : "qxebook: refusing to guess the answer: run again with --yes or --no\n");
        m_refused = true;
        return buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::No;
    }
    void Message(std::string_view gbkText, Icon icon) override {
        if (m_quiet && icon != Icon::Error) return;
        m_told = true;
        EndProgressLine();
        m_err << "qxebook: " << (icon == Icon::Error ? "error: " : "") << runtime::GbkToUtf8(gbkText) << "\n";
    }
    // On a terminal one line that keeps being rewritten: stage, percent, count.
    void Progress(std::string_view gbkStage, std::int64_t done, std::int64_t total) override {
        if (m_quiet || !m_terminal || total <= 0) return;
        const auto percent = static_cast<int>(done * 100 / total);
        if (percent == m_lastLinePercent && done != total) return;
        m_lastLinePercent = percent;
        m_err << "\r\033[K" << "qxebook: " << runtime::GbkToUtf8(gbkStage) << " " << percent << "%";
        if (total > 4) m_err << " (" << done << "/" << total << ")";
        m_err << std::flush;
        m_lineOpen = true;
    }
    bool Refused() const { return m_refused; }
    bool Quiet() const { return m_quiet; }

private:
    void EndProgressLine() {
        if (!m_lineOpen) return;
        m_err << "\n";
        m_lineOpen = false;
        m_lastLinePercent = -1;
    }

    std::ostream& m_err;
    std::optional<bool> m_utf16Answer;
    bool m_overwrite;
    bool m_quiet;
    bool m_terminal;
    bool m_refused = false;
    bool m_lineOpen = false;
    bool m_succeeded = false;
    bool m_told = false;  // an error or a refusal was printed
    std::string m_lastStatus;
    int m_lastPercent = -1;
    int m_lastLinePercent = -1;
};

struct Options {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;              // the last value of each option
    std::map<std::string, std::vector<std::string>> lists;  // every value, for repeated options
    std::set<std::string> flags;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Options Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
              const std::set<std::string>& boolean) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) == 0 && a.size() > 2) {
            std::string name = a;
            std::optional<std::string> value;
            if (const auto eq = a.find('='); eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
            if (valued.count(name)) {
                if (!value) {
                    if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
                    value = args[++i];
                }
                o.values[name] = *value;
                o.lists[name].push_back(*value);
            } else if (boolean.count(name) && !value) {
                o.flags.insert(name);
            } else {
                throw UsageError("unknown option " + a);
            }
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

void JsonString(std::ostream& out, std::string_view utf8) {
    out << '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out << "\\\""; break;
            case '\\': out << "\\\\"; break;
            case '\n': out << "\\n"; break;
            case '\r': out << "\\r"; break;
            case '\t': out << "\\t"; break;
            default:
                if (c < 0x20) {
                    static const char* hex = "0123456789abcdef";
                    out << "\\u00" << hex[c >> 4] << hex[c & 15];
                } else {
                    out << ch;
                }
        }
    }
    out << '"';
}

void JsonGbkOrNull(std::ostream& out, const std::vector<runtime::Text>& list, std::size_t k) {
    if (k < list.size()) {
        JsonString(out, runtime::GbkToUtf8(list[k]));
    } else {
        out << "null";
    }
}

const char* ModeName(text::LayoutMode mode) {
    switch (mode) {
        case text::LayoutMode::SeparateLines: return "separate";
        case text::LayoutMode::OneLine: return "one-line";
        case text::LayoutMode::Headings: return "headings";
    }
    return "separate";
}

// What the Next step read and found, on stderr: the encoding, the mode, and
// each chapter that the check of headings mode found suspicious.
void ReportBook(const text::Book& book, std::ostream& err) {
    const auto& index = book.index;
    int volumes = 0;
    for (const auto& node : index.tree.Nodes()) volumes += node.parent < 0 ? 1 : 0;
    err << "qxebook: read as " << book.encoding << ", mode " << ModeName(book.mode) << ": " << index.ChapterCount()
        << " chapters\n";
    for (const auto& w : index.warnings) {
        const auto k = static_cast<std::size_t>(w.chapter);
        err << "qxebook: warning: chapter " << w.chapter + 1 << " ("
            << (k < index.titles.size() ? runtime::GbkToUtf8(index.titles[k]) : std::string()) << "): "
            << text::WarningKindName(w.kind) << ": " << runtime::GbkToUtf8(w.text) << "\n";
    }
}

void PrintJson(std::ostream& out, const text::Book& book) {
    const auto& index = book.index;
    out << "{\"chapters\":[";
    for (std::size_t k = 0; k < index.titles.size(); ++k) {
        if (k) out << ',';
        out << "{\"title\":";
        JsonGbkOrNull(out, index.titles, k);
        out << ",\"volume\":";
        JsonGbkOrNull(out, index.volumeNumbers, k);
        out << ",\"label\":";
        JsonGbkOrNull(out, index.labels, k);
        out << ",\"start\":" << index.ChapterStart[k] << ",\"end\":" << index.ChapterEnd[k + 1] << '}';
    }
    out << "],\"tree\":[";
    const auto& nodes = index.tree.Nodes();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i) out << ',';
        out << "{\"text\":";
        JsonString(out, runtime::GbkToUtf8(nodes[i].text));
        out << ",\"parent\":" << nodes[i].parent << '}';
    }
    out << "],\"bytes\":" << book.workingText.Size() << ",\"encoding\":";
    JsonString(out, book.encoding);
    out << ",\"mode\":";
    JsonString(out, ModeName(book.mode));
    out << ",\"warnings\":[";
    for (std::size_t i = 0; i < index.warnings.size(); ++i) {
        const auto& w = index.warnings[i];
        if (i) out << ',';
        out << "{\"chapter\":" << w.chapter << ",\"kind\":\"" << text::WarningKindName(w.kind) << "\",\"text\":";
        JsonString(out, runtime::GbkToUtf8(w.text));
        out << '}';
    }
    out << "]}\n";
}

// The tree as an indented outline; chapter nodes carry their label.
void PrintOutline(std::ostream& out, const text::Book& book) {
    const auto& index = book.index;
    const auto& tree = index.tree;
    // Chapter k sits at node k + its volume number; map nodes back to chapters.
    std::vector<int> chapterOfNode(static_cast<std::size_t>(tree.Count()), -1);
    for (std::size_t k = 0; k < index.volumeNumbers.size(); ++k) {
        const auto node = static_cast<std::size_t>(k) + std::stoul("0" + index.volumeNumbers[k]);
        if (node < chapterOfNode.size()) chapterOfNode[node] = static_cast<int>(k);
    }
    int volumes = 0;
    for (int i = 0; i < tree.Count(); ++i) {
        const int chapter = chapterOfNode[static_cast<std::size_t>(i)];
        const std::string indent(static_cast<std::size_t>(tree.Level(i)) * 4, ' ');
        if (chapter < 0) {
            ++volumes;
            out << indent << runtime::GbkToUtf8(tree.At(i).text) << "\n";
        } else {
            const auto k = static_cast<std::size_t>(chapter);
            out << indent << (k < index.labels.size() ? index.labels[k] : std::string("-")) << "  "
                << runtime::GbkToUtf8(tree.At(i).text) << "  [" << index.ChapterStart[k] << ", "
                << index.ChapterEnd[k + 1] << ")\n";
        }
    }
    if (tree.Count() == 0) {
        for (std::size_t k = 0; k < index.titles.size(); ++k) {
            out << runtime::GbkToUtf8(index.titles[k]) << "  [" << index.ChapterStart[k] << ", "
                << index.ChapterEnd[k + 1] << ")\n";
        }
    }
    out << index.ChapterCount() << " chapters, " << volumes << " volumes, " << book.workingText.Size()
        << " bytes of text\n";
}

// Writes preview.htm, the contents page of the whole book, into --out (the
// current directory by default) and leaves it there.
int WritePreview(const Options& o, const text::FilePage& page, const text::Book& book, std::ostream& out,
                 std::ostream& err) {
    const auto bytes = text::BuildPreviewPage(book.index.tree, page.title, page.author,
                                              text::PictureDirectoryOf(page.inputPath));
    if (!bytes) {
        err << "qxebook: error: the book has no volumes or chapters to preview\n";
        return 1;
    }
    const std::filesystem::path dir = o.values.count("--out") ? o.values.at("--out") : ".";
    const auto written = text::WritePreviewFile(dir, *bytes);
    if (!written) {
        err << "qxebook: error: cannot write " << (dir / text::kPreviewFileName).string() << "\n";
        return 1;
    }
    out << written->string() << "\n";
    return 0;
}

runtime::HomeLayout HomeOf(const Options& o, std::ostream& err);

// The page "文件" from the options; nothing when the book cannot be read or
// the file name gives no title or author (told on `err`).
std::optional<text::FilePage> FilePageOf(const Options& o, std::ostream& err) {
    if (o.positional.size() != 1) throw UsageError(o.command + " needs exactly one BOOK.txt");
    if (o.flags.count("--yes") && o.flags.count("--no")) throw UsageError("--yes and --no exclude each other");

    text::FilePage page;
    page.inputPath = o.positional[0];
    std::error_code ec;
    if (!std::filesystem::exists(page.inputPath, ec)) {
        err << "qxebook: error: cannot read " << page.inputPath << ": no such file\n";
        return std::nullopt;
    }

    const std::string mode = o.values.count("--mode") ? o.values.at("--mode") : "auto";
    if (mode == "auto") {
        page.chooseMode = true;
    } else if (mode == "separate") {
        page.mode = text::LayoutMode::SeparateLines;
    } else if (mode == "one-line") {
        page.mode = text::LayoutMode::OneLine;
    } else if (mode == "headings") {
        page.mode = text::LayoutMode::Headings;
    } else {
        throw UsageError("--mode must be auto, separate, one-line or headings");
    }
    const std::string convert = o.values.count("--convert") ? o.values.at("--convert") : "auto";
    page.convert = convert != "auto" && convert != "none";
    if (convert == "auto") {
        page.detectEncoding = true;
    } else if (convert == "utf16") {
        page.fromUnicode = true;
    } else if (convert == "utf8") {
        page.fromUtf8 = true;
    } else if (convert == "big5") {
        page.fromBig5 = true;
    } else if (convert == "gbk-trad") {
        page.fromTraditionalGbk = true;
    } else if (convert != "none") {
        throw UsageError("--convert must be auto, none, utf8, utf16, big5 or gbk-trad");
    }
    if (o.flags.count("--simplify") && o.flags.count("--no-simplify")) {
        throw UsageError("--simplify and --no-simplify exclude each other");
    }
    page.simplify = o.flags.count("--simplify") > 0;
    page.keepTraditional = o.flags.count("--no-simplify") > 0;

    // Heading rules: the program home's, with those of --rule tried first.
    headings::RuleSet rules = headings::LoadRules(HomeOf(o, err).config);
    const auto given = o.lists.count("--rule") ? o.lists.at("--rule") : std::vector<std::string>{};
    for (auto r = given.rbegin(); r != given.rend(); ++r) {
        if (const auto error = headings::PatternError(*r)) throw UsageError("--rule " + *r + ": " + *error);
        rules.AddUserRule(*r);
    }
    page.rules = std::make_shared<const headings::RuleSet>(std::move(rules));

    const auto proposed = text::ProposeBookInfo(runtime::Utf8ToGbk(text::StemOf(page.inputPath)));
    page.title = o.values.count("--title") ? runtime::Utf8ToGbk(o.values.at("--title")) : proposed.title;
    page.author = o.values.count("--author") ? runtime::Utf8ToGbk(o.values.at("--author")) : proposed.author;
    if (page.title.empty() || page.author.empty()) {
        err << "qxebook: error: the file name gives no " << (page.title.empty() ? "title" : "author")
            << "; give both with --title and --author\n";
        return std::nullopt;
    }
    return page;
}

std::optional<bool> Utf16Answer(const Options& o) {
    if (o.flags.count("--yes")) return true;
    if (o.flags.count("--no")) return false;
    return std::nullopt;
}

// inspect and preview: the Next step on a book, then print or write.
int Inspect(const Options& o, std::ostream& out, std::ostream& err) {
    auto page = FilePageOf(o, err);
    if (!page) return 1;
    CliUi ui(err, Utf16Answer(o), false, o.flags.count("--quiet") > 0);
    text::Book book;
    if (text::RunNextStep(*page, book, ui, !o.flags.count("--no-layout")) != text::NextStepResult::Loaded) return 1;
    if (!ui.Quiet()) ReportBook(book, err);
    ui.Succeeded();
    if (o.command == "preview") return WritePreview(o, *page, book, out, err);

    if (o.flags.count("--json")) {
        PrintJson(out, book);
    } else {
        PrintOutline(out, book);
    }
    return 0;
}

// Opens the parameter table of the program home; a fresh home gets the
// built-in table first (and is told so). False, told on `err`, when there is
// none or it is damaged.
bool OpenParameterTable(const std::filesystem::path& home, runtime::RecordDataSource& table, std::ostream& err,
                        bool quiet = false) {
    std::error_code ec;
    if (!std::filesystem::exists(app::ParameterTablePath(home), ec)) {
        if (!app::WriteDefaultTables(home)) {
            err << "qxebook: error: no parameter table in " << home.string() << " and none can be written\n";
            return false;
        }
        if (!quiet) err << "qxebook: no parameter table in " << home.string() << ": wrote the built-in one\n";
    }
    try {
        table.Open(app::ParameterTablePath(home));
    } catch (const runtime::RecordTableFormatError& e) {
        err << "qxebook: error: the parameter table is damaged (" << e.what()
            << "); 'qxebook params restore' replaces it with the built-in one\n";
        return false;
    }
    return true;
}

// The parameter texts of the program home.
std::optional<output::ParameterTexts> LoadParameters(const std::filesystem::path& home, std::ostream& err,
                                                     bool quiet = false) {
    runtime::RecordDataSource table;
    if (!OpenParameterTable(home, table, err, quiet)) return std::nullopt;
    return app::ReadParameterTexts(table);
}

// convert: the whole workflow without a window: the Next step (with the
// automatic layout), then the output run into the e-book directory.
// The EPUB of a loaded book into the Output directory; prints its path.
int WriteEpubOf(const Options& o, const text::FilePage& page, const text::Book& book,
                const std::filesystem::path& outputDirectory, CliUi& ui, std::ostream& out) {
    epub::EpubJob job;
    job.book = &book;
    job.title = page.title;
    job.author = page.author;
    job.outputDirectory = outputDirectory;
    job.inputFile = page.inputPath;
    if (o.values.count("--cover")) job.cover = std::filesystem::path(o.values.at("--cover"));
    if (o.values.count("--css")) job.css = std::filesystem::path(o.values.at("--css"));
    const auto written = epub::WriteEpub(job, ui);
    if (!written.written) return 1;
    out << written.file.string() << "\n";
    ui.Succeeded();
    return 0;
}

// convert: the whole workflow without a window: the Next step (with the
// automatic layout), then the output run into the e-book directory, and the
// EPUB, CHM and packer project when asked.
// Several books (or a folder of them): each converted by a run of this
// program of its own, with the same options.
int ConvertSeveral(const Options& o, const std::vector<std::filesystem::path>& books, std::ostream& out,
                   std::ostream& err) {
    if (o.values.count("--title") || o.values.count("--author")) {
        throw UsageError("--title and --author name one book: with several, each book's file name gives them");
    }
    if (books.empty()) {
        err << "qxebook: error: no .txt books in " << o.positional.front() << "\n";
        return 1;
    }
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    if (auto j = o.values.find("--jobs"); j != o.values.end()) {
        unsigned n = 0;
        const auto [end, ec] = std::from_chars(j->second.data(), j->second.data() + j->second.size(), n);
        if (ec != std::errc{} || end != j->second.data() + j->second.size() || n < 1 || n > 64) {
            throw UsageError("--jobs needs a count from 1 to 64");
        }
        jobs = n;
    }
    // A fresh program home gets its parameter table once, before the runs share it.
    const bool quiet = o.flags.count("--quiet") > 0;
    if (!o.flags.count("--epub-only") && !LoadParameters(HomeOf(o, err).home, err, quiet)) return 1;
    std::vector<std::string> options;
    for (const auto& [name, values] : o.lists) {
        if (name == "--jobs") continue;
        for (const auto& v : values) {
            options.push_back(name);
            options.push_back(v);
        }
    }
    for (const auto& flag : o.flags) {
        if (flag != "--quiet") options.push_back(flag);
    }
    // The program itself (QX_PROGRAM names another one, for tests that run
    // this code inside a test program).
    const char* given = std::getenv("QX_PROGRAM");
    std::error_code ec;
    const std::filesystem::path program = given ? std::filesystem::path(given) : std::filesystem::read_symlink("/proc/self/exe", ec);
    return RunBatch(program, books, options, jobs, out);
}

int Convert(const Options& o, std::ostream& out, std::ostream& err) {
    {
        std::error_code ec;
        const bool folder = o.positional.size() == 1 && std::filesystem::is_directory(o.positional.front(), ec);
        if (o.positional.size() > 1 || folder) return ConvertSeveral(o, BooksOf(o.positional), out, err);
    }
    const bool epubOnly = o.flags.count("--epub-only") > 0;
    const bool epub = epubOnly || o.flags.count("--epub") > 0;
    if (epubOnly && (o.flags.count("--chm") || o.flags.count("--epj") || o.lists.count("--template"))) {
        throw UsageError("--epub-only writes no HTML e-book: no --chm, --epj or --template with it");
    }
    if (!epub && (o.values.count("--cover") || o.values.count("--css"))) {
        throw UsageError("--cover and --css belong to --epub");
    }
    auto page = FilePageOf(o, err);
    if (!page) return 1;
    const runtime::HomeLayout layout = HomeOf(o, err);
    const auto& home = layout.home;
    const app::Settings settings = app::ReadSettings(app::SettingsPath(layout.config), runtime::DocumentsDirectory());
    const std::filesystem::path outputDirectory = o.values.count("--out")
                                                      ? std::filesystem::path(o.values.at("--out"))
                                                      : std::filesystem::path(settings.outputDirectory);

    // Templates: the --template options in order, else the saved selection.
    std::vector<runtime::Text> chosen;
    std::optional<output::ParameterTexts> parameters;
    if (!epubOnly) {
        app::TemplateList templates;
        templates.SetInstalled(app::InstalledTemplates(home, layout.installedTemplates));
        for (const auto& name : o.lists.count("--template") ? o.lists.at("--template") : std::vector<std::string>{}) {
            chosen.push_back(runtime::Utf8ToGbk(name));
        }
        if (chosen.empty()) {
            templates.RestoreSelection(settings.templates);
            chosen = templates.Selected();
        } else {
            for (const auto& name : chosen) {
                const auto& items = templates.Items();
                if (std::none_of(items.begin(), items.end(), [&](const auto& i) { return i.name == name; })) {
                    err << "qxebook: error: no template " << runtime::GbkToUtf8(name) << " in "
                        << (home / "template").string()
                        << (layout.installedTemplates.empty() ? "" : " or " + layout.installedTemplates.string())
                        << "\n";
                    return 1;
                }
            }
        }
        parameters = LoadParameters(home, err, o.flags.count("--quiet") > 0);
        if (!parameters) return 1;
    }

    CliUi ui(err, Utf16Answer(o), o.flags.count("--overwrite") > 0, o.flags.count("--quiet") > 0);
    text::Book book;
    if (text::RunNextStep(*page, book, ui) != text::NextStepResult::Loaded) return 1;
    if (!ui.Quiet()) ReportBook(book, err);
    if (epubOnly) return WriteEpubOf(o, *page, book, outputDirectory, ui, out);

    output::OutputJob job;
    job.book = &book;
    job.title = page->title;
    job.author = page->author;
    job.outputDirectory = outputDirectory;
    job.programHome = home;
    job.installedTemplates = layout.installedTemplates;
    job.selectedTemplates = chosen;
    job.inputFile = page->inputPath;
    job.parameters = &*parameters;
    const auto result = output::RunOutput(job, ui);
    if (!result.completed) return 1;
    out << result.ebookDirectory.string() << "\n";
    if (o.flags.count("--open")) runtime::OpenInFileManager(result.ebookDirectory);

    if (o.flags.count("--chm")) {
        const projects::ChmRequest request{result.ebookDirectory,     job.outputDirectory,
                                           page->title,               page->author,
                                           projects::LastChapterLabel(book.index),
                                           (*parameters)[app::row::kCopyright], (*parameters)[app::row::kMaker]};
        const auto proposal = projects::ProposeChm(request, ui);
        if (!proposal.ready) return 1;
        projects::ChmJob chm;
        chm.ebookDirectory = proposal.ebookDirectory;
        chm.programHome = home;
        chm.hhpTemplate = (*parameters)[app::row::kHhp];
        chm.ebookTitle = o.values.count("--chm-title") ? runtime::Utf8ToGbk(o.values.at("--chm-title"))
                                                       : proposal.ebookTitle;
        chm.chmFileName = o.values.count("--chm-name") ? runtime::Utf8ToGbk(o.values.at("--chm-name"))
                                                       : proposal.chmFileName;
        const auto compiled = projects::CompileChm(chm, ui);
        if (compiled.outcome != projects::ChmOutcome::Compiled) return 1;
        out << compiled.chmFile.string() << "\n";
    }
    if (o.flags.count("--epj")) {
        const projects::PackerProjectJob epj{result.ebookDirectory, job.outputDirectory, page->title, page->author,
                                             (*parameters)[app::row::kEpj], (*parameters)[app::row::kCopyright]};
        const auto written = projects::WritePackerProject(epj, ui);
        if (!written.written) return 1;
        out << written.projectPath.string() << "\n";
    }
    if (epub) return WriteEpubOf(o, *page, book, outputDirectory, ui, out);
    ui.Succeeded();
    return 0;
}


// The program home of the options; an installed copy's user gets the
// folders and the built-in table and settings on the first start.
runtime::HomeLayout HomeOf(const Options& o, std::ostream& err) {
    std::optional<std::filesystem::path> home;
    if (o.values.count("--home")) home = o.values.at("--home");
    const runtime::HomeLayout layout = runtime::LocateProgramHome(home);
    std::string problem;
    if (!app::PrepareUserHome(layout, runtime::DocumentsDirectory(), problem)) {
        err << "qxebook: error: " << problem << "\n";
    }
    return layout;
}

int RowArgument(const Options& o, std::size_t at) {
    if (o.positional.size() <= at) throw UsageError("params " + o.positional[0] + " needs a row number 1 to 24");
    const std::string& text = o.positional[at];
    int row = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), row);
    if (ec != std::errc{} || end != text.data() + text.size() || row < 1 || row > app::kParameterRows) {
        throw UsageError("row must be a number from 1 to 24, not " + text);
    }
    return row;
}

int Params(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.positional.empty()) throw UsageError("params needs list, get, set or restore");
    const std::string& what = o.positional[0];
    const auto home = HomeOf(o, err).home;
    const bool raw = o.flags.count("--raw") > 0;
    if (what == "restore") {
        if (o.positional.size() != 1) throw UsageError("params restore takes no further arguments");
        if (!app::WriteDefaultTables(home)) {
            err << "qxebook: error: cannot write the parameter table in " << home.string() << "\n";
            return 1;
        }
        out << "restored the built-in parameter table in " << home.string() << "\n";
        return 0;
    }
    if (what != "list" && what != "get" && what != "set") throw UsageError("unknown params command " + what);

    runtime::RecordDataSource table;
    if (!OpenParameterTable(home, table, err)) return 1;
    if (what == "list") {
        if (o.positional.size() != 1) throw UsageError("params list takes no further arguments");
        for (int r = 1; r <= table.RowCount(); ++r) {
            const std::string name = table.Read(r, 1);
            out << r << "\t" << (raw ? name : runtime::GbkToUtf8(name)) << "\t" << table.Read(r, 2).size()
                << " bytes\n";
        }
        return 0;
    }
    const int row = RowArgument(o, 1);
    if (row > table.RowCount()) {
        err << "qxebook: error: the parameter table has only " << table.RowCount() << " rows\n";
        return 1;
    }
    if (what == "get") {
        if (o.positional.size() != 2) throw UsageError("params get takes one row number");
        const std::string text = table.Read(row, 2);
        out << (raw ? text : runtime::GbkToUtf8(text));
        return 0;
    }
    if (o.positional.size() != 3) throw UsageError("params set takes a row number and a FILE");
    const auto content = runtime::ReadWholeFile(o.positional[2]);
    if (!content) {
        err << "qxebook: error: cannot read " << o.positional[2] << "\n";
        return 1;
    }
    if (!table.Write(row, 2, raw ? *content : runtime::Utf8ToGbk(*content))) {
        err << "qxebook: error: cannot write the parameter table in " << home.string();
        if (table.LastWriteError()) err << ": " << runtime::GbkToUtf8(runtime::ReasonOf(table.LastWriteError()));
        err << "; the table is left as it was\n";
        return 1;
    }
    out << "row " << row << " (" << runtime::GbkToUtf8(table.Read(row, 1)) << ") set from " << o.positional[2]
        << "\n";
    return 0;
}

}  // namespace

bool IsCommand(const std::string& word) {
    for (const char* command : {"inspect", "preview", "convert", "params", "image", "help", "gui"}) {
        if (word == command) return true;
    }
    return false;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        if (args.empty()) {
            err << kUsage;
            return 2;
        }
        if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            out << kUsage;
            return 0;
        }
        if (args[0] == "--version") {
            out << "qxebook " << QX_VERSION << "\n";
            return 0;
        }
        if (args[0] == "image") return image::RunImageCommand({args.begin() + 1, args.end()}, out, err);
        const Options o = Parse(args,
                                {"--title", "--author", "--mode", "--convert", "--out", "--home", "--template", "--rule",
                                 "--cover", "--css", "--jobs",
                                 "--chm-title", "--chm-name"},
                                {"--yes", "--no", "--no-layout", "--json", "--raw", "--overwrite", "--open", "--chm",
                                 "--simplify", "--no-simplify", "--epub", "--epub-only", "--quiet",
                                 "--epj"});
        if (o.command == "inspect" || o.command == "preview") return Inspect(o, out, err);
        if (o.command == "params") return Params(o, out, err);
        if (o.command == "convert") return Convert(o, out, err);
        throw UsageError("unknown command " + o.command);
    } catch (const UsageError& e) {
        err << "qxebook: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        err << "qxebook: error: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace qx::cli
