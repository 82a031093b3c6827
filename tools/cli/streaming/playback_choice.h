// Which player plays a plan: one of the library's file players where one serves
// the routing, otherwise the host's queued player.
#pragma once

#include <memory>

#include "streaming/file_playback.h"

namespace cli {

std::unique_ptr<FilePlayback> makePlayback(const PlaybackPlan& plan);

}  // namespace cli
