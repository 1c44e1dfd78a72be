#!/usr/bin/env bash
# The EPUB of a book of more than 100 MB with 10,000 chapters, made from the
# test novels: `qxebook convert --epub-only` timed against `zip -q -r` (its
# default level, as the EPUB's deflate) packing the same XHTML files on the
# same disk in the same run; with peak memory. The Next step alone
# (`qxebook inspect`) is timed too, so the EPUB's own share shows.
#
#   bash bench/epub_bench.sh        (from the repository root, after the build)
#
# Environment: BUILD_DIR (default build), SIZE_MB (default 134), BENCH_DATA
# (default $BUILD_DIR/bench-data-$SIZE_MB), QX_CORPUS_DIR, REPEAT (default 3).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
size_mb=${SIZE_MB:-134}
data=${BENCH_DATA:-$build/bench-data-$size_mb}
repeat=${REPEAT:-3}
qxebook=$build/src/cli/qxebook

cmake --build "$build" --target qxebook >/dev/null
python3 "$repo/bench/make_big_book.py" "$data" ${QX_CORPUS_DIR:+"$QX_CORPUS_DIR"} --size-mb "$size_mb"
book=$data/big.gbk.txt
bytes=$(stat -c %s "$book")

work=$(mktemp -d "${TMPDIR:-/tmp}/qx-epub-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
args=(--title 大书 --author 某人 --home "$work/home" --mode separate --convert none)
mkdir -p "$work/home"

# One EPUB to take apart: the floor packs its files.
"$qxebook" convert "$book" "${args[@]}" --out "$work/out" --epub-only >/dev/null 2>&1
python3 - "$work/out/大书.epub" "$work/files" <<'PY'
import sys, zipfile
zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])
PY
chapters=$(ls "$work/files/OEBPS/text" | grep -c '^c')
xhtml_bytes=$(du -sb "$work/files" | cut -f1)

best() { python3 -c "import sys; print(min(map(float, sys.argv[1:])))" "$@"; }
epub=() floor=() step=() peak=0
for ((i = 1; i <= repeat; i++)); do
    sync
    /usr/bin/time -f "%e %M" -o "$work/time" \
        "$qxebook" convert "$book" "${args[@]}" --out "$work/out" --epub-only --overwrite >/dev/null 2>&1
    read -r wall rss <"$work/time"
    epub+=("$wall")
    (( rss > peak )) && peak=$rss
    sync
    rm -f "$work/floor.zip"
    /usr/bin/time -f "%e" -o "$work/time" sh -c "cd '$work/files' && zip -q -r '$work/floor.zip' ."
    read -r zip_wall <"$work/time"
    floor+=("$zip_wall")
    /usr/bin/time -f "%e" -o "$work/time" "$qxebook" inspect "$book" "${args[@]}" >/dev/null 2>&1
    read -r step_wall <"$work/time"
    step+=("$step_wall")
done

e=$(best "${epub[@]}") z=$(best "${floor[@]}") s=$(best "${step[@]}")
python3 - "$bytes" "$chapters" "$xhtml_bytes" "$e" "$z" "$s" "$peak" "$(stat -c %s "$work/out/大书.epub")" \
    "$(stat -c %s "$work/floor.zip")" <<'PY'
import sys
size, chapters, xhtml, epub, floor, step, peak_kb, epub_size, zip_size = sys.argv[1:]
size, xhtml, epub_size, zip_size = int(size), int(xhtml), int(epub_size), int(zip_size)
epub, floor, step, peak = float(epub), float(floor), float(step), int(peak_kb) * 1024
print(f"book           {size / 1e6:.1f} MB GBK, {chapters} chapters; {xhtml / 1e6:.1f} MB of package files")
print(f"qxebook --epub-only   {epub:.2f} s (best), EPUB {epub_size / 1e6:.1f} MB")
print(f"  of it the Next step {step:.2f} s (qxebook inspect); the EPUB itself {epub - step:.2f} s")
print(f"zip -q -r (floor)     {floor:.2f} s, zip {zip_size / 1e6:.1f} MB")
print(f"ratio                 {epub / floor:.2f} x the floor (whole command), {(epub - step) / floor:.2f} x (the EPUB alone)")
print(f"peak memory           {peak / 1e6:.1f} MB = {peak / size:.2f} x the input")
PY
