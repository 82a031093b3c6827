"""asiochan for Python: aligned multichannel play-and-record through asiochan's
library (asiochan.dll on Windows, libasiochan.so on Linux over the simulated
drivers), over ctypes and numpy.

    import asiochan
    asiochan.drivers()                       # the installed drivers' names
    y = asiochan.playrec(x, outputs=[0, 1], inputs=[0, 1])
    with asiochan.Stream(inputs=[0, 1], outputs=[0, 1]) as s:
        s.write(first)
        s.start()
        for block in s.blocks(256):
            ...                              # block.data, .position, .lost, .events
"""
from ._abi import LIBRARY_NAME, lib as library
from .driver import Channel, Driver, DriverInfo, SAMPLE_TYPES, current_driver, drivers
from .errors import (AsiochanError, DriverListError, DriverStalled, DriverStuck, GapError, HardwareMalfunction,
                     InvalidMode, InvalidParameter, NoMemory, NotPresent, StreamEnded, error_text)
from .stream import Block, Event, EventCode, Stream, StreamState, stream_state
from .takes import play, playrec, rec

__version__ = "1.0.0"

__all__ = [
    "AsiochanError", "Block", "Channel", "Driver", "DriverInfo", "DriverListError", "DriverStalled", "DriverStuck",
    "Event", "EventCode", "GapError", "HardwareMalfunction", "InvalidMode", "InvalidParameter", "LIBRARY_NAME", "NoMemory",
    "NotPresent", "SAMPLE_TYPES", "Stream", "StreamEnded", "StreamState", "current_driver", "drivers",
    "error_text", "library", "play", "playrec", "rec", "stream_state",
]
