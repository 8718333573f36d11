#!/usr/bin/env bash
# Runs fuzz targets, each for SECONDS, from the corpus kept in the
# repository (fuzz/corpus/<target>) and freshly generated seeds; what a run
# finds goes to BUILD/corpus/<target>. A campaign then makes the kept
# corpus the fewest inputs that reach every edge reached so far, so that
# the next run, and every CI smoke run, starts from them. Prints executions and coverage
# and CPU time per target; fails on the first crash, leak or timeout, whose input is
# left in BUILD/ (crash-*, leak-*, timeout-*). Inputs that once found a
# fault stay in fuzz/regressions/<target> and are run every time.
#
# usage: fuzz/run.sh BUILD SECONDS smoke|campaign TARGET...
set -euo pipefail
build=$1 seconds=$2 mode=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$build/seeds"
"$here/make-seeds.sh" "$build/seeds"
# One target's run; its status goes to BUILD/<target>.status.
fuzz_one() {  # TARGET
  local t=$1 status=0 regressions=() runs cov cpu
  mkdir -p "$build/corpus/$t" "$here/corpus/$t"
  echo "fuzzing $t for $seconds s"
  [ -d "$here/regressions/$t" ] && regressions=("$here/regressions/$t")
  # Undefined behaviour ends the run like a crash (but see ubsan.supp).
  # The run's CPU time (user and system) goes to BUILD/<target>.cpu.
  TIMEFORMAT='%U %S'
  { time UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$here/ubsan.supp" \
    LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0" \
    "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/" \
    "$build/corpus/$t" "$here/corpus/$t" "$build/seeds/$t" "${regressions[@]}" \
    >"$build/$t.log" 2>&1; } 2>"$build/$t.cpu" || status=$?
  echo "$status" >"$build/$t.status"
  grep -E '^(==|SUMMARY|Done)' "$build/$t.log" || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$t.log")
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$build/$t.log" | tail -1 || true)
  cpu=$(awk '{ printf "%.0f", $1 + $2 }' "$build/$t.cpu")
  echo "$t: ${runs:-0} executions in ${cpu} CPU s, $cov"
  if [ "$status" -ne 0 ]; then tail -40 "$build/$t.log"; fi
}

if [ "$mode" = smoke ]; then
  # One target per core at a time (FUZZ_JOBS to choose): each runs for its
  # own SECONDS as before, and the smoke run ends sooner.
  jobs_max=${FUZZ_JOBS:-$(nproc)}
  for t in "$@"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do sleep 0.2; done
    rm -f "$build/$t.status"
    fuzz_one "$t" >"$build/$t.report" 2>&1 &
  done
  wait
  failed=0
  for t in "$@"; do
    cat "$build/$t.report"
    [ "$(cat "$build/$t.status" 2>/dev/null || echo 1)" -eq 0 ] || failed=1
  done
  exit "$failed"
fi

for t in "$@"; do
  fuzz_one "$t"
  [ "$(cat "$build/$t.status")" -eq 0 ] || exit 1
  # The kept corpus becomes the fewest inputs that reach every edge the
  # old corpus and this run reached (edges only, not hit counts, so it
  # stays small).
  rm -rf "$build/merged/$t" && mkdir -p "$build/merged/$t"
  UBSAN_OPTIONS="suppressions=$here/ubsan.supp" \
    LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0" \
    "$build/fuzz/$t" -merge=1 -use_counters=0 -use_value_profile=0 "$build/merged/$t" \
    "$here/corpus/$t" "$build/corpus/$t" >"$build/$t.merge.log" 2>&1
  rm -rf "$here/corpus/$t" && cp -r "$build/merged/$t" "$here/corpus/$t"
  echo "$t: kept corpus $(ls "$here/corpus/$t" | wc -l) files, $(cat "$here/corpus/$t"/* | wc -c) bytes"
done
