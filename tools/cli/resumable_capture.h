// A capture into one buffer that outlives restarts of the run: each part is armed
// on the rest of the buffer, and after a restart the part that was stopped is
// measured, so the next one carries on where it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

class ResumableCapture {
public:
    ResumableCapture(std::vector<std::uint8_t>& bytes, std::uint32_t channel) : bytes_(bytes), channel_(channel) {}

    // Arms the rest of the buffer and starts capturing; SetCaptureBuffer's code.
    std::int32_t arm();
    // Once the part has ended (completed, stopped, or its run finished): finds how
    // far it got; the rest of the buffer reads as silence again. `periodBytes` is
    // one period of the part's run.
    void settle(std::size_t periodBytes);

    std::size_t captured() const { return captured_; }
    bool complete() const { return captured_ == bytes_.size(); }

private:
    std::vector<std::uint8_t>& bytes_;
    std::uint32_t channel_;
    std::size_t captured_ = 0;
    bool marked_ = false;
};

}  // namespace cli
