"""The README's install command in a fresh venv, offline, and its example run
there against the Linux library."""
import os
import re
import shutil
import subprocess
import sys

from conftest import ROOT


def readme_block(marker):
    text = open(os.path.join(ROOT, "README.md")).read()
    return re.search(re.escape(marker) + r"\n```python\n(.*?)```", text, re.S).group(1)


def test_the_readme_install_command_and_example_work_in_a_fresh_venv(tmp_path):
    text = open(os.path.join(ROOT, "README.md")).read()
    command = re.search(r"^    (python3 -m venv --system-site-packages .*)$", text, re.M).group(1)
    env = dict(os.environ, PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
    env.pop("PYTHONPATH", None)
    python = sys.executable if sys.executable.startswith("/usr/bin/") else "/usr/bin/python3"
    command = command.replace("python3 -m venv", f"{python} -m venv")
    # The command as the README gives it, on a copy of the package (pip builds in the tree).
    shutil.copytree(os.path.join(ROOT, "python"), tmp_path / "python",
                    ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info", "tests"))
    subprocess.run(command, shell=True, cwd=tmp_path, env=env, check=True, stdout=subprocess.DEVNULL)
    example = tmp_path / "example.py"
    example.write_text(readme_block("<!-- the README example -->"))
    # Run away from the source tree, so that the installed package is the one imported.
    done = subprocess.run([str(tmp_path / ".venv" / "bin" / "python"), str(example)], cwd=tmp_path, env=env,
                          check=True, capture_output=True, text=True)
    assert done.stdout.strip() == "three takes, sample-exact at 256 frames"
    shown = subprocess.run([str(tmp_path / ".venv" / "bin" / "python"), "-c",
                            "import asiochan; print(asiochan.__file__)"], cwd=tmp_path, env=env,
                           check=True, capture_output=True, text=True)
    assert shown.stdout.startswith(str(tmp_path / ".venv"))
