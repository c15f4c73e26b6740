#!/usr/bin/env bash
# stress-lib.sh [N] [build-dir]: runs the MIDI library's thread and input
# tests N times (default 10) while CPU hogs keep every core busy, and prints
# each failure. Needs a build (./scripts/build.sh build) and stress-ng.
# The last line says how many runs failed; the exit status is non-zero then.
set -uo pipefail
cd "$(dirname "$0")/.."
runs="${1:-10}"
dir="${2:-build}"
tests=(test_input test_close test_sync test_ports)
for t in "${tests[@]}"; do
  [ -x "$dir/bin/$t" ] || { echo "missing $dir/bin/$t: build it first"; exit 2; }
done
command -v stress-ng >/dev/null || { echo "stress-ng is missing (scripts/install-deps.sh)"; exit 2; }

export TONYX_JACK_SERVER="${TONYX_JACK_SERVER:-tonyxstress$$}"
source scripts/test-services.sh
start_test_services
hogs=""
cleanup() {
  [ -n "$hogs" ] && kill "$hogs" 2>/dev/null && wait "$hogs" 2>/dev/null
  stop_test_services
}
trap cleanup EXIT

stress-ng --cpu "$(nproc)" --quiet >/dev/null 2>&1 &
hogs=$!
log=$(mktemp)
failed=0
start=$(date +%s)
for run in $(seq 1 "$runs"); do
  for t in "${tests[@]}"; do
    (cd "$dir/bin" && timeout 300 "./$t") >"$log" 2>&1
    status=$?
    if [ "$status" -ne 0 ]; then
      if [ "$status" -gt 128 ]; then
        echo "exit status $status: killed by signal $((status - 128))" >>"$log"
      else
        echo "exit status $status" >>"$log"
      fi
      failed=$((failed + 1))
      echo "run $run: $t failed"
      grep -E '^\[  FAILED|Failure|hung:|Expected|Which is|Actual|round|terminate|FATAL|Segmentation|Aborted' "$log" | head -20 | sed 's/^/    /'
      tail -3 "$log" | sed 's/^/    /'
      # The whole output, and how the program ended, for a look later.
      mkdir -p "$dir/stress-failures"
      cp "$log" "$dir/stress-failures/run$run-$t.log"
      echo "    (whole output: $dir/stress-failures/run$run-$t.log)"
    fi
  done
  echo "run $run of $runs done, $failed failed so far ($(( $(date +%s) - start )) s, load $(cut -d' ' -f1 /proc/loadavg))"
done
rm -f "$log"
echo "$runs runs of ${tests[*]} under $(nproc) CPU hogs: $failed failed"
[ "$failed" -eq 0 ]
