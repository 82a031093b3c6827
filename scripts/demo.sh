#!/usr/bin/env bash
# asiochan in one command on a fresh Debian machine: installs what is missing,
# builds the DLL, the simulated driver and asiochan.exe, makes a throw-away Wine
# prefix with the simulated driver registered, then lists the drivers, shows the
# first one's capabilities, writes a short stereo tone, plays it left on output 0
# and right on output 1, and plays it again while capturing inputs 0 and 1 aligned
# in one WAV file, saying whether each input holds the file channel looped into it;
# last, measures the simulated bench interface's eight pairs with `asiochan analyze`
# against a limits file they pass, and writes its HTML report (kept in
# build/<preset>/demo/, where the demo says).
#
#   demo.sh          the 64-bit product (build/mingw64)
#   demo.sh --x86    the 32-bit product (build/mingw)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

preset=mingw64
case "${1:-}" in
    "") ;;
    --x86) preset=mingw ;;
    --x64) preset=mingw64 ;;
    *) echo "usage: demo.sh [--x86]" >&2; exit 2 ;;
esac

"$root/scripts/bootstrap.sh"
echo "== building the product (build/$preset)"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" >/dev/null
bin="$root/build/$preset/bin"
bits=32
[ "$preset" = mingw64 ] && bits=64

work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-demo.XXXXXX")
export ASIOCHAN_WINEPREFIX="$work/wineprefix"
cleanup() {
    WINEPREFIX="$ASIOCHAN_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "== making a Wine prefix in $work and registering asiochan_sim.dll ($bits-bit)"
"$root/scripts/wine-prefix.sh" >/dev/null
# The regsvr32 of the driver's own bitness registers it in that bitness's view.
(cd "$bin" && ASIOCHAN_WINE_BITS=$bits "$root/scripts/wine-run.sh" regsvr32 /s asiochan_sim.dll)

asiochan() {
    echo
    echo "\$ asiochan $*"
    "$root/scripts/wine-run.sh" "$bin/asiochan.exe" "$@"
}

cd "$work"
asiochan drivers
asiochan info
asiochan tone demo.wav --seconds 2 --hz 440 --channels 2
asiochan play demo.wav --channels 0,1
if asiochan capture take.wav --channels 0,1 --seconds 3 --play demo.wav --play-channels 0,1; then
    echo
    echo "demo: the simulated driver looped outputs 0 and 1 back; take.wav holds inputs 0 and 1 aligned, the left"
    echo "channel of the file on input 0 and the right one on input 1, sample for sample."
else
    echo
    echo "demo: the capture did not match what was played" >&2
    exit 1
fi

# The measuring side: every pair of the simulated bench interface (known gains, an
# inverted input, distortion, noise and crosstalk) against limits a unit passes.
report_dir="$root/build/$preset/demo"
mkdir -p "$report_dir"
cat >"$report_dir/bench-limits.json" <<'LIMITS'
{
  "gain_db": {"min": -0.75, "max": 0.05},
  "latency_frames": {"max": 300},
  "thdn_percent": {"max": 0.25},
  "noise_a_dbfs": {"max": -99},
  "dynamic_range_db": {"min": 99},
  "crosstalk_db": {"max": -85},
  "response_mask": [[20, 20000, -0.05, 0.05]],
  "pairs": {"5:5": {"polarity": {"min": -1, "max": -1}}}
}
LIMITS
cd "$report_dir"
if asiochan analyze --driver "asiochan sim (bench)" --limits bench-limits.json --report bench.html --json bench.json; then
    echo
    echo "demo: every pair of the simulated bench interface passed its limits ($report_dir/bench-limits.json)."
    echo "demo: the report is $report_dir/bench.html (the figures in $report_dir/bench.json)"
else
    echo
    echo "demo: asiochan analyze did not pass the bench interface (report: $report_dir/bench.html)" >&2
    exit 1
fi
