// The initialization, run, capture and playback exports.
#include <cstddef>

#include "asiochan.h"
#include "platform/abi.h"
#include "session/library.h"

// CaptureBuff's array is laid out by the application's compiler: natural layout,
// 12 bytes in 32-bit code and 16 in 64-bit code.
#if ASIOCHAN_WIN32_X86
static_assert(sizeof(CaptureRequest) == 12);
static_assert(offsetof(CaptureRequest, byteLength) == 4 && offsetof(CaptureRequest, channel) == 8);
#elif ASIOCHAN_WIN32
static_assert(sizeof(CaptureRequest) == 16);
static_assert(offsetof(CaptureRequest, byteLength) == 8 && offsetof(CaptureRequest, channel) == 12);
#endif

using asiochan::theLibrary;

extern "C" {

int32_t ASIOCHAN_CALL Initialize(void) { return theLibrary().engine.initialize(); }
int32_t ASIOCHAN_CALL SetSampleRate(double rate) { return theLibrary().engine.setSampleRate(rate); }
int32_t ASIOCHAN_CALL GetBufferSizeMax(void) { return theLibrary().engine.bufferSizeMax(); }
int32_t ASIOCHAN_CALL GetBufferSizeMin(void) { return theLibrary().engine.bufferSizeMin(); }
int32_t ASIOCHAN_CALL GetBufferSizePreferred(void) { return theLibrary().engine.bufferSizePreferred(); }
double ASIOCHAN_CALL GetCurrentSampleRate(void) { return theLibrary().engine.currentSampleRate(); }
int32_t ASIOCHAN_CALL GetInputChannelCount(void) { return theLibrary().engine.inputChannelCount(); }
int32_t ASIOCHAN_CALL GetOutputChannelCount(void) { return theLibrary().engine.outputChannelCount(); }
int32_t ASIOCHAN_CALL GetInputLatency(void) { return theLibrary().engine.inputLatency(); }
int32_t ASIOCHAN_CALL GetOutputLatency(void) { return theLibrary().engine.outputLatency(); }

int32_t ASIOCHAN_CALL Prepare(void) { return theLibrary().engine.prepare(); }
int32_t ASIOCHAN_CALL Finish(void) { return theLibrary().engine.finish(); }
uint32_t ASIOCHAN_CALL GetDriverRequests(void) { return theLibrary().engine.takeDriverRequests(); }
uint32_t ASIOCHAN_CALL GetPeriodCount(void) { return theLibrary().engine.periodCount(); }
uint32_t ASIOCHAN_CALL GetSkippedPeriods(void) { return theLibrary().engine.skippedPeriods(); }

int32_t ASIOCHAN_CALL SetCaptureBuffer(void* buffer, int32_t byteLength, uint32_t channel) {
    return theLibrary().engine.setCaptureBuffer(buffer, byteLength, channel);
}
int32_t ASIOCHAN_CALL CaptureBuff(const CaptureRequest* requests, int32_t count) {
    return theLibrary().engine.captureBuff(requests, count);
}
void ASIOCHAN_CALL StartCapture(void) { theLibrary().engine.startCapture(); }
void ASIOCHAN_CALL StopCapture(void) { theLibrary().engine.stopCapture(); }
uint8_t ASIOCHAN_CALL IsCaptureRunning(void) { return theLibrary().engine.isCaptureRunning(); }
uint8_t ASIOCHAN_CALL IsPortCaptureRunning(uint32_t channel) {
    return theLibrary().engine.isPortCaptureRunning(channel);
}

void ASIOCHAN_CALL StartCaptureAndPlayback(void) { theLibrary().engine.startCaptureAndPlayback(); }

int32_t ASIOCHAN_CALL SetPlayBuffer(const void* data, int32_t byteLength, uint32_t channel) {
    return theLibrary().engine.setPlayBuffer(data, byteLength, channel);
}
// Kept for callers of the original interface; does nothing.
int32_t ASIOCHAN_CALL PlayBuff(void) { return 0; }
void ASIOCHAN_CALL StartPlayback(void) { theLibrary().engine.startPlayback(); }
void ASIOCHAN_CALL StopPlayback(void) { theLibrary().engine.stopPlayback(); }
uint8_t ASIOCHAN_CALL IsCanSendNextPlaybackBuffer(uint32_t channel) { return theLibrary().engine.canSendNext(channel); }
uint8_t ASIOCHAN_CALL IsPortPlaybackRunning(uint32_t channel) {
    return theLibrary().engine.isPortPlaybackRunning(channel);
}

}  // extern "C"
