#!/usr/bin/env bash
# Runs every fuzz target of a build for a given time each, one after the
# other, and prints a line of figures per target (executions, corpus size,
# findings). Exit status 1 when any target found something.
#
#   fuzz/run.sh [--ci] SECONDS BUILD_DIR [TARGET...]
#
# Normal runs keep a growing corpus per target in BUILD_DIR/corpus/<target>,
# seeded from fuzz/seeds/<target>; --ci starts each target afresh from the
# committed seeds alone (a regression check) and keeps nothing. Inputs that
# crash, leak or hang land in BUILD_DIR/findings/<target>/. FUZZ_RUNS=N
# stops each target after N executions if that comes before the time.
set -uo pipefail

ci=0
if [ "${1:-}" = "--ci" ]; then ci=1; shift; fi
seconds=${1:?seconds per target}
build=${2:?build directory}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(pipeline_fuzz loading_fuzz page_fuzz encoding_fuzz settings_fuzz headings_fuzz
             record_table_fuzz payload_fuzz image_fuzz)
fi

# The largest input each target takes: whole books are slow to fuzz, and
# the pipeline's faults show on small ones.
max_len() {
    case "$1" in
        pipeline_fuzz) echo 3072 ;;
        loading_fuzz | page_fuzz | headings_fuzz | encoding_fuzz) echo 2048 ;;
        *) echo 4096 ;;
    esac
}

# Allocation stacks kept short: recording them was a twentieth of the text
# targets' time. A finding run again by hand gets the full stacks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=1:malloc_context_size=4}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# One core per fuzzer: the page generation and conversion would start
# threads of their own.
export QX_THREADS=1

status=0
printf '%-18s %14s %10s %8s %s\n' target executions exec/s corpus findings
for t in "${targets[@]}"; do
    exe="$build/fuzz/$t"
    [ -x "$exe" ] || exe="$build/$t"
    if [ ! -x "$exe" ]; then
        echo "fuzz/run.sh: $t is not built in $build" >&2
        status=1
        continue
    fi
    seeds="$here/seeds/$t"
    findings="$build/findings/$t"
    mkdir -p "$findings"
    if [ $ci -eq 1 ]; then
        corpus=$(mktemp -d "$build/ci-corpus-$t.XXXXXX")
    else
        corpus="$build/corpus/$t"
        mkdir -p "$corpus"
    fi
    log="$build/fuzz-$t.log"
    [ $ci -eq 1 ] && log="$build/fuzz-ci-$t.log"
    stamp="$build/findings/.start-$t"
    touch "$stamp"
    runs=()
    [ -n "${FUZZ_RUNS:-}" ] && runs=(-runs="$FUZZ_RUNS")
    "$exe" "$corpus" "$seeds" -max_total_time="$seconds" "${runs[@]}" -timeout=20 -rss_limit_mb=2560 \
        -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    units=$(find "$corpus" -type f | wc -l)
    found=$(find "$findings" -type f -newer "$stamp" 2>/dev/null | wc -l)
    [ $ci -eq 1 ] && rm -rf "$corpus"
    if [ $rc -ne 0 ]; then
        status=1
        found="$found (exit $rc; see $log)"
    fi
    printf '%-18s %14s %10s %8s %s\n' "$t" "${execs:-?}" "${speed:-?}" "$units" "$found"
done
exit $status
