"""The monthly sales report: an SQLite database in, report.xlsx out.

    python examples/monthly_report.py                       # demo data
    python examples/monthly_report.py out.xlsx --db sales.sqlite --month 2024-05

Without --db the report runs on a small demo database made in memory. A
database file needs the three tables of SCHEMA; the report covers one month
(by default the latest month with sales) and writes four sheets: a summary
by region, the sales by product in one block per category, the daily
revenue, and a hidden sheet with the queries used. It then reads its own
sheets back with the searches, checks that every block adds up and prints a
short summary. It needs the xlsx extra: pip install "brindel[xlsx]".
"""

from __future__ import annotations

import argparse
import datetime
import io
import sqlite3
import sys
from typing import Any

import brindel
import brindel.xlsx
from brindel import readable

SCHEMA = """
CREATE TABLE regions (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE products (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    category TEXT NOT NULL
);
CREATE TABLE sales (
    id INTEGER PRIMARY KEY,
    sold_on TEXT NOT NULL,                       -- YYYY-MM-DD
    region_id INTEGER NOT NULL REFERENCES regions (id),
    product_id INTEGER NOT NULL REFERENCES products (id),
    units INTEGER NOT NULL,
    unit_price REAL NOT NULL
);
"""

REGIONS_SQL = """
SELECT r.name, COUNT(s.id), COALESCE(SUM(s.units), 0),
       COALESCE(ROUND(SUM(s.units * s.unit_price), 2), 0.0)
FROM regions AS r
LEFT JOIN sales AS s ON s.region_id = r.id AND substr(s.sold_on, 1, 7) = :month
GROUP BY r.id ORDER BY r.name
"""

PRODUCTS_SQL = """
SELECT p.category, p.name, COUNT(*), SUM(s.units), ROUND(SUM(s.units * s.unit_price), 2)
FROM sales AS s JOIN products AS p ON p.id = s.product_id
WHERE substr(s.sold_on, 1, 7) = :month
GROUP BY p.id ORDER BY p.category, p.name
"""

DAILY_SQL = """
SELECT s.sold_on, COUNT(*), ROUND(SUM(s.units * s.unit_price), 2)
FROM sales AS s
WHERE substr(s.sold_on, 1, 7) = :month
GROUP BY s.sold_on ORDER BY s.sold_on
"""

LATEST_MONTH_SQL = "SELECT MAX(substr(sold_on, 1, 7)) FROM sales"

# Style ids used on the cells, and their look in the .xlsx file.
STYLES: dict[str, dict[str, Any]] = {
    "title": {"bold": True, "font_size": 14},
    "heading": {"bold": True, "bottom": 1, "bg_color": "#DDEBF7"},
    "money": {"num_format": "#,##0.00"},
    "share": {"num_format": "0.0%"},
    "date": {"num_format": "yyyy-mm-dd"},
    "total": {"bold": True, "top": 1},
    "total_money": {"bold": True, "top": 1, "num_format": "#,##0.00"},
    "total_share": {"bold": True, "top": 1, "num_format": "0.0%"},
}

AUTHOR = "Monthly report"
CATEGORY = "Category: "
SUBTOTAL = "Subtotal"


def fill_demo_database(conn: sqlite3.Connection) -> None:
    """Creates the tables and two months of made-up but repeatable sales."""
    conn.executescript(SCHEMA)
    regions = ["East", "North", "South", "West"]
    products = [
        ("Desk lamp", "Lighting", 24.90),
        ("Floor lamp", "Lighting", 79.00),
        ("Chair", "Furniture", 119.50),
        ("Desk", "Furniture", 349.00),
        ("Shelf", "Furniture", 89.90),
        ("Cable", "Accessories", 7.25),
        ("Plug", "Accessories", 3.40),
    ]
    conn.executemany("INSERT INTO regions (id, name) VALUES (?, ?)", enumerate(regions, 1))
    conn.executemany(
        "INSERT INTO products (id, name, category) VALUES (?, ?, ?)",
        [(i, name, category) for i, (name, category, _) in enumerate(products, 1)],
    )
    rows = []
    for month, days in ((4, 30), (5, 31)):
        for day in range(1, days + 1):
            for r in range(1, len(regions) + 1):
                for p, (_, _, price) in enumerate(products, 1):
                    if (day * 7 + r * 3 + p * 5 + month) % 6 == 0:
                        units = 1 + (day + r * 2 + p) % 9
                        rows.append((f"2024-{month:02d}-{day:02d}", r, p, units, price))
    conn.executemany(
        "INSERT INTO sales (sold_on, region_id, product_id, units, unit_price)"
        " VALUES (?, ?, ?, ?, ?)",
        rows,
    )
    conn.commit()


def demo_database() -> sqlite3.Connection:
    conn = sqlite3.connect(":memory:")
    fill_demo_database(conn)
    return conn


def column_sum(letter: str, first: int, last: int) -> str | None:
    """The formula adding up rows first to last of a column; None for no rows."""
    return f"=SUM({letter}{first}:{letter}{last})" if last >= first else None


def snapshot_input(document: dict[str, Any], names: list[str]) -> list[dict[str, Any]]:
    """The named sheets of a book's document, as snapshots take them.

    The document leaves "formula" and "style_id" out of a cell that has
    none; a snapshot needs both keys on every cell.
    """
    sheets = [s for s in document["sheets"] if s["name"] in names]
    for sheet in sheets:
        for cell in sheet["cells"]:
            cell.setdefault("formula", None)
            cell.setdefault("style_id", None)
    return sheets


class MonthlyReport(brindel.Service):
    """The sales of one month by region, by product and by day."""

    def __new__(cls, conn_db: sqlite3.Connection, month: str | None = None) -> MonthlyReport:
        return super().__new__(cls, conn_db)  # the base takes the connection only

    def __init__(self, conn_db: sqlite3.Connection, month: str | None = None) -> None:
        if month is None:
            month = conn_db.execute(LATEST_MONTH_SQL).fetchone()[0]
            if month is None:
                raise ValueError("the database holds no sales")
        self.month: str = month
        self.queries: list[tuple[str, str]] = []

    def _query(self, sheet: str, sql: str) -> list[tuple[Any, ...]]:
        self.queries.append((sheet, " ".join(sql.split())))
        return self._conn_db.execute(sql, {"month": self.month}).fetchall()

    # -- building ---------------------------------------------------------

    def build(self) -> None:
        self._summary_sheet()
        self._product_sheet()
        self._daily_sheet()
        self._queries_sheet()

    def _title(self, sheet: brindel.Sheet, text: str, width: int) -> None:
        sheet.cell(1, 1, text).style = "title"
        sheet.add_merge_cells(1, 1, 1, width)
        sheet.set_height_row(1, 28.0)
        sheet.cell(2, 1, f"Period: {self.month}")
        sheet.add_merge_cells(2, 2, 1, width)

    @staticmethod
    def _headings(sheet: brindel.Sheet, row: int, names: list[str]) -> None:
        for col, name in enumerate(names, start=1):
            sheet.cell(row, col, name).style = "heading"

    @staticmethod
    def _number(sheet: brindel.Sheet, row: int, col: int, value: float,
                style: str | None = None, formula: str | None = None) -> None:
        cell = sheet.cell(row, col)
        if isinstance(value, int) and -(2**31) <= value < 2**31:
            cell.set_value_integer(value)
        else:
            cell.set_value_number(value)
        if formula is not None:
            cell.formula = formula  # keeps the value: the file's cached result
        if style is not None:
            cell.style = style

    def _summary_sheet(self) -> None:
        sheet = self._add_sheet("Summary")
        self._title(sheet, "Monthly sales report", 5)
        self._headings(sheet, 4, ["Region", "Sales", "Units", "Revenue", "Share"])
        regions = self._query("Summary", REGIONS_SQL)
        first, last = 5, 4 + len(regions)
        total = last + 1
        revenue = round(sum(r[3] for r in regions), 2)
        for row, (name, count, units, amount) in enumerate(regions, start=first):
            sheet.cell(row, 1, str(name))
            self._number(sheet, row, 2, count)
            self._number(sheet, row, 3, units)
            self._number(sheet, row, 4, float(amount), "money")
            self._number(sheet, row, 5, amount / revenue if revenue else 0.0, "share",
                         f"=IF($D${total}=0,0,D{row}/$D${total})")
        sheet.cell(total, 1, "Total").style = "total"
        self._number(sheet, total, 2, sum(r[1] for r in regions), "total",
                     column_sum("B", first, last))
        self._number(sheet, total, 3, sum(r[2] for r in regions), "total",
                     column_sum("C", first, last))
        self._number(sheet, total, 4, revenue, "total_money", column_sum("D", first, last))
        self._number(sheet, total, 5, 1.0 if revenue else 0.0, "total_share",
                     column_sum("E", first, last))
        sheet.add_comment(total, 4, f"Units times unit price of every sale in {self.month}",
                          AUTHOR)
        for col, width in enumerate([18.0, 9.0, 9.0, 14.0, 9.0], start=1):
            sheet.set_width_column(col, width)

    def _product_sheet(self) -> None:
        sheet = self._add_sheet("By product")
        self._title(sheet, "Sales by product", 4)
        products = self._query("By product", PRODUCTS_SQL)
        best = max(products, key=lambda p: p[4], default=None)
        row = 4
        for category in sorted({p[0] for p in products}):
            sheet.cell(row, 1, f"{CATEGORY}{category}").style = "heading"
            sheet.add_merge_cells(row, row, 1, 4)
            self._headings(sheet, row + 1, ["Product", "Sales", "Units", "Revenue"])
            first = row + 2
            lines = [p for p in products if p[0] == category]
            for r, (_, name, count, units, amount) in enumerate(lines, start=first):
                sheet.cell(r, 1, str(name))
                self._number(sheet, r, 2, count)
                self._number(sheet, r, 3, units)
                self._number(sheet, r, 4, float(amount), "money")
                if best is not None and (category, name) == best[:2]:
                    sheet.add_comment(r, 4, "Best seller of the month", AUTHOR)
            last = first + len(lines) - 1
            sub = last + 1
            sheet.cell(sub, 1, f"{SUBTOTAL} {category}").style = "total"
            self._number(sheet, sub, 2, sum(p[2] for p in lines), "total",
                         column_sum("B", first, last))
            self._number(sheet, sub, 3, sum(p[3] for p in lines), "total",
                         column_sum("C", first, last))
            self._number(sheet, sub, 4, round(sum(p[4] for p in lines), 2), "total_money",
                         column_sum("D", first, last))
            row = sub + 2  # one empty row between the blocks
        for col, width in enumerate([22.0, 9.0, 9.0, 14.0], start=1):
            sheet.set_width_column(col, width)

    def _daily_sheet(self) -> None:
        sheet = self._add_sheet("Daily")
        self._title(sheet, "Daily revenue", 3)
        self._headings(sheet, 4, ["Date", "Sales", "Revenue"])
        days = self._query("Daily", DAILY_SQL)
        first, last = 5, 4 + len(days)
        for row, (sold_on, count, amount) in enumerate(days, start=first):
            day = sheet.cell(row, 1)
            day.set_value_datetime(datetime.datetime.strptime(sold_on, "%Y-%m-%d"))
            day.style = "date"
            self._number(sheet, row, 2, count)
            self._number(sheet, row, 3, float(amount), "money")
        total = last + 1
        sheet.cell(total, 1, "Total").style = "total"
        self._number(sheet, total, 2, sum(d[1] for d in days), "total",
                     column_sum("B", first, last))
        self._number(sheet, total, 3, round(sum(d[2] for d in days), 2), "total_money",
                     column_sum("C", first, last))
        for col, width in enumerate([12.0, 9.0, 14.0], start=1):
            sheet.set_width_column(col, width)

    def _queries_sheet(self) -> None:
        sheet = self._add_sheet("Queries", "hidden")
        self._headings(sheet, 1, ["Sheet", "Query"])
        for row, (name, sql) in enumerate(self.queries, start=2):
            sheet.cell(row, 1, name)
            sheet.cell(row, 2).value = sql
        sheet.set_width_column(2, 120.0)

    # -- the hooks ----------------------------------------------------------

    def summary_0(self, sheets: list[Any], /, **kwargs: Any) -> dict[str, Any]:
        """Reads the figures back from the finished sheets and checks them.

        The summary sheet is searched directly; the product sheet through a
        snapshot, block by block: from each category heading down to its
        subtotal.
        """
        by_name = {s.name: s for s in sheets}
        summary = by_name["Summary"]
        block = summary.find_cells_between_regex("Region", "Total")
        heading_row, total_row = block[0].row, block[-1].row
        regions = {
            summary.get_value_cell(c.row, 1): float(c.value)
            for c in block
            if heading_row < c.row < total_row and c.column == 4
        }
        revenue = float(summary.get_value_cell(total_row, 4))
        units = int(summary.get_value_cell(total_row, 3))

        finder = readable.create_finder(snapshot_input(self.to_dict(), ["By product"]))
        products = finder.find_sheet_by_name("By product")
        assert products is not None
        categories: dict[str, float] = {}
        for heading in products.find_cells_by_regex(CATEGORY):
            cells = products.find_cells_between_regex(heading.value, SUBTOTAL)
            last = cells[-1].row
            lines = [c for c in cells if heading.row + 1 < c.row < last and c.column == 4]
            (subtotal,) = products.find_values_by_row_cols(last, [4])
            name = heading.value[len(CATEGORY):]
            categories[name] = float(subtotal)
            if abs(sum(float(c.value) for c in lines) - categories[name]) > 0.005:
                raise AssertionError(f"the block of {name!r} does not add up")
        for label, figures in (("regions", regions), ("categories", categories)):
            if abs(sum(figures.values()) - revenue) > 0.005:
                raise AssertionError(f"the {label} do not add up to the total revenue")
        return {
            "month": self.month,
            "revenue": revenue,
            "units": units,
            "regions": regions,
            "categories": categories,
            "best_region": max(regions, key=regions.__getitem__) if revenue else None,
            "best_category": max(categories, key=categories.__getitem__) if categories else None,
        }

    def _fmt_0(self, **kwargs: Any) -> str:
        """The summary of summary_0 as a few printable lines."""
        s = kwargs["summary"]
        lines = [
            f"Monthly report {s['month']}: {len(self._sheets)} sheets written to {kwargs['path']}",
            f"  revenue {s['revenue']:,.2f} from {s['units']} units"
            f" in {len(s['regions'])} regions",
        ]
        if s["best_region"] is not None:
            share = s["regions"][s["best_region"]] / s["revenue"]
            lines.append(
                f"  best region {s['best_region']} ({share:.1%}),"
                f" best category {s['best_category']}"
            )
        if s["categories"]:
            lines.append(f"  {len(s['categories'])} category blocks add up to the total")
        else:
            lines.append("  no sales in this month")
        return "\n".join(lines)

    def run(self, path: str) -> dict[str, Any]:
        self.build()
        summary = self.summary_0(self._sheets)
        data = io.BytesIO()  # the whole file first: a failure leaves no partial file
        brindel.xlsx.write(self, data, styles=STYLES)
        with open(path, "wb") as f:
            f.write(data.getvalue())
        print(self._fmt_0(summary=summary, path=path))
        return summary


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="Writes the monthly sales report.")
    parser.add_argument("output", nargs="?", default="report.xlsx",
                        help="the .xlsx file to write (default: report.xlsx)")
    parser.add_argument("--db", help="an SQLite database file (default: demo data)")
    parser.add_argument("--month", help="YYYY-MM (default: the latest month with sales)")
    args = parser.parse_args(argv)
    conn = sqlite3.connect(args.db) if args.db else demo_database()
    try:
        MonthlyReport(conn, args.month).run(args.output)
    except ValueError as e:
        print(f"monthly_report: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"monthly_report: cannot write {args.output}: {e.strerror or e}", file=sys.stderr)
        return 1
    finally:
        conn.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
