#include "resumable_capture.h"

#include <algorithm>
#include <cstdio>

#include "asiochan.h"

namespace cli {

namespace {
// The library captures whole periods from the start of an armed buffer and does
// not say how far it got. The part not yet captured is filled with this mark
// after arming and before the start: the first whole period that still holds it
// is where the capture stopped. Audio that repeats a period of it is not
// plausible.
std::uint8_t mark(std::size_t at) {
    std::uint32_t x = static_cast<std::uint32_t>(at) * 0x9E3779B1u;
    x ^= x >> 15;
    x *= 0x85EBCA6Bu;
    return static_cast<std::uint8_t>(x >> 24);
}
}  // namespace

void ResumableCapture::hold(std::uint32_t, std::int32_t frames) {
    periodBytes_ = static_cast<std::size_t>(frames > 0 ? frames : 0) * static_cast<std::size_t>(width_);
}

bool ResumableCapture::resume() {
    settle(periodBytes_);
    // The capture goes on in one file only while the input's sample type and the
    // rate stay what its first part had.
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(channel_);
    info.isInput = 1;
    if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK || info.type != type_ || GetCurrentSampleRate() != rate_) {
        std::fprintf(stderr,
                     "error: after its reset the driver changed the format of input %u; the capture ends here\n",
                     unsigned(channel_));
        return false;
    }
    if (complete()) return true;
    const std::int32_t rearmed = arm();
    if (rearmed == ASIOCHAN_OK) return true;
    std::fprintf(stderr, "error: input channel %u could not be armed again (code %d)\n", unsigned(channel_),
                 int(rearmed));
    return false;
}

std::int32_t ResumableCapture::arm() {
    const std::size_t left = bytes_.size() - captured_;
    const std::int32_t armed = SetCaptureBuffer(bytes_.data() + captured_, static_cast<std::int32_t>(left), channel_);
    if (armed != ASIOCHAN_OK) return armed;
    // No period writes the buffer before StartCapture.
    for (std::size_t i = captured_; i < bytes_.size(); ++i) bytes_[i] = mark(i);
    marked_ = true;
    StartCapture();
    return armed;
}

void ResumableCapture::settle(std::size_t periodBytes) {
    if (!marked_) return;
    marked_ = false;
    std::size_t at = captured_;
    for (; periodBytes > 0 && at < bytes_.size(); at += periodBytes) {
        const std::size_t end = std::min(bytes_.size(), at + periodBytes);
        bool untouched = true;
        for (std::size_t i = at; i < end && untouched; ++i) untouched = bytes_[i] == mark(i);
        if (untouched) break;
    }
    captured_ = std::min(at, bytes_.size());
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(captured_), bytes_.end(), std::uint8_t{0});
}

}  // namespace cli
