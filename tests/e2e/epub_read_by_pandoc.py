"""EPUBs written by `qxebook convert --epub-only` read back by another
program, pandoc, and compared page by page with what `qxebook inspect
--json` says the book holds: the pages come in book order (title page,
cover, then each volume before its chapters), each page begins with its
title as the tree names it (a picture title with its picture, the very
bytes of the file beside the book), and each chapter page holds the
paragraphs of its body in the working text, none lost, none added, none out
of order. The contents (nav.xhtml and toc.ncx) list the same volumes and
chapters with the same names. Books: test novels in each mode, a book with
picture titles and a cover, and a book of hostile titles and text; the
UTF-16 copy of a novel against the GBK original.

usage: epub_read_by_pandoc.py QXEBOOK CORPUS_DIR
"""

import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

import epub_books as eb

XHTML = "{http://www.w3.org/1999/xhtml}"
NCX = "{http://www.daisy.org/z3986/2005/ncx/}"
EPUB_TYPE = "{http://www.idpf.org/2007/ops}type"


def inline_text(inlines):
    out = []
    for i in inlines:
        t, c = i["t"], i.get("c")
        if t == "Str":
            out.append(c)
        elif t in ("Space", "SoftBreak", "LineBreak"):
            out.append(" ")
        elif t in ("Emph", "Strong", "Strikeout", "Superscript", "Subscript", "SmallCaps", "Underline"):
            out.append(inline_text(c))
        elif t == "Span":
            out.append(inline_text(c[1]))
        elif t == "Quoted":
            q = "'" if c[0]["t"] == "SingleQuote" else '"'
            out.append(q + inline_text(c[1]) + q)
        elif t == "Code":
            out.append(c[1])
        elif t == "Image":
            pass  # a picture is an item of its own
        else:
            raise AssertionError(f"unexpected inline {t} in the pandoc output")
    return "".join(out)


def items(blocks):
    """Pandoc's blocks flattened into what a reader meets in turn:
    ("header", level, text), ("image", src, alt), ("para", text)."""
    out = []
    for b in blocks:
        t, c = b["t"], b.get("c")
        if t == "Div":
            out += items(c[1])
        elif t == "Header":
            out.append(("header", c[0], inline_text(c[2])))
        elif t in ("Para", "Plain"):
            images = [i for i in c if i["t"] == "Image"]
            for image in images:
                out.append(("image", image["c"][2][0], inline_text(image["c"][1])))
            text = inline_text(c)
            if text.strip() or not images:
                out.append(("para", text))
        else:
            raise AssertionError(f"unexpected block {t} in the pandoc output")
    return out


def pages_of(document):
    """The items before the first page (pandoc puts the cover picture there),
    and [(spine file, its items)] in reading order: pandoc marks where each
    spine document begins with an empty span named after the file."""
    before, pages, current = [], [], None
    for b in document["blocks"]:
        if (b["t"] == "Para" and len(b["c"]) == 1 and b["c"][0]["t"] == "Span"
                and not b["c"][0]["c"][1] and b["c"][0]["c"][0][0].endswith(".xhtml")):
            current = (b["c"][0]["c"][0][0], [])
            pages.append(current)
            continue
        (current[1] if current else before).extend(items([b]))
    return before, pages


def meta_text(document, key):
    value = document["meta"].get(key)
    return inline_text(value["c"]) if value else None


class Book:
    """A book to read back; `same_text_as` names a GBK file whose working text
    the book's conversion must give."""

    def __init__(self, what, path, mode, title="书", author="某", convert="auto", same_text_as=None):
        self.what, self.path, self.mode = what, pathlib.Path(path), mode
        self.title, self.author, self.convert = title, author, convert
        self.gbk = pathlib.Path(same_text_as or path)


def check_picture(epub, src, picture, where):
    """The image `src` of a page is in the package and is the file `picture`."""
    name = "OEBPS/" + src.replace("../", "")
    assert name in epub.namelist(), f"{where}: {name} is not in the package"
    assert epub.read(name) == picture.read_bytes(), f"{where}: {name} is not {picture}"


def check_heading(epub, got, level, title, folder, where, label_fallback):
    """The heading items at the start of a page; returns how many there
    were and the contents' label the title should have."""
    caption, picture = eb.heading(title, folder)
    used = 0
    if picture:
        assert got and got[0][0] == "image", f"{where}: no picture first, {got[:2]}"
        check_picture(epub, got[0][1], picture, where)
        assert got[0][2] == (caption or "插图"), f"{where}: the picture's alternative text is {got[0][2]!r}"
        used = 1
    if caption or not picture:
        head = got[used] if len(got) > used else None
        assert head and head[0] == "header" and head[1] == level, f"{where}: no level-{level} heading: {got[:3]}"
        # A title with no text (a picture that is missing, an empty title)
        # shows the contents' label instead of an empty heading.
        want = caption or label_fallback
        assert eb.squeezed(head[2]) == eb.squeezed(want), f"{where}: heading {head[2]!r}, want {want!r}"
        used += 1
    return used, caption or label_fallback


def contents_tree(epub):
    """The contents of nav.xhtml as [(label, href, children)]."""
    root = ET.fromstring(epub.read("OEBPS/nav.xhtml"))
    nav = next(n for n in root.iter(XHTML + "nav") if n.get(EPUB_TYPE) == "toc")

    def entries(ol):
        out = []
        for li in ol.findall(XHTML + "li"):
            a = li.find(XHTML + "a")
            sub = li.find(XHTML + "ol")
            out.append(("".join(a.itertext()), a.get("href"), entries(sub) if sub is not None else []))
        return out
    return entries(nav.find(XHTML + "ol"))


def ncx_tree(epub):
    root = ET.fromstring(epub.read("OEBPS/toc.ncx"))

    def points(parent):
        return [("".join(p.find(NCX + "navLabel").itertext()).strip(), p.find(NCX + "content").get("src"),
                 points(p)) for p in parent.findall(NCX + "navPoint")]
    return points(root.find(NCX + "navMap"))


def flattened(tree, depth=0):
    """Contents entries as (depth, label, href), in order."""
    out = []
    for label, href, children in tree:
        out.append((depth, label, href))
        out += flattened(children, depth + 1)
    return out


def read_back(qxebook, book, work):
    out = work / re.sub(r"\W", "_", f"{book.what}-{book.mode}")
    home = work / "home"
    index = eb.inspect(qxebook, book.path, mode=book.mode, convert=book.convert, home=home)
    epub_path = eb.make_epub(qxebook, book.path, out, title=book.title, author=book.author, mode=book.mode,
                             convert=book.convert, home=home, name="book.epub")
    env = {**os.environ, **eb.TOOL_ENV_OVERRIDES}
    done = subprocess.run(["pandoc", "-f", "epub", "-t", "json", str(epub_path)], capture_output=True,
                          env=env, timeout=300)
    assert done.returncode == 0, f"pandoc could not read the EPUB of {book.what}:\n{done.stderr.decode()[-2000:]}"
    document = json.loads(done.stdout)
    assert meta_text(document, "title") == book.title, meta_text(document, "title")
    assert meta_text(document, "author") == book.author, meta_text(document, "author")
    assert meta_text(document, "language") == "zh-CN", meta_text(document, "language")

    # The working text is known without the program's conversion: the book
    # is GBK already, or converts to a GBK file that is.
    assert book.gbk != book.path or index["encoding"] in ("GBK", "GB18030"), index["encoding"]
    text = eb.working_text(book.gbk.read_bytes())
    assert len(text) == index["bytes"], (len(text), index["bytes"])
    folder = book.path.parent
    cover = next((folder / n for n in ("cover.jpg", "cover.png") if (folder / n).is_file()), None)
    epub = zipfile.ZipFile(epub_path)

    before, got = pages_of(document)
    assert before == ([("image", "images/cover" + cover.suffix, "")] if cover else []), before
    names = [name for name, _ in got]
    front = (["cover.xhtml"] if cover else []) + ["title.xhtml"]
    assert names[:len(front)] == front, names[:3]
    # Pandoc leaves out the title page and cover sections (it keeps their
    # facts as metadata): they are read from the package.
    title_page = ET.fromstring(epub.read("OEBPS/text/title.xhtml"))
    assert [" ".join(e.itertext()) for e in title_page.iter(XHTML + "h1")] == [book.title]
    assert book.author in [" ".join(e.itertext()) for e in title_page.iter(XHTML + "p")]
    if cover:
        images = list(ET.fromstring(epub.read("OEBPS/text/cover.xhtml")).iter(XHTML + "img"))
        assert len(images) == 1, "the cover page shows no picture"
        check_picture(epub, images[0].get("src"), cover, "the cover page")

    want = eb.book_pages(index)
    body = got[len(front):]
    assert len(body) == len(want), f"{book.what}: {len(body)} pages, the Index gives {len(want)}"
    # The contents: volumes with their chapters, chapters of volume 0 at the top.
    expected_contents, volume = [], None
    compared = 0
    for (name, page), (kind, title, *k) in zip(body, want):
        where = f"{book.what} ({book.mode}), {name} ({kind} {title[:30]!r})"
        if kind == "volume":
            assert re.fullmatch(r"v\d{4}\.xhtml", name), where
            used, label = check_heading(epub, page, 1, title, folder, where, "插图")
            assert used == len(page), f"{where}: a volume page holds more than its title: {page[used:][:3]}"
            volume = (label, "text/" + name, [])
            expected_contents.append(volume)
            continue
        assert re.fullmatch(r"c\d{5,}\.xhtml", name), where
        chapter = index["chapters"][k[0]]
        untitled = "插图" if eb.heading(title, folder)[1] else "（无题）"
        used, label = check_heading(epub, page, 2, title, folder, where, untitled)
        entry = (label, "text/" + name, [])
        (volume[2] if chapter["volume"] != "0" else expected_contents).append(entry)
        if chapter["volume"] == "0":
            volume = None
        rest = page[used:]
        assert all(i[0] == "para" for i in rest), f"{where}: more than paragraphs after the title: {rest[:3]}"
        shown = [eb.squeezed(i[1]) for i in rest]
        paragraphs = [eb.squeezed(p) for p in eb.paragraphs(text[chapter["start"]:chapter["end"]])]
        # Pandoc drops empty paragraphs and blanks at their ends: the page
        # itself must hold neither.
        page_text = ET.fromstring(epub.read("OEBPS/text/" + name))
        texts = ["".join(p.itertext()) for p in page_text.iter(XHTML + "p")]
        empty = [t for t in texts if not t.strip(eb.BLANKS)]
        assert not empty, f"{where}: {len(empty)} empty paragraphs on the page"
        untrimmed = [t for t in texts if t != t.strip(eb.BLANKS)]
        assert not untrimmed, f"{where}: paragraphs with blanks at an end: {untrimmed[:3]}"
        if shown != paragraphs:
            first = next(i for i, (a, b) in enumerate(zip(shown + [""], paragraphs + [""])) if a != b)
            raise AssertionError(f"{where}: paragraph {first + 1} of {len(paragraphs)} differs:\n"
                                 f"  shown: {shown[first:first + 1]}\n  text:  {paragraphs[first:first + 1]}")
        compared += len(paragraphs)

    for name, tree in (("nav.xhtml", contents_tree(epub)), ("toc.ncx", ncx_tree(epub))):
        got_entries, want_entries = flattened(tree), flattened(expected_contents)
        if got_entries != want_entries:
            first = next(i for i, (a, b) in enumerate(zip(got_entries + [None], want_entries + [None])) if a != b)
            raise AssertionError(f"{book.what}: entry {first + 1} of {name} is "
                                 f"{(got_entries + [None])[first]}, the tree gives {(want_entries + [None])[first]}")
    chapters = len(index["chapters"])
    print(f"{book.what} ({book.mode}): {chapters} chapters, {len(want) - chapters} volume pages, "
          f"{compared} paragraphs as the working text has them; contents and NCX as the tree")


def main():
    qxebook, corpus = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    if not shutil.which("pandoc"):
        print("pandoc not installed: skipped")
        return eb.SKIP
    novels = [("strict_separate_lines.gbk.txt", "separate"), ("strict_one_line.gbk.txt", "one-line"),
              ("shuihu.gbk.txt", "headings"), ("sanguo.gbk.txt", "headings")]
    if not all((corpus / name).exists() for name in [n for n, _ in novels] + ["sanguo.utf16le_bom.txt"]):
        print(f"test novels not found in {corpus}: skipped")
        return eb.SKIP
    with tempfile.TemporaryDirectory(prefix="qx-pandoc-") as work:
        work = pathlib.Path(work)
        books = [Book(name, corpus / name, mode) for name, mode in novels]
        books.append(Book("sanguo.utf16le_bom.txt", corpus / "sanguo.utf16le_bom.txt", "headings",
                          same_text_as=corpus / "sanguo.gbk.txt"))
        hostile = eb.adversarial_book(work / "hostile")
        books += [Book("hostile book", hostile, mode, title="甲&乙<丙>'丁\"", author="某'人\"&<>")
                  for mode in ("separate", "headings")]
        books.append(Book("picture book", eb.picture_book(work / "pictures"), "separate", title="图书"))
        for book in books:
            read_back(qxebook, book, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
