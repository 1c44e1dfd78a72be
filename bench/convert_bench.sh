#!/usr/bin/env bash
# Whole-book conversion: `qxebook convert` of a book of more than 100 MB made
# from the test novels (134 MB and 10,000 chapters by default), timed against `split -n N`
# writing the same bytes as N files (N = the chapter count) on the same disk
# in the same run; with peak memory.
#
#   bash bench/convert_bench.sh        (from the repository root, after the build)
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

work=$(mktemp -d "${TMPDIR:-/tmp}/qx-convert-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
home=$work/home
mkdir -p "$home"
cp -r "$build/src/cli/template" "$home/"

# A first run in a fresh home writes the built-in parameter table and says so.
"$qxebook" convert "$book" --title 大书 --author 某人 --home "$home" --out "$work/out" 2>"$work/first.log" >/dev/null
grep -q "wrote the built-in one" "$work/first.log" && echo "fresh home: the built-in parameter table was written"
chapters=$(ls "$work/out/大书/txt" | wc -l)
rm -rf "$work/out"

seconds() { python3 -c "import sys; print(f'{float(sys.argv[1]):.3f}')" "$1"; }
best_convert=""
best_split=""
peak_kb=0
ratios=()
# Each run writes into folders of its own, removed only after all runs, and
# the two take turns going first: removing thousands of files leaves the file
# system work that would otherwise fall on whichever writes next.
run_convert() {
    /usr/bin/time -f "%e %M" -o "$work/time" \
        "$qxebook" convert "$book" --title 大书 --author 某人 --home "$home" --out "$work/out$1" >/dev/null 2>&1
    read -r wall rss <"$work/time"
}
run_split() {
    mkdir -p "$work/split$1"
    /usr/bin/time -f "%e" -o "$work/time" split -n "$chapters" "$book" "$work/split$1/part"
    read -r split_wall <"$work/time"
}
for ((i = 1; i <= repeat; i++)); do
    sync
    if ((i % 2)); then run_convert "$i"; sync; run_split "$i"; else run_split "$i"; sync; run_convert "$i"; fi
    echo "run $i: convert $(seconds "$wall") s (peak $((rss / 1024)) MB), split -n $chapters $(seconds "$split_wall") s"
    if [[ -z $best_convert ]] || python3 -c "import sys; sys.exit(not float(sys.argv[1]) < float(sys.argv[2]))" "$wall" "$best_convert"; then
        best_convert=$wall
    fi
    if [[ -z $best_split ]] || python3 -c "import sys; sys.exit(not float(sys.argv[1]) < float(sys.argv[2]))" "$split_wall" "$best_split"; then
        best_split=$split_wall
    fi
    ((rss > peak_kb)) && peak_kb=$rss
    ratios+=("$(python3 -c "import sys; print(float(sys.argv[1]) / float(sys.argv[2]))" "$wall" "$split_wall")")
done
rm -rf "$work"/out* "$work"/split*
median_ratio=$(python3 -c "import statistics, sys; print(statistics.median(map(float, sys.argv[1:])))" "${ratios[@]}")

python3 - "$bytes" "$chapters" "$best_convert" "$best_split" "$peak_kb" "$median_ratio" <<'PY'
import sys
size, chapters, convert, split, peak_kb = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
median = float(sys.argv[6])
mb = size / 1e6
print(f"book        {size} bytes ({mb:.1f} MB), {chapters} chapters")
print(f"convert     best {convert:.3f} s = {mb / convert:.0f} MB/s")
print(f"split -n    best {split:.3f} s")
print(f"ratio       {convert / split:.2f} x the time of split, best against best; "
      f"{median:.2f} x, the median of the runs side by side (target: at most 1.5)")
print(f"peak memory {peak_kb / 1024:.0f} MB = {peak_kb * 1024 / size:.2f} x the input (target: at most 3)")
PY
