#!/usr/bin/env bash
# Many books in one command: the eight test novels converted by one
# `qxebook convert FOLDER --jobs 2` against the same eight converted one
# after another by eight commands, side by side in the same run.
#
#   bash bench/batch_bench.sh        (from the repository root, after the build)
#
# Environment: BUILD_DIR (default build), QX_CORPUS_DIR, REPEAT (default 3).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
corpus=${QX_CORPUS_DIR:-$repo/../shared/corpus}
repeat=${REPEAT:-3}
qxebook=$build/src/cli/qxebook
cmake --build "$build" --target qxebook >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/qx-batch-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/books" "$work/home"
cp -r "$build/src/cli/template" "$work/home/"
# File names that give title and author, as downloaded books have.
n=0
for f in "$corpus"/*.txt; do
    n=$((n + 1))
    cp "$f" "$work/books/《书$n》某人.txt"
done
"$qxebook" params list --home "$work/home" >/dev/null

seconds() { python3 -c "import time; print(time.monotonic())"; }
best_batch="" best_serial=""
for ((i = 1; i <= repeat; i++)); do
    # Folders of their own, removed after all runs (see convert_bench.sh).
    sync
    start=$(seconds)
    "$qxebook" convert "$work/books" --home "$work/home" --out "$work/batch$i" --jobs 2 >/dev/null
    batch=$(python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$(seconds)")
    sync
    start=$(seconds)
    for book in "$work/books"/*.txt; do
        "$qxebook" convert "$book" --home "$work/home" --out "$work/serial$i" --quiet >/dev/null
    done
    serial=$(python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$(seconds)")
    printf 'run %d: --jobs 2 %.3f s, one after another %.3f s\n' "$i" "$batch" "$serial"
    best_batch=$(python3 -c "import sys; print(min(float(x) for x in sys.argv[1:] if x))" "$batch" $best_batch)
    best_serial=$(python3 -c "import sys; print(min(float(x) for x in sys.argv[1:] if x))" "$serial" $best_serial)
done
python3 -c "import sys; b, s = map(float, sys.argv[1:]); print(f'{$n} books: --jobs 2 best {b:.3f} s, one after another best {s:.3f} s, ratio {b / s:.2f} (target: at most 0.6)')" "$best_batch" "$best_serial"
