#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine in the project's throw-away prefix.
# The prefix comes from ASIOCHAN_WINEPREFIX (scripts/wine-prefix.sh makes one);
# without it, a temporary prefix is made for this one run and removed after.
set -u
if [ -z "${ASIOCHAN_WINEPREFIX:-}" ]; then
    here=$(cd "$(dirname "$0")" && pwd)
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-wine.XXXXXX")
    trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1; rm -rf "$prefix"' EXIT
    ASIOCHAN_WINEPREFIX="$prefix" "$here/wine-prefix.sh" >/dev/null || exit 1
    export ASIOCHAN_WINEPREFIX="$prefix"
fi
export WINEPREFIX="$ASIOCHAN_WINEPREFIX"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine "$@"
