#include "fileplay/multi_channel_player.h"

#include "engine/engine_state.h"
#include "engine/initialization.h"

namespace asiochan {
MultiChannelPlayer multiChannelPlayer;
}  // namespace asiochan

using namespace asiochan;

namespace {
// True when every channel of the mask is below the engine's output channel count.
bool maskFitsOutputs(std::uint32_t mask) {
    const std::int32_t outputs = GetOutputChannelCount();
    if (outputs >= 32) return true;
    if (outputs <= 0) return mask == 0;
    return (mask >> outputs) == 0;
}
}  // namespace

extern "C" std::uint8_t ASIOCHAN_CDECL MultipleChanelPlayStart(const char* path, std::uint32_t mask,
                                                               std::uint8_t loop) {
    MultiChannelPlayer& player = multiChannelPlayer;
    if (IsMultipleInPlay()) return 0;
    // Without a prepared run no period would ever take the blocks.
    if (engine.runPrepared.load() == 0) return 0;
    if (!maskFitsOutputs(mask) || mask == 0) return 0;
    if (!fitsPlayerPath(path)) return 0;
    if (!beginStart(player.core)) return 0;
    bool started = false;
    // A worker that ended gave its channels back; one that still holds them is
    // the only reason the mask can be set here.
    if (player.channelMask.load() == 0) {
        player.channelMask.store(mask);
        if (takePlayablePath(player.core, path)) {
            player.core.channels = mask;
            started = launchWorker(player.core, loop);
        }
        if (!started) player.channelMask.store(0);
    }
    finishStart(player.core);
    return started ? 1 : 0;
}

extern "C" void ASIOCHAN_CDECL MultipleChanelPlayStop() { stopPlayer(multiChannelPlayer.core); }

extern "C" std::uint8_t ASIOCHAN_CDECL MultipleChanelSetVolume(float volume) {
    return setPlayerVolume(multiChannelPlayer.core, volume);
}

extern "C" std::uint8_t ASIOCHAN_CDECL IsMultipleInPlay() { return multiChannelPlayer.core.inPlay.load(); }
