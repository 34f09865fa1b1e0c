"""Many Python threads at once: every kind of search on shared snapshots and
a shared sheet while other threads build, copy, cut and export books; and one
book written from several threads. Each worker runs against a deadline and is
joined with a timeout, so that a hang fails instead of blocking the run.

Scale: the searched data has 72,000 cells, above the size at which the
worker pool splits a search. Searches: 3 threads x 2 passes over the 53
calls, next to 2 builder threads x 4 rounds; the shared book: 3 writer
threads x 2,000 writes next to a cutter and an annotator (200 rounds each), a
copier and an exporter (10 each). The sanitizer build (BRINDEL_SANITIZED=1)
makes every call once in all, 1 builder round, and 600 writes."""

import json
import math
import os
import random
import sys
import threading
import time

import pytest

from _brindel import Book, readable
from readable_support import MAX_ROW, cell, scan, shape

SANITIZED = os.environ.get("BRINDEL_SANITIZED") == "1"
ROWS, COLS = 300, 240  # 72,000 cells
SEARCHERS = 3
# Calls a searcher makes, in passes over the list of searches: two each, or
# (sanitizer build) a third each, so that together they make every call once.
PASSES = 1 / SEARCHERS if SANITIZED else 2
WRITERS = 2
WRITER_ROUNDS = 1 if SANITIZED else 4
DEADLINE = 120  # seconds; only to turn a hang into a failure
BORROW_ERRORS = {"Already mutably borrowed", "Already borrowed"}


def run_threads(targets, main_work=None):
    """Runs each target on a thread of its own; while they run the main
    thread calls main_work() over and over. Returns the exceptions raised,
    after failing on any thread still alive at the deadline."""
    errors = []
    start = threading.Barrier(len(targets), timeout=DEADLINE)

    def guarded(target):
        try:
            start.wait()  # all begin together
            target()
        except BaseException as e:  # reported by the main thread
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(t,), daemon=True) for t in targets]
    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # threads take turns as often as possible
    try:
        for t in threads:
            t.start()
        end = time.monotonic() + DEADLINE
        while main_work is not None and any(t.is_alive() for t in threads) and time.monotonic() < end:
            main_work()
        for t in threads:
            t.join(max(0.0, end - time.monotonic()))
    finally:
        sys.setswitchinterval(old)
    alive = [t.name for t in threads if t.is_alive()]
    assert not alive, f"threads still running at the deadline: {alive}"
    return errors


class Shared:
    """One data set as a cell list (dictionaries and converted cells), a
    snapshot sheet and a writable sheet, with its cells as (row, col, value
    text) in list order and in row-major order; and a finder of many
    sheets."""

    def __init__(self):
        rng = random.Random(7)
        specs = []
        for r in range(1, ROWS + 1):
            for c in range(1, COLS + 1):
                k = rng.random()
                if k < 0.75:
                    t = f"w{rng.randrange(3000)}"
                elif k < 0.85:
                    t = str(rng.randrange(-500, 500))
                elif k < 0.90:
                    t = rng.choice(["Total", " Total ", "Subtotal"])
                elif k < 0.95:
                    t = rng.choice(["start", "end", "start end"])
                else:
                    t = ""
                specs.append((r, c, t))
        specs[-5] = (ROWS, COLS - 4, "needle at the end")
        self.row_major = specs
        self.listed = specs[:]
        rng.shuffle(self.listed)
        self.dicts = [cell(r, c, t, data_type="n") for r, c, t in self.listed]
        self.cells = readable.find_cells_range_rows(0, MAX_ROW, self.dicts)
        self.readable = readable.Finder([{"name": "Big", "sheet_state": "visible", "merge_cells": [], "cells": self.dicts}]).sheets[0]
        self.book = Book()
        self.sheet = self.book.add_sheet("Big")
        for r, c, t in specs:
            self.sheet.cell(r, c, t)

        self.names = [f"S{i % 97}" for i in range(5000)]
        self.finder_input = [{"name": n, "sheet_state": "visible", "merge_cells": [], "cells": []} for n in self.names]
        self.finder = readable.create_finder(self.finder_input)


@pytest.fixture(scope="module")
def shared():
    return Shared()


# Every cell search, as (name, arguments); each runs on the cell list (the
# module's functions), the snapshot sheet and the writable sheet.
SEARCHES = [
    ("find_cell_by_regex", ("needle",)),
    ("find_cell_by_regex", ("missing",)),
    ("find_cells_by_regex", ("w12",)),
    ("find_cell_by_str", ("Total",)),
    ("find_cells_by_str", ("Total",)),
    ("find_cell_by_coords", (ROWS, COLS - 4)),
    ("find_value_by_coords", (ROWS // 2, 7)),
    ("find_cells_for_rows_by_regex", ("Total", 3)),
    ("find_cells_for_cols_by_regex", ("w1", 40)),
    ("find_cells_multi_regex", ("start", "end")),
    ("find_cells_between_regex", ("w2000", "w2001")),
    ("find_cells_range_rows", (100, 130)),
    ("find_cells_range_cols", (3, 4)),
    ("find_values_by_col_rows", (4, [9, 200, 3, 3, ROWS + 5])),
    ("find_values_by_row_cols", (ROWS - 1, [20, 1, 5, 5])),
    ("get_cells_by_range", (5, 60, 2, 30)),
]
NO_SHEET_METHOD = {"find_cell_by_coords", "find_values_by_col_rows", "find_values_by_row_cols"}
NO_FUNCTION = {"get_cells_by_range"}


def search_calls(s):
    """(label, call, expected) for every search on every surface, the
    expected result from a plain scan over the Python tuples."""
    calls = []
    for name, args in SEARCHES:
        if name not in NO_FUNCTION:
            calls.append((f"function {name}", lambda n=name, a=args: getattr(readable, n)(*a, s.cells), scan(s.listed, "function", name, *args)))
        calls.append((f"readable {name}", lambda n=name, a=args: getattr(s.readable, n)(*a), scan(s.row_major, "readable", name, *args)))
        if name not in NO_SHEET_METHOD:
            calls.append((f"sheet {name}", lambda n=name, a=args: getattr(s.sheet, n)(*a), scan(s.row_major, "sheet", name, *args)))
    # The cell list given as dictionaries, converted on each call.
    calls.append(("function on dictionaries", lambda: readable.find_cells_by_str("Total", s.dicts), scan(s.listed, "function", "find_cells_by_str", "Total")))
    calls.append(("readable get_value_cell", lambda: s.readable.get_value_cell(ROWS, COLS - 4), "needle at the end"))

    names = s.names
    with_names = [n for n in names if n in ("S5", "S90")]
    without = [n for n in names if n not in ("S5", "S90")]
    calls += [
        ("finder find_sheet_by_name", lambda: s.finder.find_sheet_by_name("S96").name, "S96"),
        ("finder find_sheet_by_name absent", lambda: s.finder.find_sheet_by_name("S97"), None),
        ("finder find_sheet_by_regex", lambda: s.finder.find_sheet_by_regex("^S9[0-9]$").name, "S90"),
        ("finder get_sheets_with_names", lambda: [sh.name for sh in s.finder.get_sheets_with_names(["S5", "S90"])], with_names),
        ("finder get_sheets_without_names", lambda: [sh.name for sh in s.finder.get_sheets_without_names(["S5", "S90"])], without),
        ("finder get_sheet_index", lambda: s.finder.get_sheet_index(4999).name, names[4999]),
        ("create_finder", lambda: readable.create_finder(s.finder_input[:2000]).find_sheet_by_name("S1").name, "S1"),
    ]
    return calls


def build_and_cut(shared, k, rounds, stop):
    """Builds small books, copies sheets (the shared writable sheet too,
    whose records the copy then shares), cuts rows and columns out of the
    copies and exports; checks each result against what was built."""
    for i in range(rounds):
        if stop.is_set():
            return
        book = Book()
        s = book.add_sheet(f"W{k}-{i}")
        for r in range(1, 31):
            for c in range(1, 31):
                s.cell(r, c, f"{k}.{r}.{c}")
        s.add_comment(1, 1, "note", "me")
        s.add_merge_cells(1, 2, 1, 2)
        copy = book.copy_sheet(s)
        copy.delete_rows(5, 3)
        copy.delete_cols(2, 2)
        assert (copy.max_row, copy.max_column, len(copy.cells)) == (27, 28, 27 * 28)
        assert copy.get_value_cell(5, 2) == f"{k}.8.4"
        assert (s.max_row, s.max_column, len(s.cells)) == (30, 30, 900)
        doc = json.loads(book.to_json())
        assert doc == book.to_dict()
        assert [len(sh["cells"]) for sh in doc["sheets"]] == [900, 27 * 28]

        other = Book()
        big = other.copy_sheet(shared.sheet)
        big.delete_rows(100 + k, 1)
        big.delete_cols(3 + k, 1)
        assert (big.max_row, big.max_column) == (ROWS - 1, COLS - 1)
        assert big.get_value_cell(100 + k, 1) == shared.sheet.get_value_cell(101 + k, 1)


def test_searches_on_shared_data_while_books_are_built_and_cut(shared):
    calls = search_calls(shared)
    stop = threading.Event()
    busy = [False] * SEARCHERS
    wrong = []

    def searcher(i):
        def run():
            share = math.ceil(len(calls) / SEARCHERS)
            for j in range(math.ceil(PASSES * len(calls))):
                if stop.is_set():
                    return
                label, call, expected = calls[(i * share + j) % len(calls)]
                busy[i] = True
                try:
                    got = shape(call())
                finally:
                    busy[i] = False
                if got != expected:
                    wrong.append(label)

        return run

    ticks = {"all": 0, "during_search": 0}

    def tick():
        # Small Python work of the main thread, counted.
        ticks["all"] += 1
        if any(busy):
            ticks["during_search"] += 1
        time.sleep(0.0005)

    targets = [searcher(i) for i in range(SEARCHERS)]
    targets += [lambda k=k: build_and_cut(shared, k, WRITER_ROUNDS, stop) for k in range(WRITERS)]
    try:
        errors = run_threads(targets, tick)
    finally:
        stop.set()
    assert not errors, errors
    assert not wrong, sorted(set(wrong))
    assert ticks["during_search"] > 0, ticks
    # The shared sheet, whose records the copies shared, is as it was.
    assert [(c.row, c.column, c.value) for c in shared.sheet.cells] == shared.row_major


def test_one_book_written_from_several_threads_ends_consistent():
    book = Book()
    sheet = book.add_sheet("Work")
    rows, writers, n = 40, 3, 600 if SANITIZED else 2000
    last = [dict() for _ in range(writers)]
    done = {"comments": 0, "merges": 0, "copies": 0}
    refused = []

    def borrowing(f, *a):
        # A call on an object another thread holds borrowed may be refused;
        # nothing else may go wrong. Each call first lets the other threads
        # run, so that the calls of all threads interleave.
        time.sleep(0)
        try:
            f(*a)
            return True
        except RuntimeError as e:
            if str(e) not in BORROW_ERRORS:
                raise
            refused.append(str(e))
            return False

    def value_writer(k):
        # Column k + 1 is this thread's own.
        def run():
            for i in range(n):
                r = 1 + i % rows
                v = f"{k}:{i}"
                if i % 2:
                    written = borrowing(sheet.cell, r, k + 1, v)
                else:
                    written = borrowing(lambda: setattr(sheet.cell(r, k + 1), "value", v))
                if written:
                    last[k][r] = v

        return run

    def cutter():
        # Cells below and to the right of the writers' block come and go.
        for i in range(n // 10):
            for j in range(3):
                borrowing(sheet.cell, rows + 1 + j, 1 + j, "filler")
                borrowing(sheet.cell, 1 + j, writers + 3, "filler")
            borrowing(sheet.delete_rows, rows + 1, 3)
            borrowing(sheet.delete_cols, writers + 3, 1)
        while not (borrowing(sheet.delete_rows, rows + 1, 3) and borrowing(sheet.delete_cols, writers + 3, 1)):
            pass

    def annotator():
        for i in range(n // 10):
            if borrowing(sheet.add_comment, 1 + i % rows, 1, f"c{i}", "me"):
                done["comments"] += 1
            if borrowing(sheet.add_merge_cells, 1, 1, 1, 2):
                done["merges"] += 1
            borrowing(setattr, sheet, "name", "Work")

    def copier():
        for _ in range(n // 200):
            copy = book.copy_sheet(sheet)
            done["copies"] += 1
            keys = [(c.row, c.column) for c in copy.cells]
            assert keys == sorted(set(keys))

    def exporter():
        for _ in range(n // 200):
            doc = json.loads(book.to_json())
            assert doc["sheets"][0]["name"] == "Work"
            keys = [(c["row"], c["column"]) for c in book.to_dict()["sheets"][0]["cells"]]
            assert keys == sorted(set(keys))

    targets = [value_writer(k) for k in range(writers)] + [cutter, annotator, copier, exporter]
    errors = run_threads(targets)
    assert not errors, errors

    assert [(c.row, c.column) for c in sheet.cells] == [(r, c) for r in range(1, rows + 1) for c in range(1, writers + 1)]
    for k in range(writers):
        assert {r: sheet.get_value_cell(r, k + 1) for r in range(1, rows + 1)} == last[k]
    assert len(sheet.comments) == done["comments"]
    assert len(sheet.merge_cells) == done["merges"]
    assert len(book.sheets) == 1 + done["copies"]
    assert json.loads(book.to_json()) == book.to_dict()
