#include "streaming/streaming_capture.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "asiochan.h"
#include "streaming/run_outcome.h"
#include "wav/sample_codec.h"

namespace cli {

namespace {
constexpr DWORD kWriterPollMs = 2;
// How long a restart waits for the writer to write what the last run captured.
constexpr DWORD kDrainMs = 30000;
}  // namespace

bool StreamingCapture::arm() {
    const auto period = static_cast<std::size_t>(std::max<std::int32_t>(GetBufferSizePreferred(), 1));
    const SetPlan plan = planSets(shape_.inputs.size(), static_cast<std::size_t>(shape_.width), shape_.rate, period);
    if (!sets_.layout(plan, shape_.inputs.size(), static_cast<std::size_t>(shape_.width))) {
        std::fprintf(stderr, "error: no memory for the capture's buffers\n");
        return false;
    }
    const std::uint64_t base = pump_.frames();
    runBase_ = base;
    const std::int32_t queued = pump_.begin(base, frames_ - std::min(frames_, base));
    if (queued != ASIOCHAN_OK || pump_.failed()) {
        std::fprintf(stderr, "error: %s\n", pump_.failure().c_str());
        return false;
    }
    running_ = true;
    return true;
}

bool StreamingCapture::start() {
    if (!writer_.started() && !writer_.start([this] { writeLoop(); })) {
        std::fprintf(stderr, "error: no thread for the capture's writer\n");
        return false;
    }
    if (!pump_.startThread()) {
        std::fprintf(stderr, "error: no thread for the capture's queue\n");
        return false;
    }
    return true;
}

bool StreamingCapture::running() const {
    return running_ && !pump_.complete() && !pump_.failed() && !writeFailed_.load(std::memory_order_acquire);
}

std::string StreamingCapture::failure() const {
    if (writeFailed_.load(std::memory_order_acquire)) return file_.error();
    return pump_.failed() ? pump_.failure() : std::string();
}

void StreamingCapture::write(const CaptureSets::Handoff& handoff) {
    if (writeFailed_.load(std::memory_order_relaxed)) return;
    if (handoff.zeros > 0) file_.writeSilence(handoff.zeros);
    if (handoff.frames > 0 && handoff.set != CaptureSets::kNoSet) {
        std::uint8_t* const* buffers = sets_.buffers(handoff.set);
        for (std::size_t i = 0; i < shape_.inputs.size(); ++i)
            toWavLayout(buffers[i], static_cast<std::size_t>(handoff.frames), shape_.type);
        file_.writeChannels(buffers, 0, static_cast<std::size_t>(handoff.frames));
    }
    written_.store(file_.dataBytes(), std::memory_order_release);
    if (file_.failed()) writeFailed_.store(true, std::memory_order_release);
}

void StreamingCapture::writeLoop() {
    for (;;) {
        // Read before looking for work: once closing, no handoff comes any more.
        const bool closing = closing_.load(std::memory_order_acquire);
        CaptureSets::Handoff handoff;
        if (sets_.take(&handoff)) {
            write(handoff);
            sets_.giveBack(handoff);
        } else if (closing) {
            return;
        } else {
            Sleep(kWriterPollMs);
        }
    }
}

void StreamingCapture::stopRun() {
    if (!running_) return;
    running_ = false;
    pump_.stopThread();
    StopCapture();
    pump_.finish();
}

void StreamingCapture::end() {
    stopRun();
    closing_.store(true, std::memory_order_release);
    writer_.join();
    if (cut_ > 0 && !cutDone_ && file_.frames() > cut_) file_.cutTo(file_.frames() - cut_);
    cutDone_ = true;
}

bool StreamingCapture::waitForWriter() {
    const DWORD begin = GetTickCount();
    while (!sets_.drained()) {
        if (GetTickCount() - begin > kDrainMs) {
            std::fprintf(stderr, "error: the capture's writer did not write the last run's buffers within %u s\n",
                         unsigned(kDrainMs / 1000));
            return false;
        }
        Sleep(kWriterPollMs);
    }
    return true;
}

void StreamingCapture::hold(const RunBreak& at) {
    stopRun();
    if (!at.newRate) return;
    // Every period counted after `at.periods` up to now may have captured at the
    // new rate: that many periods' frames go, at most this run's (a period counted
    // after the stop costs a few old frames, never lets a new one in).
    newRate_ = true;
    const std::uint64_t after = std::uint64_t{GetPeriodCount() - at.periods} * std::uint64_t(std::max(at.frames, 0));
    cut_ = std::min(after, pump_.frames() - runBase_);
}

bool StreamingCapture::resume() {
    if (newRate_) {
        std::fprintf(stderr, "%s\n", rateChangeEnd(shape_.rate, GetCurrentSampleRate()).c_str());
        return false;
    }
    // The capture goes on in one file only while the inputs' sample type and the
    // rate stay what its first part had.
    for (unsigned input : shape_.inputs) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(input);
        info.isInput = 1;
        if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK || info.type != shape_.type ||
            GetCurrentSampleRate() != shape_.rate) {
            std::fprintf(stderr,
                         "error: after its reset the driver changed the format of input %u; the capture ends here\n",
                         input);
            return false;
        }
    }
    if (pump_.complete()) return true;
    // The buffers are laid out again for the new period size once the writer has them all back.
    if (!waitForWriter() || !arm()) return false;
    StartCapture();
    return pump_.startThread();
}

}  // namespace cli
