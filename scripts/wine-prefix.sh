#!/usr/bin/env bash
# Makes (or refreshes) the throw-away 32-bit Wine prefix named by
# ASIOCHAN_WINEPREFIX. Never touches the user's own prefix.
set -eu
prefix="${ASIOCHAN_WINEPREFIX:?set ASIOCHAN_WINEPREFIX to a temporary folder}"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
fi
echo "$prefix"
