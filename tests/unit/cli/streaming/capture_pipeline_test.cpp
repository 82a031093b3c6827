#include "streaming/capture_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/capture_fakes.h"
#include "support/wait.h"

namespace {

using asiochan::testing::HeldSink;
using asiochan::testing::PacedSource;
using asiochan::testing::waitUntil;
using cli::ReadEnd;

constexpr std::uint32_t kChannels = 2;
constexpr std::size_t kFrameBytes = kChannels * 4;

// Whatever the source and the writer do, the file holds every frame read in its
// place and silence exactly where the source dropped frames, up to the length
// asked for; the last partial block reaches it, and a failed write ends the
// capture with the sink's reason and a file of whole blocks written before it.
TEST(CliCapturePipeline, TheFileHoldsEveryFrameInItsPlaceAndSilenceForEachDrop) {
    constexpr std::uint64_t kOpen = UINT64_MAX;
    const struct {
        const char* name;
        std::uint64_t pace, ring, total, limit;
        std::uint64_t resetAt = 0;   // the first source ends here, a second one follows
        std::uint64_t rateAt = 0;    // a rate change ends the capture here
        unsigned writeDelayMs = 0;
        bool stallWriter = false;
        bool stallToTheEnd = false;  // the writer stalls until the source made everything
        bool stopMidway = false;
        std::uint64_t failAfter = UINT64_MAX;
        std::size_t swap = 0, keep = 0;  // bytes of a sample turned around, or kept
        ReadEnd end;
        bool drops = false;
    } cases[] = {
        {.name = "length asked, not whole blocks", .pace = 200, .ring = kOpen, .total = kOpen, .limit = 10007, .end = ReadEnd::limit},
        {.name = "slow source ending in a partial block", .pace = 3, .ring = kOpen, .total = 1234, .limit = kOpen, .end = ReadEnd::ended},
        {.name = "slowed writer", .pace = 100, .ring = kOpen, .total = 6000, .limit = kOpen, .writeDelayMs = 3, .end = ReadEnd::ended},
        {.name = "stalled writer drops into the ring", .pace = 50, .ring = 2000, .total = kOpen, .limit = 40000, .stallWriter = true, .end = ReadEnd::limit,
         .drops = true},
        {.name = "a drop at the very end, told with the end", .pace = 50, .ring = 2000, .total = 6000, .limit = kOpen,
         .stallWriter = true, .stallToTheEnd = true, .end = ReadEnd::ended, .drops = true},
        {.name = "stopped", .pace = 100, .ring = kOpen, .total = kOpen, .limit = kOpen, .stopMidway = true, .end = ReadEnd::ended},
        {.name = "through a reset: the length asked exactly", .pace = 200, .ring = kOpen, .total = kOpen, .limit = 9000, .resetAt = 2500, .end = ReadEnd::limit},
        {.name = "a rate change ends the file at its position", .pace = 200, .ring = kOpen, .total = kOpen, .limit = kOpen, .rateAt = 3333, .end = ReadEnd::event},
        {.name = "big-endian samples turned around", .pace = 200, .ring = kOpen, .total = 3000, .limit = kOpen, .swap = 4, .end = ReadEnd::ended},
        {.name = "16-bit samples kept of 32-bit ones", .pace = 200, .ring = kOpen, .total = 3000, .limit = kOpen,
         .keep = 2, .end = ReadEnd::ended},
        {.name = "write error", .pace = 200, .ring = kOpen, .total = kOpen, .limit = kOpen, .failAfter = 5000 * kFrameBytes, .end = ReadEnd::writeFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<cli::SourceEvent> events;
        if (c.rateAt) events.push_back({8, 0, c.rateAt});
        PacedSource first(kChannels, c.pace, c.ring, c.resetAt ? c.resetAt : c.total, events);
        PacedSource second(kChannels, c.pace, c.ring, c.total);
        const std::size_t fileFrameBytes = c.keep ? kChannels * c.keep : kFrameBytes;
        HeldSink sink(fileFrameBytes, c.writeDelayMs, c.failAfter);
        cli::CapturePipeline pipeline({kFrameBytes, 4, c.swap > 0, c.keep, 256, 6, c.limit, 8}, sink);
        ASSERT_TRUE(pipeline.start());
        sink.stall(c.stallWriter);
        ASSERT_TRUE(pipeline.startReading(first));
        if (c.stallWriter) {
            ASSERT_TRUE(waitUntil("the source to drop frames behind the stalled writer", [&] {
                return c.stallToTheEnd ? first.madeAll() : first.dropped() > 0;
            }));
            sink.stall(false);
        }
        if (c.stopMidway) {
            ASSERT_TRUE(waitUntil("2000 frames placed", [&] { return pipeline.framesPlaced() >= 2000; }));
            first.stop();
        }
        ASSERT_TRUE(waitUntil("the reader of the first source to end", [&] { return !pipeline.reading(); }));
        std::vector<std::uint8_t> expected;
        if (c.resetAt) {
            EXPECT_EQ(pipeline.readEnd(), ReadEnd::ended);
            expected = first.truth(c.resetAt);
            ASSERT_TRUE(pipeline.startReading(second));
            ASSERT_TRUE(waitUntil("the reader of the second source to end", [&] { return !pipeline.reading(); }));
        }
        EXPECT_EQ(pipeline.readEnd(), c.end);
        pipeline.finish();

        const std::uint64_t length = std::min({c.limit, c.rateAt ? c.rateAt : kOpen, pipeline.framesPlaced()});
        const auto tail = (c.resetAt ? second : first).truth(length - expected.size() / kFrameBytes);
        expected.insert(expected.end(), tail.begin(), tail.end());
        for (std::size_t at = 0; c.swap > 0 && at < expected.size(); at += c.swap)
            std::reverse(expected.begin() + static_cast<std::ptrdiff_t>(at),
                         expected.begin() + static_cast<std::ptrdiff_t>(at + c.swap));
        if (c.keep) {
            std::vector<std::uint8_t> kept;
            for (std::size_t at = 0; at < expected.size(); at += 4)
                kept.insert(kept.end(), expected.begin() + static_cast<std::ptrdiff_t>(at + 4 - c.keep),
                            expected.begin() + static_cast<std::ptrdiff_t>(at + 4));
            expected = kept;
        }
        // An end that tells a last gap has it in the file; its end event is taken.
        std::vector<cli::PipelineEvent> taken;
        for (cli::PipelineEvent e; pipeline.takeEvent(&e);) taken.push_back(e);
        if (c.end == ReadEnd::ended && !c.stopMidway) {
            EXPECT_EQ(pipeline.framesPlaced(), c.total);
            ASSERT_FALSE(taken.empty());
            EXPECT_EQ(taken.back().event.code, PacedSource::kEndEvent);
            EXPECT_EQ(taken.back().at, c.total);
        }
        if (c.limit != kOpen || c.rateAt) {
            EXPECT_EQ(pipeline.framesPlaced(), std::min(c.limit, c.rateAt ? c.rateAt : kOpen));
        }
        if (c.failAfter != UINT64_MAX) {
            EXPECT_TRUE(pipeline.failed());
            EXPECT_EQ(pipeline.failure(), sink.error());
            ASSERT_LE(sink.bytes().size(), c.failAfter);
            expected.resize(sink.bytes().size());
        } else {
            EXPECT_FALSE(pipeline.failed());
            EXPECT_EQ(pipeline.bytesWritten(), sink.bytes().size());
        }
        EXPECT_TRUE(sink.bytes() == expected) << sink.bytes().size() << " bytes written, " << expected.size() << " expected";

        std::uint64_t silent = 0, listed = 0;
        for (std::size_t at = 0; at < expected.size(); at += fileFrameBytes)
            silent += std::all_of(expected.begin() + static_cast<std::ptrdiff_t>(at),
                                  expected.begin() + static_cast<std::ptrdiff_t>(at + fileFrameBytes),
                                  [](std::uint8_t b) { return b == 0; });
        for (cli::FrameGap gap; pipeline.takeGap(&gap);) listed += gap.frames;
        EXPECT_EQ(pipeline.framesDropped(), silent);
        EXPECT_EQ(listed, silent);
        EXPECT_EQ(silent > 0, c.drops);
    }
}

}  // namespace
