// With no driver loaded, the DLL answers every driver call with -1000 and
// defined defaults, and its getters read zero.
#include <cstring>

#include "wine/dll_exports.h"
#include "wine/wine_check.h"

WINE_TEST(no_driver, dll_loads_and_resolves_its_exports) {
    AsiochanDll& d = dll();
    WCHECK(d.module != nullptr);
    WCHECK(d.Initialize != nullptr);
    WCHECK(d.ASIOGetChannelInfo != nullptr);
    WCHECK(d.GetCurrentSampleRate != nullptr);
}

WINE_TEST(no_driver, initialize_and_driver_calls_answer_not_present) {
    AsiochanDll& d = dll();
    if (!d.Initialize) return;
    WCHECK_EQ(d.Initialize(), -1000);
    WCHECK_EQ(d.SetSampleRate(48000.0), -1000);
    WCHECK_EQ(d.ASIOControlPanel(), -1000);
}

WINE_TEST(no_driver, getters_read_zero) {
    AsiochanDll& d = dll();
    if (!d.GetBufferSizeMax) return;
    WCHECK_EQ(d.GetBufferSizeMax(), 0);
    WCHECK_EQ(d.GetBufferSizeMin(), 0);
    WCHECK_EQ(d.GetBufferSizePreferred(), 0);
    WCHECK(d.GetCurrentSampleRate() == 0.0);
    WCHECK_EQ(d.GetInputChannelCount(), 0);
    WCHECK_EQ(d.GetOutputChannelCount(), 0);
    WCHECK_EQ(d.GetInputLatency(), 0);
    WCHECK_EQ(d.GetOutputLatency(), 0);
}

WINE_TEST(no_driver, channel_info_gets_its_defaults) {
    AsiochanDll& d = dll();
    if (!d.ASIOGetChannelInfo) return;
    asiochan::ASIOChannelInfo info;
    std::memset(&info, 0x55, sizeof info);
    info.channel = 3;
    info.isInput = 1;
    WCHECK_EQ(d.ASIOGetChannelInfo(&info), -1000);
    WCHECK_EQ(info.channel, 3);
    WCHECK_EQ(info.isInput, 1);
    WCHECK_EQ(info.isActive, 0x55555555);
    WCHECK_EQ(info.channelGroup, -1);
    WCHECK_EQ(info.type, 0);
    WCHECK(std::strcmp(info.name, "None") == 0);
}
