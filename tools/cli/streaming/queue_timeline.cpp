#include "streaming/queue_timeline.h"

#include <algorithm>

namespace cli {

std::uint64_t QueueTimeline::take(std::uint64_t frames) {
    const std::uint64_t n = std::min(frames, limit_ - position_);
    position_ += n;
    return n;
}

void QueueTimeline::emit(std::uint64_t dropsBefore, std::uint64_t frames, bool ownsSet, std::vector<Piece>* out) {
    Piece piece;
    piece.at = position_;
    piece.zeros = take(dropsBefore > placed_ ? dropsBefore - placed_ : 0);
    placed_ = std::max(placed_, dropsBefore);
    piece.frames = take(frames);
    piece.ownsSet = ownsSet;
    if (ownsSet) {
        ++handed_;
        seen_ = false;
    }
    out->push_back(piece);
}

void QueueTimeline::follow(std::uint64_t recorded, std::uint64_t dropped, std::vector<Piece>* filled) {
    // A set not seen filling gets no drops before it: they wait for a later set.
    while ((handed_ + 1) * setFrames_ <= recorded) emit(seen_ ? seenDrops_ : placed_, setFrames_, true, filled);
    if (!seen_ && recorded > handed_ * setFrames_) {
        seen_ = true;
        seenDrops_ = dropped;
    }
}

void QueueTimeline::finish(std::uint64_t recorded, std::uint64_t dropped, std::uint64_t queued,
                           std::vector<Piece>* rest) {
    follow(recorded, dropped, rest);
    // The set being filled began after every drop counted.
    if (recorded > handed_ * setFrames_)
        emit(seen_ ? seenDrops_ : dropped, recorded - handed_ * setFrames_, true, rest);
    if (handed_ >= queued) {
        if (dropped > placed_) emit(dropped, 0, false, rest);
        return;
    }
    while (handed_ < queued) emit(dropped, 0, true, rest);
}

}  // namespace cli
