#!/usr/bin/env bash
# The single-file bundle copied alone into a clean directory: it unpacks
# itself, runs the same program as qxebook on the sample book, and a second
# instance started while the first runs works too.
set -euo pipefail
bundle=$(realpath "$1")
sample=$(realpath "$2")
qxebook=${3:+$(realpath "$3")}
[ -f "$bundle" ] || { echo "missing $bundle"; exit 1; }
[ -f "$sample" ] || { echo "missing sample $sample"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$bundle" "$work/"
mkdir "$work/tmp"
export TMPDIR="$work/tmp"
unset QX_HOME DISPLAY WAYLAND_DISPLAY
cd "$work"
echo "bundle size: $(stat -c %s qxebook-bundle) bytes"

./qxebook-bundle inspect "$sample" > inspect.txt 2> inspect.err
grep -q "第一回 灵根育孕源流出 心性修持大道生" inspect.txt
ls "$TMPDIR"/V_51580302/vtrun.vlx "$TMPDIR"/V_51580302/qxtmpl.vlx > /dev/null
[ -d template ] || { echo "the built-in templates were not installed in the program home"; exit 1; }

rows=$(./qxebook-bundle params list | wc -l)
[ "$rows" -eq 24 ] || { echo "params list gave $rows rows"; exit 1; }

./qxebook-bundle image inspect ./qxebook-bundle > image.txt
grep -q "libraries (2)" image.txt
grep -q "0  vtrun" image.txt

# Two at once, while the files of the first are loaded.
./qxebook-bundle inspect "$sample" > a.txt 2>/dev/null &
./qxebook-bundle inspect "$sample" > b.txt 2>/dev/null &
wait
cmp a.txt inspect.txt
cmp b.txt inspect.txt

# The program's own exit codes come through.
set +e
./qxebook-bundle no-such-command > /dev/null 2>&1
code=$?
set -e
[ "$code" -eq 2 ] || { echo "bad usage gave exit code $code"; exit 1; }

# Converting the book, once the program has that command: the bundle and
# qxebook must give the same result.
if [ -n "$qxebook" ] && ./qxebook-bundle --help 2>/dev/null | grep -q "convert"; then
    set +e
    ./qxebook-bundle convert "$sample" --out "$work/out-bundle" --yes --home "$work" > convert-bundle.txt 2>&1
    bundleCode=$?
    "$qxebook" convert "$sample" --out "$work/out-qxebook" --yes --home "$work" > convert-qxebook.txt 2>&1
    qxebookCode=$?
    set -e
    [ "$bundleCode" -eq "$qxebookCode" ] || { echo "convert: bundle $bundleCode, qxebook $qxebookCode"; cat convert-bundle.txt; exit 1; }
    if [ -d "$work/out-bundle" ]; then
        diff <(cd "$work/out-bundle" && find . -type f | sort) <(cd "$work/out-qxebook" && find . -type f | sort)
        echo "convert: $(find "$work/out-bundle" -type f | wc -l) files, the same as qxebook"
    fi
fi
echo "bundle ok"
