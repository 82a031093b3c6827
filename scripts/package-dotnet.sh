#!/usr/bin/env bash
# Puts the .NET assembly into a dist folder that holds x86/asiochan.dll and
# x64/asiochan.dll already: Asiochan.dll (+ .xml) beside them, and nuget/ laid out as a
# NuGet package (lib/netstandard2.0, runtimes/win-x86|win-x64/native, build/Asiochan.targets
# for .NET Framework programs, Asiochan.nuspec for `nuget pack`).
#   package-dotnet.sh <dist folder>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: package-dotnet.sh <dist folder>}
for arch in x86 x64; do
    [ -f "$out/$arch/asiochan.dll" ] || { echo "package-dotnet: no $out/$arch/asiochan.dll" >&2; exit 1; }
done
built=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-dotnet.XXXXXX")
trap 'rm -rf "$built"' EXIT
ASIOCHAN_DOTNET_OUT=$built "$root/scripts/build-dotnet.sh"

cp "$built/Asiochan.dll" "$built/Asiochan.xml" "$out/"
nuget=$out/nuget
rm -rf "$nuget"
mkdir -p "$nuget/lib/netstandard2.0" "$nuget/build"
cp "$built/Asiochan.dll" "$built/Asiochan.xml" "$nuget/lib/netstandard2.0/"
for arch in x86 x64; do
    mkdir -p "$nuget/runtimes/win-$arch/native"
    cp "$out/$arch/asiochan.dll" "$nuget/runtimes/win-$arch/native/"
done
cp "$root/bindings/dotnet/package/Asiochan.targets" "$nuget/build/"
cp "$root/bindings/dotnet/package/Asiochan.nuget.xml" "$nuget/Asiochan.nuspec"
