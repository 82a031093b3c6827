/*
 * Plays and records through the stream: a 1 kHz tone on outputs 0 and 1 while
 * inputs 0 and 1 are recorded for ten seconds, as floats, with finite timeouts
 * everywhere; prints the positions, the gaps and the events as they come.
 *
 * Build (MinGW):  i686-w64-mingw32-gcc -I include stream.c -L. -lasiochan
 * Build (MSVC):   cl /I include stream.c x86\asiochan.lib   (or x64\asiochan.lib)
 */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "asiochan.h"

#define CHUNK 512
#define SECONDS 10
#define TIMEOUT_MS 1000

static double phase;

/* The next `frames` frames of the tone at half of full scale, on both outputs. */
static void tone(float* out, int frames, double rate) {
    int i;
    for (i = 0; i < frames; ++i) {
        float x = (float)(0.5 * sin(phase));
        out[2 * i] = x;
        out[2 * i + 1] = x;
        phase += 2.0 * 3.14159265358979 * 1000.0 / rate;
    }
}

static void print_events(const AsiochanStreamBlock* b, const char* who) {
    uint32_t i;
    for (i = 0; i < b->eventCount; ++i)
        printf("%s event 0x%x: %u frames at position %llu\n", who, (unsigned)b->events[i].code,
               (unsigned)b->events[i].frames, (unsigned long long)b->events[i].position);
}

int main(void) {
    char name[32];
    AsiochanStreamConfig config;
    AsiochanStreamBlock in_block, out_block;
    AsiochanStreamState state;
    static float out[2 * CHUNK], in[2 * CHUNK];
    double rate, peak = 0.0;
    long long total = 0, wanted, lost = 0;
    int32_t n, i;

    if (getAsioDriverCount() < 1 || getAsioDriverName(0, name) != ASIOCHAN_OK || !loadAsioDriver(name)) {
        printf("no driver to load\n");
        return 1;
    }
    if (Initialize() != ASIOCHAN_OK || Prepare() != ASIOCHAN_OK) {
        printf("the driver did not start\n");
        return 1;
    }
    rate = GetCurrentSampleRate();
    wanted = (long long)(rate * SECONDS);

    memset(&config, 0, sizeof config);
    config.size = sizeof config;
    config.format = ASIOCHAN_STREAM_FLOAT32;
    config.inputCount = 2;
    config.outputCount = 2;
    config.inputs[1] = 1;
    config.outputs[1] = 1;
    if ((n = OpenStream(&config)) != ASIOCHAN_OK) {
        printf("OpenStream answered %d\n", (int)n);
        return 1;
    }
    memset(&in_block, 0, sizeof in_block);
    in_block.size = sizeof in_block;
    out_block = in_block;
    tone(out, CHUNK, rate);
    WriteStream(out, CHUNK, 0, &out_block); /* the first frames, before the start */
    StartStream();

    while (total < wanted) {
        n = ReadStream(in, CHUNK, TIMEOUT_MS, &in_block);
        if (n < 0) {
            printf("ReadStream answered %d\n", (int)n);
            break;
        }
        if (n == 0) {
            printf("no frames within %d ms\n", TIMEOUT_MS);
            break;
        }
        if (total == 0) printf("first frames at position %llu\n", (unsigned long long)in_block.position);
        if (in_block.lost) printf("%llu input frames lost before position %llu\n",
                                  (unsigned long long)in_block.lost, (unsigned long long)in_block.position);
        lost += (long long)in_block.lost;
        print_events(&in_block, "reader");
        for (i = 0; i < 2 * n; ++i)
            if (fabs(in[i]) > peak) peak = fabs(in[i]);
        total += n;
        tone(out, n, rate);
        if (WriteStream(out, n, TIMEOUT_MS, &out_block) < 0) break;
        if (out_block.lost) printf("outputs played %llu frames of silence before position %llu\n",
                                   (unsigned long long)out_block.lost, (unsigned long long)out_block.position);
        print_events(&out_block, "writer");
    }

    StopStream();
    state.size = sizeof state;
    GetStreamState(&state);
    printf("recorded %lld frames on inputs 0 and 1 up to position %llu, %lld lost, peak %.3f\n", total,
           (unsigned long long)state.position, lost, peak);
    printf("played %llu frames, %llu of silence on an empty ring, %llu input frames dropped\n",
           (unsigned long long)state.played, (unsigned long long)state.underrun, (unsigned long long)state.dropped);
    CloseStream();
    Finish();
    releaseAsioDriver();
    return total >= wanted ? 0 : 1;
}
