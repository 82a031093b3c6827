// A capture into one buffer that outlives restarts of the run: each part is armed
// on the rest of the buffer, and after a restart the part that was stopped is
// measured, so the next one carries on where it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "resumable.h"

namespace cli {

class ResumableCapture : public Resumable {
public:
    // `type` and `rate` are the input's sample type and the run's rate: a capture
    // goes on in the same buffer only while the run keeps them.
    ResumableCapture(std::vector<std::uint8_t>& bytes, std::uint32_t channel, std::int32_t type, int width, double rate)
        : bytes_(bytes), channel_(channel), type_(type), width_(width), rate_(rate) {}

    // Arms the rest of the buffer and starts capturing; SetCaptureBuffer's code.
    std::int32_t arm();
    // Once the part has ended (completed, stopped, or its run finished): finds how
    // far it got; the rest of the buffer reads as silence again. `periodBytes` is
    // one period of the part's run.
    void settle(std::size_t periodBytes);

    std::size_t captured() const { return captured_; }
    bool complete() const { return captured_ == bytes_.size(); }

    void hold(std::uint32_t, std::int32_t frames) override;
    bool resume() override;
    void halt() override {}

private:
    std::vector<std::uint8_t>& bytes_;
    std::uint32_t channel_;
    std::int32_t type_;
    int width_;
    double rate_;
    std::size_t captured_ = 0;
    std::size_t periodBytes_ = 0;  // of the run that was held
    bool marked_ = false;
};

}  // namespace cli
