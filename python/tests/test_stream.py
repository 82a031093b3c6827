"""The Stream: positions across gaps, the drivers' events as named codes, a stop
from another thread, and a long read of 64 inputs in flat memory."""
import threading
import time

import numpy as np
import pytest

import asiochan
from conftest import FAST, PERIOD, SIM


def assert_contiguous(blocks):
    """Every block starts where the one before ended plus the gap it tells."""
    for before, block in zip(blocks, blocks[1:]):
        assert block.position == before.position + before.frames + block.lost, (before, block)


def test_driver_info_rate_and_periods(sim):
    info = sim.info
    assert info.name == SIM and len(info.inputs) == len(info.outputs) == 8
    assert {c.type_name for c in info.inputs + info.outputs} == {"Int32LSB"}
    assert info.inputs[0].dtype == np.dtype("<i4") and info.inputs[0].index == 0
    assert info.buffer_preferred == PERIOD and info.samplerate == 48000
    before = sim.period_count
    time.sleep(0.05)
    assert sim.period_count > before and sim.skipped_periods == 0
    sim.samplerate = 44100
    assert sim.samplerate == 44100 and sim.info.samplerate == 44100
    sim.samplerate = 48000


def test_positions_across_an_overflow(stepped, sim_control):
    # A ring of four periods; nobody reads while eight periods run.
    with asiochan.Stream(inputs=[0, 1], ring_frames=4 * PERIOD) as s:
        s.start()
        sim_control.simRunPeriods(2)
        blocks = [s.read(2 * PERIOD, timeout=0)]
        sim_control.simRunPeriods(8)
        while (b := s.read(3 * PERIOD, timeout=0)).frames or b.lost:
            blocks.append(b)
        sim_control.simRunPeriods(1)
        blocks.append(s.read(PERIOD, timeout=0))
        assert [b.frames for b in blocks][0] == 2 * PERIOD and blocks[-1].frames == PERIOD
        assert_contiguous(blocks)
        assert sum(b.lost for b in blocks) == 4 * PERIOD == s.state.dropped
        overflow = [e for b in blocks for e in b.events if e.code == asiochan.EventCode.OVERFLOW]
        assert [(e.frames, e.position) for e in overflow] == [(4 * PERIOD, 6 * PERIOD)]


def test_positions_across_an_underrun(stepped, sim_control):
    # 2P+22 frames prefilled, four periods run: the block written then plays at
    # 4P, after 2P-22 frames of silence; a period later the next block follows
    # it (after the silence of that period), and the underrun's event has come.
    with asiochan.Stream(outputs=[0], dtype="int32", ring_frames=8 * PERIOD) as s:
        first = s.write(np.ones(2 * PERIOD + 22, np.int32))
        s.start()
        sim_control.simRunPeriods(4)
        late = s.write(np.ones(100, np.int32), timeout=0)
        sim_control.simRunPeriods(1)
        after = s.write(np.ones(100, np.int32), timeout=0)
        assert (first.position, first.lost) == (0, 0)
        assert (late.position, late.lost) == (4 * PERIOD, 2 * PERIOD - 22)
        assert (after.position, after.lost) == (5 * PERIOD, PERIOD - 100)
        assert_contiguous([first, late, after])
        underruns = [(e.frames, e.position) for b in (late, after) for e in b.events]
        assert underruns[0] == (2 * PERIOD - 22, 2 * PERIOD + 22)


@pytest.mark.parametrize("driver, expected", [
    ("asiochan sim (resets)", {"RESET", "END"}),
    ("asiochan sim (rate change)", {"RESYNC", "LATENCIES", "SAMPLE_RATE"}),
    ("asiochan sim (skips)", {"SKIPPED_PERIODS"}),
    ("asiochan sim (stalls)", {"STALL"}),
])
def test_the_scripted_drivers_events_come_as_named_codes(driver, expected):
    # Each driver misbehaves about half a second into its run; a stall is told
    # after a second without a period.
    seen, blocks = [], []
    with asiochan.Stream(inputs=[0], driver=driver) as s:
        s.start()
        deadline = time.monotonic() + 4
        while not expected <= {e.name for e in seen} and time.monotonic() < deadline:
            try:
                block = s.read(4096, timeout=0.2)
            except asiochan.StreamEnded:
                break
            seen += block.events
            if block.frames:
                blocks.append(block)
    assert expected <= {e.name for e in seen}, seen
    assert all(isinstance(e.code, asiochan.EventCode) for e in seen)
    assert_contiguous(blocks)
    skipped = [e for e in seen if e.name == "SKIPPED_PERIODS"]
    assert all(e.frames == 3 * PERIOD for e in skipped)


def test_a_stop_from_another_thread_frees_a_blocked_read(sim):
    with asiochan.Stream(inputs=[0, 1]) as s:
        s.start()
        stopper = threading.Timer(0.3, s.stop)
        stopper.start()
        began = time.monotonic()
        block = s.read(48000 * 10)  # would wait ten seconds
        waited = time.monotonic() - began
        stopper.join()
        assert 0.25 < waited < 1.0 and 0 < block.frames < 48000
        rest = list(s.blocks(48000))
        assert sum(b.frames for b in rest) < 2 * PERIOD
        assert "END" in {e.name for b in [block] + rest for e in b.events}
        with pytest.raises(asiochan.StreamEnded):
            s.read(1)


def resident_bytes():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    return 0


def test_sixty_seconds_of_64_inputs_on_the_fast_driver_in_flat_memory():
    # 8 times real time: 7.5 s for 60 s of 64 float inputs (737 MB of samples),
    # with a ring of four seconds (half a second of the reader's time).
    frames_wanted = 60 * 48000
    blocks, resident = 0, []
    last = None
    with asiochan.Stream(inputs=range(64), dtype="float32", ring_frames=4 * 48000, driver=FAST) as s:
        for block in s.blocks(4096):
            assert block.lost == 0 and block.data.shape == (block.frames, 64)
            if last is not None:
                assert block.position == last.position + last.frames
            last = block
            blocks += 1
            if blocks in (100, 650):
                resident.append(resident_bytes())
            if block.position + block.frames >= frames_wanted:
                break
        assert s.state.dropped == 0
    assert last.position + last.frames >= frames_wanted
    assert resident[1] - resident[0] < 8 << 20, resident
