#!/bin/sh
# qxrtool watch against the camera simulator: pictures and a snapshot from an open camera, and the status
# text with exit status 1 from a protected one when no credentials are given.
#   qxrtool_watch.sh QXRTOOL QXRCAMSIM WORKDIR
set -u
tool=$1
sim=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
export QXR_AUDIO_OUTPUT=null XDG_CONFIG_HOME="$work/config"
fail() {
    echo "FAIL: $*"
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    exit 1
}
start_sim() {
    "$sim" --port 0 --video-port 0 --audio-port 0 --size 160x120 "$@" >"$work/sim.log" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
        port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\)\/.*/\1/p' "$work/sim.log")
        [ -n "$port" ] && return 0
        sleep 0.2
    done
    fail "the simulator did not start"
}

start_sim
"$tool" watch "http://127.0.0.1:$port/" --seconds 2 --snapshot "$work/last.ppm" >"$work/open.log" 2>&1 ||
    fail "watch of an open camera: $(cat "$work/open.log")"
grep -q "pictures/s  camera time 20" "$work/open.log" || fail "no per-second line: $(cat "$work/open.log")"
head -c 15 "$work/last.ppm" | grep -q "^P6" || fail "no PPM snapshot"
kill "$pid"
wait "$pid" 2>/dev/null

start_sim --user admin --password secret
"$tool" watch "http://127.0.0.1:$port/" --seconds 2 >"$work/protected.log" 2>&1 && fail "a protected camera gave exit 0"
grep -q "Protected Object\." "$work/protected.log" || fail "no status text: $(cat "$work/protected.log")"
"$tool" watch "http://127.0.0.1:$port/" --seconds 2 --user admin --password secret >"$work/auth.log" 2>&1 ||
    fail "watch with credentials: $(cat "$work/auth.log")"
kill "$pid"
wait "$pid" 2>/dev/null
echo "qxrtool watch: ok"
