# Sourced by test.sh: servers that tests need, started here and stopped at exit.
# A JACK server with the dummy driver is a real MIDI peer on machines
# without a sound card or ALSA sequencer.
# TONYX_JACK_SERVER names the server, so test runs side by side do not share one.
export JACK_DEFAULT_SERVER="${TONYX_JACK_SERVER:-tonyxtest}"
export JACK_NO_START_SERVER=1
JACKD_PID=""

start_test_services() {
  if command -v jackd >/dev/null; then
    # Tests that need a MIDI peer fail, rather than skip, when it is missing.
    export TONYX_REQUIRE_JACK=1
    # Synchronous (-S): each cycle ends when every client has run. In the
    # default asynchronous mode a cycle that runs late (clients are not
    # real-time here, and the machine may be loaded) lets a sending client
    # run its next cycle before the receiving client has read the last one;
    # JACK hands a receiver its sender's buffer, so that message is lost or
    # read twice, whatever the receiver does.
    # A client timeout of 1 s (-t): the server waits ten timeouts for a
    # cycle's clients before it starts the next cycle without them, and the
    # messages of that cycle are lost. Its default timeout is two periods,
    # a wait of about 0.1 s, and a loaded machine stalls a test's threads
    # for longer than that. (A client killed mid-cycle stalls every other
    # client for the whole wait: tests that kill a program keep it off this
    # server.)
    # Real-time scheduling (-R, JACK's own default; the server falls back
    # to plain scheduling where it is not allowed): the clients' process
    # threads then run before the CPU hogs and builds of a busy machine.
    # Without it a client's cycle was left unfinished now and then, and the
    # server lost that cycle's messages between two clients.
    jackd -n "$JACK_DEFAULT_SERVER" -S -t 1000 -R -P 10 -d dummy -r 48000 -p 256 >"/tmp/tonyx-jackd-$JACK_DEFAULT_SERVER.log" 2>&1 &
    JACKD_PID=$!
    local up=""
    for _ in $(seq 1 50); do
      if jack_lsp >/dev/null 2>&1; then up=1; break; fi
      sleep 0.1
    done
    [ -n "$up" ] || echo "warning: JACK test server did not come up" >&2
  fi
  start_wm_display
}

stop_test_services() {
  stop_wm_display
  if [ -n "$JACKD_PID" ]; then
    kill "$JACKD_PID" 2>/dev/null || true
    wait "$JACKD_PID" 2>/dev/null || true
  fi
}

# An X server with a window manager (openbox) for the GUI tests that check
# frames, focus and placement; TONYX_WM_DISPLAY names it. The display is the
# first free one of TONYX_WM_DISPLAYS (a range "first last", default 90 99),
# so test runs side by side do not share one.
XVFB_PID=""
OPENBOX_PID=""

start_wm_display() {
  command -v Xvfb >/dev/null && command -v openbox >/dev/null || {
    echo "warning: Xvfb or openbox missing: window-manager tests are skipped" >&2
    return 0
  }
  local first last n
  read -r first last <<<"${TONYX_WM_DISPLAYS:-90 99}"
  for n in $(seq "$first" "$last"); do
    [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: by default the server resets when its last client leaves,
    # and the readiness look below is that client; a window manager that
    # connects during the reset is refused ("Failed to open the display"),
    # 2 starts in 30 under two CPU hogs.
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"/tmp/tonyx-xvfb-$n.log" 2>&1 &
    XVFB_PID=$!
    # Ready when it answers; gone when another server took the number first.
    local up=""
    for _ in $(seq 1 100); do
      kill -0 "$XVFB_PID" 2>/dev/null || break
      if xprop -display ":$n" -root >/dev/null 2>&1; then up=1; break; fi
      sleep 0.05
    done
    if [ -z "$up" ]; then
      kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; XVFB_PID=""
      continue
    fi
    DISPLAY=":$n" openbox --sm-disable >"/tmp/tonyx-openbox-$n.log" 2>&1 &
    OPENBOX_PID=$!
    # Ready when it has announced itself on the root window.
    for _ in $(seq 1 100); do
      if xprop -display ":$n" -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        export TONYX_WM_DISPLAY=":$n"
        return 0
      fi
      sleep 0.05
    done
    echo "warning: openbox did not come up on :$n" >&2
    stop_wm_display
    return 0
  done
  echo "warning: no free X display in ${TONYX_WM_DISPLAYS:-90 99}" >&2
}

stop_wm_display() {
  for pid in "$OPENBOX_PID" "$XVFB_PID"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  OPENBOX_PID=""
  XVFB_PID=""
  unset TONYX_WM_DISPLAY
}
