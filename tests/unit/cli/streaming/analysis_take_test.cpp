// The analyze take over a scripted stream: a loopback that takes writes in odd
// sizes and hands back what was written, frame k at position k, with one fault
// at a position. What the take comes to for each fault, that the recording
// reaches the sink whole and in order, and that the stream is closed every time.
#include <gtest/gtest.h>

#include <vector>

#include "measure/analyze_timeline.h"
#include "streaming/analysis_take.h"

namespace {

struct Fault {
    std::uint64_t at = UINT64_MAX;  // input position at which it comes
    std::uint32_t code = 0;         // the event the read's block carries
    std::uint64_t lost = 0;         // frames the read skips
    bool ends = false;              // reads answer ASIOCHAN_STREAM_ENDED from there
    bool stalls = false;            // no frame comes from there
    std::int32_t openCode = ASIOCHAN_OK;
};

class LoopbackStream final : public cli::StreamCalls {
public:
    LoopbackStream(std::size_t channels, Fault fault) : n_(channels), fault_(fault) {}
    std::int32_t open(const AsiochanStreamConfig& c) override {
        EXPECT_EQ(c.format, ASIOCHAN_STREAM_INT32);
        opened_ = fault_.openCode == ASIOCHAN_OK;
        played_.clear();
        readAt_ = 0;
        return fault_.openCode;
    }
    std::int32_t start() override { return ASIOCHAN_OK; }
    std::int32_t write(const void* frames, std::int32_t count, std::int32_t, AsiochanStreamBlock* b) override {
        // Room for 3000 frames ahead of the reader, taken at most 1000 at a time.
        const auto room = static_cast<std::int32_t>(3000 - (played_.size() / n_ - readAt_));
        const std::int32_t moved = std::max(0, std::min({count, room, 1000}));
        const auto* p = static_cast<const std::int32_t*>(frames);
        b->position = played_.size() / n_;
        played_.insert(played_.end(), p, p + moved * n_);
        return moved;
    }
    std::int32_t read(void* frames, std::int32_t count, std::int32_t, AsiochanStreamBlock* b) override {
        if (readAt_ == fault_.at) {
            fault_.at = UINT64_MAX;
            b->lost = fault_.lost;
            readAt_ += fault_.lost;
            if (fault_.code != 0) b->events[b->eventCount++] = {fault_.code, std::uint32_t(fault_.lost), readAt_};
            ended_ = fault_.ends;
            stalled_ = fault_.stalls;
        }
        if (ended_) return ASIOCHAN_STREAM_ENDED;
        const std::uint64_t ready = played_.size() / n_;
        std::uint64_t moved = stalled_ || ready <= readAt_ ? 0 : std::min<std::uint64_t>(count, ready - readAt_);
        if (fault_.at > readAt_) moved = std::min(moved, fault_.at - readAt_);
        b->position = readAt_;
        std::copy_n(played_.begin() + std::ptrdiff_t(readAt_ * n_), moved * n_, static_cast<std::int32_t*>(frames));
        readAt_ += moved;
        return static_cast<std::int32_t>(moved);
    }
    std::int32_t state(AsiochanStreamState* s) override {
        s->position = s->recorded = played_.size() / n_;
        return ASIOCHAN_OK;
    }
    std::int32_t stop() override { return ASIOCHAN_OK; }
    std::int32_t close() override {
        opened_ = false;
        return ASIOCHAN_OK;
    }

    std::size_t n_;
    Fault fault_;
    std::vector<std::int32_t> played_;
    std::uint64_t readAt_ = 0;
    bool ended_ = false, stalled_ = false, opened_ = false;
};

class Recording final : public cli::TakeSink {
public:
    bool frames(std::uint64_t position, const std::int32_t* interleaved, std::size_t count) override {
        EXPECT_EQ(position, frames_.size() / 2) << "a block out of place";
        frames_.insert(frames_.end(), interleaved, interleaved + count * 2);
        return true;
    }
    std::vector<std::int32_t> frames_;
};

TEST(StreamTake, WhatEachFaultComesTo) {
    using K = cli::TakeOutcome::Kind;
    cli::Timeline t;
    ASSERT_EQ(cli::planTimeline(48000.0, 2, false, 2400, &t), nullptr);
    const std::uint64_t pastEnd = t.playedFrames() + 100;
    const struct {
        const char* name;
        Fault fault;
        K kind;
    } rows[] = {
        {"clean", {}, K::whole},
        {"skipped periods", {50000, ASIOCHAN_REQUEST_SKIPPED_PERIODS, 512}, K::skipped},
        {"resync", {50000, ASIOCHAN_REQUEST_RESYNC}, K::skipped},
        {"overflow", {50000, ASIOCHAN_STREAM_EVENT_OVERFLOW, 256}, K::broken},
        {"lost without a word", {50000, 0, 256}, K::broken},
        {"reset", {50000, ASIOCHAN_REQUEST_RESET}, K::broken},
        {"new rate", {50000, ASIOCHAN_REQUEST_SAMPLE_RATE}, K::broken},
        {"underrun in the timeline", {50000, ASIOCHAN_STREAM_EVENT_UNDERRUN}, K::broken},
        {"underrun past its end", {pastEnd, ASIOCHAN_STREAM_EVENT_UNDERRUN}, K::whole},
        {"latencies changed", {50000, ASIOCHAN_REQUEST_LATENCIES}, K::whole},
        {"ended", {50000, ASIOCHAN_STREAM_EVENT_END, 0, true}, K::broken},
        {"stalled", {50000, 0, 0, false, true}, K::broken},
        {"refused", {UINT64_MAX, 0, 0, false, false, ASIOCHAN_NOT_PRESENT}, K::failed},
    };
    for (const auto& row : rows) {
        LoopbackStream stream(2, row.fault);
        Recording sink;
        cli::StreamTakeOptions options;
        options.chunkFrames = 777;  // odd sizes against the stream's 1000-frame writes
        options.stallAfter = std::chrono::milliseconds(30);
        cli::StreamTake take(stream, {{0, 0}, {1, 1}}, options);
        const cli::TakeOutcome outcome = take.run(t, sink);
        EXPECT_EQ(outcome.kind, row.kind) << row.name << ": " << outcome.message;
        EXPECT_FALSE(stream.opened_) << row.name << ": the stream was left open";
        if (row.kind != K::whole) continue;
        // Every frame recorded, and each the timeline's frame in its place.
        ASSERT_EQ(sink.frames_.size(), t.recordedFrames() * 2) << row.name;
        std::vector<double> expected(t.recordedFrames() * 2);
        t.render(0, t.recordedFrames(), expected.data());
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(sink.frames_[i], cli::toTakeSample(expected[i])) << row.name << " at sample " << i;
    }
}

// Ctrl+C ends a take; a retake restarts the run first, and fails when it cannot.
TEST(StreamTake, CtrlCAndRetakes) {
    cli::Timeline t;
    ASSERT_EQ(cli::planTimeline(48000.0, 2, false, 2400, &t), nullptr);
    LoopbackStream stream(2, {});
    Recording sink;
    int restarts = 0;
    cli::StreamTakeOptions options;
    options.interrupted = [&] { return sink.frames_.size() > 20000; };
    options.beforeRetake = [&] { return ++restarts < 2; };
    cli::StreamTake take(stream, {{0, 0}, {1, 1}}, options);
    using K = cli::TakeOutcome::Kind;
    for (const K kind : {K::interrupted, K::interrupted, K::failed}) {
        sink.frames_.clear();
        EXPECT_EQ(take.run(t, sink).kind, kind);
        EXPECT_FALSE(stream.opened_);
    }
    EXPECT_EQ(restarts, 2);
}

}  // namespace
