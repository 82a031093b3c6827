#!/usr/bin/env bash
# The long capture under Wine: asiochan.exe records the 64 inputs of the fast
# simulated driver (8 times real time) for 350 s, about 4.3 GB of samples, past
# the 4 GiB a WAV file can hold: the file must be RF64, sox must read its length,
# every byte of every input must continue the driver's pattern (capture_check), and
# the process's peak memory must stay within the buffers the command says it holds.
# Before it, Ctrl+C in the middle of a capture without --seconds must leave a valid
# file of what was recorded.
#   long_capture_test.sh <default-prefix> <bin-folder> <capture_check>
# ASIOCHAN_LONG_CAPTURE_SECONDS sets the length (a short one to try the test; it is
# then a plain WAV file), ASIOCHAN_LONG_CAPTURE_DIR the folder of the files (default
# TMPDIR or /tmp), ASIOCHAN_SIM_PACE the driver's multiple of real time.
# The peak memory is the Wine process's VmHWM (the kernel's high-water mark of its
# resident memory), read from /proc every quarter second while it runs.
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
checker="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
fixture="$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-fixture.sh"
seconds=${ASIOCHAN_LONG_CAPTURE_SECONDS:-350}
driver="asiochan sim (fast)"
inputs=$(seq -s, 0 63)
frame_bytes=256               # 64 inputs of 32-bit samples
wine_allowance_mib=64         # Wine's own mappings and the program, beyond the capture's buffers
work=$(mktemp -d "${ASIOCHAN_LONG_CAPTURE_DIR:-${TMPDIR:-/tmp}}/asiochan-long.XXXXXX")
job=""
wine_pid=""
stop_job() {  # ends the capture still running, by its ids
    [ -n "$wine_pid" ] && kill -9 "$wine_pid" 2>/dev/null
    [ -n "$job" ] && kill -9 "$job" 2>/dev/null
    job=""
    wine_pid=""
}
trap 'stop_job; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
cd "$work"

fail() {
    echo "FAIL: $*"
    if [ -f out.txt ]; then  # what the capture said, and its last progress line
        tr '\r' '\n' <out.txt | grep -v '^ *[0-9:.]* / \|^ *$' | tail -15 | sed 's/^/    | /'
        tr '\r' '\n' <out.txt | grep '^ *[0-9:.]* / ' | tail -1 | sed 's/^/    | /'
    fi
    exit 1
}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# The space first: the file needs frames x 256 bytes and its header.
need=$((seconds * 48000 * frame_bytes + 64 * 1024 * 1024))
free=$(df -PB1 "$work" | awk 'NR == 2 { print $4 }')
[ "$free" -ge "$need" ] ||
    fail "the long capture needs $need bytes free in $work, and only $free are (set ASIOCHAN_LONG_CAPTURE_DIR)"
command -v sox >/dev/null || fail "sox is not installed (scripts/bootstrap.sh --tests installs it)"
[ -x "$checker" ] || fail "no checker at $checker"

# The Windows program's process: the child of the fixture's run (wine-run.sh).
find_wine_pid() {
    local stat line rest ppid
    for stat in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$stat" || continue
        rest=${line##*) }
        read -r _ ppid _ <<<"$rest"
        if [ "$ppid" = "$job" ]; then
            wine_pid=${stat#/proc/}
            wine_pid=${wine_pid%/stat}
            return
        fi
    done
}
peak_kib=0
# Samples the process's memory until it ends or `limit` seconds have passed, or
# (with a size) until `file` holds that many bytes; false at the limit.
follow() {  # limit [file bytes]
    local deadline=$((SECONDS + $1)) hwm
    while kill -0 "$job" 2>/dev/null; do
        [ -z "$wine_pid" ] && find_wine_pid
        if [ -n "$wine_pid" ]; then
            hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$wine_pid/status" 2>/dev/null)
            [ -n "$hwm" ] && [ "$hwm" -gt "$peak_kib" ] && peak_kib=$hwm
        fi
        if [ $# -gt 1 ] && [ "$(stat -c %s "$2" 2>/dev/null || echo 0)" -ge "$3" ]; then return 0; fi
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.25
    done
    [ $# -eq 1 ]
}
# At 8 times real time the command's buffers give it an eighth of the slack they give
# it at real time: other work on the machine (parallel builds) would make it drop
# periods. It runs at a raised priority where that is allowed (as root).
start_capture() {  # OUT.wav [more arguments]
    peak_kib=0
    wine_pid=""
    nice -n -10 "$fixture" run "$prefix" "$bin/asiochan.exe" capture "$@" --driver "$driver" --channels "$inputs" >out.txt 2>&1 &
    job=$!
}
finish_capture() {  # waits for the capture's exit code (in $code), bounded by follow's limit
    wait "$job"
    code=$?
    job=""
    wine_pid=""
}
check_file() {  # file, what it is: the checker confirms every byte, sox reads its length
    local said
    said=$(timeout 60 "$checker" "$1" 0-63) ||
        { echo "$said" | sed 's/^/    | /'; fail "$2: capture_check finds the file wrong (or took over 60 s)"; }
    echo "$said" | sed 's/^/    | /'
    duration=$(timeout 30 sox --i -D "$1" 2>&1) || fail "$2: sox cannot read it ($duration)"
}

# --- Ctrl+C in the middle of a capture without --seconds -------------------------
started=$(now)
start_capture part.wav
follow 30 part.wav $((64 * 1024 * 1024)) || fail "Ctrl+C case: the capture wrote no 64 MiB within 30 s"
kill -INT "$wine_pid" || fail "Ctrl+C case: no Wine process to interrupt"
follow 30 || fail "Ctrl+C case: the capture did not end within 30 s of Ctrl+C"
finish_capture
[ "$code" = 0 ] || fail "Ctrl+C case: the capture exited with $code"
grep -q "^wrote part.wav" out.txt || fail "Ctrl+C case: the capture did not say it wrote the file"
check_file part.wav "Ctrl+C case"
echo "ok:   Ctrl+C leaves a valid file of what was recorded ($(stat -c %s part.wav) bytes, $duration s; $(since "$started") s)"
rm -f part.wav

# --- The long capture, past 4 GiB ----------------------------------------------
started=$(now)
start_capture big.wav --seconds "$seconds"
limit=$((60 + seconds / 4))  # it takes an eighth of its length at the driver's pace
follow "$limit" || fail "the $seconds s capture was still running after $limit s"
finish_capture
took=$(since "$started")
[ "$code" = 0 ] || fail "the $seconds s capture exited with $code"
bytes=$((seconds * 48000 * frame_bytes))
grep -q "^wrote big.wav ($bytes bytes of samples" out.txt || fail "the capture did not write $bytes bytes of samples"
magic=$(head -c 4 big.wav)
if [ "$bytes" -gt 4294967000 ]; then want=RF64; else want=RIFF; fi
[ "$magic" = "$want" ] || fail "big.wav is $magic, not $want"
echo "ok:   $seconds s of 64 inputs ($bytes bytes) captured in $took s, written as $magic"
started=$(now)
check_file big.wav "the long capture"
awk -v d="$duration" -v s="$seconds" 'BEGIN { exit !(d > s - 0.01 && d < s + 0.01) }' ||
    fail "sox reads $duration s from big.wav, not $seconds"
echo "ok:   every byte of every input continues the pattern, sox reads $duration s ($(since "$started") s)"
stated=$(grep -oE '[0-9.]+ MiB of buffers' out.txt | head -1 | cut -d' ' -f1)
[ -n "$stated" ] || fail "the capture did not say how much memory its buffers take"
bound_kib=$(awk -v m="$stated" -v w="$wine_allowance_mib" 'BEGIN { printf "%d", (m + w) * 1024 }')
[ "$peak_kib" -gt 0 ] || fail "no memory reading of the capture's process"
[ "$peak_kib" -le "$bound_kib" ] ||
    fail "the capture's process peaked at $((peak_kib / 1024)) MiB, beyond its $stated MiB of buffers and $wine_allowance_mib MiB for Wine"
echo "ok:   peak memory $((peak_kib / 1024)) MiB (VmHWM): $stated MiB of buffers stated, bound $((bound_kib / 1024)) MiB"
echo "0 failure(s)"
