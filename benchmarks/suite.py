"""The benchmark command: every workload, the project against its peers, in
one process run; results printed, written as JSON and drawn."""

from __future__ import annotations

import argparse
import datetime
import functools
import gc
import json
import math
import os
import platform
import statistics
import sys
import time
from pathlib import Path

from . import data, memory, readable_bench, targets, workbook
from .harness import (
    BOUND,
    PEER,
    PROJECT,
    ResultMismatch,
    fmt_extra,
    fmt_ratio,
    fmt_time,
    impl,
    measure,
    paired_speedup,
    speedup,
)
from .limit import Limit

ROOT = Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
GROUPS = ["build", "memory", "to_json", "to_dict", "finder", "search", "latency", "scaling"]
PEER_MODULES = ["openpyxl", "xlsxwriter", "pandas", "orjson", "matplotlib"]

FULL = {
    "rounds": 7,
    "min_time": 0.05,
    "latency_min_time": 0.02,
    "build_rows": 2000,
    "build_cols": 100,
    "finder_cells": 1_000_000,
    "finder_cols": 100,
    "latency_cells": 100,
    "latency_cols": 10,
    "scaling_sizes": "1000,10000,100000,1000000",
    "spin_up_cells": 200_000,
}
QUICK = dict(
    FULL,
    rounds=1,
    min_time=0.001,
    latency_min_time=0.001,
    build_rows=50,
    build_cols=20,
    finder_cells=5000,
    scaling_sizes="1000,10000",
    spin_up_cells=20_000,
)


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="python -m benchmarks",
        description="brindel side by side with the libraries a user would otherwise pick. "
        "Ratios are peer time / brindel time (how many times faster brindel is); "
        "for memory, peer bytes / brindel bytes.",
    )
    p.add_argument("--quick", action="store_true", help="small sizes and one round: a smoke run, not a measurement")
    p.add_argument("--only", help=f"comma-separated workload groups to run, of: {','.join(GROUPS)}")
    p.add_argument("--skip", help="comma-separated workload groups to leave out")
    p.add_argument("--rounds", type=int, help="timed rounds per workload (7; --quick 1)")
    p.add_argument("--min-time", type=float, help="seconds each round of one implementation lasts at least")
    p.add_argument("--build-rows", type=int, help="rows of the build workload (2000)")
    p.add_argument("--build-cols", type=int, help="columns of the build workload (100)")
    p.add_argument("--finder-cells", type=int, help="cells of the create_finder and search snapshot (1000000)")
    p.add_argument("--finder-cols", type=int, help="columns of that snapshot (100)")
    p.add_argument("--latency-cells", type=int, help="cells of the latency sheet (100)")
    p.add_argument("--latency-cols", type=int, help="columns of the latency sheet (10)")
    p.add_argument("--scaling-sizes", help="comma-separated cell counts (1000,10000,100000,1000000)")
    p.add_argument(
        "--out",
        help="results JSON ('-' for none; default docs/benchmark-results.json, none with --quick)",
    )
    p.add_argument("--plots", help="directory for ratios.png and scaling.png ('-' for none; default docs/, none with --quick)")
    args = p.parse_args(argv)
    base = QUICK if args.quick else FULL
    for key, value in base.items():
        if getattr(args, key, None) is None:
            setattr(args, key, value)
    args.scaling_sizes = [int(float(x)) for x in str(args.scaling_sizes).split(",") if x.strip()]
    groups = GROUPS if not args.only else [g.strip() for g in args.only.split(",") if g.strip()]
    unknown = [g for g in groups if g not in GROUPS]
    if args.skip:
        skip = [g.strip() for g in args.skip.split(",") if g.strip()]
        unknown += [g for g in skip if g not in GROUPS]
        groups = [g for g in groups if g not in skip]
    if unknown:
        p.error(f"unknown workload group(s): {', '.join(unknown)}; known: {', '.join(GROUPS)}")
    args.groups = groups
    if args.out is None:
        args.out = "-" if args.quick else str(DOCS / "benchmark-results.json")
    if args.plots is None:
        args.plots = "-" if args.quick else str(DOCS)
    return args


# ---------------------------------------------------------------------------
# Environment


def _version(module):
    try:
        mod = __import__(module)
    except ImportError:
        return None
    return getattr(mod, "__version__", "?")


def machine_info():
    try:
        available = len(os.sched_getaffinity(0))
    except AttributeError:
        available = os.cpu_count()
    info = {
        "platform": platform.platform(),
        "processor": platform.processor() or platform.machine(),
        "cpus": os.cpu_count(),
        "cpus_available": available,
        "python": sys.version.split()[0],
        "implementation": platform.python_implementation(),
    }
    try:
        with open("/proc/cpuinfo") as f:
            model = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), None)
        info["cpu_model"] = model
    except OSError:
        pass
    return info


def cpu_ticks():
    """(stolen, total) clock ticks of all processors so far: the time the
    host gave this virtual machine's processors to something else."""
    try:
        with open("/proc/stat") as f:
            fields = [int(x) for x in f.readline().split()[1:]]
    except (OSError, ValueError):
        return None
    steal = fields[7] if len(fields) > 7 else 0
    return steal, sum(fields[:8])


_last_ticks = [None]


def steal_since_last():
    """Percentage of processor time stolen by the host since the last call."""
    now = cpu_ticks()
    before, _last_ticks[0] = _last_ticks[0], now
    if now is None or before is None or now[1] <= before[1]:
        return None
    return round(100.0 * (now[0] - before[0]) / (now[1] - before[1]), 1)


def load_average():
    try:
        return [round(x, 2) for x in os.getloadavg()]
    except OSError:
        return None


# ---------------------------------------------------------------------------
# Records


def record(wid, group, short, title, impls, size, primary="brindel", cells=None, limit=None):
    rec = {
        "id": wid,
        "group": group,
        "short": short,
        "title": title,
        "size": size,
        "primary": primary,
        "unit": "seconds per call",
        "implementations": [],
        "ratios": {},
        "load_after": load_average(),
        "cpu_steal_percent": steal_since_last(),
    }
    peers = [i for i in impls if i.role == PEER]
    for item in impls:
        entry = {"key": item.key, "label": item.label, "role": item.role, **item.stats(), **item.extra}
        if entry["status"] == "ok" and cells:
            entry["ns_per_cell"] = entry["median_s"] / cells * 1e9
        rec["implementations"].append(entry)
        if item.role == PROJECT and item.ok:
            rec["ratios"][item.key] = {peer.key: speedup(item, peer) for peer in peers if peer.ok}
            rec.setdefault("paired_ratios", {})[item.key] = {
                peer.key: paired_speedup(item, peer) for peer in peers if peer.ok
            }
    if limit:
        rec["limit"] = limit
    return rec


def print_record(rec):
    print()
    print(f"== {rec['short']}: {rec['title']}")
    size = ", ".join(f"{k} {v:,}" if isinstance(v, int) else f"{k} {v}" for k, v in rec["size"].items())
    print(f"   {size}")
    primary = rec["primary"]
    ratios = rec["ratios"].get(primary, {})
    width = max(len(i["label"]) for i in rec["implementations"]) + 2
    extra_col = "MB/s" if any("mb_per_s" in i for i in rec["implementations"]) else "per cell"
    print(f"   {'implementation':<{width}}{'median':>10}{'min':>10}{'max':>10}{extra_col:>10}{'ratio':>9}")
    for i in rec["implementations"]:
        if i["status"] != "ok":
            print(f"   {i['label']:<{width}}unavailable: {i['reason']}")
            continue
        extra = fmt_extra(i)
        ratio = fmt_ratio(ratios.get(i["key"])) if i["role"] == PEER else ""
        print(
            f"   {i['label']:<{width}}{fmt_time(i['median_s']):>10}{fmt_time(i['min_s']):>10}"
            f"{fmt_time(i['max_s']):>10}{extra:>10}{ratio:>9}"
        )
    labels = {i["key"]: i["label"] for i in rec["implementations"]}
    others = [k for k in rec["ratios"] if k != primary]
    if ratios:
        print(f"   ratio = peer median / {labels.get(primary, primary)} median (x faster)")
    for k in others:
        r = rec["ratios"][k]
        if r:
            shown = ", ".join(f"{labels[p]} {fmt_ratio(v)}" for p, v in r.items())
            print(f"   {labels[k]} against: {shown}")
    lim = rec.get("limit")
    if lim and lim.get("status") == "ok":
        rows = [("", "one_thread", "two_threads")]
        if "each_one_thread" in lim:
            rows = [(" over the whole buffer", "one_thread", "two_threads"), (", one call per text", "each_one_thread", "each_two_threads")]
        for how, a, b in rows:
            one, two = lim[a], lim[b]
            print(
                f"   limit (C {lim['mode']}{how}): 1 thread {fmt_time(one['seconds'])}"
                f" ({one['ns_per_text']:.1f} ns/text), 2 threads {fmt_time(two['seconds'])}"
                f" ({two['ns_per_text']:.1f} ns/text)"
            )
        dist = ", ".join(f"{labels[k]} {v:.1f}x" for k, v in lim["distance"].items())
        print(f"   time / 2-thread limit: {dist}")
    elif lim:
        print(f"   limit: unavailable: {lim.get('reason')}")


def print_memory(rec):
    print()
    print(f"== {rec['short']}: {rec['title']}")
    primary = next((i for i in rec["implementations"] if i["key"] == rec["primary"]), None)
    width = max(len(i["label"]) for i in rec["implementations"]) + 2
    print(f"   {'implementation':<{width}}{'peak growth':>14}{'per cell':>12}{'retained':>12}{'ratio':>9}")
    for i in rec["implementations"]:
        if i["status"] != "ok":
            print(f"   {i['label']:<{width}}unavailable: {i['reason']}")
            continue
        ratio = ""
        if i is not primary and primary and primary["status"] == "ok" and primary["bytes_per_cell"] > 0:
            ratio = fmt_ratio(i["bytes_per_cell"] / primary["bytes_per_cell"])
        retained = i.get("retained_growth_bytes")
        print(
            f"   {i['label']:<{width}}{i['peak_growth_bytes'] / 2**20:>11.1f} MB{i['bytes_per_cell']:>10.1f} B"
            f"{'' if retained is None else f'{retained / 2**20:.1f} MB':>12}{ratio:>9}"
        )
    ok = [i for i in rec["implementations"] if i["status"] == "ok"]
    if ok:
        print(f"   method: {ok[0]['method']}, a fresh subprocess per implementation; ratio = peer bytes / brindel bytes")


# ---------------------------------------------------------------------------
# Workloads


def run_build(args, grids, out):
    impls = workbook.build_impls(grids)
    measure(impls, args.rounds, args.min_time, collect=True)
    cells = args.build_rows * args.build_cols
    rec = record(
        "build",
        "build",
        "build",
        f"{cells:,} cells ({args.build_rows:,} x {args.build_cols}) from a repeating list of "
        f"{len(data.BUILD_TEXTS)} mixed texts",
        impls,
        {"cells": cells, "rows": args.build_rows, "cols": args.build_cols},
        cells=cells,
    )
    out.append(rec)
    print_record(rec)


def memory_record(wid, short, title, what, keys_labels, size_args, cells, available):
    rec = {
        "id": wid,
        "group": "memory",
        "short": short,
        "title": title,
        "size": {"cells": cells},
        "primary": "brindel",
        "unit": "bytes per cell",
        "implementations": [],
        "ratios": {},
    }
    for key, label, role in keys_labels:
        if key in available and available[key]:
            res = {"status": "unavailable", "reason": available[key]}
        else:
            res = memory.run_child(what, key, *size_args)
        rec["implementations"].append({"key": key, "label": label, "role": role, **res})
    base = next((i for i in rec["implementations"] if i["key"] == "brindel" and i["status"] == "ok"), None)
    if base and base["bytes_per_cell"] > 0:
        rec["ratios"]["brindel"] = {
            i["key"]: i["bytes_per_cell"] / base["bytes_per_cell"]
            for i in rec["implementations"]
            if i["role"] == PEER and i["status"] == "ok"
        }
    return rec


def _missing(module):
    if not module:
        return None
    try:
        __import__(module)
    except ImportError as exc:
        return f"{module} is not installed ({exc})"
    return None


def run_build_memory(args, out):
    keys = [(k, v[0], v[1]) for k, v in workbook.BUILDS.items()]
    available = {k: _missing(v[4]) for k, v in workbook.BUILDS.items()}
    cells = args.build_rows * args.build_cols
    rec = memory_record(
        "memory_build",
        "memory: build",
        f"peak resident-set growth of building {cells:,} cells, per cell",
        "build",
        keys,
        (args.build_rows, args.build_cols),
        cells,
        available,
    )
    out.append(rec)
    print_memory(rec)


def run_documents(args, grids, out):
    book = workbook.build_project(grids["texts"])
    model = workbook.build_python(grids["texts"])
    to_json, to_dict, facts = workbook.document_impls(book, model)
    cells = args.build_rows * args.build_cols
    gc.collect()
    gc.freeze()
    try:
        if "to_json" in args.groups:
            measure(to_json, args.rounds, args.min_time)
            for item in to_json:
                size = facts["bytes"].get(item.key)
                if item.ok and size:
                    item.extra["output_bytes"] = size
                    item.extra["mb_per_s"] = size / statistics.median(item.samples) / 1e6
            rec = record(
                "to_json",
                "to_json",
                "to_json",
                f"the document of the {cells:,}-cell book, "
                f"{facts['bytes'].get('brindel', 0) / 1e6:.1f} MB of compact JSON",
                to_json,
                {"cells": cells, "bytes": facts["bytes"].get("brindel", 0)},
                cells=cells,
            )
            out.append(rec)
            print_record(rec)
        if "to_dict" in args.groups:
            measure(to_dict, args.rounds, args.min_time)
            rec = record(
                "to_dict",
                "to_dict",
                "to_dict",
                f"the same document as Python dicts and lists ({cells:,} cells)",
                to_dict,
                {"cells": cells},
                cells=cells,
            )
            out.append(rec)
            print_record(rec)
    finally:
        gc.unfreeze()
    del book, model
    gc.collect()


def run_finder(args, sheets, out):
    impls = readable_bench.finder_impls(sheets)
    gc.collect()
    gc.freeze()  # the input is not garbage: keep the collections after each call short
    try:
        measure(impls, args.rounds, args.min_time, collect=True)
    finally:
        gc.unfreeze()
    n = len(sheets[0]["cells"])
    rec = record(
        "finder",
        "finder",
        "create_finder",
        f"snapshot of {n:,} cell dicts in one sheet (keys row, column, value, formula, data_type, style_id)",
        impls,
        {"cells": n, "cols": args.finder_cols},
        cells=n,
    )
    out.append(rec)
    print_record(rec)


def run_finder_memory(args, out):
    keys = [(k, v[0], v[1]) for k, v in readable_bench.FINDERS.items()]
    available = {}
    try:
        readable_bench.readable_module()
    except readable_bench.Unavailable as exc:
        available["brindel"] = str(exc)
    rec = memory_record(
        "memory_finder",
        "memory: create_finder",
        f"peak resident-set growth of the snapshot of {args.finder_cells:,} cell dicts, per cell",
        "finder",
        keys,
        (args.finder_cells, args.finder_cols),
        args.finder_cells,
        available,
    )
    out.append(rec)
    print_memory(rec)


def limit_figures(lim, query, s, project_impls):
    mode, *margs = query["limit"]
    if lim is None or not lim.ok:
        return {"status": "unavailable", "reason": "limit program not built" if lim is None else lim.error}
    runs = {"one_thread": lim.run(1, mode, *margs), "two_threads": lim.run(2, mode, *margs)}
    if mode in ("memmem", "first", "trimeq"):
        runs["each_one_thread"] = lim.run(1, mode + "-each", *margs)
        runs["each_two_threads"] = lim.run(2, mode + "-each", *margs)
    # The limit program finds what the searches find: a check of both.
    summary = next((i.summary for i in project_impls if i.ok and i.summary is not None), None)
    for name, fig in runs.items():
        if mode == "first":
            found = s.texts[fig["first"]] if fig["first"] >= 0 else None
            agrees = summary is None or found == summary
        else:
            agrees = summary is None or fig["matches"] == (summary[0] if isinstance(summary, tuple) else summary)
        if not agrees:
            raise ResultMismatch(f"limit program ({name}) disagrees with the searches on {query['id']}: {fig}, {summary}")
        fig["seconds"] = fig["median_ns"] / 1e9
    two = runs["two_threads"]["seconds"]
    distance = {}
    for item in project_impls:
        if item.ok and item.samples and two > 0:
            distance[item.key] = statistics.median(item.samples) / two
    return {"status": "ok", "mode": mode, **runs, "distance": distance}


def run_searches(args, cells, finder, objects, out, churned=None):
    s = readable_bench.Snapshot(cells, args.finder_cols, finder=finder, objects=objects, churned=churned)
    lim = Limit(s.rows, s.cols, s.texts, reps=max(3, args.rounds))
    gc.collect()
    gc.freeze()
    try:
        for query in readable_bench.search_queries(s):
            impls = readable_bench.search_impls(s, query)
            measure(impls, args.rounds, args.min_time)
            project = [i for i in impls if i.role == PROJECT]
            limit = limit_figures(lim, query, s, project)
            rec = record(
                query["id"],
                "search",
                query["id"].replace("search_", "search: "),
                query["title"],
                impls,
                {"cells": s.n, "cols": args.finder_cols},
                primary="readable_sheet",
                cells=s.n,
                limit=limit,
            )
            rec["limit_compiler"] = lim.compiler
            out.append(rec)
            print_record(rec)
    finally:
        gc.unfreeze()
        lim.remove()


def run_latency(args, baseline_tids, out):
    small = readable_bench.Snapshot(
        data.snapshot_cells(args.latency_cells, args.latency_cols), args.latency_cols, pandas=False
    )
    pool = set()
    spin_note = None
    try:
        readable = readable_bench.readable_module()
        big = readable.create_finder(data.snapshot_sheets(data.snapshot_cells(args.spin_up_cells)))
        rs = big.sheets[0]
        pool = readable_bench.pool_threads(baseline_tids, lambda: rs.find_cells_by_regex(data.RARE_NEEDLE))
        del big, rs
    except readable_bench.Unavailable as exc:
        spin_note = str(exc)
    gc.collect()
    for query in readable_bench.search_queries(small):
        impls = readable_bench.project_impls(small, query)
        key, label, make = query["peers"][0]
        impls.append(impl(key, label, PEER, make, check=readable_bench.summarize))
        # What the timing loop itself costs per call: a partial of a builtin
        # that does next to nothing.
        impls.append(
            impl("floor", "bound: partial(isinstance, 1, int)", BOUND, lambda: functools.partial(isinstance, 1, int))
        )
        measure(impls, args.rounds, args.latency_min_time)
        for item in impls:
            if item.ok and item.role == PROJECT:
                probe = readable_bench.wakeups(item.fn, 1000, pool)
                probe["pool_threads"] = len(pool)
                item.extra["wakeups"] = probe
                item.extra["us_per_call"] = statistics.median(item.samples) * 1e6
        rec = record(
            "latency_" + query["id"].replace("search_", ""),
            "latency",
            query["id"].replace("search_", "latency: "),
            query["title"] + f", on {small.n} cells",
            impls,
            {"cells": small.n, "cols": args.latency_cols},
            primary="readable_sheet",
        )
        rec["pool_threads"] = len(pool)
        if spin_note:
            rec["pool_note"] = spin_note
        out.append(rec)
        print_record(rec)
        woken = {i["label"]: i["wakeups"]["worker_switches"] for i in rec["implementations"] if i.get("wakeups")}
        if pool:
            print(f"   pool threads: {len(pool)}; their context switches in 1000 calls: {woken}")
        else:
            print("   no pool threads seen in this process")


def _exponent(points):
    pts = [(p["cells"], p["median_s"]) for p in points if p.get("median_s")]
    big = [p for p in pts if p[0] >= 10_000]
    if len(big) >= 2:
        pts = big
    if len(pts) < 2:
        return None
    xs = [math.log(x) for x, _ in pts]
    ys = [math.log(y) for _, y in pts]
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    den = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / den if den else None


def run_scaling(args, big_cells, out):
    series = {
        "build": {"project_label": "build: sheet.cell", "peer_label": "build: plain Python model"},
        "to_json": {"project_label": "to_json", "peer_label": "to_json: orjson.dumps prebuilt"},
        "create_finder": {"project_label": "create_finder", "peer_label": "create_finder: six-key tuple loop"},
        "search": {
            "project_label": "search: ReadableSheet rare needle",
            "peer_label": "search: comprehension over texts",
        },
    }
    for s in series.values():
        s["project"], s["peer"] = [], []
    readable = None
    try:
        readable = readable_bench.readable_module()
    except readable_bench.Unavailable as exc:
        for name in ("create_finder", "search"):
            series[name]["note"] = str(exc)
    try:
        import orjson

        dumps = orjson.dumps
    except ImportError:
        dumps = None
        series["to_json"]["peer_label"] = "to_json: orjson unavailable"
    gc.collect()
    gc.freeze()
    try:
        _scaling_points(args, big_cells, series, readable, dumps)
    finally:
        gc.unfreeze()
    for s in series.values():
        s["exponent"] = _exponent(s["project"])
        s["peer_exponent"] = _exponent(s["peer"])
    _print_scaling(args, series, out)


def _scaling_points(args, big_cells, series, readable, dumps):
    for n in args.scaling_sizes:
        rounds = args.rounds if n < 1_000_000 else min(args.rounds, 3)
        cols = min(100, n)
        rows = max(1, n // cols)
        grid = data.build_grid(rows, cols, data.BUILD_TEXTS)
        cells_n = rows * cols
        pairs = []
        b = [
            impl("brindel", "build", PROJECT, lambda: lambda: workbook.build_project(grid)),
            impl("python", "build python", PEER, lambda: lambda: workbook.build_python(grid)),
        ]
        measure(b, rounds, args.min_time, collect=True)
        pairs.append(("build", b, cells_n))
        book = workbook.build_project(grid)
        prebuilt = data.python_document(workbook.build_python(grid))
        j = [impl("brindel", "to_json", PROJECT, lambda: book.to_json)]
        if dumps:
            j.append(impl("orjson", "orjson", PEER, lambda: lambda: dumps(prebuilt)))
        measure(j, rounds, args.min_time)
        pairs.append(("to_json", j, cells_n))
        del book, prebuilt
        if readable is not None:
            snap = big_cells[:n] if big_cells is not None and n <= len(big_cells) else data.snapshot_cells(n)
            sheets = data.snapshot_sheets(snap)
            f = [
                impl("brindel", "create_finder", PROJECT, lambda: lambda: readable.create_finder(sheets)),
                impl("tuples", "tuples", PEER, lambda: lambda: readable_bench.finder_tuples(sheets)),
            ]
            measure(f, rounds, args.min_time, collect=True)
            pairs.append(("create_finder", f, len(snap)))
            rs = readable.create_finder(sheets).sheets[0]
            texts = [data.value_text(d["value"]) for d in snap]
            needle = data.RARE_NEEDLE
            q = [
                impl(
                    "brindel",
                    "search",
                    PROJECT,
                    lambda: lambda: rs.find_cells_by_regex(needle),
                    check=readable_bench.summarize,
                ),
                impl(
                    "texts",
                    "comprehension",
                    PEER,
                    lambda: lambda: [t for t in texts if needle in t],
                    check=readable_bench.summarize,
                ),
            ]
            measure(q, rounds, args.min_time)
            pairs.append(("search", q, len(snap)))
            del rs, texts, sheets, snap
        for name, impls, count in pairs:
            for item in impls:
                st = item.stats()
                if st["status"] == "ok":
                    role = "project" if item.role == PROJECT else "peer"
                    series[name][role].append(
                        {"cells": count, "median_s": st["median_s"], "min_s": st["min_s"], "max_s": st["max_s"]}
                    )
        gc.collect()


def _print_scaling(args, series, out):
    rec = {
        "id": "scaling",
        "group": "scaling",
        "short": "scaling",
        "title": "build, to_json, create_finder and one search against the number of cells",
        "size": {"cells": args.scaling_sizes},
        "primary": "brindel",
        "unit": "seconds per call",
        "implementations": [],
        "ratios": {},
        "series": series,
    }
    out.append(rec)
    print()
    print(f"== scaling: {rec['title']}")
    print(f"   {'workload':<44}" + "".join(f"{n:>12,}" for n in args.scaling_sizes) + "   exponent")
    for name, s in series.items():
        for role in ("project", "peer"):
            pts = {p["cells"]: p for p in s[role]}
            if not pts:
                continue
            cols_ = []
            for n in args.scaling_sizes:
                p = next((p for c, p in pts.items() if c <= n and c * 1.01 >= n * 0.99), None)
                cols_.append(f"{p['cells'] / p['median_s'] / 1e6:>9.2f} M/s" if p else f"{'-':>12}")
            e = s["exponent" if role == "project" else "peer_exponent"]
            print(f"   {s[role + '_label']:<44}" + "".join(cols_) + f"   {'-' if e is None else f'{e:.2f}'}")
    print("   (cells per second; exponent k of time ~ n^k, fitted from 1e4 cells up)")


# ---------------------------------------------------------------------------


def main(argv=None) -> int:
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        import brindel
    except ImportError as exc:
        print(f"brindel is not importable ({exc}); install it first (pip install .)", file=sys.stderr)
        return 2
    started = time.time()
    results = {
        "schema": 1,
        "created": datetime.datetime.now().astimezone().isoformat(timespec="seconds"),
        "command": "python -m benchmarks " + " ".join(sys.argv[1:] if argv is None else argv),
        "quick": args.quick,
        "settings": {
            k: getattr(args, k)
            for k in list(FULL) + ["groups"]
            if hasattr(args, k)
        },
        "method": {
            "timing": "all implementations of a workload in one process, alternating, one call each per round "
            "(calibrated repetitions for fast calls); median, min and max over the rounds; cyclic garbage "
            "collector off while a call is timed",
            "ratio": "peer median time / project median time (x faster); for memory, peer bytes / project bytes",
            "memory": "peak resident-set growth (VmHWM after resetting it through /proc/self/clear_refs; "
            "ru_maxrss growth where that is not possible) of a fresh subprocess per implementation, per cell",
        },
        "machine": machine_info(),
        "versions": {"brindel": getattr(brindel, "__version__", "?"), **{m: _version(m) for m in PEER_MODULES}},
        "load_before": load_average(),
        "workloads": [],
    }
    results["machine"]["load_before"] = results["load_before"]
    run_ticks = cpu_ticks()
    steal_since_last()
    # Threads there before any search (the peers are imported by now): what
    # appears later is the project's worker pool.
    baseline_tids = set(readable_bench.thread_counters())
    print(
        f"brindel {results['versions']['brindel']} on {results['machine']['cpus_available']} cores, "
        f"Python {results['machine']['python']}; load average {results['load_before']}"
    )
    peers = ", ".join(f"{m} {v}" if v else f"{m} missing" for m, v in results["versions"].items() if m != "brindel")
    print(f"peers: {peers}")
    if args.quick:
        print("--quick: small sizes and one round; the figures mean nothing")
    out = results["workloads"]
    g = args.groups
    gc.collect()
    if {"build", "memory", "to_json", "to_dict"} & set(g):
        grids = workbook.build_grids(args.build_rows, args.build_cols)
        if "build" in g:
            run_build(args, grids, out)
        if "memory" in g:
            run_build_memory(args, out)
        if "to_json" in g or "to_dict" in g:
            run_documents(args, grids, out)
        del grids
        gc.collect()
    cells = None
    if {"finder", "search", "scaling"} & set(g) or ("memory" in g):
        if {"finder", "search", "scaling"} & set(g):
            cells = data.snapshot_cells(args.finder_cells, args.finder_cols)
        if "memory" in g:
            run_finder_memory(args, out)
        finder = churned = None
        if "search" in g:
            # The snapshot the searches run on is made before any other has
            # been freed; a second one after several were (the finder
            # workload builds and frees one per round).
            try:
                finder = readable_bench.readable_module().create_finder(data.snapshot_sheets(cells))
            except readable_bench.Unavailable:
                finder = None
        rounds_done = 0
        if "finder" in g:
            run_finder(args, data.snapshot_sheets(cells), out)
            rounds_done = args.rounds + 1
        if "search" in g:
            if finder is not None:
                churned = readable_bench.churned_finder(data.snapshot_sheets(cells), rounds_done)
            objects = readable_bench.finder_objects(data.snapshot_sheets(cells))[0]
            run_searches(args, cells, finder, objects, out, churned)
            del objects
        del finder, churned
        gc.collect()
    if "latency" in g:
        run_latency(args, baseline_tids, out)
    if "scaling" in g:
        big = cells if cells is not None and args.finder_cols == 100 else None
        run_scaling(args, big, out)
    del cells
    results["load_after"] = load_average()
    results["machine"]["load_after"] = results["load_after"]
    end_ticks = cpu_ticks()
    if run_ticks and end_ticks and end_ticks[1] > run_ticks[1]:
        results["machine"]["cpu_steal_percent"] = round(
            100.0 * (end_ticks[0] - run_ticks[0]) / (end_ticks[1] - run_ticks[1]), 1
        )
    results["seconds"] = round(time.time() - started, 1)
    results["targets"] = targets.evaluate(results)
    print()
    print("== targets")
    for t in results["targets"]:
        if t["met"] is None:
            continue
        state = "met" if t["met"] else "MISSED"
        print(f"   {state:<7}{t['workload']:<38}{t['target']:<52}{t['shown']}")
    skipped = sum(1 for t in results["targets"] if t["met"] is None)
    if skipped:
        print(f"   ({skipped} target(s) not measured in this run)")
    print()
    steal = results["machine"].get("cpu_steal_percent")
    print(
        f"load average before {results['load_before']}, after {results['load_after']}; "
        f"processor time taken by the host (steal): {'-' if steal is None else f'{steal}%'}; {results['seconds']} s"
    )
    if args.out != "-":
        path = Path(args.out)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(json.dumps(results, indent=1) + "\n")
        print(f"results: {path}")
    if args.plots != "-":
        try:
            written = __import__("benchmarks.plots", fromlist=["draw"]).draw(results, Path(args.plots))
            for p in written:
                print(f"plot: {p}")
        except ImportError:
            print("plots: matplotlib is not installed; skipped")
    return 0
