/*
 * A stereo file on two chosen outputs and four inputs captured in step, in plain C:
 * writes a one-second stereo WAV file (left 500 Hz, right 1000 Hz), plays its left
 * channel on output 0 and its right channel on output 2 with
 * MultipleChanelPlayStartMapped (mask 0x5), and captures inputs 0 to 3 meanwhile,
 * all four armed by one CaptureBuff call so that they start in the same period:
 * frame k of every input is the same instant. Then it tells, per input, where the
 * sound began and its pitch. With the simulated driver (outputs looped back to
 * inputs) input 0 hears the left channel, input 2 the right one, from the same frame.
 *
 * Build (MinGW):  i686-w64-mingw32-gcc -I include stereo_and_inputs.c -L. -lasiochan
 * Build (MSVC):   cl /I include stereo_and_inputs.c x86\asiochan.lib   (or x64\asiochan.lib)
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "asiochan.h"

#define INPUTS 4
#define FILE_NAME "stereo_stimulus.wav"

/* Bytes per sample of ASIO sample type `type`; 0 for a type without a width. */
static int sample_width(int32_t type) {
    switch (type) {
        case 0: case 16: return 2;
        case 1: case 17: return 3;
        case 2: case 3: case 8: case 9: case 10: case 11:
        case 18: case 19: case 24: case 25: case 26: case 27: return 4;
        case 4: case 20: return 8;
        default: return 0;
    }
}

static void put_le(FILE* f, uint32_t value, int bytes) {
    int i;
    for (i = 0; i < bytes; ++i) fputc((int)((value >> (8 * i)) & 0xFF), f);
}

/* A 16-bit stereo WAV file of `frames` frames: left 500 Hz, right 1000 Hz. */
static int write_stereo_file(const char* path, uint32_t rate, uint32_t frames) {
    const double pi = 3.14159265358979;
    uint32_t i;
    FILE* f = fopen(path, "wb");
    if (!f) return 0;
    fwrite("RIFF", 1, 4, f);
    put_le(f, 36 + frames * 4, 4);
    fwrite("WAVEfmt ", 1, 8, f);
    put_le(f, 16, 4);
    put_le(f, 1, 2);         /* PCM */
    put_le(f, 2, 2);         /* channels */
    put_le(f, rate, 4);
    put_le(f, rate * 4, 4);  /* bytes per second */
    put_le(f, 4, 2);         /* bytes per frame */
    put_le(f, 16, 2);        /* bits per sample */
    fwrite("data", 1, 4, f);
    put_le(f, frames * 4, 4);
    for (i = 0; i < frames; ++i) {
        put_le(f, (uint32_t)(int32_t)(8000.0 * sin(2.0 * pi * 500.0 * i / rate)), 2);
        put_le(f, (uint32_t)(int32_t)(8000.0 * sin(2.0 * pi * 1000.0 * i / rate)), 2);
    }
    return fclose(f) == 0;
}

int main(void) {
    char name[32];
    int32_t r, i;
    AsiochanChannelInfo info = {0};
    CaptureRequest requests[INPUTS];
    double rate;
    int width, big_endian, onset[INPUTS];
    uint32_t frames, f;
    DWORD start;

    if (getAsioDriverCount() < 1 || getAsioDriverName(0, name) != ASIOCHAN_OK || !loadAsioDriver(name)) {
        fprintf(stderr, "no ASIO driver could be loaded\n");
        return 1;
    }
    r = Initialize();
    if (r != ASIOCHAN_OK || GetOutputChannelCount() < 3 || GetInputChannelCount() < INPUTS) {
        fprintf(stderr, "%s: Initialize answered %d; 3 outputs and %d inputs are needed\n", name, (int)r, INPUTS);
        releaseAsioDriver();
        return 1;
    }
    rate = GetCurrentSampleRate();
    info.channel = 0;
    info.isInput = 1;
    ASIOGetChannelInfo(&info);
    width = sample_width(info.type);
    big_endian = info.type < 16;
    frames = 2 * (uint32_t)rate; /* two seconds of each input */
    if (width == 0 || !write_stereo_file(FILE_NAME, (uint32_t)rate, (uint32_t)rate)) {
        fprintf(stderr, "input type %d or the file %s cannot be used\n", (int)info.type, FILE_NAME);
        releaseAsioDriver();
        return 1;
    }

    r = Prepare();
    if (r != ASIOCHAN_OK) {
        fprintf(stderr, "Prepare failed (code %d)\n", (int)r);
        releaseAsioDriver();
        return 1;
    }
    /* One call arms the four inputs and starts capture: they record from the same period. */
    for (i = 0; i < INPUTS; ++i) {
        requests[i].buffer = calloc(frames, (size_t)width);
        requests[i].byteLength = (int32_t)(frames * (uint32_t)width);
        requests[i].channel = (uint32_t)i;
        if (!requests[i].buffer) return 1;
    }
    r = CaptureBuff(requests, INPUTS);
    if (r != ASIOCHAN_OK || !MultipleChanelPlayStartMapped(FILE_NAME, 0x5, 0)) {
        fprintf(stderr, "CaptureBuff answered %d, or the mapped player did not start\n", (int)r);
        Finish();
        releaseAsioDriver();
        return 1;
    }
    printf("%s: playing %s, left on output 0 and right on output 2, capturing inputs 0 to %d\n", name, FILE_NAME,
           INPUTS - 1);

    start = GetTickCount();
    for (i = 0; i < INPUTS; ++i)
        while (IsPortCaptureRunning((uint32_t)i) && GetTickCount() - start < 10000) Sleep(20);
    MultipleChanelPlayStop();

    /* Per input: the first frame that is not silent, and the pitch from the sign
     * changes (the sign bit is the top bit of the most significant byte, in every type). */
    for (i = 0; i < INPUTS; ++i) {
        const unsigned char* s = (const unsigned char*)requests[i].buffer;
        int last = -1, previous_sign = -1, changes = 0;
        onset[i] = -1;
        for (f = 0; f < frames; ++f) {
            const unsigned char* sample = s + (size_t)f * (size_t)width;
            int loud = 0, j, sign;
            for (j = 0; j < width; ++j) loud |= sample[j] != 0;
            if (!loud) continue;
            if (onset[i] < 0) onset[i] = (int)f;
            last = (int)f;
            sign = (big_endian ? sample[0] : sample[width - 1]) >> 7;
            changes += previous_sign >= 0 && sign != previous_sign;
            previous_sign = sign;
        }
        if (onset[i] < 0)
            printf("input %d: silent\n", (int)i);
        else
            printf("input %d: sound from frame %d, about %.0f Hz\n", (int)i, onset[i],
                   changes / 2.0 * rate / (last - onset[i] + 1));
    }
    if (onset[0] >= 0 && onset[0] == onset[2])
        printf("inputs 0 and 2 start at the same frame: the capture is aligned\n");

    Finish();
    releaseAsioDriver();
    for (i = 0; i < INPUTS; ++i) free(requests[i].buffer);
    remove(FILE_NAME);
    return 0;
}
