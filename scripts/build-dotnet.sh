#!/usr/bin/env bash
# Builds the .NET binding with Mono's mcs (C# 7, the net4.x profile) into build/dotnet/:
# Asiochan.dll (+ Asiochan.xml), and with --tests the NUnit suite Asiochan.Tests.dll.
# Users build bindings/dotnet/src/Asiochan.csproj (netstandard2.0) with the .NET SDK.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${ASIOCHAN_DOTNET_OUT:-$root/build/dotnet}
src=$root/bindings/dotnet
mkdir -p "$out"

mcs -nologo -target:library -langversion:7 -unsafe -optimize+ -warnaserror+ -nowarn:1591 \
    -r:System.dll -r:System.Core.dll -doc:"$out/Asiochan.xml" -out:"$out/Asiochan.dll" \
    $(find "$src/src" -name '*.cs' | sort)

if [ "${1:-}" = --tests ]; then
    nunit=$(ls /usr/lib/cli/nunit.framework-2.6*/nunit.framework.dll | head -1)
    cp "$nunit" "$out/"
    mcs -nologo -target:library -langversion:7 -unsafe -warnaserror+ \
        -r:System.dll -r:System.Core.dll -r:"$out/Asiochan.dll" -r:"$out/nunit.framework.dll" \
        -out:"$out/Asiochan.Tests.dll" $(find "$src/tests" -name '*.cs' | sort)
fi
