#!/usr/bin/env bash
# Builds the .NET binding and its NUnit suite with mcs and runs them under Mono against
# the Linux library (libasiochan.so and libasiochan_sim.so in the folder given, default
# build/native), then compiles the README's C# example against the built assembly and
# runs it. About a minute.
#   test-dotnet.sh [library folder] [nunit-console options, e.g. -run:Asiochan.Tests.StreamTests]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$(cd "${1:-$root/build/native}" && pwd)
shift || true
out=$root/build/dotnet
[ -f "$lib/libasiochan.so" ] || { echo "test-dotnet: no libasiochan.so in $lib" >&2; exit 1; }

ASIOCHAN_DOTNET_OUT=$out "$root/scripts/build-dotnet.sh" --tests
export LD_LIBRARY_PATH=$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export ASIOCHAN_ROOT=$root

cd "$out"
nunit-console -noshadow -nologo -noresult Asiochan.Tests.dll "$@"

# The README's example, as a user would copy it.
example=$out/readme-example
mkdir -p "$example"
awk '/^```csharp$/ {inside = 1; next} /^```$/ {inside = 0} inside' "$root/README.md" >"$example/Example.cs"
[ -s "$example/Example.cs" ] || { echo "test-dotnet: no C# example in README.md" >&2; exit 1; }
mcs -nologo -langversion:7 -warnaserror+ -r:"$out/Asiochan.dll" -out:"$example/Example.exe" "$example/Example.cs"
cp "$out/Asiochan.dll" "$example/"
mono "$example/Example.exe" | tee "$example/output.txt"
grep -q "aligned" "$example/output.txt"
