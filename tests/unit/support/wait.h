// Bounded waits for what other threads do. A wait that runs out fails its check
// with the text of what it waited for, rather than leaving the test to hang or to
// wait again and again on a wrong answer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace asiochan::testing {

// Long enough for a loaded machine; a right answer comes within milliseconds.
constexpr int kWaitMs = 5000;

// Polls `condition` every millisecond until it holds, for at most `timeoutMs`.
template <typename Condition>
::testing::AssertionResult waitUntil(const std::string& what, Condition condition, int timeoutMs = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return ::testing::AssertionFailure() << "waited " << timeoutMs << " ms for " << what;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ::testing::AssertionSuccess();
}

}  // namespace asiochan::testing
