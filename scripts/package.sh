#!/usr/bin/env bash
# Gathers what a Windows user needs into dist/asiochan/: for 32-bit (x86/) and 64-bit
# (x64/) applications the DLL, its import libraries (asiochan.lib for MSVC,
# libasiochan.dll.a for MinGW), the simulated driver and the command-line host, and
# beside them what serves both: the header, the .def, USAGE.md and the CMake package
# (asiochanConfig.cmake). Each build lays out its half in build/<preset>/dist/asiochan.
# The .NET assembly goes beside them, and into nuget/ as a NuGet package's layout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/bootstrap.sh"
out="$root/dist/asiochan"
rm -rf "$out"
mkdir -p "$out"
for preset in mingw mingw64; do
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target asiochan_package
    cp -R "build/$preset/dist/asiochan/." "$out/"
done
"$root/scripts/package-dotnet.sh" "$out"
echo "packaged into $out:"
(cd "$out" && find . -type f | sort)
