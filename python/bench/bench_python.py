"""The Python layer's cost against the C library's, in one run (ratios, as the
project's benchmarks give them; not part of the tests):

1. playrec of 8 channels x 10 s on "asiochan sim (fast)" (8 times real time):
   Python's wall time against one PlayAndRecord call of the same take, both with
   rings of four seconds (half a second of slack at 8x: a loaded machine makes
   the library's default of one second drop frames, in C as in Python).
2. A Stream read loop of 64 FLOAT32 inputs in 256-frame blocks on the fast class:
   does it keep up with 8 times real time without a drop, and how much of the
   time does the loop spend in Python.

    ASIOCHAN_LIBRARY=build/native/lib/libasiochan.so python3 python/bench/bench_python.py
"""
import ctypes
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import numpy as np  # noqa: E402

import asiochan  # noqa: E402
from asiochan import _abi  # noqa: E402

FAST = "asiochan sim (fast)"
RATE = 48000
RING = 4 * RATE


def c_play_and_record(play, record, channels):
    config = _abi.StreamConfig(size=ctypes.sizeof(_abi.StreamConfig), format=_abi.FORMAT_FLOAT32,
                               inputCount=channels, outputCount=channels, ringFrames=RING)
    for i in range(channels):
        config.inputs[i] = config.outputs[i] = i
    state = _abi.StreamState(size=ctypes.sizeof(_abi.StreamState))
    began = time.perf_counter()
    n = _abi.lib().PlayAndRecord(ctypes.byref(config), play.ctypes.data, len(play), record.ctypes.data,
                                 len(record), -1, ctypes.byref(state))
    elapsed = time.perf_counter() - began
    assert n == len(record) and state.dropped == 0, (n, state.dropped)
    return elapsed


def python_playrec(play, channels):
    began = time.perf_counter()
    y = asiochan.playrec(play, list(range(channels)), list(range(channels)), ring_frames=RING)
    elapsed = time.perf_counter() - began
    assert y.shape == play.shape
    return elapsed


def bench_playrec(runs=5, channels=8, seconds=10):
    play = np.random.default_rng(5).uniform(-0.5, 0.5, (RATE * seconds, channels)).astype(np.float32)
    record = np.empty_like(play)
    c_times, py_times = [], []
    with asiochan.Driver(FAST):
        for _ in range(runs):
            c_times.append(c_play_and_record(play, record, channels))
            py_times.append(python_playrec(play, channels))
    c, py = statistics.median(c_times), statistics.median(py_times)
    print(f"playrec {channels} ch x {seconds} s on {FAST!r}: C PlayAndRecord {c:.3f} s, "
          f"Python playrec {py:.3f} s (medians of {runs}): ratio {py / c:.3f}")


def bench_read_loop(channels=64, seconds=20, frames=256):
    blocks = lost = 0
    with asiochan.Stream(inputs=range(channels), dtype="float32", ring_frames=RING, driver=FAST) as s:
        cpu0, wall0 = time.thread_time(), time.perf_counter()
        s.start()
        for block in s.blocks(frames):
            lost += block.lost
            blocks += 1
            if block.position + block.frames >= seconds * RATE:
                break
        wall, cpu = time.perf_counter() - wall0, time.thread_time() - cpu0
        dropped = s.state.dropped
    print(f"Stream read loop, {channels} FLOAT32 inputs in {frames}-frame blocks, {seconds} s of audio at 8x: "
          f"{blocks} blocks in {wall:.2f} s from the start ({seconds / wall:.2f}x real time), lost {lost}, "
          f"dropped {dropped}; the loop's CPU {cpu / wall:.0%} of the wall time, {cpu / blocks * 1e6:.0f} us a block")


if __name__ == "__main__":
    bench_playrec()
    bench_read_loop()
