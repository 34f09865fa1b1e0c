"""Every search on each of its surfaces: the functions of readable over a
list of cells, the methods of ReadableSheet and those of Sheet; where the
surfaces differ; arguments and their errors."""

import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from _brindel import Book, Cell, Sheet, readable
from readable_support import (
    MAX_COL,
    MAX_ROW,
    Surfaces,
    cell,
    pos,
    positions,
    scan,
    shape,
    snapshot,
)

ReadableCell, ReadableSheet = readable.ReadableCell, readable.ReadableSheet

ALL = ("function", "readable", "sheet")
SHEETS = ("readable", "sheet")
NOT_SHEET = ("function", "readable")

SURFACES_OF = {
    "find_cell_by_coords": NOT_SHEET,
    "find_values_by_col_rows": NOT_SHEET,
    "find_values_by_row_cols": NOT_SHEET,
    "get_value_cell": SHEETS,
    "get_cells_by_range": SHEETS,
}

MIXED = [
    (1, 1, "1.5"),
    (1, 2, "x1.5y"),
    (1, 3, "105"),
    (2, 1, "axb"),
    (2, 2, "xa.by"),
    (2, 3, "^Total$ here"),
    (3, 1, "Total"),
    (3, 2, "TRUE"),
    (3, 3, "2.0"),
    (4, 1, None),
    (4, 2, "   "),
    (4, 3, "7"),
    (5, 1, "x"),
    (5, 2, " x"),
    (5, 3, "x\n"),
    (6, 1, "X"),
    (6, 2, "x y"),
    (6, 3, "2024-03-07 09:05:00"),
]
PAIRS = [(1, 1, "start"), (2, 1, "a"), (2, 2, "other"), (3, 1, "end"), (4, 1, "b"), (5, 1, "start"), (6, 1, "c")]
OPEN = [s for s in PAIRS if s[2] != "end"]
BOTH = [(1, 1, "start end"), (2, 1, "x"), (3, 1, "start end"), (4, 1, "end")]
TOTALS = [(1, 1, "x"), (5, 1, "Total"), (5, 3, "Total"), (9, 2, "Total")]
TOP = [(1, 3, "x"), (1, 1, "xx"), (1, 2, "y"), (2, 1, "x")]
BAND = [(r, c, f"v{r}{c}") for r in range(1, 6) for c in (1, 2)]
VALUES = [(1, 2, "2.0"), (2, 2, "true"), (3, 1, "31"), (3, 2, "30"), (4, 2, None), (5, 2, "50")]
EDGE = [(0, 1, "r0"), (1, 0, "c0"), (1, 1, "a"), (2, 5, "b"), (1048576, 16384, "c"), (1048577, 1, "d"), (1, 16385, "e")]

CASES = [
    # lookups by pattern: a literal substring of the value text
    ("find_cell_by_regex", ("",), MIXED, (1, 1)),
    ("find_cell_by_regex", ("1.5",), MIXED, (1, 1)),
    ("find_cell_by_regex", ("a.b",), MIXED, (2, 2)),
    ("find_cell_by_regex", ("^Total$",), MIXED, (2, 3)),
    ("find_cell_by_regex", ("true",), MIXED, (3, 2)),
    ("find_cell_by_regex", ("True",), MIXED, None),
    ("find_cell_by_regex", ("(",), MIXED, None),
    ("find_cell_by_regex", ("x" * 100_000,), MIXED, None),
    ("find_cells_by_regex", ("1.5",), MIXED, [(1, 1), (1, 2)]),
    ("find_cells_by_regex", ("2",), MIXED, [(3, 3), (6, 3)]),
    ("find_cells_by_regex", ("",), BAND, [(r, c) for r, c, _ in BAND]),
    ("find_cells_by_regex", ("nothing",), MIXED, []),
    ("find_cell_by_str", ("xa.by",), MIXED, (2, 2)),
    ("find_cell_by_str", ("nothing",), MIXED, None),
    # lookups by value: trimmed equality
    ("find_cells_by_str", ("x",), MIXED, [(5, 1), (5, 2), (5, 3)]),
    ("find_cells_by_str", (" x\t",), MIXED, [(5, 1), (5, 2), (5, 3)]),
    ("find_cells_by_str", ("  ",), MIXED, [(4, 1), (4, 2)]),
    ("find_cells_by_str", ("true",), MIXED, [(3, 2)]),
    ("find_cells_by_str", ("True",), MIXED, []),
    ("find_cells_by_str", ("2",), MIXED, [(3, 3)]),
    ("find_cells_by_str", ("2.0",), MIXED, []),
    ("find_cells_by_str", ("7",), MIXED, [(4, 3)]),
    ("find_cells_by_str", ("2024-03-07 09:05:00",), MIXED, [(6, 3)]),
    # by position
    ("find_cell_by_coords", (3, 2), MIXED, (3, 2)),
    ("find_cell_by_coords", (9, 9), MIXED, None),
    ("find_cell_by_letter", ("c3",), MIXED, (3, 3)),
    ("find_cell_by_letter", ("$a$1",), MIXED, (1, 1)),
    ("find_cell_by_letter", ("B$2",), MIXED, (2, 2)),
    ("find_cell_by_letter", ("C6xyz",), MIXED, (6, 3)),
    ("find_cell_by_letter", ("A0",), MIXED, None),
    ("find_cell_by_letter", ("A0",), EDGE, (0, 1)),
    ("find_value_by_coords", (3, 3), MIXED, "2"),
    ("find_value_by_coords", (3, 2), MIXED, "true"),
    ("find_value_by_coords", (4, 1), MIXED, ""),
    ("find_value_by_coords", (9, 9), MIXED, None),
    ("get_value_cell", (1, 1), MIXED, "1.5"),
    ("get_value_cell", (4, 1), MIXED, ""),
    ("get_value_cell", (9, 9), MIXED, ""),
    # bounded pattern searches
    ("find_cells_for_rows_by_regex", ("Total", 2), TOTALS, [(5, 1), (9, 2)]),
    ("find_cells_for_rows_by_regex", ("Total", 3), TOTALS, [(5, 1), (5, 3), (9, 2)]),
    ("find_cells_for_rows_by_regex", ("Total", 0), TOTALS, []),
    ("find_cells_for_rows_by_regex", ("", 0), EDGE, [(1, 0)]),
    ("find_cells_for_rows_by_regex", ("Total", MAX_COL), TOTALS, [(5, 1), (5, 3), (9, 2)]),
    ("find_cells_for_cols_by_regex", ("x", 1), TOP, [(1, 1), (1, 3)]),
    ("find_cells_for_cols_by_regex", ("x", 0), TOP, []),
    ("find_cells_for_cols_by_regex", ("", 0), EDGE, [(0, 1)]),
    ("find_cells_for_cols_by_regex", ("x", MAX_ROW), TOP, [(1, 1), (1, 3), (2, 1)]),
    # paired searches
    ("find_cells_multi_regex", ("start", "end"), PAIRS, [(1, 1), (3, 1), (5, 1)]),
    ("find_cells_between_regex", ("start", "end"), PAIRS, [(1, 1), (2, 1), (2, 2), (3, 1)]),
    ("find_cells_multi_regex", ("start", "end"), OPEN, [(1, 1)]),
    ("find_cells_between_regex", ("start", "end"), OPEN, [(r, c) for r, c, _ in OPEN]),
    ("find_cells_multi_regex", ("zzz", "end"), PAIRS, []),
    ("find_cells_between_regex", ("zzz", "end"), PAIRS, []),
    ("find_cells_multi_regex", ("start", "end"), BOTH, [(1, 1), (3, 1)]),
    ("find_cells_between_regex", ("start", "end"), BOTH, [(1, 1), (2, 1), (3, 1)]),
    ("find_cells_multi_regex", ("", ""), BAND, [(r, c) for r, c, _ in BAND]),
    ("find_cells_between_regex", ("", ""), BAND, [(1, 1), (1, 2)]),
    ("find_cells_between_regex", ("v32", "v31"), BAND, [(3, 1), (3, 2), (4, 1), (4, 2), (5, 1), (5, 2)]),
    ("find_cells_between_regex", ("v31", "v32"), BAND, [(3, 1), (3, 2)]),
    # bands, value lists and rectangles
    ("find_cells_range_rows", (2, 3), BAND, [(2, 1), (2, 2), (3, 1), (3, 2)]),
    ("find_cells_range_rows", (3, 2), BAND, []),
    ("find_cells_range_rows", (4, 4), BAND, [(4, 1), (4, 2)]),
    ("find_cells_range_cols", (1, 1), BAND, [(r, 1) for r in range(1, 6)]),
    ("find_cells_range_cols", (2, 1), BAND, []),
    ("find_values_by_col_rows", (2, [5, 3, 3, 9]), VALUES, ["30", "50"]),
    ("find_values_by_col_rows", (2, (4, 2, 1)), VALUES, ["2", "true", ""]),
    ("find_values_by_col_rows", (2, []), VALUES, []),
    ("find_values_by_row_cols", (3, [2, 1]), VALUES, ["31", "30"]),
    ("find_values_by_row_cols", (1, []), VALUES, []),
    ("get_cells_by_range", (), EDGE, [(1, 1), (2, 5), (1048576, 16384)]),
    ("get_cells_by_range", (None, None, None, None), EDGE, [(1, 1), (2, 5), (1048576, 16384)]),
    ("get_cells_by_range", (2,), EDGE, [(2, 5), (1048576, 16384)]),
    ("get_cells_by_range", (None, None, 3, 2), EDGE, []),
    ("get_cells_by_range", (0, MAX_ROW, 0, MAX_COL), EDGE, sorted((r, c) for r, c, _ in EDGE)),
]

EMPTY_RESULTS = {
    "find_cell_by_regex": (("",), None),
    "find_cell_by_str": (("",), None),
    "find_cell_by_coords": ((1, 1), None),
    "find_cell_by_letter": (("A1",), None),
    "find_value_by_coords": ((1, 1), None),
    "get_value_cell": ((1, 1), ""),
    "find_cells_by_regex": (("",), []),
    "find_cells_by_str": (("",), []),
    "find_cells_for_rows_by_regex": (("", MAX_COL), []),
    "find_cells_for_cols_by_regex": (("", MAX_ROW), []),
    "find_cells_multi_regex": (("", ""), []),
    "find_cells_between_regex": (("", ""), []),
    "find_cells_range_rows": ((0, MAX_ROW), []),
    "find_cells_range_cols": ((0, MAX_COL), []),
    "find_values_by_col_rows": ((1, [1]), []),
    "find_values_by_row_cols": ((1, [1]), []),
    "get_cells_by_range": ((), []),
}


def case_params():
    for name, args, specs, expected in CASES:
        for surface in SURFACES_OF.get(name, ALL):
            yield pytest.param(surface, name, args, specs, expected, id=f"{surface}-{name}{args!r:.40}")


@pytest.mark.parametrize("surface, name, args, specs, expected", list(case_params()))
def test_search(surface, name, args, specs, expected):
    result = Surfaces(specs).call(surface, name, *args)
    assert shape(result) == expected
    found = result if isinstance(result, list) else [result]
    cls = Cell if surface == "sheet" else ReadableCell
    assert all(type(c) is cls for c in found if c is not None and not isinstance(c, str))


@pytest.mark.parametrize(
    "surface, name",
    [(s, n) for n in EMPTY_RESULTS for s in SURFACES_OF.get(n, ALL)],
)
def test_nothing_to_search(surface, name):
    args, expected = EMPTY_RESULTS[name]
    assert Surfaces([]).call(surface, name, *args) == expected


@pytest.mark.parametrize("surface", ALL)
def test_search_by_keywords(surface):
    s = Surfaces(PAIRS)
    if surface == "function":
        result = readable.find_cells_multi_regex(cells=s.dicts, after_regex="end", before_regex="start")
    else:
        target = s.sheet if surface == "sheet" else s.readable
        result = target.find_cells_multi_regex(after_regex="end", before_regex="start")
        assert positions(target.get_cells_by_range(end_col=1, start_row=2)) == [(2, 1), (3, 1), (4, 1), (5, 1), (6, 1)]
    assert positions(result) == [(1, 1), (3, 1), (5, 1)]


TEXT = st.text(alphabet="ab .", max_size=4)


@settings(max_examples=150, deadline=None)
@given(
    specs=st.lists(st.tuples(st.integers(0, 6), st.integers(0, 4), TEXT), max_size=30),
    a=st.text(alphabet="ab .", max_size=3),
    b=st.text(alphabet="ab .", max_size=3),
    stop=st.integers(0, 6),
)
def test_small_searches_equal_plain_scans(specs, a, b, stop):
    s = Surfaces(specs)
    last = {}
    for r, c, t in specs:
        last[(r, c)] = t
    row_major = [(r, c, last[(r, c)]) for r, c in sorted(last)]
    listed = [cell(r, c, t, data_type="n") for r, c, t in specs]  # as given, duplicates kept
    searches = [
        ("find_cell_by_regex", (a,)),
        ("find_cells_by_regex", (a,)),
        ("find_cell_by_str", (a,)),
        ("find_cells_by_str", (a,)),
        ("find_cells_for_rows_by_regex", (a, stop)),
        ("find_cells_for_cols_by_regex", (a, stop)),
        ("find_cells_multi_regex", (a, b)),
        ("find_cells_between_regex", (a, b)),
        ("find_cells_range_rows", (stop, stop + 2)),
        ("find_cells_range_cols", (stop, 3)),
        ("find_value_by_coords", (stop, 2)),
        ("find_values_by_col_rows", (2, [stop, 1, 1])),
        ("find_values_by_row_cols", (stop, [0, 2, 2])),
    ]
    for name, args in searches:
        assert shape(getattr(readable, name)(*args, listed)) == scan(specs, "function", name, *args)
        for surface in SHEETS:
            if surface in SURFACES_OF.get(name, ALL):
                assert shape(s.call(surface, name, *args)) == scan(row_major, surface, name, *args)


# ---- where the surfaces differ ----


def test_find_cell_by_str_function_trims_and_methods_search_substrings():
    s = Surfaces([(1, 1, "ab"), (1, 2, " ab ")])
    assert pos(s.call("function", "find_cell_by_str", " ab")) == (1, 1)
    assert pos(s.call("function", "find_cell_by_str", "b")) is None
    for surface in SHEETS:
        assert pos(s.call(surface, "find_cell_by_str", " ab")) == (1, 2)
        assert pos(s.call(surface, "find_cell_by_str", "b")) == (1, 1)
        assert pos(s.call(surface, "find_cell_by_str", " ab  ")) is None
    # find_cells_by_str trims on every surface.
    for surface in ALL:
        assert positions(s.call(surface, "find_cells_by_str", " ab")) == [(1, 1), (1, 2)]


def test_functions_search_in_list_order_and_keep_duplicates():
    cells = [cell(3, 1, "x"), cell(1, 1, "first"), cell(2, 2, "x y"), cell(1, 1, "x")]
    assert pos(readable.find_cell_by_regex("x", cells)) == (3, 1)
    assert positions(readable.find_cells_by_regex("x", cells)) == [(3, 1), (2, 2), (1, 1)]
    assert readable.find_cell_by_coords(1, 1, cells).value == "first"
    assert readable.find_cell_by_letter("A1", cells).value == "first"
    assert readable.find_value_by_coords(1, 1, cells) == "first"
    assert [c.value for c in readable.find_cells_by_str("x", cells)] == ["x", "x"]
    assert [c.value for c in readable.find_cells_range_rows(1, 1, cells)] == ["first", "x"]
    assert readable.find_values_by_col_rows(1, [3, 1], cells) == ["x", "first", "x"]
    assert readable.find_values_by_row_cols(1, [1], cells) == ["first", "x"]
    # The same cells as a sheet: one cell per position, row-major.
    rs = snapshot(cells)
    assert positions(rs.find_cells_by_regex("x")) == [(1, 1), (2, 2), (3, 1)]
    assert rs.find_value_by_coords(1, 1) == "x"


def test_function_between_takes_markers_in_list_order():
    cells = [cell(5, 1, "start"), cell(1, 1, "a"), cell(2, 1, "end"), cell(3, 1, "b")]
    assert readable.find_cells_between_regex("start", "end", cells) == []
    assert positions(readable.find_cells_multi_regex("start", "end", cells)) == [(5, 1), (2, 1)]
    reordered = [cells[2], cells[0], cells[1], cells[3]]
    assert positions(readable.find_cells_between_regex("end", "start", reordered)) == [(2, 1), (5, 1), (3, 1)]


def test_readable_cells_found_in_a_list_share_their_records():
    rs = snapshot([cell(1, 1, "a"), cell(2, 1, "b")])
    cells = rs.cells
    found = readable.find_cells_by_regex("", cells + cells)
    assert [c.value for c in found] == ["a", "b", "a", "b"]
    assert all(f is not c for f, c in zip(found, cells + cells))
    mixed = readable.find_cells_by_regex("", [cells[1], cell(7, 7, "dict")])
    assert positions(mixed) == [(2, 1), (7, 7)]


def test_sheet_has_no_coords_or_value_list_searches():
    sheet = Book().add_sheet("S")
    for name in ("find_cell_by_coords", "find_values_by_col_rows", "find_values_by_row_cols"):
        assert not hasattr(sheet, name)
        assert hasattr(ReadableSheet, name)
    assert hasattr(sheet, "get_value_cell") and hasattr(ReadableSheet, "get_value_cell")


def test_sheet_sequence_is_row_major_whatever_the_order_of_creation():
    s = Surfaces([(1, 3, "x"), (2, 1, "x"), (1, 1, "x")])
    for surface in SHEETS:
        assert positions(s.call(surface, "find_cells_by_regex", "x")) == [(1, 1), (1, 3), (2, 1)]
        assert pos(s.call(surface, "find_cell_by_regex", "x")) == (1, 1)
    unsorted = [cell(1, 3, "x"), cell(2, 1, "x"), cell(1, 1, "x")]
    assert positions(readable.find_cells_by_regex("x", unsorted)) == [(1, 3), (2, 1), (1, 1)]
    assert positions(snapshot(unsorted).find_cells_by_regex("x")) == [(1, 1), (1, 3), (2, 1)]


def test_sheet_results_are_live_cells():
    book = Book()
    sheet = book.add_sheet("S")
    sheet.cell(1, 1, "alpha")
    a, b = sheet.find_cell_by_regex("alp"), sheet.find_cell_by_regex("alp")
    assert a is not b
    b.value = "beta"
    assert (a.value, sheet.get_value_cell(1, 1)) == ("beta", "beta")
    assert sheet.find_cell_by_regex("alp") is None
    assert sheet.find_value_by_coords(1, 1) == "beta"


def test_sheet_searches_follow_changes_of_the_sheet():
    sheet = Book().add_sheet("S")
    for r in (1, 2, 3):
        sheet.cell(r, 1, f"x{r}")
    assert positions(sheet.find_cells_by_regex("x")) == [(1, 1), (2, 1), (3, 1)]
    sheet.cell(0, 5, "x0")
    assert positions(sheet.find_cells_by_regex("x")) == [(0, 5), (1, 1), (2, 1), (3, 1)]
    kept = sheet.find_cell_by_regex("x2")
    sheet.delete_rows(2, 1)
    assert [(c.row, c.column, c.value) for c in sheet.find_cells_by_regex("x")] == [
        (0, 5, "x0"),
        (1, 1, "x1"),
        (2, 1, "x3"),
    ]
    # A found cell outlives its removal from the sheet.
    assert kept.value == "x2"
    assert sheet.find_cell_by_regex("x2") is None
    sheet.find_cell_by_letter("A2").value = "moved"
    assert sheet.find_cells_by_str("moved")[0].row == 2


def test_snapshot_does_not_follow_its_input():
    data = [cell(1, 1, "x")]
    rs = snapshot(data)
    data.append(cell(2, 1, "x"))
    data[0]["value"] = "y"
    assert [(c.row, c.value) for c in rs.find_cells_by_regex("")] == [(1, "x")]


# ---- arguments ----


@pytest.mark.parametrize("surface", ALL)
@pytest.mark.parametrize("letter", ["A", "10", " A1", "1A", "ABCD1", "", "$", "A$", "A4294967296", "é1"])
def test_invalid_letter_raises_value_error(surface, letter):
    s = Surfaces(MIXED)
    with pytest.raises(ValueError, match=re.escape(f"invalid letter coordinate {letter!r}")):
        s.call(surface, "find_cell_by_letter", letter)


@pytest.mark.parametrize(
    "bad, type_name",
    [((), "tuple"), (None, "NoneType"), ({}, "dict"), ("cells", "str"), (iter([]), "list_iterator")],
)
def test_cells_must_be_a_list(bad, type_name):
    for call in (
        lambda: readable.find_cell_by_regex("x", bad),
        lambda: readable.find_values_by_row_cols(1, [1], bad),
        lambda: readable.find_cells_between_regex("a", "b", cells=bad),
    ):
        with pytest.raises(TypeError, match=f"^argument 'cells': '{type_name}' object cannot be converted to 'PyList'$"):
            call()


def test_cells_as_tuple_fails_and_as_list_works():
    c1, c2 = snapshot([cell(1, 1, "x"), cell(1, 2, "y")]).cells
    with pytest.raises(TypeError, match="^argument 'cells': 'tuple' object cannot be converted to 'PyList'$"):
        readable.find_cell_by_regex("x", (c1, c2))
    with pytest.raises(TypeError, match="'ReadableSheet' object cannot be converted to 'PyList'"):
        readable.find_cell_by_regex("x", snapshot([]))
    assert pos(readable.find_cell_by_regex("y", [c1, c2])) == (1, 2)

    class Cells(list):
        pass

    assert pos(readable.find_cell_by_regex("y", Cells([c1, c2]))) == (1, 2)


def test_arguments_convert_in_signature_order():
    with pytest.raises(TypeError, match="^argument 'regex'"):
        readable.find_cell_by_regex(5, ())
    with pytest.raises(TypeError, match="^argument 'cells'"):
        readable.find_cell_by_letter("A", ())
    with pytest.raises(KeyError):
        readable.find_cell_by_letter("A", [{}])
    with pytest.raises(TypeError, match="^argument 'rows'"):
        readable.find_values_by_col_rows(1, "12", [{}])
    with pytest.raises(ValueError):
        readable.find_cell_by_letter("A", [])


@pytest.mark.parametrize(
    "name, args, exc, message",
    [
        ("find_cell_by_regex", (5,), TypeError, "^argument 'regex': 'int' object cannot be converted to 'PyString'$"),
        ("find_cell_by_str", (None,), TypeError, "^argument 'value': 'NoneType' object cannot be converted to 'PyString'$"),
        ("find_cell_by_letter", (b"A1",), TypeError, "^argument 'letter': 'bytes'"),
        ("find_cells_multi_regex", ("a", 1), TypeError, "^argument 'after_regex': "),
        ("find_cells_by_regex", ("\ud800",), UnicodeEncodeError, None),
        ("find_value_by_coords", (-1, 1), OverflowError, None),
        ("find_value_by_coords", (2**32, 1), OverflowError, "^out of range integral type conversion attempted$"),
        ("find_value_by_coords", (1, 70000), OverflowError, "^out of range integral type conversion attempted$"),
        ("find_value_by_coords", (1, -1), OverflowError, "^out of range integral type conversion attempted$"),
        ("find_value_by_coords", (1.0, 1), TypeError, "^argument 'row': "),
        ("find_cells_for_rows_by_regex", ("x", "1"), TypeError, "^argument 'col_stop': "),
        ("find_cells_for_cols_by_regex", ("x", -5), OverflowError, None),
        ("find_cells_range_rows", (1, 2**40), OverflowError, "^out of range integral type conversion attempted$"),
        ("find_cells_range_cols", (None, 1), TypeError, "^argument 'start_col': "),
        ("get_value_cell", (1, 65536), OverflowError, "^out of range integral type conversion attempted$"),
        ("get_cells_by_range", ("1",), TypeError, "^argument 'start_row': "),
        ("get_cells_by_range", (None, None, None, 65536), OverflowError, "^out of range"),
        ("find_values_by_col_rows", (1, "12"), TypeError, "^argument 'rows': Can't extract `str` to `Vec`$"),
        ("find_values_by_col_rows", (1, 5), TypeError, "^argument 'rows': 'int' object cannot be converted to 'Sequence'$"),
        ("find_values_by_col_rows", (1, [1, -1]), OverflowError, None),
        ("find_values_by_row_cols", (1, [1, "2"]), TypeError, "^argument 'cols': "),
        ("find_values_by_row_cols", (1, [70000]), OverflowError, "^out of range integral type conversion attempted$"),
    ],
)
def test_argument_errors(name, args, exc, message):
    s = Surfaces([(1, 1, "x")])
    for surface in SURFACES_OF.get(name, ALL):
        with pytest.raises(exc, match=message):
            s.call(surface, name, *args)


@pytest.mark.parametrize(
    "surface, display",
    [("function", "find_cells_range_rows()"), ("readable", "ReadableSheet.find_cells_range_rows()"), ("sheet", "Sheet.find_cells_range_rows()")],
)
def test_binding_errors_name_the_callable(surface, display):
    s = Surfaces([])
    if surface == "function":
        call = readable.find_cells_range_rows
        missing, extra = (1,), (1, 2, [], 4)
        n = 3
    else:
        call = getattr(s.sheet if surface == "sheet" else s.readable, "find_cells_range_rows")
        missing, extra = (), (1, 2, 3)
        n = 2
    with pytest.raises(TypeError, match=f"^{re.escape(display)} missing"):
        call(*missing)
    with pytest.raises(TypeError, match=f"takes {n} positional arguments but {n + 1} were given$"):
        call(*extra)
    with pytest.raises(TypeError, match="unexpected keyword argument 'start'"):
        call(start=1)


def test_text_signatures():
    assert readable.find_cells_multi_regex.__text_signature__ == "(before_regex, after_regex, cells)"
    assert readable.find_values_by_col_rows.__text_signature__ == "(col, rows, cells)"
    assert ReadableSheet.find_cell_by_regex.__text_signature__ == "($self, regex)"
    assert ReadableSheet.get_value_cell.__text_signature__ == "($self, row, col)"
    for cls in (ReadableSheet, Sheet):
        assert cls.get_cells_by_range.__text_signature__ == (
            "($self, start_row=None, end_row=None, start_col=None, end_col=None)"
        )
        assert cls.find_cells_for_cols_by_regex.__text_signature__ == "($self, regex, row_stop)"
        assert cls.find_cells_between_regex.__doc__ is None


def test_method_counts():
    searches = {n for n in dir(ReadableSheet) if n.startswith(("find_", "get_"))}
    assert len(searches) == 17
    sheet_searches = {n for n in dir(Sheet) if n.startswith("find_")} | {"get_value_cell", "get_cells_by_range"}
    assert len(sheet_searches) == 14
    assert sheet_searches <= searches
    functions = [n for n in readable.__all__ if n.startswith("find_")]
    assert len(functions) == 15


def test_failed_search_changes_nothing():
    s = Surfaces(MIXED)
    before = [(c.row, c.column, c.value) for c in s.sheet.cells]
    for surface in ALL:
        with pytest.raises(ValueError):
            s.call(surface, "find_cell_by_letter", "?")
        with pytest.raises(OverflowError):
            s.call(surface, "find_cells_range_rows", -1, 1)
    assert [(c.row, c.column, c.value) for c in s.sheet.cells] == before
    assert [(c.row, c.column, c.value) for c in s.readable.cells] == before
