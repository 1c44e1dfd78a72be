"""An e-book directory compiled into a CHM by chmcmd through the program's
CHM step, then read back with chmls and extract_chmLib: every file of the
directory is inside with the same bytes, the title and the default topic are
the ones proposed, and the project files are gone again.

usage: chm_with_chmcmd.py PROJECTS_DRIVER CORPUS_DIR [MAKE_EBOOK]

With MAKE_EBOOK (the output-run driver) and the test novels at hand the
e-book is made from strict_separate_lines.gbk.txt; otherwise a small e-book
directory of the usual layout is written here.
"""

import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
TITLE, AUTHOR = "西游记", "吴承恩"


def write_small_ebook(book):
    """start.htm, two template folders (one with a nested folder), js/, txt/
    with fragments and a picture, and an empty folder, all in GBK."""
    files = {
        "start.htm": "<html><head><title>西游记</title></head>"
                     "<frameset><frame src=\"index1/index.htm\"></frameset></html>\r\n",
        "index1/index.htm": "<html><body>目录</body></html>\r\n",
        "index1/chapter.htm": "<html><body><script src=\"../js/chapter.js\"></script></body></html>\r\n",
        "index1/images/deep/bg.gif": b"GIF89a\x01\x00\x01\x00\x00\x00\x00;",
        "index2/index.htm": "<html><body>第二个模板</body></html>\r\n",
        "js/page.js": "var page = [\"1_01\", \"1_02\", \"2_01\"];\r\n",
        "js/chapter.js": "function show() {}\r\n",
        "txt/1_01.txt": "document.write(\"第一回　灵根育孕源流出\\r\\n　　诗曰……\");\r\n",
        "txt/1_02.txt": "document.write(\"第二回　悟彻菩提真妙理\");\r\n",
        "txt/2_01.txt": "document.write(\"第三回　四海千山皆拱伏\");\r\n",
        "txt/插图.jpg": b"\xff\xd8\xff\xe0JFIF\x00" + bytes(range(256)),
    }
    for name, content in files.items():
        path = book / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content if isinstance(content, bytes) else content.encode("gbk"))
    (book / "pic").mkdir()
    return "2_01"


def make_ebook_from_corpus(make_ebook, corpus, out):
    novel = corpus / "strict_separate_lines.gbk.txt"
    if not make_ebook or not pathlib.Path(make_ebook).exists() or not novel.exists():
        return None
    done = subprocess.run([make_ebook, str(novel), str(out), "--title", TITLE, "--author", AUTHOR],
                          capture_output=True)
    assert done.returncode == 0, done.stderr.decode("utf-8", "replace")
    book = pathlib.Path(done.stdout.decode().strip())
    def order(label):  # "3_12" after "3_2" and "10_1" after "9_9"
        return [int(part) if part.isdigit() else part for part in label.split("_")]
    labels = sorted((p.stem for p in (book / "txt").glob("*.txt")), key=order)
    return book, labels[-1]


def chm_names(chm):
    done = subprocess.run(["chmls", "-n", "-p", "list", str(chm)], capture_output=True)
    assert done.returncode == 0, done.stderr
    return {line[1:] for line in done.stdout.decode("utf-8", "surrogateescape").splitlines()
            if line.startswith("/") and not line.endswith("/")}


def system_entries(extracted):
    """The records of #SYSTEM: code -> bytes."""
    data = (extracted / "#SYSTEM").read_bytes()
    entries, at = {}, 4
    while at + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, at)
        entries.setdefault(code, data[at + 4:at + 4 + length])
        at += 4 + length
    return entries


def main():
    driver, corpus = sys.argv[1], pathlib.Path(sys.argv[2])
    make_ebook = sys.argv[3] if len(sys.argv) > 3 else ""
    for tool in ("chmcmd", "chmls", "extract_chmLib"):
        if not shutil.which(tool):
            print(f"{tool} not installed: skipped")
            return SKIP

    with tempfile.TemporaryDirectory(prefix="qx-chm-") as tmp:
        tmp = pathlib.Path(tmp)
        out, home = tmp / "我的 电子书", tmp / "home"
        out.mkdir()
        home.mkdir()  # no chm/hhc.exe: chmcmd compiles
        made = make_ebook_from_corpus(make_ebook, corpus, out)
        if made:
            book, last_label = made
        else:
            book = out / TITLE
            last_label = write_small_ebook(book)
        before = sorted(p.relative_to(book).as_posix() for p in book.rglob("*") if p.is_file())

        done = subprocess.run([driver, "chm", str(book), str(out), "--title", TITLE, "--author", AUTHOR,
                               "--label", last_label, "--home", str(home)], capture_output=True)
        log = done.stderr.decode("utf-8", "replace")
        assert done.returncode == 0, log
        assert "status: 编译CHM成功！" in log, log
        chm = pathlib.Path(done.stdout.decode().strip())
        assert chm == out / f"{TITLE}(1~{last_label})作者：{AUTHOR}.chm", chm
        assert chm.stat().st_size > 0

        # The project files lived only for the run.
        after = sorted(p.relative_to(book).as_posix() for p in book.rglob("*") if p.is_file())
        assert after == before, set(after) ^ set(before)

        names = chm_names(chm)
        missing = [f for f in before if f not in names]
        assert not missing, missing
        assert "temp.hhp" not in names and "temp_chmcmd.hhp" not in names

        extracted = tmp / "extracted"
        done = subprocess.run(["extract_chmLib", str(chm), str(extracted)], capture_output=True)
        assert done.returncode == 0, done.stderr
        for f in before:
            assert (extracted / f).read_bytes() == (book / f).read_bytes(), f
        assert (extracted / "start.htm").read_bytes() == (book / "start.htm").read_bytes()
        fragment = sorted((book / "txt").glob("*.txt"))[0].name
        assert (extracted / "txt" / fragment).read_bytes() == (book / "txt" / fragment).read_bytes()

        system = system_entries(extracted)
        rights = "本电子书由 QX 电子书制作组用 QX 电子书制作器制作 原著版权归原作者所有，仅供个人阅读"
        title = f"{TITLE} 作者：{AUTHOR} - {rights} - Zarvo"
        assert system[2].rstrip(b"\0") == b"start.htm", system[2]
        assert system[3].rstrip(b"\0") == title.encode("gbk"), system[3].decode("gbk", "replace")
        assert struct.unpack_from("<I", system[4])[0] == 0x804, system[4][:4].hex()

        # The title dialog's complete-book name and an own title.
        done = subprocess.run([driver, "chm", str(book), str(out), "--title", TITLE, "--author", AUTHOR,
                               "--label", last_label, "--home", str(home),
                               "--chm-name", f"《{TITLE}》作者：{AUTHOR}", "--chm-title", "自定标题"],
                              capture_output=True)
        assert done.returncode == 0, done.stderr.decode("utf-8", "replace")
        full = out / f"《{TITLE}》作者：{AUTHOR}.chm"
        assert pathlib.Path(done.stdout.decode().strip()) == full
        shutil.rmtree(extracted)
        subprocess.run(["extract_chmLib", str(full), str(extracted)], capture_output=True, check=True)
        assert system_entries(extracted)[3].rstrip(b"\0") == "自定标题".encode("gbk")

        print(f"{len(before)} files compiled into {chm.name} and read back unchanged")
    return 0


if __name__ == "__main__":
    sys.exit(main())
