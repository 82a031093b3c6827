#include "streaming/capture_pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "system/clock.h"

namespace cli {

namespace {
// A read waits this long at most, so that a stop is seen soon.
constexpr std::int32_t kReadTimeoutMs = 50;
// How often a thread with nothing to do looks again.
constexpr unsigned kPollMs = 1;
}  // namespace

CapturePipeline::CapturePipeline(PipelineShape shape, FrameSink& sink)
    : shape_(shape), sink_(sink), free_(shape.blockCount), filled_(shape.blockCount) {}

bool CapturePipeline::start() {
    const std::size_t blockBytes = std::size_t{shape_.blockFrames} * shape_.frameBytes;
    if (blockBytes == 0 || shape_.blockCount == 0) {
        fail("no frames to capture");
        return false;
    }
    memory_.reset(new (std::nothrow) std::uint8_t[blockBytes * shape_.blockCount]);
    if (!memory_) {
        fail("no memory for the capture's blocks");
        return false;
    }
    blocks_.resize(shape_.blockCount);
    for (std::uint32_t i = 0; i < shape_.blockCount; ++i) {
        blocks_[i].data = memory_.get() + blockBytes * i;
        free_.push(i);
    }
    if (!writer_.start([this] { writeLoop(); })) {
        fail("no thread for the capture's writer");
        return false;
    }
    return true;
}

bool CapturePipeline::startReading(FrameSource& source) {
    if (!memory_ || reading()) return false;
    reader_.join();
    drain_.store(false, std::memory_order_relaxed);
    readEnd_.store(static_cast<int>(ReadEnd::running), std::memory_order_release);
    if (reader_.start([this, &source] { readLoop(source); })) return true;
    readEnd_.store(static_cast<int>(ReadEnd::stopped), std::memory_order_release);
    return false;
}

void CapturePipeline::stopReading() {
    drain_.store(true, std::memory_order_release);
    reader_.join();
}

void CapturePipeline::finish() {
    stopReading();
    closing_.store(true, std::memory_order_release);
    writer_.join();
}

void CapturePipeline::readLoop(FrameSource& source) {
    // The file frame that the source's position 0 lands on, and where this source
    // stops (an end event's position).
    const std::uint64_t base = placed_.load(std::memory_order_relaxed);
    std::uint64_t stopAt = shape_.limit;
    ReadEnd end = ReadEnd::running;
    while (end == ReadEnd::running) end = readOnce(source, base, &stopAt);
    readEnd_.store(static_cast<int>(end), std::memory_order_release);
}

ReadEnd CapturePipeline::readOnce(FrameSource& source, std::uint64_t base, std::uint64_t* stopAt) {
    if (failed_.load(std::memory_order_acquire)) return ReadEnd::writeFailed;
    const std::uint64_t placed = placed_.load(std::memory_order_relaxed);
    if (placed >= *stopAt) return *stopAt == shape_.limit ? ReadEnd::limit : ReadEnd::event;
    const bool draining = drain_.load(std::memory_order_acquire);
    if (held_ < 0) {
        std::uint32_t index = 0;
        // Every block is with the writer: nothing is read until one comes back.
        if (!free_.pop(&index)) {
            sleepMs(kPollMs);
            return ReadEnd::running;
        }
        held_ = index;
    }
    Block& block = blocks_[static_cast<std::size_t>(held_)];
    const std::uint64_t room = *stopAt - placed;
    const auto count = static_cast<std::int32_t>(std::min<std::uint64_t>(shape_.blockFrames, room));
    SourceBlock info;
    const std::int32_t got = source.read(block.data, count, draining ? 0 : kReadTimeoutMs, &info);
    // The end moves no frames, but its block may tell the last gap and events.
    const bool ended = got == kSourceEnded;
    const std::int32_t read = ended ? 0 : got;
    if (read < 0) {
        sourceError_.store(read, std::memory_order_release);
        return ReadEnd::sourceFailed;
    }
    note(info, base, stopAt);
    // The gap and the frames, as far as the file takes them (an end event may
    // have come before the frames just read).
    const std::uint64_t limit = std::max(*stopAt, placed);
    const std::uint64_t lost = std::min(info.lost, limit - placed);
    const auto frames = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(read), limit - placed - lost));
    if (lost > 0 || frames > 0) {
        block.lost = lost;
        block.frames = frames;
        filled_.push(static_cast<std::uint32_t>(held_));
        held_ = -1;
        placed_.store(placed + lost + frames, std::memory_order_release);
    }
    if (lost > 0) {
        dropped_.fetch_add(lost, std::memory_order_release);
        if (!gaps_.push({placed, lost})) unlistedGaps_.fetch_add(1, std::memory_order_release);
    }
    if (ended) return ReadEnd::ended;
    if (draining && read == 0 && info.lost == 0) return ReadEnd::stopped;
    return ReadEnd::running;
}

void CapturePipeline::note(const SourceBlock& info, std::uint64_t base, std::uint64_t* stopAt) {
    const int count = std::clamp(info.eventCount, 0, SourceBlock::kMaxEvents);
    for (int i = 0; i < count; ++i) {
        const SourceEvent& event = info.events[i];
        const std::uint64_t at = base + event.position;
        events_.push({event, at});
        if ((event.code & shape_.endEvents) != 0) *stopAt = std::min(*stopAt, at);
    }
}

void CapturePipeline::writeLoop() {
    for (;;) {
        // Read before looking for work: once closing, no block comes any more.
        const bool closing = closing_.load(std::memory_order_acquire);
        std::uint32_t index = 0;
        if (filled_.pop(&index)) {
            write(blocks_[index]);
            free_.push(index);
        } else if (closing) {
            return;
        } else {
            sleepMs(kPollMs);
        }
    }
}

std::size_t CapturePipeline::fileFrameBytes() const {
    const std::size_t width = shape_.sampleBytes;
    if (width == 0 || shape_.keepBytes == 0 || shape_.keepBytes >= width) return shape_.frameBytes;
    return shape_.frameBytes / width * shape_.keepBytes;
}

void CapturePipeline::write(Block& block) {
    if (failed_.load(std::memory_order_relaxed)) return;
    bool ok = block.lost == 0 || sink_.writeSilence(block.lost);
    if (ok && block.frames > 0) {
        const std::size_t width = shape_.sampleBytes;
        const std::size_t bytes = std::size_t{block.frames} * shape_.frameBytes;
        if (shape_.swap && width > 1)
            for (std::size_t at = 0; at + width <= bytes; at += width) std::reverse(block.data + at, block.data + at + width);
        if (fileFrameBytes() != shape_.frameBytes) {
            // In place: each sample's kept bytes move down to where the file has them.
            const std::size_t keep = shape_.keepBytes;
            for (std::size_t from = 0, to = 0; from < bytes; from += width, to += keep)
                std::memmove(block.data + to, block.data + from + width - keep, keep);
        }
        ok = sink_.writeFrames(block.data, block.frames);
    }
    if (!ok) {
        fail(sink_.error());
        return;
    }
    written_.fetch_add((block.lost + block.frames) * fileFrameBytes(), std::memory_order_release);
}

void CapturePipeline::fail(const std::string& why) {
    if (failed_.load(std::memory_order_relaxed)) return;
    failure_ = why.empty() ? "the capture's file could not be written" : why;
    failed_.store(true, std::memory_order_release);
}

}  // namespace cli
