/*
 * A first asiochan program in plain C: loads the first installed ASIO driver,
 * prints its capabilities, plays one second of a 1 kHz tone on output 0 in that
 * channel's own sample type and captures input 0 meanwhile.
 *
 * Build (MinGW):  i686-w64-mingw32-gcc -I include tone_and_capture.c -L. -lasiochan
 * Build (MSVC):   cl /I include tone_and_capture.c x86\asiochan.lib   (or x64\asiochan.lib)
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "asiochan.h"

#define TONE_HZ 1000.0

/* The header's table of sample types, one row per type (ASIOCHAN_SAMPLE_TYPES). */
struct sample_type {
    int32_t code;
    int bytes, msb, is_float, bits;
};
#define EXAMPLE_ROW(id, code, name, bytes, msb, is_float, bits) {code, bytes, msb, is_float, bits},
static const struct sample_type sample_types[] = {ASIOCHAN_SAMPLE_TYPES(EXAMPLE_ROW)};
#undef EXAMPLE_ROW

/* Writes x (-1.0 to 1.0) as one sample of ASIO sample type `type` and returns its
 * width in bytes; 0 for a type without a width (DSD, unknown codes). Integer types
 * take x scaled to their significant bits (the 32-bit containers of 16, 18, 20 or 24
 * bits hold the value in their low bits); the MSB types store the most significant
 * byte first. */
static int put_sample(double x, int32_t type, unsigned char* out) {
    const struct sample_type* t = NULL;
    unsigned char le[8];
    size_t k;
    int i;
    for (k = 0; k < sizeof sample_types / sizeof sample_types[0]; ++k)
        if (sample_types[k].code == type) t = &sample_types[k];
    if (t == NULL || t->bytes == 0) return 0;
    if (t->is_float && t->bytes == 4) {
        float f = (float)x;
        uint32_t u;
        memcpy(&u, &f, 4);
        for (i = 0; i < 4; ++i) le[i] = (unsigned char)(u >> (8 * i));
    } else if (t->is_float) {
        uint64_t u;
        memcpy(&u, &x, 8);
        for (i = 0; i < 8; ++i) le[i] = (unsigned char)(u >> (8 * i));
    } else {
        /* Two's complement of x scaled to `bits` bits, sign-extended to the width. */
        double full = ldexp(1.0, t->bits - 1) - 1.0;
        int64_t v = (int64_t)(x * full);
        for (i = 0; i < t->bytes; ++i) le[i] = (unsigned char)((uint64_t)v >> (8 * i));
    }
    for (i = 0; i < t->bytes; ++i) out[i] = t->msb ? le[t->bytes - 1 - i] : le[i];
    return t->bytes;
}

static int fail(const char* what, int code) {
    fprintf(stderr, "%s failed (code %d)\n", what, code);
    releaseAsioDriver();
    return 1;
}

int main(void) {
    char name[32];
    int32_t r;
    AsiochanChannelInfo out0 = {0}, in0 = {0};
    double rate;
    int32_t frames, period, i, j, bytes, captureBytes;
    int out_width, in_width;
    unsigned char* tone;
    unsigned char* captured;
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
    in0.channel = 0;
    in0.isInput = 1;
    ASIOGetChannelInfo(&in0);
    {
        unsigned char probe[8];
        out_width = put_sample(0.0, out0.type, probe);
        in_width = put_sample(0.0, in0.type, probe);
    }
    if (out_width == 0 || in_width == 0) {
        fprintf(stderr, "output 0 (type %d) or input 0 (type %d) has a sample type without a width\n", (int)out0.type,
                (int)in0.type);
        releaseAsioDriver();
        return 1;
    }

    r = Prepare();
    if (r != ASIOCHAN_OK) return fail("Prepare", r);
    printf("latencies: input %d, output %d frames\n", (int)GetInputLatency(), (int)GetOutputLatency());

    /* One second of tone, rounded up to whole periods so no period is joined. */
    frames = (int32_t)rate;
    if (period > 0) frames = (frames + period - 1) / period * period;
    bytes = frames * out_width;
    captureBytes = frames * in_width;
    tone = (unsigned char*)malloc((size_t)bytes);
    captured = (unsigned char*)calloc((size_t)captureBytes, 1);
    if (!tone || !captured) return fail("malloc", 0);
    for (i = 0; i < frames; ++i)
        put_sample(0.25 * sin(2.0 * 3.14159265358979 * TONE_HZ * i / rate), out0.type, tone + (size_t)i * out_width);

    r = SetCaptureBuffer(captured, captureBytes, 0);
    if (r != ASIOCHAN_OK) return fail("SetCaptureBuffer", r);
    r = SetPlayBuffer(tone, bytes, 0);
    if (r != ASIOCHAN_OK) return fail("SetPlayBuffer", r);
    StartPlayback();
    StartCapture();

    start = GetTickCount();
    while ((IsPortPlaybackRunning(0) || IsPortCaptureRunning(0)) && GetTickCount() - start < 10000) Sleep(20);

    for (i = 0; i < frames; ++i) {
        int loud = 0;
        for (j = 0; j < in_width; ++j) loud |= captured[(size_t)i * in_width + j] != 0;
        heard += loud;
    }
    printf("played %d frames on output 0; captured %d frames on input 0, %d of them not silent\n", (int)frames,
           (int)frames, (int)heard);

    Finish();
    releaseAsioDriver();
    free(tone);
    free(captured);
    return 0;
}
