#!/usr/bin/env bash
# test_deb.sh BUILD VERSION: makes the Debian package with CPack, lists what it
# holds and what it depends on, and runs the packaged program from the
# unpacked tree.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$build" && cpack -G DEB -B "$tmp" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack"; }
debs=("$tmp"/tonyx_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single tonyx_*.deb: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -c "$deb" | awk '{ print $6 }'

[ "$(dpkg-deb -f "$deb" Package)" = tonyx ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Found from the binaries: the toolkit, the MIDI library's RtMidi, JACK and
# ALSA, the C runtime; given by hand: what is loaded at run time.
for dep in libc6 libstdc++6 libqt6widgets6 librtmidi6 libjack libasound2 \
           libfluidsynth3 timgm6mb-soundfont qt6-qpa-plugins; do
  grep -q "\(^\|, \)$dep" <<<"$depends" || fail "Depends lacks $dep"
done

# apt can satisfy them (a simulation: nothing is installed).
apt-get install --simulate --no-install-recommends "$deb" >"$tmp/apt.log" 2>&1 ||
  { cat "$tmp/apt.log"; fail "apt cannot install the package"; }
grep -q '^Inst tonyx ' "$tmp/apt.log" || { cat "$tmp/apt.log"; fail "apt would not install tonyx"; }

dpkg-deb -x "$deb" "$tmp/root"
check_files "$tmp/root" /usr
# Stripped: no debugging sections in the package.
! readelf -S "$tmp/root/usr/bin/tonyx" | grep -q '\.debug_info' || fail "the program is not stripped"
[ "$(env -u LD_LIBRARY_PATH "$tmp/root/usr/bin/tonyx" --version)" = "Tonyx $version" ] ||
  fail "the packaged program does not run"
echo "package: ok"
