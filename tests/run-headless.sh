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

# Everything the app or a test writes goes below the private folder.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# X server: -noreset keeps the monitors when the last client leaves; a wide root
# holds a 1920x1080 primary and a 1024x768 secondary monitor side by side.
exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 2944x1080x24 >"$work/xvfb.log" 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
  display=$(head -n1 "$work/displayfd" 2>/dev/null | tr -d '[:space:]')
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || { echo "run-headless: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$display"
xrandr --setmonitor LEFT 1920/508x1080/286+0+0 screen >/dev/null
xrandr --setmonitor RIGHT 1024/270x768/203+1920+0 none >/dev/null

# Private session bus.
read -r bus_address bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd' ')
pids+=("$bus_pid")
export DBUS_SESSION_BUS_ADDRESS="$bus_address"

# PulseAudio with a null sink as default; no system daemon, never exits when idle.
pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit=yes -n \
  --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=sinkA rate=48000" >"$work/pulse.log" 2>&1 || {
  echo "run-headless: pulseaudio did not start"; cat "$work/pulse.log"; exit 1; }
for _ in $(seq 50); do [ -s "$XDG_RUNTIME_DIR/pulse/pid" ] && break; sleep 0.1; done
pids+=("$(cat "$XDG_RUNTIME_DIR/pulse/pid")")
pactl set-default-sink sinkA

# The web engine refuses to start as root with its sandbox on; tests only.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--ignore-gpu-blocklist"
export VESMER_TEST_RUNTIME="$work"

ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
