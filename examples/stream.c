/*
 * Plays and records through the stream: a 1 kHz tone on outputs 0 and 1 while
 * inputs 0 and 1 are recorded for ten seconds, as floats, with finite timeouts
 * everywhere; prints the positions, the gaps and the events as they come.
 *
 * The outputs are kept ahead of the device by a stated margin: half of the ring,
 * and at least four periods. The ring is prefilled with that much before the
 * start, and after each read as many frames are written as keep the lead, so the
 * writer's waits never let the ring run empty. Any gap, in either direction,
 * makes the program exit 1.
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

/* Prints a block's events; counts the gaps they tell (overflow, underrun, skipped periods). */
static long long print_events(const AsiochanStreamBlock* b, const char* who) {
    uint32_t i;
    long long gaps = 0;
    for (i = 0; i < b->eventCount; ++i) {
        printf("%s event 0x%x: %u frames at position %llu\n", who, (unsigned)b->events[i].code,
               (unsigned)b->events[i].frames, (unsigned long long)b->events[i].position);
        if (b->events[i].code & (ASIOCHAN_STREAM_EVENT_OVERFLOW | ASIOCHAN_STREAM_EVENT_UNDERRUN |
                                 ASIOCHAN_REQUEST_SKIPPED_PERIODS))
            ++gaps;
    }
    return gaps;
}

/* Writes the tone until `written` reaches `target` (or the ring takes no more
 * within the timeout); false once the stream refuses. */
static int write_up_to(long long target, long long* written, double rate, int32_t timeout_ms,
                       AsiochanStreamBlock* b, long long* gaps) {
    static float out[2 * CHUNK];
    while (*written < target) {
        int32_t want = target - *written < CHUNK ? (int32_t)(target - *written) : CHUNK;
        int32_t m;
        tone(out, want, rate);
        m = WriteStream(out, want, timeout_ms, b);
        if (m < 0) return 0;
        if (b->lost) {
            printf("outputs played %llu frames of silence before position %llu\n", (unsigned long long)b->lost,
                   (unsigned long long)b->position);
            ++*gaps;
        }
        *gaps += print_events(b, "writer");
        *written += m;
        /* The tone goes on from the frames taken: step back over those not taken. */
        phase -= 2.0 * 3.14159265358979 * 1000.0 / rate * (want - m);
        if (m < want) break;
    }
    return 1;
}

int main(void) {
    char name[32];
    AsiochanStreamConfig config;
    AsiochanStreamBlock in_block, out_block;
    AsiochanStreamState state;
    static float in[2 * CHUNK];
    double rate, peak = 0.0;
    long long total = 0, wanted, written = 0, ahead, gaps = 0;
    int32_t n, i, period;

    if (getAsioDriverCount() < 1 || getAsioDriverName(0, name) != ASIOCHAN_OK || !loadAsioDriver(name)) {
        printf("no driver to load\n");
        return 1;
    }
    if (Initialize() != ASIOCHAN_OK || Prepare() != ASIOCHAN_OK) {
        printf("the driver did not start\n");
        return 1;
    }
    rate = GetCurrentSampleRate();
    period = GetBufferSizePreferred();
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
    memset(&state, 0, sizeof state);
    state.size = sizeof state;
    GetStreamState(&state);
    /* The lead: half of the ring, and at least four periods. */
    ahead = state.ringFrames / 2 > 4 * (long long)period ? state.ringFrames / 2 : 4 * (long long)period;
    printf("keeping the outputs %lld frames ahead (ring of %u frames, periods of %d)\n", ahead,
           (unsigned)state.ringFrames, (int)period);
    memset(&in_block, 0, sizeof in_block);
    in_block.size = sizeof in_block;
    out_block = in_block;
    write_up_to(ahead, &written, rate, 0, &out_block, &gaps); /* the prefill: played first */
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
        if (in_block.lost) {
            printf("%llu input frames lost before position %llu\n", (unsigned long long)in_block.lost,
                   (unsigned long long)in_block.position);
            ++gaps;
        }
        gaps += print_events(&in_block, "reader");
        for (i = 0; i < 2 * n; ++i)
            if (fabs(in[i]) > peak) peak = fabs(in[i]);
        total += n;
        /* The device has passed about `total` frames: keep the lead ahead of it. */
        if (!write_up_to(total + ahead, &written, rate, TIMEOUT_MS, &out_block, &gaps)) break;
    }

    StopStream();
    GetStreamState(&state);
    if (state.underrun || state.dropped) ++gaps;
    printf("recorded %lld frames on inputs 0 and 1 up to position %llu, %lld gaps, peak %.3f\n", total,
           (unsigned long long)state.position, gaps, peak);
    printf("played %llu frames, %llu of silence on an empty ring, %llu input frames dropped\n",
           (unsigned long long)state.played, (unsigned long long)state.underrun, (unsigned long long)state.dropped);
    CloseStream();
    Finish();
    releaseAsioDriver();
    return total >= wanted && gaps == 0 ? 0 : 1;
}
