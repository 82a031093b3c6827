// The published ASIO data types, written from the binary interface description.
// Integers that the interface declares as `long` are 32-bit on 32-bit Windows;
// fixed-width types keep the same layout in the 64-bit host build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/abi.h"

namespace asiochan {

using AsioLong = std::int32_t;
using ASIOBool = std::int32_t;
using ASIOError = std::int32_t;
using ASIOSampleRate = double;
using ASIOSampleType = std::int32_t;

constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

#pragma pack(push, 4)

struct ASIOSamples {
    std::uint32_t hi;
    std::uint32_t lo;
};

struct ASIOTimeStamp {
    std::uint32_t hi;
    std::uint32_t lo;
};

struct ASIODriverInfo {
    AsioLong asioVersion;
    AsioLong driverVersion;
    char name[32];
    char errorMessage[124];
    void* sysRef;
};

struct ASIOClockSource {
    AsioLong index;
    AsioLong associatedChannel;
    AsioLong associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    AsioLong channel;
    ASIOBool isInput;
    ASIOBool isActive;
    AsioLong channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    AsioLong channelNum;
    void* buffers[2];
};

struct AsioTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    std::uint32_t flags;
    char reserved[12];
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    std::uint32_t flags;
    char future[64];
};

struct ASIOTime {
    AsioLong reserved[4];
    AsioTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

// The callbacks are plain C functions with the default (cdecl) convention.
struct ASIOCallbacks {
    void(ASIOCHAN_CDECL* bufferSwitch)(AsioLong doubleBufferIndex, ASIOBool directProcess);
    void(ASIOCHAN_CDECL* sampleRateDidChange)(ASIOSampleRate sRate);
    AsioLong(ASIOCHAN_CDECL* asioMessage)(AsioLong selector, AsioLong value, void* message, double* opt);
    ASIOTime*(ASIOCHAN_CDECL* bufferSwitchTimeInfo)(ASIOTime* params, AsioLong doubleBufferIndex,
                                                    ASIOBool directProcess);
};

#pragma pack(pop)

// Time-info flags.
constexpr std::uint32_t kSystemTimeValid = 1;
constexpr std::uint32_t kSamplePositionValid = 2;
constexpr std::uint32_t kSampleRateValid = 4;
constexpr std::uint32_t kSpeedValid = 8;
constexpr std::uint32_t kSampleRateChanged = 16;
constexpr std::uint32_t kClockSourceChanged = 32;

// Result codes.
constexpr ASIOError ASE_OK = 0;
constexpr ASIOError ASE_SUCCESS = 0x3f4847a0;
constexpr ASIOError ASE_NotPresent = -1000;
constexpr ASIOError ASE_HWMalfunction = -999;
constexpr ASIOError ASE_InvalidParameter = -998;
constexpr ASIOError ASE_InvalidMode = -997;
constexpr ASIOError ASE_SPNotAdvancing = -996;
constexpr ASIOError ASE_NoClock = -995;
constexpr ASIOError ASE_NoMemory = -994;

// asioMessage selectors.
enum : AsioLong {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion = 2,
    kAsioResetRequest = 3,
    kAsioBufferSizeChange = 4,
    kAsioResyncRequest = 5,
    kAsioLatenciesChanged = 6,
    kAsioSupportsTimeInfo = 7,
    kAsioSupportsTimeCode = 8,
    kAsioMMCCommand = 9,
    kAsioSupportsInputMonitor = 10,
};

// The layouts drivers expect. Only the structures holding pointers differ
// between 32-bit and 64-bit Windows; the rest hold in both.
#if ASIOCHAN_WIN32
static_assert(sizeof(ASIOSamples) == 8 && sizeof(ASIOTimeStamp) == 8);
static_assert(offsetof(ASIOSamples, hi) == 0 && offsetof(ASIOSamples, lo) == 4);
static_assert(offsetof(ASIODriverInfo, asioVersion) == 0 && offsetof(ASIODriverInfo, driverVersion) == 4);
static_assert(offsetof(ASIODriverInfo, name) == 8 && offsetof(ASIODriverInfo, errorMessage) == 40);
static_assert(offsetof(ASIODriverInfo, sysRef) == 164);
static_assert(sizeof(ASIOClockSource) == 48);
static_assert(offsetof(ASIOClockSource, associatedChannel) == 4 && offsetof(ASIOClockSource, associatedGroup) == 8);
static_assert(offsetof(ASIOClockSource, isCurrentSource) == 12 && offsetof(ASIOClockSource, name) == 16);
static_assert(sizeof(ASIOChannelInfo) == 52);
static_assert(offsetof(ASIOChannelInfo, isInput) == 4 && offsetof(ASIOChannelInfo, isActive) == 8);
static_assert(offsetof(ASIOChannelInfo, channelGroup) == 12 && offsetof(ASIOChannelInfo, type) == 16);
static_assert(offsetof(ASIOChannelInfo, name) == 20);
static_assert(offsetof(ASIOBufferInfo, channelNum) == 4 && offsetof(ASIOBufferInfo, buffers) == 8);
static_assert(sizeof(AsioTimeInfo) == 48);
static_assert(offsetof(AsioTimeInfo, systemTime) == 8 && offsetof(AsioTimeInfo, samplePosition) == 16);
static_assert(offsetof(AsioTimeInfo, sampleRate) == 24 && offsetof(AsioTimeInfo, flags) == 32);
static_assert(offsetof(AsioTimeInfo, reserved) == 36);
static_assert(sizeof(ASIOTimeCode) == 84);
static_assert(offsetof(ASIOTimeCode, timeCodeSamples) == 8 && offsetof(ASIOTimeCode, flags) == 16);
static_assert(offsetof(ASIOTimeCode, future) == 20);
static_assert(sizeof(ASIOTime) == 148);
static_assert(offsetof(ASIOTime, timeInfo) == 16 && offsetof(ASIOTime, timeCode) == 64);
static_assert(offsetof(ASIOCallbacks, sampleRateDidChange) == sizeof(void*));
static_assert(offsetof(ASIOCallbacks, asioMessage) == 2 * sizeof(void*));
static_assert(offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 3 * sizeof(void*));
#if ASIOCHAN_WIN32_X86
static_assert(sizeof(ASIODriverInfo) == 168);
static_assert(sizeof(ASIOBufferInfo) == 16);
static_assert(sizeof(ASIOCallbacks) == 16);
#else
static_assert(sizeof(ASIODriverInfo) == 172);
static_assert(sizeof(ASIOBufferInfo) == 24);
static_assert(sizeof(ASIOCallbacks) == 32);
#endif
#endif

}  // namespace asiochan
