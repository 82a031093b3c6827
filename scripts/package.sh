#!/usr/bin/env bash
# Gathers what a Windows user needs into dist/asiochan/: the DLL, the simulated
# driver and the command-line host for 32-bit (x86/) and 64-bit (x64/)
# applications, and beside them the header, the .def and USAGE.md, which serve both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out="$root/dist/asiochan"
rm -rf "$out"
mkdir -p "$out"
for pair in mingw:x86 mingw64:x64; do
    preset=${pair%%:*}
    arch=${pair##*:}
    bin="build/$preset/bin"
    if [ ! -f "$bin/asiochan.dll" ]; then
        "$root/scripts/bootstrap.sh"
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset"
    fi
    mkdir -p "$out/$arch"
    cp "$bin/asiochan.dll" "$bin/asiochan_sim.dll" "$bin/asiochan.exe" "$out/$arch/"
done
cp src/exports/asiochan.def include/asiochan.h dist/USAGE.md "$out/"
echo "packaged into $out:"
(cd "$out" && find . -type f | sort)
