#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's throw-away prefix: a 64-bit
# program under wine64, any other under wine (32-bit programs run through WoW64).
#
#   wine-run.sh <program> [args]
# The prefix comes from ASIOCHAN_WINEPREFIX (scripts/wine-prefix.sh makes one);
# without it, a temporary prefix is made for this one run and removed after.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ASIOCHAN_WINEPREFIX:-}" ]; then
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-wine.XXXXXX")
    trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1; rm -rf "$prefix"' EXIT
    ASIOCHAN_WINEPREFIX="$prefix" "$here/wine-prefix.sh" >/dev/null || exit 1
    export ASIOCHAN_WINEPREFIX="$prefix"
fi
. "$here/wine-env.sh"
# A program file tells its own bitness; for Wine's own programs (regsvr32, reg)
# ASIOCHAN_WINE_BITS=64 picks the 64-bit one.
bits=${ASIOCHAN_WINE_BITS:-32}
if [ $# -gt 0 ] && [ -f "$1" ]; then bits=$(pe_bits "$1"); fi
"$(wine_for_bits "$bits")" "$@"
