"""The type stubs against the built module.

stubtest imports the module that this test session imported and compares
every name, signature, property and ``__all__`` with the stubs
(python/brindel/__init__.pyi, python/brindel/readable.pyi and
stubs/_brindel.pyi), so a stub that drifts from the module fails here. A
mypy run over the examples then checks that the stubs' types describe real
use: return types are something stubtest cannot see.
"""

import os
import pathlib
import site
import subprocess
import sys

import pytest

import _brindel
import brindel

pytest.importorskip("mypy")

ROOT = pathlib.Path(__file__).resolve().parents[1]
STUBS = ROOT / "stubs"


def mypy_env():
    """PYTHONPATH that finds the module and package this session imported.

    Directories that the subprocess finds anyway (site-packages) are left
    out; MYPYPATH carries the stub of the native module, which type checkers
    do not look for next to a single-file extension.
    """
    site_dirs = {os.path.realpath(p) for p in site.getsitepackages() + [site.getusersitepackages()]}
    dirs = []
    for d in (
        pathlib.Path(_brindel.__file__).parent,
        pathlib.Path(brindel.__file__).parent.parent,
    ):
        d = os.path.realpath(d)
        if d not in site_dirs and d not in dirs:
            dirs.append(d)
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(dirs + [p for p in [env.get("PYTHONPATH")] if p])
    env["MYPYPATH"] = str(STUBS)
    return env


def run(args, tmp_path):
    return subprocess.run(
        [sys.executable, "-m", *args],
        cwd=tmp_path,  # nothing from the working directory shadows the modules
        env=mypy_env(),
        capture_output=True,
        text=True,
    )


def test_stubtest_finds_no_difference(tmp_path):
    # brindel brings its submodules readable and xlsx along.
    r = run(["mypy.stubtest", "_brindel", "brindel"], tmp_path)
    assert r.returncode == 0, r.stdout + r.stderr


def test_examples_type_check_against_the_stubs(tmp_path):
    examples = sorted(str(p) for p in (ROOT / "examples").glob("*.py"))
    r = run(
        ["mypy", "--no-incremental", "--check-untyped-defs", "--warn-unused-ignores", *examples],
        tmp_path,
    )
    assert r.returncode == 0, r.stdout + r.stderr
