// Compiled as GBK: the fragment indent and the messages are GBK bytes.
#include "output/page_generation.h"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <system_error>

#include "output/messages.h"
#include "runtime/files.h"

namespace qx::output {
namespace {

namespace fs = std::filesystem;
using runtime::Replace;

constexpr std::string_view kBreak = "<p>";
constexpr std::string_view kIndent = "　　";  // two ideographic spaces: the paragraph indent
static_assert(kIndent.size() == 4);


const Text kNoText;

// Replaces every placeholder `what` that begins a character of `text`: the
// bytes of a placeholder ("{作者}") inside a book's text may also stand
// across characters (a '{' that is the trail byte of a GBK character), and
// replacing those would split the character and leave its lead byte to join
// what is put in.
Text ReplacePlaceholder(std::string_view text, std::string_view what, std::string_view with) {
    std::size_t hit = what.empty() ? std::string_view::npos : text.find(what);
    if (hit == std::string_view::npos) return Text(text);
    Text out;
    out.reserve(text.size() + with.size());
    std::size_t copied = 0;  // the text before this is in `out`
    std::size_t known = 0;   // a character begins here, at or before `hit`
    while (hit != std::string_view::npos) {
        // A byte below 0x30 is never part of another character (GBK trail
        // bytes are 30-39 and 40-FE), so a character begins right after
        // one: the walk to `hit` starts at the nearest such byte.
        std::size_t at = hit;
        while (at > known && static_cast<unsigned char>(text[at - 1]) >= 0x30) --at;
        while (at < hit) at += runtime::CharLengthAt(text, at);
        if (at == hit) {
            out.append(text, copied, hit - copied);
            out.append(with);
            copied = known = hit + what.size();
        } else {
            known = at;  // found inside a character: look on from the next one
        }
        hit = text.find(what, known);
    }
    out.append(text, copied, std::string_view::npos);
    return out;
}

// Step 6 of the paragraph rules: a run of paragraph breaks is one break.
// (Repeating "replace every <p><p> by <p>" until none is left does exactly
// this, since "<p>" cannot overlap itself.)
Text CollapseBreaks(std::string_view s) {
    Text out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = s.find(kBreak, pos);
        if (at == std::string_view::npos) break;
        out.append(s, pos, at + kBreak.size() - pos);
        pos = at + kBreak.size();
        while (s.compare(pos, kBreak.size(), kBreak) == 0) pos += kBreak.size();
    }
    out.append(s.substr(pos));
    return out;
}

// Step 7: blanks and ideographic spaces right after a break go. Breaks that
// come together this way stay two: a line of blanks is an empty paragraph.
Text DropBlanksAfterBreaks(std::string_view s) {
    Text out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = s.find(kBreak, pos);
        if (at == std::string_view::npos) break;
        out.append(s, pos, at + kBreak.size() - pos);
        pos = at + kBreak.size();
        for (;;) {
            if (pos < s.size() && s[pos] == ' ') {
                ++pos;
            } else if (s.compare(pos, runtime::kIdeographicSpace.size(), runtime::kIdeographicSpace) == 0) {
                pos += runtime::kIdeographicSpace.size();
            } else {
                break;
            }
        }
    }
    out.append(s.substr(pos));
    return out;
}

// The Next step doubles every backslash of the book, so the text can stand in
// a script string as it is. A backslash run of odd length (a GBK character
// whose second byte is 5C, doubled with its neighbour) would escape the
// character after it; one more backslash keeps the script whole.
void EvenOutBackslashRuns(Text& s) {
    if (s.find('\\') == Text::npos) return;
    Text out;
    out.reserve(s.size() + 16);
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (const std::size_t n = runtime::CharLengthAt(s, i); n > 1) {
            out.append(s, i, n);
            i += n;
        } else if (c == '\\') {
            std::size_t j = i;
            while (j < s.size() && s[j] == '\\') ++j;
            const std::size_t run = j - i;
            out.append(run + run % 2, '\\');
            i = j;
        } else {
            out += static_cast<char>(c);
            ++i;
        }
    }
    s.swap(out);
}

// The tree node of chapter k: k + its volume number; -1 when the lists do
// not say.
int NodeOfChapter(const text::ChapterIndex& index, std::size_t k) { return index.NodeOfChapter(static_cast<int>(k)); }

std::optional<Text> ReadText(const fs::path& path) { return runtime::ReadWholeFile(path); }

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

}  // namespace

const Text& PageContext::Parameter(int row) const {
    if (!parameters || row < 1 || row >= static_cast<int>(parameters->size())) return kNoText;
    return (*parameters)[static_cast<std::size_t>(row)];
}

bool TitleMissing(std::string_view title) { return title.empty() || title == msg::kTitlePrompt; }
bool AuthorMissing(std::string_view author) { return author.empty() || author == msg::kAuthorPrompt; }

Text SubstitutePlaceholders(std::string_view text, const PageContext& page, runtime::Ui& ui, std::string_view title,
                            std::string_view content) {
    if (TitleMissing(page.title)) {
        ui.Message(msg::kTitleMissing);
        return {};
    }
    if (AuthorMissing(page.author)) {
        ui.Message(msg::kAuthorMissing);
        return {};
    }
    Text out(text);
    if (!title.empty()) out = ReplacePlaceholder(out, "{标题}", title);
    if (!content.empty()) out = ReplacePlaceholder(out, "{内容}", content);
    out = ReplacePlaceholder(out, "{书名}", page.title);
    out = ReplacePlaceholder(out, "{作者}", page.author);
    out = ReplacePlaceholder(out, "{制作}", page.Parameter(param::kMaker));
    out = ReplacePlaceholder(out, "{版权}", page.Parameter(param::kCopyright));
    out = ReplacePlaceholder(out, "{上一页}", page.Parameter(param::kPrevious));
    out = ReplacePlaceholder(out, "{目录}", page.Parameter(param::kContents));
    out = ReplacePlaceholder(out, "{下一页}", page.Parameter(param::kNext));
    out = ReplacePlaceholder(out, "{模板}", page.templateCount > 1 ? std::string_view(page.Parameter(param::kTemplateMenu))
                                                         : std::string_view());
    return ReplacePlaceholder(out, "{链接}", page.Parameter(param::kLinks));
}

Text EscapeForScript(std::string_view text, Backslashes backslashes) {
    Text out;
    out.reserve(text.size() + 8);
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const std::size_t n = runtime::CharLengthAt(text, i); n > 1) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        // A lead byte with no trail byte after it stands alone; a browser
        // shows it as U+FFFD. Before a quote or a line end, which get a
        // backslash here, it would take that backslash (5C) for its trail
        // byte and leave the quote unescaped; at the end it would join
        // whatever the text is put before. So it is written as the escape
        // of U+FFFD instead.
        if (c >= 0x81 && c <= 0xFE) {
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (i + 1 == text.size() || next == '\'' || next == '"' || next == '\r' || next == '\n') {
                out += "\\ufffd";
                ++i;
                continue;
            }
        }
        switch (c) {
            case '\\': {
                std::size_t j = i;
                while (j < text.size() && text[j] == '\\') ++j;
                const std::size_t run = j - i;
                out.append(backslashes == Backslashes::Literal ? 2 * run : run + run % 2, '\\');
                i = j;
                continue;
            }
            case '\'': out += "\\'"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

Text BuildChapterFragmentOf(const text::Book& book, int chapter, const PageContext& page, int* size) {
    const auto& index = book.index;
    if (chapter < 0 || chapter >= index.ChapterCount()) return {};
    const auto k = static_cast<std::size_t>(chapter);

    // The heading, with the names made safe for the script string they
    // stand in.
    const int node = NodeOfChapter(index, k);
    const Text& label = k < index.labels.size() ? index.labels[k] : kNoText;
    const Text& volume = node >= 0 ? index.tree.TextOf(index.tree.At(node).parent) : kNoText;
    const Text& title = node >= 0 ? index.tree.TextOf(node) : index.titles[k];
    Text heading = ReplacePlaceholder(page.Parameter(param::kFragmentHeading), "{卷章序}",
                           EscapeForScript(label, Backslashes::Escaped));
    heading = ReplacePlaceholder(heading, "{卷名}", EscapeForScript(volume, Backslashes::Escaped));
    heading = ReplacePlaceholder(heading, "{章名}", EscapeForScript(title, Backslashes::Escaped));

    // The body as it stands in the working text (a start past its end reads
    // nothing, an end before the start too).
    std::string_view raw;
    if (book.workingText.IsOpen() && k + 1 < index.ChapterEnd.size() && k < index.ChapterStart.size()) {
        const std::string_view text = book.workingText.Bytes();
        const auto start = static_cast<std::size_t>(std::clamp<std::int64_t>(index.ChapterStart[k], 0,
                                                                             static_cast<std::int64_t>(text.size())));
        const std::int64_t length = index.ChapterEnd[k + 1] - index.ChapterStart[k];
        if (length > 0) raw = text.substr(start, static_cast<std::size_t>(length));
    }

    // Each step below holds its input and its output only: a chapter of a
    // few hundred megabytes (a book that is one long line) is never held
    // more than twice beside the working text.
    Text body = Replace(raw, "\r\n", kBreak);                              // line ends become breaks
    {
        std::string_view rest = body;
        while (rest.substr(0, kBreak.size()) == kBreak) rest.remove_prefix(kBreak.size());  // no break first
        Text collapsed = CollapseBreaks(rest);                            // one break per gap
        Text().swap(body);
        body = DropBlanksAfterBreaks(collapsed);                          // no blanks after a break
    }
    body = Replace(body, kBreak, Text(kBreak) + Text(kIndent));           // indent every paragraph
    const std::string_view trimmed = runtime::Trim(body);
    const auto from = static_cast<std::size_t>(trimmed.data() - body.data());
    body.erase(from + trimmed.size());
    body.erase(0, from);
    // The paragraph indent goes in front below; it holds no "img src".
    if (size) *size = body.find("img src") != Text::npos ? 0 : static_cast<int>(kIndent.size() + body.size());

    // Inside document.write ('…'): an apostrophe would end the string.
    for (char& c : body) {
        if (c == '\'') c = '"';
    }
    EvenOutBackslashRuns(body);

    Text out;
    out.reserve(heading.size() + kIndent.size() + body.size() + 20);
    out.append(heading).append("document.write ('").append(kIndent).append(body).append("')");
    return out;
}

Text BuildChapterFragment(text::Book& book, const PageContext& page) {
    auto& index = book.index;
    if (index.cursor < 0 || index.cursor >= index.ChapterCount()) return {};
    int size = 0;
    Text fragment = BuildChapterFragmentOf(book, index.cursor, page, &size);
    if (index.sizes.size() < index.titles.size()) index.sizes.resize(index.titles.size(), 0);
    index.sizes[static_cast<std::size_t>(index.cursor)] = size;
    return fragment;
}

Text BuildPageTableLines(const text::ChapterIndex& index) {
    const auto& tree = index.tree;
    Text table;
    table.reserve(index.titles.size() * 64);
    for (std::size_t k = 0; k < index.titles.size(); ++k) {
        const int node = NodeOfChapter(index, k);
        const int parent = node >= 0 ? tree.At(node).parent : -1;
        Text title = node >= 0 ? tree.TextOf(node) : index.titles[k];
        // Longer titles are cut short in the tree; the chapter list holds
        // them whole, with the volume name in front.
        if (title.size() > 255) {
            title = index.titles[k];
            if (parent >= 0) title = Replace(title, tree.TextOf(parent) + " ", "", 1, 1);
        }
        const int size = k < index.sizes.size() ? index.sizes[k] / 2 : 0;
        table.append(" pages[").append(std::to_string(k)).append("]=['");
        table.append(EscapeForScript(k < index.labels.size() ? index.labels[k] : kNoText, Backslashes::Escaped));
        table.append("','").append(EscapeForScript(title, Backslashes::Escaped));
        table.append("','").append(std::to_string(size)).append("'");
        if (parent >= 0 && parent == node - 1) {
            table.append(",'").append(EscapeForScript(tree.TextOf(parent), Backslashes::Escaped)).append("'");
        }
        table.append("];\r\n");
    }
    return table;
}

Text BuildPageTable(const text::ChapterIndex& index, const PageContext& page, runtime::Ui& ui) {
    const Text script = ReplacePlaceholder(page.Parameter(param::kPageScript), "{PAGE}", BuildPageTableLines(index));
    // The book's title, author and the two free texts stand inside script
    // strings in page.js.
    ParameterTexts texts = page.parameters ? *page.parameters : ParameterTexts{};
    for (const int row : {param::kMaker, param::kCopyright}) {
        auto& t = texts[static_cast<std::size_t>(row)];
        t = EscapeForScript(t, Backslashes::Literal);
    }
    PageContext scriptPage = page;
    scriptPage.parameters = &texts;
    if (!TitleMissing(page.title)) scriptPage.title = EscapeForScript(page.title, Backslashes::Literal);
    if (!AuthorMissing(page.author)) scriptPage.author = EscapeForScript(page.author, Backslashes::Literal);
    return SubstitutePlaceholders(script, scriptPage, ui);
}

bool WriteWholeFile(const fs::path& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

FileWrite WriteFileIfAbsent(const fs::path& path, std::string_view bytes) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) return FileWrite::Kept;
    return WriteWholeFile(path, bytes) ? FileWrite::Written : FileWrite::Failed;
}

TemplatePagesResult WriteTemplatePages(const fs::path& ebookDirectory, const PageContext& page, runtime::Ui& ui) {
    TemplatePagesResult result;
    const fs::path folder = ebookDirectory / "index";
    const fs::path chapterPage = folder / "chapter.htm";
    if (!Exists(chapterPage)) {
        ui.Status(msg::kTemplateWithoutChapterPage);
        return result;
    }
    result.hasChapterPage = true;

    auto write = [&](const fs::path& path, std::string_view bytes) {
        if (!WriteWholeFile(path, bytes)) result.failedFiles.push_back(path);
    };
    auto read = [&](const fs::path& path) -> std::optional<Text> {
        auto text = ReadText(path);
        if (!text) result.failedFiles.push_back(path);
        return text;
    };

    const auto chapterTemplate = read(chapterPage);
    if (!chapterTemplate) return result;
    const Text chapter = SubstitutePlaceholders(*chapterTemplate, page, ui, page.Parameter(param::kTitleChapter),
                                                page.Parameter(param::kContentChapter));
    write(chapterPage, chapter);

    const fs::path indexPage = folder / "index.htm";
    if (const auto indexTemplate = Exists(indexPage) ? read(indexPage) : std::optional<Text>(chapter)) {
        write(indexPage, SubstitutePlaceholders(*indexTemplate, page, ui, page.Parameter(param::kTitleIndex),
                                                page.Parameter(param::kContentIndex)));
    }

    struct ListPage {
        const char* file;
        int title, content, chapters;
    };
    for (const ListPage& p : {ListPage{"volume.htm", param::kTitleVolume, param::kContentVolume, param::kChaptersVolume},
                              ListPage{"readall.htm", param::kTitleReadall, param::kContentReadall,
                                       param::kChaptersReadall}}) {
        const fs::path path = folder / p.file;
        if (!Exists(path)) continue;
        const auto text = read(path);
        if (!text) continue;
        const Text filled = SubstitutePlaceholders(*text, page, ui, page.Parameter(p.title), page.Parameter(p.content));
        write(path, ReplacePlaceholder(filled, "{章节}", page.Parameter(p.chapters)));
    }
    return result;
}

Text BuildStartPage(const PageContext& page, runtime::Ui& ui) {
    return ReplacePlaceholder(SubstitutePlaceholders(page.Parameter(param::kStartPage), page, ui), "{默认模板}", "index1");
}

Text TemplateMenuItems(const std::vector<Text>& templateNames) {
    Text items;
    for (std::size_t i = 0; i < templateNames.size(); ++i) {
        items.append("<option value=\"../index").append(std::to_string(i + 1)).append("/index.htm\">");
        items.append(EscapeForScript(templateNames[i], Backslashes::Literal));
    }
    return items;
}

Text BuildTemplateMenuScript(std::string_view items, const PageContext& page) {
    return ReplacePlaceholder(page.Parameter(param::kMenuScript), "{模板项目}", items);
}

}  // namespace qx::output
