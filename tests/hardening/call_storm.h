// A storm of channel calls: several threads calling the channel exports at
// random, with random arguments (good and bad channels, lengths, buffers, file
// names, the careless table's bad inputs among them), while one thread finishes
// and prepares the run every few tens of milliseconds, now and then with other
// sample types, and the driver runs free. Shared by the host build (the exports
// called directly) and the DLL under Wine (through GetProcAddress): `Api` is any
// struct whose members are named after the exports and can be called like them.
// The threads themselves are the caller's (std::thread, CreateThread).
//
// Every call is watched: what it is and since when it runs, so a call that
// blocks is named rather than waited for without end. A storm is repeated from
// its seed (ASIOCHAN_STORM_SEED), as far as the threads' interleaving allows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <limits>
#include <type_traits>

#include "asiochan.h"
#include <utility>
#include <vector>

#include "hardening/careless_calls.h"

namespace asiochan::hardening {

constexpr int kStormThreads = 4;
// A call that has not returned after this long is reported as blocked.
constexpr std::int64_t kStormBlockedMicros = 5'000'000;
// The sample types the lifecycle thread moves the driver between (by code):
// 32- and 16-bit integers, 32-bit floats, and now and then one with no width.
constexpr std::int32_t kStormTypes[] = {18, 16, 19, 18, 16, 5};

inline std::int64_t stormMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The seed from ASIOCHAN_STORM_SEED, else a new one; printed either way.
inline std::uint32_t stormSeed(const char* who) {
    std::uint32_t seed = 0;
    if (const char* text = std::getenv("ASIOCHAN_STORM_SEED")) {
        seed = static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
    } else {
        seed = std::random_device{}() ^ static_cast<std::uint32_t>(stormMicros());
    }
    std::printf("%s: seed %u (ASIOCHAN_STORM_SEED=%u repeats it)\n", who, seed, seed);
    std::fflush(stdout);
    return seed;
}

// Seconds from ASIOCHAN_STORM_SECONDS, else `fallback`.
inline double stormSeconds(double fallback) {
    if (const char* text = std::getenv("ASIOCHAN_STORM_SECONDS")) return std::strtod(text, nullptr);
    return fallback;
}

// What a thread is calling and since when; the longest call it made.
struct CallWatch {
    std::atomic<const char*> call{nullptr};
    std::atomic<std::int64_t> since{0};
    const char* longestCall = "";
    std::int64_t longestMicros = 0;
    std::uint64_t calls = 0;

    template <typename Call>
    auto watch(const char* name, Call made) {
        since.store(stormMicros());
        call.store(name);
        struct Done {
            CallWatch& w;
            const char* name;
            ~Done() {
                const std::int64_t took = stormMicros() - w.since.load();
                w.call.store(nullptr);
                ++w.calls;
                if (took > w.longestMicros) {
                    w.longestMicros = took;
                    w.longestCall = name;
                }
            }
        } done{*this, name};
        return made();
    }
    // The call under way for longer than `limitMicros`, else null.
    const char* blocked(std::int64_t limitMicros, std::int64_t& forMicros) const {
        const char* name = call.load();
        forMicros = stormMicros() - since.load();
        return name != nullptr && forMicros > limitMicros ? name : nullptr;
    }
};

struct StormShared {
    std::atomic<bool> stop{false};
    const CarelessFiles* files = nullptr;
    void (*yield)() = nullptr;  // the build's own, as are the threads
};

// One thread of channel calls. Its capture buffers live as long as the storm
// object (the library may write them until the run after the storm is finished);
// each is armed at its exact length, so a write past it is a sanitizer's finding,
// and only ever on one channel: a buffer two captures wrote at once would be the
// application's own race.
template <typename Api>
class StormThread {
public:
    using Request =
        std::remove_const_t<std::remove_pointer_t<decltype(firstParameterOf(std::declval<Api&>().CaptureBuff))>>;

    StormThread(Api& api, StormShared& shared, std::uint32_t seed) : api_(api), shared_(shared), random_(seed) {
        for (std::uint32_t i = 0; i < kChannels; ++i) buffers_.emplace_back(1 + random_() % 8192);
        play_.resize(16384);
        for (auto& b : play_) b = static_cast<std::uint8_t>(random_());
        scratch_.assign(256, 0);
        for (const CarelessRow& row : carelessRows(api_, *shared_.files, scratch_.data()))
            if (isChannelCall(row.what)) careless_.push_back(row);
    }

    CallWatch watch;

    void run() {
        while (!shared_.stop.load()) {
            oneCall();
            if (random_() % 16 == 0) shared_.yield();
        }
    }

private:
    // The installed-driver, driver and capability calls of the table belong to
    // the lifecycle thread; the rest may come from any thread.
    static bool isChannelCall(const std::string& what) {
        for (const char* lifecycle : {"getAsioDriver", "loadAsioDriver", "ASIOGetChannelInfo", "SetSampleRate"})
            if (what.rfind(lifecycle, 0) == 0) return false;
        return true;
    }
    static constexpr std::uint32_t kChannels = 10;  // the device's 8 and two beyond
    std::uint32_t channel() {
        const std::uint32_t pick = random_() % 16;
        if (pick == 0) return 64 + random_() % 4;
        if (pick == 1) return 0xffffffffu;
        return random_() % kChannels;
    }
    // The buffer of `channel` (a channel above 63 is refused before its buffer is touched).
    std::vector<std::uint8_t>& buffer(std::uint32_t channel) { return buffers_[channel % kChannels]; }
    const char* file() {
        const CarelessFiles& f = *shared_.files;
        const std::string* names[] = {&f.playable, &f.playable, &f.playable, &f.playable, &f.playable,
                                      &f.missing,  &f.directory, &f.name200};
        return names[random_() % 8]->c_str();
    }
    float volume() {
        const float volumes[] = {0.0f, 0.5f, 1.0f, 2.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()};
        return volumes[random_() % 6];
    }

    void oneCall() {
        Api& a = api_;
        switch (random_() % 31) {
            case 0:
            case 1: {
                const std::uint32_t ch = channel();
                auto& b = buffer(ch);
                const auto length = static_cast<std::int32_t>(random_() % 8 == 0 ? -1 : static_cast<long>(b.size()));
                void* at = random_() % 16 == 0 ? nullptr : b.data();
                watch.watch("SetCaptureBuffer", [&] { return a.SetCaptureBuffer(at, length, ch); });
                break;
            }
            case 2:
            case 3: {
                Request requests[4];
                const auto count = static_cast<std::int32_t>(random_() % 5);
                for (std::int32_t i = 0; i < count; ++i) {
                    const std::uint32_t ch = channel();
                    auto& b = buffer(ch);
                    requests[i] =
                        Request{random_() % 32 == 0 ? nullptr : b.data(), static_cast<std::int32_t>(b.size()), ch};
                }
                watch.watch("CaptureBuff", [&] { return a.CaptureBuff(random_() % 32 ? requests : nullptr, count); });
                break;
            }
            case 4: watch.watch("StartCapture", [&] { a.StartCapture(); }); break;
            case 5: watch.watch("StopCapture", [&] { a.StopCapture(); }); break;
            case 6: watch.watch("IsCaptureRunning", [&] { return a.IsCaptureRunning(); }); break;
            case 7: watch.watch("IsPortCaptureRunning", [&] { return a.IsPortCaptureRunning(channel()); }); break;
            case 8:
            case 9:
            case 10: {
                const auto length = static_cast<std::int32_t>(random_() % 16 == 0 ? -4 : random_() % play_.size());
                const void* data = random_() % 32 == 0 ? nullptr : play_.data();
                watch.watch("SetPlayBuffer", [&] { return a.SetPlayBuffer(data, length, channel()); });
                break;
            }
            case 11: watch.watch("StartPlayback", [&] { a.StartPlayback(); }); break;
            case 12:
                if (random_() % 4 == 0) watch.watch("StopPlayback", [&] { a.StopPlayback(); });
                break;
            case 13: watch.watch("IsCanSendNextPlaybackBuffer", [&] { return a.IsCanSendNextPlaybackBuffer(channel()); }); break;
            case 14: watch.watch("IsPortPlaybackRunning", [&] { return a.IsPortPlaybackRunning(channel()); }); break;
            case 15: {
                const char* path = file();
                const std::uint32_t ch = channel();
                const auto loop = static_cast<std::uint8_t>(random_() % 2);
                watch.watch("SingleChanelPlayStart", [&] { return a.SingleChanelPlayStart(path, ch, loop); });
                break;
            }
            case 16: {
                const char* path = file();
                const std::uint32_t mask = random_() % 8 == 0 ? static_cast<std::uint32_t>(random_()) : random_() % 0x400;
                const auto loop = static_cast<std::uint8_t>(random_() % 2);
                if (random_() % 2) {
                    watch.watch("MultipleChanelPlayStart", [&] { return a.MultipleChanelPlayStart(path, mask, loop); });
                } else {
                    watch.watch("MultipleChanelPlayStartMapped",
                                [&] { return a.MultipleChanelPlayStartMapped(path, mask, loop); });
                }
                break;
            }
            case 17:
                if (random_() % 2) {
                    watch.watch("SingleChanelPlayStop", [&] { a.SingleChanelPlayStop(); });
                } else {
                    watch.watch("MultipleChanelPlayStop", [&] { a.MultipleChanelPlayStop(); });
                }
                break;
            case 18: {
                const float v = volume();
                if (random_() % 2) {
                    watch.watch("SingleChanelSetVolume", [&] { return a.SingleChanelSetVolume(v); });
                } else {
                    watch.watch("MultipleChanelSetVolume", [&] { return a.MultipleChanelSetVolume(v); });
                }
                break;
            }
            case 19: watch.watch("IsSingleInPlay", [&] { return a.IsSingleInPlay() + a.IsMultipleInPlay(); }); break;
            case 20: watch.watch("GetPeriodCount", [&] { return a.GetPeriodCount() + a.GetDriverRequests(); }); break;
            case 21:
                watch.watch("the getters", [&] {
                    return a.GetInputChannelCount() + a.GetOutputChannelCount() + a.GetBufferSizePreferred() +
                           a.GetInputLatency() + a.GetOutputLatency() + static_cast<std::int32_t>(a.GetCurrentSampleRate());
                });
                break;
            case 24: watch.watch("StartCaptureAndPlayback", [&] { a.StartCaptureAndPlayback(); }); break;
            case 25: {
                // A stream of a few channels (now and then a bad one or a bad format).
                AsiochanStreamConfig c{};
                c.size = random_() % 32 == 0 ? 100 : sizeof c;
                c.format = static_cast<std::int32_t>(random_() % 4);
                c.inputCount = static_cast<std::int32_t>(random_() % 3);
                c.outputCount = static_cast<std::int32_t>(random_() % 3);
                c.ringFrames = static_cast<std::int32_t>(random_() % 4 * 97);
                for (int i = 0; i < 2; ++i) {
                    c.inputs[i] = static_cast<std::uint8_t>(channel());
                    c.outputs[i] = static_cast<std::uint8_t>(channel());
                }
                watch.watch("OpenStream", [&] { return a.OpenStream(&c) + a.StartStream(); });
                break;
            }
            case 26:
            case 27: {
                // At most 64 frames of two channels of 8 bytes: the scratch holds them.
                const auto count = static_cast<std::int32_t>(random_() % 65);
                // Finite waits: a stream opened and never started would hold -1 for ever.
                const auto timeout = static_cast<std::int32_t>(random_() % 4);
                AsiochanStreamBlock b{};
                b.size = sizeof b;
                stream_.resize(64 * 2 * 8);
                if (random_() % 2) {
                    watch.watch("ReadStream", [&] { return a.ReadStream(stream_.data(), count, timeout, &b); });
                } else {
                    watch.watch("WriteStream", [&] { return a.WriteStream(stream_.data(), count, timeout, &b); });
                }
                break;
            }
            case 28:
                watch.watch("GetStreamState", [&] {
                    AsiochanStreamState state{};
                    state.size = sizeof state;
                    return a.GetStreamState(&state);
                });
                break;
            case 29:
                if (random_() % 4 == 0) watch.watch("StopStream", [&] { return a.StopStream(); });
                break;
            case 30:
                if (random_() % 8 == 0) watch.watch("CloseStream", [&] { return a.CloseStream(); });
                break;
            default: {
                const CarelessRow& row = careless_[random_() % careless_.size()];
                watch.watch(row.what.c_str(), [&] { return row.call(); });
                break;
            }
        }
    }

    Api& api_;
    StormShared& shared_;
    std::mt19937 random_;
    std::vector<std::vector<std::uint8_t>> buffers_;
    std::vector<std::uint8_t> play_;
    std::vector<std::uint8_t> scratch_;
    std::vector<std::uint8_t> stream_;  // the stream's frames, read and written
    std::vector<CarelessRow> careless_;
};

// The lifecycle thread's rounds: a pause of 10 to 70 ms, then Finish and
// Prepare; before the Prepare, now and then new sample types for the driver
// (`setTypes(code)`), Initialize or a sample rate. Returns the Prepare's answer.
template <typename Api, typename SetTypes>
std::int32_t stormLifecycleRound(Api& api, std::mt19937& random, CallWatch& watch, SetTypes setTypes,
                                 void (*sleepMs)(std::uint32_t)) {
    sleepMs(10 + random() % 61);
    watch.watch("Finish", [&] { return api.Finish(); });
    const std::uint32_t dice = random() % 8;
    if (dice < 3) setTypes(kStormTypes[random() % (sizeof kStormTypes / sizeof kStormTypes[0])]);
    if (dice == 3) watch.watch("Initialize", [&] { return api.Initialize(); });
    if (dice == 4) watch.watch("SetSampleRate", [&] { return api.SetSampleRate(48000.0); });
    return watch.watch("Prepare", [&] { return api.Prepare(); });
}

// Watches the threads for `seconds`, then tells them to stop. True when no call
// blocked; false (with `report` filled) as soon as one did.
inline bool stormWatch(StormShared& shared, std::vector<CallWatch*> watches, double seconds,
                       void (*sleepMs)(std::uint32_t), std::string& report) {
    const std::int64_t end = stormMicros() + static_cast<std::int64_t>(seconds * 1e6);
    bool clean = true;
    while (clean && stormMicros() < end) {
        sleepMs(20);
        for (std::size_t i = 0; i < watches.size() && clean; ++i) {
            std::int64_t age = 0;
            if (const char* name = watches[i]->blocked(kStormBlockedMicros, age)) {
                report = "thread " + std::to_string(i) + " blocked in " + name + " for " +
                         std::to_string(age / 1000) + " ms";
                clean = false;
            }
        }
    }
    shared.stop.store(true);
    return clean;
}

// After the threads have ended: the longest call of each, and the calls made.
inline std::string stormSummary(const std::vector<CallWatch*>& watches) {
    std::string out;
    std::uint64_t calls = 0;
    for (std::size_t i = 0; i < watches.size(); ++i) {
        calls += watches[i]->calls;
        out += " thread " + std::to_string(i) + " longest " + watches[i]->longestCall + " " +
               std::to_string(watches[i]->longestMicros / 1000) + " ms;";
    }
    return std::to_string(calls) + " calls;" + out;
}

}  // namespace asiochan::hardening
