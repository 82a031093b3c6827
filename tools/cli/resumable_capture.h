// An aligned capture of one or more inputs, one buffer each, that outlives
// restarts of the run: every part arms all inputs with one CaptureBuff on the
// rest of their buffers, so sample k of every buffer is the same instant; after a
// restart the part that was stopped is measured, so the next one carries on
// where it ended, in every buffer alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "resumable.h"

namespace cli {

class ResumableCapture : public Resumable {
public:
    // `buffers` (one per input, all of one length) outlive the capture. `type` and
    // `rate` are the inputs' sample type and the run's rate: a capture goes on in
    // the same buffers only while the run keeps them.
    ResumableCapture(std::vector<std::vector<std::uint8_t>>& buffers, std::vector<unsigned> inputs, std::int32_t type,
                     int width, double rate)
        : buffers_(buffers), inputs_(std::move(inputs)), type_(type), width_(width), rate_(rate) {}

    // Arms the rest of every buffer and starts capturing, in periods of the run
    // prepared now; CaptureBuff's code.
    std::int32_t arm();
    // Some input is still capturing.
    bool running() const;
    // Once the part has ended (completed, stopped, or its run finished): finds how
    // far it got; the rest of every buffer reads as silence again.
    void settle();

    std::size_t captured() const { return captured_; }
    bool complete() const { return captured_ == length(); }

    // The part's period size is known from its start.
    void hold(std::uint32_t, std::int32_t) override {}
    bool resume() override;
    void halt() override {}

private:
    std::size_t length() const { return buffers_.empty() ? 0 : buffers_[0].size(); }
    // Where the part captured into `buffer` stopped.
    std::size_t reached(const std::vector<std::uint8_t>& buffer, std::size_t periodBytes) const;

    std::vector<std::vector<std::uint8_t>>& buffers_;
    std::vector<unsigned> inputs_;
    std::int32_t type_;
    int width_;
    double rate_;
    std::size_t captured_ = 0;     // bytes of each buffer
    std::size_t periodBytes_ = 0;  // one period of the part's run
    bool marked_ = false;
};

}  // namespace cli
