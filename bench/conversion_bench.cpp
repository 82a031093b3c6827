// Throughput of the players' sample conversion for 16- and 24-bit stereo files,
// beside a baseline that only reads the same file into memory. Compare the
// bytes_per_second of each conversion with its baseline in the same run:
//   Baseline_ReadIntoMemory/<bits>  the file read whole with one request
//   Convert_Int32LSB/<bits>         the players' path: values, laid out as Int32LSB
//   Convert_Float32LSB/<bits>       the same, laid out as Float32LSB
//   Convert_Int24MSB/<bits>         the same, through the values and a layout of
//                                   their own (every type but the two above)
//   Convert_ByteRequests/<bits>     one read request per byte, for reference
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fileplay/sample_conversion.h"
#include "fileplay/sample_layout.h"
#include "fileplay/wav_header.h"

using namespace asiochan;

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kSeconds = 10;
constexpr std::uint32_t kChannels = 2;

void put(std::FILE* f, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), f);
}

// A stereo test file of ten seconds of pseudo-random samples, made once per width.
const std::string& stereoFile(std::uint16_t bits) {
    static std::string paths[4];
    std::string& path = paths[bits / 8];
    if (!path.empty()) return path;
    path = (std::filesystem::temp_directory_path() /
            ("asiochan-bench-" + std::to_string(::getpid()) + "-" + std::to_string(bits) + ".wav"))
               .string();
    const std::uint32_t width = bits / 8u;
    const std::uint32_t length = kRate * kSeconds * kChannels * width;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("RIFF", f);
    put(f, 36 + length, 4);
    std::fputs("WAVEfmt ", f);
    put(f, 16, 4);
    put(f, 1, 2);
    put(f, kChannels, 2);
    put(f, kRate, 4);
    put(f, kRate * kChannels * width, 4);
    put(f, kChannels * width, 2);
    put(f, bits, 2);
    std::fputs("data", f);
    put(f, length, 4);
    std::uint32_t x = 12345;
    for (std::uint32_t i = 0; i < length; ++i) {
        x = x * 1664525u + 1013904223u;
        std::fputc(static_cast<int>(x >> 24), f);
    }
    std::fclose(f);
    std::atexit([] {
        for (auto& p : paths)
            if (!p.empty()) std::remove(p.c_str());
    });
    return path;
}

WavHeader headerOf(const std::string& path) {
    WavHeader h;
    readWavHeader(path.c_str(), h);
    return h;
}

void Baseline_ReadIntoMemory(benchmark::State& state) {
    const std::string& path = stereoFile(static_cast<std::uint16_t>(state.range(0)));
    const auto size = std::filesystem::file_size(path);
    std::vector<std::uint8_t> memory(size);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        const std::size_t got = std::fread(memory.data(), 1, memory.size(), f);
        std::fclose(f);
        benchmark::DoNotOptimize(got);
        benchmark::DoNotOptimize(memory.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// Two-second blocks of values, each laid out in `type`, as a player does.
void convertInto(benchmark::State& state, ASIOSampleType type) {
    const std::string& path = stereoFile(static_cast<std::uint16_t>(state.range(0)));
    const WavHeader h = headerOf(path);
    const std::uint32_t width = h.bit_samp / 8u;
    const std::size_t frames = h.length / (width * h.channels);
    const std::size_t blockFrames = std::size_t{h.samp_freq} * 2;
    std::vector<std::uint8_t> block(blockFrames * sampleLayoutWidth(type));
    std::atomic<float> volume{0.7f};
    FrameConverter converter;
    converter.init(width, h.channels);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, h.dataOffset, SEEK_SET);
        converter.reset(f);
        for (std::size_t done = 0; done < frames; done += blockFrames) {
            const FrameConverter::Target target{type, block.data()};
            converter.convertInto(&target, 1, std::min(blockFrames, frames - done), volume);
            benchmark::DoNotOptimize(block.data());
        }
        std::fclose(f);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void Convert_Int32LSB(benchmark::State& state) { convertInto(state, ASIOSTInt32LSB); }
void Convert_Float32LSB(benchmark::State& state) { convertInto(state, ASIOSTFloat32LSB); }
void Convert_Int24MSB(benchmark::State& state) { convertInto(state, ASIOSTInt24MSB); }

void Convert_ByteRequests(benchmark::State& state) {
    const std::string& path = stereoFile(static_cast<std::uint16_t>(state.range(0)));
    const WavHeader h = headerOf(path);
    const std::uint32_t width = h.bit_samp / 8u;
    const std::size_t frames = h.length / (width * h.channels);
    const std::size_t blockFrames = std::size_t{h.samp_freq} * 2;
    std::vector<std::uint8_t> block(blockFrames * kOutputSampleBytes);
    std::atomic<float> volume{0.7f};
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, h.dataOffset, SEEK_SET);
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(blockFrames, frames - done);
            for (std::size_t i = 0; i < n; ++i) {
                std::uint8_t sample[3] = {};
                for (std::uint32_t b = 0; b < width; ++b) sample[b] = static_cast<std::uint8_t>(std::fgetc(f));
                for (std::uint32_t b = width; b < width * h.channels; ++b) std::fgetc(f);
                writeOutputSample(fileSampleValue(sample, width), volume.load(std::memory_order_relaxed), width,
                                  &block[i * kOutputSampleBytes]);
            }
            benchmark::DoNotOptimize(block.data());
            done += n;
        }
        std::fclose(f);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

}  // namespace

BENCHMARK(Baseline_ReadIntoMemory)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(Convert_Int32LSB)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(Convert_Float32LSB)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(Convert_Int24MSB)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(Convert_ByteRequests)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
