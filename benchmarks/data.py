"""Inputs shared by every implementation, and the plain-Python models.

Everything here is deterministic: the same sizes give the same cells, in the
parent process and in the fresh subprocesses that measure memory.
"""

from __future__ import annotations

import datetime as _dt
import re
from decimal import Decimal

# ---------------------------------------------------------------------------
# The build workload: a repeating list of mixed texts.

#: The texts written by the build workload, cell after cell, round and round.
BUILD_TEXTS = [
    "Region",
    "12",
    "3.75",
    "true",
    "2024-01-05 10:00:00",
    "-42",
    "North sales",
    "1250",
    "FALSE",
    "0.5",
    "Cost centre 7",
    "2023-12-31 23:59:59",
    "98765",
    "-17.25",
    "Forecast",
    "False",
]


def build_grid(rows: int, cols: int, items: list) -> list[list]:
    """The value of every cell, row by row: items repeated in row-major order."""
    n = len(items)
    return [[items[(r * cols + c) % n] for c in range(cols)] for r in range(rows)]


# ---------------------------------------------------------------------------
# Text classification written in Python: the rule the project applies to a
# text given to sheet.cell, for the plain-Python model and the typed peers.

_INT = re.compile(r"[+-]?[0-9]+\Z")
_FLOAT = re.compile(
    r"[+-]?(?:inf|infinity|nan|(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)\Z",
    re.IGNORECASE,
)
_DATETIME = re.compile(r"([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2})\Z")
_I32_MIN, _I32_MAX = -(2**31), 2**31 - 1


def classify(text: str):
    """(typed value, data type code) of a text: empty, bool, 32-bit int,
    float, date-time, else the text itself."""
    if not text:
        return None, "s"
    if len(text) <= 5:  # "TRUE" and "FALSE" in any letter case
        upper = text.upper()
        if upper == "TRUE":
            return True, "b"
        if upper == "FALSE":
            return False, "b"
    if _INT.match(text):
        number = int(text)
        if _I32_MIN <= number <= _I32_MAX:
            return number, "n"
        return float(number), "n"
    if _FLOAT.match(text):
        return float(text), "n"
    match = _DATETIME.match(text)
    if match:
        try:
            return _dt.datetime(*map(int, match.groups())), "d"
        except ValueError:
            pass
    return text, "s"


class PyCell:
    """One cell of the plain-Python workbook model."""

    __slots__ = ("row", "column", "value", "data_type")

    def __init__(self, row, column, value, data_type):
        self.row = row
        self.column = column
        self.value = value
        self.data_type = data_type


def python_document(model: dict, name: str = "Data") -> dict:
    """The book document, as the project's to_dict gives it, built from the
    plain-Python model (a dict from (row, column) to PyCell).

    Cells are sorted row-major, as the document requires whatever order
    they were written in."""
    cells = []
    append = cells.append
    datetime = _dt.datetime
    for (row, column), cell in sorted(model.items()):
        value = cell.value
        if type(value) is datetime:
            value = value.isoformat()
        append({"row": row, "column": column, "value": value, "data_type": cell.data_type})
    return {
        "sheets": [
            {
                "name": name,
                "sheet_state": "visible",
                "merge_cells": [],
                "cells": cells,
                "row_dimensions": {"default_height": 20.0},
                "column_dimensions": {"default_width": 22.5},
                "comments": [],
            }
        ]
    }


# ---------------------------------------------------------------------------
# The snapshot workload: cell dicts of one sheet, with needles at known rates.

RARE_NEEDLE = "Q9X"  # in 0.1% of the cells
COMMON_NEEDLE = "Total"  # in 10% of the cells
LATE_NEEDLE = "zz-late"  # once, at 99% of the row-major sequence
TRIM_VALUE = "Subtotal"  # 1% of the cells, some with white space around it

_WORDS = [
    "North",
    "South region",
    "Revenue",
    "Cost centre",
    "Forecast",
    "Actual",
    "Variance",
    "Head count",
    "Budget line",
    "East",
]
_TRIM_FORMS = [" Subtotal", "Subtotal\t", "Subtotal", "  Subtotal  "]
_DAY0 = _dt.datetime(2024, 1, 1)


def late_position(n: int) -> int:
    """Index of the one cell holding LATE_NEEDLE: 99% into the sequence, on a
    position that holds no other needle."""
    return max(0, int(n * 0.99) // 10 * 10)


def snapshot_value(i: int, late: int):
    """(value, data_type) of the i-th cell in row-major order."""
    if i == late:
        return f"marker {LATE_NEEDLE} {i}", "s"
    if i % 1000 == 7:
        return f"Batch {RARE_NEEDLE}-{i}", "s"
    k = i % 10
    if k == 3:
        return f"{COMMON_NEEDLE} {_WORDS[i % 7]} {i}", "s"
    if i % 100 == 51:
        return _TRIM_FORMS[(i // 100) % 4], "s"
    if k == 0 or k == 8:
        return f"{_WORDS[i % 10]} {i}", "s"
    if k == 1:
        return i % 100000, "n"
    if k == 2:
        return (i % 10000) + 0.25, "n"
    if k == 4:
        return i % 4 == 0, "b"
    if k == 5:
        return _DAY0 + _dt.timedelta(minutes=i % 500000), "d"
    if k == 6:
        return -(i % 1000) - 1, "n"
    if k == 7:
        return f"Item {i}", "s"
    return -((i % 1000) + 0.5), "n"


def snapshot_cells(n: int, cols: int = 100) -> list[dict]:
    """n cell dicts with the six snapshot keys, row-major, `cols` per row."""
    late = late_position(n)
    cells = []
    append = cells.append
    for i in range(n):
        value, data_type = snapshot_value(i, late)
        append(
            {
                "row": i // cols + 1,
                "column": i % cols + 1,
                "value": value,
                "formula": None,
                "data_type": data_type,
                "style_id": None,
            }
        )
    return cells


def snapshot_sheets(cells: list[dict]) -> list[dict]:
    return [{"name": "Data", "sheet_state": "visible", "merge_cells": [], "cells": cells}]


def _float_text(x: float) -> str:
    text = repr(x)
    if "e" in text or "E" in text:
        if text in ("inf", "-inf", "nan"):
            return {"nan": "NaN"}.get(text, text)
        text = format(Decimal(text), "f")
    if text.endswith(".0"):
        text = text[:-2]
    return text


def value_text(value) -> str:
    """The value text the project shows for a snapshot value (its `value`
    property, and what every search compares)."""
    kind = type(value)
    if kind is str:
        return value
    if value is None:
        return ""
    if kind is bool:
        return "true" if value else "false"
    if kind is int:
        return str(value)
    if kind is float:
        return _float_text(value)
    return str(value)  # datetime.datetime: "YYYY-MM-DD HH:MM:SS"


class SnapCell:
    """One cell of the plain-Python snapshot: the six fields, value as text."""

    __slots__ = ("row", "column", "value", "formula", "data_type", "style_id")

    def __init__(self, row, column, value, formula, data_type, style_id):
        self.row = row
        self.column = column
        self.value = value
        self.formula = formula
        self.data_type = data_type
        self.style_id = style_id


def search_parameters(n: int, cols: int = 100) -> dict:
    """Arguments of the position searches for a snapshot of n cells."""
    nrows = max(1, (n + cols - 1) // cols)
    start = max(1, nrows // 2)
    band = max(1, nrows // 100)
    step = max(1, nrows // 100)
    return {
        "band": (start, start + band - 1),
        "col": min(7, cols),
        "rows": list(range(1, nrows + 1, step))[:100],
        "row": start,
        "cols": list(range(1, cols + 1, 5))[:20],
    }
