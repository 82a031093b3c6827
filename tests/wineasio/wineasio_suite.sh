#!/usr/bin/env bash
# The product against WineASIO, a real ASIO driver written elsewhere, passing
# audio to a JACK server with its dummy backend (no sound hardware needed).
#
#   wineasio_suite.sh <bits> <bin-folder> <driver-build-folder>
#
# <bits> is 32 or 64 (the build's); <bin-folder> holds asiochan.dll, asiochan.exe
# and wineasio_host.exe. The suite builds WineASIO from its source tarball in
# $ASIOCHAN_THIRD_PARTY (default: ../shared/third_party beside the repository)
# into <driver-build-folder>, installs it into the system's Wine folders (needs
# root), registers it in a Wine prefix of its own and starts a JACK server of its
# own, which it stops by its PID on every way out. Without the tarball it skips
# (exit 77). The driver faults at process exit and Wine then reports 0, so every
# case is judged by the lines it prints, never by an exit code.
set -u
started=$SECONDS
bits="$1"
bin="$(cd "$2" && pwd)"
build="$3"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
third_party="${ASIOCHAN_THIRD_PARTY:-$repo/../shared/third_party}"
driver="WineASIO Driver"
host_client=wineasio_host  # JACK names a client after its executable
periods=(128 256 1024)

tarball=$(ls "$third_party"/wineasio-*.tar.gz 2>/dev/null | sort | tail -1)
if [ -z "$tarball" ]; then
    echo "SKIP: no WineASIO source (wineasio-*.tar.gz) in $third_party; set ASIOCHAN_THIRD_PARTY to run this suite"
    exit 77
fi

case "$bits" in
    32) arch=i386 winearch=win32 libdir=/usr/lib/i386-linux-gnu/wine ;;
    64) arch=x86_64 winearch=win64 libdir=/usr/lib/x86_64-linux-gnu/wine ;;
    *) echo "wineasio_suite.sh: bits must be 32 or 64, not $bits"; exit 2 ;;
esac
for tool in wine wineserver jackd jack_wait jack_connect jack_bufsize make gcc; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/bootstrap.sh installs it)"; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-wineasio.XXXXXX")
export WINEPREFIX="$tmp/prefix" WINEARCH="$winearch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export JACK_DEFAULT_SERVER="asiochan-wineasio-$$" JACK_NO_START_SERVER=1 WINEASIO_CONNECT_TO_HARDWARE=off
jackd_pid=""
stop_jackd() {
    [ -n "$jackd_pid" ] || return 0
    kill "$jackd_pid" 2>/dev/null
    for _ in $(seq 30); do kill -0 "$jackd_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$jackd_pid" 2>/dev/null
    wait "$jackd_pid" 2>/dev/null
    jackd_pid=""
}
cleanup() {
    stop_jackd
    wineserver -k >/dev/null 2>&1
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

passed=0 failed=0 skipped=0
verdict() {  # case, PASS|FAIL|SKIP, detail
    echo "case $1: $2${3:+ - $3}"
    case "$2" in PASS) passed=$((passed + 1)) ;; FAIL) failed=$((failed + 1)) ;; *) skipped=$((skipped + 1)) ;; esac
}
abort() {  # a setup step failed: no case can run
    echo "FAIL: $1"
    [ -n "${2:-}" ] && [ -f "$2" ] && tail -20 "$2" | sed 's/^/    | /'
    exit 1
}
wine_run() {  # output-file, program, args...: a Windows program, bounded in time
    local out="$1"
    shift
    timeout 60 wine "$@" 2>&1 | tr -d '\r' >"$out"
}
set_period() {  # frames: asks the server for a new period and waits until it reports it
    jack_bufsize "$1" >/dev/null 2>&1
    for _ in $(seq 100); do [ "$(jack_bufsize 2>/dev/null)" = "$1" ] && return 0; sleep 0.05; done
    echo "    | the JACK server still reports $(jack_bufsize 2>/dev/null) frames, not $1"
    return 1
}
result_of() {  # output-file: the host's closing line, without its "RESULT: "
    sed -n 's/^RESULT: //p' "$1" | tail -1
}
judge() {  # case, output-file: the case's verdict from the host's closing line
    local result
    result=$(result_of "$2")
    case "$result" in
        PASS*) verdict "$1" PASS "${result#PASS }" ;;
        FAIL*) verdict "$1" FAIL "${result#FAIL }" ;;
        *) verdict "$1" FAIL "no result line" ;;
    esac
    [ "${result%% *}" = PASS ] || tail -8 "$2" | sed 's/^/    | /'
}

# Wine's first start takes the longest; it runs while the driver builds.
mkdir -p "$WINEPREFIX"
(wineboot --init && wineserver -w) >"$tmp/wineboot.log" 2>&1 &
boot_job=$!

# --- the driver: build, install, register ------------------------------------
stamp="$(basename "$tarball") $(stat -c %Y "$tarball") $bits"
out="$build/build$bits"
if [ "$(cat "$build/stamp$bits" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$build/src$bits" "$build/stamp$bits"
    mkdir -p "$build/src$bits"
    tar -xzf "$tarball" -C "$build/src$bits" --strip-components=1 || abort "cannot unpack $tarball"
    make -C "$build/src$bits" "$bits" CFLAGS=-I/usr/include/wine/wine/windows >"$build/make$bits.log" 2>&1 ||
        abort "building WineASIO failed" "$build/make$bits.log"
    rm -rf "$out" && cp -r "$build/src$bits/build$bits" "$out" && echo "$stamp" >"$build/stamp$bits"
fi
install_file() {  # file, folder: replaced by a rename, so a running Wine never sees half a file
    cmp -s "$1" "$2/$(basename "$1")" && return 0
    local sudo=""
    [ -w "$2" ] || sudo="sudo -n"
    $sudo install -m 644 "$1" "$2/.$(basename "$1").new" && $sudo mv -f "$2/.$(basename "$1").new" "$2/$(basename "$1")"
}
install_file "$out/wineasio$bits.dll" "$libdir/$arch-windows" && install_file "$out/wineasio$bits.dll.so" "$libdir/$arch-unix" ||
    abort "cannot install WineASIO into $libdir (run as root)"

wait "$boot_job" || abort "wineboot failed" "$tmp/wineboot.log"
(cd "$build/src$bits" && bash ./wineasio-register && wineserver -w) >"$tmp/register.log" 2>&1
wine reg query 'HKLM\SOFTWARE\ASIO\WineASIO' 2>/dev/null | grep -q "$driver" ||
    abort "WineASIO is not registered in the prefix" "$tmp/register.log"

# --- the JACK server -----------------------------------------------------------
setsid jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy -r 48000 -p "${periods[0]}" >"$tmp/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait -w -t 10 >/dev/null 2>&1 || abort "the JACK server did not start" "$tmp/jackd.log"
echo "setup: WineASIO $bits-bit built, installed and registered; jackd (PID $jackd_pid) up in $((SECONDS - started)) s"

# --- case 1: the driver is listed and info shows what it reports -------------
wine_run "$tmp/drivers.txt" "$bin/asiochan.exe" drivers
wine_run "$tmp/info.txt" "$bin/asiochan.exe" info "$driver"
sed -n '/^driver:/,$p' "$tmp/info.txt" | sed 's/^/    | /'
if ! grep -qE "^[0-9]+: $driver\$" "$tmp/drivers.txt"; then
    verdict 1 FAIL "\"$driver\" is not listed"
elif ! grep -qE "^inputs: +16 \(Float32LSB\)" "$tmp/info.txt" || ! grep -qE "^outputs: +16 \(Float32LSB\)" "$tmp/info.txt" ||
    ! grep -qE "^sample rate: +48000 Hz" "$tmp/info.txt" || ! grep -qE "preferred ${periods[0]} frames" "$tmp/info.txt" ||
    ! grep -qE "^latencies:" "$tmp/info.txt"; then
    verdict 1 FAIL "info does not show 16 Float32LSB channels each way, 48000 Hz, period ${periods[0]} and latencies"
else
    verdict 1 PASS "listed; info shows its channels, rate, period and latencies"
fi

# --- case 2: raw Float32 round trip through a JACK loopback ----------------------
for period in "${periods[@]}"; do
    set_period "$period"
    dir="$tmp/roundtrip$period"
    mkdir -p "$dir"
    (cd "$dir" && wine_run "$dir/output.txt" "$bin/wineasio_host.exe" roundtrip "$driver" "$period") &
    host_job=$!
    for _ in $(seq 200); do [ -f "$dir/ready" ] || ! kill -0 "$host_job" 2>/dev/null && break; sleep 0.1; done
    if [ -f "$dir/ready" ] && jack_connect "$host_client:out_1" "$host_client:in_1" >"$dir/connect.txt" 2>&1; then
        touch "$dir/connected"
    else
        echo "    | jack_connect $host_client:out_1 $host_client:in_1 failed:"
        head -3 "$dir/connect.txt" 2>/dev/null | sed 's/^/    | /'
    fi
    wait "$host_job"
    judge "2 (period $period)" "$dir/output.txt"
done
set_period "${periods[0]}"

# --- case 3: play, and capture --play through a JACK loopback, exact floats ------
dir="$tmp/play"
mkdir -p "$dir"
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
# A 48000 Hz 16-bit tone after 1.5 s of silence: time to connect the loopback.
(cd "$dir" && wine_run "$dir/tone.txt" "$bin/asiochan.exe" tone tone.wav --seconds 1)
if [ -s "$dir/tone.wav" ]; then
    length=$((72000 * 2 + $(stat -c %s "$dir/tone.wav") - 44))
    {
        printf 'RIFF'; printf "$(le32 $((36 + length)))"; printf 'WAVEfmt '; printf "$(le32 16)"
        printf '\x01\x00\x01\x00'; printf "$(le32 48000)"; printf "$(le32 96000)"; printf '\x02\x00\x10\x00'
        printf 'data'; printf "$(le32 "$length")"
        head -c 144000 /dev/zero
        tail -c +45 "$dir/tone.wav"
    } >"$dir/lead.wav"
fi
(cd "$dir" && wine_run "$dir/play.txt" "$bin/asiochan.exe" play tone.wav --driver "$driver" --channel 0)
(cd "$dir" && wine_run "$dir/capture.txt" "$bin/asiochan.exe" capture take.wav --driver "$driver" --channel 0 \
    --seconds 4 --play lead.wav --play-channels 0) &
capture_job=$!
connected=""
for _ in $(seq 100); do
    if jack_connect asiochan:out_1 asiochan:in_1 >/dev/null 2>&1; then connected=yes && break; fi
    kill -0 "$capture_job" 2>/dev/null || break
    sleep 0.1
done
wait "$capture_job"
if ! grep -q "^done" "$dir/play.txt"; then
    verdict 3 FAIL "play did not finish"
    tail -5 "$dir/play.txt" | sed 's/^/    | /'
elif [ -z "$connected" ]; then
    verdict 3 FAIL "the loopback asiochan:out_1 -> asiochan:in_1 could not be connected"
elif ! grep -q "loopback check: the capture matches" "$dir/capture.txt"; then
    verdict 3 FAIL "capture --play does not hold the played floats"
    tail -5 "$dir/capture.txt" | sed 's/^/    | /'
else
    verdict 3 PASS "play finishes; capture --play holds exactly the floats played ($(grep -o '[0-9]* samples compared' "$dir/capture.txt"))"
fi


# --- case 4: the period changes mid-capture: the driver asks for a reset ----------
# The change is made once the capture writes samples to its file, and the server
# must report it before the capture is waited for: no step waits for a time.
dir="$tmp/reset"
rm -rf "$dir" && mkdir -p "$dir"
(cd "$dir" && wine_run "$dir/output.txt" "$bin/asiochan.exe" capture take.wav --driver "$driver" --channel 0 --seconds 3) &
host_job=$!
capturing=""
for _ in $(seq 600); do
    if [ "$(stat -c %s "$dir/take.wav" 2>/dev/null || echo 0)" -gt 4096 ]; then capturing=yes && break; fi
    kill -0 "$host_job" 2>/dev/null || break
    sleep 0.05
done
changed=""
[ -n "$capturing" ] && set_period 512 && changed=yes
wait "$host_job"
reset_line="driver asked for a reset (buffer ${periods[0]} -> 512 frames); restarting"
if [ -z "$capturing" ]; then
    verdict 4 FAIL "the capture wrote no samples to its file"
    tail -5 "$dir/output.txt" | sed 's/^/    | /'
elif [ -z "$changed" ]; then
    verdict 4 FAIL "the JACK server did not take the new period"
elif ! grep -qF "$reset_line" "$dir/output.txt"; then
    verdict 4 FAIL "no \"$reset_line\""
    tail -5 "$dir/output.txt" | sed 's/^/    | /'
elif grep -q "^error:" "$dir/output.txt" || ! grep -qF "wrote take.wav (576000 bytes of samples), with the gap of the driver's reset" "$dir/output.txt"; then
    verdict 4 FAIL "the capture did not carry on into its file after the restart"
    tail -5 "$dir/output.txt" | sed 's/^/    | /'
else
    verdict 4 PASS "restarted at 512 frames and captured on into the same file"
fi
set_period "${periods[0]}"

# --- case 6: load, Initialize, Prepare, Finish, release three times ---------------
wine_run "$tmp/cycles.txt" "$bin/wineasio_host.exe" cycles "$driver" 3
judge 6 "$tmp/cycles.txt"

# --- case 7: asiochan latency through a JACK loopback: one period ----------------
# The command lets the stream settle for a second before it plays; the loopback is
# connected meanwhile, as soon as its ports exist.
dir="$tmp/latency"
mkdir -p "$dir"
(cd "$dir" && wine_run "$dir/output.txt" "$bin/asiochan.exe" latency --driver "$driver" --repeat 3) &
latency_job=$!
connected=""
for _ in $(seq 200); do
    if jack_connect asiochan:out_1 asiochan:in_1 >/dev/null 2>&1; then connected=yes && break; fi
    kill -0 "$latency_job" 2>/dev/null || break
    sleep 0.05
done
wait "$latency_job"
period=${periods[0]}
if [ -z "$connected" ]; then
    verdict 7 FAIL "the loopback asiochan:out_1 -> asiochan:in_1 could not be connected"
elif ! grep -q "min $period, median $period, max $period frames" "$dir/output.txt"; then
    verdict 7 FAIL "latency does not report one period ($period frames) each time"
    tail -6 "$dir/output.txt" | sed 's/^/    | /'
else
    verdict 7 PASS "latency reports one period ($period frames) three times: $(grep -o 'measured - reported = .*' "$dir/output.txt")"
fi

# --- case 8: asiochan sweep through a JACK loopback: a flat line -----------------
dir="$tmp/sweep"
mkdir -p "$dir"
(cd "$dir" && wine_run "$dir/output.txt" "$bin/asiochan.exe" sweep --driver "$driver" --seconds 2) &
sweep_job=$!
connected=""
for _ in $(seq 200); do
    if jack_connect asiochan:out_1 asiochan:in_1 >/dev/null 2>&1; then connected=yes && break; fi
    kill -0 "$sweep_job" 2>/dev/null || break
    sleep 0.05
done
wait "$sweep_job"
range=$(tr -d '\r' <"$dir/output.txt" | sed -nE 's/^response: (-?[0-9.]+) to (-?[0-9.]+) dB.*/\1 \2/p')
if [ -z "$connected" ]; then
    verdict 8 FAIL "the loopback asiochan:out_1 -> asiochan:in_1 could not be connected"
elif [ -z "$range" ] || ! python3 -c "import sys; lo, hi = map(float, sys.argv[1:]); sys.exit(0 if -0.1 <= lo and hi <= 0.1 else 1)" $range; then
    verdict 8 FAIL "sweep is not flat within 0.1 dB (${range:-no response line})"
    tail -10 "$dir/output.txt" | sed 's/^/    | /'
else
    verdict 8 PASS "sweep is flat: response $range dB, $(tr -d '\r' <"$dir/output.txt" | grep -o 'THD (2nd to 5th), highest.*')"
fi

# --- case 9: asiochan analyze through a JACK loopback: a clean wire -------------
# Float32 samples moved bit for bit: unity gain, a flat response, and THD+N, noise and
# dynamic range beyond what a converter would reach.
dir="$tmp/analyze"
mkdir -p "$dir"
cat >"$dir/wire.json" <<'JSON'
{
  "gain_db": {"min": -0.01, "max": 0.01},
  "polarity": {"min": 1, "max": 1},
  "response_deviation_db": {"max": 0.05},
  "thdn_percent": {"max": 0.001},
  "noise_dbfs": {"max": -130},
  "noise_a_dbfs": {"max": -130},
  "dynamic_range_db": {"min": 130}
}
JSON
(cd "$dir" && wine_run "$dir/output.txt" "$bin/asiochan.exe" analyze --driver "$driver" --pairs 0:0 \
    --limits wire.json --json wire_results.json) &
analyze_job=$!
connected=""
for _ in $(seq 200); do
    if jack_connect asiochan:out_1 asiochan:in_1 >/dev/null 2>&1; then connected=yes && break; fi
    kill -0 "$analyze_job" 2>/dev/null || break
    sleep 0.05
done
wait "$analyze_job"
if [ -z "$connected" ]; then
    verdict 9 FAIL "the loopback asiochan:out_1 -> asiochan:in_1 could not be connected"
elif ! grep -q "; PASSED$" "$dir/output.txt" ||
    ! python3 -c "import json, sys; sys.exit(0 if json.load(open(sys.argv[1]))['passed'] is True else 1)" \
        "$dir/wire_results.json"; then
    verdict 9 FAIL "analyze does not pass a clean wire's limits"
    tail -8 "$dir/output.txt" | sed 's/^/    | /'
else
    verdict 9 PASS "analyze passes a clean wire's limits: $(grep -E '^ *0:0 ' "$dir/output.txt" | tr -s ' ')"
fi

# --- case 5 (last: it ends the server): the server is killed mid-play ------------
dir="$tmp/stall"
mkdir -p "$dir"
(cd "$dir" && wine_run "$dir/tone.txt" "$bin/asiochan.exe" tone long.wav --seconds 20 &&
    wine_run "$dir/output.txt" "$bin/asiochan.exe" play long.wav --driver "$driver") &
host_job=$!
for _ in $(seq 100); do grep -q "^playing" "$dir/output.txt" 2>/dev/null && break; sleep 0.1; done
sleep 1
stop_jackd
killed=$SECONDS
wait "$host_job"
took=$((SECONDS - killed))
if ! grep -q "^error: the driver stopped delivering periods" "$dir/output.txt"; then
    verdict 5 FAIL "no \"error: the driver stopped delivering periods\""
    tr "\r" "\n" <"$dir/output.txt" | grep -v "^  *00:\|Server is not running" | tail -25 | sed "s/^/    | /"
elif [ "$took" -gt 4 ]; then
    verdict 5 FAIL "the command ended $took s after the server"
else
    verdict 5 PASS "the command ended with the error within $took s of the server"
fi

echo "took $((SECONDS - started)) s"
echo "wineasio: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
