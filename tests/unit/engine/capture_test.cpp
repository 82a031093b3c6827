#include "asiochan.h"

#include "engine/callbacks.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/host/host_control.h"
#include "support/allocation_counter.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

// 512 frames of 4 bytes (2048 bytes per period), 4 outputs and 4 inputs; dumps
// land in a fresh folder standing in for drive D:.
class CaptureTest : public testing::DumpFolderTest {
protected:
    void SetUp() override {
        DumpFolderTest::SetUp();
        prepareRun(smallDriver(4, 4, 512));
    }

    // What input channel `ch` delivered in the periods from `firstPeriod` on.
    static Bytes inputStream(int ch, std::uint64_t firstPeriod, std::size_t length) {
        Bytes b(length);
        for (std::size_t i = 0; i < length; ++i) b[i] = sim::inputPatternByte(ch, firstPeriod * kPeriod + i);
        return b;
    }
    bool dumpExists(const std::string& name) { return std::ifstream(dumpDir_ + "/" + name).good(); }
    Bytes dump(const std::string& name) {
        std::ifstream in(dumpDir_ + "/" + name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::uint64_t periodsRun() { return driver_->clock().periodsRun(); }
    // What a writer puts into the FIFO at `path`, from its open to its close; the
    // writer's open waits for this reader. Gives up 10 s after the call.
    static Bytes readFifo(const std::string& path) {
        Bytes got;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return got;
        const std::uint64_t deadline = platform::monotonicMicros() + 10'000'000;
        bool closed = false;
        while (!closed && platform::monotonicMicros() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            std::uint8_t chunk[4096];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) got.insert(got.end(), chunk, chunk + n);
            // No data is the end only once a writer has come and gone.
            closed = n == 0 && (p.revents & POLLHUP) != 0;
        }
        ::close(fd);
        EXPECT_TRUE(closed) << "no writer opened and closed " << path << " within 10 s";
        return got;
    }

    static constexpr std::size_t kPeriod = 2048;
};

TEST_F(CaptureTest, RefusesBadArgumentsAndBusyChannels) {
    Bytes a(64, 0x11);
    EXPECT_EQ(SetCaptureBuffer(nullptr, 64, 0), ASE_InvalidParameter);
    EXPECT_EQ(SetCaptureBuffer(a.data(), 64, 64), ASE_InvalidParameter);
    EXPECT_EQ(SetCaptureBuffer(a.data(), -4, 0), ASE_InvalidParameter);
    EXPECT_EQ(IsPortCaptureRunning(0), 0);
    EXPECT_EQ(a, Bytes(64, 0x11));  // nothing armed, nothing written
    EXPECT_EQ(SetCaptureBuffer(a.data(), 64, 0), ASE_OK);
    Bytes b(64, 0x22);
    EXPECT_EQ(SetCaptureBuffer(b.data(), 64, 0), ASE_NotPresent);
    EXPECT_EQ(engine().captureChannels[0].userStart.load(), a.data());
    EXPECT_EQ(b, Bytes(64, 0x22));
    EXPECT_EQ(IsPortCaptureRunning(64), 0);
    EXPECT_EQ(IsPortCaptureRunning(0xffffffffu), 0);
    // Above the device's inputs the record was never reset.
    EXPECT_EQ(IsPortCaptureRunning(6), 1);
    EXPECT_EQ(SetCaptureBuffer(b.data(), 64, 6), ASE_NotPresent);
}

TEST_F(CaptureTest, TenThousandBytesAreFourPeriodsAndATail) {
    Bytes target(10000, 0xaa);
    ASSERT_EQ(SetCaptureBuffer(target.data(), 10000, 2), ASE_OK);
    EXPECT_EQ(target, Bytes(10000, 0));
    EXPECT_EQ(engine().captureChannels[2].framesLeft.load(), 2500);
    step(2);  // not started: nothing captured
    EXPECT_EQ(target, Bytes(10000, 0));
    StartCapture();
    const std::uint64_t first = periodsRun();
    step(4);
    EXPECT_EQ(IsPortCaptureRunning(2), 1);
    EXPECT_FALSE(dumpExists("buffer_debug_2_output.dat"));
    step();
    EXPECT_TRUE(captureDone(2));
    EXPECT_TRUE(captureFinished());
    const Bytes expected = inputStream(2, first, 10000);
    EXPECT_EQ(target, expected);
    EXPECT_EQ(dump("buffer_debug_2_output.dat"), expected);
    EXPECT_EQ(dump("buffer_debug_2_internal.dat"), expected);
    EXPECT_EQ(engine().captureChannels[2].copyStart.load(), nullptr);
    // The copied half-buffer was cleared; an unarmed channel's half keeps its input.
    const int lastHalf = static_cast<int>((periodsRun() - 1) & 1);
    EXPECT_EQ(driver_->buffers()[4 + 2].halves[lastHalf], Bytes(kPeriod, 0));
    EXPECT_NE(driver_->buffers()[4 + 1].halves[lastHalf], Bytes(kPeriod, 0));
}

TEST_F(CaptureTest, PartialSampleAtTheEndIsNotWritten) {
    Bytes target(kPeriod + 6, 0x33);
    ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 0), ASE_OK);
    StartCapture();
    const std::uint64_t first = periodsRun();
    step(2);
    EXPECT_TRUE(captureDone(0));
    Bytes expected = inputStream(0, first, kPeriod + 4);
    expected.push_back(0);
    expected.push_back(0);
    EXPECT_EQ(target, expected);
}

TEST_F(CaptureTest, ShorterChannelCompletesFirst) {
    Bytes shortOne(kPeriod), longOne(3 * kPeriod);
    ASSERT_EQ(SetCaptureBuffer(shortOne.data(), kPeriod, 1), ASE_OK);
    ASSERT_EQ(SetCaptureBuffer(longOne.data(), 3 * kPeriod, 3), ASE_OK);
    StartCapture();
    step();
    EXPECT_TRUE(captureDone(1));
    EXPECT_TRUE(dumpExists("buffer_debug_1_output.dat"));
    EXPECT_EQ(IsPortCaptureRunning(3), 1);
    EXPECT_EQ(IsCaptureRunning(), 1);
    step(2);
    EXPECT_TRUE(captureFinished());
    EXPECT_EQ(dump("buffer_debug_3_internal.dat"), longOne);
}

TEST_F(CaptureTest, CaptureBuffArmsUntilTheFirstBadEntry) {
    Bytes a(kPeriod, 0x44), b(kPeriod, 0x55), c(kPeriod, 0x66);
    const CaptureRequest withBadChannel[] = {{a.data(), kPeriod, 1}, {b.data(), kPeriod, 2}, {c.data(), kPeriod, 70}};
    EXPECT_EQ(CaptureBuff(withBadChannel, 3), ASE_InvalidParameter);
    EXPECT_EQ(IsPortCaptureRunning(1), 1);
    EXPECT_EQ(IsPortCaptureRunning(2), 1);
    EXPECT_TRUE(captureFinished());
    // Only the first byte of each buffer is cleared.
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 0x44);
    StopCapture();  // not running: nothing happens
    EXPECT_EQ(IsPortCaptureRunning(1), 1);

    Bytes d(kPeriod, 0x77);
    const CaptureRequest nullBuffer[] = {{d.data(), kPeriod, 0}, {nullptr, kPeriod, 3}};
    const CaptureRequest negative[] = {{d.data(), kPeriod, 0}, {c.data(), -1, 3}};
    for (const CaptureRequest* requests : {nullBuffer, negative}) {
        EXPECT_EQ(CaptureBuff(requests, 2), ASE_InvalidParameter);
        EXPECT_EQ(IsPortCaptureRunning(0), 1);
        EXPECT_TRUE(captureDone(3));
        EXPECT_TRUE(captureFinished());
    }
    EXPECT_EQ(CaptureBuff(nullptr, 1), ASE_InvalidParameter);

    const std::uint64_t first = periodsRun();
    EXPECT_EQ(CaptureBuff(withBadChannel, 2), ASE_OK);
    EXPECT_EQ(IsCaptureRunning(), 1);
    step();
    EXPECT_EQ(a, inputStream(1, first, kPeriod));
    EXPECT_EQ(b, inputStream(2, first, kPeriod));
    EXPECT_EQ(d, inputStream(0, first, kPeriod));
    EXPECT_TRUE(captureFinished());
}

TEST_F(CaptureTest, CaptureBuffWithNothingStartsARunThatEndsAfterOnePeriod) {
    CaptureRequest none{};
    EXPECT_EQ(CaptureBuff(&none, 0), ASE_OK);
    EXPECT_EQ(IsCaptureRunning(), 1);
    step();
    EXPECT_TRUE(captureFinished());
}

TEST_F(CaptureTest, CaptureBuffNeverUsesAnEarlierCapturesBuffers) {
    // A capture armed with a shadow copy and stopped half way ...
    Bytes first(2 * kPeriod), second(kPeriod, 0x99);
    ASSERT_EQ(SetCaptureBuffer(first.data(), 2 * kPeriod, 0), ASE_OK);
    StartCapture();
    step();
    StopCapture();
    EXPECT_EQ(engine().captureChannels[0].copyStart.load(), nullptr);  // released at the stop
    const Bytes firstAfterStop = first;
    EXPECT_FALSE(dumpExists("buffer_debug_0_output.dat"));
    // ... then re-armed by CaptureBuff: no copy, dumps only of the new buffer.
    const CaptureRequest request{second.data(), kPeriod, 0};
    const std::uint64_t start = periodsRun();
    ASSERT_EQ(CaptureBuff(&request, 1), ASE_OK);
    EXPECT_EQ(engine().captureChannels[0].copyPos.load(), nullptr);
    step();
    EXPECT_TRUE(captureDone(0));
    EXPECT_EQ(first, firstAfterStop);
    EXPECT_EQ(second, inputStream(0, start, kPeriod));
    EXPECT_EQ(dump("buffer_debug_0_output.dat"), second);
    EXPECT_EQ(dump("buffer_debug_0_internal.dat"), Bytes{});
}

TEST_F(CaptureTest, CaptureBuffRetargetsAnArmedChannel) {
    Bytes old(kPeriod, 0x12), fresh(kPeriod, 0x34);
    const CaptureRequest request{fresh.data(), kPeriod, 1};
    const long long heapAtStart = testing::liveHeapBytes();
    ASSERT_EQ(SetCaptureBuffer(old.data(), kPeriod, 1), ASE_OK);
    const std::uint64_t start = periodsRun();
    ASSERT_EQ(CaptureBuff(&request, 1), ASE_OK);
    EXPECT_EQ(engine().captureChannels[1].copyStart.load(), nullptr);
    EXPECT_EQ(testing::liveHeapBytes(), heapAtStart) << "the old shadow copy was not released";
    step();
    EXPECT_TRUE(captureDone(1));  // `fresh` must outlive its dump
    EXPECT_EQ(old, Bytes(kPeriod, 0));
    EXPECT_EQ(fresh, inputStream(1, start, kPeriod));
}

TEST_F(CaptureTest, StopFreesEveryChannelWithoutDumps) {
    Bytes a(4 * kPeriod), b(4 * kPeriod);
    ASSERT_EQ(SetCaptureBuffer(a.data(), 4 * kPeriod, 0), ASE_OK);
    ASSERT_EQ(SetCaptureBuffer(b.data(), 4 * kPeriod, 1), ASE_OK);
    StartCapture();
    const std::uint64_t first = periodsRun();
    step();
    const long long heapBeforeStop = testing::liveHeapBytes();
    StopCapture();
    EXPECT_EQ(heapBeforeStop - testing::liveHeapBytes(), 2 * (4 * kPeriod + kBlockOverheadBytes))
        << "the shadow copies were not released";
    EXPECT_EQ(IsCaptureRunning(), 0);
    for (int ch : {0, 1, 6, 63}) EXPECT_EQ(IsPortCaptureRunning(ch), 0) << ch;
    EXPECT_EQ(engine().captureChannels[0].copyStart.load(), nullptr);
    step();
    const Bytes expected = inputStream(0, first, kPeriod);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), a.begin()));
    EXPECT_EQ(Bytes(a.begin() + kPeriod, a.end()), Bytes(3 * kPeriod, 0));
    EXPECT_FALSE(dumpExists("buffer_debug_0_output.dat"));
    EXPECT_FALSE(dumpExists("buffer_debug_0_internal.dat"));
    // A channel beyond the device's inputs is free now: it completes silently.
    Bytes beyond(2 * kPeriod, 0x5c);
    ASSERT_EQ(SetCaptureBuffer(beyond.data(), 2 * kPeriod, 6), ASE_OK);
    StartCapture();
    step();
    EXPECT_EQ(IsPortCaptureRunning(6), 1);
    step();
    EXPECT_TRUE(captureDone(6));
    EXPECT_EQ(beyond, Bytes(2 * kPeriod, 0));
    EXPECT_TRUE(dumpExists("buffer_debug_6_output.dat"));
}

// Whatever the dump's files do, the channel reads done only once both are closed:
// no drive D:, a missing folder, and files that block the writer until they are
// read (FIFOs).
TEST_F(CaptureTest, DoneWaitsForBothDumpFilesWhereverTheyGo) {
    enum class Dump { noDrive, missingFolder, blockingFiles };
    const std::string output = dumpDir_ + "/buffer_debug_3_output.dat";
    const std::string internal = dumpDir_ + "/buffer_debug_3_internal.dat";
    for (const Dump dump : {Dump::noDrive, Dump::missingFolder, Dump::blockingFiles}) {
        SCOPED_TRACE(static_cast<int>(dump));
        StopCapture();  // the row before wrote its dump where it was going
        platform::host::mapDrive('D', dump == Dump::noDrive         ? std::string()
                                      : dump == Dump::missingFolder ? dumpDir_ + "/missing/folder"
                                                                    : dumpDir_);
        if (dump == Dump::blockingFiles) {
            ASSERT_EQ(mkfifo(output.c_str(), 0600), 0);
            ASSERT_EQ(mkfifo(internal.c_str(), 0600), 0);
        }
        Bytes a(kPeriod);
        ASSERT_EQ(SetCaptureBuffer(a.data(), kPeriod, 3), ASE_OK);
        StartCapture();
        const std::uint64_t first = periodsRun();
        step();
        if (dump == Dump::blockingFiles) {
            // The writer has closed the first file and waits for a reader of the second.
            EXPECT_EQ(readFifo(output), a);
            EXPECT_EQ(IsPortCaptureRunning(3), 1) << "done before the second file was written";
            EXPECT_EQ(readFifo(internal), a);
        }
        EXPECT_TRUE(captureDone(3));
        EXPECT_EQ(a, inputStream(3, first, kPeriod));
        EXPECT_EQ(engine().captureChannels[3].copyStart.load(), nullptr);
    }
}

// A stop, Finish or Prepare right after a capture completed keeps its dump: the
// files are complete and the channel done when the call returns, whoever wrote them.
TEST_F(CaptureTest, StopsRightAfterCompletionKeepTheDump) {
    for (void (*stop)() : {+[] { StopCapture(); }, +[] { Finish(); }, +[] { Prepare(); }}) {
        std::filesystem::remove(dumpDir_ + "/buffer_debug_2_output.dat");
        std::filesystem::remove(dumpDir_ + "/buffer_debug_2_internal.dat");
        if (engine().runPrepared.load() == 0) {
            ASSERT_EQ(Prepare(), ASE_OK);
        }
        Bytes target(kPeriod);
        ASSERT_EQ(SetCaptureBuffer(target.data(), kPeriod, 2), ASE_OK);
        StartCapture();
        step();
        stop();
        EXPECT_EQ(engine().captureChannels[2].done.load(), 1);
        EXPECT_EQ(dump("buffer_debug_2_output.dat"), target);
        EXPECT_EQ(dump("buffer_debug_2_internal.dat"), target);
    }
}

TEST(CaptureDump, NamesAndContents) {
    char dir[] = "/tmp/asiochan-dumpXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    platform::host::mapDrive('D', dir);
    const Bytes user = {1, 2, 3, 4, 5}, copy = {9, 8, 7, 6, 5};
    writeCaptureDump(63, user.data(), copy.data(), 5);
    writeCaptureDump(0, nullptr, copy.data(), 5);
    auto read = [&](const std::string& name) {
        std::ifstream in(std::string(dir) + "/" + name, std::ios::binary);
        EXPECT_TRUE(in.good()) << name;
        return Bytes(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(read("buffer_debug_63_output.dat"), user);
    EXPECT_EQ(read("buffer_debug_63_internal.dat"), copy);
    EXPECT_EQ(read("buffer_debug_0_output.dat"), Bytes{});  // no buffer: an empty file
    EXPECT_EQ(read("buffer_debug_0_internal.dat"), copy);
    // An existing file is overwritten.
    writeCaptureDump(63, copy.data(), user.data(), 2);
    EXPECT_EQ(read("buffer_debug_63_output.dat"), Bytes({9, 8}));
    platform::host::mapDrive('D', "");
    std::filesystem::remove_all(dir);
}

class CaptureWithoutSampleWidthTest : public testing::StreamTest {};

TEST_F(CaptureWithoutSampleWidthTest, ArmingIsRefusedWhileTheInputWidthIsUnknown) {
    sim::SimConfig c = smallDriver(2, 2, 64);
    c.inputType = ASIOSTDSDInt8LSB1;  // no width: sampleSize[0] stays 0
    prepareRun(c);
    ASSERT_EQ(engine().sampleSize[0].load(), 0);
    Bytes a(64, 0x42);
    EXPECT_EQ(SetCaptureBuffer(a.data(), 64, 0), ASE_InvalidMode);
    const CaptureRequest request{a.data(), 64, 1};
    EXPECT_EQ(CaptureBuff(&request, 1), ASE_InvalidMode);
    EXPECT_TRUE(captureDone(0));
    EXPECT_TRUE(captureDone(1));
    EXPECT_TRUE(captureFinished());
    EXPECT_EQ(a, Bytes(64, 0x42));
}

}  // namespace
}  // namespace asiochan
