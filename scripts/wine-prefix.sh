#!/usr/bin/env bash
# Makes (or refreshes) the throw-away Wine prefix named by ASIOCHAN_WINEPREFIX: a
# 64-bit prefix, which runs the 32-bit build too (through WoW64) and keeps the
# two registry views apart. Never touches the user's own prefix.
#
#   wine-prefix.sh [--register-sim <bin-folder>] [--map-d <folder>]
#
# --register-sim  registers the simulated driver asiochan_sim.dll of a build's bin
#                 folder with the regsvr32 of its own bitness (so in the registry
#                 view of that bitness), and adds more driver entries for the
#                 same DLL under other class ids: one whose driver objects run
#                 their periods only when a test steps them, the same with float
#                 samples, one the server refuses to create, three that, about
#                 half a second into a run, ask for a reset, stop delivering
#                 periods, or skip a few periods, and a 64-channel one that runs
#                 faster than real time.
# --map-d         makes <folder> the prefix's D: drive.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
prefix="${ASIOCHAN_WINEPREFIX:?set ASIOCHAN_WINEPREFIX to a temporary folder}"
bin=""
drive_d=""
while [ $# -gt 0 ]; do
    case "$1" in
        --register-sim) bin="$2"; shift 2 ;;
        --map-d) drive_d="$2"; shift 2 ;;
        *) echo "wine-prefix.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

mkdir -p "$prefix"
. "$here/wine-env.sh"
if [ ! -f "$prefix/system.reg" ]; then
    "$(wine_for_bits 64)" wineboot --init >/dev/null 2>&1 || true
    wineserver -w
fi
if grep -q '^#arch=win32' "$prefix/system.reg" 2>/dev/null; then
    echo "wine-prefix.sh: $prefix is a 32-bit-only prefix; remove it to get a 64-bit one" >&2
    exit 1
fi

if [ -n "$drive_d" ]; then
    mkdir -p "$drive_d"
    ln -sfn "$(cd "$drive_d" && pwd)" "$prefix/dosdevices/d:"
fi

if [ -n "$bin" ]; then
    dll="$(cd "$bin" && pwd)/asiochan_sim.dll"
    [ -f "$dll" ] || { echo "wine-prefix.sh: no $dll" >&2; exit 1; }
    bits=$(pe_bits "$dll")
    wine=$(wine_for_bits "$bits")
    (cd "$(dirname "$dll")" && "$wine" regsvr32 /s asiochan_sim.dll)
    windll=$("$wine" winepath -w "$dll" 2>/dev/null)
    # The class ids and names the simulated driver's server knows
    # (tools/simdriver/com/sim_classes.cpp).
    add_driver() {  # class id, ASIO subkey, description
        "$wine" reg add "HKCR\\CLSID\\$1\\InprocServer32" /ve /d "$windll" /f /reg:"$bits" >/dev/null
        "$wine" reg add "HKCR\\CLSID\\$1\\InprocServer32" /v ThreadingModel /d Apartment /f /reg:"$bits" >/dev/null
        "$wine" reg add "HKLM\\SOFTWARE\\ASIO\\$2" /v CLSID /d "$1" /f /reg:"$bits" >/dev/null
        "$wine" reg add "HKLM\\SOFTWARE\\ASIO\\$2" /v Description /d "$3" /f /reg:"$bits" >/dev/null
    }
    add_driver "{5A1C0002-7E57-4A51-8C0D-A510C4A20002}" asiochan_sim_stepped "asiochan sim (stepped)"
    add_driver "{5A1C0003-7E57-4A51-8C0D-A510C4A20003}" asiochan_sim_refused "asiochan sim (refused)"
    add_driver "{5A1C0008-7E57-4A51-8C0D-A510C4A20008}" asiochan_sim_stepped_float "asiochan sim (stepped, float)"
    add_driver "{5A1C0006-7E57-4A51-8C0D-A510C4A20006}" asiochan_sim_resets "asiochan sim (resets)"
    add_driver "{5A1C0007-7E57-4A51-8C0D-A510C4A20007}" asiochan_sim_stalls "asiochan sim (stalls)"
    add_driver "{5A1C0009-7E57-4A51-8C0D-A510C4A20009}" asiochan_sim_skips "asiochan sim (skips)"
    add_driver "{5A1C000A-7E57-4A51-8C0D-A510C4A2000A}" asiochan_sim_fast "asiochan sim (fast)"
    add_driver "{5A1C000B-7E57-4A51-8C0D-A510C4A2000B}" asiochan_sim_dut "asiochan sim (dut)"
    add_driver "{5A1C0015-7E57-4A51-8C0D-A510C4A20015}" asiochan_sim_rate_change "asiochan sim (rate change)"
    add_driver "{5A1C0010-7E57-4A51-8C0D-A510C4A20010}" asiochan_sim_types "asiochan sim (types)"
    add_driver "{5A1C0020-7E57-4A51-8C0D-A510C4A20020}" asiochan_sim_bench "asiochan sim (bench)"
    add_driver "{5A1C0021-7E57-4A51-8C0D-A510C4A20021}" asiochan_sim_ac_coupled "asiochan sim (ac-coupled)"
    wineserver -w
fi
echo "$prefix"
