// The hand-off of slow work from the driver's thread: dumps of completed
// captures and retired blocks, done by the library's thread or, without one, by
// the application's next call.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/capture_dumps.h"
#include "engine/channel_blocks.h"
#include "engine/housekeeper.h"
#include "platform/host/host_control.h"
#include "support/allocation_counter.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

class HousekeepingTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/asiochan-hkXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        platform::host::mapDrive('D', dir_);
        read(file(0, "output"));  // the stream library's first use keeps some memory
    }
    void TearDown() override {
        platform::host::mapDrive('D', "");
        std::filesystem::remove_all(dir_);
    }
    std::string file(std::uint32_t ch, const char* kind) const {
        return dir_ + "/buffer_debug_" + std::to_string(ch) + "_" + kind + ".dat";
    }
    Bytes read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    // Posts a completed capture of `user` on `ch` with a shadow copy, as the driver's thread does.
    void post(std::uint32_t ch, const Bytes& user, std::atomic<std::uint8_t>& done) {
        std::uint8_t* copy = allocateBlock(static_cast<std::int64_t>(user.size()));
        std::copy(user.begin(), user.end(), copy);
        dumps_.post(ch, user.data(), copy, static_cast<std::int32_t>(user.size()), &done);
    }
    // The bytes of a thread that just ended are freed by that thread a moment later.
    static bool heapBackTo(long long bytes) {
        for (int i = 0; i < 5000 && testing::liveHeapBytes() != bytes; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return testing::liveHeapBytes() == bytes;
    }
    static bool waitFor(const std::atomic<std::uint8_t>& flag) {
        for (int i = 0; i < 5000 && flag.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return flag.load() != 0;
    }

    std::string dir_;
    RetiredBlocks retired_;
    CaptureDumps dumps_{retired_};
    std::atomic<std::uint8_t> running_{0};
    PeriodGuard periods_;
    HandOverSigns signs_{running_, periods_};
};

// Whoever writes a posted dump, the files are complete before `done`, the copy
// is released, and an unwritable folder still hands the channel back.
TEST_F(HousekeepingTest, DoneOnlyAfterBothFilesAreClosed) {
    enum class Writer { application, settle, thread };
    struct Row {
        Writer writer;
        bool writableFolder;
    };
    for (const Row row : {Row{Writer::application, true}, Row{Writer::settle, true}, Row{Writer::thread, true},
                          Row{Writer::application, false}}) {
        SCOPED_TRACE(static_cast<int>(row.writer) * 2 + row.writableFolder);
        platform::host::mapDrive('D', row.writableFolder ? dir_ : dir_ + "/missing");
        const Bytes user = {1, 2, 3, 4, 5, 6, 7};
        const long long heapBefore = testing::liveHeapBytes();
        std::atomic<std::uint8_t> done{0};
        post(63, user, done);
        EXPECT_TRUE(dumps_.pending(63));
        EXPECT_EQ(dumps_.pendingCount(), 1u);
        EXPECT_EQ(done.load(), 0);
        EXPECT_FALSE(std::filesystem::exists(file(63, "output")));

        Housekeeper keeper(dumps_, retired_, signs_);
        if (row.writer == Writer::application) {
            EXPECT_EQ(dumps_.writePending(ChannelMask{1} << 63), 1u);
        } else if (row.writer == Writer::settle) {
            dumps_.settle(kAllChannels);
        } else {
            ASSERT_TRUE(keeper.ensureRunning());
            ASSERT_TRUE(waitFor(done));
            EXPECT_TRUE(keeper.stop(5000));
        }
        EXPECT_EQ(done.load(), 1);
        EXPECT_FALSE(dumps_.pending(63));
        EXPECT_EQ(dumps_.pendingCount(), 0u);
        EXPECT_EQ(read(file(63, "output")), row.writableFolder ? user : Bytes{});
        EXPECT_EQ(read(file(63, "internal")), row.writableFolder ? user : Bytes{});
        EXPECT_TRUE(heapBackTo(heapBefore));
        std::filesystem::remove(file(63, "output"));
        std::filesystem::remove(file(63, "internal"));
    }
}

// Only the channels asked for are written; a channel posted twice without being
// handed back in between, or out of range, is handed back at once without a dump.
TEST_F(HousekeepingTest, WritesOnlyTheChannelsAskedForAndRefusesASecondPost) {
    const Bytes a = {1, 2}, b = {3, 4};
    std::atomic<std::uint8_t> doneA{0}, doneB{0}, doneAgain{0}, doneOut{0};
    const long long heap = testing::liveHeapBytes();
    post(2, a, doneA);
    post(5, b, doneB);
    post(2, b, doneAgain);
    post(64, b, doneOut);
    EXPECT_EQ(doneAgain.load(), 1);
    EXPECT_EQ(doneOut.load(), 1);
    EXPECT_EQ(dumps_.writePending(ChannelMask{1} << 5), 1u);
    EXPECT_EQ(doneB.load(), 1);
    EXPECT_EQ(doneA.load(), 0);
    EXPECT_EQ(read(file(2, "output")), Bytes{});
    EXPECT_EQ(dumps_.writePending(), 1u);
    EXPECT_EQ(read(file(2, "output")), a);  // the first post's data, not the refused one's
    EXPECT_EQ(retired_.releaseAll(), 2u);   // the refused posts' copies
    EXPECT_TRUE(heapBackTo(heap));
}

// Without a thread of its own the library does the work at the application's
// next call; with one, that call leaves the work to the thread.
TEST_F(HousekeepingTest, WithoutAThreadTheApplicationCallWritesTheDump) {
    Housekeeper keeper(dumps_, retired_, signs_, [](platform::ThreadEntry, void*) { return false; });
    EXPECT_FALSE(keeper.ensureRunning());
    EXPECT_FALSE(keeper.running());
    const Bytes user = {9, 9, 9};
    std::atomic<std::uint8_t> done{0};
    const long long heap = testing::liveHeapBytes();
    post(0, user, done);
    retired_.retire(allocateBlock(100));
    keeper.serviceFromApplication();
    EXPECT_EQ(done.load(), 1);
    EXPECT_EQ(read(file(0, "internal")), user);
    EXPECT_TRUE(heapBackTo(heap));
}

// The thread ends by itself once idle and not kept alive, and a stop asked for
// while dumps are pending ends it only after they are written.
TEST_F(HousekeepingTest, ThreadEndsWhenIdleAndFinishesPendingDumpsOnStop) {
    Housekeeper keeper(dumps_, retired_, signs_);
    std::vector<Bytes> users(8, Bytes(4096, 0x5a));
    std::vector<std::atomic<std::uint8_t>> done(users.size());
    const long long heap = testing::liveHeapBytes();
    ASSERT_TRUE(keeper.ensureRunning());
    for (int i = 0; i < 5000 && keeper.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(keeper.running());

    keeper.setKeepAlive(true);
    ASSERT_TRUE(keeper.ensureRunning());
    for (std::uint32_t ch = 0; ch < users.size(); ++ch) post(ch, users[ch], done[ch]);
    for (int k = 0; k < 100; ++k) retired_.retire(allocateBlock(64));
    EXPECT_TRUE(keeper.stop(10000));
    for (auto& d : done) EXPECT_EQ(d.load(), 1);
    EXPECT_EQ(dumps_.pendingCount(), 0u);
    retired_.releaseAll();  // whatever the thread's last round left
    EXPECT_TRUE(heapBackTo(heap));
}

}  // namespace
}  // namespace asiochan
