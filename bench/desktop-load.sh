#!/usr/bin/env bash
# What a visible wallpaper costs the machine: runs the built app as a 1920x1080
# wallpaper under its own X server, session bus and PulseAudio (null sink), plays
# a generated 120 BPM track into the sink, and reports the process's CPU share
# (all threads, and the main thread alone, read from /proc: top shows the whole
# process on the main thread's row), the page's frame rate (vesmerStats() over
# the engine's DevTools endpoint) and the pump's tick intervals (the histogram
# the app writes at exit to $VESMER_TICK_STATS). Stops what it started, by PID.
#
# Usage: bench/desktop-load.sh [BUILD_DIR] [SECONDS]     (build, 60)
#        bench/desktop-load.sh --ticks FILE              (summarise a tick histogram)
# Environment: WARMUP seconds before measuring (15); QUALITY (auto, balanced,
# performance) and FPS store those settings first; WALLPAPER=0 measures the app
# with its panel only and no wallpaper. QTWEBENGINE_CHROMIUM_FLAGS is passed on as
# the caller set it.
set -uo pipefail

# A tick histogram: one "<ms> <count>" line per 1 ms bucket, 1000 = a second or
# more. Prints "<ticks> <median> <p99> <max>" (bucket lower bounds), or nothing.
tick_summary() {
  awk '$1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]+$/ { count[$1 + 0] += $2; n += $2 }
    END {
      if (n == 0) exit
      median = int((n + 1) / 2); p99 = n - int(n / 100)
      for (ms = 0; ms <= 1000; ms++) {
        if (!(ms in count) || count[ms] == 0) continue
        if (seen < median && seen + count[ms] >= median) m = ms
        if (seen < p99 && seen + count[ms] >= p99) p = ms
        seen += count[ms]; top = ms
      }
      print n, m, p, top
    }' "$1"
}

ms_text() { [ "$1" -ge 1000 ] && echo ">=1000 ms" || echo "$1 ms"; }

print_ticks() {
  local summary
  summary=$(tick_summary "$1")
  if [ -z "$summary" ]; then echo "no ticks recorded"; return; fi
  set -- $summary
  echo "$1 ticks, median $(ms_text "$2"), p99 $(ms_text "$3"), max $(ms_text "$4")"
}

if [ "${1:-}" = "--ticks" ]; then
  [ -r "${2:-}" ] || { echo "usage: bench/desktop-load.sh --ticks FILE"; exit 2; }
  print_ticks "$2"
  exit 0
fi

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
seconds=${2:-60}
warmup=${WARMUP:-15}
app="$build/bin/vesmer"
[ -x "$app" ] || { echo "desktop-load: $app not found; build first"; exit 1; }
for tool in Xvfb dbus-daemon pulseaudio pactl pacat sox node; do
  command -v "$tool" >/dev/null || { echo "desktop-load: $tool is missing (see deps/debian-packages.txt)"; exit 1; }
done

work=$(mktemp -d /tmp/vesmer-load.XXXXXX)
chmod 700 "$work"
pids=()          # daemons, stopped last
app_pid=""
player_pid=""
stop() {         # TERM, up to 10 s, then KILL
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
  [ -n "$player_pid" ] && stop "$player_pid"
  [ -n "$app_pid" ] && stop "$app_pid"
  for pid in "${pids[@]}"; do stop "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

. "$here/../scripts/headless-session.sh"
start_headless_session "$work" 1920x1080 desktop-load || exit 1

# The track: a kick, a click and an off-beat hat on every beat at 120 BPM over a
# slowly pulsing two-tone pad, long enough for start-up, warm-up and the run.
track_seconds=$((seconds + warmup + 60))
(
  cd "$work" &&
  sox -n -r 48000 -c 2 kick.wav synth 0.15 sine 120:45 fade q 0.002 0.15 0.12 pad 0 0.35 &&
  sox -n -r 48000 -c 2 click.wav synth 0.01 sine 2000 gain -8 pad 0 0.49 &&
  sox -n -r 48000 -c 2 hat.wav synth 0.03 whitenoise highpass 6000 fade 0 0.03 0.025 gain -16 pad 0.25 0.22 &&
  sox -m kick.wav click.wav hat.wav beat.wav &&
  sox beat.wav beats.wav repeat $((track_seconds * 2 - 1)) &&
  sox -n -r 48000 -c 2 pad.wav synth "$track_seconds" sine 110 sine 165 tremolo 0.5 60 gain -20 &&
  sox -m beats.wav pad.wav track.wav norm -3
) >"$work/sox.log" 2>&1 || { echo "desktop-load: sox could not make the track"; cat "$work/sox.log"; exit 1; }
pacat --playback --file-format=wav --latency-msec=10 "$work/track.wav" >"$work/pacat.log" 2>&1 &
player_pid=$!

with_wallpaper=${WALLPAPER:-1}
mkdir -p "$XDG_CONFIG_HOME/Vesmer"
{
  echo "[General]"
  [ -n "${QUALITY:-}" ] && echo "quality.resolution=$QUALITY"
  [ -n "${FPS:-}" ] && echo "quality.fps=$FPS"
  [ "$with_wallpaper" = 0 ] && echo "didAutoStart=true"
} >"$XDG_CONFIG_HOME/Vesmer/Vesmer.conf"
wallpaper_flag=--wallpaper
[ "$with_wallpaper" = 0 ] && wallpaper_flag=

port=$(node -e "const s = require('net').createServer().listen(0, '127.0.0.1', () => { console.log(s.address().port); s.close(); })")
eval_page() { node --no-warnings --experimental-websocket "$here/page-eval.mjs" "$port" "$1" 2>>"$work/eval.log"; }
stat_field() { sed -n "s/.*\"$1\":\\(\"[^\"]*\"\\|[^,}]*\\).*/\\1/p" <<<"$2" | tr -d '"'; }

# The engine will not start as root with its sandbox on.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
unset VESMER_TEST_GRAPH
VESMER_TICK_STATS="$work/ticks.txt" QTWEBENGINE_REMOTE_DEBUGGING="127.0.0.1:$port" \
  "$app" $wallpaper_flag >"$work/app.log" 2>&1 &
app_pid=$!

frames_now() { stat_field frames "$(eval_page 'vesmerStats()')"; }
ready=""
for _ in $(seq 120); do
  kill -0 "$app_pid" 2>/dev/null || break
  [ "$with_wallpaper" = 0 ] && { ready=1; break; }
  f=$(frames_now)
  if [ -n "$f" ] && [ "${f%.*}" -gt 0 ]; then ready=1; break; fi
  sleep 0.5
done
if [ -z "$ready" ]; then
  echo "desktop-load: the wallpaper page did not start drawing"
  tail -n 20 "$work/app.log" "$work/eval.log"
  exit 1
fi
sleep "$warmup"

hz=$(getconf CLK_TCK)
ticks_of() {     # utime + stime of a /proc/.../stat file
  local s
  s=$(cat "$1" 2>/dev/null) || return 1
  s=${s##*) }
  set -- $s
  echo $(( ${12} + ${13} ))
}
declare -A task_start task_end task_name
snapshot_tasks() {  # name of the array to fill
  local -n into=$1
  local f tid s
  for f in /proc/"$app_pid"/task/*/stat; do
    tid=${f%/stat}; tid=${tid##*/}
    s=$(ticks_of "$f") || continue
    into[$tid]=$s
    s=$(cat "$f" 2>/dev/null) || continue
    s=${s#*(}; task_name[$tid]=${s%)*}
  done
}
helpers_ticks() {   # CPU ticks of every process below the app (the engine's helpers)
  cat /proc/[0-9]*/stat 2>/dev/null | awk -v root="$app_pid" '
    { pid = $1; line = $0; sub(/.*\) /, "", line); split(line, f, " "); parent[pid] = f[2]; ticks[pid] = f[12] + f[13] }
    END { for (p in parent) { q = p; while ((q in parent) && q != root && q > 1) q = parent[q]
                              if (q == root && p != root) sum += ticks[p] }
          print sum + 0 }'
}

load0=$(cut -d' ' -f1 /proc/loadavg)
t0=$(date +%s.%N); f0=$(frames_now); p0=$(ticks_of "/proc/$app_pid/stat"); h0=$(helpers_ticks)
snapshot_tasks task_start
sleep "$seconds"
t1=$(date +%s.%N); stats=$(eval_page 'vesmerStats()'); p1=$(ticks_of "/proc/$app_pid/stat"); h1=$(helpers_ticks)
snapshot_tasks task_end
kill -0 "$app_pid" 2>/dev/null || { echo "desktop-load: the app ended during the run"; tail -n 20 "$work/app.log"; exit 1; }
f1=$(stat_field frames "$stats")

share() { awk -v d="$1" -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.1f", d / hz / (t1 - t0) * 100 }'; }
busiest=$(for tid in "${!task_end[@]}"; do
    echo "$(( task_end[$tid] - ${task_start[$tid]:-0} )) ${task_name[$tid]}"
  done | sort -rn | head -n 4 | while read -r d name; do echo "$name $(share "$d")%"; done | paste -sd, | sed 's/,/, /g')

main_delta=$(( ${task_end[$app_pid]:-0} - ${task_start[$app_pid]:-0} ))
rss=$(awk '/^VmRSS:/ { printf "%.0f MiB", $2 / 1024 }' "/proc/$app_pid/status")

# The tick histogram is written when the app exits.
stop "$app_pid"
app_pid=""

echo "desktop-load: $seconds s at 1920x1080 after $warmup s warm-up, 120 BPM track playing;" \
  "load average $load0 before, $(cut -d' ' -f1 /proc/loadavg) after"
echo "  process CPU   $(share $((p1 - p0)))% of one core (all threads; aim <= 60, or 0.3 without a wallpaper)"
echo "  memory        $rss resident at the end"
echo "  main thread   $(share "$main_delta")% (aim <= 10)"
echo "  busiest       $busiest"
echo "  engine helpers $(share $((h1 - h0)))% (processes below the app, not in the figures above)"
page="$(awk -v a="$f0" -v b="$f1" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.1f", (b - a) / (t1 - t0) }') fps, drawing buffer $(stat_field width "$stats")x$(stat_field height "$stats")"
for field in renderer frameCap dynamicScale frameMs; do
  value=$(stat_field "$field" "$stats")
  [ -n "$value" ] && page="$page, $field $value"
done
echo "  page          $page (at the end)"
if [ -s "$work/ticks.txt" ]; then
  echo "  pump ticks    $(print_ticks "$work/ticks.txt") (whole run; aim p99 <= 50 ms)"
else
  echo "  pump ticks    not reported (this build does not write VESMER_TICK_STATS)"
fi
