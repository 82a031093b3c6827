#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "console/stop_request.h"
#include "support/wait.h"

namespace {

using cli::ConsoleSignal;
using namespace std::chrono_literals;

void sleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Which signals stop the command, and which of them hold the process until it
// has ended: those after which the system ends it.
TEST(CliStopRequest, EachSignalStopsOrHoldsAsItShould) {
    const struct {
        ConsoleSignal signal;
        bool handled, stops, holds;
    } cases[] = {
        {ConsoleSignal::ctrlC, true, true, false},
        {ConsoleSignal::ctrlBreak, true, true, false},
        {ConsoleSignal::close, true, true, true},
        {ConsoleSignal::logoff, true, true, true},
        {ConsoleSignal::shutdown, true, true, true},
        {ConsoleSignal::endSession, true, true, true},
        {ConsoleSignal::queryEndSession, true, false, false},
        {ConsoleSignal::endSessionCanceled, false, false, false},
        {ConsoleSignal::other, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.signal));
        cli::StopRequest request;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(request.handle(c.signal, 100ms, sleepMs), c.handled);
        EXPECT_EQ(request.requested(), c.stops);
        // The command never ends here: a holding signal waits out its limit.
        EXPECT_EQ(std::chrono::steady_clock::now() - begin >= 100ms, c.holds);
    }
}

// A close returns only once the command has ended, however long that takes
// within the limit, and the command sees the stop while the handler waits.
TEST(CliStopRequest, CloseReturnsOnceTheCommandHasEnded) {
    cli::StopRequest request;
    std::atomic<bool> returned{false};
    std::thread handler([&] {
        request.handle(ConsoleSignal::close, std::chrono::milliseconds(asiochan::testing::kWaitMs * 2), sleepMs);
        returned = true;
    });
    ASSERT_TRUE(asiochan::testing::waitUntil("the command is asked to stop", [&] { return request.requested(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned.load()) << "the handler let the process go before the command ended";
    request.ended();
    EXPECT_TRUE(
        asiochan::testing::waitUntil("the handler returns once the command ended", [&] { return returned.load(); }));
    handler.join();
}

}  // namespace
