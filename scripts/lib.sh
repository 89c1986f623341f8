# Shared by the scripts: packages, builds, the release's files, and Wine
# environments with serial ports mapped to ptys and an X display.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Every Windows program starts through wine-run (see there why).
WINE_RUN=$ROOT/scripts/wine-run
WINESERVER=/usr/lib/wine/wineserver

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev googletest python3
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64 xvfb x11-utils socat imagemagick fonts-dejavu-core fonts-wine zip e2fsprogs)

# What the release zip carries from the i686 build, and the checksums of
# those files when they last passed the i686 tests (scripts/test writes
# them; scripts/package packs nothing else).
RELEASE_BINARIES=(PulleyDisplay.exe kvarncpi.dll enumcomm.dll pulley-sim.exe pulley-remote.exe pulley-feed.exe)
RELEASE_TESTED=$ROOT/build/win32/release-tested

release_checksums() {
    (cd "$ROOT/build/win32/bin" && sha256sum -- "${RELEASE_BINARIES[@]}")
}

say() { printf '== [%4d s] %s\n' "$SECONDS" "$*" >&2; }

# The tests' own: a real Chromium, driven by WebDriver from Debian's own
# python3, which has Debian's selenium (nothing is downloaded), and an NMEA
# parser that is not ours.
TEST_PACKAGES=(chromium chromium-driver python3-selenium python3-nmea2)

# Installs the packages named (all of PACKAGES when none is) that are missing.
install_packages() {
    local missing=() wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${PACKAGES[@]}")
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The i686 release runs here too, though this kernel cannot execute 32-bit
# code: Debian's 32-bit Wine loader (wine32:i386) is handed to qemu-i386
# through binfmt_misc; wineserver and the 64-bit Wine stay native. Bookworm's
# own qemu (7.2) spins for ever on our programs; the one in bookworm-backports
# (10) runs them, so backports is added as one more suite of the Debian
# mirror apt already uses.
install_i686_runtime() {
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' ||
        ! qemu-i386 --version 2>/dev/null | grep -qE 'version ([1-9][0-9])\.'; then
        say "installing the 32-bit Wine and qemu-user from backports"
        local codename mirror
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        mirror=$(debian_mirror "$codename")
        [ -n "$mirror" ] || { say "no Debian mirror for $codename in apt's sources"; return 1; }
        echo "deb $mirror $codename-backports main" | $sudo tee /etc/apt/sources.list.d/backports.list >/dev/null
        $sudo dpkg --add-architecture i386
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            -t "$codename-backports" qemu-user >/dev/null || return 1
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
            return 1
    fi
    local binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
    # qemu's own rule for i386 ELF files, with the F flag: the kernel opens
    # the emulator once, so it is found from any mount namespace.
    [ -e "$binfmt/qemu-i386" ] || $sudo tee "$binfmt/register" < /usr/share/qemu/binfmt.d/qemu-i386.conf >/dev/null
}

# The URI that apt's sources give for the Debian suite $1, from either
# format of source file.
debian_mirror() {
    local suite=$1
    {
        sed 's/\[[^]]*\]//' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk -v s="$suite" '$1 == "deb" && $3 == s { print $2 }'
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -e "$file" ] || continue
            awk -v s="$suite" '
                /^[ \t]*$/ { if (hit && uri) print uri; uri = ""; hit = 0 }
                /^URIs:/ { uri = $2 }
                /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == s) hit = 1 }
                END { if (hit && uri) print uri }' "$file"
        done
    } | head -n 1
}

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
