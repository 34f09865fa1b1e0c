"""The workbook workloads: build, to_json, to_dict.

The build functions are plain module-level functions of a grid (a list of
rows, each a list of cell values), so the memory subprocess can run exactly
the code that the timing runs.
"""

from __future__ import annotations

import io
import json

from . import data
from .harness import BOUND, PEER, PROJECT, Unavailable, impl


def build_project(grid):
    import brindel

    book = brindel.Book()
    cell = book.add_sheet("Data").cell
    for r, values in enumerate(grid, 1):
        for c, value in enumerate(values, 1):
            cell(r, c, value)
    return book


def build_openpyxl(grid):
    import openpyxl

    wb = openpyxl.Workbook()
    cell = wb.active.cell
    for r, values in enumerate(grid, 1):
        for c, value in enumerate(values, 1):
            cell(row=r, column=c, value=value)
    return wb


def build_xlsxwriter(grid):
    import xlsxwriter

    # An in-memory workbook that is never closed: every cell stays in memory
    # and nothing is written out.
    wb = xlsxwriter.Workbook(io.BytesIO(), {"in_memory": True})
    write = wb.add_worksheet("Data").write
    for r, values in enumerate(grid):
        for c, value in enumerate(values):
            write(r, c, value)
    return wb


def build_floor(grid):
    # The same loops with a call per cell of a cheap builtin taking the same
    # three arguments: what any cell-by-cell build from Python costs at least.
    call = slice
    for r, values in enumerate(grid, 1):
        for c, value in enumerate(values, 1):
            call(r, c, value)


def build_python(grid):
    classify = data.classify
    PyCell = data.PyCell
    model = {}
    for r, values in enumerate(grid, 1):
        for c, text in enumerate(values, 1):
            value, data_type = classify(text)
            model[r, c] = PyCell(r, c, value, data_type)
    return model


#: key -> (label, role, function, values: "texts" or "typed", module needed)
BUILDS = {
    "brindel": ("brindel sheet.cell(r, c, text)", PROJECT, build_project, "texts", "brindel"),
    "openpyxl_typed": ("openpyxl ws.cell, typed values", PEER, build_openpyxl, "typed", "openpyxl"),
    "openpyxl_texts": ("openpyxl ws.cell, raw texts", PEER, build_openpyxl, "texts", "openpyxl"),
    "xlsxwriter_typed": ("XlsxWriter write, typed values", PEER, build_xlsxwriter, "typed", "xlsxwriter"),
    "xlsxwriter_texts": ("XlsxWriter write, raw texts", PEER, build_xlsxwriter, "texts", "xlsxwriter"),
    "python": ("plain Python model (__slots__ cells)", PEER, build_python, "texts", None),
}


def build_grids(rows: int, cols: int) -> dict:
    typed = [data.classify(t)[0] for t in data.BUILD_TEXTS]
    return {
        "texts": data.build_grid(rows, cols, data.BUILD_TEXTS),
        "typed": data.build_grid(rows, cols, typed),
    }


def _need(module):
    if module:
        __import__(module)


def build_impls(grids: dict) -> list:
    out = []
    for key, (label, role, fn, kind, module) in BUILDS.items():
        grid = grids[kind]

        def make(fn=fn, grid=grid, module=module):
            _need(module)
            return lambda: fn(grid)

        out.append(impl(key, label, role, make))
    grid = grids["texts"]
    out.append(impl("floor", "bound: the loops + slice(r, c, text)", BOUND, lambda: lambda: build_floor(grid)))
    return out


# ---------------------------------------------------------------------------
# to_json and to_dict, on the book of the build workload.


def document_impls(book, model):
    """(to_json impls, to_dict impls, facts) for a built book and the plain
    model holding the same cells."""
    prebuilt = data.python_document(model)
    if json.loads(book.to_json()) != prebuilt:
        raise AssertionError("the Python-built document differs from the project's")
    text = book.to_json()
    sizes = {}

    def size_of(key, out):
        sizes[key] = len(out.encode("utf-8")) if isinstance(out, str) else len(out)

    def dumps(doc):
        return json.dumps(doc, ensure_ascii=False, separators=(",", ":"))

    def with_orjson(make):
        def wrapped():
            try:
                import orjson
            except ImportError as exc:
                raise Unavailable("orjson is not installed") from exc
            return make(orjson.dumps)

        return wrapped

    to_json = [
        impl("brindel", "brindel book.to_json()", PROJECT, lambda: book.to_json),
        impl("json_prebuilt", "json.dumps, prebuilt dicts", PEER, lambda: lambda: dumps(prebuilt)),
        impl("orjson_prebuilt", "orjson.dumps, prebuilt dicts", PEER, with_orjson(lambda od: lambda: od(prebuilt))),
        impl(
            "json_build",
            "build dicts + json.dumps",
            PEER,
            lambda: lambda: dumps(data.python_document(model)),
        ),
        impl(
            "orjson_build",
            "build dicts + orjson.dumps",
            PEER,
            with_orjson(lambda od: lambda: od(data.python_document(model))),
        ),
    ]
    for item in to_json:
        if item.ok:
            size_of(item.key, item.fn())
            item.check = _json_check

    to_dict = [
        impl("brindel", "brindel book.to_dict()", PROJECT, lambda: book.to_dict, check=_doc_check),
        impl(
            "python_build",
            "build the same dicts in Python",
            PEER,
            lambda: lambda: data.python_document(model),
            check=_doc_check,
        ),
        impl("json_loads", "json.loads of the to_json text", PEER, lambda: lambda: json.loads(text), check=_doc_check),
        impl("orjson_loads", "orjson.loads of the to_json text", PEER, _with_orjson_loads(text), check=_doc_check),
    ]
    return to_json, to_dict, {"bytes": sizes}


def _with_orjson_loads(text):
    def make():
        try:
            import orjson
        except ImportError as exc:
            raise Unavailable("orjson is not installed") from exc
        loads = orjson.loads
        return lambda: loads(text)

    return make


def _json_check(out):
    doc = json.loads(out)
    cells = doc["sheets"][0]["cells"]
    return len(cells), cells[0]["row"], cells[-1]["column"]


def _doc_check(doc):
    cells = doc["sheets"][0]["cells"]
    return len(cells), cells[0]["row"], cells[-1]["column"]
