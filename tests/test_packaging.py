"""The source distribution builds, installs and imports on its own.

The sdist is built from the working tree and installed into a fresh virtual
environment with build isolation, so the extension is compiled from nothing
but the files the sdist holds: a source file left out of it fails here. The
installed package must also carry its type information where type checkers
look for it.

This compiles the whole extension, which takes a minute or two. Set
BRINDEL_SKIP_PACKAGING=1 to skip it in quick local runs; the full test run
includes it. The second pass of the suite under the sanitizers
(scripts/sanitize.sh sets BRINDEL_SANITIZED) skips it too: the packaging is
the same, and the fresh environment's release build is not the one under test.
"""

import os
import pathlib
import subprocess
import sys
import tarfile
import textwrap

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]

pytestmark = [
    pytest.mark.skipif(
        os.environ.get("BRINDEL_SKIP_PACKAGING", "") not in ("", "0"),
        reason="BRINDEL_SKIP_PACKAGING is set",
    ),
    pytest.mark.skipif(
        bool(os.environ.get("BRINDEL_SANITIZED")), reason="checked by the plain run"
    ),
]

SMOKE = textwrap.dedent(
    """
    import pathlib, sysconfig
    import _brindel, brindel, brindel.readable
    sheet = brindel.Book().add_sheet('x')
    assert repr(sheet) == 'Sheet (x) cells: 0'
    assert brindel.readable.create_finder([]).sheets == []
    here = pathlib.Path(_brindel.__file__).parent
    package = pathlib.Path(brindel.__file__).parent
    typing_files = [here / '_brindel.pyi', package / 'py.typed',
                    package / '__init__.pyi', package / 'readable.pyi']
    print([str(p) for p in typing_files if not p.is_file()])
    """
)

# A user's program: mypy must find the installed package's types and reject
# the wrong argument type.
USER_PROGRAM = textwrap.dedent(
    """
    import brindel
    from brindel import readable

    sheet: brindel.Sheet = brindel.Book().add_sheet("x")
    found: readable.ReadableSheet | None = readable.create_finder([]).get_sheet_index(0)
    sheet.cell(1, 1, 5)
    """
)


def check(cmd, **kw):
    r = subprocess.run(cmd, capture_output=True, text=True, **kw)
    assert r.returncode == 0, f"{cmd}\n{r.stdout}\n{r.stderr}"
    return r


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    """(python of a fresh environment with the sdist installed, the sdist)."""
    pytest.importorskip("build")
    tmp = tmp_path_factory.mktemp("packaging")
    dist = tmp / "dist"
    check([sys.executable, "-m", "build", "--sdist", "--outdir", str(dist), str(ROOT)])
    (sdist,) = dist.glob("brindel-*.tar.gz")
    env_dir = tmp / "env"
    check([sys.executable, "-m", "venv", str(env_dir)])
    python = env_dir / "bin" / "python"
    env = dict(os.environ)
    env.pop("PYTHONPATH", None)  # only what the sdist installs may be found
    env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
    check(
        [str(python), "-m", "pip", "install", "--quiet", "--disable-pip-version-check", str(sdist)],
        env=env,
        cwd=tmp,
    )
    return python, sdist, env


def test_sdist_holds_the_sources_and_nothing_built(installed):
    _, sdist, _ = installed
    with tarfile.open(sdist) as tar:
        names = {n.split("/", 1)[1] for n in tar.getnames() if "/" in n}
    for needed in ("CMakeLists.txt", "pyproject.toml", "README.md", "stubs/_brindel.pyi",
                   "python/brindel/__init__.py", "python/brindel/py.typed"):
        assert needed in names
    assert not [n for n in names if n.startswith("build/") or n.endswith(".so")]


def test_installed_sdist_imports_and_carries_its_types(installed, tmp_path):
    python, _, env = installed
    r = check([str(python), "-c", SMOKE], env=env, cwd=tmp_path)
    assert r.stdout.strip() == "[]", f"typing files missing from the installation: {r.stdout}"


def test_type_checkers_find_the_installed_types(installed, tmp_path):
    pytest.importorskip("mypy")
    python, _, env = installed
    program = tmp_path / "user.py"
    program.write_text(USER_PROGRAM)
    r = subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--python-executable", str(python),
         str(program)],
        capture_output=True, text=True, env=env, cwd=tmp_path,
    )
    # Exactly one error: the integer given where the cell's text belongs.
    assert r.returncode == 1, r.stdout + r.stderr
    errors = [line for line in r.stdout.splitlines() if ": error:" in line]
    assert len(errors) == 1 and "user.py:7:" in errors[0] and '"cell"' in errors[0], r.stdout
