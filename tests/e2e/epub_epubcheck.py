"""EPUBs written by `qxebook convert --epub-only` checked by epubcheck, which
must find nothing at all: no fatal error, no error, no warning.

Books: every test novel in separate-lines mode and in headings mode (the
UTF-16 and BIG5 ones converted by --convert auto), strict_one_line.gbk.txt in
one-line mode; a book with picture volumes, a picture chapter title and a
cover (cover.jpg beside it, and a PNG given with --cover, and once through
--epub with the HTML e-book written first); a book made to break the writer
(hostile titles and text, empty chapters, chapters before the first volume,
control characters, picture tags as titles) in both modes. With --many, a
book of 10,000 chapters in 100 volumes instead: epubcheck takes minutes on
it, so it is a test of its own that can run beside the others.

All files go through one Java virtual machine (epubcheck_each.java) where
the JDK can run a source file, else epubcheck runs once per file.

usage: epub_epubcheck.py QXEBOOK CORPUS_DIR TEMPLATE_DIR [--many]
"""

import concurrent.futures
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import epub_books as eb

JAR = pathlib.Path("/usr/share/java/epubcheck.jar")
EACH = pathlib.Path(__file__).with_name("epubcheck_each.java")
SUMMARY = re.compile(r"^Messages: (\d+) fatals? / (\d+) errors? / (\d+) warnings?", re.M)
# epubcheck follows the reading order recursively, one frame per link: a
# book of ten thousand chapters needs more stack than the default.
JAVA = ["java", "-Xss256m", "-Duser.language=en", "-Duser.country=US"]


def java_runs_source_files():
    done = subprocess.run(["java", "--list-modules"], capture_output=True, text=True)
    return done.returncode == 0 and "jdk.compiler@" in done.stdout


def epubcheck(files):
    """{file: (exit code, report)} for every file."""
    env = {**os.environ, **eb.TOOL_ENV_OVERRIDES}
    reports = {}
    if java_runs_source_files():
        done = subprocess.run(JAVA + ["-cp", str(JAR), str(EACH), *map(str, files)],
                              capture_output=True, text=True, env=env, timeout=1500)
        current = None
        for line in done.stdout.splitlines():
            if line.startswith("=== exit ") and current:
                reports[current] = (int(line[9:]), reports[current][1])
                current = None
            elif line.startswith("=== "):
                current = line[4:]
                reports[current] = (None, "")
            elif current:
                reports[current] = (None, reports[current][1] + line + "\n")
        missing = [f for f in map(str, files) if f not in reports]
        assert not missing, f"epubcheck gave no report for {missing}:\n{done.stdout[-3000:]}{done.stderr[-3000:]}"
    else:
        for f in files:
            done = subprocess.run(JAVA + ["-jar", str(JAR), str(f)], capture_output=True, text=True, env=env,
                                  timeout=1500)
            reports[str(f)] = (done.returncode, done.stdout + done.stderr)
    return reports


def verdict(code, report):
    """None when epubcheck found nothing, else what is wrong."""
    found = SUMMARY.search(report)
    if not found:
        return "no summary line"
    if code != 0 or found.groups() != ("0", "0", "0"):
        lines = [l for l in report.splitlines() if re.match(r"(FATAL|ERROR|WARNING)", l)]
        return f"exit {code}, {found.group(0)}\n    " + "\n    ".join(lines[:20])
    return None


def spoiled_copy(epub, target):
    """A copy of `epub` with a character reference XML forbids in a chapter
    page: epubcheck must fail it, or it checks nothing."""
    with zipfile.ZipFile(epub) as source, zipfile.ZipFile(target, "w") as copy:
        for info in source.infolist():
            data = source.read(info)
            if info.filename == "OEBPS/text/c00001.xhtml":
                data = data.replace(b"<p>", b"<p>&#1;", 1)
            copy.writestr(info, data)
    return target


def corpus_jobs(corpus):
    jobs = []
    for name, convert in eb.CORPUS_BOOKS:
        for mode in ("separate", "headings"):
            jobs.append((name, corpus / name, mode, convert, []))
    jobs.append(("strict_one_line.gbk.txt", corpus / "strict_one_line.gbk.txt", "one-line", "auto", []))
    return jobs


def generated_jobs(work):
    pictures = eb.picture_book(work / "pictures")
    cover_png = work / "given_cover.png"
    cover_png.write_bytes(eb.tiny_png(4, 6, (240, 200, 10)))
    hostile = eb.adversarial_book(work / "hostile")
    return [
        ("picture book, cover.jpg beside it", pictures, "separate", "auto", []),
        ("picture book, --cover PNG", pictures, "separate", "auto", ["--cover", cover_png]),
        ("hostile book", hostile, "separate", "auto", []),
        ("hostile book", hostile, "headings", "auto", []),
    ]


def main():
    qxebook, corpus, templates = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    many = "--many" in sys.argv[4:]
    if not shutil.which("java") or not JAR.is_file():
        print(f"java or {JAR} missing: skipped")
        return eb.SKIP
    if not many and not all((corpus / name).exists() for name, _ in eb.CORPUS_BOOKS):
        print(f"test novels not found in {corpus}: skipped")
        return eb.SKIP

    with tempfile.TemporaryDirectory(prefix="qx-epubcheck-") as work:
        work = pathlib.Path(work)
        home = work / "home"
        if many:
            jobs = [("10,000 chapters in 100 volumes", eb.many_chapters_book(work / "many"), "separate", "auto", [])]
        else:
            jobs = corpus_jobs(corpus) + generated_jobs(work)

        def convert(numbered):
            n, (what, book, mode, conv, extra) = numbered
            out = work / f"out{n:02d}"
            title = "甲&乙<丙>'丁\"" if "hostile" in what else "书"
            author = "某'人\"&<>" if "hostile" in what else "某"
            return eb.make_epub(qxebook, book, out, title=title, author=author, mode=mode, convert=conv,
                                home=home, extra=extra, name=f"book{n:02d}.epub")

        eb.inspect(qxebook, jobs[0][1], mode=jobs[0][2], home=home)  # the fresh home is set up once
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            files = list(pool.map(convert, enumerate(jobs)))

        if not many:
            # The EPUB written after the HTML e-book (--epub) is the same kind of file.
            home_with_template = work / "home-with-template"
            eb.copy_tree(templates, home_with_template / "template")
            done = eb.run_qxebook(qxebook, "convert", work / "pictures" / "picture_book.txt", "--title", "图书",
                                  "--author", "某", "--mode", "separate", "--home", home_with_template,
                                  "--out", work / "both", "--epub")
            printed = [pathlib.Path(l) for l in done.stdout.splitlines()]
            assert (work / "both" / "图书" / "start.htm").is_file(), done.stdout
            assert work / "both" / "图书.epub" in printed, done.stdout
            both = work / "both" / "book-html-first.epub"
            (work / "both" / "图书.epub").replace(both)
            jobs.append(("picture book with the HTML e-book (--epub)", None, "separate", "auto", []))
            files.append(both)

        control = [] if many else [spoiled_copy(files[-1], work / "spoiled.epub")]
        reports = epubcheck(files + control)
        for c in control:
            code, report = reports[str(c)]
            assert verdict(code, report) and "RSC-016" in report, f"epubcheck passed a spoiled EPUB:\n{report[-2000:]}"
        failures = []
        for (what, _, mode, conv, extra), f in zip(jobs, files):
            code, report = reports[str(f)]
            problem = verdict(code, report)
            label = f"{what} ({mode} mode)"
            summary = SUMMARY.search(report)
            print(f"{'FAIL' if problem else 'ok  '} {label}: {summary.group(0) if summary else '?'}")
            if problem:
                failures.append(f"{label}: {problem}")
        assert not failures, "epubcheck found faults:\n" + "\n".join(failures)
    print(f"epubcheck: {len(files)} EPUBs, no fatal errors, errors or warnings")
    return 0


if __name__ == "__main__":
    sys.exit(main())
