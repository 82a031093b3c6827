// Long streams through the whole road: application buffers of random lengths in,
// the driver's recorded half-buffers out, byte for byte.
#include <random>

#include "asiochan.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

class StreamExactTest : public testing::StreamTest {};

TEST_F(StreamExactTest, RecordedOutputIsExactlyTheQueuedBuffers) {
    constexpr int kChannels = 4;
    constexpr AsioLong kFrames = 16;
    constexpr std::size_t kPeriod = kFrames * 4;
    constexpr std::uint64_t kPeriods = 100000;
    sim::SimConfig c = smallDriver(kChannels, 1, kFrames);
    c.keepCallLog = false;
    prepareRun(c);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::size_t> lengths(kPeriod, 5 * kPeriod + 3);
    std::vector<Bytes> sent(kChannels);
    Bytes buffer;
    auto queueWhileAllowed = [&](int ch) {
        if (IsCanSendNextPlaybackBuffer(ch) != 1) return;
        buffer.resize(lengths(random));
        for (auto& b : buffer) b = static_cast<std::uint8_t>(random() | 1);  // never silence
        ASSERT_EQ(SetPlayBuffer(buffer.data(), static_cast<std::int32_t>(buffer.size()), ch), ASE_OK);
        sent[ch].insert(sent[ch].end(), buffer.begin(), buffer.end());
    };
    for (int ch = 0; ch < kChannels; ++ch) queueWhileAllowed(ch);
    StartPlayback();
    for (std::uint64_t n = 0; n < kPeriods; ++n) {
        for (int ch = 0; ch < kChannels; ++ch) {
            queueWhileAllowed(ch);
            ASSERT_EQ(IsPortPlaybackRunning(ch), 1) << "channel " << ch << " ran dry at period " << n;
        }
        ASSERT_TRUE(driver_->clock().step(1));
    }
    StopPlayback();
    for (int ch = 0; ch < kChannels; ++ch) {
        const Bytes& out = played(ch);
        ASSERT_EQ(out.size(), kPeriods * kPeriod);
        ASSERT_LE(out.size(), sent[ch].size());
        // Everything played is exactly the start of what was sent, joins included.
        EXPECT_TRUE(std::equal(out.begin(), out.end(), sent[ch].begin())) << "channel " << ch;
    }
}

}  // namespace
}  // namespace asiochan
