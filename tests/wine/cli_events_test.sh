#!/usr/bin/env bash
# asiochan.exe under Wine when the driver changes under a run or the run is ended
# from outside: a new sample rate in the middle of a capture and of a play, a
# logoff and a killed process in the middle of a capture.
#   cli_events_test.sh <default-prefix> <bin-folder>
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-cli-events.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/cli_helpers.sh"
cd "$work"
cli="$bin/asiochan.exe"
tests="$bin/asiochan_wine_tests.exe"
rate_driver="asiochan sim (rate change)"
# The data chunk of a RIFF file, walked chunk by chunk: "offset size" of its samples.
data_chunk() {
    python3 - "$1" <<'PY'
import struct, sys
f = open(sys.argv[1], 'rb').read()
at = 12
while at + 8 <= len(f):
    tag, size = f[at:at + 4], struct.unpack('<I', f[at + 4:at + 8])[0]
    if tag == b'data':
        print(at + 8, size)
        break
    at += 8 + size + (size & 1)
PY
}

# The rate-change driver announces a resync after 50 periods of 256 frames, new
# latencies after 75 and 44 100 Hz after 100 (102400 bytes into each input's
# pattern), and streams on. The capture ends at the change with a valid 48 kHz
# file holding none of the input after the notice.
run "$cli" capture rate.wav --channels 0,1 --seconds 3 --driver "$rate_driver"
expect "a new rate ends the capture" 1 \
    "^error: a WAV file holds one sample rate: the capture ends where the driver changed it from 48000 Hz to 44100 Hz$"
expect "a resync is a warning with its time" 1 \
    "^warning: the driver lost its timing and asked for a resync at 00:00:00\.[0-9]; the stream goes on$"
expect "new latencies are a warning with their time" 1 "^warning: the driver's latencies changed at 00:00:00\.[0-9]; the stream goes on$"
expect "the new rate is named" 1 "^warning: the driver changed its sample rate at 00:00:00\.[0-9]: 48000 Hz -> 44100 Hz; restarting$"
expect "the file is written up to the change" 1 "^wrote rate.wav \([0-9]+ bytes of samples, inputs 0, 1\), up to the driver's change of sample rate"
bytes=$(grep -oE "^wrote rate.wav \([0-9]+" <<<"$out" | grep -oE "[0-9]+$")
check "the file says 48000 Hz and holds the frames reported" \
    test "$(sox --i -r rate.wav 2>/dev/null)" = 48000 -a "$(sox --i -s rate.wav 2>/dev/null)" = "$((${bytes:-0} / 8))"
run "$tests" pattern_runs rate.wav 0,1 1024
read -r _ _ _ _ run_bytes _ _ _ _ run_offset <<<"$(grep -E "^input 0 run 1: " <<<"$out")"
end=$((${run_bytes:-0} + ${run_offset:-0}))
check "the capture is one run of the input that ends by the notice (ends at byte ${end:-?} of 102400)" \
    test "$code" = 0 -a -n "$end" -a "${end:-0}" -le 102400 -a "${end:-0}" -ge 51200

run "$cli" tone tone.wav --seconds 2
run "$cli" play tone.wav --driver "$rate_driver"
expect "play follows a new rate as a reset and plays on" 0 "^warning: the driver changed its sample rate at .*: 48000 Hz -> 44100 Hz; restarting$"
check "play ends the file" grep -q "^done$" <<<"$out"

# A logoff: WM_QUERYENDSESSION and WM_ENDSESSION to asiochan's hidden window, and
# the process ended the moment WM_ENDSESSION returns, as the session does. The
# file is complete by then: every byte the command reports, in a valid header.
background "$work/session.txt" "$cli" capture session.wav --channels 0,1
run "$tests" end_session logoff 1.5
expect "the hidden window answers the end-session messages" 0 "WM_ENDSESSION answered after [0-9]+ ms"
collect "$work/session.txt"
[ "$code" = 99 ] && code=0  # ended by the helper, or by itself a moment before
expect "the capture wrote its file before WM_ENDSESSION returned" 0 "^wrote session.wav \([0-9]+ bytes of samples, inputs 0, 1\)"
bytes=$(grep -oE "^wrote session.wav \([0-9]+" <<<"$out" | grep -oE "[0-9]+$")
read -r head said < <(data_chunk session.wav)
check "the file is valid and whole (${bytes:-no} bytes of samples)" \
    test -n "$bytes" -a "$(stat -c %s session.wav)" = "$((${head:-0} + ${bytes:-0}))" -a \
    "${said:-}" = "${bytes:-x}" -a "${bytes:-0}" -ge 384000

# Killed without a word 2.5 s in: the header is less than a second of audio
# (384000 bytes of two 32-bit inputs) behind the samples on the disk.
background "$work/killed.txt" "$cli" capture killed.wav --channels 0,1
run "$tests" end_session kill 2.5
collect "$work/killed.txt"
read -r head said < <(data_chunk killed.wav)
on_disk=$(($(stat -c %s killed.wav) - ${head:-0}))
check "a killed capture's header is less than a second behind ($said of $on_disk bytes)" \
    test "$said" -gt 0 -a $((on_disk - said)) -lt 384000 -a $((said % 8)) = 0

echo "$failures failure(s)"
[ "$failures" = 0 ]
