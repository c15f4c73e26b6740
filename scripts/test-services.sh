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
    jackd -n "$JACK_DEFAULT_SERVER" -S -r -d dummy -r 48000 -p 256 >"/tmp/tonyx-jackd-$JACK_DEFAULT_SERVER.log" 2>&1 &
    JACKD_PID=$!
    for _ in $(seq 1 50); do
      jack_lsp >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    echo "warning: JACK test server did not come up" >&2
  fi
}

stop_test_services() {
  if [ -n "$JACKD_PID" ]; then
    kill "$JACKD_PID" 2>/dev/null || true
    wait "$JACKD_PID" 2>/dev/null || true
  fi
}
