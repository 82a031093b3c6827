"""The installed drivers and the one driver the library drives at a time."""
import contextlib
import sys
import threading
from ctypes import byref, create_string_buffer
from dataclasses import dataclass

import numpy as np

from . import _abi
from .errors import bad_argument, check, error_for

# The sample types the header's table lists: code -> (name, bytes, msb, float, bits).
SAMPLE_TYPES = {
    0: ("Int16MSB", 2, 1, 0, 16), 1: ("Int24MSB", 3, 1, 0, 24), 2: ("Int32MSB", 4, 1, 0, 32),
    3: ("Float32MSB", 4, 1, 1, 32), 4: ("Float64MSB", 8, 1, 1, 64), 8: ("Int32MSB16", 4, 1, 0, 16),
    9: ("Int32MSB18", 4, 1, 0, 18), 10: ("Int32MSB20", 4, 1, 0, 20), 11: ("Int32MSB24", 4, 1, 0, 24),
    16: ("Int16LSB", 2, 0, 0, 16), 17: ("Int24LSB", 3, 0, 0, 24), 18: ("Int32LSB", 4, 0, 0, 32),
    19: ("Float32LSB", 4, 0, 1, 32), 20: ("Float64LSB", 8, 0, 1, 64), 24: ("Int32LSB16", 4, 0, 0, 16),
    25: ("Int32LSB18", 4, 0, 0, 18), 26: ("Int32LSB20", 4, 0, 0, 20), 27: ("Int32LSB24", 4, 0, 0, 24),
    32: ("DSDInt8LSB1", 0, 0, 0, 0), 33: ("DSDInt8MSB1", 0, 0, 0, 0), 40: ("DSDInt8NER8", 0, 0, 0, 0),
}


def native_dtype(type_code):
    """The numpy dtype of a channel's own bytes: integers and floats of their width
    and byte order; 3-byte samples as 'V3'; None for a type without a width."""
    name, size, msb, is_float, _bits = SAMPLE_TYPES.get(type_code, ("", 0, 0, 0, 0))
    if size == 0:
        return None
    if size == 3:
        return np.dtype("V3")
    return np.dtype(("<>"[msb]) + ("f" if is_float else "i") + str(size))


@dataclass(frozen=True)
class Channel:
    """One channel as the driver describes it."""
    index: int
    name: str
    type: int           # the sample type code (ASIOCHAN_SAMPLE_*)
    type_name: str      # "Int32LSB", ...
    is_active: bool
    group: int

    @property
    def dtype(self):
        return native_dtype(self.type)


@dataclass(frozen=True)
class DriverInfo:
    name: str
    inputs: tuple
    outputs: tuple
    buffer_min: int
    buffer_max: int
    buffer_preferred: int   # frames per period
    input_latency: int      # frames
    output_latency: int     # frames
    samplerate: float


# Driver and channel names are the system's ANSI text on Windows.
_ENCODING = "mbcs" if sys.platform == "win32" else "utf-8"


def _text(raw):
    return raw.decode(_ENCODING, "replace")


def drivers():
    """The names of the installed drivers, in the library's order."""
    L = _abi.lib()
    names = []
    buffer = create_string_buffer(32)
    for i in range(L.getAsioDriverCount()):
        if L.getAsioDriverName(i, buffer) == _abi.OK:
            names.append(_text(buffer.value))
    return names


# The library drives one driver at a time for the whole process; lifecycle calls
# belong to one thread at a time.
_lifecycle = threading.RLock()
_current = None


def current_driver():
    """The Driver open now, or None."""
    return _current


class Driver:
    """A driver loaded, initialised and prepared (running) while open: a context
    manager that releases it on exit. `name` None picks the first installed."""

    def __init__(self, name=None):
        if name is not None and not isinstance(name, str):
            raise bad_argument("name", f"a driver name is a str, not {type(name).__name__}")
        self.name = name
        self._open = False

    def __enter__(self):
        self.open()
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<asiochan.Driver {self.name!r} {'open' if self._open else 'closed'}>"

    @property
    def is_open(self):
        return self._open

    def open(self):
        global _current
        L = _abi.lib()
        with _lifecycle:
            if self._open:
                return self
            if _current is not None:
                raise error_for(_abi.INVALID_MODE, "Driver", f"driver {_current.name!r} is open: close it first")
            names = drivers()
            name = self.name if self.name is not None else (names[0] if names else None)
            if name is None:
                raise error_for(_abi.NOT_PRESENT, "Driver", "no driver is installed")
            if name not in names:
                raise error_for(_abi.NOT_PRESENT, "Driver", f"no driver named {name!r} (installed: {names})")
            if not L.loadAsioDriver(name.encode(_ENCODING, "replace")):
                raise error_for(_abi.NOT_PRESENT, "Driver", f"driver {name!r} did not load")
            try:
                check(L.Initialize(), f"Initialize of {name!r}")
                check(L.Prepare(), f"Prepare of {name!r}")
            except BaseException:
                L.Finish()
                L.releaseAsioDriver()
                raise
            self.name = name
            self._open = True
            _current = self
        return self

    def close(self):
        """Finishes the run and releases the driver; harmless when closed."""
        global _current
        L = _abi.lib()
        with _lifecycle:
            if not self._open:
                return
            self._open = False
            _current = None
            L.Finish()
            L.releaseAsioDriver()

    def _require_open(self, what):
        if not self._open:
            raise error_for(_abi.INVALID_MODE, what, "the driver is not open")

    @property
    def info(self):
        """The channels (names, sample types), buffer sizes, latencies and rate."""
        self._require_open("Driver.info")
        L = _abi.lib()
        with _lifecycle:
            def channels(count, is_input):
                found = []
                for i in range(count):
                    c = _abi.ChannelInfo(channel=i, isInput=1 if is_input else 0)
                    check(L.ASIOGetChannelInfo(byref(c)), f"channel info of {'input' if is_input else 'output'} {i}")
                    found.append(Channel(i, _text(c.name), c.type, SAMPLE_TYPES.get(c.type, ("unknown",))[0],
                                         bool(c.isActive), c.channelGroup))
                return tuple(found)
            return DriverInfo(self.name, channels(L.GetInputChannelCount(), True),
                              channels(L.GetOutputChannelCount(), False), L.GetBufferSizeMin(),
                              L.GetBufferSizeMax(), L.GetBufferSizePreferred(), L.GetInputLatency(),
                              L.GetOutputLatency(), L.GetCurrentSampleRate())

    @property
    def samplerate(self):
        return _abi.lib().GetCurrentSampleRate()

    @samplerate.setter
    def samplerate(self, rate):
        """Runs the driver at `rate` Hz: the run is finished, the rate set, and the
        driver initialised and prepared again (an open stream ends)."""
        self._require_open("Driver.samplerate")
        try:
            rate = float(rate)
        except (TypeError, ValueError):
            raise bad_argument("samplerate", f"{rate!r} is not a number") from None
        if not rate > 0 or rate == float("inf"):
            raise bad_argument("samplerate", f"{rate} Hz is not a positive finite rate")
        L = _abi.lib()
        with _lifecycle:
            L.Finish()
            try:
                check(L.SetSampleRate(rate), f"SetSampleRate({rate})")
            finally:
                check(L.Initialize(), "Initialize")
                check(L.Prepare(), "Prepare")

    @property
    def period_count(self):
        """Periods processed since the run was prepared (wraps at 2**32)."""
        return _abi.lib().GetPeriodCount()

    @property
    def skipped_periods(self):
        """Periods the driver skipped since the run was prepared (wraps at 2**32)."""
        return _abi.lib().GetSkippedPeriods()

    @property
    def requests(self):
        """What the driver asked for since the last look (ASIOCHAN_REQUEST_* bits)."""
        return _abi.lib().GetDriverRequests()


@contextlib.contextmanager
def using_driver(driver):
    """The Driver a call runs on: an open Driver as it is; the open one when
    `driver` is None or its name; otherwise the named (or first) driver, opened
    for the call and closed after it."""
    if isinstance(driver, Driver):
        if driver.is_open:
            yield driver
            return
        with driver:
            yield driver
        return
    if driver is not None and not isinstance(driver, str):
        raise bad_argument("driver", f"a Driver, a driver name or None, not {type(driver).__name__}")
    held = _current
    if held is not None and (driver is None or driver == held.name):
        yield held
        return
    with Driver(driver) as opened:
        yield opened
