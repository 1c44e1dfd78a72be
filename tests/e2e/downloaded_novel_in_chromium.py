"""A novel as people download it today (UTF-8 without byte-order mark, LF
line ends, a site notice at the top, headings after single blank lines, a
rare ideograph and an emoji in the text) converted by `qxebook convert`
with the encoding and the mode left to the program, then read in headless
Chromium: the contents page lists the chapters the headings name, and the
chapter page shows 𠮷 and 😀 as they were written. A short story without
headings, read whole as one chapter, makes an e-book too: its contents page
lists that one chapter and its chapter page shows the text.

usage: downloaded_novel_in_chromium.py QXEBOOK TEMPLATE_DIR SCREENSHOT_DIR
"""

import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

import chromium

SKIP = 77
RARE = "\U00020BB7"  # 𠮷, not in GBK
EMOJI = "\U0001F600"  # 😀
HEADINGS = ["第一章 陨落的天才", "第二章 吉祥如意", "第三章 客人", "第四章 云岚宗"]


def novel():
    text = "本书来自网络，仅供试读，请支持正版。\n更多好书请访问某某小说网\n\n"
    for h in HEADINGS:
        text += h + "\n\n"
        for _ in range(3):
            extra = f"他在石碑上写下{RARE}字，笑了{EMOJI}。" if h.startswith("第二章") else ""
            text += "　　他走了很远的路，终于看见了那座山。" + extra + "\n\n"
    return text


STORY = ["　　那年冬天，雪下得很大，村口的老槐树被压断了一根枝。",
         "　　他推开门，看见院子里站着一个陌生人。"]


def convert(qxebook, home, work, name, text, read_as):
    """Writes `text` as the UTF-8 book `name`, converts it and returns the
    e-book directory, checking how the program says it read the book."""
    book = work / name
    book.write_bytes(text.encode("utf-8"))
    done = subprocess.run([qxebook, "convert", str(book), "--home", str(home), "--out", str(work / "out")],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert read_as in done.stderr, done.stderr
    return pathlib.Path(done.stdout.strip().splitlines()[0])


def short_story(qxebook, home, work):
    """A story of two paragraphs and no heading: one chapter, still an e-book."""
    ebook = convert(qxebook, home, work, "雪夜 佚名.txt", "\n\n".join(STORY), ": 1 chapters")
    assert ebook == work / "out" / "雪夜", ebook
    contents = chromium.dump_dom((ebook / "index1" / "index.htm").as_uri())
    links = re.findall(r"<td class=\"tablebody1\"[^>]*>\s*<a [^>]*>([^<]*)</a>", contents)
    assert len(links) == 1, links
    dom = chromium.dump_dom((ebook / "index1" / "chapter.htm").as_uri() + "?0")
    for paragraph in STORY:
        assert paragraph.strip() in dom, dom[:2000]


def main():
    qxebook, templates, shots = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    if not chromium.find_chromium():
        print("chromium not installed: skipped")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="qx-downloaded-") as work:
        work = pathlib.Path(work)
        home = work / "home"
        shutil.copytree(templates, home / "template")
        ebook = convert(qxebook, home, work, "斗破 天蚕.txt", novel(), "read as UTF-8, mode headings: 5 chapters")
        assert ebook == work / "out" / "斗破", ebook

        # The fragment holds the two characters as GB18030 four-byte sequences.
        fragment = (ebook / "txt" / "0_3.txt").read_bytes()
        assert RARE.encode("gb18030") in fragment and EMOJI.encode("gb18030") in fragment, fragment[:200]

        contents = chromium.dump_dom((ebook / "index1" / "index.htm").as_uri())
        links = [re.sub(r"\s+", " ", t).strip()
                 for t in re.findall(r"<td class=\"tablebody1\"[^>]*>\s*<a [^>]*>([^<]*)</a>", contents)]
        assert links == ["卷首"] + HEADINGS, links

        page = (ebook / "index1" / "chapter.htm").as_uri() + "?2"
        dom = chromium.dump_dom(page)
        assert "第二章 吉祥如意" in dom, dom[:2000]
        assert f"写下{RARE}字" in dom, "the rare ideograph is lost: " + dom[:2000]
        assert f"笑了{EMOJI}" in dom, "the emoji is lost: " + dom[:2000]
        assert "\ufffd" not in dom and "?" + "字" not in dom
        shot = shots / "downloaded-novel-chapter.png"
        assert chromium.screenshot(page, str(shot)), "no screenshot"
        print(f"UTF-8 novel: 5 chapters by their headings; {RARE} and {EMOJI} shown on the chapter page; "
              f"screenshot in {shot}")
        short_story(qxebook, home, work)
        print("a short story without headings: one chapter, its contents and chapter page shown")
    return 0


if __name__ == "__main__":
    sys.exit(main())
