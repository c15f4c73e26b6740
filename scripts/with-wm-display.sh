#!/usr/bin/env bash
# with-wm-display.sh <test program> [arguments]: runs a GUI test on the X
# server with a window manager that scripts/test-services.sh started
# (TONYX_WM_DISPLAY), on the xcb platform instead of offscreen. Without one
# the run is reported as skipped (exit 77), never as passed.
if [ -z "${TONYX_WM_DISPLAY:-}" ]; then
  echo "skipped: no X server with a window manager (TONYX_WM_DISPLAY is not set;" \
    "source scripts/test-services.sh and run start_test_services)" >&2
  exit 77
fi
export DISPLAY="$TONYX_WM_DISPLAY" QT_QPA_PLATFORM=xcb
exec "$@"
