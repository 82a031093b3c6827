#include "streaming/capture_queue.h"

#include "asiochan.h"

namespace cli {

std::int32_t queueBuffers(const std::vector<unsigned>& inputs, std::uint8_t* const* buffers, std::size_t bytes) {
    CaptureRequest requests[ASIOCHAN_MAX_CHANNELS];
    if (inputs.size() > ASIOCHAN_MAX_CHANNELS || bytes > INT32_MAX) return ASIOCHAN_INVALID_PARAMETER;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        requests[i] = {buffers[i], static_cast<std::int32_t>(bytes), inputs[i]};
    return QueueCaptureBuffers(requests, static_cast<std::int32_t>(inputs.size()));
}

bool readQueue(const std::vector<unsigned>& inputs, QueueReading* reading) {
    bool first = true;
    for (unsigned input : inputs) {
        AsiochanCaptureQueueState state{};
        state.size = sizeof state;
        if (GetCaptureQueueState(input, &state) != ASIOCHAN_OK) return false;
        if (first || state.framesRecorded + state.framesDropped < reading->recorded + reading->dropped)
            *reading = {state.framesRecorded, state.framesDropped};
        first = false;
    }
    return !first;
}

}  // namespace cli
