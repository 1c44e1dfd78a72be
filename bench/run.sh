#!/usr/bin/env bash
# Builds the benchmark books and measures the Next step on them: a GBK book in
# separate-lines mode, the GBK book and its UTF-8 copy in headings mode with
# the encoding detected, and a BIG5 book converted to simplified GBK; then the
# conversion of the UTF-8 copy of the GBK book and the encoding guess.
#
#   bash bench/run.sh            (from the repository root, after the build)
#
# Environment:
#   BUILD_DIR      configured build directory (default: build)
#   BENCH_DATA     where the books go (default: $BUILD_DIR/bench-data)
#   QX_CORPUS_DIR  the corpus of source novels (default: ../shared/corpus)
#   REPEAT         runs of each GBK measurement (default: 3)
#   BIG5_REPEAT    runs of each BIG5 measurement (default: 1; conversion is slow)
#   STAGES=1       also run the stage micro-benchmarks when they are built
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
data=${BENCH_DATA:-$build/bench-data}
repeat=${REPEAT:-3}
big5_repeat=${BIG5_REPEAT:-1}

if [[ ! -f $build/CMakeCache.txt ]]; then
    echo "run.sh: $build is not a configured build directory; run 'cmake --preset default' first or set BUILD_DIR" >&2
    exit 1
fi

cmake --build "$build" --target qx_bench_next_step qx_bench_encoding
stages=0
if [[ ${STAGES:-0} == 1 ]]; then
    if grep -q '^benchmark_DIR:PATH=/' "$build/CMakeCache.txt"; then
        cmake --build "$build" --target qx_bench_stages
        stages=1
    else
        echo "run.sh: Google Benchmark was not found at configure time; no stage micro-benchmarks" >&2
    fi
fi

python3 "$repo/bench/make_big_book.py" "$data" ${QX_CORPUS_DIR:+"$QX_CORPUS_DIR"}

bench=$build/bench/qx_bench_next_step
echo
echo "== GBK, separate-lines mode =="
"$bench" "$data/big.gbk.txt" --mode separate --repeat "$repeat"
echo
echo "== GBK, headings mode, encoding detected =="
"$bench" "$data/big.gbk.txt" --convert auto --mode headings --repeat "$repeat"
echo
echo "== UTF-8, headings mode, encoding detected =="
"$bench" "$data/big.utf8.txt" --convert auto --mode headings --repeat "$repeat"
echo
echo "== BIG5 converted to simplified GBK, separate-lines mode =="
"$bench" "$data/big.big5.txt" --convert big5 --mode separate --repeat "$big5_repeat"
echo
echo "== UTF-8 to GBK against copying the bytes; the encoding guess on 4 MB =="
"$build/bench/qx_bench_encoding" "$data/big.utf8.txt" "$data/big.gbk.txt" "$data/big.big5.txt" --repeat "$repeat"

if [[ $stages == 1 ]]; then
    echo
    echo "== stage micro-benchmarks on a 10 MB slice of the GBK book =="
    "$build/bench/qx_bench_stages" "$data/big.gbk.txt"
fi
