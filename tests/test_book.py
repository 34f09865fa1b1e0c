"""Book and Service: sheet management, representations and the JSON document."""

import gc
import json
import sys
import types
import weakref

import pytest

from _brindel import Book, Service
from workbook_support import Index, unchanged

EMPTY_SHEET_S = (
    '{"name":"S","sheet_state":"visible","merge_cells":[],"cells":[],'
    '"row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},'
    '"comments":[]}'
)


class Report(Service):
    def summary_0(self, sheets, /, **kwargs):
        return ("summary", len(sheets), kwargs)

    def _fmt_0(self, **kwargs):
        return ("fmt", kwargs)


# Book and Service offer the same workbook operations under two sets of names.
class BookFace:
    def __init__(self):
        self.obj = Book()
        self.add_sheet = self.obj.add_sheet
        self.copy_sheet = self.obj.copy_sheet
        self.get_sheet_index = self.obj.get_sheet_index
        self.get_sheet_name = self.obj.get_sheet_name

    @property
    def sheets(self):
        return self.obj.sheets


class ServiceFace:
    def __init__(self):
        self.obj = Service(object())
        self.add_sheet = self.obj._add_sheet
        self.copy_sheet = self.obj._copy_sheet
        self.get_sheet_index = self.obj._get_sheet_index
        self.get_sheet_name = self.obj._get_sheet_name

    @property
    def sheets(self):
        return self.obj._sheets


@pytest.fixture(params=[BookFace, ServiceFace], ids=["Book", "Service"])
def face(request):
    return request.param()


# ---- the workbook operations, on both classes ----


def test_new_workbook_is_empty(face):
    assert face.sheets == []
    assert face.obj.to_json() == '{"sheets":[]}'
    assert face.obj.to_dict() == {"sheets": []}
    assert face.get_sheet_index(0) is None
    assert face.get_sheet_name("") is None


def test_add_and_find_sheets(face):
    a = face.add_sheet("A")
    b = face.add_sheet("A", "hidden")
    face.add_sheet("", sheet_state="")
    face.add_sheet(name="Ж", sheet_state="veryHidden")
    assert [(s.name, s.sheet_state) for s in face.sheets] == [
        ("A", "visible"), ("A", "hidden"), ("", ""), ("Ж", "veryHidden"),
    ]
    first = face.get_sheet_name("A")
    assert first is not a and first.sheet_state == "visible"
    assert face.get_sheet_name("a") is None
    assert face.get_sheet_name("A ") is None
    assert face.get_sheet_name("").sheet_state == ""
    assert face.get_sheet_name("Ж").sheet_state == "veryHidden"
    assert face.get_sheet_index(1).sheet_state == "hidden"
    assert face.get_sheet_index(True).sheet_state == "hidden"
    assert face.get_sheet_index(3).name == "Ж"
    for idx in (-1, -4, 4, 2**31 - 1, -(2**31)):
        assert face.get_sheet_index(idx) is None
    b.name = "B"
    assert face.get_sheet_name("B").sheet_state == "hidden"
    assert face.get_sheet_name("A") is not None


def test_sheets_are_fresh_live_views(face):
    s = face.add_sheet("X")
    v1, v2 = face.sheets[0], face.sheets[0]
    assert v1 is not v2
    v1.cell(1, 1, "shown")
    assert v2.get_value_cell(1, 1) == "shown"
    assert s.get_value_cell(1, 1) == "shown"
    assert '"value":"shown"' in face.obj.to_json()
    listing = face.sheets
    listing.clear()
    assert len(face.sheets) == 1


def test_sheet_outlives_its_workbook(face):
    s = face.add_sheet("Keep")
    s.cell(1, 1, "v")
    del face.obj, face.add_sheet, face.copy_sheet, face.get_sheet_index, face.get_sheet_name
    gc.collect()
    assert s.get_value_cell(1, 1) == "v"
    assert repr(s) == "Sheet (Keep) cells: 1"


def test_copy_sheet(face):
    src = face.add_sheet("Src")
    src.cell(1, 1, "1")
    copy = face.copy_sheet(src)
    assert copy.name == "Sheet 2"
    assert face.copy_sheet(sheet=src).name == "Sheet 3"
    elsewhere = Book().add_sheet("Elsewhere")
    assert face.copy_sheet(elsewhere).name == "Sheet 4"
    copy.cell(1, 1).set_value_integer(2)
    assert src.get_value_cell(1, 1) == "2"


def test_book_and_service_build_identical_documents():
    def build(add_sheet, copy_sheet):
        s = add_sheet("A")
        s.cell(1, 1, "1")
        s.add_merge_cells(1, 1, 1, 2)
        s.add_comment(1, 1, "t", "a")
        s.set_width_column(1, 9.0)
        copy_sheet(s)
        add_sheet("B", "hidden")

    book, svc = Book(), Service(None)
    build(book.add_sheet, book.copy_sheet)
    build(svc._add_sheet, svc._copy_sheet)
    assert book.to_json() == svc.to_json()
    assert book.to_dict() == svc.to_dict()


# ---- Book ----


def test_book_repr():
    b = Book()
    assert repr(b) == "Book, sheets: 0"
    b.add_sheet("A")
    b.add_sheet("A", "hidden")
    assert repr(b) == "Book, sheets: 2"
    b.copy_sheet(b.sheets[0])
    assert repr(b) == "Book, sheets: 3"


def test_book_identity_semantics():
    a, b = Book(), Book()
    assert a != b and a == a
    assert len({a, b, a}) == 2
    assert Book.__new__(Book).to_json() == '{"sheets":[]}'
    with pytest.raises(TypeError):
        len(a)
    with pytest.raises(TypeError):
        iter(a)


# ---- Service ----


def test_service_keeps_its_connection():
    conn = object()
    svc = Service(conn)
    assert svc._conn_db is conn
    assert Service(conn_db=None)._conn_db is None
    assert repr(Service([])) == "Service, sheets: 0"


def test_service_hooks_raise_not_implemented():
    svc = Service(None)
    svc._add_sheet("A")
    with unchanged(svc), pytest.raises(NotImplementedError) as info:
        svc.summary_0([])
    assert str(info.value) == "Method 'summary_0' is not implemented"
    with pytest.raises(NotImplementedError, match=r"^Method 'summary_0' is not implemented$"):
        svc.summary_0(svc._sheets, option=1, other="x")

    class Sheets(list):
        pass

    with pytest.raises(NotImplementedError):
        svc.summary_0(Sheets())
    with unchanged(svc), pytest.raises(NotImplementedError) as info:
        svc._fmt_0(a=1)
    assert str(info.value) == "Method 'fmt_0' is not implemented"
    with pytest.raises(NotImplementedError, match=r"^Method 'fmt_0' is not implemented$"):
        svc._fmt_0()


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda s: s.summary_0(()),
         "argument 'sheets': 'tuple' object cannot be converted to 'PyList'"),
        (lambda s: s.summary_0(None, a=1),
         "argument 'sheets': 'NoneType' object cannot be converted to 'PyList'"),
        (lambda s: s.summary_0("ab"),
         "argument 'sheets': 'str' object cannot be converted to 'PyList'"),
        (lambda s: s.summary_0(), None),
        (lambda s: s.summary_0(sheets=[]), None),
        (lambda s: s.summary_0([], []), None),
        (lambda s: s._fmt_0(1), None),
        (lambda s: s._fmt_0([], a=1), None),
    ],
)
def test_service_hook_argument_errors(call, message):
    svc = Service(None)
    with unchanged(svc), pytest.raises(TypeError) as info:
        call(svc)
    assert type(info.value) is TypeError
    if message is not None:
        assert str(info.value) == message


def test_service_calls_never_conflict_with_each_other():
    svc = Service(None)
    svc._add_sheet("A")
    inner = []
    found = svc._get_sheet_index(Index(0, lambda: inner.append(svc._add_sheet("B"))))
    assert found.name == "A" and inner[0].name == "B"
    found = svc._get_sheet_index(Index(1, lambda: inner.append(svc._copy_sheet(found))))
    assert found.name == "B" and inner[1].name == "Sheet 3"
    assert repr(svc) == "Service, sheets: 3"


def test_service_subclass():
    r = Report("db")
    r._add_sheet("One")
    r._add_sheet("Two")
    assert repr(r) == "Report, sheets: 2"
    assert r.summary_0(r._sheets, x=1) == ("summary", 2, {"x": 1})
    assert r._fmt_0(y=2) == ("fmt", {"y": 2})
    assert r._conn_db == "db"
    r.extra = "instance dict works"
    assert r.extra == "instance dict works"
    assert isinstance(r, Service) and type(r).__mro__[1] is Service


def test_service_subclass_repr_uses_the_qualified_name():
    class Inner(Service):
        pass

    assert repr(Inner(None)) == f"{Inner.__qualname__}, sheets: 0"


def test_service_subclass_with_a_wider_initialiser():
    class NeedsNew(Service):
        def __init__(self, conn_db, period):
            self.period = period

    with pytest.raises(TypeError, match=r"^Service\.__new__\(\) takes 1 positional arguments but 2 were given$"):
        NeedsNew("db", "2024-01")

    class WithNew(Service):
        def __new__(cls, conn_db, period):
            return super().__new__(cls, conn_db)

        def __init__(self, conn_db, period):
            self.period = period

    w = WithNew("db", "2024-01")
    assert (w._conn_db, w.period) == ("db", "2024-01")


def test_service_releases_its_connection_and_cycles():
    class Conn:
        pass

    conn = Conn()
    ref = weakref.ref(conn)
    svc = Service(conn)
    del conn
    assert ref() is not None
    del svc
    gc.collect()
    assert ref() is None

    # A service that refers to itself through its connection is collected.
    class Holder:
        pass

    holder = Holder()
    r = Report(holder)
    holder.service = r
    sheet = r._add_sheet("Lives on")
    sheet.cell(1, 1, "v")
    ref = weakref.ref(holder)
    del holder, r
    gc.collect()
    assert ref() is None
    assert sheet.get_value_cell(1, 1) == "v"


# ---- the document ----


def test_empty_book_document():
    assert Book().to_json() == '{"sheets":[]}'


def test_empty_sheet_document():
    b = Book()
    b.add_sheet("S")
    assert b.to_json() == '{"sheets":[' + EMPTY_SHEET_S + "]}"
    b.add_sheet("S")
    assert b.to_json() == '{"sheets":[' + EMPTY_SHEET_S + "," + EMPTY_SHEET_S + "]}"


def test_report_example_document():
    b = Book()
    s = b.add_sheet("Report")
    s.add_merge_cells(1, 1, 1, 3)
    s.cell(1, 1, "Title")
    s.cell(2, 1).set_value_number(12.5)
    s.cell(2, 2, "3")
    s.set_height_row(1, 30.0)
    s.set_width_column(2, 10.0)
    s.set_hidden_column(2, True)
    s.add_comment(1, 1, "Check", "Ann")
    assert b.to_json() == (
        '{"sheets":[{"name":"Report","sheet_state":"visible","merge_cells":[[1,1,1,3]],'
        '"cells":[{"row":1,"column":1,"value":"Title","data_type":"s"},'
        '{"row":2,"column":1,"value":12.5,"data_type":"n"},'
        '{"row":2,"column":2,"value":3,"data_type":"n"}],'
        '"row_dimensions":{"rows":{"1":{"row_num":1,"height":30.0,"hidden":false,'
        '"collapsed":false,"level":0}},"default_height":20.0},'
        '"column_dimensions":{"columns":{"2":{"col_num":2,"width":10.0,"hidden":true,'
        '"collapsed":false,"level":0}},"default_width":22.5},'
        '"comments":[{"row":1,"column":1,"author":"Ann","text":"Check"}]}]}'
    )
    assert b.to_dict() == json.loads(b.to_json())


def test_cell_order_and_key_order_in_the_document():
    b = Book()
    s = b.add_sheet("S")
    s.cell(2, 2, "b2")
    s.cell(2, 1, "a2")
    c = s.cell(1, 1, "a1")
    c.formula = "=B2"
    c.style = "bold"
    c.hidden_value = "h"
    s.cell(1, 0)
    text = b.to_json()
    assert (
        '"cells":[{"row":1,"column":0,"value":null,"data_type":"s"},'
        '{"row":1,"column":1,"value":"a1","formula":"=B2","data_type":"f","style_id":"bold",'
        '"hidden_value":"h"},'
        '{"row":2,"column":1,"value":"a2","data_type":"s"},'
        '{"row":2,"column":2,"value":"b2","data_type":"s"}]'
    ) in text


@pytest.mark.parametrize(
    "name, written",
    [
        ('say "hi"\n', '"say \\"hi\\"\\n"'),
        ("back\\slash/", '"back\\\\slash/"'),
        ("é ж 😀 \u2028", '"é ж 😀 \u2028"'),
        ("\x00\x08\x09\x0a\x0b\x0c\x0d\x1b\x1f\x20\x7f", '"\\u0000\\b\\t\\n\\u000b\\f\\r\\u001b\\u001f \x7f"'),
        ("", '""'),
    ],
)
def test_strings_in_the_document(name, written):
    b = Book()
    s = b.add_sheet(name, name)
    s.cell(1, 1, name)
    s.add_comment(1, 1, name, name)
    text = b.to_json()
    assert text.startswith('{"sheets":[{"name":' + written + ',"sheet_state":' + written + ",")
    assert '"value":' + (written if name else "null") in text
    assert '"author":' + written + ',"text":' + written + "}" in text
    d = b.to_dict()["sheets"][0]
    assert (d["name"], d["sheet_state"], d["comments"][0]["text"]) == (name, name, name)


def test_empty_value_cell_is_listed():
    b = Book()
    s = b.add_sheet("S")
    s.cell(3, 3, "x")
    s.cell(3, 3, "")
    assert json.loads(b.to_json())["sheets"][0]["cells"] == [
        {"row": 3, "column": 3, "value": None, "data_type": "s"}
    ]


def assert_same(a, b):
    # == alone would take 1 for 1.0 and True; the types must agree too.
    assert type(a) is type(b), (a, b)
    if isinstance(a, dict):
        assert list(a) == list(b)
        for k in a:
            assert_same(a[k], b[k])
    elif isinstance(a, list):
        assert len(a) == len(b)
        for x, y in zip(a, b):
            assert_same(x, y)
    elif isinstance(a, float) and a == 0:
        assert str(a) == str(b)
    else:
        assert a == b


def test_to_dict_equals_parsed_json_for_a_full_book():
    import datetime as dt
    import math

    b = Book()
    s = b.add_sheet("All", "hidden")
    s.cell(1, 1, "text")
    s.cell(1, 2, "12")
    s.cell(1, 3, "1.5")
    s.cell(1, 4, "true")
    s.cell(1, 5, "2024-01-05 10:00:00")
    s.cell(1, 6).set_value_number(math.nan)
    s.cell(1, 7).set_value_datetime(dt.datetime(2024, 1, 5, 10, 0, 0, 5))
    s.cell(1, 8).formula = "=A1"
    s.set_height_row(4294967295, 1e300)
    s.set_width_column(65535, 1e-300)
    s.add_merge_cells(4294967295, 0, 65535, 0)
    s.cell(300, 1, "-0.0")
    s.cell(300, 300, "-7")
    s.cell(299, 2, "2147483648")
    s.cell(70000, 2, "x").style = "st"
    s.cell(2, 2).hidden_value = "h"
    s.add_comment(5, 6, "note", "me")
    s.set_height_row(7, math.inf)
    s.set_hidden_row(7, True)
    b.copy_sheet(s)
    d = b.to_dict()
    assert_same(d, json.loads(b.to_json()))
    assert type(d["sheets"][0]["row_dimensions"]["default_height"]) is float
    assert d["sheets"][0]["cells"][6]["value"] == "2024-01-05T10:00:00.000005"
    assert d["sheets"][0]["cells"][5]["value"] is None
    assert d["sheets"][0]["merge_cells"] == [[4294967295, 0, 65535, 0]]
    assert d["sheets"][1]["name"] == "Sheet 2"


def test_to_dict_uses_the_interpreters_json_module(monkeypatch):
    b = Book()
    b.add_sheet("S")
    seen = []

    class Refused(Exception):
        pass

    fake = types.ModuleType("json")

    def loads(text):
        seen.append(text)
        raise Refused("no")

    fake.loads = loads
    monkeypatch.setitem(sys.modules, "json", fake)
    with pytest.raises(Refused):
        b.to_dict()
    with pytest.raises(Refused):
        Service(None).to_dict()
    assert seen[0] == b.to_json()
    fake.loads = lambda text: ("parsed", text)
    assert b.to_dict() == ("parsed", b.to_json())
    monkeypatch.delitem(sys.modules, "json")
    monkeypatch.setattr("builtins.__import__", _refuse_json(__import__))
    with pytest.raises(ImportError, match="json blocked"):
        b.to_dict()


def _refuse_json(real_import):
    def guarded(name, *args, **kwargs):
        if name == "json":
            raise ImportError("json blocked")
        return real_import(name, *args, **kwargs)

    return guarded


def test_document_is_stable_across_calls_and_copies():
    b = Book()
    s = b.add_sheet("S")
    for r in (9, 3, 7, 1):
        s.set_height_row(r, float(r))
        s.set_width_column(r, float(r))
        s.cell(r, r, str(r))
    first = b.to_json()
    assert all(b.to_json() == first for _ in range(5))
    other = Book()
    other.copy_sheet(s)
    assert other.to_json().replace('"Sheet 1"', '"S"', 1) == first


@pytest.mark.parametrize("odd", ["", "é", "\u2028", "😀", "\x01\""])
def test_a_document_of_more_than_a_megabyte_reads_back(odd):
    # The writer's output comes in pieces of about a megabyte; a text value
    # straddles nothing, whatever lands where.
    b = Book()
    s = b.add_sheet("Big" + odd)
    for r in range(1, 3001):
        s.cell(r, 1, f"row {r} " + "x" * (r % 700) + (odd if r == 1500 else ""))
        s.cell(r, 2, str(r * 0.5))
    text = b.to_json()
    assert len(text) > 1_200_000
    cells = json.loads(text)["sheets"][0]["cells"]
    assert json.loads(text)["sheets"][0]["name"] == "Big" + odd
    assert [c["value"] for c in cells[::2]] == [
        f"row {r} " + "x" * (r % 700) + (odd if r == 1500 else "") for r in range(1, 3001)
    ]
    assert cells[1]["value"] == 0.5 and cells[-1]["value"] == 1500
    assert b.to_dict() == json.loads(text)
