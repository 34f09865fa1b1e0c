"""An example report: builds a small workbook and prints its JSON document.

Run it after installing the package:  python examples/report.py
"""

import datetime
import json

import brindel


def build() -> brindel.Book:
    book = brindel.Book()

    sales = book.add_sheet("Sales")
    sales.add_merge_cells(1, 1, 1, 4)  # the title spans A1:D1
    sales.cell(1, 1, "Monthly sales")
    sales.set_height_row(1, 30.0)
    for col, heading in enumerate(["Region", "Units", "Revenue", "Closed"], start=1):
        sales.cell(2, col, heading)
        sales.set_width_column(col, 14.0)

    rows = [
        ("North", "120", "1520.50", "true"),
        ("South", "95", "1210.25", "false"),
        ("Obsolete", "0", "0", "false"),  # deleted again below
        ("East", "143", "1888.00", "TRUE"),
    ]
    for r, values in enumerate(rows, start=3):
        for c, text in enumerate(values, start=1):
            sales.cell(r, c, text)  # texts become integers, numbers and booleans

    # Drop the obsolete row: the rows below it move up.
    sales.delete_rows(5, 1)

    total = sales.cell(6, 3)
    total.set_value_number(1520.50 + 1210.25 + 1888.00)
    total.formula = "=SUM(C3:C5)"
    total.style = "total"
    sales.cell(6, 1, "Total")
    sales.add_comment(6, 3, "Checked against the ledger", "Ann")

    stamp = sales.cell(8, 1)
    stamp.set_value_datetime(datetime.datetime(2026, 12, 1, 9, 30, 0, 250000))
    sales.cell(8, 2).set_value_integer(-3)
    sales.set_hidden_row(8, True)

    notes = book.add_sheet("Notes", "hidden")
    notes.cell(1, 1, "Prepared for the board")
    notes.cell(2, 1, "Reviewed").hidden_value = "ref-2026-12"

    # A copy shares its cells with the source; it is named after its position.
    archive = book.copy_sheet(sales)
    archive.set_sheet_state("hidden")
    return book


def main() -> None:
    book = build()
    text = book.to_json()
    document = json.loads(text)  # the document is plain JSON
    assert document == book.to_dict()
    print(text)
    for sheet in book.sheets:
        print(f"# {sheet!r}: max row {sheet.max_row}, max column {sheet.max_column}")


if __name__ == "__main__":
    main()
