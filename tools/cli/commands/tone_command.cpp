#include <cmath>
#include <cstdio>

#include "commands/command_requests.h"
#include "commands/commands.h"
#include "streaming/session.h"
#include "wav/wav_file.h"

namespace cli {

int runTone(const Arguments& args) {
    ToneRequest req;
    if (!parseTone(args, &req)) return kExitUsage;
    const double seconds = req.seconds, hz = req.hz, rate = req.rate;
    const unsigned channels = req.channels;
    // Channel c sounds at (c + 1) times the frequency, so each channel can be told apart.
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(frames * 2 * channels);
    const double pi = 3.14159265358979323846;
    for (std::size_t i = 0; i < frames; ++i) {
        for (unsigned c = 0; c < channels; ++c) {
            const auto v = static_cast<std::int16_t>(
                std::lround(16000.0 * std::sin(2.0 * pi * hz * (c + 1) * static_cast<double>(i) / rate)));
            bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
    }
    std::string error;
    if (!writeWav(req.out, 1, static_cast<std::uint32_t>(rate), 16, bytes, &error,
                  static_cast<std::uint16_t>(channels))) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s: %.1f s of %.0f Hz at %.0f Hz, 16 bits", req.out.c_str(), seconds, hz, rate);
    if (channels > 1) std::printf(", %u channels (channel c at c+1 times the frequency)", channels);
    std::printf("\n");
    return kExitOk;
}

}  // namespace cli
