#!/usr/bin/env bash
# ctest's side of the Wine prefix in which the simulated driver is registered.
#
#   wine-fixture.sh setup <default-prefix> <bin-folder>   make the prefix, register, map D:,
#                                                         start its server for the whole run
#   wine-fixture.sh run <default-prefix> <program> [args] run a Windows program in it
#   wine-fixture.sh cleanup <default-prefix>              end its server; remove it (only
#                                                         the default one)
#
# The prefix is $ASIOCHAN_WINEPREFIX when set (scripts/test.sh makes one in a
# temporary folder and removes it), otherwise <default-prefix>, a temporary
# folder of this build that cleanup removes. D: is the prefix's drive_d folder.
#
# The wineserver and Wine's system processes (services, plugplay, winedevice,
# rpcss, ...) are started by whichever Wine program finds none running, inherit
# its standard output and error, and live on while any Wine program of the prefix
# runs. Started by a test, they would hold that test's pipes open while its
# neighbours run under `ctest -j2`, and ctest would not see the test end until
# they did. So setup starts them here, on /dev/null, with a server that does not
# shut down when the last program ends (which would also stop the system
# processes, to be started again by the next test); cleanup ends them.
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
        # A server left running by an interrupted run would never let
        # wine-prefix.sh's wait for the server's end return.
        WINEPREFIX="$ASIOCHAN_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
        "$here/wine-prefix.sh" --register-sim "$1" --map-d "$ASIOCHAN_WINEPREFIX/drive_d"
        . "$here/wine-env.sh"
        wineserver -p </dev/null >/dev/null 2>&1
        # Any program starts the system processes; cmd is Wine's own and quick.
        "$(wine_for_bits 64)" cmd /c exit </dev/null >/dev/null 2>&1 ;;
    run)
        exec "$here/wine-run.sh" "$@" ;;
    cleanup)
        WINEPREFIX="$ASIOCHAN_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
        if [ "$own_prefix" = 1 ]; then
            rm -rf "$ASIOCHAN_WINEPREFIX"
        fi ;;
    *) echo "wine-fixture.sh: unknown action $action" >&2; exit 2 ;;
esac
