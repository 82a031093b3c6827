"""Bad arguments and calls out of order: the exception class of the code's family,
with the library's text for the code and the argument named."""
import numpy as np
import pytest

import asiochan
from conftest import SIM

F = np.zeros((16, 1), np.float32)

# (what is called, the class, the code, words the message holds)
CASES = [
    ("playrec outputs 64", lambda: asiochan.playrec(F, [64], [0]), asiochan.InvalidParameter, -998,
     ["outputs:", "invalid parameter", "channel 64"]),
    ("playrec inputs twice", lambda: asiochan.playrec(F, [0], [1, 1]), asiochan.InvalidParameter, -998,
     ["inputs:", "named twice"]),
    ("playrec no inputs", lambda: asiochan.playrec(F, [0], []), asiochan.InvalidParameter, -998, ["inputs:"]),
    ("playrec data shape", lambda: asiochan.playrec(np.zeros((16, 3)), [0, 1], [0]), asiochan.InvalidParameter,
     -998, ["data:", "(16, 3)"]),
    ("playrec frames", lambda: asiochan.playrec(F, [0], [0], frames=-1), asiochan.InvalidParameter, -998,
     ["frames:"]),
    ("playrec dtype", lambda: asiochan.playrec(F, [0], [0], dtype="int16"), asiochan.InvalidParameter, -998,
     ["dtype:", "int16"]),
    ("playrec timeout", lambda: asiochan.playrec(F, [0], [0], timeout=-1), asiochan.InvalidParameter, -998,
     ["timeout:"]),
    ("playrec driver type", lambda: asiochan.playrec(F, [0], [0], driver=3), asiochan.InvalidParameter, -998,
     ["driver:"]),
    ("rec without frames", lambda: asiochan.rec(None, [0]), asiochan.InvalidParameter, -998, ["frames:"]),
    ("Stream ring", lambda: asiochan.Stream(inputs=[0], ring_frames=-5), asiochan.InvalidParameter, -998,
     ["ring_frames:"]),
    ("Stream nothing", lambda: asiochan.Stream(), asiochan.InvalidParameter, -998, ["inputs:"]),
    # The library refuses these itself.
    ("Stream channel 9 of 8", lambda: asiochan.Stream(inputs=[9], driver=SIM), asiochan.InvalidParameter, -998,
     ["OpenStream:", "invalid parameter"]),
    ("Stream ring above 60 s", lambda: asiochan.Stream(inputs=[0], ring_frames=48000 * 61, driver=SIM),
     asiochan.InvalidParameter, -998, ["OpenStream:"]),
    ("Driver unknown", lambda: asiochan.Driver("no such driver").open(), asiochan.NotPresent, -1000,
     ["not present", "'no such driver'"]),
    ("Driver refused", lambda: asiochan.Driver("asiochan sim (refused)").open(), asiochan.NotPresent, -1000,
     ["did not load"]),
]


@pytest.mark.parametrize("what, call, cls, code, words", CASES, ids=[c[0] for c in CASES])
def test_bad_arguments_raise_their_family_with_the_librarys_text(what, call, cls, code, words):
    with pytest.raises(cls) as caught:
        call()
    assert caught.value.code == code and caught.value.text == asiochan.error_text(code)
    for word in words:
        assert word in str(caught.value), str(caught.value)


def test_calls_out_of_order(sim):
    # A second driver, a second stream, a read on outputs only, a closed stream.
    with pytest.raises(asiochan.InvalidMode, match="open: close it first"):
        asiochan.Driver(SIM).open()
    with asiochan.Stream(outputs=[0]) as s:
        with pytest.raises(asiochan.InvalidMode, match="OpenStream: invalid mode"):
            asiochan.Stream(inputs=[0])
        with pytest.raises(asiochan.InvalidMode, match="no inputs"):
            s.read(1)
        s.start()
        with pytest.raises(asiochan.InvalidMode, match="StartStream"):
            s.start()
        s.stop()
        with pytest.raises(asiochan.StreamEnded, match="WriteStream: the stream has ended"):
            s.write(np.zeros(10, np.float32))


def test_every_code_has_its_family_and_unknown_codes_the_base_class():
    from asiochan.errors import error_for
    families = {-1000: asiochan.NotPresent, -999: asiochan.HardwareMalfunction, -998: asiochan.InvalidParameter,
                -997: asiochan.InvalidMode, -994: asiochan.NoMemory, -5001: asiochan.DriverListError,
                -5002: asiochan.DriverListError, -5003: asiochan.DriverListError, -6001: asiochan.StreamEnded,
                -6002: asiochan.DriverStuck}
    for code, cls in families.items():
        e = error_for(code)
        assert type(e) is cls and e.text != "unknown result code"
    e = error_for(-996)
    assert type(e) is asiochan.AsiochanError and e.text == "unknown result code"
