// Stand-ins for a capture's two ends: a source that makes frames at a pace into a
// ring of its own and drops the newest when the ring is full, as the stream does,
// and a sink that keeps what it is given and can be slowed, stalled or made to fail.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "streaming/frame_source.h"

namespace asiochan::testing {

// Frames of `channels` 4-byte samples; sample c of frame k holds x = (k + 1) * 64 + c
// in both halves (x * 0x10001), neither ever zero, so that silence and every
// misplaced frame show, in the whole sample and in its top half.
class PacedSource : public cli::FrameSource {
public:
    // `framesPerMs` frames a millisecond from now on, into a ring of `ringFrames`,
    // until `total` frames were made (then it ends once read out). `events` are
    // told in the first read after their position was made.
    PacedSource(std::uint32_t channels, std::uint64_t framesPerMs, std::uint64_t ringFrames, std::uint64_t total,
                std::vector<cli::SourceEvent> events = {})
        : channels_(channels), pace_(framesPerMs), ring_(ringFrames), total_(total), events_(std::move(events)),
          start_(std::chrono::steady_clock::now()) {}

    static constexpr std::uint32_t kEndEvent = 0x400;

    // Every frame asked for was made (what was not read in time dropped).
    bool madeAll() {
        std::lock_guard<std::mutex> lock(mutex_);
        update();
        return made_ == total_;
    }

    static std::uint32_t sample(std::uint64_t frame, std::uint32_t channel) {
        return static_cast<std::uint32_t>(((frame + 1) * 64 + channel) * 0x10001u);
    }

    std::int32_t read(void* frames, std::int32_t count, std::int32_t timeoutMs, cli::SourceBlock* block) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                update();
                *block = cli::SourceBlock{};
                tellEvents(block);
                if (!segments_.empty()) return take(frames, count, block);
                if (made_ == total_) {
                    // As the stream does: the end tells the frames lost at the
                    // very end, and an end event at the first frame not made.
                    block->lost = std::exchange(pendingGap_, 0);
                    if (block->eventCount < cli::SourceBlock::kMaxEvents)
                        block->events[block->eventCount++] = {kEndEvent, 0, made_};
                    return cli::kSourceEnded;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // No frame is made after now: what the ring holds is read, then the source ends.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        update();
        total_ = made_;
    }
    // Frames dropped so far (the ring keeps filling while nobody reads).
    std::uint64_t dropped() {
        std::lock_guard<std::mutex> lock(mutex_);
        update();
        std::uint64_t frames = 0;
        for (const auto& [at, count] : drops_) frames += count;
        return frames;
    }
    // The bytes a capture of frames [0, frames) holds: the frames, silence where dropped.
    std::vector<std::uint8_t> truth(std::uint64_t frames) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames) * channels_ * 4);
        for (std::uint64_t k = 0; k < frames; ++k) {
            bool lost = false;
            for (const auto& [at, count] : drops_) lost = lost || (k >= at && k < at + count);
            for (std::uint32_t c = 0; c < channels_ && !lost; ++c) {
                const std::uint32_t value = sample(k, c);
                std::memcpy(&bytes[static_cast<std::size_t>((k * channels_ + c) * 4)], &value, 4);
            }
        }
        return bytes;
    }

private:
    struct Segment {
        std::uint64_t start, count, lostBefore;
    };

    // Makes the frames due by now: the ring takes the oldest, the rest are dropped.
    void update() {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
        const std::uint64_t due = std::min<std::uint64_t>(total_, static_cast<std::uint64_t>(elapsed.count()) * pace_);
        if (due <= made_) return;
        std::uint64_t held = 0;
        for (const Segment& s : segments_) held += s.count;
        const std::uint64_t accepted = std::min(due - made_, ring_ - held);
        if (accepted > 0) {
            if (pendingGap_ == 0 && !segments_.empty() && segments_.back().start + segments_.back().count == made_)
                segments_.back().count += accepted;
            else
                segments_.push_back({made_, accepted, std::exchange(pendingGap_, 0)});
        }
        if (due - made_ > accepted) {
            drops_.emplace_back(made_ + accepted, due - made_ - accepted);
            pendingGap_ += due - made_ - accepted;
        }
        made_ = due;
    }
    std::int32_t take(void* frames, std::int32_t count, cli::SourceBlock* block) {
        Segment& s = segments_.front();
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(count), s.count));
        block->position = s.start;
        block->lost = std::exchange(s.lostBefore, 0);
        auto* out = static_cast<std::uint8_t*>(frames);
        for (std::uint32_t i = 0; i < n; ++i)
            for (std::uint32_t c = 0; c < channels_; ++c) {
                const std::uint32_t value = sample(s.start + i, c);
                std::memcpy(out + (std::size_t{i} * channels_ + c) * 4, &value, 4);
            }
        s.start += n;
        s.count -= n;
        if (s.count == 0) segments_.pop_front();
        return static_cast<std::int32_t>(n);
    }
    void tellEvents(cli::SourceBlock* block) {
        while (told_ < events_.size() && events_[told_].position < made_ && block->eventCount < cli::SourceBlock::kMaxEvents)
            block->events[block->eventCount++] = events_[told_++];
    }

    const std::uint32_t channels_;
    const std::uint64_t pace_, ring_;
    std::uint64_t total_;
    const std::vector<cli::SourceEvent> events_;
    const std::chrono::steady_clock::time_point start_;
    mutable std::mutex mutex_;
    std::deque<Segment> segments_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> drops_;
    std::uint64_t made_ = 0, pendingGap_ = 0;
    std::size_t told_ = 0;
};

// Keeps the frames it is given; each write can be delayed or held while stalled
// (10 s at most in all), and writes past `failAfterBytes` fail.
class HeldSink : public cli::FrameSink {
public:
    HeldSink(std::size_t frameBytes, unsigned delayMs = 0, std::uint64_t failAfterBytes = UINT64_MAX)
        : frameBytes_(frameBytes), delayMs_(delayMs), failAfter_(failAfterBytes) {}

    bool writeFrames(const std::uint8_t* data, std::size_t frames) override {
        return append(data, frames * frameBytes_);
    }
    bool writeSilence(std::uint64_t frames) override {
        const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(frames) * frameBytes_);
        return append(zeros.data(), zeros.size());
    }
    std::string error() const override { return "cannot write held.wav: the disk is full"; }

    void stall(bool on) { stalled_.store(on); }
    // Read once the writer ended.
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    bool append(const std::uint8_t* data, std::size_t count) {
        for (int waited = 0; stalled_.load(); ++waited) {
            if (waited == 10000) stalled_.store(false);  // a test that forgot to let go
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
        if (bytes_.size() + count > failAfter_) return false;
        bytes_.insert(bytes_.end(), data, data + count);
        return true;
    }

    const std::size_t frameBytes_;
    const unsigned delayMs_;
    const std::uint64_t failAfter_;
    std::atomic<bool> stalled_{false};
    std::vector<std::uint8_t> bytes_;
};

}  // namespace asiochan::testing
