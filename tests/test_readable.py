"""The submodule readable: its classes, their properties and reprs, the
Finder and its sheet selections, and create_finder."""

import gc

import pytest

import _brindel
from _brindel import readable
from readable_support import cell, convert_one, sheet, snapshot

Finder, ReadableSheet, ReadableCell = readable.Finder, readable.ReadableSheet, readable.ReadableCell


def names(sheets):
    return [s.name for s in sheets]


def test_registration_order():
    assert readable.__all__ == [
        "Finder",
        "ReadableSheet",
        "ReadableCell",
        "create_finder",
        "find_cell_by_coords",
        "find_value_by_coords",
        "find_cell_by_regex",
        "find_cell_by_str",
        "find_cell_by_letter",
        "find_cells_by_regex",
        "find_cells_by_str",
        "find_cells_for_rows_by_regex",
        "find_cells_for_cols_by_regex",
        "find_cells_multi_regex",
        "find_cells_between_regex",
        "find_cells_range_rows",
        "find_cells_range_cols",
        "find_values_by_col_rows",
        "find_values_by_row_cols",
    ]
    assert readable.create_finder.__text_signature__ == "(sheets)"
    assert readable.find_cell_by_coords.__text_signature__ == "(row, col, cells)"


# ---- class rules ----


@pytest.mark.parametrize("cls", [Finder, ReadableSheet, ReadableCell])
def test_classes_live_in_readable_and_cannot_be_subclassed(cls):
    assert cls.__module__ == "brindel.readable"
    assert cls.__qualname__ == cls.__name__
    with pytest.raises(TypeError):

        class Derived(cls):
            pass


@pytest.mark.parametrize("cls", [ReadableSheet, ReadableCell])
def test_views_cannot_be_created(cls):
    with pytest.raises(TypeError):
        cls()
    assert cls.__doc__ is None


def test_finder_constructor_signature_and_binding():
    assert Finder.__doc__ == ""  # the signature line is all there is
    assert Finder.__text_signature__ == "(sheets)"
    assert repr(Finder(sheets=[])) == "Finder, sheets: 0"
    with pytest.raises(TypeError, match=r"^Finder.__new__\(\) missing 1 required positional argument: 'sheets'$"):
        Finder()
    with pytest.raises(TypeError, match="unexpected keyword argument 'sheet'"):
        Finder(sheet=[])


@pytest.mark.parametrize("make", [Finder, readable.create_finder])
@pytest.mark.parametrize(
    "arg, type_name", [((), "tuple"), (None, "NoneType"), ({}, "dict"), ("ab", "str")]
)
def test_sheets_must_be_a_list(make, arg, type_name):
    with pytest.raises(
        TypeError, match=f"^argument 'sheets': '{type_name}' object cannot be converted to 'PyList'$"
    ):
        make(arg)


@pytest.mark.parametrize("make", [Finder, readable.create_finder])
def test_a_list_subclass_is_a_list(make):
    class Sheets(list):
        pass

    f = make(Sheets([sheet("A"), sheet("B")]))
    assert type(f) is Finder
    assert names(f.sheets) == ["A", "B"]


def test_read_only_properties_and_identity():
    rs = snapshot([cell(1, 1, "a")])
    c = rs.cells[0]
    for obj, attr in ((c, "value"), (c, "style"), (rs, "name"), (rs, "cells")):
        with pytest.raises(AttributeError):
            setattr(obj, attr, "x")
        with pytest.raises(AttributeError):
            delattr(obj, attr)
    with pytest.raises(AttributeError):
        c.hidden_value
    assert rs.cells[0] is not rs.cells[0]
    assert rs.cells[0] != rs.cells[0]
    assert hash(c) == hash(c)
    f = Finder([])
    assert f != Finder([])


# ---- ReadableCell and ReadableSheet ----


def test_readable_cell_properties():
    c = convert_one(row=3, column=28, value=2.0, data_type="n", formula="=1+1", style_id="s1")
    assert (c.row, c.column, c.letter, c.value) == (3, 28, "AB3", "2")
    assert (c.formula, c.style, c.data_type, c.is_formula) == ("=1+1", "s1", "n", False)
    assert (c.is_value_integer, c.is_value_numeric) == (True, False)
    assert repr(c) == "ReadableCell, Coords: Coordinate { row: 3, column: 28 }"
    zero = convert_one(row=12, column=0)
    assert zero.letter == "12"
    assert repr(zero) == "ReadableCell, Coords: Coordinate { row: 12, column: 0 }"


def test_readable_sheet_properties():
    rs = snapshot(
        [cell(3, 1, "c"), cell(1, 2, "b"), cell(1, 1, "a"), cell(2, 7, "d")],
        name="Data",
        sheet_state="hidden",
        merge_cells=[[1, 2, 1, 3], [9, 9, 9, 9]],
    )
    assert (rs.name, rs.sheet_state, rs.max_row, rs.max_column) == ("Data", "hidden", 3, 7)
    assert [(c.row, c.column, c.value) for c in rs.cells] == [
        (1, 1, "a"),
        (1, 2, "b"),
        (2, 7, "d"),
        (3, 1, "c"),
    ]
    assert rs.merge_cells == [(1, 2, 1, 3), (9, 9, 9, 9)]
    rs.cells.clear()
    rs.merge_cells.clear()
    assert (len(rs.cells), len(rs.merge_cells)) == (4, 2)
    assert repr(rs) == "ReadableSheet (Data) cells: 4"


def test_empty_readable_sheet():
    rs = snapshot([], name="")
    assert (rs.cells, rs.merge_cells, rs.max_row, rs.max_column) == ([], [], 0, 0)
    assert repr(rs) == "ReadableSheet () cells: 0"


def test_records_outlive_the_finder():
    rs = Finder([sheet("A", [cell(2, 3, "kept")])]).sheets[0]
    c = rs.cells[0]
    del rs
    gc.collect()
    assert (c.row, c.column, c.value) == (2, 3, "kept")


# ---- Finder ----


@pytest.fixture
def aba():
    return Finder([sheet("A", [cell(1, 1, "a1")]), sheet("B"), sheet("A", [cell(1, 1, "a3")])])


def test_finder_sheets_and_repr(aba):
    assert names(aba.sheets) == ["A", "B", "A"]
    assert all(type(s) is ReadableSheet for s in aba.sheets)
    assert repr(aba) == "Finder, sheets: 3"
    assert aba.sheets is not aba.sheets


def test_find_sheet_by_name_takes_the_first(aba):
    found = aba.find_sheet_by_name("A")
    assert found.cells[0].value == "a1"
    assert aba.find_sheet_by_name(name="B").name == "B"
    assert aba.find_sheet_by_name("C") is None


def test_sheets_with_and_without_names_keep_finder_order(aba):
    assert [s.cells[0].value for s in aba.get_sheets_with_names(["A"])] == ["a1", "a3"]
    assert names(aba.get_sheets_with_names(["B", "A"])) == ["A", "B", "A"]
    assert names(aba.get_sheets_with_names(["A", "A", "B", "A"])) == ["A", "B", "A"]
    assert names(aba.get_sheets_with_names(("B",))) == ["B"]
    assert aba.get_sheets_with_names([]) == []
    assert names(aba.get_sheets_without_names(["A"])) == ["B"]
    assert names(aba.get_sheets_without_names([])) == ["A", "B", "A"]
    assert aba.get_sheets_without_names(["A", "B"]) == []


@pytest.mark.parametrize("near_miss", ["a", "A ", " A", "Ａ"])
def test_names_compare_exactly(aba, near_miss):
    assert aba.find_sheet_by_name(near_miss) is None
    assert aba.get_sheets_with_names([near_miss]) == []
    assert len(aba.get_sheets_without_names([near_miss])) == 3


def test_empty_name_matches_only_an_empty_name():
    f = Finder([sheet("X"), sheet(""), sheet("Y")])
    assert f.find_sheet_by_name("").name == ""
    assert Finder([sheet("X")]).find_sheet_by_name("") is None


@pytest.mark.parametrize(
    "pattern, found",
    [
        ("^Sh", "Sheet1"),
        ("Sheet", "MySheet"),
        ("(?i)sheet1", "Sheet1"),
        ("sheet1", None),
        ("1$", "Sheet1"),
        ("^MySheet$", "MySheet"),
        ("(?<=My)S", "MySheet"),
        ("(e)\\1", "MySheet"),
        ("^(?!My)", "Sheet1"),
        ("\\d", "Sheet1"),
        ("", "MySheet"),
        ("Ä", "Äpfel"),
        ("^.pfel$", "Äpfel"),
    ],
)
def test_find_sheet_by_regex(pattern, found):
    f = Finder([sheet("MySheet"), sheet("Sheet1"), sheet("Äpfel")])
    result = f.find_sheet_by_regex(pattern)
    assert (result.name if result else None) == found


@pytest.mark.parametrize("pattern", ["(", "[a", "a{2,1}", "(?<=a+)b", "\\"])
def test_bad_pattern_raises_value_error_with_the_engine_message(pattern):
    f = Finder([sheet("a")])
    with pytest.raises(ValueError, match="offset") as e:
        f.find_sheet_by_regex(pattern)
    assert str(e.value)


def test_get_sheet_index(aba):
    assert aba.get_sheet_index(2).cells[0].value == "a3"
    assert aba.get_sheet_index(idx=1).name == "B"
    for idx in (-1, 3, -(2**31), 2**31 - 1):
        assert aba.get_sheet_index(idx) is None
    assert Finder([]).get_sheet_index(0) is None


def test_empty_finder():
    f = readable.create_finder([])
    assert type(f) is Finder
    assert f.sheets == []
    assert f.find_sheet_by_name("A") is None
    assert f.find_sheet_by_regex("") is None
    assert f.get_sheets_with_names(["A"]) == []
    assert f.get_sheets_without_names(["A"]) == []
    assert repr(f) == "Finder, sheets: 0"


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda f: f.get_sheet_index("0"), TypeError, "^argument 'idx': "),
        (lambda f: f.get_sheet_index(1.0), TypeError, "^argument 'idx': "),
        (lambda f: f.get_sheet_index(2**31), OverflowError, None),
        (lambda f: f.get_sheets_with_names("A"), TypeError, "^argument 'name_list': Can't extract `str` to `Vec`$"),
        (lambda f: f.get_sheets_without_names(5), TypeError, "^argument 'name_list': 'int' object cannot be converted to 'Sequence'$"),
        (lambda f: f.get_sheets_with_names(["A", 1]), TypeError, "^argument 'name_list': 'int' object cannot be converted to 'PyString'$"),
        (lambda f: f.find_sheet_by_name(None), TypeError, "^argument 'name': 'NoneType' object cannot be converted to 'PyString'$"),
        (lambda f: f.find_sheet_by_regex(b"A"), TypeError, "^argument 'pattern': 'bytes' object cannot be converted to 'PyString'$"),
        (lambda f: f.find_sheet_by_name("\ud800"), UnicodeEncodeError, None),
        (lambda f: f.find_sheet_by_name(), TypeError, "^Finder.find_sheet_by_name\\(\\) missing 1 required positional argument: 'name'$"),
        (lambda f: f.get_sheet_index(1, 2), TypeError, "^Finder.get_sheet_index\\(\\) takes 1 positional arguments but 2 were given$"),
    ],
)
def test_finder_argument_errors(aba, call, exc, message):
    with pytest.raises(exc, match=message):
        call(aba)


def test_finder_method_signatures():
    assert Finder.get_sheet_index.__text_signature__ == "($self, idx)"
    assert Finder.get_sheets_with_names.__text_signature__ == "($self, name_list)"
    assert Finder.find_sheet_by_regex.__text_signature__ == "($self, pattern)"


def test_two_finders_from_one_list_are_independent():
    data = [sheet("A", [cell(1, 1, "v")])]
    one, two = Finder(data), readable.create_finder(data)
    data[0]["cells"][0]["value"] = "changed"
    assert one.sheets[0].cells[0].value == two.sheets[0].cells[0].value == "v"
    del one
    gc.collect()
    assert two.sheets[0].cells[0].value == "v"


def test_reachable_through_the_package():
    import brindel.readable

    assert brindel.readable is _brindel.readable
    assert brindel.readable.Finder is Finder
