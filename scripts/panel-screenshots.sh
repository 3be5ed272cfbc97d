#!/usr/bin/env bash
# Renders the control panel's screenshots into docs/screenshots/ under a private
# Xvfb, with a private home so no user setting or key is read.
# Usage: scripts/panel-screenshots.sh [BUILD_DIR]   (builds panel_screenshots first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target panel_screenshots >/dev/null

work=$(mktemp -d /tmp/vesmer-shots.XXXXXX)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill -TERM "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 >"$work/xvfb.log" 2>&1 &
xvfb=$!
display=""
for _ in $(seq 100); do
  display=$(head -n1 "$work/displayfd" 2>/dev/null | tr -d '[:space:]')
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || { echo "panel-screenshots: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }

DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$build/bin/panel_screenshots" docs/screenshots
echo "panel-screenshots: wrote docs/screenshots/panel-{fresh,playing,capture-error}.png"
