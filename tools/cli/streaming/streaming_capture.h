// A capture of one or more inputs streamed to a WAV file for as long as it runs:
// the inputs record in step into a few sets of buffers that go round (memory
// stays flat), a pump keeps the library's queue fed, and a writer thread
// interleaves every filled set into the file. Dropped frames become silence in
// their place. It outlives restarts of the run: each run's part goes on in the
// same file, after the frames of the part before.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "streaming/capture_pump.h"
#include "streaming/capture_sets.h"
#include "streaming/resumable.h"
#include "wav/wav_writer.h"
#include "streaming/worker_thread.h"

namespace cli {

struct CaptureShape {
    std::vector<unsigned> inputs;
    std::int32_t type = 0;  // the inputs' sample type
    int width = 0;          // bytes of a sample
    double rate = 0;
};

class StreamingCapture : public Resumable {
public:
    // `file` is open and outlives the capture; `frames` is the capture's length
    // (UINT64_MAX: until stopped).
    StreamingCapture(CaptureShape shape, WavWriter& file, std::uint64_t frames)
        : shape_(std::move(shape)), file_(file), frames_(frames), pump_(sets_, shape_.inputs) {}
    ~StreamingCapture() override { end(); }
    StreamingCapture(const StreamingCapture&) = delete;
    StreamingCapture& operator=(const StreamingCapture&) = delete;

    // In the run prepared now: makes the buffers and queues the first; the caller
    // then starts capture (StartCapture or StartCaptureAndPlayback) and calls
    // start(). False with the reason printed.
    bool arm();
    // Starts the writer and the pump.
    bool start();
    // Capturing: not yet complete, nothing failed.
    bool running() const;
    // Stops capturing and waits for the writer to write what was captured.
    void end();

    bool complete() const { return pump_.complete() && cut_ == 0; }
    // The reason the capture stopped by itself, empty when it did not.
    std::string failure() const;
    std::uint64_t framesCaptured() const { return pump_.frames() - cut_; }
    // It ended where the driver announced a new sample rate.
    bool endedByNewRate() const { return newRate_; }
    std::uint64_t bytesWritten() const { return written_.load(std::memory_order_acquire); }
    std::uint64_t framesDropped() const { return pump_.dropped(); }
    bool takeDrop(DropEvent* drop) { return pump_.takeDrop(drop); }
    std::uint64_t unreportedDrops() const { return pump_.unreported(); }
    std::size_t bytesHeld() const { return sets_.bytesHeld(); }

    void hold(const RunBreak& at) override;
    bool resume() override;
    void halt() override { stopRun(); }

private:
    void stopRun();
    void writeLoop();
    void write(const CaptureSets::Handoff& handoff);
    bool waitForWriter();

    CaptureShape shape_;
    WavWriter& file_;
    std::uint64_t frames_;
    CaptureSets sets_;
    CapturePump pump_;
    WorkerThread writer_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> writeFailed_{false};
    std::atomic<std::uint64_t> written_{0};
    bool running_ = false;       // a run's capture is on
    std::uint64_t runBase_ = 0;  // frames of the runs before this one
    // Frames at the end that came after the driver's notice of a new rate: the
    // file is cut before them once the writer is done.
    std::uint64_t cut_ = 0;
    bool newRate_ = false;
    bool cutDone_ = false;
};

}  // namespace cli
