// The library's stream as the command line calls it: the exports behind one
// interface, so that what drives a stream runs in the host build against a script.
#pragma once

#include <cstdint>

#include "asiochan.h"

namespace cli {

class StreamCalls {
public:
    virtual ~StreamCalls() = default;
    virtual std::int32_t open(const AsiochanStreamConfig& config) = 0;
    virtual std::int32_t start() = 0;
    virtual std::int32_t write(const void* frames, std::int32_t count, std::int32_t timeoutMs,
                               AsiochanStreamBlock* block) = 0;
    virtual std::int32_t read(void* frames, std::int32_t count, std::int32_t timeoutMs, AsiochanStreamBlock* block) = 0;
    virtual std::int32_t state(AsiochanStreamState* state) = 0;
    virtual std::int32_t stop() = 0;
    virtual std::int32_t close() = 0;
};

// The exports of asiochan.dll (streaming/library_stream.cpp).
StreamCalls& libraryStream();

}  // namespace cli
