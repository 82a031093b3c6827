#!/usr/bin/env bash
# python-wheel.sh PLATFORM OUTDIR LIBRARY...: the asiochan Python package as a
# wheel for one platform tag (win32, win_amd64, linux_x86_64), carrying the given
# library files beside the package; built offline with Debian's pip, setuptools
# and wheel (pip wheel --no-build-isolation).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
platform=$1 out=$2
shift 2
[ $# -gt 0 ] || { echo "python-wheel.sh: no library given" >&2; exit 2; }
stage=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-wheel.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp -R "$root/python/asiochan" "$root/python/pyproject.toml" "$root/python/setup.py" "$root/python/README.md" "$stage/"
find "$stage" -name __pycache__ -prune -exec rm -rf {} +
for library in "$@"; do
    [ -f "$library" ] || { echo "python-wheel.sh: no $library" >&2; exit 1; }
    cp "$library" "$stage/asiochan/"
done
# The Linux libraries of a RelWithDebInfo build carry their debug sections: not in a wheel.
for so in "$stage"/asiochan/*.so; do
    [ -f "$so" ] && strip --strip-debug "$so"
done
mkdir -p "$out"
ASIOCHAN_WHEEL_PLATFORM=$platform /usr/bin/python3 -m pip wheel --quiet --no-build-isolation --no-deps \
    --no-index -w "$out" "$stage"
