#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "streaming/queue_timeline.h"

namespace cli {
// How a failed comparison shows a piece.
void PrintTo(const QueueTimeline::Piece& p, std::ostream* out) {
    *out << "{at " << p.at << ", " << p.zeros << " zeros, " << p.frames << " frames" << (p.ownsSet ? "" : ", no set")
         << "}";
}
}  // namespace cli

namespace {

using Piece = cli::QueueTimeline::Piece;

struct Reading {
    std::uint64_t recorded, dropped;
};

// Sets of 10 frames: every set's frames land at their place in the file, the
// dropped frames as silence where they were dropped, nothing past the limit.
TEST(CliQueueTimeline, PlacesSetsAndDropsInTheFile) {
    constexpr std::uint64_t kAll = UINT64_MAX;
    const struct {
        const char* what;
        std::uint64_t limit;
        std::vector<Reading> readings;
        Reading last;
        std::uint64_t queued;
        std::vector<Piece> pieces;
    } cases[] = {
        {"steady, stopped in the third set",
         kAll,
         {{5, 0}, {15, 0}, {25, 0}},
         {27, 0},
         4,
         {{0, 0, 10, true}, {10, 0, 10, true}, {20, 0, 7, true}, {27, 0, 0, true}}},
        {"a drop after the first set, seen on both sides",
         kAll,
         {{5, 0}, {10, 3}, {12, 4}, {20, 4}},
         {20, 4},
         2,
         {{0, 0, 10, true}, {10, 4, 10, true}}},
        {"drops while sets filled between two readings go before the set seen filling",
         kAll,
         {{5, 0}, {33, 6}},
         {35, 6},
         4,
         {{0, 0, 10, true}, {10, 0, 10, true}, {20, 0, 10, true}, {30, 6, 5, true}}},
        {"drops after the last set when the capture stops",
         kAll,
         {{5, 0}, {10, 2}},
         {10, 7},
         1,
         {{0, 0, 10, true}, {10, 7, 0, false}}},
        {"drops before a set queued but not begun when it stops",
         kAll,
         {{10, 1}},
         {10, 3},
         2,
         {{0, 0, 10, true}, {10, 3, 0, true}}},
        {"a limit inside the third set",
         25,
         {{15, 0}, {40, 0}},
         {40, 0},
         4,
         {{0, 0, 10, true}, {10, 0, 10, true}, {20, 0, 5, true}, {25, 0, 0, true}}},
        {"a limit inside a drop", 15, {{5, 0}, {10, 0}}, {10, 9}, 1, {{0, 0, 10, true}, {10, 5, 0, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cli::QueueTimeline timeline(10, c.limit);
        std::vector<Piece> pieces;
        for (const Reading& r : c.readings) timeline.follow(r.recorded, r.dropped, &pieces);
        timeline.finish(c.last.recorded, c.last.dropped, c.queued, &pieces);
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(timeline.handed(), c.queued);
        EXPECT_EQ(timeline.complete(), c.limit != kAll);
    }
}

}  // namespace
