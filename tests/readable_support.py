"""Helpers shared by the snapshot and search test modules."""

from _brindel import Book, readable

MAX_ROW = 2**32 - 1
MAX_COL = 2**16 - 1


def cell(row=1, column=1, value="x", data_type="s", formula=None, style_id=None, **extra):
    """A cell as snapshot input: every key a snapshot reads, plus extras."""
    d = {
        "row": row,
        "column": column,
        "value": value,
        "formula": formula,
        "data_type": data_type,
        "style_id": style_id,
    }
    d.update(extra)
    return d


def sheet(name="S", cells=(), merge_cells=None, sheet_state="visible", **extra):
    d = {
        "name": name,
        "sheet_state": sheet_state,
        "merge_cells": [] if merge_cells is None else merge_cells,
        "cells": list(cells),
    }
    d.update(extra)
    return d


def convert(cells):
    """Every converted element of a cell list, in list order."""
    return readable.find_cells_range_rows(0, MAX_ROW, cells)


def convert_one(**fields):
    (c,) = convert([cell(**fields)])
    return c


def snapshot(cells=(), **fields):
    """The ReadableSheet of a one-sheet finder."""
    return readable.Finder([sheet(cells=cells, **fields)]).sheets[0]


def pos(c):
    return None if c is None else (c.row, c.column)


def positions(cells):
    return [(c.row, c.column) for c in cells]


class Surfaces:
    """The same cells as a writable Sheet, as a snapshot and as a cell list.

    specs are (row, col, text) with text None for an empty cell. The sheet
    applies the text-to-value rule to each text, and so does the snapshot
    (data type "n"), so all three hold the same values. The sheet's cells
    are created in the order of specs; the list is in row-major order, so
    that the three surfaces search the same sequence.
    """

    def __init__(self, specs):
        self.specs = list(specs)
        self.book = Book()
        self.sheet = self.book.add_sheet("S")
        for r, c, t in self.specs:
            self.sheet.cell(r, c, t)
        ordered = sorted(self.specs, key=lambda s: (s[0], s[1]))
        self.dicts = [cell(r, c, t, data_type="n") for r, c, t in ordered]
        self.readable = snapshot(self.dicts)

    def call(self, surface, name, *args):
        if surface == "function":
            return getattr(readable, name)(*args, self.dicts)
        target = self.sheet if surface == "sheet" else self.readable
        return getattr(target, name)(*args)


def shape(result):
    """Cells as (row, col); texts, None and lists of texts as they are."""
    if isinstance(result, list):
        return [r if isinstance(r, str) else pos(r) for r in result]
    if result is None or isinstance(result, str):
        return result
    return pos(result)


# ---- plain scans: what each search must return, written out in Python ----


def first(seq, test):
    return next(((r, c) for r, c, t in seq if test(r, c, t)), None)


def every(seq, test):
    return [(r, c) for r, c, t in seq if test(r, c, t)]


def paired(seq, before, after):
    open_, out = False, []
    for r, c, t in seq:
        if not open_ and before in t:
            open_ = True
            out.append((r, c))
        elif open_ and after in t:
            open_ = False
            out.append((r, c))
    return out


def between(seq, before, after):
    m = [r for r, _ in paired(seq, before, after)]
    if not m:
        return []
    lo, hi = m[0], (m[1] if len(m) > 1 else MAX_ROW)
    return every(seq, lambda r, c, t: lo <= r <= hi)


def scan(seq, surface, name, *a):
    """The result of a search over seq, a list of (row, col, value text)."""
    if name == "find_cell_by_regex":
        return first(seq, lambda r, c, t: a[0] in t)
    if name == "find_cells_by_regex":
        return every(seq, lambda r, c, t: a[0] in t)
    if name == "find_cell_by_str":
        if surface == "function":
            return first(seq, lambda r, c, t: t.strip() == a[0].strip())
        return first(seq, lambda r, c, t: a[0] in t)
    if name == "find_cells_by_str":
        return every(seq, lambda r, c, t: t.strip() == a[0].strip())
    if name in ("find_cell_by_coords", "find_value_by_coords"):
        hit = next(((r, c, t) for r, c, t in seq if (r, c) == a), None)
        if hit is None:
            return None
        return hit[:2] if name == "find_cell_by_coords" else hit[2]
    if name == "find_cells_for_rows_by_regex":
        return every(seq, lambda r, c, t: c <= a[1] and a[0] in t)
    if name == "find_cells_for_cols_by_regex":
        return every(seq, lambda r, c, t: r <= a[1] and a[0] in t)
    if name == "find_cells_multi_regex":
        return paired(seq, *a)
    if name == "find_cells_between_regex":
        return between(seq, *a)
    if name == "find_cells_range_rows":
        return every(seq, lambda r, c, t: a[0] <= r <= a[1])
    if name == "find_cells_range_cols":
        return every(seq, lambda r, c, t: a[0] <= c <= a[1])
    if name == "find_values_by_col_rows":
        return [t for r, c, t in seq if c == a[0] and r in a[1]]
    if name == "find_values_by_row_cols":
        return [t for r, c, t in seq if r == a[0] and c in a[1]]
    if name == "get_cells_by_range":
        sr, er, sc, ec = a
        return every(seq, lambda r, c, t: sr <= r <= er and sc <= c <= ec)
    raise AssertionError(name)
