#!/usr/bin/env bash
# asiochan.exe and the C example under Wine against the simulated driver: every
# command's happy path and its error paths (exit codes and messages).
#   cli_test.sh <default-prefix> <bin-folder>
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
fixture="$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-fixture.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

. "$(dirname "$0")/cli_helpers.sh"
cli="$bin/asiochan.exe"

run "$cli" --help;                 expect "overview with --help" 0 "usage: asiochan <command>"
run "$cli";                        expect "no command is a usage error" 2 "usage: asiochan"
run "$cli" bogus;                  expect "unknown command" 2 'unknown command "bogus"'
run "$cli" play --help;            expect "play --help" 0 "usage: asiochan play FILE.wav"
run "$cli" capture --driver;       expect "option without its value" 2 "option --driver needs a value"
run "$cli" help capture;           expect "help COMMAND" 0 "usage: asiochan capture OUT.wav"
grep -qE "^  --play-map F:O,\.\.\. +file channel F on output O" <<<"$out" ||
    { echo "FAIL: help lists each option with its help"; failures=$((failures + 1)); }
run "$cli" capture typo.wav --channels 0 --seconds 1 --bogus
expect "an option capture does not take" 2 "^error: unknown option --bogus for capture$"
grep -q "usage: asiochan capture" <<<"$out" && [ ! -e typo.wav ] ||
    { echo "FAIL: an unknown option prints the usage and records nothing"; failures=$((failures + 1)); }
run "$cli" drivers --loop;         expect "another command's option" 2 "unknown option --loop for drivers"

run "$cli" drivers;                expect "drivers lists the simulated driver first" 0 "^0: asiochan simulated driver"
run "$cli" info;                   expect "info of the first driver" 0 "inputs: +8 \(Int32LSB\)"
grep -qE "sample rate: +48000 Hz" <<<"$out" && grep -qE "latencies: +input" <<<"$out" ||
    { echo "FAIL: info shows rate and latencies"; failures=$((failures + 1)); }
run "$cli" info "asiochan sim (refused)"; expect "a driver that cannot be created" 2 'cannot load the driver "asiochan sim \(refused\)"'
run "$cli" info "No Such Driver";  expect "a driver that is not installed" 2 "installed drivers:"

run "$cli" tone tone.wav --seconds 1; expect "tone writes a WAV file" 0 "wrote tone.wav"
run "$cli" tone bad.wav --hz -3;   expect "tone with a bad frequency" 2 "bad --seconds"
run "$cli" play tone.wav --channels 0,1; expect "play on two channels" 0 "^done$"
grep -qE "01\.0 / 00:01\.0|00:01\.0 / 00:01\.0" <<<"$out" || { echo "FAIL: play shows progress"; failures=$((failures + 1)); }
run "$cli" play tone.wav --channel 3 --volume 0.5; expect "play on one channel at a volume" 0 "on asiochan simulated driver channel\(s\) 3"
run "$cli" tone slow.wav --seconds 1 --rate 22050 >/dev/null
run "$cli" play slow.wav --channel 1; expect "play says the rates differ and plays anyway" 0 "22050 Hz but the driver runs at 48000 Hz"
run "$cli" play missing.wav;       expect "a file that does not exist" 2 "cannot open missing.wav"
printf 'not a wav file at all' >junk.wav
run "$cli" play junk.wav;          expect "a file that is not WAV" 2 "not a RIFF/WAVE file"
run "$cli" play tone.wav --channel 8; expect "an output channel the driver lacks" 2 "output channel 8 does not exist"
run "$cli" play tone.wav --channels 0,x; expect "a bad channel list" 2 "bad channel list"
run "$cli" play tone.wav --volume -1; expect "a negative volume" 2 "bad volume"

run "$cli" capture take.wav --channel 0 --seconds 2 --play tone.wav --play-channels 0,1
expect "capture of the loopback matches what was played" 0 "loopback check: the capture matches"
[ -s take.wav ] || { echo "FAIL: capture wrote take.wav"; failures=$((failures + 1)); }
run "$cli" capture take.wav --seconds 1; expect "capture without --channel" 2 "needs --channel"
run "$cli" capture take.wav --channel 9 --seconds 1; expect "an input channel the driver lacks" 2 "input channel 9 does not exist"
run "$cli" capture take.wav --channel 0 --seconds 0; expect "capture of no time" 2 'bad --seconds "0"'

# Multichannel: a stereo tone whose right channel is at twice the left's
# frequency. The simulated driver loops output i back to input i, so capture
# --play tells which file channel reached which output; the "resets" class fills
# its inputs with a pattern of the byte offset since its start, so aligned inputs
# hold the same runs of it.
run "$cli" tone stereo.wav --seconds 1 --channels 2 >/dev/null
run "$cli" tone stereo3.wav --seconds 3 --channels 2 >/dev/null
case_() {  # description, expected exit code, pattern, asiochan arguments...
    local what="$1" want="$2" pattern="$3"
    shift 3
    run "$cli" "$@"
    expect "$what" "$want" "$pattern"
}
case_ "stereo file on 0,2" 0 "^done$" play stereo.wav --channels 0,2
case_ "stereo file on 2,0, in the order listed" 0 "file channel 0 -> output 2" play stereo.wav --channels 2,0
case_ "stereo file on three outputs is refused" 2 "stereo.wav has 2 channels but --channels lists 3 outputs" \
    play stereo.wav --channels 0,1,2
case_ "--map plays any layout" 0 "^done$" play stereo.wav --map 1:5,0:4
case_ "--map of a channel the file lacks" 2 "file channel 2, but stereo.wav has 2 channels" play stereo.wav --map 2:0
case_ "--map naming an output twice" 2 "output channel 1 is named twice" play stereo.wav --map 0:1,1:1
case_ "capture --play on two channels: each input holds its file channel" 0 "matches the played file on 2 inputs" \
    capture lr.wav --channels 0,2 --seconds 2 --play stereo.wav --play-channels 0,2
case_ "the other order, queued by the host over two blocks without a gap" 0 \
    "matches the played file on 2 inputs \(288000 samples compared, delay [0-9]+ frames on each" \
    capture rl.wav --channels 2,0 --seconds 4 --play stereo3.wav --play-channels 2,0
case_ "a file channel on the wrong output is caught when the loopback is checked" 1 \
    "input 0 does NOT match file channel 0 played on output 2" \
    capture x.wav --channels 0,2 --seconds 2 --play stereo.wav --play-channels 2,0 --check-loopback
case_ "without --check-loopback a mismatch is reported, and the capture is what the exit code speaks of" 0 \
    "input 0 does NOT match file channel 0 played on output 2" \
    capture x.wav --channels 0,2 --seconds 2 --play stereo.wav --play-channels 2,0
case_ "--check-loopback needs --play" 2 "check-loopback needs --play" capture x.wav --channel 0 --check-loopback
case_ "an input of another width than the driver's last is refused, not waited for" 1 \
    "input 0 is Int16MSB, 2 bytes a sample, but the driver's inputs move at 4 bytes" \
    capture x.wav --channel 0 --seconds 1 --driver "asiochan sim (types)"
case_ "capture --play-map" 0 "the capture matches the played file" \
    capture r.wav --channel 0 --seconds 2 --play stereo.wav --play-map 1:0
case_ "capture --play follows play's rules" 2 "has 2 channels but --play-channels lists 1 output" \
    capture x.wav --channel 0 --seconds 1 --play stereo.wav --play-channels 0
case_ "four inputs aligned through a reset" 0 "inputs 0, 1, 2, 3\), with the gap of the driver's reset" \
    capture four.wav --channels 0,1,2,3 --seconds 2 --driver "asiochan sim (resets)"
run "$bin/asiochan_wine_tests.exe" pattern_runs four.wav 0,1,2,3 1024
expect "every input holds the same runs of its pattern: sample k is one instant" 0 "^2 run\(s\), the same on 4 input"
# Not on a console: at most one progress line a second (2 s: 0, 1, 2 and the end).
run "$cli" capture lr.wav --channels 0,1 --seconds 2
progress=$(grep -cE "^ +[0-9]{2}:[0-9]{2}\.[0-9] / " <<<"$out")
if [ "$progress" -ge 2 ] && [ "$progress" -le 4 ]; then echo "ok:   a log gets one progress line a second"; else
    echo "FAIL: a log gets one progress line a second ($progress lines)"; failures=$((failures + 1)); fi

# Drivers that ask for a reset (doubling their period size), stop calling the
# host or skip three periods, about half a second into a run.
run "$cli" capture reset.wav --channel 2 --seconds 2 --driver "asiochan sim (resets)"
expect "a reset mid-capture restarts the run" 0 "driver asked for a reset \(buffer 256 -> 512 frames\); restarting"
grep -q "with the gap of the driver's reset" <<<"$out" && ! grep -q "skipped" <<<"$out" ||
    { echo "FAIL: the capture notes the gap of its reset, and it is no skip"; failures=$((failures + 1)); }
run "$cli" capture gaps.wav --channel 0 --seconds 1 --driver "asiochan sim (skips)"
expect "a capture over skipped periods warns and fails" 1 "^warning: the driver skipped 3 periods: the capture has gaps$"
[ -s gaps.wav ] || { echo "FAIL: the capture with gaps is written all the same"; failures=$((failures + 1)); }
run "$cli" play tone.wav --driver "asiochan sim (skips)"
expect "a play over skipped periods warns and plays on" 0 "^warning: the driver skipped 3 periods: playback had gaps$"
run "$bin/asiochan_wine_tests.exe" pattern_runs reset.wav 2 1024
expect "the capture is the driver's input before and after the restart, nothing else" 0 "^2 run\(s\)"
run "$cli" play tone.wav --driver "asiochan sim (resets)"
expect "a reset mid-play restarts and plays on" 0 "restarting"
grep -q "^done$" <<<"$out" && ! grep -q "failure" <<<"$out" ||
    { echo "FAIL: play after a reset plays the rest of the file"; failures=$((failures + 1)); }
run "$cli" tone long.wav --seconds 10
started=$(date +%s%N)
limit=15 run "$cli" play long.wav --driver "asiochan sim (stalls)"
took=$(( ($(date +%s%N) - started) / 1000000 ))
expect "a driver that stops mid-play ends the command" 1 "error: the driver stopped delivering periods"
# It stops about 0.5 s in; the command must end within 3 s of that (plus Wine's start).
last=$(grep -oE "00:0[0-9]\.[0-9] /" <<<"$out" | tail -1 | cut -c4-7)
tenths=999
[ -n "$last" ] && tenths=$(( 10#${last%.*} * 10 + 10#${last#*.} ))
if [ "$tenths" -ge 35 ] || [ "$took" -ge 6000 ]; then
    echo "FAIL: the stalled play ended late (last progress $last s, $took ms in all)"; failures=$((failures + 1))
else
    echo "ok:   the stalled play ended ${last} s into playing ($took ms with Wine's start)"
fi

# latency: the simulated driver loops each output back to the input of its number
# one period (256 frames) later; input 1 hears nothing played on output 0, and the
# resetting driver feeds its inputs a pattern, before and after its restart.
run "$cli" latency --repeat 3;     expect "latency finds the loopback's one period" 0 "min 256, median 256, max 256 frames \(5\.33"
[ "$(grep -c ": 256 frames (5.33 ms)" <<<"$out")" = 3 ] && grep -q "input 256 + output 512 = 768 frames" <<<"$out" ||
    { echo "FAIL: latency shows each repetition and the driver's latencies"; failures=$((failures + 1)); }
run "$cli" latency --in 1 --repeat 1; expect "latency on an input nothing plays into" 1 "no signal came back on input 1"
run "$cli" latency --driver "asiochan sim (resets)" --repeat 1
expect "latency restarts after a reset and finds no sequence in a pattern" 1 "no signal came back on input 0"
grep -q "driver asked for a reset (buffer 256 -> 512 frames)" <<<"$out" || { echo "FAIL: latency reports the reset"; failures=$((failures + 1)); }
run "$cli" latency --driver "asiochan sim (skips)" --repeat 1
expect "latency warns of periods skipped before it measured" 0 "^warning: the driver skipped 3 periods: not while measuring$"
grep -q "min 256, median 256, max 256" <<<"$out" || { echo "FAIL: latency measures past the skip"; failures=$((failures + 1)); }
run "$cli" latency --in 8;         expect "latency on an input the driver lacks" 2 "input 8 does not exist"

# monitor: a full-scale 16-bit square wave played on output 0 reads 0.0 dBFS peak and
# RMS on input 0; input 1 stays silent.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
cycle=$(printf '\\xff\\x7f%.0s' $(seq 24))$(printf '\\x00\\x80%.0s' $(seq 24))
{
    printf 'RIFF'; printf "$(le32 $((36 + 384000)))"; printf 'WAVEfmt '; printf "$(le32 16)"
    printf '\x01\x00\x01\x00'; printf "$(le32 48000)"; printf "$(le32 96000)"; printf '\x02\x00\x10\x00'
    printf 'data'; printf "$(le32 384000)"
    for _ in $(seq 4000); do printf "$cycle"; done
} >square.wav
run "$cli" monitor --channels 0,1 --seconds 3 --play square.wav --play-channels 0
expect "monitor reads a full-scale square wave at 0.0 dBFS" 0 "in 0 peak +0\.0 rms +0\.0 \| in 1 peak +-inf rms +-inf dBFS"
[ "$(grep -c "in 0 peak   0.0 rms   0.0" <<<"$out")" -ge 2 ] ||
    { echo "FAIL: monitor prints a line a second"; failures=$((failures + 1)); }
# A short capture is the WAV file the whole-capture writer made, byte for byte: its
# header of the extensible format (32 bits, stereo: 68 bytes), then both inputs
# interleaved. Both
# directions start in one period and the simulated driver loops each output back
# one period (256 frames) later: 256 silent frames, then the square wave, each
# 16-bit sample s as the 32-bit s << 16.
run "$cli" capture exact.wav --channels 0,1 --seconds 0.5 --play square.wav --play-channels 0,1
expect "a short capture with a loopback" 0 "wrote exact.wav \(192000 bytes of samples, inputs 0, 1\)"
pair=$(printf '\\x00\\x00\\xff\\x7f\\x00\\x00\\xff\\x7f%.0s' $(seq 24))$(printf '\\x00\\x00\\x00\\x80\\x00\\x00\\x00\\x80%.0s' $(seq 24))
{
    printf 'RIFF'; printf "$(le32 $((60 + 192000)))"; printf 'WAVEfmt '; printf "$(le32 40)"
    printf '\xfe\xff\x02\x00'; printf "$(le32 48000)"; printf "$(le32 384000)"; printf '\x08\x00\x20\x00'
    printf '\x16\x00\x20\x00'; printf "$(le32 3)"  # extension size, valid bits, front left and right
    printf '\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71'  # integer PCM
    printf 'data'; printf "$(le32 192000)"
    head -c $((256 * 8)) /dev/zero
    for _ in $(seq 500); do printf "$pair"; done | head -c $(((24000 - 256) * 8))
} >expected.wav
if cmp -s exact.wav expected.wav; then echo "ok:   the short capture is byte for byte the file it should be"; else
    echo "FAIL: the short capture is byte for byte the file it should be ($(cmp exact.wav expected.wav 2>&1))"
    failures=$((failures + 1)); fi

# Ctrl+C (SIGINT to the Windows process, which Wine hands to the console handler)
# in the middle of a capture without --seconds: a valid file of what was recorded,
# with room for an RF64 header (104 bytes before the samples: the extensible format).
"$fixture" run "$prefix" "$cli" capture open.wav --channels 0,1 >"$work/open.txt" 2>&1 &
job=$!
for _ in $(seq 200); do  # at most 20 s for the capture to write a second of samples
    [ "$(stat -c %s open.wav 2>/dev/null || echo 0)" -ge 384000 ] && break
    sleep 0.1
done
kill -INT "$(ps -o pid= --ppid "$job" | head -1)" 2>/dev/null
for _ in $(seq 150); do kill -0 "$job" 2>/dev/null || break; sleep 0.1; done  # at most 15 s to end
kill -0 "$job" 2>/dev/null && kill -9 "$job"
wait "$job"
code=$?
out=$(tr -d '\r' <"$work/open.txt")
expect "Ctrl+C ends a capture without --seconds" 0 "^wrote open.wav \([0-9]+ bytes of samples, inputs 0, 1\)"
bytes=$(grep -oE "^wrote open.wav \([0-9]+" <<<"$out" | grep -oE "[0-9]+$")
samples=$(sox --i -s open.wav 2>/dev/null)
if [ -n "$bytes" ] && [ "$(stat -c %s open.wav)" = $((104 + bytes)) ] && [ "$samples" = $((bytes / 8)) ] &&
    [ "$bytes" -ge 384000 ]; then echo "ok:   the interrupted capture is a valid file of its $samples frames"; else
    echo "FAIL: the interrupted capture is a valid file ($(stat -c %s open.wav) bytes, $bytes of samples said, sox: $samples)"
    failures=$((failures + 1)); fi

run "$cli" monitor --channels 0,9; expect "monitor of an input the driver lacks" 2 "input channel 9 does not exist"
run "$cli" monitor --driver "asiochan sim (stalls)"; expect "monitor ends when the driver stops" 1 "error: the driver stopped delivering periods"

run "$bin/tone_and_capture.exe";   expect "the C example plays a tone and hears it back" 0 "captured [0-9]+ frames on input 0, [1-9][0-9]* of them not silent"
run "$bin/stream.exe";   expect "the stream example records ten seconds of its tone" 0 "recorded [0-9]+ frames on inputs 0 and 1 up to position [0-9]+, 0 gaps, peak 0\.[45]"
run "$bin/stereo_and_inputs.exe"
expect "the mapped C example: the file's left channel on input 0" 0 "input 0: sound from frame [0-9]+, about 500 Hz"
expect "the mapped C example: its right channel on input 2" 0 "input 2: sound from frame [0-9]+, about 1000 Hz"
expect "the mapped C example: input 1 silent" 0 "input 1: silent"
expect "the mapped C example: input 3 silent" 0 "input 3: silent"
expect "the mapped C example: inputs 0 and 2 aligned" 0 "inputs 0 and 2 start at the same frame"

echo "$failures failure(s)"
[ "$failures" = 0 ]
