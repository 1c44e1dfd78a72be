"""What the EPUB end-to-end tests share: running `qxebook convert --epub-only`
and `qxebook inspect --json`, the books the tests make (pictures and a
cover, hostile titles and text, ten thousand chapters), small PNG and JPEG
files, and what a chapter page must show according to the Index: the
chapter body cut from the working text, split into paragraphs as the
e-book's pages show them."""

import json
import pathlib
import re
import shutil
import struct
import subprocess
import zlib

SKIP = 77

# Every corpus book the EPUB is checked on, with the conversion it needs.
CORPUS_BOOKS = [
    ("sanguo.gbk.txt", "auto"),
    ("shuihu.gbk.txt", "auto"),
    ("shuihu.trad.gbk.txt", "auto"),
    ("xiyouji.gbk.txt", "auto"),
    ("strict_separate_lines.gbk.txt", "auto"),
    ("strict_one_line.gbk.txt", "auto"),
    ("sanguo.utf16le_bom.txt", "auto"),
    ("xiyouji.trad.big5.txt", "auto"),
]

# Tools that print messages get a UTF-8 locale whatever the test runs under.
TOOL_ENV_OVERRIDES = {"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}


def run_qxebook(qxebook, *args, check=True):
    done = subprocess.run([str(qxebook), *map(str, args)], capture_output=True, text=True, timeout=300)
    if check and done.returncode != 0:
        raise AssertionError(f"qxebook {' '.join(map(str, args[:2]))} failed ({done.returncode}):\n"
                             f"{done.stderr[-3000:]}")
    return done


def make_epub(qxebook, book, out, *, title, author, mode, convert="auto", home=None, extra=(), name=None):
    """Converts `book` to an EPUB in `out` and returns its path; with `name`,
    the file is moved to out/<name> (plain ASCII names for the Java and
    Haskell tools, whatever locale the tests run in)."""
    out = pathlib.Path(out)
    home = pathlib.Path(home) if home else out / "home"
    done = run_qxebook(qxebook, "convert", book, "--title", title, "--author", author, "--mode", mode,
                       "--convert", convert, "--home", home, "--out", out, "--epub-only", "--overwrite", *extra)
    written = pathlib.Path(done.stdout.strip().splitlines()[-1])
    assert written == out / f"{title}.epub" and written.is_file(), (done.stdout, done.stderr[-2000:])
    if name:
        target = out / name
        written.replace(target)
        written = target
    return written


def inspect(qxebook, book, *, mode, convert="auto", home):
    done = run_qxebook(qxebook, "inspect", book, "--title", "书", "--author", "某", "--mode", mode,
                       "--convert", convert, "--home", home, "--json")
    return json.loads(done.stdout)


# --- the Index and the working text -------------------------------------------------------

def book_pages(index):
    """The pages of the book in order, named as the tree names them:
    ("volume", text) before the first chapter of each volume, then
    ("chapter", text, k). Chapter k is node k + its volume number (the
    volume nodes before it); a chapter of volume 0 stands at the top level
    of the contents, the chapters of a volume under its node."""
    tree, chapters = index["tree"], index["chapters"]
    pages, last = [], "0"
    for k, chapter in enumerate(chapters):
        volume = chapter["volume"]
        node = k + int(volume)
        assert node < len(tree), f"chapter {k} has no node in the tree"
        if volume != "0" and volume != last:
            parent = tree[node]["parent"]
            assert parent >= 0, f"chapter {k} of volume {volume} has no volume node"
            pages.append(("volume", tree[parent]["text"]))
        last = volume
        pages.append(("chapter", tree[node]["text"], k))
    return pages


def heading(title, folder):
    """A title as a page shows it: (caption, picture), where a picture title
    ("<img src=pic/1.png> caption") gives the file it names (None when there
    is no such file, beside the book or in its "pic" folder) and the caption
    after the tag; any other title is all caption."""
    if not title.startswith("<img"):
        return shown(title), None
    tag, _, caption = title.partition(">")
    name = re.search(r"src=[\"']?([^\"' >]+)", tag, re.I)
    picture = None
    if name:
        path = name.group(1).replace("\\\\", "/").replace("\\", "/")
        for candidate in (folder / path, folder / "pic" / pathlib.PurePosixPath(path).name):
            if candidate.is_file():
                picture = candidate
                break
    return shown(caption.lstrip(" ")), picture


def working_text(raw):
    """The working text of a GBK book: byte 1A gone, every line end CR LF,
    each run of backslashes made even (one more backslash for an odd run:
    the page shows half of them), GB18030 four-byte sequences kept."""
    text = raw.decode("gb18030").replace("\x1a", "")
    text = re.sub(r"\\+", lambda m: "\\" * (len(m.group(0)) + len(m.group(0)) % 2), text)
    return re.sub(r"\r\n|\r|\n", "\r\n", text).encode("gb18030")


BLANKS = " \u3000\t\r"
XML_UNSAFE = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


def shown(text):
    """A text as the e-book shows it: the working text's doubled backslashes
    single, characters XML cannot hold left out."""
    return XML_UNSAFE.sub("", text.replace("\\\\", "\\"))


def paragraphs(body):
    """The paragraphs a chapter page must hold for the working-text bytes
    `body`: each line that has text a page can show, blanks at either end
    dropped."""
    lines = (shown(l).strip(BLANKS) for l in body.decode("gb18030").split("\r\n"))
    return [l for l in lines if l]


def squeezed(text):
    """A text with all its white space (ideographic and no-break spaces too) taken out."""
    return re.sub(r"[\s\u3000\u00a0]+", "", text)


# --- pictures -----------------------------------------------------------------------------

def tiny_png(width=2, height=2, rgb=(200, 40, 40)):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    rows = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def tiny_jpeg():
    """An 8 x 8 mid-grey baseline JPEG: one component, one block whose DC
    difference and AC coefficients are all zero, with Huffman tables of a
    single one-bit code each."""
    def segment(marker, data):
        return b"\xff" + bytes([marker]) + struct.pack(">H", len(data) + 2) + data
    quant = segment(0xDB, b"\x00" + b"\x01" * 64)
    frame = segment(0xC0, b"\x08" + struct.pack(">HH", 8, 8) + b"\x01" + b"\x01\x11\x00")
    one_code = b"\x01" + b"\x00" * 15 + b"\x00"  # one code of length 1, for symbol 0
    huffman = segment(0xC4, b"\x00" + one_code + b"\x10" + one_code)
    scan = segment(0xDA, b"\x01" + b"\x01\x00" + b"\x00\x3f\x00")
    # DC category 0 ("0"), then end of block ("0"), padded with ones.
    return b"\xff\xd8" + quant + frame + huffman + scan + b"\x3f" + b"\xff\xd9"


# --- books the tests make -----------------------------------------------------------------

def write_gbk_book(path, lines, line_end="\r\n"):
    path = pathlib.Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes((line_end.join(lines) + line_end).encode("gb18030"))
    return path


def picture_book(folder):
    """A book in separate-lines mode whose volumes are pictures (one without
    a caption, one with), a chapter whose title is a picture, and cover.jpg
    beside it. Returns the book's path."""
    folder = pathlib.Path(folder)
    (folder / "pic").mkdir(parents=True, exist_ok=True)
    (folder / "pic" / "1.png").write_bytes(tiny_png(3, 2, (30, 90, 200)))
    (folder / "pic" / "2.jpg").write_bytes(tiny_jpeg())
    (folder / "pic" / "3.png").write_bytes(tiny_png(2, 3, (20, 160, 60)))
    (folder / "cover.jpg").write_bytes(tiny_jpeg())
    lines = ["<img src=pic/1.png>", "", "",
             "第一章 山门", "　　石猴出世，众猴拜为美猴王。", "　　他在花果山上住了三五百载。", "", "",
             "第二章 拜师", "　　他漂洋过海，寻仙访道。", "", "",
             "<img src=pic/2.jpg> 第二卷 闹天宫", "", "",
             "第三章 龙宫", "　　借得金箍棒。", "", "",
             "<img src=pic/3.png>", "　　一幅插图之后的正文。", "", "",
             "第五章 天宫", "　　官封弼马温。"]
    return write_gbk_book(folder / "picture_book.txt", lines)


# Text that XML must escape or cannot hold, in titles and paragraphs.
HOSTILE = "A&B <b>粗</b> &amp; ]]> <!-- 'x' \"y\" C:\\路径\\\\双"


def adversarial_book(folder):
    """A book in separate-lines mode made to break an EPUB writer: chapters
    before the first volume, titles holding & < > ' " and backslashes, empty
    chapters (inside a volume and at the very end), control characters in
    titles and text, a chapter title that is only a picture tag, a volume
    title that names a picture that is missing, characters GBK lacks, LF and
    CR LF line ends mixed. Returns the book's path."""
    folder = pathlib.Path(folder)
    (folder / "pic").mkdir(parents=True, exist_ok=True)
    (folder / "pic" / "p.png").write_bytes(tiny_png())
    lines = ["序 " + HOSTILE, "　　" + HOSTILE + "。", "\t 前后的空白 \u3000 中间的空白 \t\u3000", "", "",
             "楔子 空章", "", "", "",
             "引子 控制\x01字符\x07", "　　甲\x08乙\x0b丙\x0c丁\x1b戊\x1f己\x7f庚\x1a辛。", "\x01\x02", "\x0c",
             "\x1b　\x1b　前后有控制字符的空白　\x01",
             "　　罕见字\U00020BB7与表情\U0001F600。", "", "",
             "第一卷 " + HOSTILE, "", "",
             "第一章 空章", "", "", "",
             "第二章 '单' \"双\" \\反斜杠\\", "　　第一段。", "", "　　第二段 & 第三个 < 符号 >。", "", "",
             "<img src=pic/p.png>", "　　标题只是一幅图的一章。", "", "",
             "<img src=pic/missing.png>", "", "",
             "第三章 <i>斜</i>&nbsp;", "　　&#x41; &lt; 不是实体。", "", "",
             "第四章 最后一章", "　　完。", "", "", ""]
    path = folder / "adversarial.txt"
    text = "\r\n".join(lines[:26]) + "\r\n" + "\n".join(lines[26:]) + "\n"
    path.write_bytes(text.encode("gb18030"))
    return path


def many_chapters_book(folder, volumes=100, per_volume=100):
    """A book of volumes x per_volume chapters with one short paragraph each."""
    lines = []
    for v in range(1, volumes + 1):
        lines += [f"第{v}卷", "", ""]
        for c in range(1, per_volume + 1):
            n = (v - 1) * per_volume + c
            lines += [f"第{n}章 第{v}卷之{c}", f"　　这是第{n}章的正文。", "", ""]
    return write_gbk_book(pathlib.Path(folder) / "many_chapters.txt", lines)


def copy_tree(source, target):
    shutil.copytree(source, target, dirs_exist_ok=True)
