#!/usr/bin/env bash
# build.sh <build-dir> [extra cmake arguments]: configures (once) and builds
# everything, or only the targets named in $TARGETS.
set -euo pipefail
cd "$(dirname "$0")/.."
# Hash paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR="$PWD"
# ...and leave the build folder out of the hash (it only names the debug
# information's working directory).
export CCACHE_NOHASHDIR=1
dir="$1"; shift
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
fi
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" ${TARGETS:+--target $TARGETS}
