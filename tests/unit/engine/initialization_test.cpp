#include <cmath>
#include <limits>

#include "engine/callbacks.h"
#include "asiochan.h"
#include "support/sim_fixture.h"

namespace asiochan {
namespace {

using sim::Slot;

class InitializeTest : public testing::SimDriverTest {};

TEST_F(InitializeTest, BeforeInitializeEveryGetterReadsZero) {
    EXPECT_EQ(GetBufferSizeMax(), 0);
    EXPECT_EQ(GetBufferSizeMin(), 0);
    EXPECT_EQ(GetBufferSizePreferred(), 0);
    EXPECT_EQ(GetCurrentSampleRate(), 0.0);
    EXPECT_EQ(GetInputChannelCount(), 0);
    EXPECT_EQ(GetOutputChannelCount(), 0);
    EXPECT_EQ(GetInputLatency(), 0);
    EXPECT_EQ(GetOutputLatency(), 0);
    EXPECT_EQ(engine().canSendNext[0].load(), 1);
    for (int i = 1; i < kMaxChannels; ++i) EXPECT_EQ(engine().canSendNext[i].load(), 0);
}

TEST_F(InitializeTest, WithoutDriverAnswersNotPresent) { EXPECT_EQ(Initialize(), ASE_NotPresent); }

TEST_F(InitializeTest, ReadsEveryCapabilityOfTheDriver) {
    sim::SimConfig config;
    config.inputs = 4;
    config.outputs = 2;
    config.bufferMin = 64;
    config.bufferMax = 2048;
    config.bufferPreferred = 512;
    config.bufferGranularity = 64;
    config.sampleRate = 96000.0;
    install(config);
    EXPECT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(GetInputChannelCount(), 4);
    EXPECT_EQ(GetOutputChannelCount(), 2);
    EXPECT_EQ(GetBufferSizeMin(), 64);
    EXPECT_EQ(GetBufferSizeMax(), 2048);
    EXPECT_EQ(GetBufferSizePreferred(), 512);
    EXPECT_EQ(engine().bufferSizeGranularity.load(), 64);
    EXPECT_EQ(GetCurrentSampleRate(), 96000.0);
    EXPECT_EQ(engine().outputReadySupported.load(), 1);
    EXPECT_EQ(GetInputLatency(), 0);  // latencies are read by Prepare
    EXPECT_EQ(driver_->callCount(Slot::getLatencies), 0u);
}

TEST_F(InitializeTest, StopsAtTheFirstFailingStepAndKeepsLaterFieldsAsTheyWere) {
    struct Step {
        Slot slot;
        int channels, preferred;
        double rate;
    };
    // Each case fails one step; fields of earlier steps take new values, the rest keep old ones.
    const Step steps[] = {
        {Slot::getChannels, 0, 0, 0.0}, {Slot::getBufferSize, 8, 0, 0.0}, {Slot::getSampleRate, 8, 256, 0.0}};
    for (const Step& s : steps) {
        SCOPED_TRACE(sim::slotName(s.slot));
        testing::freshLibrary();
        sim::SimConfig config;
        config.failures = {{s.slot, -999}};
        install(config);
        EXPECT_EQ(Initialize(), -999);
        EXPECT_EQ(GetOutputChannelCount(), s.channels);
        EXPECT_EQ(GetBufferSizePreferred(), s.preferred);
        EXPECT_EQ(GetCurrentSampleRate(), s.rate);
        EXPECT_EQ(engine().outputReadySupported.load(), 0);
    }
}

TEST_F(InitializeTest, RefusedInitReturnsNotPresentAndReadsNothing) {
    sim::SimConfig config;
    config.refuseInit = true;
    install(config);
    EXPECT_EQ(Initialize(), ASE_NotPresent);
    EXPECT_EQ(driver_->callCount(Slot::getChannels), 0u);
    EXPECT_EQ(driverCalls().current(), nullptr);
}

TEST_F(InitializeTest, OutputReadyNotSupportedStillInitializes) {
    sim::SimConfig config;
    config.outputReadySupported = false;
    install(config);
    EXPECT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(engine().outputReadySupported.load(), 0);
}

TEST_F(InitializeTest, ChannelCountsAreBoundedToTheTables) {
    sim::SimConfig config;
    config.inputs = 200;
    config.outputs = -5;
    install(config);
    EXPECT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(GetInputChannelCount(), kMaxChannels);
    EXPECT_EQ(GetOutputChannelCount(), 0);
}

class SetSampleRateTest : public testing::SimDriverTest {};

TEST_F(SetSampleRateTest, TakenRateIsStored) {
    install();
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(SetSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(GetCurrentSampleRate(), 44100.0);
}

TEST_F(SetSampleRateTest, DriverRefusalIsReturnedUnchanged) {
    sim::SimConfig config;
    config.failures = {{Slot::setSampleRate, ASE_NoClock}};
    install(config);
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(SetSampleRate(44100.0), ASE_NoClock);
    EXPECT_EQ(GetCurrentSampleRate(), 48000.0);
    EXPECT_EQ(driver_->callCount(Slot::getSampleRate), 1u);  // only Initialize's
}

TEST_F(SetSampleRateTest, RateThatReadsBackDifferentlyFailsAndIsKept) {
    sim::SimConfig config;
    config.rateReadsBackDifferently = true;
    config.rateReadBack = std::nextafter(44100.0, 0.0);  // differs in the last bit
    install(config);
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(SetSampleRate(44100.0), ASE_NotPresent);
    EXPECT_EQ(GetCurrentSampleRate(), config.rateReadBack);
}

TEST_F(SetSampleRateTest, FailingReadBackAnswersNotPresentNotTheDriversCode) {
    auto& d = install();
    ASSERT_EQ(Initialize(), ASE_OK);
    d.config().failures = {{Slot::getSampleRate, ASE_HWMalfunction}};
    EXPECT_EQ(SetSampleRate(44100.0), ASE_NotPresent);
}

TEST_F(SetSampleRateTest, NanIsNeverEqual) {
    install();
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(SetSampleRate(std::numeric_limits<double>::quiet_NaN()), ASE_NotPresent);
}

TEST(SampleWidth, TableOfWidths) {
    struct Row {
        ASIOSampleType type;
        std::int32_t width;
    };
    const Row rows[] = {{0, 2},  {16, 2}, {1, 3},  {17, 3}, {2, 4},  {18, 4}, {3, 4},  {19, 4}, {4, 8},
                        {20, 8}, {8, 4},  {11, 4}, {24, 4}, {27, 4}, {5, 0},  {7, 0},  {12, 0}, {15, 0},
                        {21, 0}, {23, 0}, {28, 0}, {32, 0}, {33, 0}, {40, 0}, {-1, 0}, {-16, 0}};
    for (const Row& r : rows) EXPECT_EQ(sampleWidthOf(r.type), r.width) << "type " << r.type;
}

TEST(SampleWidth, StoreKeepsThePreviousWidthForTypesWithoutOne) {
    testing::freshLibrary();
    storeSampleSize(engine(), 0, ASIOSTInt24LSB);
    storeSampleSize(engine(), 1, ASIOSTInt32LSB);
    EXPECT_EQ(engine().sampleSize[0].load(), 3);
    EXPECT_EQ(engine().sampleSize[1].load(), 4);
    storeSampleSize(engine(), 1, ASIOSTDSDInt8LSB1);
    EXPECT_EQ(engine().sampleSize[1].load(), 4);
    storeSampleSize(engine(), 0, ASIOSTFloat64LSB);
    EXPECT_EQ(engine().sampleSize[0].load(), 8);
    testing::freshLibrary();
    storeSampleSize(engine(), 0, 32);
    EXPECT_EQ(engine().sampleSize[0].load(), 0);
}

TEST(AsioMessage, AnswersFromItsTable) {
    for (AsioLong v : {2, 3, 5, 6, 7, 8, 10})
        EXPECT_EQ(asioMessage(kAsioSelectorSupported, v, nullptr, nullptr), 1) << v;
    for (AsioLong v : {0, 1, 4, 9, 11, -1}) EXPECT_EQ(asioMessage(kAsioSelectorSupported, v, nullptr, nullptr), 0) << v;
    EXPECT_EQ(asioMessage(kAsioEngineVersion, 12345, nullptr, nullptr), 2);
    EXPECT_EQ(asioMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(asioMessage(kAsioBufferSizeChange, 512, nullptr, nullptr), 0);
    EXPECT_EQ(asioMessage(kAsioResyncRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(asioMessage(kAsioLatenciesChanged, 0, nullptr, nullptr), 1);
    EXPECT_EQ(asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr), 1);
    EXPECT_EQ(asioMessage(kAsioSupportsTimeCode, 0, nullptr, nullptr), 0);
    for (AsioLong s : {0, 9, 10, 11, 1000, -3}) EXPECT_EQ(asioMessage(s, 1, nullptr, nullptr), 0) << s;
}

}  // namespace
}  // namespace asiochan
