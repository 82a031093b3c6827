#include "simdriver/core/typed_sine.h"

#include <cmath>
#include <cstring>

namespace asiochan::sim {

void fillTypedSine(ASIOSampleType type, std::uint64_t first, std::size_t count, double rate, std::uint8_t* out) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr || t->bytes == 0 || !(rate > 0)) return;
    const bool isFloat = t->encoding == SampleEncoding::Float;
    // An integer's full scale is 2^(bits - 1); the sine's peak is half of it.
    const double scale = isFloat ? 1.0 : std::ldexp(1.0, static_cast<int>(t->bits) - 1);
    const double top = scale - 1.0;
    for (std::size_t i = 0; i < count; ++i) {
        // The phase from the sample number in whole cycles of the rate, so that it
        // stays exact however long the driver runs.
        const double cycle = std::fmod(kTypedSineHz * static_cast<double>(first + i), rate) / rate;
        const double x = kTypedSineAmplitude * std::sin(2.0 * 3.14159265358979323846 * cycle);
        std::uint64_t word = 0;
        if (isFloat && t->bytes == 4) {
            const auto f = static_cast<float>(x);
            std::uint32_t b;
            std::memcpy(&b, &f, 4);
            word = b;
        } else if (isFloat) {
            std::memcpy(&word, &x, 8);
        } else {
            const double q = std::nearbyint(x * scale);
            word = static_cast<std::uint64_t>(static_cast<std::int64_t>(q > top ? top : q));  // sign-extended
        }
        std::uint8_t* sample = out + i * t->bytes;
        for (std::uint32_t b = 0; b < t->bytes; ++b) {
            const std::uint32_t at = t->order == ByteOrder::Msb ? t->bytes - 1 - b : b;
            sample[at] = static_cast<std::uint8_t>(word >> (8 * b));
        }
    }
}

}  // namespace asiochan::sim
