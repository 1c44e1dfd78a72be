#!/usr/bin/env python3
"""Makes the large books the Next-step benchmark reads.

    make_big_book.py OUT_DIR [CORPUS_DIR] [--size-mb N]

CORPUS_DIR defaults to $QX_CORPUS_DIR, else ../shared/corpus next to the
repository. Writes into OUT_DIR:

  big.gbk.txt   GBK, CRLF, laid out for separate-lines mode: the strict
                separate-lines novel repeated, its volume titles renumbered so
                they count up through the whole book (第一卷 ... 第七百五十卷),
                each still on its own line followed by two blank lines.
  big.big5.txt  BIG5, CRLF: the traditional-character BIG5 novel repeated.
  big.utf8.txt  UTF-8 without byte-order mark: big.gbk.txt character for
                character (about 1.5 times its size).

The books reach at least N MB (default 100, MB = 1e6 bytes). A book is made
again only when it is missing or older than its source or this script.
"""

import argparse
import os
import re
import sys
from pathlib import Path

SEPARATE_SOURCE = "strict_separate_lines.gbk.txt"
BIG5_SOURCE = "xiyouji.trad.big5.txt"

CRLF = b"\r\n"
DIGITS = "零一二三四五六七八九"
# A volume title line: 第, Chinese numerals, 卷, nothing else on the line.
VOLUME_LINE = re.compile(r"^第[零一二三四五六七八九十百千]+卷(?=\r\n)", re.MULTILINE)


def chinese_number(n: int) -> str:
    """1..9999 in Chinese numerals as book titles write them (十一, 一百零五)."""
    if not 0 < n < 10000:
        raise ValueError(f"volume number out of range: {n}")
    if 10 <= n < 20:
        return "十" + (DIGITS[n % 10] if n % 10 else "")
    units = [(1000, "千"), (100, "百"), (10, "十"), (1, "")]
    out = []
    pending_zero = False
    for value, name in units:
        d = n // value % 10
        if d == 0:
            if out:
                pending_zero = True
            continue
        if pending_zero:
            out.append("零")
            pending_zero = False
        out.append(DIGITS[d] + name)
    return "".join(out)


def default_corpus_dir() -> Path:
    env = os.environ.get("QX_CORPUS_DIR")
    if env:
        return Path(env)
    repo = Path(__file__).resolve().parent.parent
    return repo.parent / "shared" / "corpus"


def up_to_date(out: Path, sources: list) -> bool:
    if not out.exists():
        return False
    made = out.stat().st_mtime
    return all(made >= s.stat().st_mtime for s in sources)


def write_atomically(out: Path, chunks) -> int:
    """Writes the chunks to OUT via a temporary file; returns the size."""
    tmp = out.with_name(out.name + ".part")
    size = 0
    with open(tmp, "wb") as f:
        for chunk in chunks:
            f.write(chunk)
            size += len(chunk)
    os.replace(tmp, out)
    return size


def split_separate_lines_book(data: bytes):
    """Splits the book at its volume title lines.

    Returns the pieces that follow the titles: piece i runs from the line end
    of volume title i up to the next volume title (or the end of the book).
    Checks the layout the benchmark relies on: CRLF line ends, the file ending
    in one, the book opening with a volume title, every volume title followed
    by exactly two blank lines and preceded (after the first) by two.
    """
    if b"\n" in data.replace(CRLF, b""):
        raise SystemExit(f"{SEPARATE_SOURCE}: expected CRLF line ends only")
    if not data.endswith(CRLF):
        raise SystemExit(f"{SEPARATE_SOURCE}: expected the file to end with a line end")
    text = data.decode("gbk")
    parts = VOLUME_LINE.split(text)
    if len(parts) < 2:
        raise SystemExit(f"{SEPARATE_SOURCE}: no volume title lines found")
    if parts[0]:
        raise SystemExit(f"{SEPARATE_SOURCE}: expected the book to open with a volume title")
    pieces = parts[1:]
    blank2 = "\r\n" * 3  # the title's own line end and two blank lines
    for i, piece in enumerate(pieces, 1):
        if not piece.startswith(blank2) or piece.startswith(blank2 + "\r\n"):
            raise SystemExit(f"{SEPARATE_SOURCE}: volume title {i} is not followed by exactly two blank lines")
        if i < len(pieces) and not piece.endswith(blank2):
            raise SystemExit(f"{SEPARATE_SOURCE}: volume title {i + 1} does not follow two blank lines")
    return [p.encode("gbk") for p in pieces]


def make_gbk_book(source: Path, out: Path, target: int) -> None:
    data = source.read_bytes()
    pieces = split_separate_lines_book(data)
    volumes = len(pieces)
    copies = -(-target // len(data))

    def chunks():
        number = 0
        for copy in range(copies):
            if copy > 0:
                # The source ends with one line end after its last line; two
                # more give the two blank lines that end the last chapter
                # before the next volume title.
                yield CRLF + CRLF
            parts = []
            for piece in pieces:
                number += 1
                parts.append(f"第{chinese_number(number)}卷".encode("gbk"))
                parts.append(piece)
            yield b"".join(parts)

    size = write_atomically(out, chunks())
    print(f"{out}: {size:,} bytes, {copies * volumes} volumes "
          f"({copies} copies of {source.name})")


def make_big5_book(source: Path, out: Path, target: int) -> None:
    data = source.read_bytes()
    if not data.endswith(CRLF):
        data += CRLF
    copies = -(-target // len(data))
    size = write_atomically(out, (data for _ in range(copies)))
    print(f"{out}: {size:,} bytes ({copies} copies of {source.name})")


def make_utf8_book(source: Path, out: Path, target: int) -> None:
    """The GBK book in UTF-8, converted a few MB at a time at line ends."""
    def chunks():
        with open(source, "rb") as f:
            rest = b""
            while True:
                block = f.read(8 << 20)
                if not block:
                    break
                block = rest + block
                cut = block.rfind(b"\n") + 1
                rest = block[cut:]
                yield block[:cut].decode("gbk").encode("utf-8")
            yield rest.decode("gbk").encode("utf-8")

    size = write_atomically(out, chunks())
    print(f"{out}: {size:,} bytes (UTF-8 copy of {source.name})")


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out_dir", type=Path)
    ap.add_argument("corpus_dir", type=Path, nargs="?", default=None)
    ap.add_argument("--size-mb", type=float, default=100.0, help="minimum size of each book (MB = 1e6 bytes)")
    args = ap.parse_args()

    corpus = args.corpus_dir or default_corpus_dir()
    sources = {name: corpus / name for name in (SEPARATE_SOURCE, BIG5_SOURCE)}
    missing = [str(p) for p in sources.values() if not p.is_file()]
    if missing:
        print("make_big_book: corpus files missing: " + ", ".join(missing)
              + " (give the corpus directory as argument or set QX_CORPUS_DIR)", file=sys.stderr)
        return 1
    if args.size_mb <= 0:
        print("make_big_book: --size-mb must be positive", file=sys.stderr)
        return 1

    args.out_dir.mkdir(parents=True, exist_ok=True)
    target = int(args.size_mb * 1e6)
    script = Path(__file__).resolve()

    jobs = [
        (make_gbk_book, sources[SEPARATE_SOURCE], args.out_dir / "big.gbk.txt"),
        (make_big5_book, sources[BIG5_SOURCE], args.out_dir / "big.big5.txt"),
        # Made from the GBK book above, after it.
        (make_utf8_book, args.out_dir / "big.gbk.txt", args.out_dir / "big.utf8.txt"),
    ]
    for make, source, out in jobs:
        if up_to_date(out, [source, script]) and out.stat().st_size >= target:
            print(f"{out}: up to date")
            continue
        make(source, out, target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
