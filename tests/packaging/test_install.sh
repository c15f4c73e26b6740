#!/usr/bin/env bash
# test_install.sh BUILD VERSION plain|sanitized: installs into a temporary prefix, checks what is
# there, and starts the installed program (offscreen) from another folder,
# as a menu would: it must run in the user's data folder with its readme,
# load the MIDI library from its private folder, take one start at a time,
# and leave the folder it was started in alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
build=$1
version=$2
sanitized=$([ "${3:-plain}" = sanitized ] && echo 1 || true)
tmp=$(mktemp -d)
pid=""
cleanup() { [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
check_files "" "$prefix"

mkdir -p "$tmp/home" "$tmp/data" "$tmp/elsewhere"
mkdir -m 700 "$tmp/run"
# The plain program must find its library through its RUNPATH alone (check_files
# checked the RUNPATH itself); a sanitized one is shown the folder.
libpath=()
[ -n "$sanitized" ] && libpath=(LD_LIBRARY_PATH="$(dirname "$lib")")
program=(env -u LD_LIBRARY_PATH "${libpath[@]}" HOME="$tmp/home" XDG_DATA_HOME="$tmp/data"
  XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=offscreen "$prefix/bin/tonyx")
run() { (cd "$tmp/elsewhere" && exec "${program[@]}" "$@"); }

[ "$(run --version)" = "Tonyx $version" ] || fail "--version"

# Started by itself, so that $! is the program.
(cd "$tmp/elsewhere" && exec "${program[@]}" >"$tmp/first.out" 2>&1) &
pid=$!
data="$tmp/data/tonyx"
# Up: in its data folder (entered after the readme is copied) with its library.
for _ in $(seq 600); do
  [ "$(readlink "/proc/$pid/cwd")" = "$data" ] &&
    grep -q "$prefix/.*/tonyx/libMidiLib32.so" "/proc/$pid/maps" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || { cat "$tmp/first.out"; fail "the installed program ended"; }
  sleep 0.1
done
grep -q "$prefix/.*/tonyx/libMidiLib32.so" "/proc/$pid/maps" ||
  fail "the MIDI library was not loaded from the private folder"
cmp -s "$data/readme.txt" "$prefix/share/tonyx/readme.txt" || fail "readme.txt not copied"
[ "$(readlink "/proc/$pid/cwd")" = "$data" ] || fail "runs in $(readlink "/proc/$pid/cwd")"

# A second start from the menu brings the first forward and ends.
out=$(run) || fail "the second start failed"
[ "$out" = "Tonyx is already running in $data: brought it to the front." ] ||
  fail "second start said: $out"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { cat "$tmp/first.out"; fail "the program ended with $status"; }
[ -z "$(ls -A "$tmp/elsewhere")" ] || fail "files written where it was started: $(ls -A "$tmp/elsewhere")"
echo "installed program: ok"
