// The two file players' exports: one player implementation, two instances, each
// with its own volume and in-play state.
#include "asiochan.h"
#include "session/library.h"

using asiochan::theLibrary;

extern "C" {

uint8_t ASIOCHAN_CALL MultipleChanelPlayStart(const char* path, uint32_t mask, uint8_t loop) {
    return theLibrary().multiple.start(path, mask, loop);
}
uint8_t ASIOCHAN_CALL MultipleChanelPlayStartMapped(const char* path, uint32_t mask, uint8_t loop) {
    return theLibrary().multiple.startMapped(path, mask, loop);
}
void ASIOCHAN_CALL MultipleChanelPlayStop(void) { theLibrary().multiple.stop(); }
uint8_t ASIOCHAN_CALL MultipleChanelSetVolume(float volume) { return theLibrary().multiple.setVolume(volume); }
uint8_t ASIOCHAN_CALL IsMultipleInPlay(void) { return theLibrary().multiple.inPlay(); }

uint8_t ASIOCHAN_CALL SingleChanelPlayStart(const char* path, uint32_t channel, uint8_t loop) {
    return theLibrary().single.startOnChannel(path, channel, loop);
}
void ASIOCHAN_CALL SingleChanelPlayStop(void) { theLibrary().single.stop(); }
uint8_t ASIOCHAN_CALL SingleChanelSetVolume(float volume) { return theLibrary().single.setVolume(volume); }
uint8_t ASIOCHAN_CALL IsSingleInPlay(void) { return theLibrary().single.inPlay(); }

}  // extern "C"
