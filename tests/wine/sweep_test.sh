#!/usr/bin/env bash
# asiochan sweep under Wine: a flat line through the default simulated driver's
# loopback, the analytic corner and distortion of the simulated device under test,
# the SVG drawn by a real renderer, the CSV read back, and no signal.
#   sweep_test.sh <default-prefix> <bin-folder>
# The "asiochan sim (dut)" class: a 2 kHz bilinear low-pass, then y = u + 0.6536 u^3.
# At -12 dBFS (a = 0.2512) and low-pass gain g the fundamental is a g (1 + 0.75 x
# 0.6536 a^2 g^2) and the third harmonic 0.6536 a^3 g^3 / 4, so: THD 0.998 % at 100 Hz,
# 0.806 % at 1 kHz, and the response 3 dB below its 20 Hz level at 1937.6 Hz.
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
fixture="$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-fixture.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-sweep.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # description, command...: a check that passes when the command does
    local what="$1"
    shift
    if "$@"; then echo "ok:   $what"; else
        echo "FAIL: $what"
        sed 's/^/    | /' output.txt
        failures=$((failures + 1))
    fi
}
sweep() {  # exit code wanted, args...: runs asiochan sweep, output in output.txt
    local want="$1"
    shift
    timeout --kill-after=5 60 "$fixture" run "$prefix" "$bin/asiochan.exe" sweep "$@" 2>&1 | tr -d '\r' >output.txt
    [ "${PIPESTATUS[0]}" = "$want" ]
}
# figure PATTERN: the number after PATTERN in the output
figure() { sed -nE "s/^$1 ?(-?[0-9.]+).*/\1/p" output.txt | head -1; }
within() { python3 -c "import sys; v, lo, hi = map(float, sys.argv[1:]); sys.exit(0 if lo <= v <= hi else 1)" "$@"; }

# The default driver's loopback: flat, and distortion below 0.01 % (-80 dB): bit-exact,
# the loop measures at worst 0.0014 % (-97 dB, the 2nd harmonic near the band's top).
check "sweep through the loopback" sweep 0 --seconds 2
check "a flat response (within 0.1 dB)" within "$(sed -nE 's/^response: (-?[0-9.]+) to .*/\1/p' output.txt)" -0.1 0.1
check "  at both ends" within "$(sed -nE 's/^response: -?[0-9.]+ to (-?[0-9.]+) dB.*/\1/p' output.txt)" -0.1 0.1
check "distortion floor below 0.01 % (-80 dB)" within "$(figure 'THD \(2nd to 5th\), highest:')" 0 0.01

check "sweep through the simulated device under test" sweep 0 --driver "asiochan sim (dut)" --csv fr.csv --plot fr.svg
check "the corner within 2 % of 1937.6 Hz" within "$(figure 'corner:')" 1898.8 1976.4
check "THD at 100 Hz within 10 % of 0.998 %" within "$(figure 'THD \(2nd to 5th\) at 100 Hz:')" 0.898 1.098
check "THD at 1 kHz within 10 % of 0.806 %" within "$(figure 'THD \(2nd to 5th\) at 1000 Hz:')" 0.725 0.887
check "distortion said to be measured up to 4000 Hz, a fifth of the band's top" grep -q "^distortion measured up to 4000 Hz" output.txt
check "the plot is well-formed XML" xmllint --noout fr.svg
check "the plot renders to a PNG" bash -c 'rsvg-convert -o fr.png fr.svg && [ "$(stat -c %s fr.png)" -gt 5000 ]'
check "the table reads back: its header, 1/12-octave rows, the 3rd harmonic near -40 dB, blanks where not measured" python3 - <<'PY'
import csv, math
rows = list(csv.reader(open("fr.csv", newline="")))
assert rows[0] == ["frequency_hz", "response_db", "h2_db", "h3_db", "thd_2_5_percent"], rows[0]
hz = [float(r[0]) for r in rows[1:]]
assert len(hz) == 119 and abs(hz[0] - 1000 * 2 ** (-67 / 12)) < 0.01 and abs(hz[-1] - 1000 * 2 ** (51 / 12)) < 0.01, hz
assert all(abs(b / a - 2 ** (1 / 12)) < 1e-4 for a, b in zip(hz, hz[1:]))
at = {round(float(r[0])): r for r in rows[1:]}
assert abs(float(at[1000][3]) + 41.9) < 1, at[1000]
assert at[10079][2:] == ["", "", ""], at[10079]  # its 2nd and 3rd harmonics lie above the band
# Above a tenth of the rate (4800 Hz) nothing is read as a harmonic; the THD ends at
# a fifth of the band's top (4000 Hz), where the 5th leaves it.
assert all(r[2:] == ["", "", ""] for r in rows[1:] if float(r[0]) > 4800), [r for r in rows if float(r[0]) > 4800][:2]
assert all(r[4] == "" for r in rows[1:] if float(r[0]) > 4000)
assert all(r[2] != "" and r[3] != "" and r[4] != "" for r in rows[1:] if float(r[0]) <= 4000)
PY

check "no signal on an input nothing plays into" sweep 1 --in 1 --seconds 1
check "  says so" grep -q "error: no signal came back on input 1" output.txt
exit $((failures != 0))
