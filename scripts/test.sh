#!/usr/bin/env bash
# Sets up what is missing, builds every preset and runs every test suite: the
# host build plain, under ASan/UBSan and under TSan, and the product DLL, 32-bit
# (mingw) and 64-bit (mingw64), under Wine in one throw-away 64-bit prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/bootstrap.sh" --tests

work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-test.XXXXXX")
export ASIOCHAN_WINEPREFIX="$work/wineprefix"
cleanup() {
    WINEPREFIX="$ASIOCHAN_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# Wine's first start takes a while; let it run while the host builds compile.
"$root/scripts/wine-prefix.sh" >"$work/wineprefix.log" 2>&1 &
prefix_job=$!

presets=(${ASIOCHAN_PRESETS:-native asan tsan mingw mingw64})
for preset in "${presets[@]}"; do
    echo "=== $preset: build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = mingw ] || [ "$preset" = mingw64 ]; then
        if [ -n "$prefix_job" ]; then
            wait "$prefix_job" || { cat "$work/wineprefix.log"; exit 1; }
            prefix_job=""
        fi
    fi
    echo "=== $preset: test"
    case "$preset" in
        tsan) export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ;;
        asan) export ASAN_OPTIONS="detect_leaks=1 abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" ;;
    esac
    # Two at a time (CI's machine has two cores): the host builds' unit cases are
    # ctest entries of their own; the Wine tests share a prefix whose server and
    # system processes the fixture starts detached from every test's output
    # (scripts/wine-fixture.sh), and those that change what the others see run alone.
    # The 64-bit Wine tests stay one at a time until they pass side by side: today
    # asiochan.exe (64-bit) at times dies of a segmentation fault as it ends (also
    # when run alone), so no side-by-side run of them has passed yet.
    case "$preset" in
        mingw64) jobs=${ASIOCHAN_TEST_JOBS:-1} ;;
        *) jobs=${ASIOCHAN_TEST_JOBS:-2} ;;
    esac
    if [ "$preset" = mingw64 ]; then
        # A 64-bit program on asiochan.dll at times dies under Wine as it starts or
        # ends (exit 139, or 1 with nothing printed; an open fault, also seen with a
        # test run alone): the tests that failed run once more, and say so.
        ctest --preset "$preset" -j "$jobs" || {
            echo "=== mingw64: running the failed tests once more (64-bit programs under Wine at times die as they start or end)"
            ctest --preset "$preset" --rerun-failed
        }
    else
        ctest --preset "$preset" -j "$jobs"
    fi
done

# The Python package against the Linux library of the native build (about a
# minute), after the Windows builds, whose DLLs its wheel test packs.
if [ -f "$root/build/native/lib/libasiochan.so" ] && [[ " ${presets[*]} " == *" native "* ]]; then
    echo "=== python: pytest"
    ASIOCHAN_LIBRARY="$root/build/native/lib/libasiochan.so" /usr/bin/python3 -m pytest -q -p no:cacheprovider \
        "$root/python/tests"
fi

# The .NET binding under Mono against the native build's libasiochan.so.
if [[ " ${presets[*]} " == *" native "* ]]; then
    echo "=== dotnet: the Asiochan assembly's NUnit suite and the README's C# example"
    "$root/scripts/test-dotnet.sh" "$root/build/native/lib"
fi

# The WAV header reader under libFuzzer for a bounded time: 30 s in a full run
# (its coverage stops growing within seconds from the seed corpus), ASIOCHAN_FUZZ_SECONDS
# to choose (0 skips).
fuzz_seconds=${ASIOCHAN_FUZZ_SECONDS:-$([ -z "${ASIOCHAN_PRESETS:-}" ] && echo 30 || echo 0)}
if [ "$fuzz_seconds" != 0 ]; then
    echo "=== fuzz: wav header reader, $fuzz_seconds s"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz
    mkdir -p "$work/fuzz-corpus"
    "$root/build/fuzz/bin/wav_header_fuzz" -max_total_time="$fuzz_seconds" "$work/fuzz-corpus" \
        "$root/fuzz/corpus/wav_header" 2>"$work/fuzz.log" || { tail -40 "$work/fuzz.log"; exit 1; }
    tail -1 "$work/fuzz.log"
fi
echo "=== all suites passed"
