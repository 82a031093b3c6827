// The stream's exports.
#include <cstddef>

#include "asiochan.h"
#include "session/library.h"

// One layout in 32-bit and 64-bit code (the header checks it too, where it is compiled as C11 or C++11).
static_assert(sizeof(AsiochanStreamConfig) == 152 && offsetof(AsiochanStreamConfig, outputs) == 88);
static_assert(sizeof(AsiochanStreamEvent) == 16 && offsetof(AsiochanStreamEvent, position) == 8);
static_assert(sizeof(AsiochanStreamBlock) == 160 && offsetof(AsiochanStreamBlock, events) == 32);
static_assert(sizeof(AsiochanStreamState) == 80 && offsetof(AsiochanStreamState, inputLatency) == 56);

using asiochan::theLibrary;

extern "C" {

int32_t ASIOCHAN_CALL OpenStream(const AsiochanStreamConfig* config) { return theLibrary().engine.openStream(config); }
int32_t ASIOCHAN_CALL StartStream(void) { return theLibrary().engine.startStream(); }
int32_t ASIOCHAN_CALL ReadStream(void* frames, int32_t count, int32_t timeoutMs, AsiochanStreamBlock* block) {
    return theLibrary().engine.readStream(frames, count, timeoutMs, block);
}
int32_t ASIOCHAN_CALL WriteStream(const void* frames, int32_t count, int32_t timeoutMs, AsiochanStreamBlock* block) {
    return theLibrary().engine.writeStream(frames, count, timeoutMs, block);
}
int32_t ASIOCHAN_CALL GetStreamState(AsiochanStreamState* state) { return theLibrary().engine.streamState(state); }
int32_t ASIOCHAN_CALL StopStream(void) { return theLibrary().engine.stopStream(); }
int32_t ASIOCHAN_CALL CloseStream(void) { return theLibrary().engine.closeStream(); }
int32_t ASIOCHAN_CALL PlayAndRecord(const AsiochanStreamConfig* config, const void* play, int32_t playFrames,
                                    void* record, int32_t recordFrames, int32_t timeoutMs, AsiochanStreamState* state) {
    return theLibrary().engine.playAndRecord(config, play, playFrames, record, recordFrames, timeoutMs, state);
}

}  // extern "C"
