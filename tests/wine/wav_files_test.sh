#!/usr/bin/env bash
# WAV files as sox and ffmpeg write them, made here in a temporary folder: LIST/INFO
# with a 'd' in its text, bext, JUNK before the format chunk, the extensible format
# with a fact chunk whose count holds the byte 100; 8, 16 and 24 bits. Both players,
# through the DLL on the stepped simulated driver, must give exactly the first
# channel that sox decodes from each, and the multi-channel player mapped the first
# two; `asiochan capture --play` must hear one such file back as written.
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

files=()
for bits_file in 8:sox8 16:sox16 24:sox24 8:ff8 16:ff16 24:ff24; do
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
sox -V1 -R -n -r 48000 -c 2 -b 16 two48.wav synth 1 sine 300-900 whitenoise
make_wav meta48.wav "JUNK bext LIST" ff two48.wav -c:a pcm_s24le -rf64 auto -write_bext 1 \
    -metadata title="Sweep and noise" -metadata description="Production test stimulus" meta48.wav
"$fixture" run "$prefix" "$bin/asiochan.exe" capture take.wav --channel 0 --seconds 2 --play meta48.wav \
    --play-channels 0,1 >capture.txt 2>&1
if grep -q "loopback check: the capture matches" capture.txt; then
    echo "ok:   capture --play of a file with JUNK, bext and LIST chunks matches"
else
    fail "capture --play of a file with JUNK, bext and LIST chunks"
    tr -d '\r' <capture.txt | sed 's/^/    | /'
fi

echo "$failures failure(s)"
[ "$failures" = 0 ]
