"""Every Python snippet of docs/guide.md runs and its assertions hold.

The guide states the rule: the snippets of one section (a "## " heading)
run in order in one namespace, each section in a fresh one, in an empty
working directory. The tour of the README runs the same way.
"""

import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
GUIDE = ROOT / "docs" / "guide.md"
README = ROOT / "README.md"
FENCE = re.compile(r"^```python\n(.*?)^```\s*$", re.M | re.S)


def sections(path=GUIDE):
    """(title, [(line number, code), ...]) for each section with snippets."""
    text = path.read_text(encoding="utf-8")
    starts = [m.start() for m in re.finditer(r"^## ", text, re.M)] + [len(text)]
    out = []
    for a, b in zip(starts, starts[1:]):
        part = text[a:b]
        title = part.splitlines()[0][3:].strip()
        first_line = text.count("\n", 0, a) + 1
        snippets = [
            (first_line + part.count("\n", 0, m.start()) + 1, m.group(1))
            for m in FENCE.finditer(part)
        ]
        if snippets:
            out.append((title, snippets))
    return out


SECTIONS = sections()


def test_no_snippet_lies_before_the_first_section():
    # A snippet before the first section would silently never run.
    text = GUIDE.read_text(encoding="utf-8")
    first = re.search(r"^## ", text, re.M)
    assert first is not None and not FENCE.search(text[: first.start()])


def run_snippets(path, snippets):
    namespace = {"__name__": "guide"}
    for line, code in snippets:
        try:
            # Padded so that a traceback points at the document's own lines.
            exec(compile("\n" * (line - 1) + code, str(path), "exec"), namespace)
        except ImportError as e:
            if e.name in ("xlsxwriter", "openpyxl") or "brindel[xlsx]" in str(e):
                pytest.skip(f"needs the xlsx extra: {e}")
            raise


@pytest.mark.parametrize("title,snippets", SECTIONS, ids=[t for t, _ in SECTIONS])
def test_section_runs(title, snippets, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    run_snippets(GUIDE, snippets)


def test_readme_tour_runs(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    tour = dict(sections(README))["A short tour"]
    run_snippets(README, tour)
    assert (tmp_path / "tour.xlsx").is_file()
