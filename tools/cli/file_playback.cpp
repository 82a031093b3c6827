#include "file_playback.h"

#include "queued_player.h"
#include "resumable_player.h"

namespace cli {

std::unique_ptr<FilePlayback> makePlayback(const PlaybackPlan& plan) {
    if (plan.single) return std::make_unique<ResumablePlayer>(plan, ResumablePlayer::Kind::single, 0u);
    // The multi-channel player takes a mask of outputs 0..31 and plays the file's
    // first channel on each; anything else is queued by the host.
    std::uint32_t mask = 0;
    bool firstChannelOnly = true;
    for (const Route& route : plan.routes) {
        firstChannelOnly = firstChannelOnly && route.fileChannel == 0 && route.output < 32;
        mask |= route.output < 32 ? 1u << route.output : 0u;
    }
    if (firstChannelOnly) return std::make_unique<ResumablePlayer>(plan, ResumablePlayer::Kind::multi, mask);
    return std::make_unique<QueuedPlayer>(plan);
}

}  // namespace cli
