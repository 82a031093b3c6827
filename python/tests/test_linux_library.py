"""What libasiochan.so holds from the moment it is loaded: the simulated classes
under their Wine prefix names, no card, and the capture dumps in the folder
ASIOCHAN_DUMP_DIR names (read at the library's start: a process of its own)."""
import os
import subprocess
import sys

import asiochan
from conftest import HERE

WINE_PREFIX_NAMES = [
    "asiochan simulated driver", "asiochan sim (bench)", "asiochan sim (dut)", "asiochan sim (fast)",
    "asiochan sim (rate change)", "asiochan sim (refused)", "asiochan sim (resets)", "asiochan sim (skips)",
    "asiochan sim (stalls)", "asiochan sim (stepped)", "asiochan sim (stepped, float)", "asiochan sim (types)",
]

CAPTURE = r"""
import ctypes, sys, time
import asiochan
L = asiochan.library()
print(asiochan.drivers()[0], L.IsLxcardInsert())
assert L.loadAsioDriver(b"asiochan simulated driver") and L.Initialize() == 0 and L.Prepare() == 0
buffer = ctypes.create_string_buffer(4096)
assert L.SetCaptureBuffer(buffer, 4096, 0) == 0
L.StartCapture()
deadline = time.monotonic() + 5
while L.IsPortCaptureRunning(0) and time.monotonic() < deadline:
    time.sleep(0.01)
L.Finish()
L.releaseAsioDriver()
"""


def run_capture(dump_dir, cwd=None):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(HERE))
    env.pop("ASIOCHAN_DUMP_DIR", None)
    if dump_dir is not None:
        env["ASIOCHAN_DUMP_DIR"] = str(dump_dir)
    return subprocess.run([sys.executable, "-c", CAPTURE], env=env, cwd=cwd, check=True, capture_output=True,
                          text=True).stdout


def test_the_driver_list_holds_the_simulated_classes_under_their_wine_prefix_names():
    assert asiochan.drivers() == WINE_PREFIX_NAMES
    assert asiochan.library().IsLxcardInsert() == 0


def test_capture_dumps_go_to_asiochan_dump_dir_and_are_skipped_without_it(tmp_path):
    assert run_capture(tmp_path) == "asiochan simulated driver 0\n"
    assert sorted(os.listdir(tmp_path)) == ["buffer_debug_0_internal.dat", "buffer_debug_0_output.dat"]
    assert os.path.getsize(tmp_path / "buffer_debug_0_output.dat") == 4096
    elsewhere = tmp_path / "unset"
    elsewhere.mkdir()
    run_capture(None, cwd=elsewhere)  # no D: drive: the capture completes, nothing is written
    assert not os.listdir(elsewhere)
