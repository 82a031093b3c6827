#include "wav/interleave.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cli {

namespace {
// Frames go out in tiles of about 256 KiB, which stay in the second-level cache:
// within a tile, channel by channel, every source is read in one run of a
// kilobyte or more (long enough for the processor to fetch it ahead, even from 64
// sources), and the stores of one pass land one frame apart. The width is a
// constant here, so each copy is a plain move.
constexpr std::size_t kTileBytes = 256 * 1024;

template <std::size_t Width>
void interleaveWidth(const std::uint8_t* const* sources, std::size_t channels, std::size_t first, std::size_t frames,
                     std::uint8_t* out) {
    const std::size_t frameBytes = Width * channels;
    const std::size_t tile = kTileBytes / frameBytes > 0 ? kTileBytes / frameBytes : 1;
    for (std::size_t start = 0; start < frames; start += tile) {
        const std::size_t n = frames - start < tile ? frames - start : tile;
        std::uint8_t* tileOut = out + start * frameBytes;
        for (std::size_t c = 0; c < channels; ++c) {
            const std::uint8_t* from = sources[c] + (first + start) * Width;
            std::uint8_t* to = tileOut + c * Width;
            for (std::size_t i = 0; i < n; ++i) std::memcpy(to + i * frameBytes, from + i * Width, Width);
        }
    }
}

#if defined(__SSE2__)
// `groups` runs of four channels of 4-byte samples, four frames at a time: a 4x4
// transpose in registers per run, each frame's samples of a run stored with one
// move. Two runs a pass (32 bytes of a frame at once) read eight sources side by
// side, which the processor still fetches ahead well.
void interleaveFours(const std::uint8_t* const* sources, std::size_t groups, std::size_t first, std::size_t frames,
                     std::size_t frameBytes, std::uint8_t* out) {
    std::size_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        for (std::size_t g = 0; g < groups; ++g) {
            const std::uint8_t* const* s = sources + 4 * g;
            const std::size_t at = (first + i) * 4;
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[0] + at));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[1] + at));
            const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[2] + at));
            const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[3] + at));
            const __m128i ab01 = _mm_unpacklo_epi32(va, vb), cd01 = _mm_unpacklo_epi32(vc, vd);
            const __m128i ab23 = _mm_unpackhi_epi32(va, vb), cd23 = _mm_unpackhi_epi32(vc, vd);
            std::uint8_t* to = out + i * frameBytes + 16 * g;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi64(ab01, cd01));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + frameBytes), _mm_unpackhi_epi64(ab01, cd01));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 2 * frameBytes), _mm_unpacklo_epi64(ab23, cd23));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 3 * frameBytes), _mm_unpackhi_epi64(ab23, cd23));
        }
    }
    for (; i < frames; ++i)
        for (std::size_t k = 0; k < 4 * groups; ++k)
            std::memcpy(out + i * frameBytes + k * 4, sources[k] + (first + i) * 4, 4);
}

// 4-byte samples: eight or four channels at a time in registers, the rest one by
// one.
template <>
void interleaveWidth<4>(const std::uint8_t* const* sources, std::size_t channels, std::size_t first, std::size_t frames,
                        std::uint8_t* out) {
    const std::size_t frameBytes = 4 * channels;
    const std::size_t tile = kTileBytes / frameBytes > 0 ? kTileBytes / frameBytes : 1;
    for (std::size_t start = 0; start < frames; start += tile) {
        const std::size_t n = frames - start < tile ? frames - start : tile;
        std::uint8_t* tileOut = out + start * frameBytes;
        std::size_t c = 0;
        for (; c + 8 <= channels; c += 8)
            interleaveFours(sources + c, 2, first + start, n, frameBytes, tileOut + c * 4);
        for (; c + 4 <= channels; c += 4)
            interleaveFours(sources + c, 1, first + start, n, frameBytes, tileOut + c * 4);
        for (; c < channels; ++c)
            for (std::size_t i = 0; i < n; ++i)
                std::memcpy(tileOut + i * frameBytes + c * 4, sources[c] + (first + start + i) * 4, 4);
    }
}
#endif

void interleaveAny(const std::uint8_t* const* sources, std::size_t channels, std::size_t width, std::size_t first,
                   std::size_t frames, std::uint8_t* out) {
    const std::size_t frameBytes = width * channels;
    for (std::size_t c = 0; c < channels; ++c)
        for (std::size_t i = 0; i < frames; ++i)
            std::memcpy(out + i * frameBytes + c * width, sources[c] + (first + i) * width, width);
}
}  // namespace

void interleave(const std::uint8_t* const* sources, std::size_t channels, std::size_t width, std::size_t first,
                std::size_t frames, std::uint8_t* out) {
    if (channels == 1) {
        std::memcpy(out, sources[0] + first * width, frames * width);
        return;
    }
    switch (width) {
        case 2:
            return interleaveWidth<2>(sources, channels, first, frames, out);
        case 3:
            return interleaveWidth<3>(sources, channels, first, frames, out);
        case 4:
            return interleaveWidth<4>(sources, channels, first, frames, out);
        case 8:
            return interleaveWidth<8>(sources, channels, first, frames, out);
        default:
            return interleaveAny(sources, channels, width, first, frames, out);
    }
}

}  // namespace cli
