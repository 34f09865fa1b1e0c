"""Snapshots from plain Python data: the field rules, how dictionaries and
attribute objects are read, sheets, merged ranges, and every way a
conversion fails."""

import collections
import datetime
import decimal
import enum
import math
import sys
import types

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from _brindel import Book, readable
from readable_support import MAX_ROW, cell, convert, convert_one, sheet, snapshot


class Str:
    """An object that is none of the classified kinds: read through str()."""

    def __init__(self, text):
        self.text = text

    def __str__(self):
        return self.text


class Color(enum.IntEnum):
    RED = 3


class MyStr(str):
    def __str__(self):
        return "not used"


class OwnStrDatetime(datetime.datetime):
    def __str__(self):
        return "own text"


# ---- text form ----


@pytest.mark.parametrize(
    "value, text",
    [
        (True, "true"),
        (False, "false"),
        (0, "0"),
        (-5, "-5"),
        (2**63 - 1, "9223372036854775807"),
        (-(2**63), "-9223372036854775808"),
        (Color.RED, "3"),
        (2.0, "2"),
        (0.1, "0.1"),
        (2.5, "2.5"),
        (1e20, "100000000000000000000"),
        (1.5e-7, "0.00000015"),
        (-0.0, "-0"),
        (math.nan, "NaN"),
        (math.inf, "inf"),
        (-math.inf, "-inf"),
        ("abc", "abc"),
        ("", ""),
        ("ünï 😀", "ünï 😀"),
        (MyStr("as is"), "as is"),
        ([1, "a", None, True, 2.5, [3]], "[1, a, , true, 2.5, [3]]"),
        ([], "[]"),
        ([[], [[2.0]]], "[[], [[2]]]"),
        (datetime.datetime(2024, 1, 5, 10, 0), "2024-01-05 10:00:00"),
        (datetime.datetime(7, 12, 31, 23, 59, 59, 5), "0007-12-31 23:59:59.000005"),
        (datetime.datetime(2024, 1, 5, tzinfo=datetime.timezone.utc), "2024-01-05 00:00:00+00:00"),
        (OwnStrDatetime(2024, 1, 5), "own text"),
        (decimal.Decimal("1.50"), "1.50"),
        ((1, "a"), "(1, 'a')"),
        (Str("\ud800x"), "\ufffdx"),
    ],
)
def test_text_form_of_a_value(value, text):
    # With data type "s" the value keeps its text exactly.
    c = convert_one(value=value, formula=value, style_id=value)
    assert c.value == text
    assert c.formula == text
    assert c.style == text
    assert not c.is_value_empty


def test_none_is_absent_for_optional_texts_and_empty_for_texts():
    c = convert_one(value=None, formula=None, style_id=None, data_type=None)
    assert (c.value, c.formula, c.style, c.data_type) == ("", None, None, "")
    assert c.is_value_empty


# ---- the value rule ----


@pytest.mark.parametrize(
    "value, data_type, text, kind",
    [
        (None, "s", "", "empty"),
        (None, "n", "", "empty"),
        ("", "s", "", "text"),
        ("", "n", "", "empty"),
        ("007", "s", "007", "text"),
        ("007", "n", "7", "integer"),
        ("007", "zz", "7", "integer"),
        ("true", "s", "true", "text"),
        ("true", "n", "true", "bool"),
        ("FaLsE", "d", "false", "bool"),
        (True, "b", "true", "bool"),
        (2.0, "n", "2", "integer"),
        (2.5, "n", "2.5", "numeric"),
        (2**40, "n", "1099511627776", "numeric"),
        ("1e3", "n", "1000", "numeric"),
        ("2024-01-05 10:00:00", "n", "2024-01-05 10:00:00", "datetime"),
        ("2024-01-05 10:00:00", "s", "2024-01-05 10:00:00", "text"),
        (datetime.datetime(2024, 1, 5, 10, 0), "d", "2024-01-05 10:00:00", "datetime"),
        (datetime.datetime(2024, 1, 5, 10, 0, 0, 5), "d", "2024-01-05 10:00:00.000005", "text"),
        (
            datetime.datetime(2024, 1, 5, 10, 0, tzinfo=datetime.timezone.utc),
            "d",
            "2024-01-05 10:00:00+00:00",
            "text",
        ),
        ("2024-01-05T10:00:00", "d", "2024-01-05T10:00:00", "text"),
        ("abc", "n", "abc", "text"),
    ],
)
def test_value_from_text_and_data_type(value, data_type, text, kind):
    c = convert_one(value=value, data_type=data_type)
    assert c.value == text
    assert c.data_type == data_type
    flags = {
        "empty": c.is_value_empty,
        "bool": c.is_value_bool,
        "integer": c.is_value_integer,
        "numeric": c.is_value_numeric,
        "datetime": c.is_value_datetime,
    }
    assert {k for k, v in flags.items() if v} == ({kind} if kind != "text" else set())


@pytest.mark.parametrize(
    "formula, data_type, is_formula",
    [("=A1", "f", True), ("=A1", "n", False), (None, "f", False), ("", "f", True)],
)
def test_is_formula_needs_a_formula_and_type_f(formula, data_type, is_formula):
    c = convert_one(value="1", formula=formula, data_type=data_type)
    assert c.is_formula is is_formula
    assert c.formula == formula


# ---- unsigned fields ----


@pytest.mark.parametrize(
    "value, row, column",
    [
        (None, 0, 0),
        ([5], 0, 0),
        (True, 1, 1),
        (False, 0, 0),
        (7, 7, 7),
        (-1, MAX_ROW, 65535),
        (2**32 + 3, 3, 3),
        (70000, 70000, 4464),
        (2**63 - 1, MAX_ROW, 65535),
        (2.9, 2, 2),
        (-2.5, 0, 0),
        (0.5, 0, 0),
        (1e20, MAX_ROW, 65535),
        (70000.0, 70000, 65535),
        (math.nan, 0, 0),
        (-math.inf, 0, 0),
        ("7", 7, 7),
        ("+7", 7, 7),
        ("007", 7, 7),
        ("-1", 0, 0),
        (" 7", 0, 0),
        ("7 ", 0, 0),
        ("7.0", 0, 0),
        ("+", 0, 0),
        ("", 0, 0),
        ("٣", 0, 0),
        ("65535", 65535, 65535),
        ("65536", 65536, 0),
        ("4294967295", MAX_ROW, 0),
        ("4294967296", 0, 0),
        (decimal.Decimal("12"), 12, 12),
        (Str("+9"), 9, 9),
        ((1,), 0, 0),
    ],
)
def test_unsigned_rules_for_row_and_column(value, row, column):
    c = convert_one(row=value, column=value)
    assert (c.row, c.column) == (row, column)


def unsigned_text(text, bits):
    body = text[1:] if text.startswith("+") else text
    if not body or not all("0" <= ch <= "9" for ch in body):
        return 0
    return int(body) if int(body) < 2**bits else 0


@settings(max_examples=300, deadline=None)
@given(
    number=st.integers(-(2**63), 2**63 - 1),
    text=st.one_of(st.text(alphabet="+-0123456789 .", max_size=12), st.integers(0, 2**33).map(str)),
    real=st.floats(allow_nan=True, allow_infinity=True),
)
def test_unsigned_rules_hold_for_any_number_and_text(number, text, real):
    a, b, c = convert([cell(number, number), cell(text, text), cell(real, real)])
    assert (a.row, a.column) == (number % 2**32, number % 2**16)
    assert (b.row, b.column) == (unsigned_text(text, 32), unsigned_text(text, 16))
    clamp = 0 if math.isnan(real) or real <= 0 else min(int(real) if math.isfinite(real) else 2**64, 2**64)
    assert (c.row, c.column) == (min(clamp, 2**32 - 1), min(clamp, 2**16 - 1))


# ---- how objects are read ----


def test_attribute_objects_and_extra_keys():
    ns = types.SimpleNamespace(**cell(3, 2, "v"), hidden_value="h", other=1)
    (c,) = convert([ns])
    assert (c.row, c.column, c.value) == (3, 2, "v")
    c = convert_one(hidden_value="h", row_dimensions=[1])
    assert c.value == "x"


def test_dict_subclass_is_read_by_subscription():
    class Defaults(dict):
        def __missing__(self, key):
            return {"row": 4, "data_type": "n"}.get(key)

    d = Defaults(value="12")
    (c,) = convert([d])
    assert (c.row, c.column, c.value, c.data_type, c.is_value_integer) == (4, 0, "12", "n", True)
    dd = collections.defaultdict(lambda: None, row=2)
    (c,) = convert([dd])
    assert (c.row, c.value, c.data_type) == (2, "", "")


def test_a_mapping_that_is_not_a_dict_is_read_by_attributes():
    proxy = types.MappingProxyType(cell())
    with pytest.raises(AttributeError, match="'row'"):
        convert([proxy])


def test_readable_cells_in_a_cell_list_are_shared():
    original = convert_one(row=2, column=5, value="1.5", data_type="n", style_id="st")
    (again,) = convert([original])
    assert again is not original
    assert (again.row, again.column, again.value, again.style) == (2, 5, "1.5", "st")
    assert again.is_value_numeric


def test_readable_and_writable_cells_are_no_sheet_input():
    rc = convert_one()
    with pytest.raises(AttributeError, match="style_id"):
        readable.Finder([sheet(cells=[rc])])
    wc = Book().add_sheet("W").cell(1, 1, "x")
    for bad in ([sheet(cells=[wc])],):
        with pytest.raises(AttributeError, match="style_id"):
            readable.Finder(bad)
    with pytest.raises(AttributeError, match="style_id"):
        convert([wc])


def test_a_readable_sheet_as_sheet_input():
    rs = snapshot([], name="R", sheet_state="hidden", merge_cells=[[1, 2, 3, 4]])
    (again,) = readable.Finder([rs]).sheets
    assert (again.name, again.sheet_state, again.cells) == ("R", "hidden", [])
    assert again.merge_cells == [(0, 0, 0, 0)]  # tuples are neither lists nor numbers


def test_book_document_needs_formula_and_style_on_every_cell():
    book = Book()
    s = book.add_sheet("Data")
    s.cell(1, 1, "x")
    s.cell(2, 1).set_value_datetime(datetime.datetime(2024, 1, 5, 10, 0))
    with pytest.raises(KeyError, match="'formula'"):
        readable.create_finder(book.to_dict()["sheets"])
    for c in s.cells:
        c.formula = "=1"
        c.style = "st"
    (rs,) = readable.create_finder(book.to_dict()["sheets"]).sheets
    a1, a2 = rs.cells
    assert (a1.value, a1.style) == ("x", "st")
    # The document writes date-times with a "T": they come back as text.
    assert a2.value == "2024-01-05T10:00:00"
    assert not a2.is_value_datetime


# ---- sheets ----


def test_sheet_fields_and_text_rules():
    rs = snapshot([], name=5, sheet_state=None)
    assert (rs.name, rs.sheet_state) == ("5", "")
    rs = snapshot([], name=[1, "a"], sheet_state="any text at all")
    assert (rs.name, rs.sheet_state) == ("[1, a]", "any text at all")


def test_last_cell_wins_in_a_sheet_and_duplicates_stay_in_a_list():
    cells = [cell(1, 1, "first"), cell(2, 2, "other"), cell(1, 1, "second")]
    rs = snapshot(cells)
    assert [(c.row, c.column, c.value) for c in rs.cells] == [(1, 1, "second"), (2, 2, "other")]
    assert repr(rs) == "ReadableSheet (S) cells: 2"
    assert [c.value for c in convert(cells)] == ["first", "other", "second"]


@pytest.mark.parametrize(
    "merge_cells, ranges",
    [
        ([[1, 2, 1, 3], [4], "x"], [(1, 2, 1, 3), (4, 0, 0, 0), (0, 0, 0, 0)]),
        ([[1, 2, 3, 4, 5, 6]], [(1, 2, 3, 4)]),
        ([[1, 2, 70000, "70000"]], [(1, 2, 4464, 4464)]),
        ([[-1, "7", 2.9, None]], [(MAX_ROW, 7, 2, 0)]),
        ([[5, 1, 3, 2], [5, 1, 3, 2]], [(5, 1, 3, 2), (5, 1, 3, 2)]),
        ([(1, 2, 3, 4), [[1]]], [(0, 0, 0, 0), (0, 0, 0, 0)]),
        ([], []),
        (None, []),
        ("1,2,3,4", []),
        ((1, 2, 3, 4), []),
    ],
)
def test_merge_rules(merge_cells, ranges):
    assert snapshot([], merge_cells=merge_cells).merge_cells == ranges


def test_sheets_keep_their_order_and_duplicate_names():
    f = readable.Finder([sheet("B"), sheet("A"), sheet("B")])
    assert [s.name for s in f.sheets] == ["B", "A", "B"]


# ---- failures ----


class Raises:
    def __init__(self, exc):
        self.exc = exc

    def __str__(self):
        raise self.exc


class TwoArgError(LookupError):
    def __init__(self, a, b):
        super().__init__(a, b)


def without(d, key):
    d = dict(d)
    del d[key]
    return d


@pytest.mark.parametrize("key", ["row", "column", "value", "formula", "data_type", "style_id"])
def test_every_cell_key_is_required(key):
    with pytest.raises(KeyError, match=f"cells\\[1\\]: cannot convert '{key}'") as e:
        convert([cell(), without(cell(), key)])
    assert isinstance(e.value.__cause__, KeyError)
    ns = types.SimpleNamespace(**without(cell(), key))
    with pytest.raises(AttributeError, match=f"'{key}'") as e:
        convert([ns])
    assert isinstance(e.value.__cause__, AttributeError)


@pytest.mark.parametrize("key", ["name", "sheet_state", "merge_cells", "cells"])
def test_every_sheet_key_is_required(key):
    with pytest.raises(KeyError, match=f"sheets\\[1\\]: cannot convert '{key}'"):
        readable.Finder([sheet(), without(sheet(), key)])


@pytest.mark.parametrize(
    "field, value, exc_type, cause_type, text",
    [
        ("row", 2**64, OverflowError, OverflowError, "'row'"),
        ("column", -(2**63) - 1, OverflowError, OverflowError, "'column'"),
        ("value", [1, [2**70]], OverflowError, OverflowError, "'value'"),
        ("value", "\ud800", UnicodeError, UnicodeEncodeError, "'value'"),
        ("row", "\udfff", UnicodeError, UnicodeEncodeError, "'row'"),
        ("formula", Raises(ValueError("boom")), ValueError, ValueError, "ValueError: boom"),
        ("style_id", [Raises(ZeroDivisionError())], ZeroDivisionError, ZeroDivisionError, "'style_id'"),
        ("data_type", Raises(TwoArgError("a", "b")), LookupError, TwoArgError, "'data_type'"),
        ("row", Raises(KeyError("k")), KeyError, KeyError, "'row'"),
    ],
)
def test_value_failures_name_the_key_and_chain_the_error(field, value, exc_type, cause_type, text):
    with pytest.raises(exc_type, match=text) as e:
        convert([cell(**{field: value})])
    assert type(e.value.__cause__) is cause_type
    assert "cells[0]" in str(e.value)


def test_failures_that_are_not_ordinary_errors_pass_unchanged():
    for exc in (MemoryError("low"), KeyboardInterrupt()):
        with pytest.raises(type(exc)) as e:
            convert([cell(value=Raises(exc))])
        assert e.value is exc


def test_failure_inside_a_sheet_names_the_sheet_and_the_cell():
    sheets = [sheet(), sheet(cells=[cell(), cell(), without(cell(), "row")])]
    with pytest.raises(KeyError, match=r"sheets\[1\]\.cells\[2\]: cannot convert 'row'"):
        readable.create_finder(sheets)
    with pytest.raises(OverflowError, match=r"sheets\[0\]: cannot convert 'merge_cells'"):
        readable.Finder([sheet(merge_cells=[[1, 2**64]])])


@pytest.mark.parametrize("cells", [(), None, {}, "cells", types.SimpleNamespace()])
def test_sheet_cells_must_be_a_list(cells):
    with pytest.raises(TypeError, match=r"sheets\[0\]: cannot convert 'cells': '\w+' object cannot be converted to 'PyList'"):
        readable.Finder([dict(sheet(), cells=cells)])


def test_deep_nesting_raises_recursion_error():
    deep = []
    for _ in range(100_000):
        deep = [deep]
    with pytest.raises(RecursionError, match="'value'"):
        convert([cell(value=deep)])
    selfish = [1]
    selfish.append(selfish)
    with pytest.raises(RecursionError):
        readable.Finder([sheet(name=selfish)])


def test_deep_nesting_with_a_raised_recursion_limit():
    deep = []
    for _ in range(300_000):
        deep = [deep]
    old = sys.getrecursionlimit()
    sys.setrecursionlimit(10**6)
    try:
        with pytest.raises(RecursionError, match="'value'"):
            convert([cell(value=deep)])
    finally:
        sys.setrecursionlimit(old)


def test_lists_changed_while_they_are_read():
    class Clears:
        def __init__(self, target):
            self.target = target

        def __str__(self):
            self.target.clear()
            return "c"

    value = [1]
    value.insert(0, Clears(value))
    value.append(2)
    assert convert_one(value=value).value == "[c]"

    cells = [cell(1, 1), cell(2, 1), cell(3, 1)]
    cells[0]["value"] = Clears(cells)
    assert [c.value for c in convert(cells)] == ["c"]

    merges = [[1, 2, 3, 4], [5, 6, 7, 8]]
    merges[0][1] = Clears(merges)
    assert snapshot([], merge_cells=merges).merge_cells == [(1, 0, 3, 4)]


def test_failed_conversion_leaves_the_input_alone():
    cells = [cell(1, 1, [1, 2]), without(cell(), "value")]
    before = repr(cells)
    with pytest.raises(KeyError):
        readable.find_cells_by_regex("", cells)
    with pytest.raises(KeyError):
        readable.Finder([sheet(cells=cells)])
    assert repr(cells) == before


def test_float_and_string_rows_in_a_sheet():
    rs = snapshot([cell("7", 2.9, "a"), cell("-1", 1, "b"), cell(-1, 1, "c")])
    assert [(c.row, c.column, c.value) for c in rs.cells] == [
        (0, 1, "b"),
        (7, 2, "a"),
        (MAX_ROW, 1, "c"),
    ]
    assert (rs.max_row, rs.max_column) == (MAX_ROW, 2)
