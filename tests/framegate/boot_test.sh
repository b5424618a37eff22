#!/usr/bin/env bash
# Boot test of framegate.ko on a real kernel: builds the module against the installed Debian kernel
# headers, builds the encoder stand-in statically, packs both with busybox into an initramfs and boots
# the same version's kernel in qemu. Inside, the stand-in loads the module with the simulated interrupt
# source, runs two sessions and unloads it; this script then checks the serial console.
#
#   boot_test.sh <source dir> <work dir>
#
# Exit 0: passed; 1: failed; 77: skipped (no kernel headers with a matching kernel image, no qemu, no
# static busybox, no cpio, make or gcc).
set -uo pipefail

src=${1:?source dir}
work=${2:?work dir}
skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}

# A kernel version with both its headers and its image; the newest if several.
kver=""
for build in /lib/modules/*/build; do
    [ -e "$build/Makefile" ] || continue
    v=$(basename "$(dirname "$build")")
    [ -r "/boot/vmlinuz-$v" ] && kver=$(printf '%s\n%s\n' "$kver" "$v" | sed '/^$/d' | sort -V | tail -1)
done
[ -n "$kver" ] || skip "no kernel headers with a readable /boot/vmlinuz of the same version (linux-headers-amd64, linux-image-amd64)"
qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 not installed (qemu-system-x86)"
busybox=""
for b in /bin/busybox /usr/bin/busybox; do
    if [ -x "$b" ] && ! ldd "$b" >/dev/null 2>&1; then
        busybox=$b
        break
    fi
done
[ -n "$busybox" ] || skip "no statically linked busybox (busybox-static)"
for tool in cpio make gcc; do
    command -v "$tool" >/dev/null || skip "$tool not installed"
done

fg="$src/vello_drivers/framegate"
rm -rf "$work/root" "$work/console.log"
mkdir -p "$work/root"/{bin,dev,proc,sys}

echo "== kernel $kver: building framegate.ko"
make -s -C "$fg" KVER="$kver" OUT="$work/kmod" >"$work/kbuild.log" 2>&1 || {
    cat "$work/kbuild.log"
    fail "the module does not build against $kver"
}
grep -v 'Skipping BTF generation' "$work/kbuild.log" || true

echo "== building the encoder stand-in (static)"
gcc -static -O2 -Wall -Wextra -Werror -I"$fg" -o "$work/root/bin/fg_encoder" \
    "$fg/tools/fg_encoder_main.c" "$fg/tools/fg_encoder.c" || fail "the stand-in does not build"

cp "$work/kmod/framegate.ko" "$work/root/framegate.ko"
cp "$busybox" "$work/root/bin/busybox"
for applet in sh mount poweroff cat grep sleep; do
    ln -sf busybox "$work/root/bin/$applet"
done
cat >"$work/root/init" <<'EOF'
#!/bin/sh
export PATH=/bin
mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
mount -t proc proc /proc
mount -t sysfs sysfs /sys
echo "FG_BOOT: start"
fg_encoder --load /framegate.ko --params "sim=1 sim_hz=60" --mknod --exclusive \
    --rate 10 --seconds 3 --mtype 7 --src 0x11 --dst 0x22 --msg 0x33
echo "FG_BOOT: session 1 rc=$?"
fg_encoder --rate 20 --seconds 2 --mtype 9 --src 1 --dst 2 --msg 3 --unload
echo "FG_BOOT: session 2 rc=$?"
grep -q '^framegate ' /proc/modules && echo "FG_BOOT: module still loaded"
echo "FG_BOOT: done"
poweroff -f
EOF
chmod +x "$work/root/init"
(cd "$work/root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio" || fail "cpio"

# KVM when it works; nested or restricted KVM may refuse the CPU model or never start the guest, so a
# guest that shows nothing on the console within 10 s is stopped and booted again under TCG.
boot() { # accel args...
    rm -f "$work/console.log"
    "$qemu" "$@" -m 256 -smp 1 -nographic -monitor none -no-reboot \
        -serial "file:$work/console.log" -kernel "/boot/vmlinuz-$kver" -initrd "$work/initramfs.cpio" \
        -append "console=ttyS0 panic=-1" >"$work/qemu.log" 2>&1 &
    qpid=$!
}
wait_boot() { # seconds
    local t=0
    while kill -0 "$qpid" 2>/dev/null; do
        if [ "$t" -ge $(($1 * 10)) ]; then
            kill "$qpid" 2>/dev/null
            wait "$qpid" 2>/dev/null
            return 124
        fi
        sleep 0.1
        t=$((t + 1))
        if [ "$1" -lt 150 ] && [ -s "$work/console.log" ]; then
            wait_boot 150
            return $?
        fi
    done
    wait "$qpid" 2>/dev/null
}
start=$(date +%s)
qrc=1
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    echo "== booting /boot/vmlinuz-$kver under KVM"
    boot -accel kvm -cpu host
    wait_boot 10 2>/dev/null # a refused CPU model aborts qemu; its note is in qemu.log
    qrc=$?
    if [ ! -s "$work/console.log" ]; then
        echo "== KVM did not start the guest ($(head -c 200 "$work/qemu.log" | tr '\n' ' '))"
        qrc=1
    fi
fi
if [ ! -s "$work/console.log" ]; then
    echo "== booting /boot/vmlinuz-$kver under TCG"
    boot -accel tcg
    wait_boot 150
    qrc=$?
fi
echo "== qemu exited with $qrc after $(($(date +%s) - start)) s"
log="$work/console.log"
[ -s "$log" ] || { cat "$work/qemu.log"; fail "no console output"; }
sed -n '/FG_BOOT: start/,$p' "$log" | grep -E 'FG_BOOT|fg_encoder|framegate|Buffer|Video|IRQ|FRAMEGATE|Driver|Undefined|vif_msg' || true

errors=0
expect() {
    if ! grep -qF -- "$1" "$log"; then
        echo "missing on the console: $1"
        errors=$((errors + 1))
    fi
}
expect "Video Interface Interrupt Driver v2.0.17.pelto, "
expect "framegate: simulated chip, VIF and OSD interrupts at 60 Hz"
expect "Driver already in use."
expect "fg_encoder: second open: -13"
expect "Capture Buffer Addr: 0x01000000"
expect "Full Buffer Addr:    0x01100000"
expect "Prev Buffer Addr:    0x01200000"
expect "OSD Buffer1 Addr: 0x01300000"
expect "OSD Buffer2 Addr: 0x01400000"
expect "OSD Buffer3 Addr: 0x01500000"
expect "Video path is set to CCD controller 27405"
expect "IRQ already attached."
expect "FRAMEGATE detached."
expect "IRQ already detached."
expect "fg_encoder: message mtype 7 src 17 dst 34 msg 51"
expect "fg_encoder: message mtype 9 src 1 dst 2 msg 3"
expect "FG_BOOT: session 1 rc=0"
expect "FG_BOOT: session 2 rc=0"
expect "fg_encoder: unloaded"
expect "FG_BOOT: done"
if grep -qF "FG_BOOT: module still loaded" "$log"; then
    echo "the module was not unloaded"
    errors=$((errors + 1))
fi
if grep -qE 'Oops|BUG:|WARNING:|Call Trace|general protection|Kernel panic' "$log"; then
    echo "the kernel complained:"
    grep -E -A20 'Oops|BUG:|WARNING:|Call Trace|general protection|Kernel panic' "$log" | head -60
    errors=$((errors + 1))
fi

# Messages against the rate. Interlaced input: two VIF interrupts (fields) make a frame, and the table
# passes `rate` of every 30 frames, so the driver's own interrupt count gives the expected number
# closely (the count runs on to the detach, a few fields past the last read). Against the wall clock
# the 60 Hz source gives `rate` messages a second; a starved emulator may lose timer ticks, so that
# bound is loose.
check_count() { # rate seconds
    local line n irqs
    line=$(grep -o "fg_encoder: rate $1: [0-9]* messages in [0-9.]* s, [0-9]* interrupts" "$log" | head -1)
    if [ -z "$line" ]; then
        echo "no message count for rate $1"
        errors=$((errors + 1))
        return
    fi
    n=$(echo "$line" | awk '{print $4}')
    irqs=$(echo "$line" | awk '{print $9}')
    local by_irqs=$((irqs * $1 / 60)) by_clock=$(($1 * $2)) lo hi
    lo=$((by_irqs * 90 / 100 - 2))
    hi=$((by_irqs + 1))
    echo "rate $1 for $2 s: $n messages, $irqs interrupts (expected $lo..$hi by the interrupts, about $by_clock by the clock)"
    if [ "$n" -lt "$lo" ] || [ "$n" -gt "$hi" ] || [ "$n" -lt $((by_clock / 2)) ] || [ "$n" -gt $((by_clock + 2)) ]; then
        errors=$((errors + 1))
    fi
}
check_count 10 3
check_count 20 2

if [ "$errors" -ne 0 ]; then
    echo "---- console ----"
    cat "$log"
    fail "$errors check(s) failed"
fi
echo "PASSED"
