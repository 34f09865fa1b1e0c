"""Markdown tables of a results JSON, for docs/performance.md:

    python -m benchmarks.markdown docs/benchmark-results.json
    python -m benchmarks.markdown docs/benchmark-results.json --into docs/performance.md

With --into, the tables replace what stands between the lines
<!-- figures --> and <!-- /figures --> of that file.
"""

from __future__ import annotations

import json
import sys

from .harness import fmt_extra, fmt_ratio, fmt_time


SURFACES = {
    "readable_sheet": "ReadableSheet",
    "readable_sheet_churned": "ReadableSheet after churn",
    "readable_fn": "readable function (ReadableCell list)",
    "readable_fn_dicts": "readable function (list of dicts)",
    "sheet": "Sheet",
}


def _impl_rows(w):
    ratios = w.get("ratios", {}).get(w["primary"], {})
    mem = w.get("group") == "memory"
    lines = []
    if mem:
        lines.append("| implementation | peak growth | bytes per cell | ratio |")
        lines.append("|---|---:|---:|---:|")
    else:
        extra = "MB/s" if any("mb_per_s" in i for i in w["implementations"]) else "per cell"
        lines.append(f"| implementation | median | min | max | {extra} | ratio |")
        lines.append("|---|---:|---:|---:|---:|---:|")
    for i in w["implementations"]:
        name = i["label"].replace("|", "\\|")
        if i["role"] == "project":
            name = f"**{name}**"
        if i["status"] != "ok":
            lines.append(f"| {name} | unavailable: {i['reason']} |" + (" |" * (2 if mem else 4)))
            continue
        r = ratios.get(i["key"])
        ratio = fmt_ratio(r) if i["role"] == "peer" else ("bound" if i["role"] == "bound" else "")
        if mem:
            lines.append(
                f"| {name} | {i['peak_growth_bytes'] / 2**20:.1f} MB | {i['bytes_per_cell']:.0f} | {ratio} |"
            )
            continue
        extra = fmt_extra(i)
        lines.append(
            f"| {name} | {fmt_time(i['median_s'])} | {fmt_time(i['min_s'])} | {fmt_time(i['max_s'])}"
            f" | {extra} | {ratio} |"
        )
    labels = {i["key"]: i["label"] for i in w["implementations"]}
    for k, rs in w.get("ratios", {}).items():
        if k == w["primary"] or not rs:
            continue
        shown = ", ".join(f"{labels[p]} {fmt_ratio(v)}" for p, v in rs.items())
        lines.append("")
        lines.append(f"{labels[k]} against: {shown}.")
    lim = w.get("limit")
    if lim and lim.get("status") == "ok":
        lines.append("")
        parts = [
            f"2 threads {fmt_time(lim['two_threads']['seconds'])} ({lim['two_threads']['ns_per_text']:.1f} ns/text),"
            f" 1 thread {fmt_time(lim['one_thread']['seconds'])}"
        ]
        if "each_two_threads" in lim:
            parts.append(
                f"one call per text: 2 threads {fmt_time(lim['each_two_threads']['seconds'])},"
                f" 1 thread {fmt_time(lim['each_one_thread']['seconds'])}"
            )
        dist = ", ".join(f"{SURFACES.get(k, labels[k])} {v:.1f}x" for k, v in lim["distance"].items())
        lines.append(f"Limit ({lim['mode']}): " + "; ".join(parts) + f". Time over the 2-thread limit: {dist}.")
    return lines


def render(results: dict) -> str:
    out = []
    m = results.get("machine", {})
    out.append(
        f"Run of {results.get('created', '?')}: {m.get('cpu_model') or m.get('processor')}, "
        f"{m.get('cpus_available')} cores available, Python {m.get('python')}; load average "
        f"{results.get('load_before')} before and {results.get('load_after')} after; processor time "
        f"taken by the host (steal) {m.get('cpu_steal_percent', '-')}%; "
        f"{results.get('seconds')} s in all."
    )
    v = results.get("versions", {})
    out.append("Versions: " + ", ".join(f"{k} {v[k]}" for k in v if v[k]) + ".")
    for w in results["workloads"]:
        if w["group"] in ("scaling", "latency"):
            continue
        out.append("")
        out.append(f"#### {w['short']}: {w['title']}")
        out.append("")
        out.extend(_impl_rows(w))
    lat = [w for w in results["workloads"] if w["group"] == "latency"]
    if lat:
        out.append("")
        out.append(f"#### latency on {lat[0]['size']['cells']} cells (microseconds per call, median)")
        out.append("")
        keys = ["readable_sheet", "readable_fn", "sheet"]
        out.append("| search | ReadableSheet | readable function | Sheet | Python | loop bound | pool-thread switches |")
        out.append("|---|---:|---:|---:|---:|---:|---:|")
        for w in lat:
            by = {i["key"]: i for i in w["implementations"]}
            cells = []
            peer = next(i["key"] for i in w["implementations"] if i["role"] == "peer")
            for k in keys + [peer, "floor"]:
                i = by.get(k)
                cells.append(f"{i['median_s'] * 1e6:.2f}" if i and i["status"] == "ok" else "-")
            sw = sum(i["wakeups"]["worker_switches"] for i in w["implementations"] if i.get("wakeups"))
            out.append(f"| {w['short'].split(': ')[1]} | " + " | ".join(cells) + f" | {sw} |")
    sc = next((w for w in results["workloads"] if w["group"] == "scaling"), None)
    if sc:
        sizes = sc["size"]["cells"]
        out.append("")
        out.append("#### scaling (million cells per second, median)")
        out.append("")
        out.append("| workload | " + " | ".join(f"{n:,}" for n in sizes) + " | exponent |")
        out.append("|---|" + "---:|" * (len(sizes) + 1))
        for name, s in sc["series"].items():
            for role in ("project", "peer"):
                pts = {p["cells"]: p for p in s.get(role, [])}
                if not pts:
                    continue
                row = []
                for n in sizes:
                    p = next((p for c, p in pts.items() if abs(c - n) <= n * 0.01), None)
                    row.append(f"{p['cells'] / p['median_s'] / 1e6:.2f}" if p else "-")
                e = s["exponent" if role == "project" else "peer_exponent"]
                out.append(f"| {s[role + '_label']} | " + " | ".join(row) + f" | {'-' if e is None else f'{e:.2f}'} |")
    if results.get("targets"):
        out.append("")
        out.append("#### targets")
        out.append("")
        out.append("| workload | target | this run | |")
        out.append("|---|---|---|---|")
        for t in results["targets"]:
            state = {True: "met", False: "missed", None: "not measured"}[t["met"]]
            out.append(f"| {t['workload']} | {t['target']} | {t['shown']} | {state} |")
    return "\n".join(out) + "\n"


BEGIN, END = "<!-- figures -->", "<!-- /figures -->"


def main(argv):
    path = argv[0] if argv and not argv[0].startswith("--") else "docs/benchmark-results.json"
    with open(path) as f:
        text = render(json.load(f))
    if "--into" not in argv:
        sys.stdout.write(text)
        return 0
    target = argv[argv.index("--into") + 1]
    with open(target) as f:
        doc = f.read()
    if BEGIN not in doc or END not in doc:
        print(f"{target} has no {BEGIN} ... {END} block", file=sys.stderr)
        return 1
    head, rest = doc.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    with open(target, "w") as f:
        f.write(head + BEGIN + "\n\n" + text + "\n" + END + tail)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
