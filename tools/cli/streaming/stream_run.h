// One command's stream through the run's restarts: each run gets a stream of the
// same channels and format; its recorded frames go on into the same capture
// pipeline, and the file it plays goes on from where its last frame played.
#pragma once

#include <functional>

#include "asiochan.h"
#include "streaming/capture_pipeline.h"
#include "streaming/run_follower.h"
#include "streaming/stream_calls.h"
#include "streaming/stream_feeder.h"

namespace cli {

class StreamRun : public RunPart {
public:
    // `pipeline` reads the inputs (null: the command reads them itself); `feeder`
    // plays the outputs (null: none); `stillFits` tells after a restart whether the
    // new run still suits the command (reason printed when not).
    StreamRun(const AsiochanStreamConfig& config, CapturePipeline* pipeline, StreamFeeder* feeder,
              std::function<bool()> stillFits)
        : config_(config), pipeline_(pipeline), feeder_(feeder), stillFits_(std::move(stillFits)) {}
    ~StreamRun() override { close(); }
    StreamRun(const StreamRun&) = delete;
    StreamRun& operator=(const StreamRun&) = delete;

    // Opens the stream, prefills its outputs and starts it. False with the reason printed.
    bool open();
    // Hands the outputs what they take now; false with the reason printed.
    bool feed();
    // Stops the stream, lets the pipeline read what it recorded, notes how far the
    // file played and closes it.
    void close();
    bool isOpen() const { return open_; }

    void hold() override { close(); }
    bool resume() override { return stillFits_() && open(); }
    void halt() override { close(); }

private:
    AsiochanStreamConfig config_;
    CapturePipeline* pipeline_;
    StreamFeeder* feeder_;
    std::function<bool()> stillFits_;
    StreamReader reader_;
    StreamWriter writer_;
    bool open_ = false;
};

}  // namespace cli
