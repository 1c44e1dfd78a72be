"""EPUBs written by `qxebook convert --epub-only` shown by a real EPUB
renderer (epub.js, from npm) in headless Chromium, as a reader would see
them: the contents that the renderer reads from the book list its volumes
and chapters (10 and 100 for strict_separate_lines.gbk.txt, named as the
tree names them), a click on chapter 37 shows its first page with its
title and first sentence in view, and the pictures of a book with a cover
and picture titles load. Screenshots of the contents and of chapter 37 are
saved for a person to look at.

The renderer is installed from the committed package-lock.json into the
build directory (npm ci) on the first run and again when the lock file
changes; the viewer page, the renderer and the book are served from a
temporary directory on 127.0.0.1.

usage: epub_in_chromium.py QXEBOOK CORPUS_DIR READER_SOURCE_DIR READER_INSTALL_DIR SCREENSHOT_DIR
"""

import functools
import http.server
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse

import chromium
import epub_books as eb
import webdriver
from ebook_in_chromium import chapter_facts, norm

BOOK = "strict_separate_lines.gbk.txt"
RENDERER_FILES = {"jszip.min.js": "node_modules/jszip/dist/jszip.min.js",
                  "epub.min.js": "node_modules/epubjs/dist/epub.min.js"}


def install_renderer(source, target):
    """The renderer's files, installed by npm ci from the committed lock file."""
    lock = (source / "package-lock.json").read_bytes()
    stamp = target / "installed-package-lock.json"
    files = {name: target / path for name, path in RENDERER_FILES.items()}
    if stamp.is_file() and stamp.read_bytes() == lock and all(f.is_file() for f in files.values()):
        return files
    target.mkdir(parents=True, exist_ok=True)
    stamp.unlink(missing_ok=True)
    for name in ("package.json", "package-lock.json"):
        shutil.copyfile(source / name, target / name)
    try:
        done = subprocess.run(["npm", "ci", "--prefix", str(target), "--ignore-scripts", "--no-audit", "--no-fund"],
                              capture_output=True, text=True, timeout=600)
    except subprocess.TimeoutExpired:
        raise AssertionError(f"npm ci into {target} did not finish in 10 minutes") from None
    if done.returncode != 0:
        raise AssertionError(f"npm ci into {target} failed ({done.returncode}); the EPUB renderer is not installed:\n"
                             f"{done.stdout[-2000:]}{done.stderr[-3000:]}")
    missing = [str(f) for f in files.values() if not f.is_file()]
    assert not missing, f"npm ci installed the renderer without {missing}"
    stamp.write_bytes(lock)
    return files


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".epub": "application/epub+zip",
                      ".js": "text/javascript"}

    def log_message(self, *args):
        pass


class Server:
    """The files of `root` on 127.0.0.1, in a thread; use it in a with block."""

    def __init__(self, root):
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                     functools.partial(QuietHandler, directory=str(root)))
        self.base = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)


def js(value):
    return json.dumps(value, ensure_ascii=False)


def open_book(b, server, name):
    b.open(server.base + "viewer.html?book=" + urllib.parse.quote(name))
    b.wait_for("return window.reader && (reader.error || (reader.ready && reader.metadata &&"
               " document.querySelectorAll('#toc a').length > 0))", f"epub.js to open {name}", timeout=60)
    error = b.script("return reader.error")
    assert not error, f"epub.js could not open {name}: {error}"


def contents(b):
    """The contents as the viewer lists them: [(label, [chapter labels])]."""
    return b.script("""
        return Array.prototype.map.call(document.querySelectorAll('#toc > li'), function (li) {
            return [li.querySelector(':scope > a').textContent,
                    Array.prototype.map.call(li.querySelectorAll(':scope > ol > li > a'),
                                             function (a) { return a.textContent; })];
        });""")


FRAME = "var f = document.querySelector('#viewer iframe'); var d = f && f.contentDocument;"


def page_in_view(b, href):
    """Waits until epub.js shows the first page of `href`; returns the
    heading and the first paragraph of the page, each with whether it lies
    inside the visible part of the viewer."""
    b.wait_for(f"return reader.error || (reader.shown && reader.shown.href == {js(href)})", f"{href} to show",
               timeout=30)
    assert not b.script("return reader.error"), b.script("return reader.error")
    shown = b.script("return reader.shown")
    assert shown["page"] == 1, f"{href} opens at page {shown['page']}, not its first"
    return b.wait_for(FRAME + """
        if (!d || !d.querySelector('h2')) return null;
        var view = document.getElementById('viewer').getBoundingClientRect(), frame = f.getBoundingClientRect();
        var left = Math.max(view.left, 0), right = Math.min(view.right, window.innerWidth);
        var top = Math.max(view.top, 0), bottom = Math.min(view.bottom, window.innerHeight);
        // Whether the first `count` characters of an element (all of them
        // when null) are drawn inside the viewer and inside the window.
        function seen(e, count) {
            if (!e || !e.firstChild) return [null, false];
            var range = d.createRange(), text = e.firstChild;
            range.setStart(text, 0);
            range.setEnd(text, count === null ? text.length : Math.min(count, text.length));
            var boxes = range.getClientRects();
            var inside = boxes.length > 0;
            for (var i = 0; i < boxes.length; ++i) {
                var r = boxes[i], x = frame.left + r.left, y = frame.top + r.top;
                inside = inside && r.width > 0 && x >= left - 1 && x + r.width <= right + 1
                         && y >= top - 1 && y + r.height <= bottom + 1;
            }
            return [e.innerText, inside];
        }
        return {heading: seen(d.querySelector('h2'), null), first: seen(d.querySelector('p'), 12)};""",
                      f"the page of {href}")


def read_novel(b, server, index, shots, book_path):
    open_book(b, server, "novel.epub")
    meta = b.script("return reader.metadata")
    assert (meta["title"], meta["creator"], meta["language"]) == ("西游记", "吴承恩", "zh-CN"), meta

    # The contents: 10 volumes of 10 chapters, named as the tree names them.
    got = contents(b)
    want, volume = [], None
    for kind, title, *_ in eb.book_pages(index):
        if kind == "volume":
            volume = (title, [])
            want.append(volume)
        else:
            volume[1].append(title)
    assert len(got) == 10 and all(len(chapters) == 10 for _, chapters in got), [(v, len(c)) for v, c in got]
    assert [(norm(v), [norm(c) for c in cs]) for v, cs in got] == \
        [(norm(v), [norm(c) for c in cs]) for v, cs in want], "the contents differ from the tree"
    assert b.script("return reader.spine") == 1 + 10 + 100, "title page, 10 volume pages, 100 chapter pages"
    b.screenshot(str(shots / "epub-contents.png"))

    # Chapter 37, by a click in the contents, as a reader would.
    title37, sentence37 = chapter_facts(book_path, "第三十七回")
    link = b.find("xpath", "(//ol[@id='toc']/li)[4]/ol/li[7]/a")
    assert norm(b.script("return arguments[0].textContent", {webdriver.ELEMENT: link})) == title37
    b.click(link)
    href = b.script("return document.querySelector('#contents a.current').dataset.href")
    page = page_in_view(b, href)
    heading, first = page["heading"], page["first"]
    assert norm(heading[0]) == title37, (heading, title37)
    assert norm(first[0]).startswith(sentence37), (first[0][:40], sentence37)
    assert heading[1] and first[1], (f"chapter 37's title or first sentence is out of view: "
                                     f"title {heading[1]}, first sentence {first[1]}")
    # The page is laid out by the book's style sheet: the title centred.
    align = b.script(FRAME + "return f.contentWindow.getComputedStyle(d.querySelector('h2')).textAlign")
    assert align == "center", align
    b.screenshot(str(shots / "epub-chapter37.png"))
    return title37, sentence37


def read_picture_book(b, server):
    open_book(b, server, "pictures.epub")
    got = contents(b)
    assert [label for label, _ in got] == ["插图", "第二卷 闹天宫"], got
    assert got[1][1] == ["第三章 龙宫", "插图", "第五章 天宫"], got
    sizes = {}
    for href, what in (("text/cover.xhtml", "cover"), ("text/v0001.xhtml", "picture volume"),
                       ("text/v0002.xhtml", "picture volume with a caption"), ("text/c00004.xhtml", "picture title")):
        b.script(f"reader.show({js(href)})")
        b.wait_for(f"return reader.error || (reader.shown && reader.shown.href == {js(href)})", f"the {what}",
                   timeout=30)
        size = b.wait_for(FRAME + "var i = d && d.querySelector('img');"
                          " return i && i.complete && i.naturalWidth ? [i.naturalWidth, i.naturalHeight] : null",
                          f"the picture of the {what} to load")
        sizes[what] = tuple(size)
    assert sizes == {"cover": (8, 8), "picture volume": (3, 2), "picture volume with a caption": (8, 8),
                     "picture title": (2, 3)}, sizes


def main():
    qxebook, corpus = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    source, install, shots = pathlib.Path(sys.argv[3]), pathlib.Path(sys.argv[4]), pathlib.Path(sys.argv[5])
    if not (corpus / BOOK).exists():
        print(f"test novels not found in {corpus}: skipped")
        return eb.SKIP
    if not shutil.which("npm"):
        print("npm not installed: skipped")
        return eb.SKIP
    if not chromium.find_chromium() or not webdriver.find_chromedriver():
        print("chromium or chromedriver not installed: skipped")
        return eb.SKIP
    renderer = install_renderer(source, install)

    with tempfile.TemporaryDirectory(prefix="qx-epubjs-") as work:
        work = pathlib.Path(work)
        site = work / "site"
        site.mkdir()
        shutil.copyfile(source / "viewer.html", site / "viewer.html")
        for name, path in renderer.items():
            shutil.copyfile(path, site / name)
        home = work / "home"
        index = eb.inspect(qxebook, corpus / BOOK, mode="separate", home=home)
        novel = eb.make_epub(qxebook, corpus / BOOK, work / "novel", title="西游记", author="吴承恩",
                             mode="separate", home=home)
        shutil.copyfile(novel, site / "novel.epub")
        pictures = eb.make_epub(qxebook, eb.picture_book(work / "pictures"), work / "pictures-out", title="图书",
                                author="某", mode="separate", home=home)
        shutil.copyfile(pictures, site / "pictures.epub")

        with Server(site) as server, webdriver.Browser(size="1280,900") as b:
            title37, sentence37 = read_novel(b, server, index, shots, corpus / BOOK)
            read_picture_book(b, server)
    print(f"epub.js: 10 volumes and 100 chapters in the contents; chapter 37 shows {title37!r} and "
          f"{sentence37!r} on its first page; cover and picture titles load")
    print(f"screenshots: {shots / 'epub-contents.png'} {shots / 'epub-chapter37.png'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
