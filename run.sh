#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tonyx in the user's data
# folder, where it keeps errors.dat and hiscore.dat across rebuilds.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
# The program and its MIDI library only; test.sh builds the rest.
TARGETS="tonyx MidiLib32" ./scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

data="${XDG_DATA_HOME:-$HOME/.local/share}/tonyx"
mkdir -p "$data"
[ -f "$data/readme.txt" ] || cp app/readme.txt "$data/readme.txt"
bin="$PWD/build/bin"
cd "$data"
exec "$bin/tonyx"
