// A Windows test host for running asiochan.dll against a driver built elsewhere
// (WineASIO over JACK). Under that driver the process exit code reads 0 whatever
// the program returns, so every command ends with one line the suite judges:
//   RESULT: PASS <details>   or   RESULT: FAIL <reason>
//
//   wineasio_host roundtrip DRIVER PERIOD   Float32 samples out of output 0, back on
//                                           input 0, in periods of PERIOD frames
//   wineasio_host cycles DRIVER N    N load/Initialize/Prepare/Finish/release cycles
//
// roundtrip writes the file "ready" once its run is prepared (the driver's ports
// exist then) and waits for the file "connected": the suite connects output 0 to
// input 0 in between.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "asiochan.h"

namespace {

constexpr std::int32_t kFloat32Lsb = 19;

std::string failure;  // the first failed check; empty while all passed

bool check(bool ok, const std::string& what) {
    if (!ok && failure.empty()) failure = what;
    return ok;
}

int finish(const std::string& details) {
    if (failure.empty()) {
        std::printf("RESULT: PASS %s\n", details.c_str());
    } else {
        std::printf("RESULT: FAIL %s\n", failure.c_str());
    }
    std::fflush(stdout);
    return failure.empty() ? 0 : 1;
}

bool waitFor(bool (*condition)(), int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 5) {
        if (condition()) return true;
        Sleep(5);
    }
    return condition();
}

bool openRun(const char* driver) {
    if (!check(loadAsioDriver(driver) == 1, std::string("loadAsioDriver(\"") + driver + "\") failed")) return false;
    const std::int32_t init = Initialize();
    if (!check(init == ASIOCHAN_OK, "Initialize answered " + std::to_string(init))) return false;
    const std::int32_t prepared = Prepare();
    return check(prepared == ASIOCHAN_OK, "Prepare answered " + std::to_string(prepared));
}

void closeRun() {
    const std::int32_t finished = Finish();
    check(finished == ASIOCHAN_OK, "Finish answered " + std::to_string(finished));
    releaseAsioDriver();
}

std::int32_t channelType(bool input, std::int32_t channel) {
    AsiochanChannelInfo info{};
    info.channel = channel;
    info.isInput = input ? 1 : 0;
    return ASIOGetChannelInfo(&info) == ASIOCHAN_OK ? info.type : -1;
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Random full-scale floats: every mantissa bit is exercised, so a conversion or
// a scaling anywhere on the way shows as a changed bit pattern. Never 0.0, so the
// signal's first sample marks where it begins in the capture.
std::vector<float> signal(std::size_t frames) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    std::vector<float> samples(frames);
    for (auto& s : samples) {
        do s = spread(random);
        while (s == 0.0f);
    }
    return samples;
}

int roundTrip(const char* driver, std::int32_t expectedPeriod) {
    if (!openRun(driver)) return finish("");
    const std::int32_t period = GetBufferSizePreferred();
    check(period == expectedPeriod,
          "the driver's period is " + std::to_string(period) + " frames, not " + std::to_string(expectedPeriod));
    check(channelType(false, 0) == kFloat32Lsb && channelType(true, 0) == kFloat32Lsb,
          "channel 0 is not Float32LSB in both directions");
    std::fclose(std::fopen("ready", "w"));
    if (!check(waitFor([] { return GetFileAttributesA("connected") != INVALID_FILE_ATTRIBUTES; }, 10000),
               "the loopback was not connected within 10 s")) {
        closeRun();
        return finish("");
    }

    // Three blocks whose seams fall inside periods (no size is a multiple of 128
    // frames), each long enough (0.1 s or more) for this polling host to queue the
    // next one in time on a busy machine; the capture runs on past the signal's end.
    const std::size_t blocks[] = {4801, 9613, 7777};
    const std::size_t total = blocks[0] + blocks[1] + blocks[2];
    const std::size_t margin = 8 * std::size_t(period);
    const std::vector<float> played = signal(total);
    std::vector<float> captured(total + margin, 0.0f);

    check(SetCaptureBuffer(captured.data(), std::int32_t(captured.size() * sizeof(float)), 0) == ASIOCHAN_OK,
          "SetCaptureBuffer failed");
    std::size_t queued = 0;
    auto queueNext = [&](std::size_t block) {
        const auto bytes = std::int32_t(blocks[block] * sizeof(float));
        check(SetPlayBuffer(played.data() + queued, bytes, 0) == ASIOCHAN_OK, "SetPlayBuffer failed");
        queued += blocks[block];
    };
    queueNext(0);
    StartCapture();
    StartPlayback();
    for (std::size_t next = 1; next < 3; ++next) {
        if (!check(waitFor([] { return IsCanSendNextPlaybackBuffer(0) != 0; }, 5000), "the play queue stayed full"))
            break;
        queueNext(next);
    }
    check(waitFor([] { return IsPortCaptureRunning(0) == 0; }, 10000), "the capture did not complete within 10 s");
    StopPlayback();
    StopCapture();
    closeRun();
    if (!failure.empty()) return finish("");

    // The signal must come back once, whole, at one delay: silence before it,
    // every frame bit for bit, silence after it (nothing repeated or left over).
    std::size_t delay = 0;
    while (delay < margin && captured[delay] == 0.0f) ++delay;
    if (!check(delay < margin, "nothing came back on input 0")) return finish("");
    // The loopback delays by whole periods: one, or two when a period began between
    // StartCapture and StartPlayback. Any other delay means frames were lost or added.
    if (!check(delay == std::size_t(period) || delay == 2 * std::size_t(period),
               "delay of " + std::to_string(delay) + " frames is not one or two periods"))
        return finish("");
    for (std::size_t i = 0; i < total; ++i) {
        if (bitsOf(captured[delay + i]) != bitsOf(played[i])) {
            check(false, "frame " + std::to_string(i) + " differs at delay " + std::to_string(delay) +
                             (captured[delay + i] == 0.0f ? " (silence: a gap in the playback)" : ""));
            return finish("");
        }
    }
    for (std::size_t i = delay + total; i < captured.size(); ++i) {
        if (!check(captured[i] == 0.0f, "non-silent frame " + std::to_string(i) + " after the signal"))
            return finish("");
    }
    return finish("period " + std::to_string(period) + ", " + std::to_string(total) + " frames exact, delay " +
                  std::to_string(delay) + " frames");
}

int cycles(const char* driver, int count) {
    std::vector<float> captured(64);
    for (int cycle = 1; cycle <= count && failure.empty(); ++cycle) {
        const std::string tag = "cycle " + std::to_string(cycle) + ": ";
        if (!openRun(driver)) {
            failure = tag + failure;
            break;
        }
        // A short capture proves the driver calls this run back.
        check(SetCaptureBuffer(captured.data(), std::int32_t(captured.size() * sizeof(float)), 0) == ASIOCHAN_OK,
              tag + "SetCaptureBuffer failed");
        StartCapture();
        check(waitFor([] { return IsPortCaptureRunning(0) == 0; }, 5000), tag + "no period within 5 s");
        closeRun();
    }
    return finish(std::to_string(count) + " cycles");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "roundtrip" && argc == 4) return roundTrip(argv[2], std::atoi(argv[3]));
    if (command == "cycles" && argc == 4) return cycles(argv[2], std::atoi(argv[3]));
    std::printf("usage: wineasio_host roundtrip DRIVER PERIOD | cycles DRIVER N\nRESULT: FAIL bad arguments\n");
    return 2;
}
