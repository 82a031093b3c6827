"""The wheels scripts/package.sh makes: one per platform tag, each carrying the
library of its platform (and bitness) beside the package."""
import os
import struct
import subprocess
import zipfile

import pytest

from conftest import ROOT

PACKAGE = {"asiochan/__init__.py", "asiochan/_abi.py", "asiochan/driver.py", "asiochan/errors.py",
           "asiochan/stream.py", "asiochan/takes.py"}
# platform tag -> (libraries of the build, the PE machine of a DLL)
PLATFORMS = {
    "linux_x86_64": (["build/native/lib/libasiochan.so", "build/native/lib/libasiochan_sim.so"], None),
    "win32": (["build/mingw/bin/asiochan.dll"], 0x14C),
    "win_amd64": (["build/mingw64/bin/asiochan.dll"], 0x8664),
}


def pe_machine(data):
    at = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[at:at + 4] == b"PE\0\0"
    return struct.unpack_from("<H", data, at + 4)[0]


@pytest.mark.parametrize("platform", sorted(PLATFORMS))
def test_each_wheel_carries_its_platforms_library_and_tag(platform, tmp_path):
    libraries, machine = PLATFORMS[platform]
    paths = [os.path.join(ROOT, p) for p in libraries]
    if not all(os.path.exists(p) for p in paths):
        pytest.skip(f"{platform}: {libraries} not built here")
    subprocess.run([os.path.join(ROOT, "scripts", "python-wheel.sh"), platform, str(tmp_path)] + paths, check=True)
    (wheel,) = os.listdir(tmp_path)
    assert wheel == f"asiochan-1.0.0-py3-none-{platform}.whl"
    with zipfile.ZipFile(tmp_path / wheel) as z:
        names = set(z.namelist())
        tags = [line.split(": ")[1] for line in z.read("asiochan-1.0.0.dist-info/WHEEL").decode().splitlines()
                if line.startswith("Tag: ")]
        carried = {"asiochan/" + os.path.basename(p) for p in paths}
        assert tags == [f"py3-none-{platform}"]
        assert names - {n for n in names if n.startswith("asiochan-1.0.0.dist-info/")} == PACKAGE | carried
        assert "Requires-Dist: numpy" in z.read("asiochan-1.0.0.dist-info/METADATA").decode()
        for name in carried:
            data = z.read(name)
            if machine is None:
                assert data[:4] == b"\x7fELF" and data[4] == 2  # 64-bit ELF
            else:
                assert pe_machine(data) == machine, name
