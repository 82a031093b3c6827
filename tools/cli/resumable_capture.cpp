#include "resumable_capture.h"

#include <algorithm>
#include <cstdio>

#include "asiochan.h"

namespace cli {

namespace {
// The library captures whole periods from the start of an armed buffer and does
// not say how far it got. The part not yet captured is filled with this mark
// before arming: the first whole period that still holds it is where the capture
// stopped. Arming clears the part's first byte, which is left out of the test.
// Audio that repeats a period of the mark is not plausible.
std::uint8_t mark(std::size_t at) {
    std::uint32_t x = static_cast<std::uint32_t>(at) * 0x9E3779B1u;
    x ^= x >> 15;
    x *= 0x85EBCA6Bu;
    return static_cast<std::uint8_t>(x >> 24);
}
}  // namespace

std::int32_t ResumableCapture::arm() {
    std::vector<CaptureRequest> requests;
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        std::vector<std::uint8_t>& buffer = buffers_[i];
        const std::size_t from = std::min(captured_, buffer.size());
        for (std::size_t at = from; at < buffer.size(); ++at) buffer[at] = mark(at);
        requests.push_back({buffer.data() + from, static_cast<std::int32_t>(buffer.size() - from), inputs_[i]});
    }
    marked_ = true;
    periodBytes_ = static_cast<std::size_t>(std::max<std::int32_t>(GetBufferSizePreferred(), 0)) *
                   static_cast<std::size_t>(width_);
    // All inputs armed before the one start: they record from the same period on.
    return CaptureBuff(requests.data(), static_cast<std::int32_t>(requests.size()));
}

bool ResumableCapture::running() const {
    for (unsigned input : inputs_)
        if (IsPortCaptureRunning(input)) return true;
    return false;
}

std::size_t ResumableCapture::reached(const std::vector<std::uint8_t>& buffer, std::size_t periodBytes) const {
    std::size_t at = captured_;
    for (; periodBytes > 0 && at < buffer.size(); at += periodBytes) {
        const std::size_t end = std::min(buffer.size(), at + periodBytes);
        bool untouched = true;
        for (std::size_t i = at; i < end && untouched; ++i) untouched = i == captured_ || buffer[i] == mark(i);
        if (untouched) break;
    }
    return std::min(at, buffer.size());
}

void ResumableCapture::settle() {
    if (!marked_) return;
    marked_ = false;
    // The inputs recorded the same periods; a period any of them holds was recorded.
    std::size_t end = captured_;
    for (const std::vector<std::uint8_t>& buffer : buffers_) end = std::max(end, reached(buffer, periodBytes_));
    captured_ = end;
    for (std::vector<std::uint8_t>& buffer : buffers_)
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(std::min(captured_, buffer.size())), buffer.end(),
                  std::uint8_t{0});
}

bool ResumableCapture::resume() {
    settle();
    // The capture goes on in one file only while the inputs' sample type and the
    // rate stay what its first part had.
    for (unsigned input : inputs_) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(input);
        info.isInput = 1;
        if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK || info.type != type_ || GetCurrentSampleRate() != rate_) {
            std::fprintf(stderr,
                         "error: after its reset the driver changed the format of input %u; the capture ends here\n",
                         input);
            return false;
        }
    }
    if (complete()) return true;
    const std::int32_t rearmed = arm();
    if (rearmed == ASIOCHAN_OK) return true;
    std::fprintf(stderr, "error: the inputs could not be armed again (code %d)\n", int(rearmed));
    return false;
}

}  // namespace cli
