"""playrec, rec and play on the looped-back simulated driver (output k comes back
on input k one period later)."""
import numpy as np
import pytest

import asiochan
from conftest import PERIOD, SIM

RNG = np.random.default_rng(43)


def noise(frames, channels):
    return RNG.integers(-2**31, 2**31 - 1, (frames, channels), dtype=np.int32, endpoint=True)


@pytest.mark.parametrize("outputs, inputs", [
    ([0], [0]),
    ([3, 1], [1, 3]),            # inputs in another order than the outputs
    ([7, 0, 5], [5, 2, 7, 0]),   # an input with no output of its own hears silence
    (list(range(8)), list(range(7, -1, -1))),
])
def test_playrec_is_sample_exact_at_one_period_for_any_channel_map(sim, outputs, inputs):
    x = noise(4800, len(outputs))
    y = asiochan.playrec(x, outputs, inputs, frames=4800 + 2 * PERIOD, dtype="int32")
    assert y.shape == (4800 + 2 * PERIOD, len(inputs)) and y.dtype == np.int32
    for j, channel in enumerate(inputs):
        expected = np.zeros(len(y), np.int32)
        if channel in outputs:
            expected[PERIOD:PERIOD + 4800] = x[:, outputs.index(channel)]
        np.testing.assert_array_equal(y[:, j], expected, err_msg=f"input {channel}")


def test_the_delay_is_the_same_in_ten_calls_in_a_row(sim):
    x = noise(2400, 2)
    delays = []
    for _ in range(10):
        y = asiochan.playrec(x, [0, 1], [0, 1], frames=2400 + PERIOD, dtype="int32")
        start = int(np.flatnonzero(y[:, 0])[0])
        np.testing.assert_array_equal(y[start:start + 2400], x)
        delays.append(start)
    assert delays == [PERIOD] * 10


def test_floats_and_native_bytes(sim):
    # Floats that are whole 32-bit steps come back exactly; "native" gives the
    # channels' Int32LSB bytes as int32.
    x = (RNG.integers(-2**23, 2**23, (2400, 2)) / 2**23).astype(np.float32)
    y = asiochan.playrec(x, [2, 4], [2, 4], frames=2400 + PERIOD)
    assert y.dtype == np.float32
    np.testing.assert_array_equal(y[PERIOD:], x)
    n = asiochan.playrec(noise(256, 1), [6], [6], frames=512, dtype="native")
    assert n.dtype == np.dtype("<i4")


def test_rec_and_play_one_direction_each():
    # No driver open: each call loads the named one and releases it again.
    y = asiochan.rec(1000, [0, 1], driver=SIM)
    assert y.shape == (1000, 2) and not y.any()
    asiochan.play(np.full(2000, 0.25, np.float32), [1], driver=SIM)
    assert asiochan.current_driver() is None


def played_through_gaps(x, events, frames):
    """What a take records of playback `x` on the loopback, from its gap events:
    silence where the outputs underran (later frames play later), zeros where the
    inputs dropped frames, every frame one period after it played."""
    out = np.zeros(frames + len(x) + PERIOD, x.dtype)
    at, taken = 0, 0
    for e in sorted((e for e in events if e.name == "UNDERRUN"), key=lambda e: e.position):
        n = min(e.position - at, len(x) - taken)
        out[at:at + n] = x[taken:taken + n]
        at, taken = e.position + e.frames, taken + n
    out[at:at + len(x) - taken] = x[taken:]
    recorded = np.concatenate([np.zeros(PERIOD, x.dtype), out])[:frames]
    for e in events:
        if e.name == "OVERFLOW":
            recorded[e.position:e.position + e.frames] = 0
    return recorded


def test_a_gap_raises_gap_error_with_every_frame_at_its_position(sim, monkeypatch):
    # A ring of four periods, and a take that stops for a tenth of a second in
    # its middle: input frames are dropped and the outputs underrun. GapError
    # tells where, and holds the recording with every frame where it was played.
    import asiochan.takes as takes
    real = takes.time.monotonic
    calls = {"n": 0}

    def monotonic():
        calls["n"] += 1
        if calls["n"] == 40:
            takes.time.sleep(0.1)
        return real()
    monkeypatch.setattr(takes.time, "monotonic", monotonic)
    x = noise(48000, 1)[:, 0]
    with pytest.raises(asiochan.GapError) as caught:
        asiochan.playrec(x, [0], [0], dtype="int32", timeout=10, ring_frames=4 * PERIOD)
    gap = caught.value
    assert gap.dropped > 0 and gap.underrun > 0, gap
    assert {"OVERFLOW", "UNDERRUN"} <= {e.name for e in gap.where}
    assert gap.data.shape == (48000, 1)
    np.testing.assert_array_equal(gap.data[:, 0], played_through_gaps(x, gap.where, 48000))
    allowed = asiochan.playrec(x[:4800], [0], [0], dtype="int32", ring_frames=4 * PERIOD, allow_gaps=True)
    assert allowed.shape == (4800, 1)


def test_a_driver_that_stalls_ends_the_take():
    # The stalls class stops calling back after 100 periods; the take does not
    # wait for ever: DriverStalled, with what was recorded before.
    x = np.zeros((48000 * 10, 1), np.float32)
    with pytest.raises(asiochan.DriverStalled) as caught:
        asiochan.playrec(x, [0], [0], driver="asiochan sim (stalls)", timeout=8)
    stalled = caught.value
    # 100 periods from the driver's start; the stream started a period or two later.
    assert 95 * PERIOD <= stalled.position <= 100 * PERIOD and len(stalled.data) == stalled.position
    assert asiochan.current_driver() is None
