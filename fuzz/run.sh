#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on a copy of its
# seed corpus, as many at once as there are cores.
# Usage: fuzz/run.sh [seconds-per-target [build-dir]]
#   build-dir: an existing tree configured with TALVO_FUZZ (the test build is one);
#   without it, build-fuzz is configured here.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-}
if [ -z "$build" ]; then
  build=build-fuzz
  CC=clang CXX=clang++ cmake -S . -B "$build" -DTALVO_FUZZ=ON -DCMAKE_UNITY_BUILD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=(fuzz_settings_file fuzz_xlsx fuzz_xlsx_sheet_part fuzz_xls fuzz_ods fuzz_meter_reply)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fuzz() { # fuzz TARGET: its exit status in $work/TARGET.status
  local t=$1 rc=0
  mkdir -p "$work/$t" "$work/$t-crash"
  QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=fuzz/lsan.supp "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$work/$t-crash/" -print_final_stats=1 "$work/$t" "fuzz/corpus/${t#fuzz_}" 2>"$work/$t.log" || rc=$?
  echo $rc >"$work/$t.status"
}

jobs=$(nproc)
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  for t in "${targets[@]:i:jobs}"; do
    echo "== $t: ${seconds}s"
    fuzz "$t" &
  done
  wait
done

status=0
for t in "${targets[@]}"; do
  if [ "$(cat "$work/$t.status")" != 0 ]; then
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
