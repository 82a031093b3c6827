#include "streaming/spsc_ring.h"

#include <gtest/gtest.h>

namespace {

// At its bound, lap after lap: a full ring takes nothing more, each pop frees
// exactly one slot, and the items come out in the order they went in (none lost
// under a newer one, none told twice). A capacity of 0 holds one item.
TEST(CliSpscRing, HoldsExactlyItsCapacityInOrderLapAfterLap) {
    for (const std::size_t capacity : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
        SCOPED_TRACE(capacity);
        const std::size_t slots = capacity > 0 ? capacity : 1;
        cli::SpscRing<std::uint32_t> ring(capacity);
        std::uint32_t next = 0, expected = 0, item = 0;
        while (ring.push(next)) ++next;
        ASSERT_EQ(next, slots) << "items taken by an empty ring before it reads full";
        for (std::size_t k = 0; k < 3 * slots + 1; ++k) {
            ASSERT_TRUE(ring.pop(&item));
            EXPECT_EQ(item, expected++);
            ASSERT_TRUE(ring.push(next++));
            ASSERT_FALSE(ring.push(next)) << "a full ring took item " << next;
        }
        while (ring.pop(&item)) EXPECT_EQ(item, expected++);
        EXPECT_EQ(expected, next);
        EXPECT_EQ(ring.pushed(), next);
        EXPECT_EQ(ring.popped(), next);
    }
}

}  // namespace
