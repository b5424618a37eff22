#!/usr/bin/env bash
# Installs the Debian packages the programs need (scripts/debian-packages.txt) that are not installed yet;
# with --test also those the tests, fuzz targets and benchmarks need (scripts/debian-packages-test.txt).
# Needs root (or sudo) only when something is missing; does nothing when everything is there.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

lists=("$here/debian-packages.txt")
for arg in "$@"; do
  case "$arg" in
    --test) lists+=("$here/debian-packages-test.txt") ;;
    *) echo "usage: scripts/setup.sh [--test]" >&2; exit 2 ;;
  esac
done

mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "${lists[@]}" | grep -v '^$' | sort -u)
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
