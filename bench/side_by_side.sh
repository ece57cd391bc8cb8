#!/bin/bash
# Before and after, measured side by side: runs the benchmarks of two release builds
# alternately, ROUNDS times each, and prints per case the median over the rounds of each
# round's median (CPU time for ProcessReport, wall time for the round trip), and the ratio.
# Then the instructions per frame that callgrind counts inside ProcessReport (load-independent).
# First, when both builds have bench_event_digest (copy bench/ into an older tree to build it
# there), their results are compared, and the run stops if they differ.
#
#   bash bench/side_by_side.sh OLD_BUILD_DIR NEW_BUILD_DIR [ROUNDS]
#   e.g. bash bench/side_by_side.sh ../base/build/release build/release 5
set -euo pipefail
old=$(realpath "$1") new=$(realpath "$2") rounds=${3:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# From the build folder: a compiler cache may leave source paths relative to it.
run() {  # build tag
    cd "$1"
    bin/bench_process_report --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_format=csv 2>/dev/null | awk -F, -v t="$2" '/_median"/ {gsub(/"/, "", $1);
        sub(/_median/, "", $1); print t, $1, $4}' >>"$out/times"
    bin/bench_ioctl_roundtrip --benchmark_format=csv 2>/dev/null | awk -F, -v t="$2" \
        '/_median"/ {gsub(/"/, "", $1); sub(/\/repeats.*/, "", $1); print t, $1, $3 * 1000}' \
        >>"$out/times"
    cd - >/dev/null
}

# The same results first: both builds hash every event and smoothed point of the same strokes.
if [[ -x $old/bin/bench_event_digest && -x $new/bin/bench_event_digest ]]; then
    before=$("$old/bin/bench_event_digest") after=$("$new/bin/bench_event_digest")
    echo "results before: $before"
    echo "results after:  $after"
    [[ $before == "$after" ]] || { echo "the builds' results differ" >&2; exit 1; }
    echo
fi

for ((i = 0; i < rounds; i++)); do
    run "$old" before
    run "$new" after
done

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

printf '%-22s %12s %12s %7s\n' case before_ns after_ns ratio
for name in $(awk '{print $2}' "$out/times" | sort -u); do
    b=$(awk -v n="$name" '$1 == "before" && $2 == n {print $3}' "$out/times" | median)
    a=$(awk -v n="$name" '$1 == "after" && $2 == n {print $3}' "$out/times" | median)
    printf '%-22s %12.0f %12.0f %7.2f\n' "$name" "$b" "$a" "$(awk -v b="$b" -v a="$a" 'BEGIN {print b / a}')"
done

# Instructions inside ProcessReport per frame (two calls), from callgrind.
per_frame() {  # tree case
    local file="$out/cg"
    valgrind --tool=callgrind --callgrind-out-file="$file" --toggle-collect='ProcessReport*' \
        "$1/bin/bench_process_report" --benchmark_filter="$2\$" --benchmark_min_time=0.05 \
        >/dev/null 2>&1
    local total id calls
    total=$(awk '/^(summary|totals):/ {print $2; exit}' "$file")
    id=$(grep -oE '^c?fn=\([0-9]+\) ProcessReport' "$file" | head -1 | grep -oE '\([0-9]+\)')
    calls=$(awk -v id="cfn=$id" 'index($0, id) == 1 {getline; split($1, a, "="); s += a[2]}
        END {print s}' "$file")
    echo $((total * 2 / calls))
}
if command -v valgrind >/dev/null; then
    printf '\n%-22s %12s %12s %7s\n' case before_Ir after_Ir ratio
    for name in BM_StillTouch BM_MovingTouch BM_TwoMovingTouches; do
        b=$(per_frame "$old" "$name")
        a=$(per_frame "$new" "$name")
        printf '%-22s %12d %12d %7.2f\n' "$name" "$b" "$a" "$(awk -v b="$b" -v a="$a" 'BEGIN {print b / a}')"
    done
fi
