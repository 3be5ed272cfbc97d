#!/usr/bin/env bash
# Renders the control panel's screenshots under the headless test harness (a
# private Xvfb and home) and copies them into docs/screenshots/.
# Usage: scripts/panel-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target panel_screenshots >/dev/null
rm -rf "$build/screenshots"
tests/run-headless.sh "$build" -R '^panel_screenshots$' >/dev/null
cp "$build"/screenshots/panel-{fresh,playing,capture-error}.png docs/screenshots/
echo "panel-screenshots: wrote docs/screenshots/panel-{fresh,playing,capture-error}.png"
