#!/usr/bin/env bash
# ctest's side of the Wine prefix in which the simulated driver is registered.
#
#   wine-fixture.sh setup <default-prefix> <bin-folder>   make the prefix, register, map D:
#   wine-fixture.sh run <default-prefix> <program> [args] run a Windows program in it
#   wine-fixture.sh cleanup <default-prefix>              end it (only the default one)
#
# The prefix is $ASIOCHAN_WINEPREFIX when set (scripts/test.sh makes one in a
# temporary folder and removes it), otherwise <default-prefix>, a temporary
# folder of this build that cleanup removes. D: is the prefix's drive_d folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
action="$1"
default_prefix="$2"
shift 2
own_prefix=0
if [ -z "${ASIOCHAN_WINEPREFIX:-}" ]; then
    export ASIOCHAN_WINEPREFIX="$default_prefix"
    own_prefix=1
fi
case "$action" in
    setup)
        "$here/wine-prefix.sh" --register-sim "$1" --map-d "$ASIOCHAN_WINEPREFIX/drive_d" ;;
    run)
        exec "$here/wine-run.sh" "$@" ;;
    cleanup)
        if [ "$own_prefix" = 1 ]; then
            WINEPREFIX="$ASIOCHAN_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
            rm -rf "$ASIOCHAN_WINEPREFIX"
        fi ;;
    *) echo "wine-fixture.sh: unknown action $action" >&2; exit 2 ;;
esac
