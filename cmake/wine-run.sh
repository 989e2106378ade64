#!/bin/sh
# wine-run.sh - runs the cross build's Windows programs under Wine: quiet, no
# windows, a Wine prefix of the build's own, one file size limit for all.
#
#   wine-run.sh PREFIX --init            create the prefix once, check Wine starts
#   wine-run.sh PREFIX PROGRAM [ARG...]  run PROGRAM in it
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX --init | PREFIX PROGRAM [ARG...]" >&2
    exit 2
fi
prefix=$1
shift

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Files grow in the Wine server, not in the program that asks, and the server
# inherits its limits from the wine process that starts it. Every process of
# the prefix starts through here, so the server always has this limit, and
# the Windows tests provoke a refused growth against it.
export GVTOOL_FILE_SIZE_LIMIT=67108864
trap '' XFSZ

wine=$(command -v wine || command -v wine64 || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; fi
if [ -z "$wine" ]; then
    echo "wine-run.sh: Wine is not installed (Debian: apt-get install wine wine64)" >&2
    exit 1
fi
run() { exec prlimit --fsize="$GVTOOL_FILE_SIZE_LIMIT" -- "$wine" "$@"; }

if [ "$1" != "--init" ]; then
    run "$@"
fi

mkdir -p "$(dirname "$prefix")"
if [ ! -f "$prefix/system.reg" ]; then
    echo "wine-run.sh: creating the Wine prefix $prefix"
    if ! (run wineboot -i) >"$prefix.init.log" 2>&1; then
        echo "wine-run.sh: Wine cannot start: 'wineboot -i' failed; see $prefix.init.log" >&2
        exit 1
    fi
fi
answer=$( (run cmd /c echo wine-ready) 2>&1 | tr -d '\r') || true
if [ "$answer" != "wine-ready" ]; then
    echo "wine-run.sh: Wine cannot start programs here; it answered:" >&2
    printf '%s\n' "$answer" >&2
    exit 1
fi
echo "wine-run.sh: Wine is ready ($("$wine" --version 2>/dev/null || echo unknown version))"
