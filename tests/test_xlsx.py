import datetime
import io

import pytest

import brindel

openpyxl = pytest.importorskip("openpyxl")
pytest.importorskip("xlsxwriter")
from brindel import xlsx  # noqa: E402


@pytest.fixture
def book():
    """A book that uses every feature the file can carry."""
    b = brindel.Book()
    s = b.add_sheet("Data")
    s.cell(1, 1, "Title")
    s.add_merge_cells(1, 1, 1, 3)
    s.cell(2, 1, "007").set_value_integer(7)
    s.cell(2, 2).value = "plain text"
    s.cell(2, 3, "2.5")
    s.cell(3, 1, "true")
    total = s.cell(3, 2, "12")
    total.formula = "=A2+5"
    total.style = "money"
    s.cell(4, 1).set_value_datetime(datetime.datetime(2024, 3, 1, 8, 30, 0, 250000))
    s.cell(5, 1).style = "money"  # an empty cell that carries a style
    s.cell(6, 1)  # an empty cell without style
    s.add_comment(2, 1, "Check this", "Ann")
    s.set_height_row(2, 33.0)
    s.set_hidden_row(3, True)
    s.set_width_column(2, 18.0)
    s.set_hidden_column(4, True)
    b.add_sheet("Back", "hidden").cell(1, 1, "x")
    b.add_sheet("Deep", "veryHidden")
    return b


STYLES = {"money": {"num_format": "0.00", "bold": True}}


def written(book, **kw):
    buf = io.BytesIO()
    xlsx.write(book, buf, **kw)
    buf.seek(0)
    return buf


def test_round_trip_through_the_real_reader(book, tmp_path):
    path = tmp_path / "r.xlsx"
    xlsx.write(book, path, styles=STYLES)
    wb = openpyxl.load_workbook(path)
    ws = wb["Data"]
    assert [w.title for w in wb.worksheets] == ["Data", "Back", "Deep"]
    assert [w.sheet_state for w in wb.worksheets] == ["visible", "hidden", "veryHidden"]
    assert ws["A1"].value == "Title"
    assert [str(r) for r in ws.merged_cells.ranges] == ["A1:C1"]
    assert ws["A2"].value == 7 and ws["A2"].data_type == "n"
    assert ws["B2"].value == "plain text"
    assert ws["C2"].value == 2.5
    assert ws["A3"].value is True
    assert ws["B3"].value == "=A2+5"
    assert ws["B3"].number_format == "0.00" and ws["B3"].font.b
    assert ws["A4"].value == datetime.datetime(2024, 3, 1, 8, 30, 0, 250000)
    assert ws["A4"].is_date
    assert ws["A5"].has_style and ws["A5"].value is None
    assert ws["A2"].comment.text == "Check this" and ws["A2"].comment.author == "Ann"
    assert ws.row_dimensions[2].height == 33.0
    assert ws.row_dimensions[3].hidden
    assert ws.column_dimensions["B"].width == pytest.approx(18.0, abs=1)
    assert ws.column_dimensions["D"].hidden
    cached = openpyxl.load_workbook(path, data_only=True)["Data"]
    assert cached["B3"].value == 12  # the carried value is the cached result


def test_texts_are_never_reinterpreted():
    b = brindel.Book()
    s = b.add_sheet("S")
    s.cell(1, 1).value = "x"
    doc = b.to_dict()
    doc["sheets"][0]["cells"][0]["value"] = "007"  # a text that looks like a number
    ws = openpyxl.load_workbook(written(doc))["S"]
    assert ws["A1"].value == "007" and ws["A1"].data_type == "s"


def test_accepts_service_and_document(book):
    svc = brindel.Service(None)
    svc._add_sheet("S").cell(1, 1, "1")
    assert openpyxl.load_workbook(written(svc))["S"]["A1"].value == 1
    assert openpyxl.load_workbook(written(book.to_dict()))["Data"]["A1"].value == "Title"


def test_unknown_style_is_written_unstyled(book):
    ws = openpyxl.load_workbook(written(book))["Data"]
    assert ws["B3"].number_format == "General"


def sheet_doc(**changes):
    b = brindel.Book()
    b.add_sheet("S")
    doc = b.to_dict()
    doc["sheets"][0].update(changes)
    return doc


@pytest.mark.parametrize(
    "doc, message",
    [
        (sheet_doc(cells=[{"row": 0, "column": 1, "value": 1, "data_type": "n"}]), "row 0"),
        (sheet_doc(cells=[{"row": 1, "column": 0, "value": 1, "data_type": "n"}]), "column 0"),
        (sheet_doc(cells=[{"row": 1048577, "column": 1, "value": 1, "data_type": "n"}]), "row 1048577"),
        (sheet_doc(cells=[{"row": 1, "column": 16385, "value": 1, "data_type": "n"}]), "column 16385"),
        (sheet_doc(merge_cells=[[1, 2, 1, 2], [2, 3, 2, 3]]), "overlap"),
        (sheet_doc(merge_cells=[[3, 1, 1, 2]]), "starts after it ends"),
        (sheet_doc(merge_cells=[[0, 1, 1, 2]]), "row 0"),
        (sheet_doc(sheet_state="gone"), "'gone'"),
        (sheet_doc(name="a/b"), "'a/b'"),
        (sheet_doc(name=""), "needs a name"),
        (sheet_doc(name="x" * 32), "31"),
        (sheet_doc(comments=[{"row": 0, "column": 1, "author": "a", "text": "t"}]), "comment"),
    ],
)
def test_what_the_format_cannot_hold(doc, message):
    target = io.BytesIO()
    with pytest.raises(ValueError, match=message) as e:
        xlsx.write(doc, target)
    assert "'S'" in str(e.value) or "sheet name" in str(e.value)
    assert target.getvalue() == b""  # nothing written


def test_duplicate_names_are_refused():
    b = brindel.Book()
    b.add_sheet("Data")
    b.add_sheet("data")
    with pytest.raises(ValueError, match="used twice"):
        xlsx.write(b, io.BytesIO())


def test_read_sheets_feeds_the_finder(book):
    sheets = xlsx.read_sheets(written(book, styles=STYLES))
    data = sheets[0]
    assert data["name"] == "Data" and data["merge_cells"] == [[1, 1, 1, 3]]
    for c in data["cells"]:
        assert set(c) == {"row", "column", "value", "formula", "data_type", "style_id"}
    formula = next(c for c in data["cells"] if c["formula"])
    assert formula["data_type"] == "f" and formula["formula"] == "=A2+5" and formula["value"] == 12
    finder = brindel.readable.create_finder(sheets)
    rs = finder.find_sheet_by_name("Data")
    assert rs.find_cell_by_regex("plain").letter == "B2"
    assert rs.get_value_cell(2, 1) == "7"
    # str() of a datetime with microseconds is not the canonical form: it stays text
    assert rs.get_value_cell(4, 1) == "2024-03-01 08:30:00.250000"


def test_unwritable_path_is_an_os_error(book, tmp_path):
    with pytest.raises(OSError):
        xlsx.write(book, tmp_path / "missing-dir" / "r.xlsx")
