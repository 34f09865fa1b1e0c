"""Sheet contents: cells, merged ranges, comments, dimensions, deletion of rows
and columns, and sheets that share their records after a copy."""

import json
import math
import random

import pytest

from _brindel import DEFAULT_COLUMN_WIDTH, DEFAULT_ROW_HEIGHT, Book
from workbook_support import sheet_doc, unchanged

MAX_ROW = 2**32 - 1
MAX_COL = 2**16 - 1


@pytest.fixture
def book():
    return Book()


@pytest.fixture
def sheet(book):
    return book.add_sheet("Data")


def positions(sheet):
    return [(c.row, c.column) for c in sheet.cells]


def contents(sheet):
    """Position and value text of every cell, in listing order."""
    return [(c.row, c.column, c.value) for c in sheet.cells]


def assert_consistent(book):
    """Every cell is listed once, under a position that finds that very cell."""
    for index, s in enumerate(book.sheets):
        listed = sheet_doc(book, index)["cells"]
        keys = [(c["row"], c["column"]) for c in listed]
        assert keys == sorted(set(keys)), "cells listed twice or out of order"
        assert keys == positions(s)
        # Looked up by its key, each position gives the value of the cell
        # listed there (the tests give every cell its own value).
        for c in s.cells:
            assert s.get_value_cell(c.row, c.column) == c.value


# ---- cells ----


def test_cell_gets_or_creates_one_record(sheet):
    a = sheet.cell(2, 3)
    assert (a.row, a.column, a.letter, a.value, a.data_type) == (2, 3, "C2", "", "s")
    assert a.is_value_empty
    b = sheet.cell(2, 3)
    assert a is not b
    assert len(sheet.cells) == 1
    b.value = "x"
    assert a.value == "x"
    assert sheet.cell(2, 3, None).value == "x"


def test_cell_without_value_resets_the_code_only(sheet):
    c = sheet.cell(2, 3, "12")
    assert (c.value, c.data_type) == ("12", "n")
    sheet.cell(2, 3)
    assert (c.value, c.data_type, c.is_value_integer) == ("12", "s", True)
    c.formula = "=1"
    sheet.cell(2, 3)
    assert (c.data_type, c.is_formula, c.formula) == ("f", True, "=1")
    sheet.cell(2, 3, "abc")
    assert (c.value, c.data_type, c.formula) == ("abc", "s", None)


def test_cell_value_by_keyword(sheet):
    c = sheet.cell(row=1, col=2, value="x")
    assert (c.row, c.column, c.value) == (1, 2, "x")
    assert sheet.cell(1, 2, value=None).value == "x"


def test_value_lookup_never_creates(sheet):
    sheet.cell(1, 1, "a")
    assert sheet.get_value_cell(9, 9) == ""
    assert len(sheet.cells) == 1
    sheet.cell(9, 9)
    assert len(sheet.cells) == 2
    assert sheet.get_value_cell(1, 1) == "a"


def test_row_zero_and_column_zero_are_ordinary(sheet):
    assert (sheet.max_row, sheet.max_column) == (0, 0)
    c = sheet.cell(0, 0, "z")
    assert (c.row, c.column, c.letter) == (0, 0, "0")
    assert (sheet.max_row, sheet.max_column) == (0, 0)
    assert sheet.get_value_cell(0, 0) == "z"


def test_max_row_and_column(sheet):
    sheet.cell(7, 2)
    sheet.cell(3, 9)
    assert (sheet.max_row, sheet.max_column) == (7, 9)
    sheet.cell(MAX_ROW, MAX_COL)
    assert (sheet.max_row, sheet.max_column) == (MAX_ROW, MAX_COL)
    assert sheet.cell(MAX_ROW, MAX_COL).letter == "CRXO4294967295"


def test_cells_are_listed_row_major(sheet):
    sheet.cell(5, 1)
    sheet.cell(1, 2)
    sheet.cell(1, 1)
    assert positions(sheet) == [(1, 1), (1, 2), (5, 1)]
    rng = random.Random(7)
    wanted = {(rng.randrange(MAX_ROW + 1), rng.randrange(MAX_COL + 1)) for _ in range(3000)}
    wanted |= {(r, c) for r in (0, 1, 65536, MAX_ROW) for c in (0, 1, 256, MAX_COL)}
    for r, c in wanted:
        sheet.cell(r, c, f"{r}:{c}")
    assert positions(sheet) == sorted(wanted | {(5, 1), (1, 2), (1, 1)})
    for cell in sheet.cells:
        if (cell.row, cell.column) in wanted:
            assert cell.value == f"{cell.row}:{cell.column}"


def test_cells_list_is_fresh(sheet):
    sheet.cell(1, 1)
    first = sheet.cells
    first.clear()
    assert len(sheet.cells) == 1


def test_sheet_repr_name_and_state(book, sheet):
    assert repr(sheet) == "Sheet (Data) cells: 0"
    sheet.cell(1, 1)
    sheet.cell(2, 2)
    assert repr(sheet) == "Sheet (Data) cells: 2"
    assert sheet.sheet_state == "visible"
    for state in ("hidden", "", "veryHidden", "anything at all"):
        sheet.set_sheet_state(state)
        assert sheet.sheet_state == state
    other = book.add_sheet("Other")
    other.name = "Data"
    assert [s.name for s in book.sheets] == ["Data", "Data"]
    sheet.name = ""
    assert repr(sheet) == "Sheet () cells: 2"
    assert book.sheets[0].name == ""


# ---- merged ranges ----


def test_merged_ranges_are_kept_as_given(sheet):
    assert sheet.merge_cells == []
    sheet.add_merge_cells(1, 2, 1, 3)
    sheet.add_merge_cells(5, 2, 4, 1)
    sheet.add_merge_cells(5, 2, 4, 1)
    sheet.add_merge_cells(start_row=0, end_row=MAX_ROW, start_col=0, end_col=MAX_COL)
    expected = [(1, 2, 1, 3), (5, 2, 4, 1), (5, 2, 4, 1), (0, MAX_ROW, 0, MAX_COL)]
    assert sheet.merge_cells == expected
    assert all(type(m) is tuple for m in sheet.merge_cells)
    assert sheet_doc(sheet_book(sheet))["merge_cells"] == [list(m) for m in expected]
    assert sheet.cells == []  # merging creates no cells


def sheet_book(sheet):
    book = Book()
    book.copy_sheet(sheet)
    return book


# ---- comments ----


def test_comments(sheet):
    sheet.add_comment(4, 2, "first", "ann")
    sheet.add_comment(4, 2, "second", "bob")
    sheet.add_comment(row=0, col=MAX_COL, text="", author="")
    got = [(c.coordinate, c.row, c.column, c.text, c.author) for c in sheet.comments]
    assert got == [
        ((4, 2), 4, 2, "first", "ann"),
        ((4, 2), 4, 2, "second", "bob"),
        ((0, MAX_COL), 0, MAX_COL, "", ""),
    ]
    assert sheet.cells == []
    c = sheet.comments[0]
    c.text = "changed"
    c.author = "carl"
    again = sheet.comments[0]
    assert again is not c
    assert (again.text, again.author) == ("changed", "carl")


# ---- dimensions ----


def test_dimension_defaults(sheet):
    for n in (0, 1, 1000, MAX_ROW):
        assert sheet.get_height_by_row(n) == DEFAULT_ROW_HEIGHT == 20.0
        assert sheet.get_hidden_by_row(n) is False
    for n in (0, 1, MAX_COL):
        assert sheet.get_width_by_column(n) == DEFAULT_COLUMN_WIDTH == 22.5
        assert sheet.get_hidden_by_column(n) is False
    d = sheet_doc(sheet_book(sheet))
    assert d["row_dimensions"] == {"default_height": 20.0}
    assert d["column_dimensions"] == {"default_width": 22.5}


def test_dimension_setters(sheet):
    sheet.set_height_row(3, 35.5)
    assert (sheet.get_height_by_row(3), sheet.get_height_by_row(4)) == (35.5, 20.0)
    sheet.set_hidden_column(2, True)
    assert (sheet.get_width_by_column(2), sheet.get_hidden_by_column(2)) == (22.5, True)
    sheet.set_hidden_row(5, False)
    sheet.set_height_row(0, 1.0)
    sheet.set_width_column(7, -1.0)
    sheet.set_hidden_row(3, True)
    assert (sheet.get_height_by_row(3), sheet.get_hidden_by_row(3)) == (35.5, True)
    sheet.set_height_row(3, 20.0)  # back to the default: the record stays
    rows = sheet_doc(sheet_book(sheet))["row_dimensions"]["rows"]
    assert rows == {
        "0": {"row_num": 0, "height": 1.0, "hidden": False, "collapsed": False, "level": 0},
        "3": {"row_num": 3, "height": 20.0, "hidden": True, "collapsed": False, "level": 0},
        "5": {"row_num": 5, "height": 20.0, "hidden": False, "collapsed": False, "level": 0},
    }
    cols = sheet_doc(sheet_book(sheet))["column_dimensions"]["columns"]
    assert cols == {
        "2": {"col_num": 2, "width": 22.5, "hidden": True, "collapsed": False, "level": 0},
        "7": {"col_num": 7, "width": -1.0, "hidden": False, "collapsed": False, "level": 0},
    }


@pytest.mark.parametrize("value", [math.nan, math.inf, -math.inf])
def test_non_finite_dimensions_are_kept_and_written_as_null(book, sheet, value):
    sheet.set_height_row(1, value)
    sheet.set_width_column(1, value)
    h, w = sheet.get_height_by_row(1), sheet.get_width_by_column(1)
    assert (math.isnan(h) and math.isnan(w)) if math.isnan(value) else (h == w == value)
    text = book.to_json()
    assert '"1":{"row_num":1,"height":null,' in text
    assert '"1":{"col_num":1,"width":null,' in text
    d = json.loads(text)["sheets"][0]
    assert d["row_dimensions"]["rows"]["1"]["height"] is None
    assert d["column_dimensions"]["columns"]["1"]["width"] is None


def test_dimension_members_are_written_in_ascending_order(book, sheet):
    rng = random.Random(3)
    rows = rng.sample(range(0, 5000), 300) + [9, 10, 100, MAX_ROW, 2**31]
    cols = rng.sample(range(0, 3000), 200) + [9, 10, 100, MAX_COL]
    rng.shuffle(rows)
    rng.shuffle(cols)
    for r in rows:
        sheet.set_height_row(r, r / 2)
    for c in cols:
        sheet.set_hidden_column(c, c % 2 == 0)
    d = json.loads(book.to_json())["sheets"][0]
    row_keys = list(d["row_dimensions"]["rows"])
    col_keys = list(d["column_dimensions"]["columns"])
    assert row_keys == [str(r) for r in sorted(set(rows))]
    assert col_keys == [str(c) for c in sorted(set(cols))]
    assert all(v["row_num"] == int(k) for k, v in d["row_dimensions"]["rows"].items())
    assert all(v["col_num"] == int(k) for k, v in d["column_dimensions"]["columns"].items())
    # The same book gives the same text every time.
    assert book.to_json() == book.to_json()


# ---- deletion ----

ROWS_1_TO_6 = [1, 2, 3, 4, 5, 6]

# cells present (by row), delete_rows arguments, where each surviving row ends up
ROW_DELETIONS = [
    (ROWS_1_TO_6, (2, 3), {1: 1, 5: 2, 6: 3}),
    (ROWS_1_TO_6, (5, 0), {r: r for r in ROWS_1_TO_6}),
    (ROWS_1_TO_6, (0, 0), {r: r for r in ROWS_1_TO_6}),
    (ROWS_1_TO_6, (100, 10), {r: r for r in ROWS_1_TO_6}),
    (ROWS_1_TO_6, (7, 1), {r: r for r in ROWS_1_TO_6}),
    (ROWS_1_TO_6, (6, 5), {1: 1, 2: 2, 3: 3, 4: 4, 5: 5}),
    (ROWS_1_TO_6, (1, 6), {}),
    (ROWS_1_TO_6, (4, 1), {1: 1, 2: 2, 3: 3, 5: 4, 6: 5}),
    ([0, 1, 2], (0, 1), {1: 0, 2: 1}),
    ([1, 3, 4, 10], (2, 2), {1: 1, 4: 2, 10: 8}),
    ([1, 2, 9], (3, 3), {1: 1, 2: 2, 9: 6}),
    # spans that reach past the largest row run to the end of the range
    (ROWS_1_TO_6 + [MAX_ROW], (5, MAX_ROW), {1: 1, 2: 2, 3: 3, 4: 4}),
    (ROWS_1_TO_6 + [MAX_ROW], (3, 2**32 - 2), {1: 1, 2: 2}),
    ([0, 5, MAX_ROW], (0, MAX_ROW), {MAX_ROW: 0}),
    ([0, 5, MAX_ROW - 1, MAX_ROW], (MAX_ROW, 1), {0: 0, 5: 5, MAX_ROW - 1: MAX_ROW - 1}),
    ([0, 5, MAX_ROW], (MAX_ROW, MAX_ROW), {0: 0, 5: 5}),
    ([0, 5, MAX_ROW], (1, MAX_ROW - 1), {0: 0, MAX_ROW: 1}),
]


@pytest.mark.parametrize("rows, span, moves", ROW_DELETIONS)
def test_delete_rows(book, sheet, rows, span, moves):
    for r in rows:
        sheet.cell(r, 1, f"r{r}")
        sheet.cell(r, 4, f"s{r}")
    views = {r: sheet.cell(r, 4) for r in rows}
    sheet.delete_rows(*span)
    expected = sorted(
        [(new, 1, f"r{old}") for old, new in moves.items()]
        + [(new, 4, f"s{old}") for old, new in moves.items()]
    )
    assert contents(sheet) == expected
    for old, view in views.items():
        if old in moves:
            assert (view.row, view.column) == (moves[old], 4)  # the view follows its cell
        else:
            assert (view.row, view.column) == (old, 4)  # removed: keeps its position
    assert sheet.max_row == max(moves.values(), default=0)
    assert_consistent(book)


COLUMN_DELETIONS = [
    (ROWS_1_TO_6, (2, 3), {1: 1, 5: 2, 6: 3}),
    (ROWS_1_TO_6, (2, 0), {c: c for c in ROWS_1_TO_6}),
    (ROWS_1_TO_6, (100, 10), {c: c for c in ROWS_1_TO_6}),
    ([0, 1, 2], (0, 1), {1: 0, 2: 1}),
    ([1, 3, 4, 10], (2, 2), {1: 1, 4: 2, 10: 8}),
    (ROWS_1_TO_6 + [MAX_COL], (5, MAX_COL), {1: 1, 2: 2, 3: 3, 4: 4}),
    ([0, 5, MAX_COL], (0, MAX_COL), {MAX_COL: 0}),
    ([0, 5, MAX_COL], (MAX_COL, MAX_COL), {0: 0, 5: 5}),
    ([0, 5, MAX_COL], (1, MAX_COL - 1), {0: 0, MAX_COL: 1}),
]


@pytest.mark.parametrize("cols, span, moves", COLUMN_DELETIONS)
def test_delete_cols(book, sheet, cols, span, moves):
    for c in cols:
        sheet.cell(1, c, f"a{c}")
        sheet.cell(7, c, f"b{c}")
    sheet.delete_cols(*span)
    expected = sorted(
        [(1, new, f"a{old}") for old, new in moves.items()]
        + [(7, new, f"b{old}") for old, new in moves.items()]
    )
    assert contents(sheet) == expected
    assert sheet.max_column == max(moves.values(), default=0)
    assert_consistent(book)


def test_deleted_columns_move_letters(sheet):
    for c in range(1, 7):
        sheet.cell(1, c, str(c))
    sheet.delete_cols(2, 3)
    assert [(c.letter, c.value) for c in sheet.cells] == [("A1", "1"), ("B1", "5"), ("C1", "6")]


def test_views_after_delete_rows(sheet):
    for r in range(1, 7):
        sheet.cell(r, 1, str(r * 10))
    moved = sheet.cell(6, 1)
    removed = sheet.cell(3, 1)
    sheet.delete_rows(2, 3)
    assert (moved.row, moved.letter, moved.value) == (3, "A3", "60")
    assert (removed.row, removed.value) == (3, "30")
    assert sheet.get_value_cell(2, 1) == "50"
    assert sheet.max_row == 3
    now = sheet.cell(3, 1)
    assert now.value == "60"
    now.value = "61"
    assert moved.value == "61"
    # The removed cell is no longer part of the sheet.
    removed.value = "gone"
    assert sheet.get_value_cell(3, 1) == "61"
    assert "gone" not in [c.value for c in sheet.cells]


def test_deletion_leaves_merges_comments_and_dimensions(book, sheet):
    for r in range(1, 8):
        sheet.cell(r, 2, str(r))
    sheet.add_merge_cells(4, 6, 1, 2)
    sheet.add_comment(5, 2, "c", "a")
    sheet.set_height_row(5, 33.0)
    sheet.set_height_row(10, 44.0)
    sheet.set_width_column(2, 11.0)
    before = sheet_doc(book)
    sheet.delete_rows(2, 1)
    sheet.delete_cols(1, 1)
    after = sheet_doc(book)
    for key in ("merge_cells", "row_dimensions", "column_dimensions", "comments"):
        assert after[key] == before[key]
    assert sheet.get_height_by_row(10) == 44.0
    # row 2 went, the rows below it and the one column moved back by one
    assert contents(sheet) == [(1, 1, "1")] + [(r, 1, str(r + 1)) for r in range(2, 7)]


def test_cell_after_deletion_creates_a_new_record(sheet):
    old = sheet.cell(3, 1, "x")
    sheet.delete_rows(3, 1)
    new = sheet.cell(3, 1)
    assert new.value == ""
    new.value = "y"
    assert old.value == "x"


def test_deleting_in_a_large_sheet(book, sheet):
    for r in range(1, 2001):
        for c in (1, 2, 3):
            sheet.cell(r, c, str(r * 10 + c))
    sheet.delete_rows(10, 990)
    sheet.delete_cols(2, 1)
    cells = contents(sheet)
    assert len(cells) == 1010 * 2
    assert cells[:4] == [(1, 1, "11"), (1, 2, "13"), (2, 1, "21"), (2, 2, "23")]
    assert (10, 1, "10001") in cells and (1010, 2, "20003") in cells
    assert_consistent(book)


# ---- copies and shared records ----


def test_copy_is_named_by_position(book, sheet):
    assert book.copy_sheet(sheet).name == "Sheet 2"
    book.add_sheet("Sheet 3")
    assert book.copy_sheet(sheet).name == "Sheet 4"
    assert book.copy_sheet(book.sheets[3]).name == "Sheet 5"
    other = Book()
    assert other.copy_sheet(sheet).name == "Sheet 1"
    other.add_sheet("Sheet 3")
    assert other.copy_sheet(sheet).name == "Sheet 3"  # the name may repeat
    assert [s.name for s in other.sheets] == ["Sheet 1", "Sheet 3", "Sheet 3"]
    assert [s.name for s in book.sheets] == ["Data", "Sheet 2", "Sheet 3", "Sheet 4", "Sheet 5"]


def test_copy_shares_cells_and_comments_but_not_structure(book, sheet):
    sheet.set_sheet_state("hidden")
    sheet.cell(1, 1, "5").style = "st"
    sheet.add_merge_cells(1, 1, 1, 2)
    sheet.add_comment(1, 1, "note", "ann")
    sheet.set_height_row(1, 30.0)
    sheet.set_width_column(1, 9.0)
    copy = book.copy_sheet(sheet)
    d = sheet_doc(book, 1)
    source = sheet_doc(book, 0)
    assert d == dict(source, name="Sheet 2")
    assert copy.sheet_state == "hidden"

    # A change to a shared cell or comment record shows in both sheets.
    copy.cell(1, 1).set_value_integer(7)
    assert sheet.get_value_cell(1, 1) == "7"
    sheet.cell(1, 1, "x")
    assert copy.get_value_cell(1, 1) == "x"
    copy.comments[0].text = "edited"
    assert sheet.comments[0].text == "edited"

    # Everything else is the sheet's own.
    copy.cell(2, 2, "only in copy")
    copy.add_comment(2, 2, "c", "a")
    copy.add_merge_cells(5, 5, 5, 5)
    copy.set_height_row(1, 1.0)
    copy.set_hidden_column(3, True)
    copy.set_sheet_state("visible")
    copy.name = "Renamed"
    assert positions(sheet) == [(1, 1)]
    assert len(sheet.comments) == 1
    assert sheet.merge_cells == [(1, 1, 1, 2)]
    assert (sheet.get_height_by_row(1), sheet.get_hidden_by_column(3)) == (30.0, False)
    assert (sheet.name, sheet.sheet_state) == ("Data", "hidden")


def test_copy_from_another_book_and_from_a_service():
    from _brindel import Service

    svc = Service(None)
    s = svc._add_sheet("S")
    s.cell(1, 1, "1")
    book = Book()
    copy = book.copy_sheet(s)
    copy.cell(1, 1).value = "2"
    assert s.get_value_cell(1, 1) == "2"
    assert svc._copy_sheet(copy).name == "Sheet 2"


def _shared_pair(book):
    src = book.add_sheet("Src")
    for r in range(1, 9):
        for c in range(1, 5):
            src.cell(r, c, f"{r}.{c}")
    src.cell(6, 2).formula = "=A1"
    src.cell(7, 3).style = "st"
    src.cell(8, 4).hidden_value = "hv"
    src.cell(5, 1).set_value_bool(True)
    copy = book.copy_sheet(src)
    return src, copy


DELETIONS_IN_SHARED = [
    ("src", "rows", (2, 3)),
    ("copy", "rows", (2, 3)),
    ("src", "cols", (1, 2)),
    ("copy", "cols", (2, 1)),
    ("src", "rows", (5, MAX_ROW)),
    ("copy", "rows", (0, 1)),
    ("src", "cols", (0, 1)),
]


@pytest.mark.parametrize("which, kind, span", DELETIONS_IN_SHARED)
def test_deleting_in_one_of_two_sharing_sheets(which, kind, span):
    book = Book()
    src, copy = _shared_pair(book)
    deleting, other = (src, copy) if which == "src" else (copy, src)
    other_index = 1 if which == "src" else 0
    other_before = sheet_doc(book, other_index)
    other_contents = contents(other)
    deleting_before = {(c.row, c.column): c.value for c in deleting.cells}
    # a view of a record that moves (taken from the listing: cell() would
    # reset its code, in both sheets)
    early_view = next(v for v in deleting.cells if (v.row, v.column) == (8, 4))
    other_views = [(v, v.row, v.column, v.value, v.formula, v.style) for v in other.cells]

    if kind == "rows":
        deleting.delete_rows(*span)
    else:
        deleting.delete_cols(*span)

    # The other sheet reads exactly as before.
    assert sheet_doc(book, other_index) == other_before
    assert contents(other) == other_contents
    for v, *fields in other_views:
        assert [v.row, v.column, v.value, v.formula, v.style] == fields
    # Both documents list every cell once, under keys that find it.
    assert_consistent(book)

    # The deleting sheet moved its own copies, with every field kept.
    idx, amount = span
    expect = {}
    for (r, c), v in deleting_before.items():
        p = r if kind == "rows" else c
        if idx <= p < idx + amount:
            continue
        if p > idx:
            p -= amount
        expect[(p, c) if kind == "rows" else (r, p)] = v
    assert {(c.row, c.column): c.value for c in deleting.cells} == expect
    moved_doc = {(c["row"], c["column"]): c for c in sheet_doc(book, 1 - other_index)["cells"]}
    other_doc = {(c["row"], c["column"]): c for c in other_before["cells"]}
    for (r, c), cell_doc in moved_doc.items():
        origin = {k: v for k, v in cell_doc.items() if k not in ("row", "column")}
        matches = [
            {k: v for k, v in d.items() if k not in ("row", "column")} for d in other_doc.values()
        ]
        assert origin in matches

    # The original record stays with the other sheet at its old position.
    if (8, 4) in {(c.row, c.column) for c in other.cells}:
        assert (early_view.row, early_view.column) == (8, 4)

    # Later writes in the other sheet land on its own cells, once each.
    for r, c, _ in other_contents:
        other.cell(r, c, f"new {r}.{c}")
    assert len(other.cells) == len(other_contents)
    assert contents(other) == [(r, c, f"new {r}.{c}") for r, c, _ in other_contents]
    assert_consistent(book)


def test_unmoved_cells_stay_shared_after_a_deletion():
    book = Book()
    src, copy = _shared_pair(book)
    src.delete_rows(4, 2)
    # Rows above the span did not move, so both sheets still hold them.
    copy.cell(1, 1, "both")
    assert src.get_value_cell(1, 1) == "both"
    # Moved cells are the deleting sheet's own now.
    src.cell(4, 1, "mine")  # was row 6
    assert copy.get_value_cell(6, 1) == "6.1"
    assert copy.get_value_cell(4, 1) == "4.1"
    copy.cell(6, 1, "theirs")
    assert src.get_value_cell(4, 1) == "mine"


def test_deleting_in_a_chain_of_copies():
    book = Book()
    a = book.add_sheet("A")
    for r in range(1, 6):
        a.cell(r, 1, str(r))
    b = book.copy_sheet(a)
    c = book.copy_sheet(b)
    docs = [sheet_doc(book, i) for i in range(3)]
    b.delete_rows(1, 2)
    assert sheet_doc(book, 0) == docs[0]
    assert sheet_doc(book, 2) == docs[2]
    assert contents(b) == [(1, 1, "3"), (2, 1, "4"), (3, 1, "5")]
    c.delete_rows(4, 1)
    assert contents(c) == [(1, 1, "1"), (2, 1, "2"), (3, 1, "3"), (4, 1, "5")]
    assert sheet_doc(book, 0) == docs[0]
    assert_consistent(book)


def test_a_copy_that_is_gone_no_longer_shares():
    book = Book()
    src = book.add_sheet("S")
    for r in range(1, 5):
        src.cell(r, 1, str(r))
    other = Book()
    other.copy_sheet(src)
    view = src.cell(4, 1)
    del other
    src.delete_rows(1, 2)
    # With no second table holding it, the record itself moves.
    assert (view.row, view.value) == (2, "4")
    assert contents(src) == [(1, 1, "3"), (2, 1, "4")]


def test_failed_deletion_arguments_change_nothing(book, sheet):
    for r in range(1, 4):
        sheet.cell(r, r, str(r))
    for call in (
        lambda: sheet.delete_rows(-1, 1),
        lambda: sheet.delete_rows(1, 2**32),
        lambda: sheet.delete_cols(1, 65536),
        lambda: sheet.delete_cols(1.0, 1),
        lambda: sheet.delete_rows(1),
    ):
        with unchanged(book), pytest.raises((TypeError, OverflowError)):
            call()
