#!/usr/bin/env bash
# Runs one sanitized test binary. LeakSanitizer's stop-the-world tracer now and
# then crashes on its own (a known fault of the sanitizer runtime with many live
# threads, not a leak report); only then is the binary run again, at most twice.
# Any other failure, a leak report included, counts at once.
# Usage: rerun-on-tracer-crash.sh PROGRAM [ARGS...]
set -uo pipefail
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in 1 2 3; do
  "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -eq 0 ] || ! grep -q '^Tracer caught signal' "$log" || [ "$attempt" -eq 3 ]; then
    exit "$rc"
  fi
  echo "rerun-on-tracer-crash: the leak checker's tracer crashed; running $1 again" >&2
done
