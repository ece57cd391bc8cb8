#!/bin/bash
# Long fuzz runs on one niced core: each target named (all by default) runs in turn for SECONDS
# from the fuzz-volume build (UBSan + LeakSanitizer, optimised), growing a working corpus in
# build/fuzz-volume/grown/TARGET from fuzz/corpus/TARGET; then the two are merged, minimised,
# back into fuzz/corpus/TARGET (files with names of their own, the regression inputs, always
# stay) and the run's figures are added to fuzz/volume-runs.tsv. An input that fails is left in
# build/fuzz-volume/grown/TARGET/ as crash-*, leak-*, timeout-* or oom-*.
#
#   bash scripts/fuzz-volume.sh SECONDS [TARGET...]
set -euo pipefail
seconds=${1:?usage: fuzz-volume.sh SECONDS [TARGET...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/fuzz-volume/bin
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(report_camera report_coordinate vendor_init ioctl reg_import host_frames host_control)
fi
runs=$root/fuzz/volume-runs.tsv
[ -f "$runs" ] || printf 'date\ttarget\tseconds\texecutions\tper_second\tcov\tft\tcorpus\tresult\n' >"$runs"

for target in "${targets[@]}"; do
  seeds=$root/fuzz/corpus/$target
  work=$root/build/fuzz-volume/grown/$target
  mkdir -p "$work"
  log=$work/run-$(date +%Y%m%d-%H%M%S).log
  result=ok
  nice -n 19 "$bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work" "$seeds" >"$log" 2>&1 || result=failed
  # The last progress line holds the coverage; the final stats the executions and time.
  progress=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$progress")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$progress")
  execs=$(sed -nE 's/^stat::number_of_executed_units: +([0-9]+)/\1/p' "$log")
  execs=${execs:-$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$progress")}
  took=$(sed -nE 's/^stat::average_exec_per_sec: +([0-9]+)/\1/p' "$log")

  merged=$(mktemp -d)
  nice -n 19 "$bin/fuzz_$target" -merge=1 -timeout=10 -rss_limit_mb=1024 "$merged" "$seeds" \
    "$work" >>"$log" 2>&1 || result="$result, merge failed"
  find "$seeds" -maxdepth 1 -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' \
    -exec cp {} "$merged/" \;
  rm -rf "$seeds" && mv "$merged" "$seeds" && chmod 755 "$seeds"
  size=$(find "$seeds" -type f | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date +%F-%H:%M)" "$target" "$seconds" \
    "${execs:-0}" "${took:-0}" "${cov:-0}" "${ft:-0}" "$size" "$result" >>"$runs"
  echo "$target: ${execs:-0} executions, ${took:-0}/s, cov ${cov:-0} ft ${ft:-0}, corpus $size, $result"
done
