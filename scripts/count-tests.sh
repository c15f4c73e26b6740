#!/usr/bin/env bash
# count-tests.sh <build-dir>: prints how many test cases the test programs
# hold (GoogleTest tests, and QtTest functions; data rows not counted).
set -euo pipefail
cd "$1/bin"
total=0
for f in test_*; do
  [ -x "$f" ] || continue
  if out=$(QT_QPA_PLATFORM=offscreen "./$f" --gtest_list_tests 2>/dev/null) && grep -q '^  ' <<<"$out"; then
    n=$(grep -c '^  ' <<<"$out")
  else
    n=$(QT_QPA_PLATFORM=offscreen "./$f" -functions 2>/dev/null | grep -c '()' || true)
  fi
  total=$((total + n))
done
echo "$total"
