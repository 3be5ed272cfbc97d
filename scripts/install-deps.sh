#!/usr/bin/env bash
# Installs the Debian packages listed in deps/debian-packages.txt that are not
# installed yet. Uses sudo when not run as root; does nothing when all are present.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$here/deps/debian-packages.txt")
missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
