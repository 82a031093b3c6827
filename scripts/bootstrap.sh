#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian machine. Idempotent:
# when everything is there it only checks and returns.
#   bootstrap.sh           what the builds, the demo and the product's suites need
#   bootstrap.sh --tests   also the packages only the tests use (scripts/test-packages.txt)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd g++ || need+=(g++)
have_cmd clang++ || need+=(clang)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg libgmock-dev || need+=(libgmock-dev)
have_pkg libbenchmark-dev || need+=(libbenchmark-dev)
have_pkg libclang-rt-14-dev || need+=(libclang-rt-14-dev)
have_cmd i686-w64-mingw32-g++ || need+=(g++-mingw-w64-i686)
have_cmd i686-w64-mingw32-gcc || need+=(gcc-mingw-w64-i686)
have_cmd x86_64-w64-mingw32-g++ || need+=(g++-mingw-w64-x86-64)
have_cmd x86_64-w64-mingw32-gcc || need+=(gcc-mingw-w64-x86-64)
have_pkg python3 || need+=(python3)
# The .NET assembly is built with Mono's C# compiler (which brings the runtime and the
# reference assemblies it needs).
have_cmd mcs || need+=(mono-mcs)
# The Python package: installed offline into a venv and made into wheels with
# Debian's numpy, pip, setuptools and wheel (no package index is reached).
for pkg in python3-numpy python3-pip python3-setuptools python3-wheel python3-venv; do
    have_pkg "$pkg" || need+=("$pkg")
done
# The build makes the MSVC import library with llvm-dlltool.
have_cmd llvm-dlltool || need+=(llvm)

# The suite against WineASIO: the driver's build (32-bit tools; 64-bit import
# libraries for `make 64`, since wine64-tools conflicts with wine32-tools) and JACK.
have_cmd make || need+=(make)
for pkg in gcc-multilib wine32-tools:i386 libwine-dev:i386 libwine-dev:amd64 jackd2 libjack-jackd2-0:i386; do
    have_pkg "$pkg" || need+=("$pkg")
done

# One 64-bit Wine prefix runs both builds: wine64 for the 64-bit one, wine32
# for the 32-bit one (through WoW64).
wine_ok=1
have_cmd wine || wine_ok=0
have_pkg wine32:i386 || wine_ok=0
have_pkg wine64 || wine_ok=0
if [ "$wine_ok" = 0 ]; then
    need+=(wine wine32:i386 wine64)
fi

# Packages only the test suites use: outside material (WAV files written by other
# tools) and other toolchains. One package per line, '#' starts a comment.
if [ "${1:-}" = --tests ]; then
    while read -r pkg; do
        pkg=${pkg%%#*}
        pkg=${pkg//[[:space:]]/}
        [ -n "$pkg" ] || continue
        have_pkg "$pkg" || need+=("$pkg")
    done <"$root/scripts/test-packages.txt"
fi

if [ ${#need[@]} -eq 0 ]; then
    echo "bootstrap: everything is installed"
    exit 0
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
echo "bootstrap: installing ${need[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
echo "bootstrap: done"
