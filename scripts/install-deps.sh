#!/usr/bin/env bash
# Installs the Debian packages Tonyx needs to build, run and test, but only
# those that are missing, so a prepared machine spends no time on apt.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config ccache
  qt6-base-dev libgl-dev qt6-charts-dev libqt6opengl6-dev
  libfluidsynth-dev jackd2 pulseaudio libpulse-dev timgm6mb-soundfont
  librtmidi-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick poppler-utils sox midicsv python3
  openbox x11-utils stress-ng locales desktop-file-utils appstream
  dpkg-dev file libxcb1-dev libxcb-xtest0-dev libxcb-damage0-dev
)

# One query for all packages: installed ones print "ii".
installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "ii" { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# JACK asks about real-time limits during install; answer for it.
echo "jackd2 jackd/tweak-rt-limits boolean false" | $SUDO debconf-set-selections
if ! $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; then
  # A fresh machine may have no package lists yet.
  $SUDO apt-get update
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
