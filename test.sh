#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a plain
# build and once under the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
./scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
./scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DTONYX_SANITIZE=ON

source scripts/test-services.sh
start_test_services
trap stop_test_services EXIT

status=0
for dir in build build-asan; do
  echo "== tests in $dir"
  ( cd "$dir" && ctest --output-on-failure -j "$(nproc)" ) | tee "$dir/ctest.log" || status=1
done
cases=$(./scripts/count-tests.sh build)
programs=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build/ctest.log | tail -1)
echo "== fuzz targets, briefly"
./scripts/fuzz.sh 5 || status=1
echo "== ${programs:-0} test programs, $cases test cases, each run in two configurations (plain and sanitized)"
exit $status
