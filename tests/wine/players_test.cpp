// The file players through the real DLL: a WAV file played on one channel and on
// a mask of channels, checked sample for sample at the stepped simulated driver's
// output. The players run on their own worker threads with their real timing; the
// test runs a period only once the next block is queued (or none is coming), so
// the channels never run dry between blocks. checkPlayedFiles does the same for
// WAV files written by other tools.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "wine/dll_exports.h"
#include "wine/played_files.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"
#include "wine/wine_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPeriodBytes = 256 * 4;

// A PCM file whose channel k holds the samples `channels[k]` (16- or 24-bit, all
// of one length), at a low rate so a two-second block is only a few periods long.
bool writeWav(const char* path, int bits, const std::vector<std::vector<std::int32_t>>& channels,
              std::uint32_t rate) {
    Bytes samples;
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& channel : channels) putLe(samples, static_cast<std::uint32_t>(channel[i]), bits / 8);
    return writeFile(path, wavFile(static_cast<std::uint16_t>(channels.size()), rate, static_cast<std::uint16_t>(bits),
                                   samples));
}

// The 32-bit word the player writes for a sample at a volume: 16-bit samples in
// the top two bytes, 24-bit samples in the top three.
Bytes expectedOutput(const std::vector<std::int32_t>& values, int bits, float volume) {
    Bytes out;
    for (std::int32_t v : values) {
        const auto i = static_cast<std::int32_t>(static_cast<float>(v) * volume);
        const std::uint32_t word =
            bits == 24 ? static_cast<std::uint32_t>(i) << 8 : static_cast<std::uint32_t>(i) << 16;
        putLe(out, word, 4);
    }
    return out;
}

std::vector<std::int32_t> ramp(std::size_t n, std::int32_t start, std::int32_t step) {
    std::vector<std::int32_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = start + static_cast<std::int32_t>(i) * step;
    return v;
}

// Steps periods while the players feed `channels`, until they have played out.
// The files are at 1000 Hz: once the last block of two seconds (at most eight
// periods) plays, no block is queued behind it; a worker that queues nothing for
// longer, or leaves a channel without its first block, fails the test at once.
void stepUntilPlayedOut(AsiochanDll& d, SimControl& sim, const std::vector<std::uint32_t>& channels) {
    constexpr DWORD kQueueWaitMs = 400;  // the worker polls every 100 ms
    constexpr int kPeriodsWithNothingQueued = 2000 / 256 + 2;
    auto count = [&](auto condition) {
        std::size_t n = 0;
        for (auto c : channels) n += condition(c) ? 1 : 0;
        return n;
    };
    auto playing = [&] { return count([&](std::uint32_t c) { return d.IsPortPlaybackRunning(c) != 0; }); };
    auto allQueued = [&] {
        return count([&](std::uint32_t c) { return d.IsCanSendNextPlaybackBuffer(c) == 0; }) == channels.size();
    };
    // The workers hand their first blocks over at once.
    if (!waitFor([&] { return playing() == channels.size(); }, 5000)) {
        winecheck::fail(__FILE__, __LINE__, "waited 5 s for the first block on every channel of the set");
        return;
    }
    int nothingQueued = 0;
    for (int period = 0; period < 400 && playing() != 0; ++period) {
        nothingQueued = waitFor(allQueued, kQueueWaitMs) ? 0 : nothingQueued + 1;
        if (nothingQueued > kPeriodsWithNothingQueued) {
            winecheck::fail(__FILE__, __LINE__,
                            "waited 400 ms for the next block on every channel in " + std::to_string(nothingQueued) +
                                " periods running");
            return;
        }
        sim.simRunPeriods(1);
    }
    WCHECK(playing() == 0);
}

Bytes recording(SimControl& sim, std::int32_t channel) {
    const std::int32_t n = sim.simOutputRecording(channel, nullptr, 0);
    Bytes b(static_cast<std::size_t>(n > 0 ? n : 0));
    if (n > 0) sim.simOutputRecording(channel, b.data(), n);
    return b;
}

// True when `recorded` holds `expected` from the start of some period, with
// silence before it and after it.
bool playedExactly(const Bytes& recorded, const Bytes& expected) {
    std::size_t first = 0;
    while (first < recorded.size() && recorded[first] == 0) ++first;
    const std::size_t from = first / kPeriodBytes * kPeriodBytes;
    if (from + expected.size() > recorded.size()) return false;
    if (std::memcmp(recorded.data() + from, expected.data(), expected.size()) != 0) return false;
    for (std::size_t i = from + expected.size(); i < recorded.size(); ++i)
        if (recorded[i] != 0) return false;
    return true;
}

bool openStepped(AsiochanDll& d, SimControl& sim, const char* name = kSteppedDriverName) {
    if (d.loadAsioDriver(name) != 1 || !sim.resolve()) return false;
    return d.Initialize() == 0 && d.Prepare() == 0;
}

// The Float32LSB samples of 16-bit values at a volume: the scaled value over 32768.
Bytes expectedFloats(const std::vector<std::int32_t>& values, float volume) {
    Bytes out;
    for (std::int32_t v : values) {
        const float f = static_cast<float>(static_cast<std::int32_t>(static_cast<float>(v) * volume)) / 32768.0f;
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        putLe(out, bits, 4);
    }
    return out;
}

}  // namespace

WINE_TEST(players, single_channel_player_reaches_the_driver_sample_for_sample) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(openStepped(d, sim));
    if (sim.module == nullptr) return;
    // 3000 frames at 1000 Hz: a block of 2000 frames, then one of 1000.
    const auto values = ramp(3000, 1000, 7);
    WCHECK(writeWav("players_single.wav", 16, {values}, 1000));
    WCHECK_EQ(d.SingleChanelSetVolume(1.0f), 1);
    WCHECK_EQ(d.SingleChanelPlayStart("players_single.wav", 6, 0), 1);
    stepUntilPlayedOut(d, sim, {6});
    WCHECK(playedExactly(recording(sim, 6), expectedOutput(values, 16, 1.0f)));
    d.SingleChanelPlayStop();
    WCHECK_EQ(d.IsSingleInPlay(), 0);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
    DeleteFileA("players_single.wav");
}

WINE_TEST(players, multi_channel_player_feeds_every_channel_of_the_mask) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(openStepped(d, sim));
    if (sim.module == nullptr) return;
    const auto values = ramp(2500, -300000, 331);  // 24-bit samples across zero
    WCHECK(writeWav("players_multi.wav", 24, {values}, 1000));
    WCHECK_EQ(d.MultipleChanelSetVolume(0.5f), 1);
    WCHECK_EQ(d.MultipleChanelPlayStart("players_multi.wav", 0x5, 0), 1);
    WCHECK_EQ(d.MultipleChanelPlayStart("players_multi.wav", 0x2, 0), 0);  // one run at a time
    stepUntilPlayedOut(d, sim, {0, 2});
    const Bytes expected = expectedOutput(values, 24, 0.5f);
    WCHECK(playedExactly(recording(sim, 0), expected));
    WCHECK(playedExactly(recording(sim, 2), expected));
    WCHECK(recording(sim, 1) == Bytes(recording(sim, 1).size(), 0));  // not in the mask: silent
    d.MultipleChanelPlayStop();
    WCHECK_EQ(d.IsMultipleInPlay(), 0);
    WCHECK_EQ(d.MultipleChanelSetVolume(1.0f), 1);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
    DeleteFileA("players_multi.wav");
}

WINE_TEST(players, both_players_write_floats_to_a_float_driver) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(openStepped(d, sim, kSteppedFloatDriverName));
    if (sim.module == nullptr) return;
    const auto values = ramp(2500, -32768, 26);  // full scale negative to near positive
    WCHECK(writeWav("players_float.wav", 16, {values}, 1000));
    WCHECK_EQ(d.SingleChanelSetVolume(1.0f), 1);
    WCHECK_EQ(d.MultipleChanelSetVolume(0.5f), 1);
    WCHECK_EQ(d.SingleChanelPlayStart("players_float.wav", 1, 0), 1);
    WCHECK_EQ(d.MultipleChanelPlayStart("players_float.wav", 0x5, 0), 1);
    stepUntilPlayedOut(d, sim, {0, 1, 2});
    WCHECK(playedExactly(recording(sim, 1), expectedFloats(values, 1.0f)));
    WCHECK(playedExactly(recording(sim, 0), expectedFloats(values, 0.5f)));
    WCHECK(playedExactly(recording(sim, 2), expectedFloats(values, 0.5f)));
    d.SingleChanelPlayStop();
    d.MultipleChanelPlayStop();
    WCHECK_EQ(d.MultipleChanelSetVolume(1.0f), 1);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
    DeleteFileA("players_float.wav");
}

WINE_TEST(players, mapped_player_plays_file_channel_i_on_the_output_of_the_i_th_bit) {
    AsiochanDll& d = dll();
    const struct {
        const char* driver;
        int bits;
        std::size_t fileChannels;
        std::uint32_t mask;
    } rows[] = {{kSteppedDriverName, 24, 2, 0x5},       // left on output 0, right on output 2
                {kSteppedFloatDriverName, 16, 2, 0x5},  // the same as floats
                {kSteppedDriverName, 16, 1, 0x6}};      // a mono file on both outputs
    for (const auto& row : rows) {
        SimControl sim;
        WCHECK(openStepped(d, sim, row.driver));
        if (sim.module == nullptr) return;
        const bool floats = std::strcmp(row.driver, kSteppedFloatDriverName) == 0;
        std::vector<std::vector<std::int32_t>> channels;
        for (std::size_t k = 0; k < row.fileChannels; ++k)
            channels.push_back(ramp(2500, (row.bits == 24 ? -300000 : -30000) * (k == 0 ? 1 : -1), k == 0 ? 23 : -17));
        WCHECK(writeWav("players_mapped.wav", row.bits, channels, 1000));
        WCHECK_EQ(d.MultipleChanelSetVolume(1.0f), 1);
        WCHECK_EQ(d.MultipleChanelPlayStartMapped("players_mapped.wav", row.mask, 0), 1);
        WCHECK_EQ(d.MultipleChanelPlayStart("players_mapped.wav", 0x1, 0), 0);  // the same player
        std::vector<std::uint32_t> fed;
        for (std::uint32_t c = 0; c < 8; ++c)
            if (row.mask & (1u << c)) fed.push_back(c);
        stepUntilPlayedOut(d, sim, fed);
        for (std::uint32_t c = 0, rank = 0; c < 8; ++c) {
            const Bytes played = recording(sim, static_cast<std::int32_t>(c));
            if (!(row.mask & (1u << c))) {
                WCHECK(played == Bytes(played.size(), 0));
                continue;
            }
            const auto& values = channels[row.fileChannels > 1 ? rank++ : 0];
            WCHECK(playedExactly(played, floats ? expectedFloats(values, 1.0f) : expectedOutput(values, row.bits, 1.0f)));
        }
        d.MultipleChanelPlayStop();
        WCHECK_EQ(d.IsMultipleInPlay(), 0);
        WCHECK_EQ(d.Finish(), 0);
        d.releaseAsioDriver();
    }
    // Refused, leaving the player idle: fewer file channels than bits, no bits, no file.
    SimControl sim;
    WCHECK(openStepped(d, sim));
    WCHECK(writeWav("players_stereo.wav", 16, {ramp(100, 1, 1), ramp(100, 2, 1)}, 1000));
    WCHECK_EQ(d.MultipleChanelPlayStartMapped("players_stereo.wav", 0x7, 0), 0);
    WCHECK_EQ(d.MultipleChanelPlayStartMapped("players_stereo.wav", 0, 0), 0);
    WCHECK_EQ(d.MultipleChanelPlayStartMapped("players_no_such_file.wav", 0x3, 0), 0);
    WCHECK_EQ(d.IsMultipleInPlay(), 0);
    WCHECK_EQ(d.MultipleChanelPlayStartMapped("players_stereo.wav", 0x3, 0), 1);
    d.MultipleChanelPlayStop();
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
    DeleteFileA("players_mapped.wav");
    DeleteFileA("players_stereo.wav");
}

// What sox decoded into `file`: one channel as 32-bit samples, the file's sample in
// the top bits. The players give 8-bit samples a low byte of 0xFF below the
// midpoint (0x00FF0000 in the word).
Bytes decodedChannel(const std::string& file, int bits) {
    Bytes expected = readFile(file);
    for (std::size_t at = 0; at + 4 <= expected.size(); at += 4) {
        std::uint32_t word;
        std::memcpy(&word, &expected[at], 4);
        if (bits == 8 && (word & 0x80000000u) != 0) word |= 0x00FF0000u;
        std::memcpy(&expected[at], &word, 4);
    }
    return expected;
}

int checkPlayedFiles(int count, char** args) {
    AsiochanDll& d = dll();
    int failed = 0;
    for (int i = 0; i + 1 < count; i += 2) {
        const int bits = std::atoi(args[i]);
        const char* path = args[i + 1];
        const int failuresBefore = winecheck::failures();
        const Bytes expected = decodedChannel(std::string(path) + ".s32", bits);
        const Bytes second = decodedChannel(std::string(path) + ".2.s32", bits);
        WCHECK(!expected.empty() && second.size() == expected.size());
        SimControl sim;
        WCHECK(openStepped(d, sim));
        if (sim.module != nullptr) {
            WCHECK_EQ(d.SingleChanelSetVolume(1.0f), 1);
            WCHECK_EQ(d.MultipleChanelSetVolume(1.0f), 1);
            WCHECK_EQ(d.SingleChanelPlayStart(path, 6, 0), 1);
            WCHECK_EQ(d.MultipleChanelPlayStart(path, 0x5, 0), 1);
            stepUntilPlayedOut(d, sim, {0, 2, 6});
            WCHECK(playedExactly(recording(sim, 6), expected));  // the single-channel player
            WCHECK(playedExactly(recording(sim, 0), expected));  // the multi-channel player
            WCHECK(playedExactly(recording(sim, 2), expected));
            // A file ends with its last block: the players' tail after it is about 2 s.
            if (!waitFor([&] { return d.IsSingleInPlay() == 0 && d.IsMultipleInPlay() == 0; }, 3000))
                winecheck::fail(__FILE__, __LINE__, "waited 3 s after the last block for both players to end");
            d.SingleChanelPlayStop();
            d.MultipleChanelPlayStop();
            // Then mapped: the first two channels on outputs 3 and 4.
            WCHECK_EQ(d.MultipleChanelPlayStartMapped(path, 0x18, 0), 1);
            stepUntilPlayedOut(d, sim, {3, 4});
            WCHECK(playedExactly(recording(sim, 3), expected));
            WCHECK(playedExactly(recording(sim, 4), second));
            d.MultipleChanelPlayStop();
            WCHECK_EQ(d.Finish(), 0);
        }
        d.releaseAsioDriver();
        const bool ok = winecheck::failures() == failuresBefore;
        std::printf("%s %s (%d bits, %u frames)\n", ok ? "ok:  " : "FAIL:", path, bits,
                    static_cast<unsigned>(expected.size() / 4));
        std::fflush(stdout);
        failed += ok ? 0 : 1;
    }
    return failed == 0 && count >= 2 && count % 2 == 0 ? 0 : 1;
}
