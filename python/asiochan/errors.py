"""Exceptions: one class per family of the library's result codes, each carrying
the code and the library's own text for it (AsiochanErrorText)."""
from . import _abi


class AsiochanError(Exception):
    """A call answered a result code (`code`, `text`), or a take had a gap."""

    def __init__(self, code, text, what=None, detail=None):
        self.code = code
        self.text = text
        self.what = what
        self.detail = detail
        message = f"{text} ({code})" if code is not None else text
        if what:
            message = f"{what}: {message}"
        if detail:
            message = f"{message}: {detail}"
        super().__init__(message)


class NotPresent(AsiochanError):
    """No driver, or the driver or channel is not available (-1000)."""


class HardwareMalfunction(AsiochanError):
    """The driver reported a hardware malfunction (-999)."""


class InvalidParameter(AsiochanError, ValueError):
    """A bad argument (-998), refused by the library or by Python before the call."""


class InvalidMode(AsiochanError):
    """The call does not fit the current state (-997)."""


class NoMemory(AsiochanError, MemoryError):
    """Out of memory (-994)."""


class DriverListError(AsiochanError):
    """The driver list refused the call (-5001 to -5003)."""


class StreamEnded(AsiochanError):
    """The stream has ended: nothing more to read or write (-6001)."""


class DriverStuck(AsiochanError):
    """A period stayed inside the driver past the library's wait (-6002)."""


class GapError(AsiochanError):
    """A take had a gap: input frames dropped, output underrun or periods skipped
    before its end. `dropped`, `underrun` and `skipped` count the frames, `where`
    lists the stream positions (event names, frames, position), and `data` holds
    the recording all the same (gaps as zeros, every frame at its position)."""

    def __init__(self, dropped, underrun, skipped, where, data=None):
        self.dropped, self.underrun, self.skipped, self.where, self.data = dropped, underrun, skipped, where, data
        places = ", ".join(f"{e.name} of {e.frames} at {e.position}" for e in where[:4])
        more = f" and {len(where) - 4} more" if len(where) > 4 else ""
        super().__init__(None, f"the take has gaps: {dropped} input frames dropped, {underrun} output frames "
                               f"of silence, {skipped} frames skipped ({places}{more})")


class DriverStalled(AsiochanError):
    """The driver stopped delivering periods in the middle of a take (the stream's
    STALL event at `position`); `data` holds what was recorded before."""

    def __init__(self, position, data=None):
        self.position, self.data = position, data
        super().__init__(None, "the driver stopped delivering periods", "take", f"a stall at position {position}")


_FAMILIES = {
    _abi.NOT_PRESENT: NotPresent,
    _abi.HW_MALFUNCTION: HardwareMalfunction,
    _abi.INVALID_PARAMETER: InvalidParameter,
    _abi.INVALID_MODE: InvalidMode,
    _abi.NO_MEMORY: NoMemory,
    _abi.LIST_NULL_ARGUMENT: DriverListError,
    _abi.LIST_ENTRY_BUSY: DriverListError,
    _abi.LIST_NO_ENTRY: DriverListError,
    _abi.STREAM_ENDED: StreamEnded,
    _abi.DRIVER_STUCK: DriverStuck,
}


def error_text(code):
    """The library's text for `code`."""
    return _abi.lib().AsiochanErrorText(code).decode("ascii", "replace")


def error_for(code, what=None, detail=None):
    """The exception for result `code` (AsiochanError for a driver's own codes)."""
    return _FAMILIES.get(code, AsiochanError)(code, error_text(code), what, detail)


def check(code, what):
    """Returns `code` when it is not negative; raises its exception otherwise."""
    if code < 0:
        raise error_for(code, what)
    return code


def bad_argument(argument, detail):
    """The exception Python raises itself for a bad argument: InvalidParameter with
    the library's text and the argument named."""
    return error_for(_abi.INVALID_PARAMETER, argument, detail)
