#include <cmath>
#include <cstring>

#include "support/sim_fixture.h"

namespace asiochan {
namespace {

using sim::Slot;
using testing::SimDriverTest;

TEST(CallLayerWithoutDriver, EveryFunctionAnswersNotPresentAndWritesItsDefaults) {
    driverCalls().setCurrent(nullptr);
    EXPECT_EQ(driverCalls().ASIOStart(), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIOStop(), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIOSetSampleRate(44100.0), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIODisposeBuffers(), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIOControlPanel(), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIOOutputReady(), ASE_NotPresent);

    AsioLong a = 7, b = 7, c = 7, d = 7;
    EXPECT_EQ(driverCalls().ASIOGetChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    a = b = 7;
    EXPECT_EQ(driverCalls().ASIOGetLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    a = b = 7;
    EXPECT_EQ(driverCalls().ASIOGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    EXPECT_EQ(a | b | c | d, 0);

    double rate = 123.5;
    EXPECT_EQ(driverCalls().ASIOGetSampleRate(&rate), ASE_NotPresent);
    EXPECT_EQ(rate, 123.5);

    ASIOSamples pos{5, 6};
    ASIOTimeStamp stamp{7, 8};
    EXPECT_EQ(driverCalls().ASIOGetSamplePosition(&pos, &stamp), ASE_NotPresent);
    EXPECT_EQ(pos.hi, 5u);
    EXPECT_EQ(stamp.lo, 8u);

    ASIOChannelInfo info;
    std::memset(&info, 0x55, sizeof info);
    info.channel = 9;
    info.isInput = 1;
    EXPECT_EQ(driverCalls().ASIOGetChannelInfo(&info), ASE_NotPresent);
    EXPECT_EQ(info.channel, 9);
    EXPECT_EQ(info.isInput, 1);
    EXPECT_EQ(info.isActive, 0x55555555);
    EXPECT_EQ(info.channelGroup, -1);
    EXPECT_EQ(info.type, 0);
    EXPECT_STREQ(info.name, "None");
}

TEST(CallLayerWithoutDriver, ChannelInfoExportRefusesANullRecord) {
    driverCalls().setCurrent(nullptr);
    EXPECT_EQ(driverCalls().ASIOGetChannelInfo(nullptr), ASE_InvalidParameter);
}

TEST(CallLayerWithoutDriver, CreateBuffersClearsOnlyTheCountedRecords) {
    driverCalls().setCurrent(nullptr);
    int dummy = 0;
    ASIOBufferInfo infos[4];
    for (auto& i : infos) i = ASIOBufferInfo{1, 2, {&dummy, &dummy}};
    ASIOCallbacks callbacks{};
    EXPECT_EQ(driverCalls().ASIOCreateBuffers(infos, 3, 256, &callbacks), ASE_NotPresent);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(infos[i].buffers[0], nullptr);
        EXPECT_EQ(infos[i].buffers[1], nullptr);
        EXPECT_EQ(infos[i].channelNum, 2);
    }
    EXPECT_EQ(infos[3].buffers[0], &dummy);
    infos[0].buffers[0] = &dummy;
    EXPECT_EQ(driverCalls().ASIOCreateBuffers(infos, 0, 256, &callbacks), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIOCreateBuffers(infos, -2, 256, &callbacks), ASE_NotPresent);
    EXPECT_EQ(infos[0].buffers[0], &dummy);
}

TEST(CallLayerWithoutDriver, InitWritesNameAndVersionButNotTheErrorMessage) {
    driverCalls().setCurrent(nullptr);
    ASIODriverInfo info{};
    info.driverVersion = 99;
    std::strcpy(info.errorMessage, "untouched");
    EXPECT_EQ(driverCalls().ASIOInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_STREQ(info.errorMessage, "untouched");
}

class CallLayerTest : public SimDriverTest {};

TEST_F(CallLayerTest, InitAcceptedFillsNameVersionAndNoErrorText) {
    sim::SimConfig config;
    config.name = "Sim One";
    config.version = 42;
    install(config);
    ASIODriverInfo info{};
    EXPECT_EQ(driverCalls().ASIOInit(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Sim One");
    EXPECT_EQ(info.driverVersion, 42);
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_EQ(driverCalls().current(), driver_);
    ASSERT_FALSE(driver_->calls().empty());
    EXPECT_EQ(driver_->calls()[0].args[0], 0u);  // sysRef stays null
}

TEST_F(CallLayerTest, InitRefusedKeepsTheDriversReasonAndDropsTheDriver) {
    sim::SimConfig config;
    config.refuseInit = true;
    config.initErrorMessage = "no hardware attached";
    install(config);
    ASIODriverInfo info{};
    EXPECT_EQ(driverCalls().ASIOInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.errorMessage, "no hardware attached");
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_EQ(driverCalls().current(), nullptr);
    EXPECT_EQ(driver_->refCount(), 1u);  // not released by the call layer
    EXPECT_EQ(driverCalls().ASIOStart(), ASE_NotPresent);
    EXPECT_EQ(driver_->callCount(Slot::start), 0u);
}

TEST_F(CallLayerTest, ArgumentsAreForwardedAndResultsReturnedUnchanged) {
    sim::SimConfig config;
    config.failures = {{Slot::start, -4242}, {Slot::controlPanel, -77}, {Slot::future, 5}};
    auto& d = install(config);

    EXPECT_EQ(driverCalls().ASIOStart(), -4242);
    EXPECT_EQ(driverCalls().ASIOControlPanel(), -77);
    EXPECT_EQ(driverCalls().ASIOStop(), ASE_OK);

    AsioLong in = 0, out = 0;
    EXPECT_EQ(driverCalls().ASIOGetChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 8);
    EXPECT_EQ(out, 8);

    ASIOBufferInfo infos[2] = {{0, 1, {nullptr, nullptr}}, {1, 0, {nullptr, nullptr}}};
    ASIOCallbacks callbacks{};
    EXPECT_EQ(driverCalls().ASIOCreateBuffers(infos, 2, 128, &callbacks), ASE_OK);
    EXPECT_NE(infos[0].buffers[0], nullptr);
    EXPECT_NE(infos[1].buffers[1], nullptr);

    ASIOChannelInfo info{};
    info.channel = 1;
    info.isInput = 0;
    EXPECT_EQ(driverCalls().ASIOGetChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);

    EXPECT_EQ(driverCalls().ASIOSetSampleRate(44100.0), ASE_OK);

    const auto calls = d.calls();
    auto find = [&](Slot s) {
        for (const auto& c : calls)
            if (c.slot == s) return c;
        ADD_FAILURE() << "no call of " << sim::slotName(s);
        return sim::CallRecord{};
    };
    EXPECT_EQ(find(Slot::getChannels).args[0], reinterpret_cast<std::uintptr_t>(&in));
    EXPECT_EQ(find(Slot::getChannels).args[1], reinterpret_cast<std::uintptr_t>(&out));
    const auto create = find(Slot::createBuffers);
    EXPECT_EQ(create.args[0], reinterpret_cast<std::uintptr_t>(infos));
    EXPECT_EQ(create.args[1], 2u);
    EXPECT_EQ(create.args[2], 128u);
    EXPECT_EQ(create.args[3], reinterpret_cast<std::uintptr_t>(&callbacks));
    EXPECT_EQ(find(Slot::getChannelInfo).args[0], reinterpret_cast<std::uintptr_t>(&info));
    EXPECT_EQ(find(Slot::setSampleRate).rate, 44100.0);
    EXPECT_EQ(driverCalls().ASIODisposeBuffers(), ASE_OK);
}

TEST_F(CallLayerTest, OutputReadyUnsupportedIsPassedThrough) {
    sim::SimConfig config;
    config.outputReadySupported = false;
    install(config);
    EXPECT_EQ(driverCalls().ASIOOutputReady(), ASE_NotPresent);
}

}  // namespace
}  // namespace asiochan
