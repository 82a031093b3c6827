"""One take: play and record at once (playrec), record (rec) or play (play), on
the library's stream, with every recorded frame at its stream position."""
import time

import numpy as np

from . import _abi
from .driver import using_driver
from .errors import DriverStalled, GapError, bad_argument, check
from .stream import EventCode, Stream, _slice_ms, _timeout_deadline, channel_list

# The rings a take asks for hold up to four seconds (the whole take when it is
# shorter), within this much memory per direction: room for a pause of the Python
# thread without a gap, and little to allocate before the take starts.
_TAKE_RING_BYTES = 64 << 20
_TAKE_RING_SECONDS = 4


class _Gaps:
    """The gaps of a take, from its events: input frames dropped, periods skipped,
    and output silence before the playback's last frame (silence after it is the
    take's own tail, not a gap)."""

    def __init__(self, play_frames):
        self.play_end = play_frames
        self.dropped = self.underrun = self.skipped = 0
        self.where = []
        self.seen = set()
        self.stall = None  # the position of a STALL event

    def note(self, events):
        for e in events:
            key = (int(e.code), e.frames, e.position)
            if key in self.seen:  # the reader and the writer each get every event
                continue
            self.seen.add(key)
            if e.code == EventCode.OVERFLOW:
                self.dropped += e.frames
            elif e.code == EventCode.SKIPPED_PERIODS:
                self.skipped += e.frames
                if e.position < self.play_end:
                    self.play_end += e.frames
            elif e.code == EventCode.UNDERRUN and e.position < self.play_end:
                self.underrun += e.frames
                self.play_end += e.frames
            elif e.code == EventCode.STALL and self.stall is None:
                self.stall = e.position
                continue
            else:
                continue
            self.where.append(e)

    def any(self):
        return bool(self.dropped or self.underrun or self.skipped)


def _ring_frames(ring_frames, frames, channels, samplerate):
    if ring_frames is not None:
        return ring_frames
    if channels == 0 or samplerate <= 0:
        return 0
    ring = min(frames + int(samplerate // 10), int(samplerate * _TAKE_RING_SECONDS),
               _TAKE_RING_BYTES // (8 * channels))
    return ring if ring > samplerate else 0  # 0: the library's one second


def _take(data, outputs, inputs, frames, driver, dtype, timeout, allow_gaps, ring_frames):
    outputs = channel_list(outputs, "outputs")
    inputs = channel_list(inputs, "inputs")
    deadline = _timeout_deadline(timeout)
    if frames is not None and (not isinstance(frames, (int, np.integer)) or frames < 0):
        raise bad_argument("frames", f"{frames!r} is not a frame count of 0 or more")
    if ring_frames is not None and (not isinstance(ring_frames, (int, np.integer)) or ring_frames < 0):
        raise bad_argument("ring_frames", f"{ring_frames!r} is not a frame count of 0 or more")
    play_frames = 0
    if outputs:
        shaped = np.asarray(data)
        play_frames = len(shaped) if shaped.ndim >= 1 else 0
    record_frames = int(frames) if frames is not None else play_frames
    L = _abi.lib()
    with using_driver(driver) as drv:
        ring = _ring_frames(ring_frames, max(play_frames, record_frames), max(len(inputs), len(outputs)),
                            drv.samplerate)
        with Stream(inputs, outputs, dtype, ring, drv) as s:
            play = s.output_frames(data, "data") if outputs else None
            record = np.zeros((record_frames, len(inputs)), s.input_dtype) if inputs else None
            gaps = _Gaps(play_frames)
            written = 0
            if outputs:
                written, _, _, events, _ = s._write_from(play, None)  # prefill: never waits
                gaps.note(events)
            s.start()
            ring_now = max(s.state.ring_frames, 1)
            cursor = 0
            rstride = record.strides[0] if inputs and record_frames else 0
            rbase = record.ctypes.data if inputs else 0
            pstride = play.strides[0] if outputs and play_frames else 0
            pbase = play.ctypes.data if outputs else 0
            block = s._block
            wblock = s._write_block
            while True:
                if inputs:
                    if cursor >= record_frames:
                        break
                    slice_ms = _slice_ms(deadline)
                    count = min(record_frames - cursor, max(ring_now // 4, 1))
                    n = L.ReadStream(rbase + cursor * rstride, count, slice_ms, block)
                    if n == _abi.STREAM_ENDED:
                        break
                    check(n, "ReadStream")
                    gaps.note(s._events(block))
                    at = block.position
                    if n > 0 and at != cursor:
                        # Frames after a gap: moved to their position, the gap left silent.
                        keep = max(0, min(n, record_frames - at))
                        if keep:
                            record[at:at + keep] = record[cursor:cursor + keep]
                        record[cursor:min(at, cursor + n, record_frames)] = 0
                    cursor = max(cursor, min(record_frames, at + n))
                else:
                    state = s.state
                    if written >= play_frames and (state.played >= play_frames or state.ended):
                        break
                    if written >= play_frames:
                        # Everything is in the ring: wait for it to play, looking at
                        # the writer's events (a stall, say) with an empty write.
                        check(L.WriteStream(pbase, 0, 0, wblock), "WriteStream")
                        gaps.note(s._events(wblock))
                        time.sleep(min(_slice_ms(deadline), 5) / 1000)
                if outputs and written < play_frames:
                    wait = 0 if inputs else _slice_ms(deadline)
                    n = L.WriteStream(pbase + written * pstride, play_frames - written, wait, wblock)
                    if n == _abi.STREAM_ENDED:
                        break
                    check(n, "WriteStream")
                    written += n
                    gaps.note(s._events(wblock))
                if gaps.stall is not None or (deadline is not None and time.monotonic() >= deadline):
                    break
            s.stop()
        if inputs:
            record = record[:cursor]
        if gaps.stall is not None:
            raise DriverStalled(gaps.stall, record)
        if gaps.any() and not allow_gaps:
            raise GapError(gaps.dropped, gaps.underrun, gaps.skipped, gaps.where, record)
        return record


def playrec(data, outputs, inputs, frames=None, driver=None, dtype="float32", timeout=None, allow_gaps=False,
            ring_frames=None):
    """Plays `data` (frames x outputs, or one dimension for one output) on
    `outputs` while it records `inputs`, in one take on the stream, and returns the
    recording (frames x inputs; `frames` defaults to the playback's length): frame
    k of the recording passed through the driver in the same period as frame k of
    the playback, so a loop's delay is the same in every call. Recording past the
    playback plays silence. A gap (input frames dropped, output silence before the
    playback's end, periods skipped) raises GapError, which holds the recording
    (gaps as zeros), unless `allow_gaps`; a driver that stops delivering periods
    raises DriverStalled. `timeout` (seconds) bounds the take: the recording is
    then cut where the time ran out, as it is when the stream ends early (the
    driver's reset, a stop from another thread). Ctrl+C stops the take at once,
    closes the stream and raises KeyboardInterrupt."""
    if not channel_list(outputs, "outputs"):
        raise bad_argument("outputs", "playrec plays on at least one output (rec() records only)")
    if not channel_list(inputs, "inputs"):
        raise bad_argument("inputs", "playrec records at least one input (play() plays only)")
    return _take(data, outputs, inputs, frames, driver, dtype, timeout, allow_gaps, ring_frames)


def rec(frames, inputs, driver=None, dtype="float32", timeout=None, allow_gaps=False, ring_frames=None):
    """Records `frames` frames of `inputs` (see playrec)."""
    if frames is None:
        raise bad_argument("frames", "rec needs a frame count")
    if not channel_list(inputs, "inputs"):
        raise bad_argument("inputs", "rec records at least one input")
    return _take(None, (), inputs, frames, driver, dtype, timeout, allow_gaps, ring_frames)


def play(data, outputs, driver=None, dtype="float32", timeout=None, allow_gaps=False, ring_frames=None):
    """Plays `data` on `outputs` and returns once every frame has played (see playrec)."""
    if not channel_list(outputs, "outputs"):
        raise bad_argument("outputs", "play plays on at least one output")
    _take(data, outputs, (), None, driver, dtype, timeout, allow_gaps, ring_frames)
