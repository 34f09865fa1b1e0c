"""The snapshot workloads: create_finder, the searches over a large snapshot,
and the latency of each search on a 100-cell sheet."""

from __future__ import annotations

import functools
import os
import threading

from . import data
from .harness import PEER, PROJECT, Impl, Unavailable, impl


def readable_module():
    try:
        import brindel.readable as readable
    except ImportError as exc:
        raise Unavailable(f"brindel.readable is not importable: {exc}") from exc
    if not hasattr(readable, "create_finder"):
        raise Unavailable("brindel.readable has no create_finder")
    return readable


# ---------------------------------------------------------------------------
# create_finder and its peers; module-level so the memory subprocess runs
# the same code.


def finder_project(sheets):
    return readable_module().create_finder(sheets)


def finder_tuples(sheets):
    return [
        [(d["row"], d["column"], d["value"], d["formula"], d["data_type"], d["style_id"]) for d in sheet["cells"]]
        for sheet in sheets
    ]


def finder_objects(sheets):
    SnapCell = data.SnapCell
    text = data.value_text
    return [
        [
            SnapCell(d["row"], d["column"], text(d["value"]), d["formula"], d["data_type"], d["style_id"])
            for d in sheet["cells"]
        ]
        for sheet in sheets
    ]


FINDERS = {
    "brindel": ("brindel readable.create_finder", PROJECT, finder_project),
    "tuples": ("Python loop: six keys into a tuple", PEER, finder_tuples),
    "objects": ("Python objects (__slots__), value texts", PEER, finder_objects),
}


def _finder_check(result):
    if isinstance(result, list):  # the Python peers: one list per sheet
        cells = result[0]
        row = (lambda c: c[0]) if cells and isinstance(cells[0], tuple) else (lambda c: c.row)
        col = (lambda c: c[1]) if cells and isinstance(cells[0], tuple) else (lambda c: c.column)
        return len(cells), max(map(row, cells)), max(map(col, cells))
    sheet = result.sheets[0]
    return len(sheet.cells), sheet.max_row, sheet.max_column


def finder_impls(sheets) -> list:
    out = []
    for key, (label, role, fn) in FINDERS.items():

        def make(fn=fn):
            if fn is finder_project:
                create = readable_module().create_finder
                return lambda: create(sheets)
            return lambda: fn(sheets)

        out.append(impl(key, label, role, make, check=_finder_check))
    return out


# ---------------------------------------------------------------------------
# The searches.


class Snapshot:
    """One snapshot in every form the implementations search: the project's
    ReadableSheet, its ReadableCell list, a writable Sheet with the same
    cells, the value texts (and rows and columns) as Python lists, small
    Python objects, and a pandas frame."""

    def __init__(self, cells, cols, finder=None, objects=None, pandas=True, churned=None):
        self.cells = cells
        self.n = len(cells)
        self.params = data.search_parameters(self.n, cols)
        self.texts = [data.value_text(d["value"]) for d in cells]
        self.rows = [d["row"] for d in cells]
        self.cols = [d["column"] for d in cells]
        self.objects = objects if objects is not None else finder_objects(data.snapshot_sheets(cells))[0]
        self.error = None
        self.readable = self.rs = self.rcells = self.sheet = self.book = self.rs_churned = None
        try:
            self.readable = readable_module()
            self.finder = finder if finder is not None else self.readable.create_finder(data.snapshot_sheets(cells))
            self.rs = self.finder.find_sheet_by_name("Data")
            self.rcells = self.rs.cells
            # The same snapshot built again after others were built and freed
            # (see churned_finder), or None.
            self.churned = churned
            self.rs_churned = churned.find_sheet_by_name("Data") if churned is not None else None
        except (Unavailable, AttributeError) as exc:
            self.error = str(exc)
        import brindel

        self.book = brindel.Book()
        self.sheet = self.book.add_sheet("Data")
        put = self.sheet.cell
        for r, c, t in zip(self.rows, self.cols, self.texts):
            put(r, c, t)
        self.frame = None
        self.pandas_error = "pandas not requested"
        if pandas:
            try:
                import pandas as pd

                self.frame = pd.DataFrame({"row": self.rows, "column": self.cols, "value": self.texts})
                self.pandas_error = None
            except ImportError:
                self.pandas_error = "pandas is not installed"


CHURN = 8


def churned_finder(sheets, done: int = 0):
    """A finder over sheets built after CHURN finders over the same sheets
    were built and freed (done of them already, by an earlier workload):
    a snapshot in a heap that earlier snapshots have left behind, as in a
    process that builds one report after another."""
    create = readable_module().create_finder
    for _ in range(max(0, CHURN - done)):
        create(sheets)
    return create(sheets)


def summarize(result):
    """(count, first value text, last value text) of a list result, the text
    of a single result, None for no result; the same for every kind of
    implementation."""
    if result is None or isinstance(result, str):
        return result
    if type(result).__module__.split(".")[0] == "pandas":
        if hasattr(result, "columns"):
            result = result["value"]
        result = result.tolist()
    elif not isinstance(result, list):
        return result.value  # one cell or object
    texts = [x if isinstance(x, str) else x.value for x in (result[:1] + result[-1:])]
    return (len(result), texts[0], texts[-1]) if result else (0, None, None)


def _substring_peers(s, needle):
    texts, objects = s.texts, s.objects
    return [
        ("texts", "comprehension over value texts", lambda: lambda: [t for t in texts if needle in t]),
        ("objects", "comprehension over __slots__ objects", lambda: lambda: [o for o in objects if needle in o.value]),
        ("pandas", "pandas str.contains(regex=False)", _pandas(s, lambda f: _contains(f["value"], needle))),
    ]


def _contains(series, needle):
    return lambda: series[series.str.contains(needle, regex=False)]


def _first_in(series, needle):
    def run():
        mask = series.str.contains(needle, regex=False).to_numpy()
        i = int(mask.argmax())
        return series.iat[i] if mask[i] else None

    return run


def _pandas(s, make):
    def wrapped():
        if s.frame is None:
            raise Unavailable(s.pandas_error)
        return make(s.frame)

    return wrapped


def _first_peers(s, needle):
    texts, objects = s.texts, s.objects
    return [
        ("texts", "next(...) over value texts", lambda: lambda: next((t for t in texts if needle in t), None)),
        (
            "objects",
            "next(...) over __slots__ objects",
            lambda: lambda: next((o for o in objects if needle in o.value), None),
        ),
        ("pandas", "pandas str.contains(regex=False), first", _pandas(s, lambda f: _first_in(f["value"], needle))),
    ]


def _trim_peers(s, value):
    texts, objects = s.texts, s.objects
    v = value.strip()
    return [
        ("texts", "comprehension, t.strip() == v", lambda: lambda: [t for t in texts if t.strip() == v]),
        ("objects", "comprehension over objects, strip ==", lambda: lambda: [o for o in objects if o.value.strip() == v]),
        ("pandas", "pandas str.strip() ==", _pandas(s, lambda f: _strip_eq(f["value"], v))),
    ]


def _strip_eq(series, v):
    return lambda: series[series.str.strip() == v]


def _band_peers(s, lo, hi):
    rows, texts, objects = s.rows, s.texts, s.objects

    def frame_band(f):
        row = f["row"]
        return lambda: f[(row >= lo) & (row <= hi)]

    return [
        ("texts", "comprehension over row and text lists", lambda: lambda: [t for r, t in zip(rows, texts) if lo <= r <= hi]),
        ("objects", "comprehension over __slots__ objects", lambda: lambda: [o for o in objects if lo <= o.row <= hi]),
        ("pandas", "pandas boolean mask on row", _pandas(s, frame_band)),
    ]


def _values_peers(s, fixed, wanted, by_column):
    rows, cols, texts, objects = s.rows, s.cols, s.texts, s.objects
    if by_column:  # the column is fixed, the rows are listed

        def lists():
            want = set(wanted)
            return [t for r, c, t in zip(rows, cols, texts) if c == fixed and r in want]

        def objs():
            want = set(wanted)
            return [o.value for o in objects if o.column == fixed and o.row in want]

        def frame(f):
            return lambda: f.loc[(f["column"] == fixed) & f["row"].isin(wanted), "value"].tolist()

    else:

        def lists():
            want = set(wanted)
            return [t for r, c, t in zip(rows, cols, texts) if r == fixed and c in want]

        def objs():
            want = set(wanted)
            return [o.value for o in objects if o.row == fixed and o.column in want]

        def frame(f):
            return lambda: f.loc[(f["row"] == fixed) & f["column"].isin(wanted), "value"].tolist()

    return [
        ("texts", "comprehension over row, column and text lists", lambda: lists),
        ("objects", "comprehension over __slots__ objects", lambda: objs),
        ("pandas", "pandas boolean mask, isin", _pandas(s, frame)),
    ]


def search_queries(s: Snapshot) -> list[dict]:
    """One dict per search: id, title, method and arguments, peers, limit."""
    p = s.params
    lo, hi = p["band"]
    return [
        {
            "id": "search_rare",
            "title": f"all cells containing a rare needle ({data.RARE_NEEDLE!r}, 0.1%)",
            "method": "find_cells_by_regex",
            "args": (data.RARE_NEEDLE,),
            "peers": _substring_peers(s, data.RARE_NEEDLE),
            "limit": ("memmem", data.RARE_NEEDLE),
            "kind": "substring",
            "dict_list": True,
        },
        {
            "id": "search_common",
            "title": f"all cells containing a common needle ({data.COMMON_NEEDLE!r}, 10%)",
            "method": "find_cells_by_regex",
            "args": (data.COMMON_NEEDLE,),
            "peers": _substring_peers(s, data.COMMON_NEEDLE),
            "limit": ("memmem", data.COMMON_NEEDLE),
            "kind": "substring",
        },
        {
            "id": "search_first",
            "title": "first cell containing a needle found at 99% of the sequence",
            "method": "find_cell_by_regex",
            "args": (data.LATE_NEEDLE,),
            "peers": _first_peers(s, data.LATE_NEEDLE),
            "limit": ("first", data.LATE_NEEDLE),
            "kind": "first",
        },
        {
            "id": "search_trim",
            "title": f"trimmed equality with {data.TRIM_VALUE!r} (1%)",
            "method": "find_cells_by_str",
            "args": (data.TRIM_VALUE,),
            "peers": _trim_peers(s, data.TRIM_VALUE),
            "limit": ("trimeq", data.TRIM_VALUE),
            "kind": "trim",
        },
        {
            "id": "search_rows",
            "title": f"a band of rows ({lo} to {hi})",
            "method": "find_cells_range_rows",
            "args": (lo, hi),
            "peers": _band_peers(s, lo, hi),
            "limit": ("rows", lo, hi),
            "kind": "position",
        },
        {
            "id": "search_col_rows",
            "title": f"values of column {p['col']} at {len(p['rows'])} listed rows",
            "method": "find_values_by_col_rows",
            "args": (p["col"], p["rows"]),
            "peers": _values_peers(s, p["col"], p["rows"], by_column=True),
            "limit": ("colrows", p["col"], p["rows"]),
            "kind": "position",
        },
        {
            "id": "search_row_cols",
            "title": f"values of row {p['row']} at {len(p['cols'])} listed columns",
            "method": "find_values_by_row_cols",
            "args": (p["row"], p["cols"]),
            "peers": _values_peers(s, p["row"], p["cols"], by_column=False),
            "limit": ("rowcols", p["row"], p["cols"]),
            "kind": "position",
        },
    ]


def _bound(obj, method, *args):
    if obj is None:
        raise Unavailable("no snapshot")
    if not hasattr(obj, method):
        raise Unavailable(f"{type(obj).__name__} has no {method}")
    return functools.partial(getattr(obj, method), *args)


def project_impls(s: Snapshot, query: dict, dict_list: bool = False) -> list:
    method, args = query["method"], query["args"]

    def unavailable_if_broken(make):
        def wrapped():
            if s.error:
                raise Unavailable(s.error)
            return make()

        return wrapped

    out = [
        impl(
            "readable_sheet",
            f"ReadableSheet.{method}",
            PROJECT,
            unavailable_if_broken(lambda: _bound(s.rs, method, *args)),
            check=summarize,
        ),
        impl(
            "readable_fn",
            f"readable.{method}(..., ReadableCell list)",
            PROJECT,
            unavailable_if_broken(lambda: functools.partial(_bound(s.readable, method), *args, s.rcells)),
            check=summarize,
        ),
    ]
    if s.rs_churned is not None:
        out.insert(
            1,
            impl(
                "readable_sheet_churned",
                f"ReadableSheet.{method}, snapshot made after {CHURN} were freed",
                PROJECT,
                unavailable_if_broken(lambda: _bound(s.rs_churned, method, *args)),
                check=summarize,
            ),
        )
    if dict_list:
        out.append(
            impl(
                "readable_fn_dicts",
                f"readable.{method}(..., list of cell dicts)",
                PROJECT,
                unavailable_if_broken(lambda: functools.partial(_bound(s.readable, method), *args, s.cells)),
                check=summarize,
            )
        )
    out.append(impl("sheet", f"Sheet.{method}", PROJECT, lambda: _bound(s.sheet, method, *args), check=summarize))
    return out


def search_impls(s: Snapshot, query: dict, peers: bool = True) -> list:
    out = project_impls(s, query, dict_list=query.get("dict_list", False))
    if peers:
        for key, label, make in query["peers"]:
            out.append(impl(key, label, PEER, make, check=summarize))
    return out


# ---------------------------------------------------------------------------
# Worker wake-ups: context switches and CPU time of the threads that the
# project's pool added to this process.


def thread_counters() -> dict:
    """tid -> (context switches, CPU clock ticks) of every thread but the
    calling one."""
    me = threading.get_native_id()
    out = {}
    try:
        tids = os.listdir("/proc/self/task")
    except OSError:
        return out
    for name in tids:
        tid = int(name)
        if tid == me:
            continue
        try:
            with open(f"/proc/self/task/{tid}/status") as f:
                switches = sum(
                    int(line.split()[1]) for line in f if line.startswith(("voluntary_ctxt", "nonvoluntary_ctxt"))
                )
            with open(f"/proc/self/task/{tid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            out[tid] = (switches, int(fields[11]) + int(fields[12]))
        except (OSError, ValueError, IndexError):
            continue
    return out


def wakeups(fn, calls: int, tids) -> dict:
    """Context switches and CPU ticks of the pool's threads while fn runs
    `calls` times."""
    before = thread_counters()
    for _ in range(calls):
        fn()
    after = thread_counters()
    switches = ticks = 0
    for tid in tids:
        if tid in before and tid in after:
            switches += after[tid][0] - before[tid][0]
            ticks += after[tid][1] - before[tid][1]
    return {"calls": calls, "worker_switches": switches, "worker_cpu_ticks": ticks}


def pool_threads(baseline: set, spin_up=None) -> set:
    """Threads present now that were not there at start-up: the project's
    worker pool (spin_up, a large search, creates it if need be)."""
    if spin_up is not None:
        spin_up()
    return set(thread_counters()) - baseline
