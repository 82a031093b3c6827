// Capture channels: per input channel, one application buffer filled period by
// period until it is full.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/abi.h"

// One entry of the array CaptureBuff takes: 12 bytes in the 32-bit DLL, 16 in the
// 64-bit one (natural layout, the pointer first).
struct CaptureRequest {
    void* buffer;
    std::int32_t byteLength;
    std::uint32_t channel;
};
#if ASIOCHAN_WIN32_X86
static_assert(sizeof(CaptureRequest) == 12);
#elif ASIOCHAN_WIN32
static_assert(sizeof(CaptureRequest) == 16);
static_assert(offsetof(CaptureRequest, byteLength) == 8 && offsetof(CaptureRequest, channel) == 12);
#endif

extern "C" {
std::int32_t ASIOCHAN_CDECL SetCaptureBuffer(void* buffer, std::int32_t byteLength, std::uint32_t channel);
std::int32_t ASIOCHAN_CDECL CaptureBuff(const CaptureRequest* requests, std::int32_t count);
void ASIOCHAN_CDECL StartCapture();
void ASIOCHAN_CDECL StopCapture();
std::uint8_t ASIOCHAN_CDECL IsCaptureRunning();
std::uint8_t ASIOCHAN_CDECL IsPortCaptureRunning(std::uint32_t channel);
}
