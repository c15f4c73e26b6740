#!/usr/bin/env bash
# fuzz.sh [seconds per target]: builds every libFuzzer target with clang and
# runs each on a copy of its seed corpus. test.sh runs it briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
# Hash paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR="$PWD"
seconds="${1:-10}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONYX_FUZZ=ON "${launcher[@]}" >/dev/null
fi
targets=$(ninja -C build-fuzz -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
# shellcheck disable=SC2086
if ! cmake --build build-fuzz -j "$(nproc)" --target $targets >&2; then
  echo "fuzz-result FAILED build"
  exit 1
fi
status=0
for dir in fuzz/*/; do
  name=$(basename "$dir")
  bin="build-fuzz/bin/fuzz_$name"
  [ -x "$bin" ] || continue
  work="build-fuzz/corpus-$name"
  mkdir -p "$work"
  [ -d "$dir/corpus" ] && cp -n "$dir"/corpus/* "$work"/ 2>/dev/null || true
  # The test fixtures of what the target reads seed it too (fixtures.txt
  # names their folders).
  if [ -f "$dir/fixtures.txt" ]; then
    while read -r fixtures; do
      [ -n "$fixtures" ] && [ -d "$fixtures" ] || continue
      for f in "$fixtures"/*; do
        [ -f "$f" ] && cp -n "$f" "$work/fixture-$(basename "$f")"
      done
    done < "$dir/fixtures.txt"
  fi
  echo "== fuzzing $name for ${seconds}s" >&2
  if ! "$bin" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>"build-fuzz/fuzz-$name.log"; then
    tail -40 "build-fuzz/fuzz-$name.log" >&2
    echo "fuzz-result FAILED $name"
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov: ' "build-fuzz/fuzz-$name.log" | tail -2 >&2 || true
    echo "fuzz-result ok $name"
  fi
done
exit $status
