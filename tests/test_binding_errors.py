"""How every callable binds and converts its arguments, and what a caller sees
when that fails. A failed call must leave the workbook exactly as it was."""

import datetime as dt
import re
from types import SimpleNamespace

import pytest

import _brindel
from _brindel import Book, Service, column_number_to_letter, get_letter_coordinate
from workbook_support import Index, unchanged

OUT_OF_RANGE = "out of range integral type conversion attempted"


@pytest.fixture
def ctx():
    book = Book()
    sheet = book.add_sheet("Data")
    cell = sheet.cell(2, 3, "12")
    cell.style = "s1"
    sheet.add_comment(2, 3, "note", "ann")
    sheet.add_merge_cells(1, 1, 1, 2)
    sheet.set_height_row(2, 30.0)
    service = Service("conn")
    service._add_sheet("Svc")
    return SimpleNamespace(
        book=book, sheet=sheet, cell=cell, comment=sheet.comments[0], service=service
    )


def fails_cleanly(ctx, call, exc, message):
    """Runs call(ctx) and checks the exception type and its exact message."""
    with unchanged(ctx.book), unchanged(ctx.service):
        with pytest.raises(exc) as info:
            call(ctx)
    assert type(info.value) is exc
    assert str(info.value) == message
    return info.value


BINDING = [
    # too many positional arguments, with and without optional parameters
    (lambda c: get_letter_coordinate(1, 2, 3),
     "get_letter_coordinate() takes 2 positional arguments but 3 were given"),
    (lambda c: column_number_to_letter(1, 2),
     "column_number_to_letter() takes 1 positional arguments but 2 were given"),
    (lambda c: Book(1), "Book.__new__() takes 0 positional arguments but 1 was given"),
    (lambda c: Book(1, 2), "Book.__new__() takes 0 positional arguments but 2 were given"),
    (lambda c: Service(1, 2), "Service.__new__() takes 1 positional arguments but 2 were given"),
    (lambda c: c.book.add_sheet("a", "visible", 1),
     "Book.add_sheet() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda c: c.service._add_sheet("a", "visible", 1, 2),
     "Service._add_sheet() takes from 1 to 2 positional arguments but 4 were given"),
    (lambda c: c.sheet.cell(1, 2, None, 4),
     "Sheet.cell() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda c: c.sheet.get_value_cell(1, 2, 3),
     "Sheet.get_value_cell() takes 2 positional arguments but 3 were given"),
    (lambda c: c.cell.set_value_bool(True, False),
     "Cell.set_value_bool() takes 1 positional arguments but 2 were given"),
    # too many positional wins over a bad keyword
    (lambda c: get_letter_coordinate(1, 2, 3, x=1),
     "get_letter_coordinate() takes 2 positional arguments but 3 were given"),
    # keywords
    (lambda c: column_number_to_letter(col=1, column=2),
     "column_number_to_letter() got an unexpected keyword argument 'column'"),
    (lambda c: Book(x=1), "Book.__new__() got an unexpected keyword argument 'x'"),
    (lambda c: Service(conn=1), "Service.__new__() got an unexpected keyword argument 'conn'"),
    (lambda c: c.sheet.cell(1, 1, val="x"), "Sheet.cell() got an unexpected keyword argument 'val'"),
    (lambda c: c.sheet.cell(1, 1, **{"Row": 1}),
     "Sheet.cell() got an unexpected keyword argument 'Row'"),
    (lambda c: c.sheet.cell(1, 1, **{"вал": 1}),
     "Sheet.cell() got an unexpected keyword argument 'вал'"),
    (lambda c: Book(**{"\udc80": 1}), "Book.__new__() got an unexpected keyword argument '\udc80'"),
    (lambda c: c.sheet.cell(1, 1, **{"\ud800": 1}),
     "Sheet.cell() got an unexpected keyword argument '\ud800'"),
    (lambda c: get_letter_coordinate(x=1),
     "get_letter_coordinate() got an unexpected keyword argument 'x'"),
    (lambda c: column_number_to_letter(1, col=1),
     "column_number_to_letter() got multiple values for argument 'col'"),
    (lambda c: c.sheet.cell(1, 2, row=3), "Sheet.cell() got multiple values for argument 'row'"),
    (lambda c: Service(1, conn_db=2), "Service.__new__() got multiple values for argument 'conn_db'"),
    # missing required parameters
    (lambda c: c.book.add_sheet(),
     "Book.add_sheet() missing 1 required positional argument: 'name'"),
    (lambda c: c.book.add_sheet(sheet_state="hidden"),
     "Book.add_sheet() missing 1 required positional argument: 'name'"),
    (lambda c: Service(), "Service.__new__() missing 1 required positional argument: 'conn_db'"),
    (lambda c: get_letter_coordinate(),
     "get_letter_coordinate() missing 2 required positional arguments: 'row' and 'col'"),
    (lambda c: get_letter_coordinate(col=1),
     "get_letter_coordinate() missing 1 required positional argument: 'row'"),
    (lambda c: c.sheet.add_merge_cells(1),
     "Sheet.add_merge_cells() missing 3 required positional arguments: "
     "'end_row', 'start_col', and 'end_col'"),
    (lambda c: c.sheet.add_merge_cells(1, start_col=2),
     "Sheet.add_merge_cells() missing 2 required positional arguments: 'end_row' and 'end_col'"),
    (lambda c: c.sheet.add_comment(),
     "Sheet.add_comment() missing 4 required positional arguments: "
     "'row', 'col', 'text', and 'author'"),
    (lambda c: c.sheet.cell(col=1), "Sheet.cell() missing 1 required positional argument: 'row'"),
    (lambda c: c.cell.set_value_number(),
     "Cell.set_value_number() missing 1 required positional argument: 'value'"),
]


@pytest.mark.parametrize("call, message", BINDING)
def test_binding_errors(ctx, call, message):
    fails_cleanly(ctx, call, TypeError, message)


class Plain:
    pass


CONVERSION = [
    # text
    (lambda c: c.book.add_sheet(5), TypeError,
     "argument 'name': 'int' object cannot be converted to 'PyString'"),
    (lambda c: c.book.add_sheet("a", None), TypeError,
     "argument 'sheet_state': 'NoneType' object cannot be converted to 'PyString'"),
    (lambda c: c.service._add_sheet(b"a"), TypeError,
     "argument 'name': 'bytes' object cannot be converted to 'PyString'"),
    (lambda c: c.book.get_sheet_name(True), TypeError,
     "argument 'name': 'bool' object cannot be converted to 'PyString'"),
    (lambda c: c.sheet.cell(1, 1, 5), TypeError,
     "argument 'value': 'int' object cannot be converted to 'PyString'"),
    (lambda c: c.sheet.cell(2, 3, 1.5), TypeError,
     "argument 'value': 'float' object cannot be converted to 'PyString'"),
    (lambda c: c.sheet.set_sheet_state(Plain()), TypeError,
     "argument 'state': 'Plain' object cannot be converted to 'PyString'"),
    (lambda c: c.sheet.add_comment(1, 1, "t", None), TypeError,
     "argument 'author': 'NoneType' object cannot be converted to 'PyString'"),
    (lambda c: c.sheet.add_comment(1, 1, ["t"], "a"), TypeError,
     "argument 'text': 'list' object cannot be converted to 'PyString'"),
    # row numbers
    (lambda c: c.sheet.cell(2**32, 1), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.get_value_cell(2**63, 1), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.delete_rows(1, 2**32), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.add_merge_cells(1, Index(2**32), 1, 1), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.cell(1.0, 1), TypeError,
     "argument 'row': 'float' object cannot be interpreted as an integer"),
    (lambda c: c.sheet.cell("1", 1), TypeError,
     "argument 'row': 'str' object cannot be interpreted as an integer"),
    (lambda c: c.sheet.set_height_row(None, 1.0), TypeError,
     "argument 'row_num': 'NoneType' object cannot be interpreted as an integer"),
    (lambda c: get_letter_coordinate(1.5, 1), TypeError,
     "argument 'row': 'float' object cannot be interpreted as an integer"),
    # column numbers
    (lambda c: c.sheet.cell(1, 65536), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.cell(1, 70000), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.cell(1, -1), OverflowError, OUT_OF_RANGE),
    (lambda c: column_number_to_letter(70000), OverflowError, OUT_OF_RANGE),
    (lambda c: column_number_to_letter(-1), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.delete_cols(1, 65536), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.set_width_column(Index(-5), 1.0), OverflowError, OUT_OF_RANGE),
    (lambda c: column_number_to_letter("A"), TypeError,
     "argument 'col': 'str' object cannot be interpreted as an integer"),
    (lambda c: c.sheet.cell(1, 2.0), TypeError,
     "argument 'col': 'float' object cannot be interpreted as an integer"),
    # signed integers
    (lambda c: c.book.get_sheet_index("0"), TypeError,
     "argument 'idx': 'str' object cannot be interpreted as an integer"),
    (lambda c: c.service._get_sheet_index(0.0), TypeError,
     "argument 'idx': 'float' object cannot be interpreted as an integer"),
    (lambda c: c.cell.set_value_integer(1.0), TypeError,
     "argument 'value': 'float' object cannot be interpreted as an integer"),
    (lambda c: c.cell.set_value_integer("12"), TypeError,
     "argument 'value': 'str' object cannot be interpreted as an integer"),
    # real numbers
    (lambda c: c.sheet.set_height_row(1, "x"), TypeError,
     "argument 'val': must be real number, not str"),
    (lambda c: c.sheet.set_width_column(1, None), TypeError,
     "argument 'val': must be real number, not NoneType"),
    (lambda c: c.sheet.set_width_column(1, 1j), TypeError,
     "argument 'val': must be real number, not complex"),
    (lambda c: c.cell.set_value_number("1.5"), TypeError,
     "argument 'value': must be real number, not str"),
    (lambda c: c.cell.set_value_number(10**400), OverflowError,
     "int too large to convert to float"),
    # flags
    (lambda c: c.sheet.set_hidden_row(1, 1), TypeError,
     "argument 'val': 'int' object cannot be converted to 'PyBool'"),
    (lambda c: c.sheet.set_hidden_column(1, None), TypeError,
     "argument 'val': 'NoneType' object cannot be converted to 'PyBool'"),
    (lambda c: c.cell.set_value_bool(0), TypeError,
     "argument 'value': 'int' object cannot be converted to 'PyBool'"),
    (lambda c: c.cell.set_value_bool("true"), TypeError,
     "argument 'value': 'str' object cannot be converted to 'PyBool'"),
    # date-times
    (lambda c: c.cell.set_value_datetime(dt.date(2024, 1, 1)), TypeError,
     "argument 'value': 'date' object cannot be converted to 'PyDateTime'"),
    (lambda c: c.cell.set_value_datetime("2024-01-01 00:00:00"), TypeError,
     "argument 'value': 'str' object cannot be converted to 'PyDateTime'"),
    (lambda c: c.cell.set_value_datetime(dt.datetime(2024, 1, 1, tzinfo=dt.timezone.utc)),
     TypeError, "argument 'value': expected a datetime without tzinfo"),
    # arguments are converted in order; the first failure decides
    (lambda c: get_letter_coordinate("x", 70000), TypeError,
     "argument 'row': 'str' object cannot be interpreted as an integer"),
    (lambda c: c.sheet.cell(1, 70000, 5), OverflowError, OUT_OF_RANGE),
    (lambda c: c.sheet.add_comment(1, 1, 2, 3), TypeError,
     "argument 'text': 'int' object cannot be converted to 'PyString'"),
    # instances of the module's classes
    (lambda c: c.book.copy_sheet("x"), TypeError,
     "argument 'sheet': 'str' object cannot be converted to 'Sheet'"),
    (lambda c: c.book.copy_sheet(c.book), TypeError,
     "argument 'sheet': 'Book' object cannot be converted to 'Sheet'"),
    (lambda c: c.service._copy_sheet(c.cell), TypeError,
     "argument 'sheet': 'Cell' object cannot be converted to 'Sheet'"),
    (lambda c: c.service._copy_sheet(None), TypeError,
     "argument 'sheet': 'NoneType' object cannot be converted to 'Sheet'"),
]


@pytest.mark.parametrize("call, exc, message", CONVERSION)
def test_conversion_errors(ctx, call, exc, message):
    fails_cleanly(ctx, call, exc, message)


@pytest.mark.parametrize(
    "call",
    [
        lambda c: c.sheet.cell(-1, 1),
        lambda c: c.sheet.delete_rows(0, -1),
        lambda c: c.sheet.get_height_by_row(2**64),
        lambda c: c.sheet.cell(1, 2**63),
        lambda c: c.sheet.cell(1, -(2**70)),
        lambda c: c.book.get_sheet_index(2**31),
        lambda c: c.book.get_sheet_index(-(2**31) - 1),
        lambda c: c.book.get_sheet_index(2**40),
        lambda c: c.cell.set_value_integer(2**31),
        lambda c: c.cell.set_value_integer(-(2**31) - 1),
        lambda c: c.cell.set_value_integer(2**100),
    ],
)
def test_interpreter_overflow_errors_pass_through(ctx, call):
    with unchanged(ctx.book):
        with pytest.raises(OverflowError) as info:
            call(ctx)
    assert type(info.value) is OverflowError
    assert not str(info.value).startswith("argument")
    assert str(info.value) != ""


@pytest.mark.parametrize(
    "call",
    [
        lambda c: c.book.add_sheet("\ud800"),
        lambda c: c.book.add_sheet("ok", "\udfff"),
        lambda c: c.book.get_sheet_name("x\ud800"),
        lambda c: c.sheet.cell(1, 1, "\udc80"),
        lambda c: c.sheet.add_comment(1, 1, "t", "\ud800"),
        lambda c: setattr(c.cell, "value", "\ud800"),
        lambda c: setattr(c.cell, "formula", "=\ud800"),
        lambda c: setattr(c.comment, "text", "\ud800"),
        lambda c: setattr(c.sheet, "name", "\ud800"),
    ],
)
def test_lone_surrogates_raise_unicode_encode_error(ctx, call):
    with unchanged(ctx.book):
        with pytest.raises(UnicodeEncodeError):
            call(ctx)


SETTER_ERRORS = [
    ("cell", "value", 12, "value", "int"),
    ("cell", "value", None, "value", "NoneType"),
    ("cell", "formula", None, "value", "NoneType"),
    ("cell", "style", None, "value", "NoneType"),
    ("cell", "style", 7, "value", "int"),
    ("cell", "hidden_value", True, "value", "bool"),
    ("comment", "author", 1, "val", "int"),
    ("comment", "text", None, "val", "NoneType"),
    ("sheet", "name", 3, "name", "int"),
]


@pytest.mark.parametrize("obj, prop, value, param, tname", SETTER_ERRORS)
def test_property_setter_errors(ctx, obj, prop, value, param, tname):
    target = getattr(ctx, obj)
    fails_cleanly(
        ctx,
        lambda c: setattr(target, prop, value),
        TypeError,
        f"argument '{param}': '{tname}' object cannot be converted to 'PyString'",
    )


WRITABLE = [
    ("sheet", "name"),
    ("cell", "value"),
    ("cell", "formula"),
    ("cell", "style"),
    ("cell", "hidden_value"),
    ("comment", "author"),
    ("comment", "text"),
]

READ_ONLY = [
    ("book", "sheets"),
    ("service", "_conn_db"),
    ("service", "_sheets"),
    ("sheet", "sheet_state"),
    ("sheet", "max_row"),
    ("sheet", "max_column"),
    ("sheet", "cells"),
    ("sheet", "merge_cells"),
    ("sheet", "comments"),
    ("cell", "row"),
    ("cell", "column"),
    ("cell", "letter"),
    ("cell", "data_type"),
    ("cell", "is_formula"),
    ("cell", "is_value_bool"),
    ("cell", "is_value_numeric"),
    ("cell", "is_value_integer"),
    ("cell", "is_value_datetime"),
    ("cell", "is_value_empty"),
    ("comment", "coordinate"),
    ("comment", "row"),
    ("comment", "column"),
]


@pytest.mark.parametrize("obj, prop", WRITABLE)
def test_deleting_a_writable_property(ctx, obj, prop):
    target = getattr(ctx, obj)
    fails_cleanly(ctx, lambda c: delattr(target, prop), AttributeError, "can't delete attribute")


@pytest.mark.parametrize("obj, prop", READ_ONLY)
def test_read_only_properties_refuse_assignment_and_deletion(ctx, obj, prop):
    target = getattr(ctx, obj)
    with unchanged(ctx.book):
        with pytest.raises(AttributeError) as set_info:
            setattr(target, prop, getattr(target, prop))
        with pytest.raises(AttributeError) as del_info:
            delattr(target, prop)
    # These come from the interpreter, which names the attribute.
    assert prop in str(set_info.value)
    assert prop in str(del_info.value)
    assert str(del_info.value) != "can't delete attribute"


def test_no_argument_methods_reject_arguments(ctx):
    for call in (
        lambda: ctx.book.to_json(1),
        lambda: ctx.book.to_dict(x=1),
        lambda: ctx.service.to_json(None),
        lambda: _brindel.version(1),
    ):
        with unchanged(ctx.book), pytest.raises(TypeError):
            call()


def test_bool_counts_as_an_integer(ctx):
    assert column_number_to_letter(True) == "A"
    assert column_number_to_letter(False) == ""
    assert get_letter_coordinate(True, True) == "A1"
    second = ctx.book.add_sheet("Second")
    assert ctx.book.get_sheet_index(True).name == second.name
    c = ctx.sheet.cell(True, False)
    assert (c.row, c.column) == (1, 0)
    c.set_value_integer(True)
    assert (c.value, c.is_value_integer) == ("1", True)
    c.set_value_number(False)
    assert (c.value, c.is_value_numeric) == ("0", True)
    ctx.sheet.set_height_row(True, True)
    assert ctx.sheet.get_height_by_row(1) == 1.0


def test_index_objects_are_accepted_everywhere_integers_are(ctx):
    assert column_number_to_letter(Index(28)) == "AB"
    assert get_letter_coordinate(Index(7), Index(2)) == "B7"
    c = ctx.sheet.cell(Index(4), Index(5), "x")
    assert (c.row, c.column, c.value) == (4, 5, "x")
    assert ctx.book.get_sheet_index(Index(0)).name == "Data"
    c.set_value_integer(Index(-7))
    assert c.value == "-7"
    c.set_value_number(Index(3))  # a real number may come through __index__
    assert (c.value, c.is_value_numeric) == ("3", True)
    ctx.sheet.set_width_column(Index(1), Index(9))
    assert ctx.sheet.get_width_by_column(1) == 9.0

    class Real:
        def __float__(self):
            return 2.5

    ctx.sheet.set_height_row(Index(9), Real())
    assert ctx.sheet.get_height_by_row(9) == 2.5


def test_int_subclasses_and_str_subclasses_are_accepted(ctx):
    class MyInt(int):
        pass

    class MyStr(str):
        pass

    c = ctx.sheet.cell(MyInt(3), MyInt(4), MyStr("7"))
    assert (c.row, c.column, c.value, c.data_type) == (3, 4, "7", "n")
    ctx.book.add_sheet(MyStr("Sub"), MyStr("hidden"))
    assert ctx.book.get_sheet_name("Sub").sheet_state == "hidden"


class NotQuiteTypeError(TypeError):
    pass


def test_errors_raised_by_index_hooks():
    book = Book()
    sheet = book.add_sheet("S")

    class Raises:
        def __init__(self, exc):
            self.exc = exc

        def __index__(self):
            raise self.exc

    # A plain TypeError gets the parameter's name and keeps its cause.
    root = ValueError("root")
    err = TypeError("boom")
    err.__cause__ = root
    with unchanged(book), pytest.raises(TypeError) as info:
        sheet.cell(Raises(err), 1)
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'row': boom"
    assert info.value.__cause__ is root

    # A subclass of TypeError, or any other exception, passes unchanged.
    sub = NotQuiteTypeError("sub")
    with unchanged(book), pytest.raises(NotQuiteTypeError) as info:
        sheet.cell(1, Raises(sub))
    assert info.value is sub
    val = ValueError("value")
    with unchanged(book), pytest.raises(ValueError) as info:
        sheet.delete_rows(Raises(val), 1)
    assert info.value is val

    class Bad:
        def __index__(self):
            return "1"

    with unchanged(book), pytest.raises(TypeError) as info:
        sheet.cell(Bad(), 1)
    assert re.fullmatch(r"argument 'row': __index__ returned non-int \(type str\)", str(info.value))


def test_conversion_runs_in_parameter_order_and_stops_at_the_first_error():
    book = Book()
    sheet = book.add_sheet("S")
    seen = []
    with unchanged(book), pytest.raises(TypeError) as info:
        sheet.add_merge_cells(Index(1, lambda: seen.append("a")), "x", Index(3, lambda: seen.append("c")), 4)
    assert str(info.value).startswith("argument 'end_row': ")
    assert seen == ["a"]


# ---- borrows ----


def test_reentrant_call_during_an_exclusive_borrow():
    book = Book()
    sheet = book.add_sheet("S")
    outcomes = []

    def reenter(call):
        def hook():
            try:
                call()
                outcomes.append("ok")
            except RuntimeError as e:
                outcomes.append(str(e))

        return hook

    # add_merge_cells holds the object exclusively while it converts.
    sheet.add_merge_cells(Index(1, reenter(lambda: sheet.cell(1, 1))), 2, 3, 4)
    sheet.add_merge_cells(Index(1, reenter(lambda: sheet.add_comment(1, 1, "t", "a"))), 2, 3, 4)
    sheet.add_merge_cells(Index(1, reenter(lambda: sheet.name)), 2, 3, 4)
    assert outcomes == ["Already mutably borrowed", "Already borrowed", "Already mutably borrowed"]

    # A shared borrow lets shared calls in but not exclusive ones.
    outcomes.clear()
    sheet.cell(Index(5, reenter(lambda: sheet.add_merge_cells(9, 9, 9, 9))), 1)
    sheet.cell(Index(6, reenter(lambda: sheet.get_value_cell(1, 1))), 1)
    assert outcomes == ["Already borrowed", "ok"]

    # Another view of the same sheet has its own flag: the engine takes its
    # locks only after conversion, so nothing waits.
    outcomes.clear()
    other = book.sheets[0]
    sheet.add_merge_cells(Index(1, reenter(lambda: other.add_comment(7, 7, "x", "y"))), 2, 3, 4)
    assert outcomes == ["ok"]

    # Every borrow was released on every path.
    sheet.add_merge_cells(5, 6, 7, 8)
    sheet.add_comment(1, 2, "after", "me")
    assert sheet.merge_cells == [(1, 2, 3, 4)] * 4 + [(5, 6, 7, 8)]
    assert [c.text for c in sheet.comments] == ["x", "after"]
    assert [(c.row, c.column) for c in sheet.cells] == [(5, 1), (6, 1)]


def test_borrow_released_after_a_failed_exclusive_call():
    book = Book()
    sheet = book.add_sheet("S")
    for _ in range(3):
        with pytest.raises(TypeError):
            sheet.add_merge_cells(1, 2, 3, "x")
        with pytest.raises(OverflowError):
            sheet.add_comment(-1, 1, "t", "a")
    sheet.add_merge_cells(1, 2, 3, 4)
    sheet.add_comment(1, 1, "t", "a")
    assert sheet.cell(1, 1).value == ""


def test_numpy_booleans_are_flags():
    np = pytest.importorskip("numpy")
    book = Book()
    sheet = book.add_sheet("S")
    sheet.set_hidden_row(1, np.bool_(True))
    sheet.set_hidden_column(2, np.bool_(False))
    assert sheet.get_hidden_by_row(1) is True
    assert sheet.get_hidden_by_column(2) is False
    with pytest.raises(TypeError):
        sheet.set_hidden_row(1, np.int64(1))
