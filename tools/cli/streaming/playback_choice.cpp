#include "streaming/playback_choice.h"

#include "streaming/queued_player.h"
#include "streaming/resumable_player.h"

namespace cli {

std::unique_ptr<FilePlayback> makePlayback(const PlaybackPlan& plan) {
    // The library's players take 8, 16 and 24 bits; the host queues 32-bit files.
    if (plan.wav.bitsPerSample > 24) return std::make_unique<QueuedPlayer>(plan);
    if (plan.single) return std::make_unique<ResumablePlayer>(plan, ResumablePlayer::Kind::single, 0u);
    // The multi-channel player takes a mask of outputs 0..31 and plays on them the
    // file's first channel, or (mapped) file channel i on the i-th lowest output. A
    // mask has no order: any other layout is queued by the host.
    std::uint32_t mask = 0;
    bool firstChannelOnly = true, inOrder = true;
    for (std::size_t i = 0; i < plan.routes.size(); ++i) {
        const Route& route = plan.routes[i];
        firstChannelOnly = firstChannelOnly && route.fileChannel == 0 && route.output < 32;
        inOrder = inOrder && route.fileChannel == i && route.output < 32 &&
                  (i == 0 || route.output > plan.routes[i - 1].output);
        mask |= route.output < 32 ? 1u << route.output : 0u;
    }
    if (firstChannelOnly) return std::make_unique<ResumablePlayer>(plan, ResumablePlayer::Kind::multi, mask);
    if (inOrder) return std::make_unique<ResumablePlayer>(plan, ResumablePlayer::Kind::mapped, mask);
    return std::make_unique<QueuedPlayer>(plan);
}

}  // namespace cli
