#!/usr/bin/env python3
"""Writes the committed seed corpora of the text fuzz targets.

  python3 fuzz/make_text_seeds.py CORPUS_DIR fuzz/seeds

Seeds are condensed slices of the test novels (every line cut short, so a
few kilobytes still hold many chapters with their blank-line layout) in
their own encodings, and crafted texts for the corners: stray GBK lead
bytes before quotes and line ends, backslash runs, four-byte sequences,
picture titles, many one-chapter volumes, empty and blank books, settings
files and heading rules. Each target's choice bytes come first, as its
source describes them.
"""

import os
import sys

LINE = 28       # characters kept of each line
SLICE = 3000    # characters of each slice

NOVELS = [
    # file, codec, pipeline conversion choice (byte 1, bits 0-2)
    ("strict_separate_lines.gbk.txt", "gb18030", 0),
    ("strict_one_line.gbk.txt", "gb18030", 0),
    ("sanguo.gbk.txt", "gb18030", 0),
    ("shuihu.gbk.txt", "gb18030", 0),
    ("shuihu.trad.gbk.txt", "gb18030", 3),
    ("xiyouji.gbk.txt", "gb18030", 5),
    ("xiyouji.trad.big5.txt", "big5", 2),
    ("sanguo.utf16le_bom.txt", "utf-16", 1),
]


def condensed(text):
    lines = text.split("\n")
    out = []
    for line in lines:
        cr = line.endswith("\r")
        body = line[:-1] if cr else line
        out.append(body[:LINE] + ("\r" if cr else ""))
    return "\n".join(out)


def slices(text):
    c = condensed(text)
    first = c[:SLICE]
    middle_at = c.find("\n", len(c) // 2) + 1
    middle = c[middle_at:middle_at + SLICE]
    return [first, middle]


def encode(text, codec):
    if codec == "utf-16":
        return b"\xff\xfe" + text.lstrip("\ufeff").encode("utf-16-le")
    return text.encode(codec, errors="replace")


def gbk(s):
    return s.encode("gb18030")


CRAFTED_TEXTS = [
    # The stray lead byte before a quote or a double quote (separate lines).
    bytes.fromhex("78 81 27 0d 0a 79 0d 0a 0d 0a 0d 0a 7a 0d 0a 77 0d 0a"),
    bytes.fromhex("78 81 22 0d 0a 79 0d 0a 0d 0a 0d 0a 7a 0d 0a 77 0d 0a"),
    # Lead bytes before line ends, backslashes, the end of the text.
    b"\x81\r\n\xfe\\\r\n\r\n\r\n\x81\\'\r\n\x9f\"\x81",
    # Backslash runs of every length, in titles and bodies.
    b"a\\b\\\\c\\\\\\d\r\n\\\r\n\r\n\r\n\\\\\\\r\nx\\'y\\\"z\\\r\n",
    # GBK characters whose trail byte is 5C, next to quotes.
    gbk("第一卷") + b"\r\n\r\n\r\n" + gbk("第一章 ") + b"\x95\x5c'\x95\x5c\"\r\n" + gbk("正文") + b"\x95\x5c\r\n",
    # Four-byte sequences, whole and cut.
    gbk("第一章 \U00020BB7") + b"\r\n" + gbk("正文\U0001F600") + b"\x81\x30\x81\r\n\x81\x30",
    # Picture titles.
    gbk("<img src=pic\\1.jpg> 插图\r\n\r\n\r\n第一章 开始\r\n正文\r\n\r\n\r\n<img src=\"x.png\">\r\n说明\r\n"),
    # Many one-chapter volumes in one-line and separate-lines layouts.
    b"".join(gbk("第%d卷 第1章 标题\r\n正文\r\n\r\n\r\n" % i) for i in range(1, 60)),
    b"".join(gbk("卷%d\r\n\r\n\r\n章\r\n正文\r\n\r\n\r\n" % i) for i in range(1, 60)),
    # Headings of every kind, with noise words and on the same line.
    gbk("《书名》作者\r\n\r\n序\r\n序文\r\n第一卷 风起 第一章 少年\r\n正文\r\n【VIP】第二章 成长\r\n"
        "Chapter 3 The end\r\n第三回　回目\r\n楔子\r\n番外 一\r\n第二卷\r\n第二卷\r\n第一章 再来\r\n尾声\r\n"),
    # Blank books and near-blank ones.
    b"",
    b"\r\n\r\n   \r\n\xa1\xa1\xa1\xa1\r\n",
    b"\x00\x00\x00\x00",
    b"\x1a\x1a\r\n\x1a",
    b"x",
    b"\r\r\n\n\r\n\r\r\r\nx\r\n\n\n\ny",
    # Titles as long as a line can be, and a volume with nothing after it.
    gbk("第一卷 ") + b"\xd6\xd0" * 200 + b"\r\n\r\n\r\n" + gbk("第一章") + b"\r\n\r\n\r\n" + gbk("第二卷") + b"\r\n\r\n\r\n",
    # UTF-8 with a byte-order mark and with bad bytes; UTF-16 without one.
    b"\xef\xbb\xbf" + "第一章 开始\r\n正文\r\n".encode("utf-8") + b"\xc3\x28\xff\r\n",
    "第一章 开始\r\n正文'\"\\\r\n".encode("utf-16-be"),
    "\ufeff第1章\r\n\u00a0\u3000正文\r\n".encode("utf-8"),
]

SETTINGS = [
    gbk("[基本设置]\r\n输出目录=D:\\eBooks\r\n输入目录=C:\\书\r\n即时预览=真\r\n自动开启输出目录=假\r\n"
        "自动保存参数修改内容=真\r\n排版模式=卷章一行\r\n模板=默认|古典\r\nEPE文件地址=C:\\EPE.exe\r\n"),
    gbk("; comment\r\n[其他]\r\nx=1\r\n[基本设置]\r\n排版模式=按标题分章\r\n排版模式=卷章分行\r\n"),
    gbk("[基本设置]\r\n输出目录=\r\n输入目录\r\n=值\r\n[基本设置\r\n模板=") + b"\x81\x27\xff\x00\r\n",
    b"\xef\xbb\xbf" + "[基本设置]\n输出目录=/home/u/书\n".encode("utf-8"),
    b"[\r\n]\r\n[]\r\n==\r\n" + b"\x81" * 10,
    b"",
]

PATTERNS = [
    (0, b"^Section (?<num>\\d+)(?<title>.*)$"),
    (1, b"^Part (?<num>[IVXLC]+)"),
    (2, "^卷(?<num>[一二三四五六七八九十]+)".encode("utf-8")),
    (3, "^(?:后记|附录)".encode("utf-8")),
    (0, b"^(a+)+[bc]"),
    (0, b"(?<num>\\d+)(?<num2>\\d+)"),
    (0, b"((("),
    (0, b"\\"),
    (0, b"\xff\xfe(?<num>\\d+)"),
    (0, b"(?<title>.*)(?<num>.)"),
    (0, b"^\\x{3000}*Chapter"),
]

HEADING_BOOK = gbk("Section 1 Start\r\n正文\r\nSection 2\r\nPart IV\r\n卷三\r\n后记\r\n") + b"a" * 200 + b"\r\n" + \
    gbk("第一章 x\r\n第二章\r\n")

RULE_FILES = [
    "# rules\non\tbuiltin\t第N章\noff\tbuiltin\t序\non\tchapter\t^Section \\d+\non\tvolume\t^Book (?<num>\\d+)\n",
    "on\tpart\t\noff\tnothing\tx\non\tbuiltin\tno such rule\njunk\n\t\t\n",
    "on\tchapter\t(((\non\tspecial\t^(?:附录)\r\n",
]


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main():
    corpus, out = sys.argv[1], sys.argv[2]
    novels = []
    for name, codec, conversion in NOVELS:
        path = os.path.join(corpus, name)
        if not os.path.exists(path):
            continue
        with open(path, "rb") as f:
            raw = f.read()
        text = raw.decode(codec, errors="replace")
        for i, part in enumerate(slices(text)):
            novels.append((name.split(".")[0] + "-" + name.split(".")[1] + "-" + str(i), encode(part, codec), conversion,
                           codec))

    # pipeline_fuzz: 3 choice bytes (see pipeline_harness.h) + text.
    d = os.path.join(out, "pipeline_fuzz")
    for n, (name, data, conversion, _) in enumerate(novels):
        for mode in (range(4) if name.endswith("-0") else [n % 4]):
            b0 = mode | 4 | (((mode * 5) % 32) << 3)
            b1 = conversion | 0x80 | (0 << 5)
            write(d, "%s-m%d" % (name, mode), bytes([b0, b1, 0]) + data)
    for i, data in enumerate(CRAFTED_TEXTS):
        for mode in range(4):
            write(d, "crafted%02d-m%d" % (i, mode), bytes([mode | 4, 0x80 | (5 if i >= 17 else 0), 0x23]) + data)
        write(d, "crafted%02d-utf16-no" % i, bytes([0, 0x80 | (1 << 5), 0]) + data)

    # loading_fuzz: mode byte + normalised GBK text.
    d = os.path.join(out, "loading_fuzz")
    for name, data, conversion, codec in novels:
        if codec != "gb18030":
            continue
        for mode in (range(3) if name.endswith("-0") else [len(name) % 3]):
            write(d, "%s-m%d" % (name, mode), bytes([mode | 4]) + data)
    for i, data in enumerate(CRAFTED_TEXTS):
        for mode in range(3):
            write(d, "crafted%02d-m%d" % (i, mode), bytes([mode | 4]) + data)

    # page_fuzz: choice byte + text \0 title \0 author \0 maker \0 rights \0 template.
    d = os.path.join(out, "page_fuzz")
    infos = [b"\xca\xe9\0\xd7\xf7\xd5\xdf\0QX\0(c)\0" + gbk("默认"),
             b"a'b\0\x81\0\\\0\"\r\n\0\x81'",
             b"\0\0\0\0"]
    for name, data, conversion, codec in novels:
        if codec != "gb18030":
            continue
        write(d, name, bytes([0]) + data[:3000] + b"\0" + infos[0])
        write(d, name + "-h", bytes([1]) + data[:3000] + b"\0" + infos[1])
    for i, data in enumerate(CRAFTED_TEXTS):
        write(d, "crafted%02d" % i, bytes([i & 1]) + data.replace(b"\0", b"") + b"\0" + infos[i % 3])

    # encoding_fuzz: choice byte + the file's bytes.
    d = os.path.join(out, "encoding_fuzz")
    sources = {"gb18030": 0, "big5": 1, "utf-16": 3}
    for name, data, conversion, codec in novels:
        write(d, name, bytes([sources[codec]]) + data[:4000])
        write(d, name + "-detect", bytes([5]) + data[:4000])
    write(d, "simplify-trad", bytes([0xF8 | 1]) + novels[-3][1][:2000] if len(novels) >= 3 else b"\x39")
    for i, data in enumerate(CRAFTED_TEXTS):
        write(d, "crafted%02d" % i, bytes([i % 6]) + data)
    write(d, "utf8-all", bytes([2]) + "€¢\u00a0\ufeff\u1e3f\u01f9\U00020bb7\ue000\uf8ff中文".encode("utf-8"))

    # settings_fuzz: the file's bytes.
    d = os.path.join(out, "settings_fuzz")
    for i, data in enumerate(SETTINGS):
        write(d, "settings%02d" % i, data)

    # headings_fuzz: choice byte + pattern line + book, or rules file \0 book.
    d = os.path.join(out, "headings_fuzz")
    for i, (kind, pattern) in enumerate(PATTERNS):
        write(d, "pattern%02d" % i, bytes([kind]) + pattern + b"\n" + HEADING_BOOK)
    for i, text in enumerate(RULE_FILES):
        write(d, "rules%02d" % i, bytes([4 | (8 if i == 1 else 0)]) + text.encode("utf-8") + b"\0" + HEADING_BOOK)
    for name, data, conversion, codec in novels:
        if codec == "gb18030":
            write(d, name, bytes([0]) + b"^Section (?<num>\\d+)\n" + data[:4000])


if __name__ == "__main__":
    main()
