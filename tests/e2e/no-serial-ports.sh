#!/usr/bin/env bash
# Makes a Wine prefix in $1 on a machine that seems to have no serial ports:
# Wine's device manager looks for /dev/ttyS*, /dev/ttyUSB* and so on, so its
# server runs in a mount namespace whose /dev holds only what Wine needs. The
# server stays up (persistent) for the test's programs; wineserver -k ends it.
set -eu
prefix=$1
hostdev=$(mktemp -d)
wine_run=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run
unshare -m bash -c '
    set -eu
    mount --bind /dev "$1"
    mount -t tmpfs none /dev
    for node in null zero random urandom tty ptmx; do
        touch "/dev/$node"
        mount --bind "$1/$node" "/dev/$node"
    done
    for dir in pts shm; do
        mkdir "/dev/$dir"
        mount --bind "$1/$dir" "/dev/$dir"
    done
    mkdir -p "$2"
    export WINEPREFIX=$2
    /usr/lib/wine/wineserver -p >/dev/null 2>&1
    "$3" wineboot -i >/dev/null 2>&1
' no-serial-ports "$hostdev" "$prefix" "$wine_run"
rmdir "$hostdev"  # the mount over it lives only in the namespace
