#include "epub/documents.h"

#include "epub/xml_text.h"

#include <vector>

namespace qx::epub {
namespace {

// The start of an XHTML content document; pages sit in OEBPS/text, the
// style sheet and the pictures one level up.
std::string Head(const BookFacts& book, std::string_view title, std::string_view cssHref, std::string_view bodyClass = {}) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" xml:lang=\"";
    out += book.language + "\" lang=\"" + book.language + "\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>";
    AppendEscapedXml(out, title.empty() ? std::string_view(book.title) : title);
    out += "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"";
    out += cssHref;
    out += "\"/>\n</head>\n<body";
    if (!bodyClass.empty()) out += " class=\"" + std::string(bodyClass) + "\"";
    out += ">\n";
    return out;
}

const char* const kTail = "</body>\n</html>\n";

// A heading's picture and text: <img> for a picture title (the caption as
// its alternative text), then the text.
// A heading without text and without its picture shows the page's label
// ("插图", "（无题）"), not an empty line.
void AppendHeading(std::string& out, const Plan& plan, const Heading& h, const char* element, std::string_view label) {
    if (h.picture) {
        const Picture& p = plan.pictures[*h.picture];
        out += "<div class=\"picture\"><img src=\"../" + p.href + "\" alt=\"";
        AppendEscapedXml(out, h.text.empty() ? std::string_view("插图") : std::string_view(h.text));
        out += "\"/></div>\n";
        if (h.text.empty()) return;
    }
    out += "<";
    out += element;
    out += ">";
    AppendEscapedXml(out, h.text.empty() ? label : std::string_view(h.text));
    out += "</";
    out += element;
    out += ">\n";
}

// The contents as a tree: the top level (volumes and chapters of volume 0)
// and the chapters of each volume page, in book order.
struct NavTree {
    std::vector<std::size_t> top;
    std::vector<std::vector<std::size_t>> children;  // by page index
    explicit NavTree(const Plan& plan) : children(plan.pages.size()) {
        for (std::size_t i = 0; i < plan.pages.size(); ++i) {
            const int parent = plan.pages[i].volumePage;
            (parent >= 0 ? children[static_cast<std::size_t>(parent)] : top).push_back(i);
        }
    }
};

void AppendNavItems(std::string& out, const Plan& plan, const NavTree& tree, const std::vector<std::size_t>& items,
                    int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += indent + "<ol>\n";
    for (const std::size_t i : items) {
        const Page& p = plan.pages[i];
        out += indent + "  <li><a href=\"" + p.href + "\">";
        AppendEscapedXml(out, p.label);
        out += "</a>";
        if (!tree.children[i].empty()) {
            out += "\n";
            AppendNavItems(out, plan, tree, tree.children[i], depth + 2);
            out += indent + "  ";
        }
        out += "</li>\n";
    }
    out += indent + "</ol>\n";
}

void AppendNavPoints(std::string& out, const Plan& plan, const NavTree& tree, const std::vector<std::size_t>& items,
                     int depth, int& order) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const std::size_t i : items) {
        const Page& p = plan.pages[i];
        out += indent + "<navPoint id=\"np-" + p.id + "\" playOrder=\"" + std::to_string(++order) + "\">\n";
        out += indent + "  <navLabel><text>";
        AppendEscapedXml(out, p.label);
        out += "</text></navLabel>\n" + indent + "  <content src=\"" + p.href + "\"/>\n";
        AppendNavPoints(out, plan, tree, tree.children[i], depth + 1, order);
        out += indent + "</navPoint>\n";
    }
}

}  // namespace

std::string ContainerXml() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
           "  <rootfiles>\n"
           "    <rootfile full-path=\"" + std::string(kPackagePath) + "\" media-type=\"application/oebps-package+xml\"/>\n"
           "  </rootfiles>\n"
           "</container>\n";
}

std::string PackageDocument(const BookFacts& book, const Plan& plan) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" xml:lang=\"" +
                      book.language + "\">\n  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    out += "    <dc:identifier id=\"book-id\">" + EscapeXml(book.identifier) + "</dc:identifier>\n";
    out += "    <dc:title>" + EscapeXml(book.title) + "</dc:title>\n";
    out += "    <dc:creator>" + EscapeXml(book.author) + "</dc:creator>\n";
    out += "    <dc:language>" + book.language + "</dc:language>\n";
    out += "    <meta property=\"dcterms:modified\">" + book.modified + "</meta>\n";
    if (book.hasCover) out += "    <meta name=\"cover\" content=\"cover-image\"/>\n";
    out += "  </metadata>\n  <manifest>\n";
    out += "    <item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n";
    out += "    <item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
    out += "    <item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>\n";
    if (book.hasCover) {
        out += "    <item id=\"cover-image\" href=\"" + book.coverHref + "\" media-type=\"" + book.coverMediaType +
               "\" properties=\"cover-image\"/>\n";
        out += "    <item id=\"cover\" href=\"text/cover.xhtml\" media-type=\"application/xhtml+xml\"/>\n";
    }
    out += "    <item id=\"title-page\" href=\"text/title.xhtml\" media-type=\"application/xhtml+xml\"/>\n";
    for (const Picture& p : plan.pictures) {
        out += "    <item id=\"" + p.id + "\" href=\"" + p.href + "\" media-type=\"" + p.mediaType + "\"/>\n";
    }
    for (const Page& p : plan.pages) {
        out += "    <item id=\"" + p.id + "\" href=\"" + p.href + "\" media-type=\"application/xhtml+xml\"/>\n";
    }
    out += "  </manifest>\n  <spine toc=\"ncx\">\n";
    if (book.hasCover) out += "    <itemref idref=\"cover\"/>\n";
    out += "    <itemref idref=\"title-page\"/>\n";
    for (const Page& p : plan.pages) out += "    <itemref idref=\"" + p.id + "\"/>\n";
    out += "  </spine>\n</package>\n";
    return out;
}

std::string NavigationDocument(const BookFacts& book, const Plan& plan) {
    std::string out = Head(book, "目录", "style.css");
    out += "<nav epub:type=\"toc\" id=\"toc\">\n<h1>目录</h1>\n";
    if (plan.pages.empty()) {
        out += "<ol>\n  <li><a href=\"text/title.xhtml\">";
        AppendEscapedXml(out, book.title);
        out += "</a></li>\n</ol>\n";
    } else {
        const NavTree tree(plan);
        AppendNavItems(out, plan, tree, tree.top, 0);
    }
    out += "</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"hidden\">\n<ol>\n";
    out += "  <li><a epub:type=\"titlepage\" href=\"text/title.xhtml\">书名页</a></li>\n";
    if (!plan.pages.empty()) {
        out += "  <li><a epub:type=\"bodymatter\" href=\"" + plan.pages.front().href + "\">正文</a></li>\n";
    }
    out += "</ol>\n</nav>\n";
    out += kTail;
    return out;
}

std::string Ncx(const BookFacts& book, const Plan& plan) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"" +
                      book.language + "\">\n<head>\n";
    bool volumes = false;
    for (const Page& p : plan.pages) volumes = volumes || p.kind == Page::Kind::Volume;
    out += "  <meta name=\"dtb:uid\" content=\"" + EscapeXml(book.identifier) + "\"/>\n";
    out += "  <meta name=\"dtb:depth\" content=\"" + std::string(volumes ? "2" : "1") + "\"/>\n";
    out += "  <meta name=\"dtb:totalPageCount\" content=\"0\"/>\n  <meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n";
    out += "</head>\n<docTitle><text>" + EscapeXml(book.title) + "</text></docTitle>\n";
    out += "<docAuthor><text>" + EscapeXml(book.author) + "</text></docAuthor>\n<navMap>\n";
    int order = 0;
    if (plan.pages.empty()) {
        out += "<navPoint id=\"np-title\" playOrder=\"1\"><navLabel><text>" + EscapeXml(book.title) +
               "</text></navLabel><content src=\"text/title.xhtml\"/></navPoint>\n";
    } else {
        const NavTree tree(plan);
        AppendNavPoints(out, plan, tree, tree.top, 1, order);
    }
    out += "</navMap>\n</ncx>\n";
    return out;
}

std::string TitlePage(const BookFacts& book) {
    std::string out = Head(book, book.title, "../style.css", "title-page");
    out += "<section epub:type=\"titlepage\">\n<h1 class=\"book-title\">" + EscapeXml(book.title) + "</h1>\n";
    out += "<p class=\"book-author\">" + EscapeXml(book.author) + "</p>\n</section>\n";
    out += kTail;
    return out;
}

std::string CoverPage(const BookFacts& book) {
    std::string out = Head(book, book.title, "../style.css", "cover");
    out += "<section epub:type=\"cover\">\n<div class=\"picture\"><img src=\"../" + book.coverHref + "\" alt=\"" +
           EscapeXml(book.title) + "\"/></div>\n</section>\n";
    out += kTail;
    return out;
}

std::string VolumePage(const BookFacts& book, const Plan& plan, const Page& page) {
    std::string out = Head(book, page.label, "../style.css", "volume");
    out += "<section epub:type=\"part\">\n";
    AppendHeading(out, plan, page.heading, "h1", page.label);
    out += "</section>\n";
    out += kTail;
    return out;
}

std::string ChapterPage(const BookFacts& book, const Plan& plan, const Page& page, std::string_view gbkBody) {
    std::string out = Head(book, page.label, "../style.css");
    out.reserve(out.size() + gbkBody.size() * 3 / 2 + 256);
    out += "<section epub:type=\"chapter\">\n";
    AppendHeading(out, plan, page.heading, "h2", page.label);
    AppendParagraphs(out, gbkBody);
    out += "</section>\n";
    out += kTail;
    return out;
}

std::string DefaultStyleSheet() {
    return "/* QX e-book maker: a plain style for Chinese novels. */\n"
           "body { margin: 0 4%; line-height: 1.8; text-align: justify; }\n"
           "h1, h2 { text-align: center; font-weight: bold; line-height: 1.4; margin: 1.6em 0 1.2em; }\n"
           "h1 { font-size: 1.5em; }\n"
           "h2 { font-size: 1.25em; }\n"
           "p { text-indent: 2em; margin: 0 0 0.5em; }\n"
           ".picture { text-align: center; margin: 1em 0; text-indent: 0; }\n"
           ".picture img { max-width: 100%; max-height: 95vh; }\n"
           ".volume h1 { margin-top: 35%; font-size: 1.8em; }\n"
           ".title-page { text-align: center; }\n"
           ".title-page .book-title { margin-top: 30%; font-size: 2em; }\n"
           ".title-page .book-author { text-indent: 0; margin-top: 2em; font-size: 1.2em; }\n"
           ".cover { margin: 0; text-align: center; }\n"
           "nav ol { list-style: none; padding-left: 1em; }\n";
}

}  // namespace qx::epub
