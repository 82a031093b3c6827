// The capture writer's throughput against the disk's: 64 inputs of 4-byte
// samples, one buffer each of half a second, interleaved into a WAV file,
// beside a plain write of the same bytes, already interleaved, to the same disk.
// Compare their bytes_per_second in the same run; the disk and a shared machine
// are noisy, so take the medians of interleaved repetitions:
//   asiochan_bench --benchmark_filter='Baseline_SequentialWrite|CaptureWriter'
//       --benchmark_repetitions=6 --benchmark_enable_random_interleaving=true
//   Baseline_SequentialWrite  the bytes written in buffer-sized requests
//   CaptureWriter             the writer's path: interleaving, writing, header
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "wav/raw_file.h"
#include "wav/wav_writer.h"

namespace {

constexpr std::size_t kInputs = 64;
constexpr std::size_t kWidth = 4;
constexpr std::size_t kSetFrames = 24576;  // 24 periods of 1024 frames, half a second at 48 kHz
constexpr std::size_t kSetBytes = kInputs * kWidth * kSetFrames;
constexpr std::size_t kSetsPerFile = 11;  // about 66 MiB a file

std::string benchFile() {
    return (std::filesystem::temp_directory_path() / ("asiochan-writer-bench-" + std::to_string(::getpid()) + ".wav"))
        .string();
}

void Baseline_SequentialWrite(benchmark::State& state) {
    const std::string path = benchFile();
    std::vector<std::uint8_t> bytes(kSetBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
    std::string error;
    for (auto _ : state) {
        cli::RawFile file;
        if (!file.create(path, &error)) state.SkipWithError(error.c_str());
        for (std::size_t s = 0; s < kSetsPerFile; ++s) file.write(bytes.data(), bytes.size(), &error);
        file.close();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSetsPerFile * kSetBytes));
    std::remove(path.c_str());
}

void CaptureWriter(benchmark::State& state) {
    const std::string path = benchFile();
    std::vector<std::vector<std::uint8_t>> inputs(kInputs, std::vector<std::uint8_t>(kSetFrames * kWidth));
    std::vector<const std::uint8_t*> sources;
    for (std::size_t c = 0; c < kInputs; ++c) {
        for (std::size_t i = 0; i < inputs[c].size(); ++i) inputs[c][i] = static_cast<std::uint8_t>(i * 31 + c);
        sources.push_back(inputs[c].data());
    }
    const cli::WavFormat format{1, static_cast<std::uint16_t>(kInputs), 48000, 32};
    for (auto _ : state) {
        cli::WavWriter writer;
        if (!writer.open(path, format, true)) state.SkipWithError(writer.error().c_str());
        for (std::size_t s = 0; s < kSetsPerFile; ++s) writer.writeChannels(sources.data(), 0, kSetFrames);
        if (!writer.close()) state.SkipWithError(writer.error().c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSetsPerFile * kSetBytes));
    std::remove(path.c_str());
}

BENCHMARK(Baseline_SequentialWrite)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CaptureWriter)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
