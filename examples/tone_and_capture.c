/*
 * A first asiochan program in plain C: loads the first installed ASIO driver,
 * prints its capabilities, plays one second of a 1 kHz tone on output 0 and
 * captures input 0 meanwhile.
 *
 * Build (MinGW):  i686-w64-mingw32-gcc -I include tone_and_capture.c -L. -lasiochan
 * Build (MSVC):   lib /def:asiochan.def /machine:x86 /out:asiochan.lib
 *                 cl /I include tone_and_capture.c asiochan.lib
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "asiochan.h"

#define TONE_HZ 1000.0
#define INT32_LSB 18 /* ASIO sample type of 32-bit signed little-endian samples */

static int fail(const char* what, int code) {
    fprintf(stderr, "%s failed (code %d)\n", what, code);
    releaseAsioDriver();
    return 1;
}

int main(void) {
    char name[32];
    int32_t r;
    AsiochanChannelInfo out0 = {0};
    double rate;
    int32_t frames, period, i, bytes;
    int32_t* tone;
    int32_t* captured;
    int32_t heard = 0;
    DWORD start;

    if (getAsioDriverCount() < 1 || getAsioDriverName(0, name) != ASIOCHAN_OK) {
        fprintf(stderr, "no ASIO driver is installed\n");
        return 1;
    }
    if (!loadAsioDriver(name)) {
        fprintf(stderr, "cannot load %s\n", name);
        return 1;
    }
    r = Initialize();
    if (r != ASIOCHAN_OK) return fail("Initialize", r);

    rate = GetCurrentSampleRate();
    period = GetBufferSizePreferred();
    printf("driver %s: %d inputs, %d outputs, %.0f Hz, %d frames per period\n", name, (int)GetInputChannelCount(),
           (int)GetOutputChannelCount(), rate, (int)period);
    if (GetOutputChannelCount() < 1 || GetInputChannelCount() < 1) return fail("channel count", 0);

    out0.channel = 0;
    out0.isInput = 0;
    ASIOGetChannelInfo(&out0);
    if (out0.type != INT32_LSB) {
        fprintf(stderr, "this example writes 32-bit samples; output 0 has type %d\n", (int)out0.type);
        releaseAsioDriver();
        return 1;
    }

    r = Prepare();
    if (r != ASIOCHAN_OK) return fail("Prepare", r);
    printf("latencies: input %d, output %d frames\n", (int)GetInputLatency(), (int)GetOutputLatency());

    /* One second of tone, rounded up to whole periods so no period is joined. */
    frames = (int32_t)rate;
    if (period > 0) frames = (frames + period - 1) / period * period;
    bytes = frames * 4;
    tone = (int32_t*)malloc((size_t)bytes);
    captured = (int32_t*)calloc((size_t)frames, 4);
    if (!tone || !captured) return fail("malloc", 0);
    for (i = 0; i < frames; ++i)
        tone[i] = (int32_t)(0.25 * 2147483647.0 * sin(2.0 * 3.14159265358979 * TONE_HZ * i / rate));

    r = SetCaptureBuffer(captured, bytes, 0);
    if (r != ASIOCHAN_OK) return fail("SetCaptureBuffer", r);
    r = SetPlayBuffer(tone, bytes, 0);
    if (r != ASIOCHAN_OK) return fail("SetPlayBuffer", r);
    StartPlayback();
    StartCapture();

    start = GetTickCount();
    while ((IsPortPlaybackRunning(0) || IsPortCaptureRunning(0)) && GetTickCount() - start < 10000) Sleep(20);

    for (i = 0; i < frames; ++i) heard += captured[i] != 0;
    printf("played %d frames on output 0; captured %d frames on input 0, %d of them not silent\n", (int)frames,
           (int)frames, (int)heard);

    Finish();
    releaseAsioDriver();
    free(tone);
    free(captured);
    return 0;
}
