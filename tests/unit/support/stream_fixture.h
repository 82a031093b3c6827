// A prepared run on a simulated driver whose clock the test steps, plus helpers
// to read what the driver recorded. TearDown finishes the run and releases every
// block the engine still holds, so leak checkers see a clean end.
#pragma once

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/channel_blocks.h"
#include "asiochan.h"
#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "support/open_files.h"
#include "support/sim_fixture.h"
#include "support/wait.h"

namespace asiochan::testing {

inline void releaseEngineBlocksForTests() {
    for (auto& p : engine().playbackChannels) {
        std::uint8_t* current = p.current.exchange(nullptr);
        std::uint8_t* next = p.next.exchange(nullptr);
        releaseBlock(current);
        if (next != current) releaseBlock(next);
        p.readPos = nullptr;
    }
    for (auto& c : engine().captureChannels) {
        c.writePos = nullptr;
        c.copyPos = nullptr;
        releaseBlock(c.copyStart.exchange(nullptr));
    }
}

class StreamTest : public SimDriverTest {
protected:
    void TearDown() override {
        // The players' workers end before the run does.
        testing::library().single.retire();
        testing::library().multiple.retire();
        if (driver_) {
            driver_->config().failures.clear();
            Finish();
            driver_->clock().stop();
        }
        releaseEngineBlocksForTests();
        SimDriverTest::TearDown();
        // Dump files and the players' streams are closed by now.
        EXPECT_EQ(openDescriptors(), descriptorsAtStart_) << "a file was left open";
    }

    const std::ptrdiff_t descriptorsAtStart_ = openDescriptors();

    // Installs a driver, initializes and prepares a run; the clock waits for steps.
    sim::SimDriver& prepareRun(sim::SimConfig config, sim::ClockOptions clock = {}) {
        sim::SimDriver& d = install(std::move(config));
        d.clock().options() = clock;
        EXPECT_EQ(Initialize(), ASE_OK);
        EXPECT_EQ(Prepare(), ASE_OK);
        return d;
    }

    static sim::SimConfig smallDriver(AsioLong outputs, AsioLong inputs, AsioLong frames) {
        sim::SimConfig c;
        c.outputs = outputs;
        c.inputs = inputs;
        c.bufferMin = 1;
        c.bufferPreferred = frames;
        return c;
    }

    void step(std::uint64_t periods = 1) { ASSERT_TRUE(driver_->clock().step(periods)); }

    // A completed channel reads done once the library's thread has written its
    // dump files: waits until the channel (or the whole capture) reads done.
    static ::testing::AssertionResult captureDone(std::uint32_t channel) {
        return waitUntil("input " + std::to_string(channel) + " to read done",
                         [channel] { return IsPortCaptureRunning(channel) == 0; });
    }
    static ::testing::AssertionResult captureFinished() {
        return waitUntil("the capture to read finished", [] { return IsCaptureRunning() == 0; });
    }

    // Index of a driver buffer in creation order (outputs first).
    std::size_t outputIndex(int channel) const { return static_cast<std::size_t>(channel); }
    const std::vector<std::uint8_t>& played(int channel) { return driver_->clock().recorded(outputIndex(channel)); }

    // The bytes of the last recorded period of an output channel.
    std::vector<std::uint8_t> lastPeriod(int channel) {
        const auto& r = played(channel);
        const std::size_t n = static_cast<std::size_t>(driver_->buffers()[outputIndex(channel)].bytesPerHalf);
        if (r.size() < n) return {};
        return std::vector<std::uint8_t>(r.end() - static_cast<std::ptrdiff_t>(n), r.end());
    }
};

// A stream test whose dump files land in a fresh folder standing in for drive D:.
class DumpFolderTest : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        char dir[] = "/tmp/asiochan-dumpXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dumpDir_ = dir;
        platform::host::mapDrive('D', dumpDir_);
    }
    void TearDown() override {
        StreamTest::TearDown();
        platform::host::mapDrive('D', "");
        std::filesystem::remove_all(dumpDir_);
    }
    std::string dumpDir_;
};

// A struct of the header that carries its own size, zeroed, with `size` set.
template <typename T>
T sized() {
    T t{};
    t.size = sizeof t;
    return t;
}

// Bytes 1, 2, 3, ... from `first` on (wrapping), a run easy to recognise.
inline std::vector<std::uint8_t> ramp(std::size_t length, std::uint8_t first) {
    std::vector<std::uint8_t> v(length);
    for (std::size_t i = 0; i < length; ++i) v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

}  // namespace asiochan::testing
