"""examples/monthly_report.py end to end: SQLite in, a real .xlsx file out.

The script runs as a user runs it, in a fresh working directory; the file is
read back with openpyxl and its figures compared with the database.
"""

import datetime
import importlib.util
import os
import pathlib
import sqlite3
import subprocess
import sys

import pytest

import _brindel
import brindel

openpyxl = pytest.importorskip("openpyxl")
pytest.importorskip("xlsxwriter")

SCRIPT = pathlib.Path(__file__).resolve().parents[1] / "examples" / "monthly_report.py"


def load_example():
    spec = importlib.util.spec_from_file_location("monthly_report", SCRIPT)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


example = load_example()


def run(cwd, *args):
    paths = {str(pathlib.Path(brindel.__file__).parent.parent), str(pathlib.Path(_brindel.__file__).parent)}
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(sorted(paths) + [p for p in [env.get("PYTHONPATH")] if p])
    return subprocess.run([sys.executable, str(SCRIPT), *args], cwd=cwd, env=env,
                          capture_output=True, text=True)


def load(path):
    """(workbook with formulas, workbook with the cached values)."""
    return openpyxl.load_workbook(path), openpyxl.load_workbook(path, data_only=True)


def rows_between(ws, first_label, last_label):
    """The rows of column A from the one labelled first_label to last_label."""
    labels = [c.value for c in ws["A"]]
    start = labels.index(first_label)
    end = next(i for i in range(start, len(labels)) if labels[i] == last_label)
    return start + 1, end + 1  # as row numbers


@pytest.fixture
def demo(tmp_path):
    r = run(tmp_path)
    assert r.returncode == 0, r.stderr
    conn = example.demo_database()
    yield tmp_path / "report.xlsx", r.stdout, conn
    conn.close()


def test_default_run_writes_report_xlsx_from_the_demo_data(demo):
    path, stdout, conn = demo
    wb, values = load(path)
    month = conn.execute(example.LATEST_MONTH_SQL).fetchone()[0]
    assert stdout.splitlines()[0] == f"Monthly report {month}: 4 sheets written to report.xlsx"
    assert [(ws.title, ws.sheet_state) for ws in wb.worksheets] == [
        ("Summary", "visible"), ("By product", "visible"), ("Daily", "visible"),
        ("Queries", "hidden"),
    ]

    # Summary: one line per region, as the database adds it up.
    ws, wv = wb["Summary"], values["Summary"]
    assert ws["A1"].value == "Monthly sales report" and ws["A1"].font.b
    assert {"A1:E1", "A2:E2"} <= {str(r) for r in ws.merged_cells.ranges}
    assert [c.value for c in ws[4]] == ["Region", "Sales", "Units", "Revenue", "Share"]
    expected = dict(conn.execute(
        "SELECT r.name, ROUND(SUM(s.units * s.unit_price), 2) FROM sales s"
        " JOIN regions r ON r.id = s.region_id WHERE s.sold_on LIKE ? GROUP BY r.name",
        (month + "-%",)).fetchall())
    first, total = rows_between(ws, "Region", "Total")
    got = {ws.cell(r, 1).value: ws.cell(r, 4).value for r in range(first + 1, total)}
    assert got == pytest.approx(expected)
    assert ws.cell(total, 4).value == f"=SUM(D{first + 1}:D{total - 1})"
    assert wv.cell(total, 4).value == pytest.approx(sum(expected.values()))
    assert wv.cell(total, 5).value == pytest.approx(1.0)
    assert ws.cell(total, 4).number_format == "#,##0.00"
    assert sum(wv.cell(r, 5).value for r in range(first + 1, total)) == pytest.approx(1.0)
    assert ws.cell(total, 4).comment.author == "Monthly report"
    assert ws.column_dimensions["A"].width == pytest.approx(18.0, abs=1)


def test_product_blocks_add_up_to_their_subtotals_and_the_total(demo):
    path, stdout, conn = demo
    wb, values = load(path)
    ws, wv = wb["By product"], values["By product"]
    categories = [c.value for c in ws["A"] if str(c.value).startswith("Category: ")]
    assert categories == ["Category: Accessories", "Category: Furniture", "Category: Lighting"]
    merged = {str(r) for r in ws.merged_cells.ranges}
    grand = 0.0
    for heading in categories:
        name = heading.removeprefix("Category: ")
        start, sub = rows_between(ws, heading, f"Subtotal {name}")
        assert f"A{start}:D{start}" in merged
        assert [c.value for c in ws[start + 1]] == ["Product", "Sales", "Units", "Revenue"]
        lines = range(start + 2, sub)
        assert ws.cell(sub, 4).value == f"=SUM(D{lines[0]}:D{lines[-1]})"
        assert wv.cell(sub, 4).value == pytest.approx(sum(ws.cell(r, 4).value for r in lines))
        grand += wv.cell(sub, 4).value
    summary = values["Summary"]
    _, total = rows_between(summary, "Region", "Total")
    assert grand == pytest.approx(summary.cell(total, 4).value)
    # The best seller carries a comment, and only it.
    notes = [(c.row, c.comment.text) for row in ws.iter_rows() for c in row if c.comment]
    assert len(notes) == 1 and notes[0][1] == "Best seller of the month"
    assert ws.cell(notes[0][0], 4).value == max(
        c.value for c in ws["D"] if isinstance(c.value, (int, float)))
    assert "3 category blocks add up to the total" in stdout


def test_daily_sheet_has_one_dated_line_per_day_with_sales(demo):
    path, _, conn = demo
    wb, values = load(path)
    ws = wb["Daily"]
    month = conn.execute(example.LATEST_MONTH_SQL).fetchone()[0]
    days = [d for (d,) in conn.execute(
        "SELECT DISTINCT sold_on FROM sales WHERE sold_on LIKE ? ORDER BY sold_on",
        (month + "-%",))]
    first, total = rows_between(ws, "Date", "Total")
    dates = [ws.cell(r, 1).value for r in range(first + 1, total)]
    assert dates == [datetime.datetime.strptime(d, "%Y-%m-%d") for d in days]
    assert ws.cell(first + 1, 1).number_format == "yyyy-mm-dd"
    assert ws.cell(total, 3).value == f"=SUM(C{first + 1}:C{total - 1})"


def make_database(path, sales):
    conn = sqlite3.connect(path)
    conn.executescript(example.SCHEMA)
    conn.executemany("INSERT INTO regions VALUES (?, ?)", [(1, "Inland"), (2, "Coast")])
    conn.executemany("INSERT INTO products VALUES (?, ?, ?)",
                     [(1, "Kettle", "Kitchen"), (2, "Toaster", "Kitchen"), (3, "Rug", "Home")])
    conn.executemany(
        "INSERT INTO sales (sold_on, region_id, product_id, units, unit_price)"
        " VALUES (?, ?, ?, ?, ?)", sales)
    conn.commit()
    conn.close()


SALES = [
    ("2024-06-03", 1, 1, 2, 30.0),    # Inland: 60.0 + 45.5
    ("2024-06-03", 1, 3, 1, 45.5),
    ("2024-06-17", 1, 2, 4, 20.25),   # Inland: 81.0
    ("2024-07-01", 2, 1, 1, 30.0),    # another month
]


def test_a_database_file_month_and_output_path_from_the_command_line(tmp_path):
    make_database(tmp_path / "shop.sqlite", SALES)
    (tmp_path / "out").mkdir()
    r = run(tmp_path, "out/june.xlsx", "--db", "shop.sqlite", "--month", "2024-06")
    assert r.returncode == 0, r.stderr
    assert "revenue 186.50 from 7 units in 2 regions" in r.stdout
    wb, values = load(tmp_path / "out" / "june.xlsx")
    ws, wv = wb["Summary"], values["Summary"]
    assert ws["A2"].value == "Period: 2024-06"
    # A region without sales in the month is listed with zeros.
    assert [[c.value for c in row] for row in wv.iter_rows(min_row=5, max_row=7)] == [
        ["Coast", 0, 0, 0, 0],
        ["Inland", 3, 7, 186.5, 1.0],
        ["Total", 3, 7, 186.5, 1.0],
    ]
    products = values["By product"]
    assert [[c.value for c in row] for row in products.iter_rows(min_row=4)] == [
        ["Category: Home", None, None, None],
        ["Product", "Sales", "Units", "Revenue"],
        ["Rug", 1, 1, 45.5],
        ["Subtotal Home", 1, 1, 45.5],
        [None, None, None, None],
        ["Category: Kitchen", None, None, None],
        ["Product", "Sales", "Units", "Revenue"],
        ["Kettle", 1, 2, 60],
        ["Toaster", 1, 4, 81],
        ["Subtotal Kitchen", 2, 6, 141],
    ]


def test_a_month_without_sales_gives_an_empty_report(tmp_path):
    r = run(tmp_path, "--month", "2023-01")
    assert r.returncode == 0, r.stderr
    assert "no sales in this month" in r.stdout
    values = openpyxl.load_workbook(tmp_path / "report.xlsx", data_only=True)
    summary = values["Summary"]
    assert [c.value for c in summary[9]] == ["Total", 0, 0, 0, 0]
    assert values["By product"].max_row == 2  # the title rows only


@pytest.mark.parametrize(
    "setup,args,message",
    [
        ("empty", ["--db", "empty.sqlite"], "the database holds no sales"),
        ("demo", ["missing/report.xlsx"], "missing/report.xlsx"),
    ],
)
def test_failures_are_one_line_messages_and_write_nothing(tmp_path, setup, args, message):
    if setup == "empty":
        make_database(tmp_path / "empty.sqlite", [])
    r = run(tmp_path, *args)
    assert r.returncode == 1
    assert r.stderr.startswith("monthly_report: ") and message in r.stderr
    assert "Traceback" not in r.stderr
    assert not list(tmp_path.rglob("*.xlsx"))
