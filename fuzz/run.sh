#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on a copy of its
# seed corpus. Usage: fuzz/run.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DTALVO_FUZZ=ON -DCMAKE_UNITY_BUILD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(fuzz_settings_file fuzz_xlsx fuzz_xlsx_sheet_part fuzz_xls fuzz_ods fuzz_meter_reply)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  seeds=fuzz/corpus/${t#fuzz_}
  mkdir -p "$work/$t" "$work/$t-crash"
  echo "== $t: ${seconds}s"
  if ! QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=fuzz/lsan.supp "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$work/$t-crash/" -print_final_stats=1 "$work/$t" "$seeds" 2>"$work/$t.log"; then
    status=1
    tail -40 "$work/$t.log"
    mkdir -p fuzz/findings && cp "$work/$t-crash/"* fuzz/findings/ 2>/dev/null || true
    echo "== $t FAILED (inputs copied to fuzz/findings)"
  else
    grep -E 'stat::number_of_executed_units|cov:' "$work/$t.log" | tail -2
    echo "== $t passed"
  fi
done
exit $status
