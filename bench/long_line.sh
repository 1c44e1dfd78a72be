#!/usr/bin/env bash
# A book that is one line of 200 MB (Chinese text without a single line end,
# as a broken download gives it): the Next step, the HTML e-book and the EPUB,
# each against iconv reading the whole file from GBK into UTF-8 in the same
# run (one pass over every character), with peak memory as a multiple of the
# file. The book is one chapter of 200 MB.
#
#   bash bench/long_line.sh        (from the repository root, after the build)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
qxebook=$build/src/cli/qxebook
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-long-line.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 -c "
import sys
s = '守夜的人提着灯走过长街，风从城外吹来，灯火摇了又摇。'.encode('gbk')
n = 200 << 20
open(sys.argv[1], 'wb').write((s * (n // len(s) + 1))[:n])" "$work/book.txt"
mkdir -p "$work/home"
cp -r "$repo/data/template" "$work/home/"
bytes=$(stat -c %s "$work/book.txt")

# Seconds and peak KB of one command, as "s kb".
measure() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
        cat "$work/err" >&2
        exit 1
    }
    cat "$work/time"
}

report() {
    local what=$1 run=$2 floor=$3
    python3 -c "
import sys
what, (s, kb), floor, size = sys.argv[1], sys.argv[2].split(), float(sys.argv[3].split()[0]), int(sys.argv[4])
print(f'{what:<22} {float(s):6.2f} s = {float(s) / floor:5.1f} x iconv; peak {int(kb) / 1024:6.0f} MB = {int(kb) * 1024 / size:.2f} x the file')" \
        "$what" "$run" "$floor" "$bytes"
}

args=(--title 长夜 --author 佚名 --home "$work/home" --quiet)
floor=$(measure iconv -f GBK -t UTF-8 "$work/book.txt")
echo "one line of $((bytes >> 20)) MB (GBK); iconv -f GBK -t UTF-8 of it: $(cut -d' ' -f1 <<<"$floor") s"
report "inspect" "$(measure "$qxebook" inspect "$work/book.txt" "${args[@]}")" "$floor"
report "convert (HTML e-book)" "$(measure "$qxebook" convert "$work/book.txt" "${args[@]}" --out "$work/html")" "$floor"
report "convert --epub-only" "$(measure "$qxebook" convert "$work/book.txt" "${args[@]}" --out "$work/epub" --epub-only)" "$floor"
