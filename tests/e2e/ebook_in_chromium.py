"""E-books made from the test novels, read in headless Chromium as a person
would: opened from disk at start.htm, once without any flags (every file://
page is then a place of its own, so frames cannot reach each other and
cookies are off) and once with --allow-file-access-from-files (frames share
their scripts, as in the CHM viewer). Checks the contents page, a chapter,
previous/next links and arrow keys, the volume and read-all pages, a
picture volume, titles with quotes and backslashes, and saves screenshots
for a person to look at.

usage: ebook_in_chromium.py QX_MAKE_EBOOK CORPUS_DIR SCREENSHOT_DIR
"""

import json
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import zlib

import chromium
import webdriver

SKIP = 77
BOOKS = [("strict_separate_lines.gbk.txt", "separate"), ("strict_one_line.gbk.txt", "one-line")]
FLAG_SETS = [[], ["--allow-file-access-from-files"]]

BODY_TEXT = "return document.body ? document.body.innerText : ''"
CHAPTER_LINKS = "td.tablebody1 a"
# The fragment heading's anchor is left open, so the parser repeats it in
# every paragraph: count the names, not the elements.
ANCHOR_NAMES = ("return new Set(Array.prototype.map.call(document.querySelectorAll('a[name]'),"
                " function (a) { return a.name; })).size")


def norm(text):
    """Ideographic and no-break spaces read as plain blanks."""
    return re.sub(r"[\u3000\u00a0 ]+", " ", text).strip()


def chapter_facts(book, number_word):
    """The title of chapter `number_word` (e.g. 第三十七回) and the start of its
    first sentence, straight from the novel."""
    lines = book.read_bytes().decode("gbk").split("\r\n")
    for i, line in enumerate(lines):
        found = re.match(r"(?:第\S+卷 )?(" + number_word + ".*)", norm(line))
        if found:
            body = next(norm(l) for l in lines[i + 1:] if norm(l))
            return found.group(1), body[:12]
    raise AssertionError(f"{number_word} not found in {book}")


def make_ebook(tool, book, mode, out, title="西游记", author="吴承恩"):
    done = subprocess.run([tool, str(book), str(out), "--mode", mode, "--title", title, "--author", author],
                          capture_output=True, text=True)
    assert done.returncode == 0, f"qx_make_ebook failed:\n{done.stderr[-3000:]}"
    ebook = pathlib.Path(done.stdout.strip())
    assert (ebook / "start.htm").is_file(), done.stdout
    return ebook


def js(text):
    """A script string literal."""
    return json.dumps(text, ensure_ascii=False)


def contents_loaded(b, count):
    b.wait_for(f"return document.querySelectorAll('{CHAPTER_LINKS}').length == {count}", "the contents page")


def wait_for_heading(b, title, what):
    """Waits until a chapter fragment has written its heading and the page
    shows `title` (blanks normalised); returns the page's text."""
    text = b.wait_for(
        "if (!document.body || !document.querySelector('a[name]')) return '';"
        "var t = document.body.innerText.replace(/[\\u3000\\u00a0 ]+/g, ' ');"
        f"return t.indexOf({js(title)}) >= 0 ? t : '';", what)
    return norm(text)


def read_book(tool, corpus, mode, book_name, flags, shots):
    book = corpus / book_name
    title37, sentence37 = chapter_facts(book, "第三十七回")
    title38, _ = chapter_facts(book, "第三十八回")
    apart = not flags
    label = f"{mode}{'-shared-frames' if flags else ''}"
    with tempfile.TemporaryDirectory(prefix="qx-ebook-") as out:
        ebook = make_ebook(tool, book, mode, out)
        with webdriver.Browser(*flags) as b:
            b.open((ebook / "start.htm").as_uri())
            assert norm(b.script("return document.title")) == "作者：吴承恩 - 制作：Zarvo"
            b.frame(0)
            contents_loaded(b, 100)
            # Without flags the frame cannot reach the start page: the pages
            # must have noticed and keep the chapter in the address.
            assert b.script("return pageapart") is apart, label
            volumes = b.script("return Array.prototype.map.call(document.querySelectorAll('td.tablebody2'),"
                               " function (td) { return td.innerText; })")
            assert len(volumes) == 10, volumes
            assert [norm(v).split(" ")[0] for v in volumes][:2] == ["第一卷", "第二卷"], volumes
            assert all("[分卷阅读]" in norm(v).replace(" ", "") for v in volumes), volumes
            links = b.script(f"return Array.prototype.map.call(document.querySelectorAll('{CHAPTER_LINKS}'),"
                             " function (a) { return a.innerText; })")
            assert norm(links[36]) == title37, (links[36], title37)
            if not flags:
                b.frame(None)
                b.screenshot(str(shots / f"ebook-contents-{mode}.png"))
                b.frame(0)

            # A click on chapter 37 shows its heading and text.
            b.click(b.find("xpath", f"(//td[@class='tablebody1']/a)[37]"))
            text = wait_for_heading(b, title37, "chapter 37")
            assert sentence37 in text, (sentence37, text[:300])
            assert "第四卷" in text.split(title37)[0], "the heading names the volume"
            where = b.script("return location.href")
            assert where.endswith("chapter.htm?36" if apart else "chapter.htm"), where
            b.frame(None)
            b.wait_for(f"return document.title.replace(/\\u3000/g, ' ') == {js(title37)}", "the window title of chapter 37")
            if not flags:
                b.screenshot(str(shots / f"ebook-chapter-{mode}.png"))
            b.frame(0)

            # Next and previous move by one chapter, by link and by arrow key.
            b.click(b.find("link text", "下一页"))
            wait_for_heading(b, title38, "chapter 38 by the next link")
            b.click(b.find("link text", "上一页"))
            wait_for_heading(b, title37, "chapter 37 by the previous link")
            b.click(b.find("css selector", "div.text"))
            b.press("right")
            wait_for_heading(b, title38, "chapter 38 by the right arrow")
            b.click(b.find("css selector", "div.text"))
            b.press("left")
            text = wait_for_heading(b, title37, "chapter 37 by the left arrow")
            assert title38 not in text
            b.click(b.find("css selector", "div.text"))
            b.press("enter")
            contents_loaded(b, 100)

            # The volume page of volume 4 shows its ten chapters, text and all.
            b.click(b.find("xpath", "(//a[text()='分卷阅读'])[4]"))
            b.wait_for(ANCHOR_NAMES + " == 10", "the ten fragments of volume 4")
            text = wait_for_heading(b, "第四十回", "the volume page")
            assert b.script(f"return document.querySelectorAll('{CHAPTER_LINKS}').length") == 10
            assert "第三十一回" in text and "第四十一回" not in text, text[:500]
            assert sentence37 in text
            b.click(b.find("link text", "返回目录"))
            contents_loaded(b, 100)

            # The read-all page holds the whole book.
            b.click(b.find("link text", "全文阅读"))
            wait_for_heading(b, "第一百回", "the read-all page")
            b.wait_for(ANCHOR_NAMES + " == 100", "all 100 fragments")
            assert b.script(f"return document.querySelectorAll('{CHAPTER_LINKS}').length") == 100
            assert sentence37 in norm(b.script(BODY_TEXT))

        # A chapter page opened on its own, by its address, in a plain
        # headless run (no WebDriver, no flags).
        if not flags:
            dom = chromium.dump_dom((ebook / "index1" / "chapter.htm").as_uri() + "?36")
            assert title37 in norm(dom) and sentence37 in norm(dom), dom[:1000]
    print(f"{label}: 100 chapters under 10 volumes; chapter 37, next/previous, arrows, volume and read-all pages")


def tiny_png():
    """A 1 x 1 picture."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\x00\xff\x80\x00")) + chunk(b"IEND", b""))


def read_small_book(tool, flags):
    """A picture volume, and titles with quotes and backslashes that must not
    break the scripts."""
    lines = ["<img src=pic/cover.png>", "", "",
             "封面", "　　封面说明。", "", "",
             "第一卷 It's", "", "",
             '第一章 "引号"', "　　他说：'走吧'。", "", "",
             "第二章 反斜杠\\路径", "　　C:\\书\\目录。", "", "",
             "第三章 单引号'与双引号\"", "　　完。"]
    with tempfile.TemporaryDirectory(prefix="qx-small-") as out:
        book = pathlib.Path(out) / "small.txt"
        book.write_bytes("\r\n".join(lines).encode("gbk") + b"\r\n")
        (pathlib.Path(out) / "pic").mkdir()
        (pathlib.Path(out) / "pic" / "cover.png").write_bytes(tiny_png())
        ebook = make_ebook(tool, book, "separate", pathlib.Path(out) / "out", title="引号", author="某")
        assert (ebook / "txt" / "cover.png").is_file(), "the picture is copied beside the fragments"
        with webdriver.Browser(*flags) as b:
            b.open((ebook / "start.htm").as_uri())
            b.frame(0)
            contents_loaded(b, 4)
            b.wait_for("var i = document.querySelector('td.picture img'); return i && i.complete && i.naturalWidth == 1",
                       "the picture of the picture volume")
            links = b.script(f"return Array.prototype.map.call(document.querySelectorAll('{CHAPTER_LINKS}'),"
                             " function (a) { return a.innerText; })")
            assert links == ["封面", '第一章 "引号"', "第二章 反斜杠\\路径", "第三章 单引号'与双引号\""], links
            assert "It's" in b.script("return document.querySelector('td.tablebody2').innerText")
            b.click(b.find("xpath", "(//td[@class='tablebody1']/a)[3]"))
            text = wait_for_heading(b, "第二章 反斜杠\\路径", "the chapter with a backslash")
            assert "C:\\书\\目录。" in text, text
            b.click(b.find("link text", "上一页"))
            text = wait_for_heading(b, '第一章 "引号"', "the chapter with double quotes")
            assert "他说：\"走吧\"。" in text, text  # apostrophes of the text read as double quotes
    print(f"small book{' (shared frames)' if flags else ''}: picture volume, quoted titles intact")


def main():
    tool, corpus, shots = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    if not all((corpus / name).exists() for name, _ in BOOKS):
        print(f"test novels not found in {corpus}: skipped")
        return SKIP
    if not chromium.find_chromium() or not webdriver.find_chromedriver():
        print("chromium or chromedriver not installed: skipped")
        return SKIP
    for flags in FLAG_SETS:
        read_small_book(tool, flags)
        for name, mode in BOOKS:
            read_book(tool, corpus, mode, name, flags, shots)
    print(f"screenshots in {shots}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
