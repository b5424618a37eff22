#!/bin/sh
# qxrcamsim refuses settings the camera cannot have and media it cannot read, with a message and a
# non-zero status, before it serves anything.
#   qxrcamsim_args.sh QXRCAMSIM WORKDIR
set -eu
sim=$1
work=$2
rm -rf "$work"
mkdir -p "$work/dir"
cd "$work"
truncate -s 3G huge.m4v
failures=0
# check STATUS MESSAGE-PART ARGS...
check() {
    want=$1
    text=$2
    shift 2
    set +e
    timeout 10 "$sim" "$@" > out.txt 2>&1
    got=$?
    set -e
    if [ "$got" -ne "$want" ] || ! grep -qF -- "$text" out.txt; then
        echo "FAILED: qxrcamsim $* -> status $got (want $want):"
        cat out.txt
        failures=$((failures + 1))
    fi
}
check 2 "--port takes 0 to 65535" --port 70000
check 2 "--port takes 0 to 65535" --port abc
check 2 "--port takes 0 to 65535" --port ""
check 2 "--video-port takes 0 to 65534" --video-port 65535
check 2 "--audio-port takes 0 to 65534" --audio-port -2
check 2 "size must be 640x480, 320x240 or 160x120" --size 100000x100000
check 2 "size must be 640x480, 320x240 or 160x120" --size 0x0
check 2 "size must be 640x480, 320x240 or 160x120" --size -640x-480
check 2 "rate must be 1 to 30" --rate 31x
check 2 "--max-connections takes 1 to 10000" --max-connections 0
check 2 "--rtcp-timeout takes 1 to 86400 seconds" --rtcp-timeout never
check 1 "dir: is a directory" --port 0 --mpeg4-file dir
check 1 "dir: is a directory" --port 0 --audio-file dir
check 1 "/dev/zero: is a character device" --port 0 --mpeg4-file /dev/zero
check 1 "huge.m4v: 3221225472 bytes, more than" --port 0 --mpeg4-file huge.m4v
check 1 "missing.ul: No such file or directory" --port 0 --audio-file missing.ul
[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo ok
