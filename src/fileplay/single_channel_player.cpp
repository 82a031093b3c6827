#include "fileplay/single_channel_player.h"

#include "engine/engine_state.h"
#include "engine/initialization.h"

namespace asiochan {
SingleChannelPlayer singleChannelPlayer;
}  // namespace asiochan

using namespace asiochan;

extern "C" std::uint8_t ASIOCHAN_CDECL SingleChanelPlayStart(const char* path, std::uint32_t channel,
                                                             std::uint8_t loop) {
    SingleChannelPlayer& player = singleChannelPlayer;
    if (IsSingleInPlay()) return 0;
    // Without a prepared run no period would ever take the blocks.
    if (engine.runPrepared.load() == 0) return 0;
    const std::int32_t outputs = GetOutputChannelCount();
    if (outputs <= 0 || channel >= static_cast<std::uint32_t>(outputs) || channel >= kMaxChannels) return 0;
    if (!fitsPlayerPath(path)) return 0;
    if (!beginStart(player.core)) return 0;
    bool started = false;
    if (takePlayablePath(player.core, path)) {
        player.channel.store(channel);
        player.core.channels = std::uint64_t{1} << channel;
        started = launchWorker(player.core, loop);
    }
    finishStart(player.core);
    return started ? 1 : 0;
}

extern "C" void ASIOCHAN_CDECL SingleChanelPlayStop() { stopPlayer(singleChannelPlayer.core); }

extern "C" std::uint8_t ASIOCHAN_CDECL SingleChanelSetVolume(float volume) {
    return setPlayerVolume(singleChannelPlayer.core, volume);
}

extern "C" std::uint8_t ASIOCHAN_CDECL IsSingleInPlay() { return singleChannelPlayer.core.inPlay.load(); }
