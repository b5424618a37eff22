#!/usr/bin/env bash
# ocuview end to end, headless: its command line, the README's main job (simulator + ocuview, snapshot and
# figures without a display), and scripting two controls over a private session bus.
#   host_test.sh <bin dir> <scratch dir> <source dir>
set -u
bin=$1 scratch=$2 src=$3
rm -rf "$scratch" && mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_in() { grep -q -- "$2" <<<"$1" || fail "expected '$2' in: $1"; }
# No display: the programs must find their own way.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
export QXR_AUDIO_OUTPUT=null

# Command line.
out=$("$bin/ocuview" --help) || fail "--help exit status"
expect_in "$out" "--camera HOST\[:PORT\]"
out=$("$bin/ocuview" --version) || fail "--version exit status"
expect_in "$out" "ocuview [0-9]"
for bad in "--frobnicate" "--set NoSuchProperty=1" "--set ParamVolume" "--seconds -1" "--camera"; do
    # shellcheck disable=SC2086
    "$bin/ocuview" $bad >/dev/null 2>"$scratch/err"
    [ $? -eq 2 ] || fail "'$bad' should be a usage error (2)"
done

# The main job without a display: snapshot and figures; the stream recorded meanwhile (--record).
mkdir -p "$scratch/rec"
out=$(cd "$scratch" && QXR_BIN=$bin timeout 120 "$src/scripts/live-view.sh" --seconds 3 --no-dbus \
    --record rec/live.jpf 2>&1)
echo "$out"
expect_in "$out" "no display found"
expect_in "$out" "snapshot saved to ocuview-snapshot.png"
expect_in "$out" "control 0: 127.0.0.1:[0-9]*, [1-9][0-9]* pictures of 640x480"
[ -s "$scratch/ocuview-snapshot.png" ] || fail "no snapshot file"
expect_in "$out" "control 0: recording into rec/live00.jpf"
# Every picture received is written, with the audio; the engine plays each of them and the sound.
recorded=$(sed -n 's/.*recorded \([0-9]*\) of \([0-9]*\) pictures received (0 skipped, 0 dropped), \([0-9]*\) of.*/\1 \2 \3/p' <<<"$out")
read -r written received audio <<<"$recorded"
if [ -z "$recorded" ] || [ "$written" != "$received" ] || [ "$written" -lt 10 ] || [ "$audio" -lt 8000 ]; then
    fail "recording figures: '$recorded'"
else
    played=$(cd "$scratch" && QXR_AUDIO_OUTPUT=wav:played.wav timeout 60 "$bin/qxrtool" play rec/live00.jpf 2>&1)
    expect_in "$played" "^$written pictures in"
    if command -v ffprobe >/dev/null; then
        # G.711: one sample a byte; the output may add silence where it ran dry, never lose any.
        samples=$(ffprobe -v error -show_entries stream=duration_ts -of default=nw=1:nk=1 "$scratch/played.wav")
        [ "${samples:-0}" -ge "$audio" ] || fail "played $samples audio samples of $audio recorded"
    fi
fi

# D-Bus: two controls on one simulator, driven by gdbus on a private session bus.
if command -v dbus-run-session >/dev/null && command -v gdbus >/dev/null; then
    out=$(cd "$scratch" && QXR_BIN=$bin timeout 120 dbus-run-session -- bash -c '
        set -u
        log=dbus-host.log
        "$QXR_BIN/qxrcamsim" --port 0 --video-port 0 --audio-port 0 > sim.log 2>&1 & sim=$!
        for _ in $(seq 200); do port=$(grep -o "127\.0\.0\.1:[0-9]*" sim.log | head -1 | cut -d: -f2); [ -n "$port" ] && break; sleep 0.05; done
        "$QXR_BIN/ocuview" --camera 127.0.0.1:$port --camera 127.0.0.1:$port --seconds 6 --snapshot grid.png \
            --set ParamAutoStart=PRM_AUTOSTART_OFF > "$log" 2>&1 & host=$!
        for _ in $(seq 200); do grep -q "D-Bus name" "$log" && break; sleep 0.05; done
        call() { gdbus call --session --dest org.qxrk7.Ocuview --object-path /org/qxrk7/Ocuview/Control$1 \
                   --method org.qxrk7.Ocuview.Control.$2 "${@:3}"; }
        echo "width: $(call 0 PrmCalcModuleWidth PRM_VIEWMODE_LIGHT PRM_VIEWSIZE_QQVGA)"
        gdbus call --session --dest org.qxrk7.Ocuview --object-path /org/qxrk7/Ocuview/Control1 \
            --method org.freedesktop.DBus.Properties.Set org.qxrk7.Ocuview.Control ParamColorCtrlBack "<\"ff0000\">" >/dev/null
        echo "colour1: $(call 1 PrmGetControlColor PRM_COLOR_CTRLBACK)"
        echo "colour0: $(call 0 PrmGetControlColor PRM_COLOR_CTRLBACK)"
        call 0 PrmSetControlParam PRM_PARAM_FRAMERATE 31 >/dev/null
        echo "rate: $(call 0 PrmGetControlParam PRM_PARAM_FRAMERATE)"
        call 0 PrmPlayStart >/dev/null
        gdbus call --session --dest org.qxrk7.Ocuview --object-path /org/qxrk7/Ocuview/Control0 \
            --method org.qxrk7.Ocuview.Recording.Start dbus07.m4f >/dev/null
        for _ in $(seq 100); do
            state=$(gdbus call --session --dest org.qxrk7.Ocuview --object-path /org/qxrk7/Ocuview/Control0 \
                      --method org.qxrk7.Ocuview.Recording.State)
            case $state in *"on "*) break ;; esac
            sleep 0.05
        done
        echo "record state: $state"
        wait $host
        cat "$log"
        kill $sim; wait $sim 2>/dev/null' 2>&1)
    echo "$out"
    expect_in "$out" "D-Bus name org.qxrk7.Ocuview, objects /org/qxrk7/Ocuview/Control0 /org/qxrk7/Ocuview/Control1"
    expect_in "$out" "width: ('400',)"
    expect_in "$out" "colour1: ('FF0000',)"
    expect_in "$out" "colour0: ('60B84F',)"
    expect_in "$out" "rate: ('',)"
    # Only the control started over the bus plays.
    expect_in "$out" "control 0: 127.0.0.1:[0-9]*, [1-9][0-9]* pictures"
    expect_in "$out" "control 1: 127.0.0.1:[0-9]*, 0 pictures"
    # The simulator sends Motion JPEG: the series takes .jpf whatever extension was asked for.
    expect_in "$out" "record state: ('on ./dbus07.jpf',)"
    expect_in "$out" "control 0: recorded [1-9][0-9]* of [1-9][0-9]* pictures received .* into ./dbus07.jpf"
else
    echo "dbus-run-session or gdbus missing: D-Bus part skipped"
fi

[ "$failures" -eq 0 ] && echo "host_test: all passed"
exit $((failures > 0))
