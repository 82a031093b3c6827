# Sourced by the Wine scripts: the environment of the project's throw-away prefix
# and the choice of Wine loader for a program's bitness. One 64-bit prefix serves
# both builds: 64-bit programs run under wine64 and see the 64-bit registry view,
# 32-bit programs run under wine (WoW64) and see the 32-bit view.
export WINEPREFIX="${ASIOCHAN_WINEPREFIX:?set ASIOCHAN_WINEPREFIX to a temporary folder}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# 64 for a PE32+ (x64) file, 32 for any other file.
pe_bits() {
    local at magic
    at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$at" ] || { echo 32; return; }
    magic=$(od -An -tx2 -j$((at + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')
    [ "$magic" = 020b ] && echo 64 || echo 32
}

# The loader for programs of the given bitness. Debian keeps wine64 out of PATH.
wine_for_bits() {
    if [ "$1" = 64 ]; then
        command -v wine64 2>/dev/null || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || echo wine
    else
        echo wine
    fi
}
