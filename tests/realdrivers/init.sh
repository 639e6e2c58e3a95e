#!/bin/busybox sh
# The real-driver check's side in the virtual machine, its /init: tq905 on the
# 8250 UART (/dev/ttyS1) and on an FTDI adapter (/dev/ttyUSB0, ftdi_sio), as
# root and as an ordinary user in the group dialout. The host plays the boards;
# a line "@ WORDS" on the console asks it for something and waits for its "ok".
# Each check prints "ok NAME" or "FAIL NAME: WHY".
/bin/busybox --install -s /bin
export PATH=/bin LC_ALL=C.UTF-8
mkdir -p /proc /sys /dev
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /run/lock /tmp /run/user
mount -t devpts devpts /dev/pts
chmod 1777 /run/lock /tmp
stty -echo
modprobe xhci-pci && modprobe ftdi_sio
uart=/dev/ttyS1
usb=/dev/ttyUSB0

ask() { echo "@ $*"; read -r answer; }
check() { if [ "$2" = "$3" ]; then echo "ok $1"; else echo "FAIL $1: got '$2', want '$3'"; fi; }
device_ready() {
    for _ in $(seq 100); do [ -e "$1" ] && break; sleep 0.1; done
    chgrp 20 "$1" && chmod 660 "$1"
}
# tq905 as the round's user, its end written to the kernel log by vmhelper.
tq905_as() { vmhelper run "$user" /bin/tq905 "$@"; }
ended() { dmesg | grep 'vmhelper: ended' | tail -1; }
# The kernel log's time of the last line matching $1, in milliseconds.
logged_ms() { dmesg | grep "$1" | tail -1 | sed 's/^\[ *\([0-9]*\)\.\([0-9]\{3\}\).*/\1\2/'; }

round() {
    user=$1
    who=$2
    mkdir -p "/run/user/$user" && chown "$user:$user" "/run/user/$user"
    export XDG_RUNTIME_DIR=/run/user/$user
    for device in $uart $usb; do
        ask count "$device"
        check "$who: answers on $device" "$(tq905_as --device "$device" in ad 2 2>&1)" \
            "$(printf '01 3C\n2A2')"
    done

    # The line while a session holds it, and after it has let go.
    mkfifo /tmp/lines
    tq905_as --device $uart - </tmp/lines >/dev/null 2>&1 &
    exec 3>/tmp/lines
    sleep 1
    check "$who: the 8250's line while open" "$(vmhelper lines $uart)" "9600 8N1 -crtscts -hupcl dtr rts"
    exec 3>&-
    wait
    rm /tmp/lines
    check "$who: DTR and RTS after the close" \
        "$(grep '^1:' /proc/tty/driver/serial | grep -o 'RTS\|DTR' | tr '\n' ' ')" "RTS DTR "

    for device in $uart $usb; do
        ask count "$device" && ask lose "$device" 5
        check "$who: one lost reply costs only its own query on $device" \
            "$(seq 12 | sed 's/.*/in/' | tq905_as --timeout 300 --device "$device" - 2>/dev/null)" \
            "$(printf '01 3C\n02 3C\n03 3C\n04 3C\n\n06 3C\n07 3C\n08 3C\n09 3C\n0A 3C\n0B 3C\n0C 3C')"
    done

    # Unplugged in the middle of a session, while a query waits for a reply the
    # board does not give: told at once, at little cost.
    ask count $usb && ask lose $usb 2
    mkfifo /tmp/session
    tq905_as --timeout 10000 --device $usb - </tmp/session >/dev/null 2>/tmp/err &
    session=$!
    exec 3>/tmp/session
    printf 'in\nin\n' >&3
    sleep 1
    ask unplug
    for _ in $(seq 50); do kill -0 $session 2>/dev/null && sleep 0.1; done
    kill $session 2>/dev/null && dmesg | tail -5
    wait $session
    exec 3>&-
    rm /tmp/session
    gone=$(logged_ms 'USB disconnect')
    told=$(logged_ms 'vmhelper: ended')
    check "$who: unplugged: status" "$(ended | grep -o 'ended [0-9]*')" "ended 4"
    check "$who: unplugged: told" "$(grep -c 'the device has gone away' /tmp/err)" 1
    check "$who: unplugged: within 500 ms of the disconnect" "$((told - gone < 500))" 1
    check "$who: unplugged: under 0.5 s of CPU" "$(ended | awk '{ print ($NF < 500) }')" 1
    echo "figure $who: ended $((told - gone)) ms after the disconnect, $(ended | awk '{ print $NF }') ms of CPU"

    ask replug
    device_ready $usb
    ask count $usb
    check "$who: answers after the replug" "$(tq905_as --device $usb in 2>&1)" "01 3C"
}

device_ready $uart
device_ready $usb
round 0 root
round 1000 user
echo "@ done"
poweroff -f
