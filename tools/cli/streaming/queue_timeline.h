// Where a streaming capture's buffers go in the file. The inputs record into
// sets of buffers (one buffer per input, every set `setFrames` long) queued back
// to back; the library counts the frames recorded into them and those dropped
// while none was queued. From readings of those two counters this tells, set by
// set in queue order, the frames that go to the file and the silence that goes
// before them in place of the dropped frames, so every later sample keeps its time.
//
// A drop happens only at a set's end with no set queued after it, and lasts until
// the next queued set begins: the drops counted when a set is seen filling all
// came before it. Drops counted while sets filled whole between two readings (a
// reading every few milliseconds, a set a fraction of a second long, makes that
// rare) go as late as the readings allow: before the next set seen filling, or
// after the last set when the capture ends.
#pragma once

#include <cstdint>
#include <vector>

namespace cli {

class QueueTimeline {
public:
    // What goes to the file for one set (or, at the end, for the drops after the last).
    struct Piece {
        std::uint64_t at = 0;      // the frame of this run where the piece starts
        std::uint64_t zeros = 0;   // frames of silence first, for dropped frames
        std::uint64_t frames = 0;  // then the set's first frames (0: nothing of it)
        bool ownsSet = true;       // false: only silence, no set of the queue
        bool operator==(const Piece&) const = default;
    };

    // `limit`: the frames this run may put in the file; the rest is left out.
    QueueTimeline(std::uint64_t setFrames, std::uint64_t limit) : setFrames_(setFrames), limit_(limit) {}

    // A reading while the capture runs: the sets filled since the last one.
    void follow(std::uint64_t recorded, std::uint64_t dropped, std::vector<Piece>* filled);
    // The last reading, after the capture stopped with `queued` sets queued in all:
    // the filled sets, the one being filled, then the drops after it, and a piece
    // without frames for each set queued but not begun.
    void finish(std::uint64_t recorded, std::uint64_t dropped, std::uint64_t queued, std::vector<Piece>* rest);

    // Sets handed out so far (in queue order).
    std::uint64_t handed() const { return handed_; }
    // Frames of this run given to the file so far.
    std::uint64_t position() const { return position_; }
    bool complete() const { return position_ >= limit_; }

private:
    void emit(std::uint64_t dropsBefore, std::uint64_t frames, bool ownsSet, std::vector<Piece>* out);
    std::uint64_t take(std::uint64_t frames);

    std::uint64_t setFrames_;
    std::uint64_t limit_;
    std::uint64_t handed_ = 0;
    std::uint64_t placed_ = 0;     // dropped frames given a place
    std::uint64_t position_ = 0;   // frames of this run given to the file
    bool seen_ = false;            // the next set to hand was seen filling,
    std::uint64_t seenDrops_ = 0;  // with this many frames dropped by then
};

}  // namespace cli
