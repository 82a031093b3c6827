"""Ctrl+C in the middle of a take, in a process of its own: the take stops within
a fraction of a second, the driver is not left running, and the next take works;
the same in a blocking read, which closes its stream."""
import os
import signal
import subprocess
import sys
import time

from conftest import HERE

SCRIPT = r"""
import sys, time
import numpy as np
import asiochan
x = np.zeros((48000 * 30, 2), np.float32)
print("ready", flush=True)
try:
    asiochan.playrec(x, [0, 1], [0, 1])
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), asiochan.current_driver(), asiochan.stream_state().flags, flush=True)
y = asiochan.playrec(x[:4800], [0, 1], [0, 1])
print("again", y.shape, flush=True)
with asiochan.Driver() as driver:
    s = asiochan.Stream(inputs=[0])
    s.start()
    print("reading", flush=True)
    try:
        s.read(48000 * 30)
    except KeyboardInterrupt:
        print("interrupted", time.monotonic(), asiochan.current_driver() is driver, asiochan.stream_state().flags,
              flush=True)
"""


def test_sigint_during_playrec_stops_it_at_once_and_the_next_take_works():
    env = dict(os.environ, PYTHONPATH=os.path.dirname(HERE))
    child = subprocess.Popen([sys.executable, "-c", SCRIPT], stdout=subprocess.PIPE, text=True, env=env)

    def interrupt(after):
        time.sleep(after)  # the call is under way
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        words = child.stdout.readline().split()
        assert words[0] == "interrupted", words
        assert float(words[1]) - sent < 0.3  # CLOCK_MONOTONIC is one clock for both processes
        return words[2:]
    try:
        assert child.stdout.readline().strip() == "ready"
        assert interrupt(1.0) == ["None", "0"]  # no driver left open, no stream
        assert child.stdout.readline().split() == ["again", "(4800,", "2)"]
        assert child.stdout.readline().strip() == "reading"
        assert interrupt(0.5) == ["True", "0"]  # the stream closed, the caller's driver still open
        assert child.wait(timeout=10) == 0
    finally:
        child.kill()
