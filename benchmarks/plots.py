"""The two figures of docs/performance.md, drawn from the results JSON."""

from __future__ import annotations

from pathlib import Path

GROUP_COLOURS = {
    "build": "#4c72b0",
    "memory": "#8172b2",
    "to_json": "#55a868",
    "to_dict": "#64b5cd",
    "finder": "#c44e52",
    "search": "#dd8452",
    "latency": "#937860",
}


SHORTER = {
    "comprehension over row, column and text lists": "comprehension over lists",
    "comprehension over row and text lists": "comprehension over lists",
    "comprehension over __slots__ objects": "comprehension over objects",
}


def ratio_bars(results: dict) -> list:
    """(label, ratio, group, target) for every peer of every workload,
    measured against the workload's main project implementation; for the
    searches also the writable Sheet against the comprehension."""
    from .targets import RATIO_TARGETS

    bars = []
    for w in results["workloads"]:
        if w.get("group") == "scaling":
            continue
        labels = {i["key"]: SHORTER.get(i["label"], i["label"]) for i in w["implementations"]}
        shown = [(w.get("primary"), None)]
        if w.get("group") == "search":
            shown += [("readable_sheet_churned", "texts"), ("sheet", "texts")]
        for project, only in shown:
            for peer, r in w.get("ratios", {}).get(project, {}).items():
                if r is None or (only and peer != only):
                    continue
                who = {
                    w.get("primary"): "",
                    "readable_sheet_churned": "after churn: ",
                }.get(project, f"{labels.get(project, project).split('.')[0]} vs ")
                target = RATIO_TARGETS.get((w["id"], project, peer))
                bars.append((f"{w['short']}: {who}{labels.get(peer, peer)}", r, w.get("group", ""), target))
    return bars


def draw(results: dict, directory: Path) -> list[Path]:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    directory.mkdir(parents=True, exist_ok=True)
    written = []
    machine = results.get("machine", {})
    note = (
        f"{machine.get('cpus_available', '?')} cores, load {machine.get('load_before', ['?'])[0]}"
        f" before / {machine.get('load_after', ['?'])[0]} after, steal {machine.get('cpu_steal_percent', '?')}%;"
        f" {results.get('created', '')[:16]}"
    )

    bars = ratio_bars(results)
    if bars:
        height = max(4.0, 0.2 * len(bars) + 1.4)
        fig, ax = plt.subplots(figsize=(11.5, height))
        ys = list(range(len(bars)))[::-1]
        for y, (label, r, group, target) in zip(ys, bars):
            ax.barh(y, r, color=GROUP_COLOURS.get(group, "#999999"), height=0.7)
            ax.text(r * 1.04, y, f"{r:.2f}x" if r < 10 else f"{r:.0f}x", va="center", fontsize=7)
            if target:
                ax.plot([target, target], [y - 0.42, y + 0.42], color="black", linewidth=1.4)
        ax.set_yticks(ys)
        ax.set_yticklabels([b[0] for b in bars], fontsize=7)
        ax.set_xscale("log")
        ax.axvline(1.0, color="grey", linewidth=0.8, linestyle="--")
        ax.set_xlabel("times faster (smaller, for memory) than the peer; black tick: target")
        ax.set_title(f"brindel against its peers, one run\n{note}", fontsize=9)
        ax.margins(x=0.15)
        ax.set_ylim(-0.8, len(bars) - 0.2)
        fig.tight_layout()
        path = directory / "ratios.png"
        fig.savefig(path, dpi=110, bbox_inches="tight")
        plt.close(fig)
        written.append(path)

    scaling = next((w for w in results["workloads"] if w.get("group") == "scaling"), None)
    if scaling and scaling.get("series"):
        fig, ax = plt.subplots(figsize=(10.5, 5))
        colours = ["#4c72b0", "#55a868", "#c44e52", "#dd8452"]
        for colour, (name, series) in zip(colours, scaling["series"].items()):
            for role, style in (("project", "-o"), ("peer", "--x")):
                pts = [p for p in series.get(role, []) if p.get("median_s")]
                if not pts:
                    continue
                xs = [p["cells"] for p in pts]
                ys = [p["cells"] / p["median_s"] for p in pts]
                label = series.get(f"{role}_label", name)
                ax.plot(xs, ys, style, color=colour, label=label, markersize=4)
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("cells")
        ax.set_ylabel("cells per second (median)")
        ax.set_title(f"Throughput against size\n{note}", fontsize=9)
        ax.grid(True, which="both", linewidth=0.3)
        ax.legend(fontsize=7, loc="center left", bbox_to_anchor=(1.01, 0.5))
        fig.tight_layout()
        path = directory / "scaling.png"
        fig.savefig(path, dpi=110, bbox_inches="tight")
        plt.close(fig)
        written.append(path)
    return written


if __name__ == "__main__":
    import json
    import sys

    # python -m benchmarks.plots RESULTS.json DIRECTORY: draws the figures again.
    with open(sys.argv[1] if len(sys.argv) > 1 else "docs/benchmark-results.json") as f:
        for written in draw(json.load(f), Path(sys.argv[2] if len(sys.argv) > 2 else "docs")):
            print(written)
