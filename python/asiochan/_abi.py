"""The flat layer: the library's file, its exports and structs, declared once.

The structs' sizes and offsets are checked at import against the numbers the
header states (include/asiochan.h), so that a layout that drifts fails at once
rather than corrupting memory.
"""
import ctypes
import ctypes.util
import os
import sys
import threading
from ctypes import POINTER, Structure, c_char, c_char_p, c_double, c_float, c_int32, c_uint8, c_uint32, c_uint64, c_void_p

MAX_CHANNELS = 64
BLOCK_EVENTS = 8

# Result codes the header names.
OK = 0
NOT_PRESENT = -1000
HW_MALFUNCTION = -999
INVALID_PARAMETER = -998
INVALID_MODE = -997
NO_MEMORY = -994
LIST_NULL_ARGUMENT = -5001
LIST_ENTRY_BUSY = -5002
LIST_NO_ENTRY = -5003
STREAM_ENDED = -6001
DRIVER_STUCK = -6002

# Stream formats, flags and event codes.
FORMAT_NATIVE, FORMAT_INT32, FORMAT_FLOAT32 = 0, 1, 2
STREAM_OPEN, STREAM_RUNNING, STREAM_ENDED_FLAG = 1, 2, 4


class ChannelInfo(Structure):
    _fields_ = [("channel", c_int32), ("isInput", c_int32), ("isActive", c_int32),
                ("channelGroup", c_int32), ("type", c_int32), ("name", c_char * 32)]


class CaptureRequest(Structure):
    _fields_ = [("buffer", c_void_p), ("byteLength", c_int32), ("channel", c_uint32)]


class StreamConfig(Structure):
    _fields_ = [("size", c_uint32), ("format", c_int32), ("inputCount", c_int32), ("outputCount", c_int32),
                ("ringFrames", c_int32), ("reserved", c_int32),
                ("inputs", c_uint8 * MAX_CHANNELS), ("outputs", c_uint8 * MAX_CHANNELS)]


class StreamEvent(Structure):
    _fields_ = [("code", c_uint32), ("frames", c_uint32), ("position", c_uint64)]


class StreamBlock(Structure):
    _fields_ = [("size", c_uint32), ("eventCount", c_uint32), ("position", c_uint64), ("lost", c_uint64),
                ("eventsLost", c_uint32), ("reserved", c_uint32), ("events", StreamEvent * BLOCK_EVENTS)]


class StreamState(Structure):
    _fields_ = [("size", c_uint32), ("flags", c_uint32), ("readable", c_uint32), ("writable", c_uint32),
                ("position", c_uint64), ("recorded", c_uint64), ("dropped", c_uint64), ("played", c_uint64),
                ("underrun", c_uint64), ("inputLatency", c_int32), ("outputLatency", c_int32),
                ("eventsPending", c_uint32), ("ringFrames", c_uint32), ("reserved", c_uint32 * 2)]


_POINTER_BYTES = ctypes.sizeof(c_void_p)
# The header's numbers: size, then the offsets it states.
LAYOUT = {
    ChannelInfo: (52, {"type": 16, "name": 20}),
    CaptureRequest: (16, {"byteLength": 8, "channel": 12}) if _POINTER_BYTES == 8
    else (12, {"byteLength": 4, "channel": 8}),
    StreamConfig: (152, {"ringFrames": 16, "inputs": 24, "outputs": 88}),
    StreamEvent: (16, {"position": 8}),
    StreamBlock: (160, {"position": 8, "lost": 16, "eventsLost": 24, "events": 32}),
    StreamState: (80, {"position": 16, "underrun": 48, "inputLatency": 56, "eventsPending": 64, "reserved": 72}),
}


def check_layouts():
    """Raises ImportError when a struct's size or an offset differs from the header's."""
    for struct, (size, offsets) in LAYOUT.items():
        if ctypes.sizeof(struct) != size:
            raise ImportError(f"asiochan: {struct.__name__} is {ctypes.sizeof(struct)} bytes, the header says {size}")
        for field, offset in offsets.items():
            if getattr(struct, field).offset != offset:
                raise ImportError(f"asiochan: {struct.__name__}.{field} at {getattr(struct, field).offset}, "
                                  f"the header says {offset}")


check_layouts()

_I, _U, _B, _D = c_int32, c_uint32, c_uint8, c_double
# Every export: (result type, argument types), in the header's order.
FUNCTIONS = {
    "AsiochanErrorText": (c_char_p, [c_int32]),
    "getAsioDriverCount": (_I, []),
    "getAsioDriverName": (_I, [_I, c_char_p]),
    "loadAsioDriver": (_B, [c_char_p]),
    "releaseAsioDriver": (None, []),
    "IsLxcardInsert": (_B, []),
    "ASIOControlPanel": (_I, []),
    "ASIOGetChannelInfo": (_I, [POINTER(ChannelInfo)]),
    "Initialize": (_I, []),
    "SetSampleRate": (_I, [_D]),
    "GetBufferSizeMax": (_I, []),
    "GetBufferSizeMin": (_I, []),
    "GetBufferSizePreferred": (_I, []),
    "GetCurrentSampleRate": (_D, []),
    "GetInputChannelCount": (_I, []),
    "GetOutputChannelCount": (_I, []),
    "GetInputLatency": (_I, []),
    "GetOutputLatency": (_I, []),
    "Prepare": (_I, []),
    "Finish": (_I, []),
    "GetDriverRequests": (_U, []),
    "GetPeriodCount": (_U, []),
    "GetSkippedPeriods": (_U, []),
    "SetCaptureBuffer": (_I, [c_void_p, _I, _U]),
    "CaptureBuff": (_I, [POINTER(CaptureRequest), _I]),
    "StartCapture": (None, []),
    "StopCapture": (None, []),
    "IsCaptureRunning": (_B, []),
    "IsPortCaptureRunning": (_B, [_U]),
    "StartCaptureAndPlayback": (None, []),
    "SetPlayBuffer": (_I, [c_void_p, _I, _U]),
    "PlayBuff": (_I, []),
    "StartPlayback": (None, []),
    "StopPlayback": (None, []),
    "IsCanSendNextPlaybackBuffer": (_B, [_U]),
    "IsPortPlaybackRunning": (_B, [_U]),
    "OpenStream": (_I, [POINTER(StreamConfig)]),
    "StartStream": (_I, []),
    "ReadStream": (_I, [c_void_p, _I, _I, POINTER(StreamBlock)]),
    "WriteStream": (_I, [c_void_p, _I, _I, POINTER(StreamBlock)]),
    "GetStreamState": (_I, [POINTER(StreamState)]),
    "StopStream": (_I, []),
    "CloseStream": (_I, []),
    "PlayAndRecord": (_I, [POINTER(StreamConfig), c_void_p, _I, c_void_p, _I, _I, POINTER(StreamState)]),
    "MultipleChanelPlayStart": (_B, [c_char_p, _U, _B]),
    "MultipleChanelPlayStartMapped": (_B, [c_char_p, _U, _B]),
    "MultipleChanelPlayStop": (None, []),
    "MultipleChanelSetVolume": (_B, [c_float]),
    "IsMultipleInPlay": (_B, []),
    "SingleChanelPlayStart": (_B, [c_char_p, _U, _B]),
    "SingleChanelPlayStop": (None, []),
    "SingleChanelSetVolume": (_B, [c_float]),
    "IsSingleInPlay": (_B, []),
}

LIBRARY_NAME = "asiochan.dll" if sys.platform == "win32" else "libasiochan.so"


def library_candidates():
    """Where the library is looked for, in order: ASIOCHAN_LIBRARY alone when it is
    set; else the file beside this package (wheels carry it), then the system's
    search by name (on Windows ctypes.util.find_library walks PATH, which
    LoadLibrary no longer does for Python)."""
    named = os.environ.get("ASIOCHAN_LIBRARY")
    if named:
        return [named]
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), LIBRARY_NAME)
    found = ctypes.util.find_library("asiochan") if sys.platform == "win32" else None
    return [beside, found or LIBRARY_NAME]


def load_library(candidates=None):
    """Loads the first candidate that loads (cdecl: CDLL on every platform) and
    declares every export on it. OSError names each place tried."""
    tried = []
    for path in candidates or library_candidates():
        if os.sep in path and not os.path.exists(path):
            tried.append(f"{path}: no such file")
            continue
        try:
            lib = ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"{path}: {e}")
            continue
        for name, (restype, argtypes) in FUNCTIONS.items():
            function = getattr(lib, name)
            function.restype = restype
            function.argtypes = argtypes
        return lib
    raise OSError("asiochan: the library could not be loaded (set ASIOCHAN_LIBRARY to its path); tried "
                  + "; ".join(tried))


_library = None
_loading = threading.Lock()


def lib():
    """The library, loaded on first use."""
    global _library
    if _library is None:
        with _loading:
            if _library is None:
                _library = load_library()
    return _library
