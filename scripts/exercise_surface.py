"""Calls every callable of the module once per round, at small scale, the
error paths included: builders, setters, getters, searches, documents,
copies and deletions, Finder and the readable functions.

scripts/valgrind.sh runs it under valgrind; tests/test_leaks.py repeats its
steps to show that memory stays flat. Each step checks a few results so that
a step that silently stops doing its work is noticed.

    python scripts/exercise_surface.py [rounds]
"""

import datetime
import sys

import _brindel
from _brindel import Book, Service, readable


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Report(Service):
    """A subclass with its own attributes, as report scripts write them."""

    def __init__(self, conn_db):
        self.title = "report"


def expect_error(exc, call, *args, **kwargs):
    try:
        call(*args, **kwargs)
    except exc:
        return
    raise AssertionError(f"{call!r}{args} did not raise {exc.__name__}")


def fill(sheet, rows, cols=4):
    for r in range(1, rows + 1):
        for c in range(1, cols + 1):
            sheet.cell(r, c, f"r{r}c{c}")
    sheet.cell(rows + 1, 1, "Total")
    sheet.cell(rows + 1, 2).set_value_number(2.5)
    sheet.cell(rows + 1, 3).set_value_integer(-7)
    sheet.cell(rows + 1, 4).set_value_bool(True)
    sheet.cell(rows + 2, 1).set_value_datetime(datetime.datetime(2024, 1, 5, 10, 30))


def step_module(rows):
    assert _brindel.version() == _brindel.__version__
    assert _brindel.column_number_to_letter(28) == "AB"
    assert _brindel.get_letter_coordinate(3, Index(2)) == "B3"
    assert _brindel.DEFAULT_ROW_HEIGHT > 0 and _brindel.DEFAULT_COLUMN_WIDTH > 0
    expect_error(TypeError, _brindel.column_number_to_letter, "A")
    expect_error(OverflowError, _brindel.column_number_to_letter, 70000)
    expect_error(TypeError, _brindel.get_letter_coordinate, 1, 2, 3)
    expect_error(TypeError, _brindel.get_letter_coordinate, row=1, column=2)
    expect_error(TypeError, _brindel.column_number_to_letter)
    expect_error(OverflowError, _brindel.get_letter_coordinate, -1, 1)


def step_book(rows):
    book = Book()
    s = book.add_sheet("Data")
    fill(s, rows)
    hidden = book.add_sheet("Hidden", sheet_state="hidden")
    copy = book.copy_sheet(s)
    assert [x.name for x in book.sheets] == ["Data", "Hidden", copy.name]
    assert book.get_sheet_index(1).name == "Hidden"
    assert book.get_sheet_index(-1) is None
    assert book.get_sheet_index(99) is None
    assert book.get_sheet_name("Data").max_row == rows + 2
    assert book.get_sheet_name("absent") is None
    doc = book.to_dict()
    assert len(doc["sheets"]) == 3 and len(book.to_json()) > rows
    assert repr(book).startswith("Book")
    other = Book()
    other.copy_sheet(hidden)  # a sheet from another book
    expect_error(TypeError, book.add_sheet)
    expect_error(TypeError, book.add_sheet, 5)
    expect_error(UnicodeEncodeError, book.add_sheet, "\ud800")
    expect_error(TypeError, book.copy_sheet, "Data")
    expect_error(OverflowError, book.get_sheet_index, 2**40)
    expect_error(TypeError, Book, 1)
    expect_error(AttributeError, delattr, book, "sheets")


def step_sheet(rows):
    book = Book()
    s = book.add_sheet("S")
    fill(s, rows)
    s.name = "Renamed"
    s.set_sheet_state("hidden")
    assert (s.name, s.sheet_state) == ("Renamed", "hidden")
    assert s.max_row == rows + 2 and s.max_column == 4
    assert len(s.cells) == rows * 4 + 5
    assert s.get_value_cell(1, 1) == "r1c1" and s.get_value_cell(999, 1) == ""
    s.add_merge_cells(1, 2, 1, 2)
    s.add_comment(1, 1, "note", "me")
    assert s.merge_cells == [(1, 2, 1, 2)]
    assert [c.text for c in s.comments] == ["note"]
    s.set_height_row(1, 20.5)
    s.set_hidden_row(2, True)
    s.set_width_column(1, 12.0)
    s.set_hidden_column(2, True)
    assert s.get_height_by_row(1) == 20.5 and s.get_hidden_by_row(2)
    assert s.get_width_by_column(1) == 12.0 and s.get_hidden_by_column(2)
    assert s.get_height_by_row(500) > 0 and not s.get_hidden_by_column(500)
    assert len(s.get_cells_by_range()) == len(s.cells)
    assert len(s.get_cells_by_range(1, 2, 1, 2)) == 4
    repr(s)
    book.copy_sheet(s)
    s.delete_rows(2, 1)
    assert s.max_row == rows + 1
    s.delete_cols(1, 2)
    s.delete_rows(10**6, 5)
    assert s.max_column == 2
    expect_error(TypeError, s.cell, "1", 1)
    expect_error(OverflowError, s.cell, 2**32, 1)
    expect_error(TypeError, s.set_hidden_row, 1, 1)
    expect_error(TypeError, s.set_height_row, 1, "x")
    expect_error(TypeError, s.add_merge_cells, 1, 2, 3)
    expect_error(TypeError, s.add_comment, 1, 1, "t", None)
    expect_error(OverflowError, s.delete_cols, -1, 1)
    expect_error(TypeError, setattr, s, "name", 5)
    expect_error(AttributeError, delattr, s, "name")
    book.to_json()


def sheet_searches(s, rows):
    """The searches a writable and a read-only sheet share."""
    assert s.find_cell_by_regex("r1c2").column == 2
    assert s.find_cell_by_regex("(") is None
    assert s.find_cell_by_str("Total").row == rows + 1
    assert s.find_cell_by_letter("B2").value == "r2c2"
    expect_error(ValueError, s.find_cell_by_letter, "2B")
    assert len(s.find_cells_by_regex("c1")) == rows
    assert len(s.find_cells_by_str("r1c1")) == 1
    assert s.find_cells_for_rows_by_regex("Total", 3)
    assert s.find_cells_for_cols_by_regex("r1c1", 5)
    s.find_cells_multi_regex("r1c1", "r1c2")
    s.find_cells_between_regex("r1c1", "Total")
    assert len(s.find_cells_range_rows(1, 2)) == 8
    assert len(s.find_cells_range_cols(1, 1)) > rows
    assert s.find_value_by_coords(1, 1) == "r1c1" and s.find_value_by_coords(0, 0) is None
    assert len(s.get_cells_by_range(1, 2)) == 8
    expect_error(TypeError, s.find_cells_by_regex, 5)
    expect_error(UnicodeEncodeError, s.find_cells_by_str, "\ud800")
    expect_error(TypeError, s.find_cells_range_rows, 1, "x")


def step_sheet_searches(rows):
    s = Book().add_sheet("S")
    fill(s, rows)
    sheet_searches(s, rows)


def step_cell(rows):
    s = Book().add_sheet("S")
    c = s.cell(1, 1, "text")
    assert (c.row, c.column, c.letter, c.value, c.data_type) == (1, 1, "A1", "text", "s")
    c.formula = "=A2"
    c.style = "bold"
    c.hidden_value = "h"
    assert (c.formula, c.style, c.hidden_value, c.is_formula) == ("=A2", "bold", "h", True)
    c.value = "v"
    c.set_value_number(1.5)
    assert c.is_value_numeric
    c.set_value_integer(Index(3))
    assert c.is_value_integer
    c.set_value_bool(False)
    assert c.is_value_bool
    c.set_value_datetime(datetime.datetime(2020, 2, 29, 23, 59, 59))
    assert c.is_value_datetime and not c.is_value_empty
    repr(c)
    expect_error(TypeError, setattr, c, "value", 1)
    expect_error(TypeError, c.set_value_number, "1")
    expect_error(OverflowError, c.set_value_integer, 2**31)
    expect_error(TypeError, c.set_value_bool, 1)
    expect_error(TypeError, c.set_value_datetime, "2020-01-01")
    expect_error(AttributeError, delattr, c, "style")


def step_comment(rows):
    s = Book().add_sheet("S")
    s.add_comment(2, 3, "text", "author")
    (k,) = s.comments
    k.author = "someone"
    k.text = "other"
    assert (k.author, k.text, k.coordinate, k.row, k.column) == ("someone", "other", (2, 3), 2, 3)
    repr(k)
    expect_error(TypeError, setattr, k, "author", None)
    expect_error(AttributeError, delattr, k, "text")


def step_service(rows):
    for svc in (Service("conn"), Report({"db": 1})):
        s = svc._add_sheet("S")
        fill(s, rows)
        svc._add_sheet("T", "hidden")
        svc._copy_sheet(s)
        assert len(svc._sheets) == 3
        assert svc._get_sheet_index(0).name == "S" and svc._get_sheet_index(9) is None
        assert svc._get_sheet_name("T").sheet_state == "hidden"
        assert svc._conn_db is not None
        svc.to_json()
        assert len(svc.to_dict()["sheets"]) == 3
        repr(svc)
        expect_error(NotImplementedError, svc.summary_0, [], key=1)
        expect_error(TypeError, svc.summary_0, "not a list")
        expect_error(NotImplementedError, svc._fmt_0, key=1)
        expect_error(TypeError, svc._fmt_0, 1)
        expect_error(TypeError, svc._add_sheet, None)
    expect_error(TypeError, Service)


def cell_dicts(rows):
    return [
        {"row": r, "column": c, "value": f"r{r}c{c}", "formula": None, "data_type": "s", "style_id": None}
        for r in range(1, rows + 1)
        for c in range(1, 5)
    ] + [{"row": rows + 1, "column": 1, "value": "Total", "formula": None, "data_type": "s", "style_id": None}]


def sheet_dicts(rows):
    return [
        {"name": "One", "sheet_state": "visible", "merge_cells": [[1, 1, 1, 2]], "cells": cell_dicts(rows)},
        {"name": "Two", "sheet_state": "hidden", "merge_cells": [], "cells": cell_dicts(2)},
    ]


def step_readable(rows):
    finder = readable.Finder(sheet_dicts(rows))
    assert readable.create_finder(sheet_dicts(2)).sheets[1].name == "Two"
    one = finder.sheets[0]
    assert finder.get_sheet_index(1).name == "Two" and finder.get_sheet_index(5) is None
    assert [x.name for x in finder.get_sheets_without_names(["One"])] == ["Two"]
    assert [x.name for x in finder.get_sheets_with_names(("One", "Two"))] == ["One", "Two"]
    assert finder.find_sheet_by_name("One").name == "One" and finder.find_sheet_by_name("x") is None
    assert finder.find_sheet_by_regex("^T").name == "Two"
    assert (one.name, one.sheet_state, one.max_row, one.max_column) == ("One", "visible", rows + 1, 4)
    assert one.merge_cells == [(1, 1, 1, 2)] and len(one.cells) == rows * 4 + 1
    assert one.get_value_cell(1, 1) == "r1c1"
    sheet_searches(one, rows)
    assert one.find_cell_by_coords(1, 2).value == "r1c2"
    assert one.find_values_by_col_rows(1, [1, 2, 999]) == ["r1c1", "r2c1"]
    assert one.find_values_by_row_cols(1, (1, 2)) == ["r1c1", "r1c2"]
    c = one.cells[0]
    assert (c.row, c.column, c.letter, c.value, c.formula, c.style, c.data_type) == (1, 1, "A1", "r1c1", None, None, "s")
    assert not (c.is_formula or c.is_value_bool or c.is_value_numeric or c.is_value_integer)
    assert not (c.is_value_datetime or c.is_value_empty)
    repr(c), repr(one), repr(finder)

    cells = cell_dicts(rows)
    shared = one.cells  # readable cells are shared, not converted
    assert readable.find_cell_by_coords(1, 1, cells).value == "r1c1"
    assert readable.find_value_by_coords(1, 2, shared) == "r1c2"
    assert readable.find_cell_by_regex("r1c3", cells).column == 3
    assert readable.find_cell_by_str("Total", cells).row == rows + 1
    assert readable.find_cell_by_letter("A1", cells).value == "r1c1"
    assert len(readable.find_cells_by_regex("c1", cells)) == rows
    assert readable.find_cells_by_str("r1c1", shared)
    readable.find_cells_for_rows_by_regex("Total", 3, cells)
    readable.find_cells_for_cols_by_regex("r1c1", 3, cells)
    readable.find_cells_multi_regex("r1c1", "r1c2", cells)
    readable.find_cells_between_regex("r1c1", "Total", cells)
    assert len(readable.find_cells_range_rows(1, 1, cells)) == 4
    assert len(readable.find_cells_range_cols(2, 2, shared)) == rows
    assert readable.find_values_by_col_rows(1, [1], cells) == ["r1c1"]
    assert readable.find_values_by_row_cols(1, [2], cells) == ["r1c2"]
    # A writable book's document is finder input too.
    book = Book()
    fill(book.add_sheet("W"), 2)
    for c in book.sheets[0].cells:
        c.formula, c.style = "=1", "s"
    readable.create_finder(book.to_dict()["sheets"])

    broken = cell_dicts(1)
    del broken[0]["row"]
    expect_error(KeyError, readable.find_cells_by_str, "x", broken)
    expect_error(KeyError, readable.Finder, [{"name": "x"}])
    expect_error(TypeError, readable.Finder, "not a list")
    expect_error(TypeError, readable.find_cells_by_str, "x", "not a list")
    expect_error(TypeError, readable.find_values_by_col_rows, 1, "abc", cells)
    expect_error(ValueError, readable.find_cell_by_letter, "1A", cells)
    expect_error(TypeError, finder.get_sheets_with_names, "One")
    expect_error(TypeError, one.find_values_by_row_cols, 1, [1, "x"])
    expect_error(OverflowError, one.find_cell_by_coords, 1, -1)


STEPS = {
    "module": step_module,
    "book": step_book,
    "sheet": step_sheet,
    "sheet_searches": step_sheet_searches,
    "cell": step_cell,
    "comment": step_comment,
    "service": step_service,
    "readable": step_readable,
}


def exercise(rows=8):
    for step in STEPS.values():
        step(rows)


def main(argv):
    rounds = int(argv[1]) if len(argv) > 1 else 2
    for _ in range(rounds):
        exercise()
    print(f"exercised {len(STEPS)} steps x {rounds} rounds")


if __name__ == "__main__":
    main(sys.argv)
