#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a plain
# build and once under the address and undefined-behaviour sanitizers, the
# MIDI library's tests under the thread sanitizer, then the fuzz targets
# briefly. The last line is the verdict: how many test programs passed and
# failed; the exit status is non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh || { echo "0 passed, 1 failed (installing packages)"; exit 1; }

export QT_QPA_PLATFORM=offscreen
source scripts/test-services.sh
start_test_services
trap stop_test_services EXIT

passed=0
failed=0
failures=()

# run_build <dir> <cmake arguments...>: builds, then runs its tests with CTest.
run_build() {
  local dir="$1"; shift
  echo "== building $dir"
  if ! ./scripts/build.sh "$dir" "$@"; then
    failed=$((failed + 1)); failures+=("build of $dir")
    return
  fi
  echo "== tests in $dir"
  ( cd "$dir" && ctest --output-on-failure -j "$(nproc)" ) >"$dir/ctest.log" 2>&1
  # Only failures and the summary reach the terminal; the full log stays.
  sed -n '/tests passed/,$p; /\*\*\*Failed\|\*\*\*Timeout\|\*\*\*Exception\|Subprocess aborted/p' "$dir/ctest.log"
  local total bad
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -1)
  bad=$(sed -n 's/.* \([0-9]*\) tests failed out of .*/\1/p' "$dir/ctest.log" | tail -1)
  if [ -z "$total" ]; then
    failed=$((failed + 1)); failures+=("tests in $dir did not run")
    return
  fi
  # A test that did not run (a skip: its service was missing) checked
  # nothing, and CTest counts it among the passed: here it is a failure.
  local notrun
  notrun=$(sed -n '/The following tests did not run/,/^$/p' "$dir/ctest.log" | grep -c '^[[:space:]]*[0-9]* - ')
  passed=$((passed + total - bad - notrun))
  failed=$((failed + bad + notrun))
  while read -r name; do failures+=("$dir: $name"); done < <(
    sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' "$dir/ctest.log")
}

run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_build build-asan -DCMAKE_BUILD_TYPE=Debug -DTONYX_SANITIZE=ON
# The MIDI library's threads under the thread sanitizer (library and its
# tests only; suppressions in tests/tsan.supp).
run_build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONYX_TSAN=ON

echo "== fuzz targets, briefly"
./scripts/fuzz.sh 5 >build-fuzz.results || true
fuzzed=0
while read -r _ verdict name; do
  fuzzed=$((fuzzed + 1))
  case "$verdict" in
    ok) passed=$((passed + 1)) ;;
    *) failed=$((failed + 1)); failures+=("fuzz target $name") ;;
  esac
done < <(grep '^fuzz-result ' build-fuzz.results)
[ "$fuzzed" -gt 0 ] || { failed=$((failed + 1)); failures+=("fuzz targets did not run"); }
rm -f build-fuzz.results

if [ -f build/bin/tonyx ]; then
  echo "== $(./scripts/count-tests.sh build) test cases in the plain build"
fi
for f in "${failures[@]}"; do echo "failed: $f (full logs: build*/ctest.log, build-fuzz/fuzz-*.log)"; done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
