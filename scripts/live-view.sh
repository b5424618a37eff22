#!/usr/bin/env bash
# The suite's main job: the camera simulator on loopback (Motion JPEG with G.711 audio) and ocuview on it.
# Closing ocuview stops the simulator too. Without a display ocuview says so, runs on Qt's offscreen
# platform for a few seconds, saves a snapshot of the control and prints the stream figures.
#
#   scripts/live-view.sh [ocuview options...]      (QXR_BIN picks the programs, default build/release/bin)
set -euo pipefail
bin=${QXR_BIN:-build/release/bin}
for program in qxrcamsim ocuview; do
    if [ ! -x "$bin/$program" ]; then
        echo "live-view: $bin/$program is missing; build first: cmake --workflow --preset release" >&2
        exit 1
    fi
done

log=$(mktemp)
# Any free ports, so that it runs beside another simulator or camera software.
"$bin/qxrcamsim" --port 0 --video-port 0 --audio-port 0 >"$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$log"' EXIT

# The simulator prints its address once it listens (port 0: any free port).
url=
for _ in $(seq 200); do
    url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$log" || true)
    [ -n "$url" ] && break
    kill -0 "$sim" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.05
done
[ -n "$url" ] || { echo "live-view: the simulator did not start" >&2; cat "$log" >&2; exit 1; }
echo "live-view: camera simulator at $url"
"$bin/ocuview" --camera "127.0.0.1:${url##*:}" "$@"
