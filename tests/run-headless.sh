#!/usr/bin/env bash
# Runs every test headless: starts a private X server (two monitors), a private
# D-Bus session bus and a PulseAudio daemon with a null sink as the default sink,
# runs ctest in the given build folder, and stops exactly what it started, by PID.
# Usage: tests/run-headless.sh BUILD_DIR [ctest arguments...]
set -uo pipefail
build=${1:?usage: tests/run-headless.sh BUILD_DIR [ctest args]}
shift

work=$(mktemp -d /tmp/vesmer-tests.XXXXXX)
chmod 700 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Everything the app or a test writes goes below the private folder. A wide root
# holds a 1920x1080 primary and a 1024x768 secondary monitor side by side.
. "$(dirname "$0")/../scripts/headless-session.sh"
start_headless_session "$work" 2944x1080 run-headless || exit 1
xrandr --setmonitor LEFT 1920/508x1080/286+0+0 screen >/dev/null
xrandr --setmonitor RIGHT 1024/270x768/203+1920+0 none >/dev/null

# The web engine refuses to start as root with its sandbox on; tests only.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--ignore-gpu-blocklist"
export VESMER_TEST_RUNTIME="$work"

ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
