"""Workbooks as .xlsx files, and .xlsx files as snapshot input.

``write`` turns a book (a ``Book``, a ``Service`` or the dictionary of
``to_dict()``) into an .xlsx file with XlsxWriter; ``read_sheets`` reads an
.xlsx file with openpyxl into the sheet dictionaries that
``readable.create_finder`` takes. Both libraries are optional:
``pip install brindel[xlsx]``.

Positions count from 1 as in letter coordinates: row 1, column 1 is "A1".
Everything is checked before the first byte is written, so a book the file
format cannot hold raises ValueError and leaves ``target`` untouched.

Styles: a cell's ``style_id`` is looked up in ``styles``, a mapping from style
id to XlsxWriter format properties (``{"bold": True, "num_format": "0.00"}``).
A style id without an entry is written unstyled. Date-time cells get the
format "yyyy-mm-dd hh:mm:ss" unless their style gives a ``num_format``.
"""

from __future__ import annotations

import datetime
import math
import os
from typing import IO, Any, Dict, List, Mapping, Optional, Union

__all__ = ["write", "read_sheets", "MAX_ROWS", "MAX_COLUMNS"]

MAX_ROWS = 1048576
MAX_COLUMNS = 16384
MAX_TEXT = 32767
DATETIME_FORMAT = "yyyy-mm-dd hh:mm:ss"
_STATES = {"visible", "hidden", "veryHidden"}
_BAD_NAME_CHARS = set("[]:*?/\\")


def _require(module: str):
    try:
        return __import__(module)
    except ImportError as e:  # pragma: no cover - exercised without the extra
        raise ImportError(
            f"brindel.xlsx needs {module}; install it with: pip install brindel[xlsx]"
        ) from e


def _document(book: Any) -> Dict[str, Any]:
    if isinstance(book, dict):
        return book
    to_dict = getattr(book, "to_dict", None)
    if to_dict is None:
        raise TypeError(
            f"expected a Book, a Service or a document dictionary, not {type(book).__name__!r}"
        )
    return to_dict()


def _check_position(sheet: str, what: str, row: Any, col: Any) -> None:
    if not (isinstance(row, int) and 1 <= row <= MAX_ROWS):
        raise ValueError(
            f"sheet {sheet!r}: {what} at row {row}, column {col}: rows run from 1 to {MAX_ROWS}"
        )
    if not (isinstance(col, int) and 1 <= col <= MAX_COLUMNS):
        raise ValueError(
            f"sheet {sheet!r}: {what} at row {row}, column {col}: "
            f"columns run from 1 to {MAX_COLUMNS}"
        )


def _check_name(name: Any, seen: Dict[str, str]) -> None:
    if not isinstance(name, str) or not name:
        raise ValueError(f"sheet name {name!r}: a sheet needs a name")
    if len(name) > 31:
        raise ValueError(f"sheet name {name!r}: longer than 31 characters")
    bad = sorted(set(name) & _BAD_NAME_CHARS)
    if bad:
        raise ValueError(f"sheet name {name!r}: contains {''.join(bad)!r}")
    if name.startswith("'") or name.endswith("'"):
        raise ValueError(f"sheet name {name!r}: starts or ends with an apostrophe")
    if name.casefold() == "history":
        raise ValueError(f"sheet name {name!r}: reserved by the file format")
    key = name.casefold()
    if key in seen:
        raise ValueError(f"sheet name {name!r}: used twice (as {seen[key]!r})")
    seen[key] = name


def _parse_datetime(sheet: str, row: int, col: int, text: str) -> datetime.datetime:
    """The document's date-time text, to the microsecond (nanoseconds are cut)."""
    try:
        date, time = text.split("T")
        year, month, day = (int(p) for p in date.rsplit("-", 2)) if date[0] != "-" else (0, 0, 0)
        clock, _, frac = time.partition(".")
        hour, minute, second = (int(p) for p in clock.split(":"))
        micro = int((frac + "000000")[:6]) if frac else 0
        if second == 60:  # a leap second: the last instant of the minute before
            second, micro = 59, 999999
        return datetime.datetime(year, month, day, hour, minute, second, micro)
    except (ValueError, TypeError) as e:
        raise ValueError(
            f"sheet {sheet!r}: date-time {text!r} at row {row}, column {col} cannot be written: {e}"
        ) from None


def _check(doc: Dict[str, Any]) -> None:
    seen: Dict[str, str] = {}
    sheets = doc.get("sheets")
    if not isinstance(sheets, list):
        raise ValueError("the document has no list of sheets")
    if not sheets:
        raise ValueError("a workbook file needs at least one sheet")
    visible = 0
    for s in sheets:
        name = s.get("name")
        _check_name(name, seen)
        state = s.get("sheet_state")
        if state not in _STATES:
            raise ValueError(
                f"sheet {name!r}: unknown sheet state {state!r} "
                "(expected 'visible', 'hidden' or 'veryHidden')"
            )
        visible += state == "visible"
        for c in s.get("cells", []):
            r, k = c["row"], c["column"]
            _check_position(name, "cell", r, k)
            v = c.get("value")
            if isinstance(v, str) and len(v) > MAX_TEXT:
                raise ValueError(
                    f"sheet {name!r}: text at row {r}, column {k} is longer than {MAX_TEXT}"
                )
            if c.get("data_type") == "d" and isinstance(v, str):
                d = _parse_datetime(name, r, k, v)
                if d.year < 1900:
                    raise ValueError(
                        f"sheet {name!r}: date-time {v!r} at row {r}, column {k} "
                        "lies before 1900-01-01"
                    )
        boxes: List[Any] = []
        for m in s.get("merge_cells", []):
            r0, r1, c0, c1 = m
            _check_position(name, "merged range", r0, c0)
            _check_position(name, "merged range", r1, c1)
            if r0 > r1 or c0 > c1:
                raise ValueError(f"sheet {name!r}: merged range {m} starts after it ends")
            if r0 == r1 and c0 == c1:
                raise ValueError(f"sheet {name!r}: merged range {m} is a single cell")
            for o in boxes:
                if r0 <= o[1] and o[0] <= r1 and c0 <= o[3] and o[2] <= c1:
                    raise ValueError(f"sheet {name!r}: merged ranges {list(o)} and {m} overlap")
            boxes.append((r0, r1, c0, c1))
        for c in s.get("comments", []):
            _check_position(name, "comment", c["row"], c["column"])
        for key in (s.get("row_dimensions") or {}).get("rows", {}):
            _check_position(name, "row height", int(key), 1)
        for key in (s.get("column_dimensions") or {}).get("columns", {}):
            _check_position(name, "column width", 1, int(key))
    if visible == 0:
        raise ValueError("a workbook file needs at least one visible sheet")


class _Formats:
    def __init__(self, workbook: Any, styles: Optional[Mapping[str, Mapping[str, Any]]]):
        self._wb = workbook
        self._styles = styles or {}
        self._cache: Dict[Any, Any] = {}

    def get(self, style_id: Optional[str], datetime_cell: bool = False):
        key = (style_id, datetime_cell)
        if key in self._cache:
            return self._cache[key]
        props = dict(self._styles.get(style_id, {})) if style_id is not None else {}
        if datetime_cell:
            props.setdefault("num_format", DATETIME_FORMAT)
        fmt = self._wb.add_format(props) if props else None
        self._cache[key] = fmt
        return fmt


def _finite(x: Any) -> Optional[float]:
    return x if isinstance(x, (int, float)) and math.isfinite(x) else None


def _write_cell(ws: Any, sheet: str, c: Dict[str, Any], formats: _Formats) -> None:
    r, k = c["row"] - 1, c["column"] - 1
    v = c.get("value")
    dt = c.get("data_type")
    style = c.get("style_id")
    formula = c.get("formula")
    if dt == "d" and isinstance(v, str):
        v = _parse_datetime(sheet, c["row"], c["column"], v)
    fmt = formats.get(style, isinstance(v, datetime.datetime))
    if formula is not None:
        cached = v
        if isinstance(v, datetime.datetime):
            cached = v.isoformat(sep=" ")
        ws.write_formula(r, k, formula, fmt, cached if cached is not None else 0)
    elif v is None:
        if fmt is not None:
            ws.write_blank(r, k, None, fmt)
    elif isinstance(v, bool):
        ws.write_boolean(r, k, v, fmt)
    elif isinstance(v, (int, float)):
        ws.write_number(r, k, v, fmt)
    elif isinstance(v, datetime.datetime):
        ws.write_datetime(r, k, v, fmt)
    else:
        ws.write_string(r, k, str(v), fmt)


def write(
    book: Any,
    target: Union[str, os.PathLike, IO[bytes]],
    *,
    styles: Optional[Mapping[str, Mapping[str, Any]]] = None,
) -> None:
    """Writes the book to ``target``, a path or a binary file object."""
    doc = _document(book)
    _check(doc)
    xlsxwriter = _require("xlsxwriter")
    import importlib

    file_error = importlib.import_module("xlsxwriter.exceptions").FileCreateError
    if isinstance(target, os.PathLike):
        target = os.fspath(target)
    options = {"in_memory": True, "strings_to_numbers": False, "strings_to_formulas": False,
               "strings_to_urls": False}
    wb = xlsxwriter.Workbook(target, options)
    formats = _Formats(wb, styles)
    first_visible = True
    for s in doc["sheets"]:
        name = s["name"]
        ws = wb.add_worksheet(name)
        state = s["sheet_state"]
        if state == "visible" and first_visible:
            ws.activate()
            first_visible = False
        elif state == "hidden":
            ws.hide()
        elif state == "veryHidden":
            ws.very_hidden()
        rows = s.get("row_dimensions") or {}
        default_height = _finite(rows.get("default_height"))
        if default_height is not None:
            ws.set_default_row(default_height)
        for key, d in sorted(rows.get("rows", {}).items(), key=lambda kv: int(kv[0])):
            ws.set_row(int(key) - 1, _finite(d.get("height")), None, {"hidden": bool(d.get("hidden"))})
        cols = s.get("column_dimensions") or {}
        for key, d in sorted(cols.get("columns", {}).items(), key=lambda kv: int(kv[0])):
            k = int(key) - 1
            ws.set_column(k, k, _finite(d.get("width")), None, {"hidden": bool(d.get("hidden"))})
        for r0, r1, c0, c1 in s.get("merge_cells", []):
            # Merging first lets the cells written below keep their values.
            ws.merge_range(r0 - 1, c0 - 1, r1 - 1, c1 - 1, None)
        for c in s.get("cells", []):
            _write_cell(ws, name, c, formats)
        for c in s.get("comments", []):
            ws.write_comment(c["row"] - 1, c["column"] - 1, c["text"], {"author": c["author"]})
    try:
        wb.close()
    except file_error as e:
        raise OSError(f"cannot write {target!r}: {e}") from e


def read_sheets(source: Union[str, os.PathLike, IO[bytes]]) -> List[Dict[str, Any]]:
    """Reads every sheet of an .xlsx file as the dictionaries create_finder takes.

    Each cell carries the keys row, column, value, formula, data_type and
    style_id; a formula cell has data type "f", its formula and, as value, the
    result the file cached for it. Merged ranges are lists of four numbers
    [start_row, end_row, start_col, end_col].
    """
    openpyxl = _require("openpyxl")
    formulas_src: Any
    values_src: Any
    if hasattr(source, "read") and hasattr(source, "seek"):
        data = source.read()
        import io

        formulas_src, values_src = io.BytesIO(data), io.BytesIO(data)
    else:
        formulas_src = values_src = os.fspath(source)
    wb = openpyxl.load_workbook(formulas_src, data_only=False)
    cached = openpyxl.load_workbook(values_src, data_only=True)
    out: List[Dict[str, Any]] = []
    for ws in wb.worksheets:
        values = cached[ws.title]
        cells = []
        for row in ws.iter_rows():
            for cell in row:
                if cell.value is None and not cell.has_style:
                    continue
                formula = None
                value = cell.value
                data_type = cell.data_type
                if data_type == "f":
                    formula = value if isinstance(value, str) else str(value)
                    value = values.cell(row=cell.row, column=cell.column).value
                cells.append(
                    {
                        "row": cell.row,
                        "column": cell.column,
                        "value": value,
                        "formula": formula,
                        "data_type": data_type,
                        "style_id": str(cell.style_id) if cell.has_style else None,
                    }
                )
        out.append(
            {
                "name": ws.title,
                "sheet_state": ws.sheet_state,
                "merge_cells": [
                    [m.min_row, m.max_row, m.min_col, m.max_col] for m in ws.merged_cells.ranges
                ],
                "cells": cells,
            }
        )
    return out
