"""Wheels for one platform: ASIOCHAN_WHEEL_PLATFORM (win32, win_amd64,
linux_x86_64) tags the wheel py3-none-<platform>, for the library of that
platform that scripts/python-wheel.sh copies beside the package. Without it the
package builds as pure Python and finds the library at run time (see
asiochan/_abi.py). Everything else is in pyproject.toml."""
import os

from setuptools import setup
from setuptools.dist import Distribution

PLATFORM = os.environ.get("ASIOCHAN_WHEEL_PLATFORM")
commands = {}
if PLATFORM:
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        def finalize_options(self):
            super().finalize_options()
            self.root_is_pure = False

        def get_tag(self):
            return "py3", "none", PLATFORM

    commands["bdist_wheel"] = PlatformWheel


class LibraryDistribution(Distribution):
    def has_ext_modules(self):
        return bool(PLATFORM)


setup(cmdclass=commands, distclass=LibraryDistribution)
