// The stream's exports behind StreamCalls (stream_port.h).
#include "streaming/stream_port.h"

namespace cli {

namespace {
class LibraryStream final : public StreamCalls {
public:
    std::int32_t open(const AsiochanStreamConfig& config) override { return OpenStream(&config); }
    std::int32_t start() override { return StartStream(); }
    std::int32_t write(const void* frames, std::int32_t count, std::int32_t timeoutMs,
                       AsiochanStreamBlock* block) override {
        return WriteStream(frames, count, timeoutMs, block);
    }
    std::int32_t read(void* frames, std::int32_t count, std::int32_t timeoutMs, AsiochanStreamBlock* block) override {
        return ReadStream(frames, count, timeoutMs, block);
    }
    std::int32_t state(AsiochanStreamState* state) override { return GetStreamState(state); }
    std::int32_t stop() override { return StopStream(); }
    std::int32_t close() override { return CloseStream(); }
};
}  // namespace

StreamCalls& libraryStream() {
    static LibraryStream stream;
    return stream;
}

}  // namespace cli
