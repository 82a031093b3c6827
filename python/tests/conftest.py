"""The suite runs against the Linux library (libasiochan.so over the simulated
drivers): ASIOCHAN_LIBRARY names it, else the native build's in this checkout."""
import ctypes
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))

if not os.environ.get("ASIOCHAN_LIBRARY"):
    built = os.path.join(ROOT, "build", "native", "lib", "libasiochan.so")
    if os.path.exists(built):
        os.environ["ASIOCHAN_LIBRARY"] = built

import asiochan  # noqa: E402

SIM = "asiochan simulated driver"
STEPPED = "asiochan sim (stepped)"
FAST = "asiochan sim (fast)"
PERIOD = 256  # the simulated drivers' period, frames (the fast one's is 1024)


@pytest.fixture(scope="session")
def sim_control():
    """libasiochan_sim.so, the module libasiochan.so loaded: its control exports
    steer the newest driver object (stepped periods, say)."""
    path = os.path.join(os.path.dirname(os.environ["ASIOCHAN_LIBRARY"]), "libasiochan_sim.so")
    control = ctypes.CDLL(path)
    control.simRunPeriods.argtypes = [ctypes.c_int32]
    control.simInputPatternByte.argtypes = [ctypes.c_int32, ctypes.c_uint32]
    control.simInputPatternByte.restype = ctypes.c_uint8
    return control


@pytest.fixture(autouse=True)
def no_driver_left_open():
    """Every test leaves the library as it found it: no driver open, no stream."""
    yield
    held = asiochan.current_driver()
    if held is not None:
        held.close()
        pytest.fail(f"the test left {held!r} open")
    assert not asiochan.stream_state().open, "the test left a stream open"


@pytest.fixture
def sim():
    with asiochan.Driver(SIM) as driver:
        yield driver


@pytest.fixture
def stepped(sim_control):
    """The stepped simulated driver: periods run when the test runs them."""
    with asiochan.Driver(STEPPED) as driver:
        yield driver
