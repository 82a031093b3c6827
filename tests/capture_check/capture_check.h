// Checks a WAV or RF64 capture of the simulated driver's inputs against the
// pattern the driver feeds them, every byte of every channel, streaming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace asiochan::capture_check {

// Bytes of one period of the driver whose captures this checks (1024 frames of
// 32-bit samples): a capture starts at a whole period of each input's stream.
constexpr std::uint64_t kPeriodBytes = 4096;

// The file at `path` holds interleaved 32-bit samples, its i-th channel input
// `inputs[i]`. Each channel's stream offset at the first frame is found from its
// first samples: the first whole period whose pattern they continue. The pattern
// comes back in other periods of the stream (its first repeats of 16 periods lie
// some 16 000 periods on), so a capture that began after that in the driver's run
// may be taken for one that began earlier, and then fail where the two part.
// Every later byte must continue the pattern from there. Reports
// to `out`: frames checked and the first mismatch. 0 when every byte matched,
// 1 at a mismatch (or a data chunk longer than the file), 2 when the file is no
// such capture (not RIFF/RF64 WAVE, other channels or sample width, no pattern).
int checkCapture(const char* path, const std::vector<std::int32_t>& inputs, std::FILE* out);

}  // namespace asiochan::capture_check
