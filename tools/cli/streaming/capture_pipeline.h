// A capture from a source of interleaved frames (the stream) to a sink (the WAV
// file), on two threads: a reader that reads the source into blocks with finite
// waits, and a writer that turns each block's samples into the file's byte order
// and writes it. The blocks go round between them; a writer that falls behind
// holds them all, the reader then stops reading and the source's own ring takes
// the strain, or drops frames. A drop is written as silence in its exact place;
// no block is ever written over before it reached the file. The pipeline outlives
// the sources: after one ended (a driver's reset), the next one's frames follow
// in the same file, up to the length asked for.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "streaming/frame_source.h"
#include "streaming/spsc_ring.h"
#include "system/worker_thread.h"

namespace cli {

struct PipelineShape {
    std::size_t frameBytes = 0;   // of the source's frames
    std::size_t sampleBytes = 0;  // of a sample in them
    // Each sample turned around on its way to the file (a big-endian driver type
    // into a little-endian file).
    bool swap = false;
    // Above 0 and below sampleBytes: only each sample's last (most significant)
    // keepBytes go to the file (16-bit samples the source gives as 32-bit ones).
    std::size_t keepBytes = 0;
    std::uint32_t blockFrames = 0;
    std::uint32_t blockCount = 0;
    std::uint64_t limit = UINT64_MAX;  // frames the file takes, silence included
    // Event codes that end the capture at their position (a rate change: one file
    // holds one rate).
    std::uint32_t endEvents = 0;
};

// Frames the file has as silence from frame `at` on: the source lost them.
struct FrameGap {
    std::uint64_t at = 0;
    std::uint64_t frames = 0;
};

// An event of a source, with its place in the file.
struct PipelineEvent {
    SourceEvent event;
    std::uint64_t at = 0;
};

// Why the reader of a source stopped.
enum class ReadEnd {
    running,
    ended,         // the source ended and everything it had is in the pipeline
    limit,         // the file has the length asked for
    event,         // an end event's position was reached
    writeFailed,   // the writer failed: nothing more is read
    sourceFailed,  // a read answered an error (sourceError())
    stopped,       // stopReading: what the source had was read
};

class CapturePipeline {
public:
    CapturePipeline(PipelineShape shape, FrameSink& sink);
    ~CapturePipeline() { finish(); }
    CapturePipeline(const CapturePipeline&) = delete;
    CapturePipeline& operator=(const CapturePipeline&) = delete;

    // Makes the blocks and starts the writer; false with failure() set.
    bool start();
    // Reads `source` on a reader thread until it ends (see ReadEnd); the source
    // outlives the reading. Its position 0 goes to the file's next frame. False
    // when no thread can be made or a reader runs.
    bool startReading(FrameSource& source);
    bool reading() const { return readEnd() == ReadEnd::running; }
    ReadEnd readEnd() const { return static_cast<ReadEnd>(readEnd_.load(std::memory_order_acquire)); }
    std::int32_t sourceError() const { return sourceError_.load(std::memory_order_acquire); }
    // The reader reads what the source has now without waiting, then stops; waits
    // for it. Stop the source first to have everything it recorded.
    void stopReading();
    // stopReading, then waits until the writer wrote every block it was given.
    void finish();

    // Frames placed in the file (silence included), by the reader.
    std::uint64_t framesPlaced() const { return placed_.load(std::memory_order_acquire); }
    bool complete() const { return framesPlaced() >= shape_.limit; }
    std::uint64_t bytesWritten() const { return written_.load(std::memory_order_acquire); }
    std::uint64_t framesDropped() const { return dropped_.load(std::memory_order_acquire); }
    // The next gap or event not yet taken, oldest first (by one thread); those that
    // did not fit in their queue are counted.
    bool takeGap(FrameGap* gap) { return gaps_.pop(gap); }
    bool takeEvent(PipelineEvent* event) { return events_.pop(event); }
    std::uint64_t unlistedGaps() const { return unlistedGaps_.load(std::memory_order_acquire); }
    // The writer failed (the sink's reason), or the blocks could not be had.
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    const std::string& failure() const { return failure_; }
    // Bytes of a frame in the file.
    std::size_t fileFrameBytes() const;
    std::size_t bytesHeld() const { return shape_.blockFrames * shape_.frameBytes * shape_.blockCount; }

private:
    struct Block {
        std::uint8_t* data = nullptr;
        std::uint64_t lost = 0;      // silence before the frames
        std::uint32_t frames = 0;
    };

    void readLoop(FrameSource& source);
    ReadEnd readOnce(FrameSource& source, std::uint64_t base, std::uint64_t* stopAt);
    void note(const SourceBlock& info, std::uint64_t base, std::uint64_t* stopAt);
    void writeLoop();
    void write(Block& block);
    void fail(const std::string& why);

    const PipelineShape shape_;
    FrameSink& sink_;
    std::unique_ptr<std::uint8_t[]> memory_;
    std::vector<Block> blocks_;
    SpscRing<std::uint32_t> free_;    // writer -> reader
    SpscRing<std::uint32_t> filled_;  // reader -> writer
    std::int64_t held_ = -1;          // the reader's block, kept between reads and readers
    WorkerThread reader_;
    WorkerThread writer_;
    std::atomic<int> readEnd_{static_cast<int>(ReadEnd::stopped)};
    std::atomic<std::int32_t> sourceError_{0};
    std::atomic<bool> drain_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> failed_{false};
    std::string failure_;  // set before failed_
    std::atomic<std::uint64_t> placed_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
    SpscRing<FrameGap> gaps_{256};
    SpscRing<PipelineEvent> events_{64};
    std::atomic<std::uint64_t> unlistedGaps_{0};
};

}  // namespace cli
