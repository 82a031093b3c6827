#!/usr/bin/env bash
# WAV files as sox and ffmpeg write them, made here in a temporary folder: LIST/INFO
# with a 'd' in its text, bext, JUNK before the format chunk, the extensible format
# with a fact chunk whose count holds the byte 100; 8, 16 and 24 bits; files streamed
# to a pipe, whose data size is the writer's placeholder (ffmpeg 0xFFFFFFFF, sox
# 0x7FFFF000), and RF64 files. Both players, through the DLL on the stepped
# simulated driver, must give exactly the first channel that sox decodes from each,
# and the multi-channel player mapped the first two, and read not in play within
# their tail after the last block; `asiochan capture --play` must hear such files
# back as written (32-bit integer and float ones too, which the command queues
# itself), and `asiochan play` must end them.
#   wav_files_test.sh <default-prefix> <bin-folder>
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
fixture="$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-fixture.sh"
for tool in sox ffmpeg; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing; 'bash scripts/bootstrap.sh --tests' installs the test packages"
        exit 1
    fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-wav-files.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
make_wav() {  # file, chunk tags it must hold, command...: writes the file with the tool
    local file="$1" tags="$2"
    shift 2
    "$@" >make.log 2>&1 || { fail "$file: $*"; sed 's/^/    | /' make.log; return; }
    for tag in $tags; do
        grep -qa -- "$tag" "$file" || fail "$file holds no $tag chunk (the tool wrote another layout)"
    done
}

# 1380 frames at 2000 Hz: one two-second block; 1380 is 0x564, so the fact chunk's
# count holds the byte 100 ('d'). Channel 1 a sweep, the others noise and a tone.
sox -V1 -R -n -r 2000 -c 2 -b 16 two.wav synth 0.69 sine 300-900 whitenoise
sox -V1 -R -n -r 2000 -c 3 -b 16 three.wav synth 0.69 sine 300-900 whitenoise sine 77
# sox 14.4 writes no comment into a WAV file; above 16 bits or 2 channels it writes
# the extensible format and a fact chunk.
make_wav sox8.wav "fact" sox -R three.wav --comment "Sweep and noise" -b 8 sox8.wav
make_wav sox16.wav "fact" sox -R three.wav --comment "Audio lab" -b 16 sox16.wav
make_wav sox24.wav "fact" sox -R two.wav -b 24 sox24.wav
ff() { ffmpeg -nostdin -loglevel error -y -i "$@"; }
make_wav ff8.wav "LIST" ff two.wav -c:a pcm_u8 -metadata title="Sweep and noise" -metadata artist="Audio lab" ff8.wav
make_wav ff16.wav "bext" ff two.wav -c:a pcm_s16le -write_bext 1 -metadata description="Production test stimulus" ff16.wav
make_wav ff24.wav "JUNK bext LIST" ff two.wav -c:a pcm_s24le -rf64 auto -write_bext 1 \
    -metadata title="Sweep and noise" ff24.wav

# Streamed to a pipe, so that the writer cannot go back to fix the sizes; and RF64.
# The 48000 Hz ones are for the command line, which runs the real-time driver.
sox -V1 -R -n -r 48000 -c 2 -b 16 two48.wav synth 1 sine 300-900 whitenoise
data_size() {  # the data chunk's size field, as 8 hex digits
    local at
    at=$(grep -obUa data "$1" | head -1 | cut -d: -f1)
    [ -n "$at" ] && od -An -tx4 -j $((at + 4)) -N4 "$1" | tr -d ' '
}
streamed() {  # file, pattern of the data size field it must hold, shell command writing it to standard output
    bash -c "$3" 2>make.log | cat >"$1"
    grep -q "$2" <<<"$(data_size "$1")" || { fail "$1 holds no data size /$2/: $3"; sed 's/^/    | /' make.log; }
}
for source in two two48; do
    streamed "ffpipe-$source.wav" ^ffffffff "ffmpeg -nostdin -loglevel error -i $source.wav -c:a pcm_s16le -f wav -"
    # sox leaves 0x7FFFF000, rounded down to whole frames: 0x7FFFEFFC at 24 bits.
    streamed "soxpipe-$source.wav" ^7fffeffc "sox -R $source.wav -t raw - |
        sox -V1 -R -t raw -r $(soxi -r $source.wav) -c 2 -e signed -b 16 - -t wav -b 24 -"
    make_wav "rf64-$source.wav" "RF64 ds64" ff $source.wav -c:a pcm_s16le -rf64 always "rf64-$source.wav"
done

files=()
for bits_file in 8:sox8 16:sox16 24:sox24 8:ff8 16:ff16 24:ff24 16:ffpipe-two 24:soxpipe-two 16:rf64-two; do
    file="${bits_file#*:}.wav"
    [ -s "$file" ] || continue
    sox -D "$file" -t raw -e signed -b 32 -L "$file.s32" remix 1 || fail "sox cannot decode $file"
    sox -D "$file" -t raw -e signed -b 32 -L "$file.2.s32" remix 2 || fail "sox cannot decode $file"
    files+=("${bits_file%%:*}" "$file")
done
"$fixture" run "$prefix" "$bin/asiochan_wine_tests.exe" played_files "${files[@]}" >played.txt 2>&1 ||
    failures=$((failures + 1))
tr -d '\r' <played.txt

# The command-line host reads the file with its own reader to check the loopback.
cli() {  # what, pattern its output must hold, asiochan arguments...
    local what="$1" want="$2"
    shift 2
    timeout --kill-after=5 30 "$fixture" run "$prefix" "$bin/asiochan.exe" "$@" >cli.txt 2>&1
    [ $? = 124 ] && echo "(stopped: still running after 30 s)" >>cli.txt
    if tr -d '\r' <cli.txt | grep -qE -- "$want"; then
        echo "ok:   $what"
    else
        fail "$what (wanted /$want/)"
        tr -d '\r' <cli.txt | sed 's/^/    | /'
    fi
}
make_wav meta48.wav "JUNK bext LIST" ff two48.wav -c:a pcm_s24le -rf64 auto -write_bext 1 \
    -metadata title="Sweep and noise" -metadata description="Production test stimulus" meta48.wav
cli "capture --play of a file with JUNK, bext and LIST chunks matches" "loopback check: the capture matches" \
    capture take.wav --channel 0 --seconds 2 --play meta48.wav --play-channels 0,1
for file in ffpipe-two48.wav soxpipe-two48.wav rf64-two48.wav; do
    cli "play $file ends with the file" "^done$" play "$file" --channels 0,1
    tr -d '\r' <cli.txt | grep -q "(48000 Hz, [0-9]* bits, 1\.0 s)" || fail "play $file tells the file's length"
    cli "capture --play of $file matches" "matches the played file on 2 inputs" \
        capture take.wav --channels 0,1 --seconds 2 --play "$file" --play-channels 0,1
done
# What capture records from an Int32 driver, and a float file with three channels
# (sox writes it in the extensible format), are queued by the command itself.
cli "capture records a 32-bit file" "loopback check: the capture matches" \
    capture rec32.wav --channels 0,1 --seconds 1 --play two48.wav --play-channels 0,1
sox -V1 -R -n -r 48000 -c 3 -e floating-point -b 32 float3.wav synth 1 sine 300-900 whitenoise sine 77
for file in rec32.wav float3.wav; do
    outputs=0,1
    [ "$file" = float3.wav ] && outputs=0,1,2
    cli "play $file" "^done$" play "$file" --channels "$outputs"
    cli "capture --play of $file matches" "matches the played file on [23] inputs" \
        capture take.wav --channels "$outputs" --seconds 2 --play "$file" --play-channels "$outputs"
done

echo "$failures failure(s)"
[ "$failures" = 0 ]
