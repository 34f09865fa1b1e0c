"""Searches on inputs large enough for the worker pool, checked against
plain Python scans; the interpreter lock during searches; many threads at
once; searching in a child process after fork."""

import concurrent.futures
import contextlib
import os
import random
import signal
import sys
import threading
import time

import pytest

from _brindel import Book, readable
from readable_support import MAX_COL, MAX_ROW, cell, scan, shape

ROWS, COLS = 7500, 20  # 150,000 cells


class Big:
    """One data set on the three surfaces, with its cells as Python tuples
    (row, col, value text) in list order and in row-major order."""

    def __init__(self):
        rng = random.Random(20240305)
        specs = []
        for r in range(1, ROWS + 1):
            for c in range(1, COLS + 1):
                k = rng.random()
                if k < 0.70:
                    t = f"w{rng.randrange(6000)}"
                elif k < 0.80:
                    t = str(rng.randrange(-50000, 50000))
                elif k < 0.85:
                    t = ""
                elif k < 0.88:
                    t = "  "
                elif k < 0.93:
                    t = rng.choice(["Total", " Total ", "Total 2", "Subtotal"])
                else:
                    t = rng.choice(["start", "end", "start end", "middle"])
                specs.append((r, c, t))
        specs[-3] = (ROWS, COLS - 2, "needle at the end")
        self.row_major = specs
        self.listed = specs[:]
        rng.shuffle(self.listed)

        self.book = Book()
        self.sheet = self.book.add_sheet("Big")
        for r, c, t in specs:
            self.sheet.cell(r, c, t)
        self.dicts = [cell(r, c, t, data_type="n") for r, c, t in self.listed]
        self.finder = readable.Finder([{"name": "Big", "sheet_state": "visible", "merge_cells": [], "cells": self.dicts}])
        self.readable = self.finder.sheets[0]
        # The list converted once; searches over ReadableCell objects share
        # their records instead of converting again.
        self.cells = readable.find_cells_range_rows(0, MAX_ROW, self.dicts)


@pytest.fixture(scope="module")
def big():
    return Big()


SEARCHES = [
    ("find_cell_by_regex", ("needle",)),
    ("find_cell_by_regex", ("w5999",)),
    ("find_cell_by_regex", ("missing",)),
    ("find_cells_by_regex", ("w12",)),
    ("find_cells_by_regex", ("",)),
    ("find_cell_by_str", ("Total",)),
    ("find_cell_by_str", ("Total 2",)),
    ("find_cells_by_str", ("Total",)),
    ("find_cells_by_str", (" ",)),
    ("find_cell_by_coords", (ROWS, COLS - 2)),
    ("find_value_by_coords", (ROWS // 2, 7)),
    ("find_value_by_coords", (ROWS + 1, 1)),
    ("find_cells_for_rows_by_regex", ("Total", 3)),
    ("find_cells_for_cols_by_regex", ("w1", 2000)),
    ("find_cells_multi_regex", ("start", "end")),
    ("find_cells_multi_regex", ("", "end")),
    ("find_cells_between_regex", ("start", "end")),
    ("find_cells_between_regex", ("w3000", "w3001")),
    ("find_cells_range_rows", (100, 4000)),
    ("find_cells_range_cols", (3, 5)),
    ("find_values_by_col_rows", (4, [9, 7000, 3, 3, 77, ROWS + 5])),
    ("find_values_by_row_cols", (ROWS - 1, [20, 1, 5, 5])),
]

SHEET_ONLY = [
    ("get_cells_by_range", (1, 1048576, 1, 16384)),
    ("get_cells_by_range", (5, 6000, 2, 19)),
]
NO_SHEET_METHOD = {"find_cell_by_coords", "find_values_by_col_rows", "find_values_by_row_cols"}


def params():
    for name, args in SEARCHES:
        yield pytest.param("function", name, args, id=f"function-{name}{args!r:.30}")
        yield pytest.param("readable", name, args, id=f"readable-{name}{args!r:.30}")
        if name not in NO_SHEET_METHOD:
            yield pytest.param("sheet", name, args, id=f"sheet-{name}{args!r:.30}")
    for name, args in SHEET_ONLY:
        for surface in ("readable", "sheet"):
            yield pytest.param(surface, name, args, id=f"{surface}-{name}{args!r:.30}")


@pytest.mark.parametrize("surface, name, args", list(params()))
def test_large_search_equals_a_plain_scan(big, surface, name, args):
    if surface == "function":
        result = getattr(readable, name)(*args, big.cells)
        seq = big.listed
    else:
        target = big.sheet if surface == "sheet" else big.readable
        result = getattr(target, name)(*args)
        seq = big.row_major
    assert shape(result) == scan(seq, surface, name, *args)


def test_large_list_of_dictionaries(big):
    # The same list converted on the spot, with duplicates appended.
    dicts = big.dicts + big.dicts[:1000]
    listed = big.listed + big.listed[:1000]
    assert shape(readable.find_cells_by_str("Total", dicts)) == scan(listed, "function", "find_cells_by_str", "Total")
    assert shape(readable.find_cells_range_rows(0, MAX_ROW, dicts)) == [(r, c) for r, c, _ in listed]


def test_large_snapshot_properties(big):
    rs = big.readable
    assert repr(rs) == f"ReadableSheet (Big) cells: {ROWS * COLS}"
    assert (rs.max_row, rs.max_column) == (ROWS, COLS)
    assert [(c.row, c.column, c.value) for c in rs.cells] == big.row_major
    assert shape(rs.get_cells_by_range()) == [(r, c) for r, c, _ in big.row_major]
    assert shape(big.sheet.get_cells_by_range(None, None, None, MAX_COL)) == [(r, c) for r, c, _ in big.row_major]


def test_finder_with_many_sheets():
    names = [f"S{i % 997}" for i in range(20_000)]
    f = readable.Finder([{"name": n, "sheet_state": "", "merge_cells": None, "cells": []} for n in names])
    assert f.find_sheet_by_name("S996") is not None
    assert [s.name for s in f.get_sheets_with_names(["S5", "S900"])] == [n for n in names if n in ("S5", "S900")]
    assert len(f.get_sheets_without_names(["S5", "S900"])) == len(names) - names.count("S5") - names.count("S900")
    assert f.find_sheet_by_regex("^S99[0-9]$").name == "S990"
    assert f.find_sheet_by_regex("(a|b)*c$") is None
    assert f.find_sheet_by_name("S997") is None


# ---- the interpreter lock ----


@contextlib.contextmanager
def counter_thread():
    """A pure-Python thread counting while the main thread works.

    The switch interval is made so long that the main thread never hands
    the interpreter lock over on its own: the counter moves only while the
    main thread lets the lock go (in time.sleep, or in a search that
    releases it).
    """
    state = {"n": 0, "stop": False}

    def run():
        while not state["stop"]:
            state["n"] += 1
            time.sleep(0.0001)

    old = sys.getswitchinterval()
    t = threading.Thread(target=run)
    t.start()
    try:
        sys.setswitchinterval(1000)
        time.sleep(0.05)  # lets a switch request made under the old interval pass
        yield state
    finally:
        state["stop"] = True
        sys.setswitchinterval(old)
        t.join()


def progress(state, call):
    before = state["n"]
    call()
    return state["n"] - before


def test_readable_searches_let_other_threads_run(big):
    calls = [
        lambda: big.readable.find_cells_by_regex("w1"),
        lambda: big.readable.find_cells_between_regex("", "never"),
        lambda: readable.find_cells_by_str("w77", big.cells),
    ]
    with counter_thread() as state:
        for call in calls:
            assert any(progress(state, call) > 0 for _ in range(200))


def test_sheet_searches_keep_the_interpreter_lock(big):
    with counter_thread() as state:
        for call in [
            lambda: big.sheet.find_cells_by_regex("w1"),
            lambda: big.sheet.find_cells_between_regex("", "never"),
            lambda: big.sheet.get_cells_by_range(),
        ]:
            assert sum(progress(state, call) for _ in range(3)) == 0
        # So do the lookup of ReadableSheet and the Finder's selections.
        assert sum(progress(state, lambda: big.readable.get_value_cell(5, 5)) for _ in range(500)) == 0
        assert progress(state, lambda: big.finder.find_sheet_by_regex("^B")) == 0
        # And the sanity check: letting the lock go does let the counter run.
        assert progress(state, lambda: time.sleep(0.01)) > 0


def test_many_threads_search_one_snapshot(big):
    rs, cells, sheet = big.readable, big.cells, big.sheet
    calls = [
        lambda: shape(rs.find_cells_by_regex("w12")),
        lambda: shape(rs.find_cell_by_regex("needle")),
        lambda: shape(readable.find_cells_by_str("Total", cells)),
        lambda: shape(rs.find_cells_between_regex("start", "end")),
        lambda: shape(rs.get_cells_by_range(10, 500, 2, 5)),
        lambda: shape(sheet.find_cells_for_rows_by_regex("w5", 4)),
        lambda: rs.find_values_by_row_cols(77, [1, 2, 3]),
    ]
    expected = [call() for call in calls]

    def work(offset):
        return [(k, calls[k]()) for k in ((offset + i) % len(calls) for i in range(12))]

    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        for future in [pool.submit(work, i) for i in range(16)]:
            for k, result in future.result():
                assert result == expected[k]


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_search_in_a_forked_child(big):
    expected = shape(big.readable.find_cells_by_regex("w42"))  # the pool is running now
    expected_sheet = shape(big.sheet.find_cells_by_str("Total"))
    expected_list = shape(readable.find_cell_by_str(" Total", big.cells))
    pid = os.fork()
    if pid == 0:
        code = 3
        try:
            signal.alarm(120)  # a child that hangs dies instead
            ok = (
                shape(big.readable.find_cells_by_regex("w42")) == expected
                and shape(big.sheet.find_cells_by_str("Total")) == expected_sheet
                and shape(readable.find_cell_by_str(" Total", big.cells)) == expected_list
            )
            code = 0 if ok else 1
        except BaseException:
            code = 2
        finally:
            os._exit(code)
    _, status = os.waitpid(pid, 0)
    assert os.WIFEXITED(status), f"child ended by signal {os.WTERMSIG(status) if os.WIFSIGNALED(status) else '?'}"
    assert os.WEXITSTATUS(status) == 0
    # The parent's pool still works.
    assert shape(big.readable.find_cells_by_regex("w42")) == expected
