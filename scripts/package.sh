#!/usr/bin/env bash
# Gathers what a Windows user needs into dist/asiochan/: the DLL, its .def, the
# header, the simulated driver, the command-line host and USAGE.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ ! -f build/mingw/bin/asiochan.dll ]; then
    "$root/scripts/bootstrap.sh"
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw
fi
out="$root/dist/asiochan"
rm -rf "$out"
mkdir -p "$out"
cp build/mingw/bin/asiochan.dll build/mingw/bin/asiochan_sim.dll build/mingw/bin/asiochan.exe "$out/"
cp src/exports/asiochan.def include/asiochan.h dist/USAGE.md "$out/"
echo "packaged into $out:"
ls -1 "$out"
