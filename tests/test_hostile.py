"""Hostile input: every failure is a Python exception that changes nothing.

The table of callables and parameters is read from the package's type stubs,
so a method added there is covered by these tests without editing them."""

import ast
import datetime as dt
import math
import pathlib
import threading

import pytest

import _brindel
from _brindel import Book, Service, readable
from readable_support import cell, sheet
from workbook_support import Index, unchanged

STUBS = pathlib.Path(__file__).resolve().parent.parent / "python" / "brindel"


def _annotation(node):
    return "Any" if node is None else ast.unparse(node)


def _signatures():
    """(owner, name, [(param, annotation, has_default)], is_setter) per callable."""
    out = []
    for stub, prefix in (("__init__.pyi", ""), ("readable.pyi", "readable.")):
        tree = ast.parse((STUBS / stub).read_text())
        for node in tree.body:
            if isinstance(node, ast.FunctionDef):
                out.append((prefix.rstrip(".") or "module", node.name, _params(node, False), False))
            elif isinstance(node, ast.ClassDef):
                for item in node.body:
                    if not isinstance(item, ast.FunctionDef) or item.name.startswith("__"):
                        continue
                    decorators = [ast.unparse(d) for d in item.decorator_list]
                    if "property" in decorators:
                        continue
                    setter = any(d.endswith(".setter") for d in decorators)
                    out.append((node.name, item.name, _params(item, True), setter))
    return out


def _params(fn, method):
    args = fn.args.args[1:] if method else fn.args.args
    defaults = [None] * (len(args) - len(fn.args.defaults)) + list(fn.args.defaults)
    return [(a.arg, _annotation(a.annotation), d is not None) for a, d in zip(args, defaults)]


SIGNATURES = _signatures()

# The kinds of parameter the stubs use, each with a valid argument and the
# wrong-typed arguments that must be refused.
OTHER = object()
WRONG = {
    "int": ["1", 1.5, None, [], OTHER, b"1"],
    "int | None": ["1", 1.5, [], OTHER],
    "str": [1, None, b"x", [], OTHER, 1.5],
    "str | None": [1, b"x", [], OTHER, 1.5],
    "float": ["1.0", None, [], OTHER],
    "bool": ["yes", None, [], OTHER, 1.5],
    "SupportsIndex": ["1", 1.5, None, OTHER],
    "SupportsFloat | SupportsIndex": ["1.0", None, [], OTHER],
    "datetime.datetime": ["2020-01-01", 1, None, dt.date(2020, 1, 1), OTHER],
    "Sequence[int]": [1, None, OTHER, ["1"], [None], [1.5]],
    "Sequence[str]": [1, None, OTHER, [1], [None], [b"x"]],
    "Sheet": [1, None, "Data", OTHER],
    "list[Any]": [1, None, "cells", OTHER, (), {}],
}
TEXT_KINDS = {"str", "str | None", "Sequence[str]"}
REAL_KINDS = {"float", "SupportsFloat | SupportsIndex"}


class Ctx:
    def __init__(self):
        self.book = Book()
        self.sheet = self.book.add_sheet("Data")
        self.sheet.cell(1, 1, "a1")
        self.Cell = self.sheet.cell(2, 3, "12")
        self.sheet.add_comment(2, 3, "note", "ann")
        self.Comment = self.sheet.comments[0]
        self.Service = Service("conn")
        self.Service._add_sheet("Svc")
        self.cells = [cell(1, 1, "a1"), cell(2, 2, "b2")]
        self.sheets = [sheet(cells=self.cells)]
        self.Finder = readable.Finder(self.sheets)
        self.ReadableSheet = self.Finder.sheets[0]
        self.ReadableCell = self.ReadableSheet.cells[0]

    def target(self, owner, name):
        if owner == "module":
            return getattr(_brindel, name)
        if owner == "readable":
            return getattr(readable, name)
        obj = {"Book": self.book, "Sheet": self.sheet}.get(owner) or getattr(self, owner)
        return getattr(obj, name)

    def valid(self, param, kind):
        if param == "cells":
            return self.cells
        if param == "sheets":
            return self.sheets
        return {
            "int": 1, "int | None": None, "str": "x", "str | None": None, "float": 1.0, "bool": True,
            "SupportsIndex": 1, "SupportsFloat | SupportsIndex": 1.0,
            "datetime.datetime": dt.datetime(2020, 1, 2, 3, 4, 5),
            "Sequence[int]": [1], "Sequence[str]": ["x"], "Sheet": self.sheet,
        }[kind]


@pytest.fixture
def ctx():
    return Ctx()


def _cases(kinds=None, values=None):
    """(id, owner, name, setter, position, param, value) for every parameter of a kind."""
    for owner, name, params, setter in SIGNATURES:
        if name in ("summary_0", "_fmt_0"):
            continue  # a subclass's hooks: their arguments are the subclass's own
        for pos, (param, kind, _) in enumerate(params):
            if kinds is not None and kind not in kinds:
                continue
            for i, value in enumerate(values(kind) if values else WRONG.get(kind, [])):
                yield pytest.param(owner, name, setter, pos, value,
                                   id=f"{owner}.{name}.{param}-{i}")


def _call(ctx, owner, name, setter, pos, value):
    _, _, params, _ = next(s for s in SIGNATURES if s[:2] == (owner, name) and s[3] == setter)
    args = [ctx.valid(p, k) for p, k, _ in params]
    args[pos] = value
    if setter:
        obj = {"Book": ctx.book, "Sheet": ctx.sheet}.get(owner) or getattr(ctx, owner)
        setattr(obj, name, args[0])
    else:
        ctx.target(owner, name)(*args)


def _fails_cleanly(ctx, call, exc):
    with unchanged(ctx.book), unchanged(ctx.Service):
        json_cells = [c.value for c in ctx.ReadableSheet.cells]
        with pytest.raises(exc):
            call()
        assert [c.value for c in ctx.ReadableSheet.cells] == json_cells


def test_the_table_covers_every_kind_of_parameter():
    kinds = {k for _, _, params, _ in SIGNATURES for _, k, _ in params}
    assert kinds - {"Any"} <= set(WRONG), kinds - set(WRONG)
    names = {n for _, n, _, _ in SIGNATURES}
    assert {"find_cells_by_regex", "set_value_datetime", "get_sheets_with_names"} <= names


@pytest.mark.parametrize("owner, name, setter, pos, value", list(_cases()))
def test_every_parameter_refuses_every_wrong_type(ctx, owner, name, setter, pos, value):
    _fails_cleanly(ctx, lambda: _call(ctx, owner, name, setter, pos, value),
                   (TypeError, ValueError, OverflowError))


SURROGATES = ["\ud800", "x\udfff", "\udc80y"]


@pytest.mark.parametrize(
    "owner, name, setter, pos, value",
    list(_cases(TEXT_KINDS, lambda k: [[s] if k.startswith("Sequence") else s for s in SURROGATES])),
)
def test_lone_surrogates_in_every_text_parameter(ctx, owner, name, setter, pos, value):
    _fails_cleanly(ctx, lambda: _call(ctx, owner, name, setter, pos, value), UnicodeError)


@pytest.mark.parametrize(
    "owner, name, setter, pos, value",
    list(_cases(REAL_KINDS, lambda k: [math.nan, math.inf, -math.inf])),
)
def test_nan_and_infinities_in_every_real_parameter(ctx, owner, name, setter, pos, value):
    """A real number that is not finite is either refused cleanly or stored as
    something the document can still be written and read back from."""
    try:
        with unchanged(ctx.book):
            with pytest.raises((ValueError, OverflowError)):
                _call(ctx, owner, name, setter, pos, value)
    except pytest.fail.Exception:
        import json
        json.loads(ctx.book.to_json(), parse_constant=lambda c: pytest.fail(f"non-JSON {c}"))


# ---- sizes ----


def test_a_50_mb_text_value(ctx):
    big = "x" * (50 * 1024 * 1024)
    c = ctx.sheet.cell(5, 5, big)
    assert len(c.value) == len(big)
    assert ctx.sheet.find_cell_by_str(big).row == 5
    assert len(ctx.book.to_json()) > len(big)
    (r,) = readable.find_cells_by_str(big, [cell(1, 1, big)])
    assert len(r.value) == len(big)


@pytest.mark.parametrize("search", ["find_cell_by_str", "find_cells_by_str",
                                    "find_cell_by_regex", "find_cells_by_regex",
                                    "find_cell_by_letter"])
def test_a_1_mb_search_argument(ctx, search):
    arg = "a" * (1024 * 1024)
    with unchanged(ctx.book):
        try:
            got = getattr(ctx.sheet, search)(arg)
        except (ValueError, RuntimeError, MemoryError):
            return
        assert got in (None, [])
        got = getattr(readable, search)(arg, ctx.cells)
        assert got in (None, [])


# ---- callbacks from the arguments ----


class Boom(Exception):
    pass


def _raise():
    raise Boom("index")


INT_CALLS = [
    lambda c, i: c.sheet.cell(i, 1),
    lambda c, i: c.sheet.delete_rows(i, 1),
    lambda c, i: c.sheet.set_height_row(i, 3.0),
    lambda c, i: c.sheet.add_merge_cells(1, i, 1, 2),
    lambda c, i: c.Cell.set_value_integer(i),
    lambda c, i: c.book.get_sheet_index(i),
    lambda c, i: c.ReadableSheet.find_values_by_col_rows(1, [1, i]),
    lambda c, i: readable.find_cells_range_rows(i, 5, c.cells),
]


@pytest.mark.parametrize("call", INT_CALLS)
def test_index_that_raises_or_is_huge(ctx, call):
    _fails_cleanly(ctx, lambda: call(ctx, Index(1, _raise)), Boom)
    _fails_cleanly(ctx, lambda: call(ctx, Index(2**200)), OverflowError)


@pytest.mark.parametrize("call", INT_CALLS)
def test_index_that_calls_back_into_the_same_object(ctx, call):
    seen = []

    def reenter():
        try:
            seen.append(ctx.sheet.max_row)
            ctx.sheet.cell(9, 9, "re")
            ctx.Cell.value = "re"
            seen.append(ctx.book.to_json())
        except RuntimeError as e:
            assert str(e) in ("Already borrowed", "Already mutably borrowed")
            seen.append(str(e))

    done = threading.Event()
    result = []

    def run():
        try:
            call(ctx, Index(1, reenter))
        except BaseException as e:  # noqa: BLE001 - reported below
            result.append(e)
        done.set()

    t = threading.Thread(target=run, daemon=True)
    t.start()
    assert done.wait(60), "re-entrant call deadlocked"
    assert all(isinstance(e, (RuntimeError, OverflowError)) for e in result), result
    assert seen
    ctx.book.to_json()


class StrList(list):
    """A list whose items change the list while they are converted."""


class Mutator:
    def __init__(self, target, action, text="m"):
        self.target, self.action, self.text = target, action, text

    def __str__(self):
        action, self.action = self.action, None  # once: a list that grows on every read never ends
        if action is not None:
            action(self.target)
        return self.text


@pytest.mark.parametrize("action", [list.clear, lambda l: l.extend([cell(7, 7, "g")] * 1000),
                                    lambda l: l.pop(), lambda l: l.insert(0, 5)])
def test_cell_and_sheet_lists_changed_while_they_are_read(action):
    cells = [cell(1, 1), cell(2, 1), cell(3, 1)]
    cells[1]["value"] = Mutator(cells, action)
    try:
        readable.find_cells_by_str("m", cells)
    except (TypeError, KeyError, AttributeError):
        pass
    sheets = [sheet(name="a"), sheet(name="b"), sheet(name="c")]
    sheets[1]["name"] = Mutator(sheets, lambda l: action(l) if l and isinstance(l[0], dict) else None)
    try:
        readable.Finder(sheets)
    except (TypeError, KeyError, AttributeError):
        pass


@pytest.mark.parametrize("bad", [
    lambda: type("S", (), {"__str__": lambda self: 5})(),
    lambda: type("S", (), {"__str__": lambda self: _raise()})(),
])
def test_str_that_raises_or_returns_a_non_str(bad):
    for field in ("value", "formula", "data_type", "style_id"):
        with pytest.raises((TypeError, Boom)):
            readable.find_cells_by_str("x", [cell(**{field: bad()})])


def test_dict_subclasses_with_missing_and_a_raising_getitem():
    class Missing(dict):
        def __missing__(self, key):
            raise Boom(key)

    class Getitem(dict):
        def __getitem__(self, key):
            raise Boom(key)

    for kind in (Missing, Getitem):
        with pytest.raises(Boom):
            readable.find_cells_by_str("x", [kind(row=1)])
        with pytest.raises(Boom):
            readable.Finder([kind(name="s")])


def test_deeply_nested_list_as_a_value_of_every_snapshot_field():
    deep = []
    for _ in range(50_000):
        deep = [deep]
    for field in ("value", "formula", "style_id", "data_type"):
        with pytest.raises(RecursionError):
            readable.find_cells_by_str("x", [cell(**{field: deep})])
