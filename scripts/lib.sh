# Shared by the scripts: builds, the release's files, and Wine environments
# with serial ports mapped to ptys and an X display. What the machine needs
# is set up by scripts/setup.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Every Windows program starts through wine-run (see there why).
WINE_RUN=$ROOT/scripts/wine-run
WINESERVER=/usr/lib/wine/wineserver
# Debian's 32-bit Wine, unpacked here by scripts/setup tests for the i686
# programs (see there why it is not installed).
I386_WINE=$ROOT/build/i386-wine

# What the release zip carries from the i686 build, and the checksums of
# those files when they last passed the i686 tests (scripts/test writes
# them; scripts/package packs nothing else).
RELEASE_BINARIES=(PulleyDisplay.exe kvarncpi.dll enumcomm.dll pulley-sim.exe pulley-remote.exe pulley-feed.exe)
RELEASE_TESTED=$ROOT/build/win32/release-tested

release_checksums() {
    (cd "$ROOT/build/win32/bin" && sha256sum -- "${RELEASE_BINARIES[@]}")
}

say() { printf '== [%4d s] %s\n' "$SECONDS" "$*" >&2; }

# A control, command or string number of the display, from its resource header.
resource_id() {
    sed -n "s/^#define $1 \([0-9]*\).*/\1/p" "$ROOT/res/resource.h"
}

build_preset() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

# A Wine environment in $1, for the tests, the bench and the demo: a fresh
# prefix whose COM1, COM2, COM3 and COM12 are the pty links $1/ports/com1 ...
# (made later by socat; a missing one is a port that cannot be opened), and a
# persistent wineserver. With $2 = headless it also gets an X display of its
# own (its name in $1/display) with Wine's desktop on it, which draws the
# windows' frames and titles, as no window manager runs there. The processes
# started for it are listed in $1/pids, for stop_environment. Exports
# WINEPREFIX, and DISPLAY when headless.
make_environment() {
    local dir=$1 headless=${2:-}
    rm -rf "$dir"
    mkdir -p "$dir/ports"
    export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$WINE_RUN" wineboot -i >/dev/null 2>&1
    for port in com1 com2 com3 com12; do
        "$WINE_RUN" reg add 'HKLM\Software\Wine\Ports' /v "${port^^}" /t REG_SZ /d "$dir/ports/$port" /f >/dev/null 2>&1
    done
    if [ "$headless" = headless ]; then
        "$WINE_RUN" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
        "$WINE_RUN" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
    fi
    # The mount manager takes the port mapping when the server starts again.
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    if [ "$headless" = headless ]; then
        start_xvfb "$dir" || return 1
    fi
    start_wineserver
}

# Ends the environment in $1: its wineserver with every program it runs, and
# the processes listed in $1/pids.
stop_environment() {
    WINEPREFIX=$1/prefix "$WINESERVER" -k 2>/dev/null
    if [ -f "$1/pids" ]; then
        xargs -r kill < "$1/pids" 2>/dev/null
    fi
}

# Environments $1/desktop<N> for each N of $2 ..., made at the same time,
# for tests that each take one.
make_desktops() {
    local work=$1 lane
    shift
    rm -rf "$work"
    mkdir -p "$work"
    for lane in "$@"; do
        make_environment "$work/desktop$lane" headless > "$work/desktop$lane.log" 2>&1 &
    done
    wait
    for lane in "$@"; do
        [ -s "$work/desktop$lane/display" ] || { cat "$work/desktop$lane.log"; return 1; }
    done
}

stop_desktops() {
    local environment
    for environment in "$1"/desktop*; do
        [ -d "$environment" ] && stop_environment "$environment"
    done
}

# Lists the desktops $2 ... for the build in $1: ctest hands each test that
# drives the programs one of them that is free (see CMakeLists.txt).
list_desktops() {
    local build=$1 ids
    shift
    ids=$(printf '{"id": "%s", "slots": 1},' "$@")
    echo "{\"version\": {\"major\": 1, \"minor\": 0}, \"local\": [{\"desktop\": [${ids%,}]}]}" > "$build/desktops.json"
}

# Starts Xvfb on a display number it finds free itself (so that environments
# made at the same time never share one), writes its name to $1/display and
# exports DISPLAY.
start_xvfb() {
    local dir=$1
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display-number" >/dev/null 2>&1 &
    echo $! >> "$dir/pids"
    for _ in $(seq 100); do
        if [ -s "$dir/display-number" ]; then
            export DISPLAY=":$(tr -d '[:space:]' < "$dir/display-number")"
            echo "$DISPLAY" > "$dir/display"
            xdpyinfo >/dev/null 2>&1 && return 0
        fi
        sleep 0.1
    done
    say "could not start Xvfb"
    return 1
}

# A wineserver that stays up between programs, and its helper processes
# (services, the desktop) started now with no pipes of ours: they live as
# long as the server, and a test runner waiting for a program's output to
# end would otherwise wait on them too.
start_wineserver() {
    # What the server says goes to wineserver.log beside the prefix, for the
    # day it ends of itself: a server that stops on an internal error says
    # why only there, and its programs end with code 0 and no word. Left
    # out: the lists of every object and handle it has (lines "0x...:" and
    # "    0004: ..."), which it writes whenever a pty under one of its ports
    # closes, megabytes a test.
    "$WINESERVER" -p >/dev/null 2> >(grep --line-buffered -E -v '^ *(0x)?[0-9a-f]+:' >> "$WINEPREFIX/../wineserver.log")
    "$WINE_RUN" wineboot >/dev/null 2>&1
}
