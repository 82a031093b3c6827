// Careless callers: every export with the bad inputs an application gets wrong,
// each with the answer it must give, and the state every such call must leave as
// it was. One table for the host build (the exports called directly) and for the
// DLL under Wine (called through GetProcAddress): `Api` is any struct whose
// members are named after the exports and can be called like them.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace asiochan::hardening {

// Files the player rows use; the test makes them.
struct CarelessFiles {
    std::string playable;   // a 16-bit mono WAV file
    std::string name199;    // 199 bytes, no such file
    std::string name200;    // 200 bytes (with its NUL: 201)
    std::string name4096;   // 4096 bytes
    std::string missing;    // a path that does not exist
    std::string directory;  // a folder
};

struct CarelessRow {
    std::string what;
    std::function<long long()> call;
    long long expected;
};

// What an application can see of the engine through the exports; a careless
// call must leave all of it as it was.
struct VisibleState {
    std::vector<long long> values;
    bool operator==(const VisibleState& other) const { return values == other.values; }
};

template <typename Api>
VisibleState visibleState(Api& api) {
    VisibleState s;
    auto& v = s.values;
    v.push_back(api.GetBufferSizeMax());
    v.push_back(api.GetBufferSizeMin());
    v.push_back(api.GetBufferSizePreferred());
    v.push_back(static_cast<long long>(api.GetCurrentSampleRate()));
    v.push_back(api.GetInputChannelCount());
    v.push_back(api.GetOutputChannelCount());
    v.push_back(api.GetInputLatency());
    v.push_back(api.GetOutputLatency());
    v.push_back(api.IsCaptureRunning());
    v.push_back(api.IsSingleInPlay());
    v.push_back(api.IsMultipleInPlay());
    for (std::uint32_t ch = 0; ch < 64; ++ch) {
        v.push_back(api.IsPortCaptureRunning(ch));
        v.push_back(api.IsPortPlaybackRunning(ch));
        v.push_back(api.IsCanSendNextPlaybackBuffer(ch));
    }
    return s;
}

template <typename R, typename A, typename B>
A firstParameterOf(R (*)(A, B));
template <typename R, typename A, typename B>
B secondParameterOf(R (*)(A, B));

// The rows. `scratch` is a buffer of at least 256 bytes the calls may be given;
// none of them may write to it, which the test checks.
template <typename Api>
std::vector<CarelessRow> carelessRows(Api& api, const CarelessFiles& files, std::uint8_t* scratch) {
    using Request = std::remove_const_t<std::remove_pointer_t<decltype(firstParameterOf(api.CaptureBuff))>>;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr float fnan = std::numeric_limits<float>::quiet_NaN();
    constexpr float finf = std::numeric_limits<float>::infinity();
    const std::uint32_t badChannels[] = {64, 65, 0x7fffffffu, 0x80000000u, 0xffffffffu};
    const std::int32_t outputs = api.GetOutputChannelCount();
    std::vector<CarelessRow> rows;
    auto add = [&](std::string what, std::function<long long()> call, long long expected) {
        rows.push_back(CarelessRow{std::move(what), std::move(call), expected});
    };

    // Installed drivers.
    for (std::int32_t index : {-1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()})
        add(
            "getAsioDriverName(" + std::to_string(index) + ")",
            [&api, index, scratch] { return api.getAsioDriverName(index, reinterpret_cast<char*>(scratch)); }, -5003);
    add(
        "getAsioDriverName(count)",
        [&api, scratch] { return api.getAsioDriverName(api.getAsioDriverCount(), reinterpret_cast<char*>(scratch)); },
        -5003);
    add(
        "getAsioDriverName(0, null)", [&api] { return api.getAsioDriverName(0, nullptr); }, -5001);
    add(
        "loadAsioDriver(null)", [&api] { return api.loadAsioDriver(nullptr); }, 0);
    add(
        "loadAsioDriver(\"\")", [&api] { return api.loadAsioDriver(""); }, 0);
    add(
        "loadAsioDriver(4096 bytes)", [&api, &files] { return api.loadAsioDriver(files.name4096.c_str()); }, 0);

    // Driver calls.
    add(
        "ASIOGetChannelInfo(null)", [&api] { return api.ASIOGetChannelInfo(nullptr); }, -998);

    // Sample rates: none of these reaches the driver, and the rate stays.
    for (double rate : {nan, inf, -inf, 0.0, -48000.0})
        add(
            "SetSampleRate(" + std::to_string(rate) + ")", [&api, rate] { return api.SetSampleRate(rate); }, -1000);

    // Capture.
    add(
        "SetCaptureBuffer(null)", [&api] { return api.SetCaptureBuffer(nullptr, 16, 0); }, -998);
    for (std::uint32_t ch : badChannels) {
        add(
            "SetCaptureBuffer(channel " + std::to_string(ch) + ")",
            [&api, ch, scratch] { return api.SetCaptureBuffer(scratch, 16, ch); }, -998);
        add(
            "IsPortCaptureRunning(" + std::to_string(ch) + ")", [&api, ch] { return api.IsPortCaptureRunning(ch); }, 0);
        add(
            "IsPortPlaybackRunning(" + std::to_string(ch) + ")", [&api, ch] { return api.IsPortPlaybackRunning(ch); },
            0);
        add(
            "IsCanSendNextPlaybackBuffer(" + std::to_string(ch) + ")",
            [&api, ch] { return api.IsCanSendNextPlaybackBuffer(ch); }, 0);
        add(
            "SetPlayBuffer(channel " + std::to_string(ch) + ")",
            [&api, ch, scratch] { return api.SetPlayBuffer(scratch, 16, ch); }, -998);
    }
    for (std::int32_t length : {-1, -4096, std::numeric_limits<std::int32_t>::min()}) {
        add(
            "SetCaptureBuffer(length " + std::to_string(length) + ")",
            [&api, length, scratch] { return api.SetCaptureBuffer(scratch, length, 0); }, -998);
        // A negative length cannot be allocated: nothing is handed over.
        add(
            "SetPlayBuffer(length " + std::to_string(length) + ")",
            [&api, length, scratch] { return api.SetPlayBuffer(scratch, length, 0); }, -994);
    }
    add(
        "SetPlayBuffer(null)", [&api] { return api.SetPlayBuffer(nullptr, 16, 0); }, -998);
    add(
        "CaptureBuff(null, 1)", [&api] { return api.CaptureBuff(nullptr, 1); }, -998);
    add(
        "CaptureBuff(null, -1)", [&api] { return api.CaptureBuff(nullptr, -1); }, -998);
    for (std::uint32_t ch : badChannels)
        add(
            "CaptureBuff(channel " + std::to_string(ch) + ")",
            [&api, ch, scratch] {
                const Request r{scratch, 16, ch};
                return api.CaptureBuff(&r, 1);
            },
            -998);
    add(
        "CaptureBuff(null buffer)",
        [&api] {
            const Request r{nullptr, 16, 0};
            return api.CaptureBuff(&r, 1);
        },
        -998);
    add(
        "CaptureBuff(length -1)",
        [&api, scratch] {
            const Request r{scratch, -1, 0};
            return api.CaptureBuff(&r, 1);
        },
        -998);
    add(
        "PlayBuff()", [&api] { return api.PlayBuff(); }, 0);

    // The stream: bad arguments are refused before the stream is looked at.
    add("OpenStream(null)", [&api] { return api.OpenStream(nullptr); }, -998);
    add("GetStreamState(null)", [&api] { return api.GetStreamState(nullptr); }, -998);
    add("ReadStream(count -1)", [&api, scratch] { return api.ReadStream(scratch, -1, 0, nullptr); }, -998);
    add("ReadStream(null frames)", [&api] { return api.ReadStream(nullptr, 1, 0, nullptr); }, -998);
    add("WriteStream(timeout -2)", [&api, scratch] { return api.WriteStream(scratch, 1, -2, nullptr); }, -998);
    add("PlayAndRecord(negative frames)",
        [&api, scratch] { return api.PlayAndRecord(nullptr, scratch, -1, scratch, 0, 0, nullptr); }, -998);

    // File players: bad channels, masks and names are refused before anything
    // starts.
    const std::uint32_t outputsU = outputs > 0 ? static_cast<std::uint32_t>(outputs) : 0u;
    for (std::uint32_t ch : {outputsU, 64u, 0xffffffffu})
        add(
            "SingleChanelPlayStart(channel " + std::to_string(ch) + ")",
            [&api, &files, ch] { return api.SingleChanelPlayStart(files.playable.c_str(), ch, 1); }, 0);
    std::vector<std::uint32_t> badMasks = {0u, 0xffffffffu, 0x80000000u};
    if (outputs > 0 && outputs < 32) badMasks.push_back(1u << outputs);
    for (std::uint32_t mask : badMasks) {
        add(
            "MultipleChanelPlayStart(mask " + std::to_string(mask) + ")",
            [&api, &files, mask] { return api.MultipleChanelPlayStart(files.playable.c_str(), mask, 1); }, 0);
        add(
            "MultipleChanelPlayStartMapped(mask " + std::to_string(mask) + ")",
            [&api, &files, mask] { return api.MultipleChanelPlayStartMapped(files.playable.c_str(), mask, 1); }, 0);
    }
    const std::pair<const char*, const std::string*> names[] = {{"199 bytes, missing", &files.name199},
                                                                {"200 bytes", &files.name200},
                                                                {"4096 bytes", &files.name4096},
                                                                {"missing", &files.missing},
                                                                {"a directory", &files.directory}};
    for (const auto& [label, name] : names) {
        const std::string* path = name;
        add(
            std::string("SingleChanelPlayStart(") + label + ")",
            [&api, path] { return api.SingleChanelPlayStart(path->c_str(), 0, 1); }, 0);
        add(
            std::string("MultipleChanelPlayStart(") + label + ")",
            [&api, path] { return api.MultipleChanelPlayStart(path->c_str(), 1, 1); }, 0);
        add(
            std::string("MultipleChanelPlayStartMapped(") + label + ")",
            [&api, path] { return api.MultipleChanelPlayStartMapped(path->c_str(), 1, 1); }, 0);
    }
    add(
        "SingleChanelPlayStart(null)", [&api] { return api.SingleChanelPlayStart(nullptr, 0, 0); }, 0);
    add(
        "MultipleChanelPlayStart(null)", [&api] { return api.MultipleChanelPlayStart(nullptr, 1, 0); }, 0);
    add(
        "MultipleChanelPlayStartMapped(null)", [&api] { return api.MultipleChanelPlayStartMapped(nullptr, 1, 0); }, 0);
    for (float volume : {fnan, finf, -finf, -0.5f, -std::numeric_limits<float>::min()}) {
        add(
            "SingleChanelSetVolume(" + std::to_string(volume) + ")",
            [&api, volume] { return api.SingleChanelSetVolume(volume); }, 0);
        add(
            "MultipleChanelSetVolume(" + std::to_string(volume) + ")",
            [&api, volume] { return api.MultipleChanelSetVolume(volume); }, 0);
    }
    return rows;
}

}  // namespace asiochan::hardening
