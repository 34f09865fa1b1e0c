"""The performance targets, checked against the figures of one run."""

from __future__ import annotations


#: Ratio targets per (workload id, project implementation, peer), drawn as
#: ticks in docs/ratios.png.
RATIO_TARGETS = {
    ("build", "brindel", "openpyxl_typed"): 15,
    ("build", "brindel", "xlsxwriter_typed"): 12,
    ("memory_build", "brindel", "xlsxwriter_typed"): 2,
    ("to_json", "brindel", "orjson_prebuilt"): 1,
    ("to_dict", "brindel", "python_build"): 1,
    ("finder", "brindel", "tuples"): 0.8,
    ("finder", "brindel", "objects"): 10,
    ("search_first", "readable_sheet", "texts"): 10,
}
for _wid in ("search_rare", "search_common", "search_trim"):
    RATIO_TARGETS[_wid, "readable_sheet", "texts"] = 4
    RATIO_TARGETS[_wid, "readable_sheet", "pandas"] = 20
for _wid in ("search_rare", "search_common", "search_first", "search_trim", "search_rows"):
    RATIO_TARGETS[_wid, "sheet", "texts"] = 2


def _workload(results, wid):
    return next((w for w in results["workloads"] if w["id"] == wid), None)


def _ratio(results, wid, project, peer):
    w = _workload(results, wid)
    if not w:
        return None
    return w.get("ratios", {}).get(project, {}).get(peer)


def _impl(results, wid, key):
    w = _workload(results, wid)
    if not w:
        return None
    return next((i for i in w["implementations"] if i["key"] == key), None)


def _at_least(value, bound):
    return None if value is None else value >= bound


def _at_most(value, bound):
    return None if value is None else value <= bound


def evaluate(results: dict) -> list[dict]:
    rows = []

    def add(workload, target, measured, met, shown):
        rows.append({"workload": workload, "target": target, "measured": measured, "met": met, "shown": shown})

    def ratio_row(workload, target, wid, project, peer, bound):
        r = _ratio(results, wid, project, peer)
        add(workload, target, r, _at_least(r, bound), "-" if r is None else f"{r:.2f}x")

    ratio_row("build through sheet.cell", ">= 15x openpyxl, typed values", "build", "brindel", "openpyxl_typed", 15)
    ratio_row("build through sheet.cell", ">= 12x XlsxWriter, typed values", "build", "brindel", "xlsxwriter_typed", 12)

    mem = _impl(results, "memory_build", "brindel")
    b = mem.get("bytes_per_cell") if mem and mem.get("status") == "ok" else None
    xw = _impl(results, "memory_build", "xlsxwriter_typed")
    xb = xw.get("bytes_per_cell") if xw and xw.get("status") == "ok" else None
    shown = "-" if b is None else f"{b:.0f} B/cell" + (f" ({b / xb:.2f} of XlsxWriter's {xb:.0f})" if xb else "")
    add("memory per cell of that build", "<= 56 bytes (about half of XlsxWriter's)", b, _at_most(b, 56), shown)

    ratio_row("to_json", ">= orjson.dumps of the prebuilt dicts", "to_json", "brindel", "orjson_prebuilt", 1.0)
    ratio_row("to_dict", ">= building the same dicts in Python", "to_dict", "brindel", "python_build", 1.0)
    ratio_row("create_finder", ">= 0.8x the six-key tuple loop", "finder", "brindel", "tuples", 0.8)
    ratio_row("create_finder", ">= 10x the Python object snapshot", "finder", "brindel", "objects", 10)
    mem = _impl(results, "memory_finder", "brindel")
    b = mem.get("bytes_per_cell") if mem and mem.get("status") == "ok" else None
    add("create_finder", "<= 64 bytes per cell", b, _at_most(b, 64), "-" if b is None else f"{b:.0f} B/cell")

    for wid, name in (
        ("search_rare", "rare needle"),
        ("search_common", "common needle"),
        ("search_trim", "trimmed equality"),
    ):
        ratio_row(f"ReadableSheet {name}", ">= 4x comprehension over texts", wid, "readable_sheet", "texts", 4)
        ratio_row(f"ReadableSheet {name}", ">= 20x pandas", wid, "readable_sheet", "pandas", 20)
        w = _workload(results, wid)
        d = (w or {}).get("limit", {}).get("distance", {}).get("readable_sheet")
        add(
            f"ReadableSheet {name}",
            "within 2x of the two-thread memmem row",
            d,
            _at_most(d, 2.0),
            "-" if d is None else f"{d:.2f}x the limit",
        )
    ratio_row("first match at 99%", ">= 10x next(...) over texts", "search_first", "readable_sheet", "texts", 10)
    for wid in ("search_rare", "search_common", "search_first", "search_trim", "search_rows"):
        w = _workload(results, wid)
        if w and any(i["key"] == "sheet" for i in w["implementations"]):
            ratio_row(f"Sheet {w['short']}", ">= 2x the Python comprehension", wid, "sheet", "texts", 2)

    lat = [w for w in results["workloads"] if w.get("group") == "latency"]
    if lat:
        for key, name in (("readable_sheet", "ReadableSheet"), ("readable_fn", "readable function"), ("sheet", "Sheet")):
            worst = None
            for w in lat:
                i = next((i for i in w["implementations"] if i["key"] == key and i.get("status") == "ok"), None)
                if i is not None:
                    us = i["median_s"] * 1e6
                    if worst is None or us > worst[0]:
                        worst = (us, w["short"])
            add(
                f"100-cell searches, {name}",
                "<= 3 us per call (slowest search)",
                None if worst is None else worst[0],
                None if worst is None else worst[0] <= 3.0,
                "-" if worst is None else f"{worst[0]:.2f} us ({worst[1]})",
            )
        switches = [
            i["wakeups"]["worker_switches"]
            for w in lat
            for i in w["implementations"]
            if i.get("wakeups") and i["wakeups"].get("pool_threads")
        ]
        total = sum(switches) if switches else None
        add(
            "100-cell searches",
            "no worker wake-up",
            total,
            None if total is None else total == 0,
            "-" if total is None else f"{total} pool-thread context switches",
        )

    sc = _workload(results, "scaling")
    if sc:
        for name, series in sc.get("series", {}).items():
            e = series.get("exponent")
            add(
                f"scaling: {name}",
                "linear in cells (time ~ n^k, k <= 1.15 from 1e4 up)",
                e,
                _at_most(e, 1.15),
                "-" if e is None else f"k = {e:.2f}",
            )
    return rows
