"""The flat layer against the public header: every export declared, every
struct's size and offsets, the sample-type table."""
import ctypes
import os
import re

import asiochan
from asiochan import _abi
from conftest import ROOT

HEADER = open(os.path.join(ROOT, "include", "asiochan.h")).read()


def test_every_export_of_the_header_is_declared_once_and_loads():
    declared = set(re.findall(r"ASIOCHAN_CALL (\w+)\(", HEADER))
    assert set(_abi.FUNCTIONS) == declared
    library = asiochan.library()
    for name in declared:
        assert getattr(library, name).argtypes is not None, name


def test_struct_sizes_and_offsets_are_the_headers():
    # The header's layout checks: sizeof(X) == n && offsetof(X, field) == m ...
    stated = {}
    for struct, body in re.findall(r"ASIOCHAN_LAYOUT_CHECK\(sizeof\((\w+)\)(.*?)\"", HEADER, re.S):
        stated[struct] = (int(re.match(r"\s*==\s*(\d+)", body).group(1)),
                          {f: int(o) for f, o in re.findall(r"offsetof\(\w+, (\w+)\) == (\d+)", body)})
    # The records the header states in its comments: 52 bytes; 12 or 16 bytes.
    assert "(52 bytes)" in HEADER and "12 bytes in 32-bit code" in HEADER
    stated["AsiochanChannelInfo"] = (52, {})
    pointer = ctypes.sizeof(ctypes.c_void_p)
    stated["CaptureRequest"] = (16, {"byteLength": 8, "channel": 12}) if pointer == 8 \
        else (12, {"byteLength": 4, "channel": 8})
    ours = {"Asiochan" + s.__name__ if s.__name__ != "CaptureRequest" else s.__name__: (s, layout)
            for s, layout in _abi.LAYOUT.items()}
    assert set(ours) == set(stated)
    for name, (size, offsets) in stated.items():
        struct, (our_size, our_offsets) = ours[name]
        assert ctypes.sizeof(struct) == size == our_size, name
        for field, offset in offsets.items():
            assert getattr(struct, field).offset == offset, (name, field)
            assert our_offsets.get(field, offset) == offset, (name, field)


def test_a_layout_that_drifts_fails_at_import():
    class Shifted(ctypes.Structure):
        _fields_ = [("size", ctypes.c_uint32), ("position", ctypes.c_uint32)]
    saved = dict(_abi.LAYOUT)
    try:
        _abi.LAYOUT[Shifted] = (16, {"position": 8})
        try:
            _abi.check_layouts()
        except ImportError as e:
            assert "Shifted" in str(e)
        else:
            raise AssertionError("a drifted layout passed")
    finally:
        _abi.LAYOUT.clear()
        _abi.LAYOUT.update(saved)


def test_sample_types_are_the_headers_table():
    rows = re.findall(r'ROW\((\w+),\s*(\d+), "(\w+)",\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\)', HEADER)
    assert len(rows) == len(asiochan.SAMPLE_TYPES)
    for _id, code, name, size, msb, is_float, bits in rows:
        assert asiochan.SAMPLE_TYPES[int(code)] == (name, int(size), int(msb), int(is_float), int(bits))


def test_the_library_is_looked_for_by_variable_then_beside_the_package_then_by_name(monkeypatch, tmp_path):
    monkeypatch.setenv("ASIOCHAN_LIBRARY", "/x/libasiochan.so")
    assert _abi.library_candidates() == ["/x/libasiochan.so"]
    monkeypatch.delenv("ASIOCHAN_LIBRARY")
    beside, by_name = _abi.library_candidates()
    assert beside == os.path.join(os.path.dirname(_abi.__file__), _abi.LIBRARY_NAME) and by_name == "libasiochan.so"
    # A library that is not there is named in the error, with the variable to set.
    try:
        _abi.load_library([str(tmp_path / "libasiochan.so"), str(tmp_path / "nothing.so")])
    except OSError as e:
        assert "ASIOCHAN_LIBRARY" in str(e) and "nothing.so" in str(e)
    else:
        raise AssertionError("a missing library loaded")
