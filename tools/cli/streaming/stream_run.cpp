#include "streaming/stream_run.h"

#include <cstdio>

namespace cli {

bool StreamRun::open() {
    const std::int32_t opened = OpenStream(&config_);
    if (opened != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the stream did not open: %s\n", streamCodeText(opened).c_str());
        return false;
    }
    open_ = true;
    // The first frames written fill the ring before the start: they play from frame 0.
    if (feeder_ && !feed()) return false;
    const std::int32_t started = StartStream();
    if (started != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the stream did not start: %s\n", streamCodeText(started).c_str());
        return false;
    }
    if (pipeline_ && !pipeline_->startReading(reader_)) {
        std::fprintf(stderr, "error: no thread to read the stream\n");
        return false;
    }
    return true;
}

bool StreamRun::feed() {
    if (!open_ || !feeder_) return true;
    if (feeder_->feed(writer_, 0)) return true;
    std::fprintf(stderr, "error: %s\n", feeder_->error().c_str());
    return false;
}

void StreamRun::close() {
    if (!open_) return;
    StopStream();
    // What the stream recorded up to its end stays readable until it is closed.
    if (pipeline_) pipeline_->stopReading();
    if (feeder_) feeder_->restartAt(streamState().played);
    CloseStream();
    open_ = false;
}

}  // namespace cli
