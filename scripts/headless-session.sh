# Sourced, not run: a private desktop session for tests and benchmarks. Points
# HOME and the XDG folders below the given folder, starts an X server with one
# screen of the given size, a session bus and a PulseAudio daemon whose default
# sink is the null sink "sinkA", exports DISPLAY, DBUS_SESSION_BUS_ADDRESS and
# XDG_RUNTIME_DIR, and appends each daemon's PID to the caller's `pids` array so
# that the caller stops exactly what was started.
# Usage: start_headless_session WORK_DIR WIDTHxHEIGHT NAME   (NAME prefixes errors)
start_headless_session() {
  local work=$1 size=$2 name=$3 display="" bus_address bus_pid
  export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
  export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"

  # -noreset keeps the screen's monitors when the last client leaves.
  exec 3<> "$work/displayfd"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${size}x24" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    display=$(head -n1 "$work/displayfd" 2>/dev/null | tr -d '[:space:]')
    [ -n "$display" ] && break
    sleep 0.1
  done
  [ -n "$display" ] || { echo "$name: Xvfb did not start"; cat "$work/xvfb.log"; return 1; }
  export DISPLAY=":$display"

  read -r bus_address bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd' ')
  [ -n "${bus_pid:-}" ] || { echo "$name: dbus-daemon did not start"; return 1; }
  pids+=("$bus_pid")
  export DBUS_SESSION_BUS_ADDRESS="$bus_address"

  # No system daemon, and it never exits when idle.
  pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit=yes -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=sinkA rate=48000" >"$work/pulse.log" 2>&1 || {
    echo "$name: pulseaudio did not start"; cat "$work/pulse.log"; return 1; }
  for _ in $(seq 50); do [ -s "$XDG_RUNTIME_DIR/pulse/pid" ] && break; sleep 0.1; done
  pids+=("$(cat "$XDG_RUNTIME_DIR/pulse/pid")")
  pactl set-default-sink sinkA
}
