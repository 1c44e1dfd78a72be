#include "cli/cli.h"

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <set>

#include "runtime/encoding.h"
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
    "usage: qxebook [gui]          open the desktop program\n"
    "       qxebook inspect BOOK.txt [--title T] [--author A] [--mode separate|one-line]\n"
    "                       [--convert utf16|big5|gbk-trad] [--yes|--no] [--no-layout] [--json]\n"
    "\n"
    "       qxebook preview BOOK.txt [the inspect options] [--out DIR]\n"
    "\n"
    "  inspect   read a TXT book and print its volumes and chapters\n"
    "  preview   read a TXT book and write preview.htm, a contents page of the\n"
    "            whole book, into DIR (default: the current directory)\n"
    "\n"
    "  --title, --author   book title and author (default: taken from the file name)\n"
    "  --mode              separate: volume titles on their own line (default);\n"
    "                      one-line: each title line holds volume, a space, chapter\n"
    "  --convert           convert the text to simplified GBK from UTF-16LE, BIG5\n"
    "                      or traditional-character GBK\n"
    "  --yes, --no         answer the question asked when the text looks like UTF-16\n"
    "  --no-layout         in one-line mode, skip the automatic layout after analysis\n"
    "  --json              print the Index as one JSON object\n";

// Talks to the user on stderr and answers questions from the flags.
class CliUi : public runtime::Ui {
public:
    CliUi(std::ostream& err, std::optional<bool> answer) : m_err(err), m_answer(answer) {}

    void Status(std::string_view gbkText, bool) override {
        m_err << "qxebook: " << runtime::GbkToUtf8(gbkText) << "\n";
    }
    Answer Ask(std::string_view gbkText, Buttons buttons, Icon, std::string_view gbkTitle) override {
        if (buttons == Buttons::Ok) {
            Message(gbkText, Icon::None);
            return Answer::Ok;
        }
        if (m_answer) return *m_answer ? Answer::Yes : Answer::No;
        m_err << "qxebook: " << (gbkTitle.empty() ? "" : runtime::GbkToUtf8(gbkTitle) + " ")
              << runtime::GbkToUtf8(gbkText) << "\n"
              << "qxebook: refusing to guess the answer: run again with --yes or --no\n";
        m_refused = true;
        return buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::No;
    }
    void Message(std::string_view gbkText, Icon icon) override {
        m_err << "qxebook: " << (icon == Icon::Error ? "error: " : "") << runtime::GbkToUtf8(gbkText) << "\n";
    }
    bool Refused() const { return m_refused; }

private:
    std::ostream& m_err;
    std::optional<bool> m_answer;
    bool m_refused = false;
};

struct Options {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
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
    out << "],\"bytes\":" << book.workingText.Size() << "}\n";
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

// inspect and preview: the Next step on a book, then print or write.
int Inspect(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.positional.size() != 1) throw UsageError(o.command + " needs exactly one BOOK.txt");
    if (o.flags.count("--yes") && o.flags.count("--no")) throw UsageError("--yes and --no exclude each other");

    text::FilePage page;
    page.inputPath = o.positional[0];
    std::error_code ec;
    if (!std::filesystem::is_regular_file(page.inputPath, ec)) {
        err << "qxebook: error: cannot read " << page.inputPath << ": no such file\n";
        return 1;
    }

    if (auto m = o.values.find("--mode"); m != o.values.end()) {
        if (m->second == "separate") {
            page.mode = text::LayoutMode::SeparateLines;
        } else if (m->second == "one-line") {
            page.mode = text::LayoutMode::OneLine;
        } else {
            throw UsageError("--mode must be separate or one-line");
        }
    }
    if (auto c = o.values.find("--convert"); c != o.values.end()) {
        page.convert = true;
        if (c->second == "utf16") {
            page.fromUnicode = true;
        } else if (c->second == "big5") {
            page.fromBig5 = true;
        } else if (c->second == "gbk-trad") {
            page.fromTraditionalGbk = true;
        } else {
            throw UsageError("--convert must be utf16, big5 or gbk-trad");
        }
    }

    const auto proposed = text::ProposeBookInfo(runtime::Utf8ToGbk(text::StemOf(page.inputPath)));
    page.title = o.values.count("--title") ? runtime::Utf8ToGbk(o.values.at("--title")) : proposed.title;
    page.author = o.values.count("--author") ? runtime::Utf8ToGbk(o.values.at("--author")) : proposed.author;
    if (page.title.empty() || page.author.empty()) {
        err << "qxebook: error: the file name gives no " << (page.title.empty() ? "title" : "author")
            << "; give both with --title and --author\n";
        return 1;
    }

    std::optional<bool> answer;
    if (o.flags.count("--yes")) answer = true;
    if (o.flags.count("--no")) answer = false;
    CliUi ui(err, answer);
    text::Book book;
    if (text::RunNextStep(page, book, ui, !o.flags.count("--no-layout")) != text::NextStepResult::Loaded) return 1;
    if (o.command == "preview") return WritePreview(o, page, book, out, err);

    if (o.flags.count("--json")) {
        PrintJson(out, book);
    } else {
        PrintOutline(out, book);
    }
    return 0;
}

}  // namespace

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
        const Options o = Parse(args, {"--title", "--author", "--mode", "--convert", "--out"},
                                {"--yes", "--no", "--no-layout", "--json"});
        if (o.command == "inspect" || o.command == "preview") return Inspect(o, out, err);
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
