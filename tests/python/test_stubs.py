"""The shipped type stubs match the runtime module."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]

pytest.importorskip("mypy")


def test_stubtest_accepts_the_stubs():
    env = dict(os.environ, MYPYPATH=str(REPO / "bindings"))
    r = subprocess.run([sys.executable, "-m", "mypy.stubtest", "swathor", "--allowlist",
                        str(REPO / "bindings" / "stubtest-allowlist.txt")],
                       capture_output=True, text=True, env=env, cwd=REPO)
    assert r.returncode == 0, r.stdout + r.stderr
