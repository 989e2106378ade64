#!/bin/sh
# wine-run.sh - runs the cross build's Windows programs under Wine: quiet, no
# windows, in a Wine prefix of the build's own.
#
#   wine-run.sh PREFIX --init            create the prefixes once, check Wine starts
#   wine-run.sh PREFIX PROGRAM [ARG...]  run PROGRAM
#
# With GVTOOL_WINE_LIMITED=1 in the environment, PROGRAM runs in a second
# prefix, PREFIX-limited, where no file may grow past GVTOOL_FILE_SIZE_LIMIT
# bytes: the Windows tests provoke a refused growth against it.
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX --init | PREFIX PROGRAM [ARG...]" >&2
    exit 2
fi
prefix=$1
shift

export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine=$(command -v wine || command -v wine64 || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if [ -z "$wine" ]; then
    echo "wine-run.sh: Wine is not installed (Debian: apt-get install wine wine64)" >&2
    exit 1
fi

# Files grow in the Wine server, not in the program that asks, and the server
# takes its limits from the wine process that starts it. Only this script
# starts processes in the limited prefix, so its server always has the limit;
# the other prefix has none, so tests may still make large sparse files.
limit=67108864
run() { exec "$wine" "$@"; }
run_limited() {
    export GVTOOL_FILE_SIZE_LIMIT=$limit
    trap '' XFSZ
    exec prlimit --fsize="$limit" -- "$wine" "$@"
}

if [ "$1" != "--init" ]; then
    if [ "${GVTOOL_WINE_LIMITED:-}" = 1 ]; then
        export WINEPREFIX="$prefix-limited"
        run_limited "$@"
    fi
    export WINEPREFIX="$prefix"
    run "$@"
fi

# Answers whether programs start in the prefix (the second argument runs it limited).
check() {
    answer=$( (WINEPREFIX=$1; export WINEPREFIX; $2 cmd /c echo wine-ready) 2>&1 | tr -d '\r') || true
    if [ "$answer" != "wine-ready" ]; then
        echo "wine-run.sh: Wine cannot start programs in $1; it answered:" >&2
        printf '%s\n' "$answer" >&2
        exit 1
    fi
}

mkdir -p "$(dirname "$prefix")"
if [ ! -f "$prefix/system.reg" ]; then
    echo "wine-run.sh: creating the Wine prefix $prefix"
    if ! (WINEPREFIX=$prefix; export WINEPREFIX; run wineboot -i) >"$prefix.init.log" 2>&1; then
        echo "wine-run.sh: Wine cannot start: 'wineboot -i' failed; it said:" >&2
        cat "$prefix.init.log" >&2
        rm -rf "$prefix"
        exit 1
    fi
fi
check "$prefix" run
if [ ! -f "$prefix-limited/system.reg" ]; then
    # Hard links: the second prefix costs neither time nor disk. The wine
    # server rewrites the registry files in place, so those are real copies.
    WINEPREFIX=$prefix "$wineserver" -w
    rm -rf "$prefix-limited"
    cp -al "$prefix" "$prefix-limited"
    for file in "$prefix"/*.reg; do cp --remove-destination "$file" "$prefix-limited/"; done
fi
check "$prefix-limited" run_limited
echo "wine-run.sh: Wine is ready ($("$wine" --version 2>/dev/null || echo unknown version))"
