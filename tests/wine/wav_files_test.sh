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
# itself, in the extensible format as soundfile writes them), and `asiochan play`
# must end them. What `asiochan capture` writes, every sample type of the "types"
# simulated driver and several channels, must read back in sox, ffprobe and
# soundfile with the format, the length and the level it was recorded with.
#   wav_files_test.sh <default-prefix> <bin-folder>
set -u
prefix="$1"
bin="$(cd "$2" && pwd)"
fixture="$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-fixture.sh"
py=/usr/bin/python3  # Debian's, with python3-soundfile
for tool in sox ffmpeg ffprobe; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing; 'bash scripts/bootstrap.sh --tests' installs the test packages"
        exit 1
    fi
done
if ! "$py" -c "import soundfile" 2>/dev/null; then
    echo "FAIL: python3-soundfile is missing; 'bash scripts/bootstrap.sh --tests' installs the test packages"
    exit 1
fi
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
# What capture records from an Int32 driver (the extensible format), a float file
# with three channels (sox writes format 3 with an 18-byte format chunk) and 32-bit
# integer and float files in the extensible format as soundfile writes them are
# queued by the command itself.
cli "capture records a 32-bit file" "loopback check: the capture matches" \
    capture rec32.wav --channels 0,1 --seconds 1 --play two48.wav --play-channels 0,1
sox -V1 -R -n -r 48000 -c 3 -e floating-point -b 32 float3.wav synth 1 sine 300-900 whitenoise sine 77
for subtype in PCM_32 FLOAT; do
    "$py" -c "import soundfile as sf; d, r = sf.read('two48.wav'); sf.write('ext-$subtype.wav', d, r, '$subtype', format='WAVEX')"
    [ "$(od -An -tx2 -j20 -N2 "ext-$subtype.wav" | tr -d ' ')" = fffe ] || fail "soundfile wrote ext-$subtype.wav extensible"
done
for file in rec32.wav float3.wav ext-PCM_32.wav ext-FLOAT.wav; do
    outputs=0,1
    [ "$file" = float3.wav ] && outputs=0,1,2
    cli "play $file" "^done$" play "$file" --channels "$outputs"
    cli "capture --play of $file matches" "matches the played file on [23] inputs" \
        capture "take-$file" --channels "$outputs" --seconds 2 --play "$file" --play-channels "$outputs" --check-loopback
done

# What capture writes, read back by sox, ffprobe and soundfile: each of the 18 inputs
# of the "types" driver (input k in the k-th sample type with a width, a 997 Hz sine
# at -6.02 dBFS) for 9601 frames, an odd count (24-bit files end with a pad byte); the
# library moves all inputs at the last one's width (4 bytes), so the 2-, 3- and 8-byte
# types are captured with ASIOCHAN_SIM_TYPE putting every input in that type. Then
# 32-bit stereo and three channels from the loopback above, and a 16-bit tone on three
# channels. Each as: file, channels, frames, soundfile's format and subtype, valid bits.
kinds=()
types=(Int16MSB:0 Int24MSB:1 Int32MSB:2 Float32MSB:3 Float64MSB:4 Int32MSB16:8 Int32MSB18:9 Int32MSB20:10
    Int32MSB24:11 Int16LSB:16 Int24LSB:17 Int32LSB:18 Float32LSB:19 Float64LSB:20 Int32LSB16:24 Int32LSB18:25
    Int32LSB20:26 Int32LSB24:27)
for k in "${!types[@]}"; do
    type=${types[$k]%%:*}
    case $type in
    Int16*) kind="WAV PCM_16 16" only=${types[$k]#*:} ;;
    Int24*) kind="WAVEX PCM_24 24" only=${types[$k]#*:} ;;
    Float32*) kind="WAV FLOAT 32" only= ;;
    Float64*) kind="WAV DOUBLE 64" only=${types[$k]#*:} ;;
    *) kind="WAVEX PCM_32 32" only= ;;
    esac
    ASIOCHAN_SIM_TYPE=$only cli "capture of the types driver's input $k ($type)" ", $type at 48000 Hz" \
        capture "type-$type.wav" --channel "$k" --seconds 0.2000209 --driver "asiochan sim (types)"
    kinds+=("type-$type.wav 1 9601 $kind")
done
"$fixture" run "$prefix" "$bin/asiochan.exe" tone tone3.wav --seconds 0.5 --channels 3 >/dev/null 2>&1
kinds+=("take-rec32.wav 2 96000 WAVEX PCM_32 32" "take-float3.wav 3 96000 WAVEX PCM_32 32"
    "tone3.wav 3 24000 WAVEX PCM_16 16")
for entry in "${kinds[@]}"; do
    read -r file channels frames _ <<<"$entry"
    [ "$(sox --i -c "$file" 2>/dev/null)/$(sox --i -s "$file" 2>/dev/null)" = "$channels/$frames" ] ||
        fail "sox reads $file as $channels channels of $frames frames ($(sox --i "$file" 2>&1 | tr '\n' ' '))"
    probed=$(ffprobe -v error -show_entries stream=channels,duration_ts -of csv=p=0 "$file" 2>&1)
    [ "$probed" = "$channels,$frames" ] || fail "ffprobe reads $file as $channels channels of $frames frames ($probed)"
    case $file in type-*)
        peak=$(sox "$file" -n stats 2>&1 | awk '/Pk lev dB/ { print $4 }')
        awk -v p="$peak" 'BEGIN { exit !(p != "" && p + 6.0206 < 0.01 && p + 6.0206 > -0.01) }' ||
            fail "sox reads $file's peak at -6.02 dBFS ($peak)" ;;
    esac
done
"$py" - "${kinds[@]}" <<'PY' || failures=$((failures + 1))
import math, struct, sys
import soundfile as sf
bad = 0
for entry in sys.argv[1:]:
    name, channels, frames, fmt, subtype, valid = entry.split()
    info = sf.info(name)
    data, rate = sf.read(name, dtype='float64', always_2d=True)
    raw = open(name, 'rb').read()
    at = raw.find(b'fmt ')
    tag, bits = struct.unpack_from('<H', raw, at + 8)[0], struct.unpack_from('<H', raw, at + 22)[0]
    got_valid = struct.unpack_from('<H', raw, at + 26)[0] if tag == 0xFFFE else bits
    problems = []
    if (info.channels, info.frames, info.format, info.subtype) != (int(channels), int(frames), fmt, subtype):
        problems.append('%d channels, %d frames, %s %s' % (info.channels, info.frames, info.format, info.subtype))
    if got_valid != int(valid):
        problems.append('%d valid bits' % got_valid)
    if name.startswith('type-'):
        # The sine's level by its peak and by its RMS (a sine's peak is sqrt(2) times it).
        x = data[:, 0]
        peak = 20 * math.log10(max(abs(v) for v in x))
        rms = 20 * math.log10(math.sqrt(2 * sum(v * v for v in x) / len(x)))
        if abs(peak + 6.0206) > 0.01 or abs(rms + 6.0206) > 0.01:
            problems.append('level %.4f dBFS by its peak, %.4f by its RMS' % (peak, rms))
    print('%s soundfile reads %s %s' % ('FAIL:' if problems else 'ok:  ', name, '; '.join(problems)))
    bad += bool(problems)
sys.exit(1 if bad else 0)
PY

echo "$failures failure(s)"
[ "$failures" = 0 ]
