"""preview.htm of a separate-lines book, opened in headless Chromium: one
heading row per volume and one cell per chapter, and a screenshot for a
person to look at.

usage: preview_in_chromium.py QXEBOOK CORPUS_DIR SCREENSHOT_DIR
"""

import pathlib
import re
import subprocess
import sys
import tempfile

import chromium

SKIP = 77


def main():
    qxebook, corpus, shots = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    book = corpus / "strict_separate_lines.gbk.txt"
    if not book.exists():
        print(f"test novels not found in {corpus}: skipped")
        return SKIP
    if not chromium.find_chromium():
        print("chromium not installed: skipped")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="qx-preview-") as out:
        done = subprocess.run([qxebook, "preview", str(book), "--title", "西游记", "--author", "吴承恩",
                               "--out", out], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        page = pathlib.Path(done.stdout.strip())
        assert page == pathlib.Path(out) / "preview.htm", done.stdout
        raw = page.read_bytes()
        assert raw.startswith(b"<html>\r\n"), raw[:40]
        assert raw.endswith(b"</html>\r\n")
            # 52 template lines, a line per volume row, three per chapter cell, two per
        # filler cell (10 chapters a volume leave two fillers each).
        assert raw.count(b"\r\n") == 52 + 10 + 100 * 3 + 20 * 2, raw.count(b"\r\n")

        dom = chromium.dump_dom(page.as_uri())
        volumes = re.findall(r"<td class=\"tablebody2\"[^>]*>([^<]*)", dom)
        chapters = re.findall(r"<td class=\"tablebody1\"[^>]*>\s*<a href=\"#\">([^<]*)</a>", dom)
        assert len(volumes) == 10, volumes
        assert volumes[0].startswith("第一卷"), volumes[0]
        assert "[ 分卷阅读 ]" in volumes[0]
        assert len(chapters) == 100, len(chapters)
        assert chapters[0].startswith("第一回"), chapters[0]
        assert chapters[-1].startswith("第一百回"), chapters[-1]
        assert "<title>西游记 - 吴承恩 - Zarvo</title>" in dom
        rows = dom.count("<tr>")
        assert rows >= 10 + 25, rows  # ten heading rows, 25 rows of four chapters

        shot = shots / "preview-strict_separate_lines.png"
        assert chromium.screenshot(page.as_uri(), str(shot)), "no screenshot"
        print(f"10 volume rows, 100 chapter cells; screenshot in {shot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
