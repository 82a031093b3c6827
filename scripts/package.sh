#!/usr/bin/env bash
# Gathers what a Windows user needs into dist/asiochan/: for 32-bit (x86/) and 64-bit
# (x64/) applications the DLL, its import libraries (asiochan.lib for MSVC,
# libasiochan.dll.a for MinGW), the simulated driver and the command-line host, and
# beside them what serves both: the header, the .def, USAGE.md and the CMake package
# (asiochanConfig.cmake). Each build lays out its half in build/<preset>/dist/asiochan.
# The .NET assembly goes beside them, and into nuget/ as a NuGet package's layout.
# Then the Python package's wheels into dist/wheels/: win32 and win_amd64 carrying
# asiochan.dll of their bitness, linux_x86_64 libasiochan.so and libasiochan_sim.so
# (from the native build).
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

wheels="$root/dist/wheels"
rm -rf "$wheels"
[ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
cmake --build --preset native --target asiochan_linux
"$root/scripts/python-wheel.sh" win32 "$wheels" build/mingw/bin/asiochan.dll
"$root/scripts/python-wheel.sh" win_amd64 "$wheels" build/mingw64/bin/asiochan.dll
"$root/scripts/python-wheel.sh" linux_x86_64 "$wheels" build/native/lib/libasiochan.so build/native/lib/libasiochan_sim.so
echo "wheels in $wheels:"
ls "$wheels"
