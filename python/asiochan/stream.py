"""The stream: any inputs and outputs of the open run, read and written like a
file, each block with its position, the gap before it and the events since."""
import ctypes
import enum
import time
from ctypes import byref
from dataclasses import dataclass

import numpy as np

from . import _abi
from .driver import using_driver
from .errors import StreamEnded, bad_argument, check, error_for

# The longest a single library call waits, so that Ctrl+C and other Python
# signal handlers run within a fraction of a second.
WAIT_SLICE_MS = 50


class EventCode(enum.IntEnum):
    """What a stream event tells: the driver's requests, then the stream's own."""
    RESET = 0x1
    RESYNC = 0x2
    LATENCIES = 0x4
    SAMPLE_RATE = 0x8
    SKIPPED_PERIODS = 0x10
    OVERFLOW = 0x100
    UNDERRUN = 0x200
    END = 0x400
    STALL = 0x800


@dataclass(frozen=True)
class Event:
    code: int        # an EventCode, or the library's number for a code this package does not know
    frames: int      # frames it concerns (overflow, underrun, skipped); else 0
    position: int    # the stream position at which it happened

    @property
    def name(self):
        return self.code.name if isinstance(self.code, EventCode) else f"0x{self.code:x}"


def _event(raw):
    try:
        code = EventCode(raw.code)
    except ValueError:
        code = raw.code
    return Event(code, raw.frames, raw.position)


@dataclass
class Block:
    """What a read or write moved: `data` (frames x channels), the stream `position`
    of its first frame, the frames `lost` just before it (inputs: dropped or
    skipped; outputs: silence played since the last block), and the `events`
    since the last block (`events_lost` of them dropped on a full queue)."""
    data: np.ndarray
    position: int
    lost: int
    events: tuple
    events_lost: int = 0

    @property
    def frames(self):
        return len(self.data)


@dataclass(frozen=True)
class StreamState:
    flags: int
    readable: int
    writable: int
    position: int
    recorded: int
    dropped: int
    played: int
    underrun: int
    input_latency: int
    output_latency: int
    events_pending: int
    ring_frames: int

    @property
    def open(self):
        return bool(self.flags & _abi.STREAM_OPEN)

    @property
    def running(self):
        return bool(self.flags & _abi.STREAM_RUNNING)

    @property
    def ended(self):
        return bool(self.flags & _abi.STREAM_ENDED_FLAG)


def stream_state():
    """The library's stream as one consistent set (all zeros without a stream)."""
    raw = _abi.StreamState(size=ctypes.sizeof(_abi.StreamState))
    check(_abi.lib().GetStreamState(byref(raw)), "GetStreamState")
    return StreamState(raw.flags, raw.readable, raw.writable, raw.position, raw.recorded, raw.dropped, raw.played,
                       raw.underrun, raw.inputLatency, raw.outputLatency, raw.eventsPending, raw.ringFrames)


_FORMATS = {"float32": (_abi.FORMAT_FLOAT32, np.dtype(np.float32)),
            "int32": (_abi.FORMAT_INT32, np.dtype(np.int32)),
            "native": (_abi.FORMAT_NATIVE, None)}


def stream_format(dtype):
    """(format code, dtype name) for "float32", "int32", "native" or a numpy float32/int32 dtype."""
    if isinstance(dtype, str) and dtype in _FORMATS:
        return _FORMATS[dtype][0], dtype
    try:
        as_numpy = np.dtype(dtype)
    except TypeError:
        as_numpy = None
    for name, (code, numpy_type) in _FORMATS.items():
        if numpy_type is not None and as_numpy == numpy_type:
            return code, name
    raise bad_argument("dtype", f"{dtype!r} is none of \"float32\", \"int32\", \"native\"")


def channel_list(channels, argument):
    """The channel numbers as a tuple of ints 0..63, each once."""
    if channels is None:
        return ()
    if isinstance(channels, (int, np.integer)):
        channels = (channels,)
    try:
        numbers = tuple(int(c) for c in channels)
    except (TypeError, ValueError):
        raise bad_argument(argument, f"{channels!r} is not a list of channel numbers") from None
    for c in numbers:
        if not 0 <= c < _abi.MAX_CHANNELS:
            raise bad_argument(argument, f"channel {c} is not in 0..63")
    if len(set(numbers)) != len(numbers):
        raise bad_argument(argument, f"a channel is named twice in {list(numbers)}")
    return numbers


def _timeout_deadline(timeout, argument="timeout"):
    """The monotonic deadline of a timeout in seconds (None: none)."""
    if timeout is None:
        return None
    try:
        seconds = float(timeout)
    except (TypeError, ValueError):
        raise bad_argument(argument, f"{timeout!r} is not a number of seconds") from None
    if not seconds >= 0:
        raise bad_argument(argument, f"{timeout!r} is negative")
    return time.monotonic() + seconds


def _slice_ms(deadline):
    if deadline is None:
        return WAIT_SLICE_MS
    left = deadline - time.monotonic()
    return max(0, min(WAIT_SLICE_MS, int(left * 1000)))


class Stream:
    """The library's stream on `inputs` and `outputs` (channel numbers, in the
    order a frame holds them), `dtype` "float32", "int32" or "native" (the
    channels' own bytes, as the numpy dtype of their one type), a ring of
    `ring_frames` per direction (0: one second). It runs on the open Driver, or on
    `driver` (a Driver, or a name: loaded for the stream and released with it);
    without one it loads the first installed driver itself. A context manager:
    the stream is closed on exit."""

    def __init__(self, inputs=(), outputs=(), dtype="float32", ring_frames=0, driver=None):
        self.inputs = channel_list(inputs, "inputs")
        self.outputs = channel_list(outputs, "outputs")
        self.format, self.dtype_name = stream_format(dtype)
        if not self.inputs and not self.outputs:
            raise bad_argument("inputs", "a stream needs at least one input or output")
        if not isinstance(ring_frames, (int, np.integer)) or ring_frames < 0:
            raise bad_argument("ring_frames", f"{ring_frames!r} is not a frame count of 0 or more")
        self._driver_context = using_driver(driver)
        self.driver = self._driver_context.__enter__()
        self._open = False
        self._started = False
        self._carry = None  # frames a sliced read took after a gap, for the next read
        try:
            self.input_dtype = self._dtype_of(self.inputs, True)
            self.output_dtype = self._dtype_of(self.outputs, False)
            config = _abi.StreamConfig(size=ctypes.sizeof(_abi.StreamConfig), format=self.format,
                                       inputCount=len(self.inputs), outputCount=len(self.outputs),
                                       ringFrames=int(ring_frames))
            for i, c in enumerate(self.inputs):
                config.inputs[i] = c
            for i, c in enumerate(self.outputs):
                config.outputs[i] = c
            check(_abi.lib().OpenStream(byref(config)), "OpenStream")
            self._open = True
        except BaseException:
            self._driver_context.__exit__(None, None, None)
            raise
        self._block = _abi.StreamBlock(size=ctypes.sizeof(_abi.StreamBlock))
        self._write_block = _abi.StreamBlock(size=ctypes.sizeof(_abi.StreamBlock))

    def _dtype_of(self, channels, is_input):
        if self.format != _abi.FORMAT_NATIVE:
            return _FORMATS[self.dtype_name][1]
        if not channels:
            return None
        info = self.driver.info
        have = info.inputs if is_input else info.outputs
        side = "inputs" if is_input else "outputs"
        for c in channels:
            if c >= len(have):
                raise bad_argument(side, f"channel {c} is not among the driver's {len(have)} {side}")
        types = {have[c].type for c in channels}
        if len(types) != 1:
            raise bad_argument(side, f"\"native\" needs one sample type, the {side} have {sorted(types)}")
        dtype = have[channels[0]].dtype
        if dtype is None:
            raise bad_argument(side, f"sample type {have[channels[0]].type_name} has no width")
        return dtype

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def state(self):
        return stream_state()

    def start(self):
        """Starts playing and recording: the next period is position 0 of both."""
        check(_abi.lib().StartStream(), "StartStream")
        self._started = True

    def stop(self):
        """Stops the stream (any thread: frees a blocked read or write). What was
        recorded stays readable."""
        if self._open:
            check(_abi.lib().StopStream(), "StopStream")

    def close(self):
        """Stops the stream, frees its rings and releases a driver it loaded."""
        if getattr(self, "_open", False):
            self._open = False
            _abi.lib().CloseStream()
            self._driver_context.__exit__(None, None, None)

    def _events(self, raw):
        return tuple(_event(raw.events[i]) for i in range(min(raw.eventCount, _abi.BLOCK_EVENTS)))

    def read(self, frames, timeout=None):
        """Reads up to `frames` frames, waiting up to `timeout` seconds (None: until
        they are read or the stream ends). The block never spans a gap: it ends
        before one, and the next block tells it in `lost`. Raises StreamEnded once
        every frame recorded before the end was read. Ctrl+C stops and closes the
        stream."""
        if not self.inputs:
            raise error_for(_abi.INVALID_MODE, "Stream.read", "the stream has no inputs")
        if not isinstance(frames, (int, np.integer)) or frames < 0:
            raise bad_argument("frames", f"{frames!r} is not a frame count of 0 or more")
        data = np.empty((int(frames), len(self.inputs)), self.input_dtype)
        try:
            got, position, lost, events, events_lost = self._read_into(data, _timeout_deadline(timeout))
        except KeyboardInterrupt:
            self.close()
            raise
        return Block(data[:got], position, lost, events, events_lost)

    def _read_into(self, data, deadline):
        """Fills `data` from its first row in slices of at most WAIT_SLICE_MS;
        returns (frames, position, lost, events, events lost)."""
        L = _abi.lib()
        frames = len(data)
        stride = data.strides[0] if frames else 0
        base = data.ctypes.data
        got, position, lost, events, events_lost = 0, None, 0, (), 0
        if self._carry is not None:
            carried, position, lost, events, events_lost = self._carry
            self._carry = None
            got = min(len(carried), frames)
            data[:got] = carried[:got]
            if got < len(carried):
                self._carry = (carried[got:], position + got, 0, (), 0)
                return got, position, lost, events, events_lost
        b = self._block
        while True:
            slice_ms = _slice_ms(deadline)
            n = L.ReadStream(base + got * stride, frames - got, slice_ms, byref(b))
            new_events = self._events(b) if n >= 0 or n == _abi.STREAM_ENDED else ()
            if n == _abi.STREAM_ENDED and (got > 0 or events or new_events):
                events += new_events  # the end itself comes with the next read
                break
            check(n, "ReadStream")
            if got > 0 and b.lost:
                # Frames after a gap: they start the next block.
                self._carry = (data[got:got + n].copy(), b.position, b.lost, new_events, b.eventsLost)
                break
            if position is None or got == 0:
                position = b.position
            lost += b.lost
            events += new_events
            events_lost += b.eventsLost
            got += n
            if got == frames or slice_ms == 0 or (deadline is not None and time.monotonic() >= deadline):
                break
            if any(e.code in (EventCode.END, EventCode.STALL) for e in new_events) and got > 0:
                break
        return got, position if position is not None else b.position, lost, events, events_lost

    def write(self, array, timeout=None):
        """Writes the frames of `array` (frames x outputs, or one dimension for one
        output), waiting up to `timeout` seconds for room (None: until all are
        taken). Before start() the frames prefill the ring and nothing waits.
        Returns a Block of the frames taken, with the position at which the first
        plays. Ctrl+C stops and closes the stream."""
        if not self.outputs:
            raise error_for(_abi.INVALID_MODE, "Stream.write", "the stream has no outputs")
        data = self.output_frames(array, "array")
        deadline = _timeout_deadline(timeout)
        try:
            taken, position, lost, events, events_lost = self._write_from(data, deadline)
        except KeyboardInterrupt:
            self.close()
            raise
        return Block(data[:taken], position, lost, events, events_lost)

    def output_frames(self, array, argument):
        """`array` as C-contiguous frames of the outputs' dtype (no copy when it is one)."""
        data = np.asarray(array)
        if data.ndim == 1 and len(self.outputs) == 1:
            data = data.reshape(-1, 1)
        if data.ndim != 2 or data.shape[1] != len(self.outputs):
            raise bad_argument(argument, f"shape {data.shape} is not (frames, {len(self.outputs)} outputs)")
        if self.format == _abi.FORMAT_NATIVE and data.dtype != self.output_dtype:
            raise bad_argument(argument, f"\"native\" takes {self.output_dtype}, not {data.dtype}")
        return np.ascontiguousarray(data, dtype=self.output_dtype)

    def _write_from(self, data, deadline):
        L = _abi.lib()
        frames = len(data)
        stride = data.strides[0] if frames else 0
        base = data.ctypes.data
        taken, position, lost, events, events_lost = 0, None, 0, (), 0
        b = self._write_block
        while True:
            slice_ms = _slice_ms(deadline) if self._started else 0
            n = L.WriteStream(base + taken * stride, frames - taken, slice_ms, byref(b))
            if n == _abi.STREAM_ENDED and taken > 0:
                break
            check(n, "WriteStream")
            if position is None:
                position = b.position
            lost += b.lost
            events += self._events(b)
            events_lost += b.eventsLost
            taken += n
            if taken == frames or slice_ms == 0 or (deadline is not None and time.monotonic() >= deadline):
                break
        return taken, position, lost, events, events_lost

    def blocks(self, frames, timeout=None):
        """Reads blocks of `frames` until the stream ends (starting it first if it
        was not started)."""
        if not self._started:
            self.start()
        while True:
            try:
                block = self.read(frames, timeout)
            except StreamEnded:
                return
            yield block
