"""Smoke test of the benchmark suite: runs it with --quick at the smallest
sizes with whatever peers are installed and checks the shape of the results
JSON. No timing is asserted."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]

try:
    import brindel  # noqa: F401
except ImportError:
    pytest.skip("brindel is not importable", allow_module_level=True)

WORKLOADS = {
    "build",
    "memory_build",
    "to_json",
    "to_dict",
    "memory_finder",
    "finder",
    "search_rare",
    "search_common",
    "search_first",
    "search_trim",
    "search_rows",
    "search_col_rows",
    "search_row_cols",
    "latency_rare",
    "latency_first",
    "scaling",
}
PEER_MODULES = {
    "openpyxl_typed": "openpyxl",
    "openpyxl_texts": "openpyxl",
    "xlsxwriter_typed": "xlsxwriter",
    "xlsxwriter_texts": "xlsxwriter",
    "orjson_prebuilt": "orjson",
    "orjson_build": "orjson",
    "orjson_loads": "orjson",
    "pandas": "pandas",
}


def _installed(module):
    try:
        __import__(module)
    except ImportError:
        return False
    return True


@pytest.fixture(scope="module")
def results(tmp_path_factory):
    out = tmp_path_factory.mktemp("bench")
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([str(ROOT)] + [p for p in [env.get("PYTHONPATH")] if p])
    plots = str(out) if _installed("matplotlib") else "-"
    cmd = [
        sys.executable,
        "-m",
        "benchmarks",
        "--quick",
        "--build-rows", "10",
        "--build-cols", "10",
        "--finder-cells", "2000",
        "--latency-cells", "100",
        "--scaling-sizes", "1000,2000",
        "--out", str(out / "results.json"),
        "--plots", plots,
    ]
    proc = subprocess.run(cmd, cwd=ROOT, env=env, capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stdout[-3000:] + proc.stderr[-3000:]
    data = json.loads((out / "results.json").read_text())
    data["_dir"] = out
    data["_stdout"] = proc.stdout
    return data


def test_top_level(results):
    for key in ("schema", "created", "machine", "versions", "settings", "method", "workloads", "targets"):
        assert key in results
    assert results["quick"] is True
    assert results["load_before"] is None or len(results["load_before"]) == 3


def test_every_workload_is_there(results):
    ids = {w["id"] for w in results["workloads"]}
    assert WORKLOADS <= ids


def test_implementations(results):
    for w in results["workloads"]:
        if w["id"] == "scaling":
            continue
        assert w["implementations"], w["id"]
        roles = {i["role"] for i in w["implementations"]}
        assert {"project", "peer"} <= roles <= {"project", "peer", "bound"}, w["id"]
        for i in w["implementations"]:
            assert i["status"] in ("ok", "unavailable")
            module = PEER_MODULES.get(i["key"]) or next(
                (m for m in ("orjson", "pandas", "openpyxl", "xlsxwriter") if i["key"].startswith(m)),
                None,
            )
            if module and not _installed(module):
                assert i["status"] == "unavailable"
                continue
            if i["role"] == "peer" and module is None or i["key"] == "brindel":
                assert i["status"] == "ok", (w["id"], i)
            if i["status"] != "ok":
                assert i["reason"]
                continue
            if w["group"] == "memory":
                assert i["bytes_per_cell"] >= 0 and i["cells"] > 0
            else:
                assert i["min_s"] <= i["median_s"] <= i["max_s"]
                assert len(i["rounds_s"]) >= 1


def test_ratios(results):
    for w in results["workloads"]:
        if w["id"] == "scaling":
            continue
        peers = {i["key"] for i in w["implementations"] if i["role"] == "peer" and i["status"] == "ok"}
        primary = w["primary"]
        if w["group"] == "memory" and primary not in w["ratios"]:
            continue  # too few cells for the project's growth to show at this size
        assert primary in w["ratios"], w["id"]
        assert set(w["ratios"][primary]) == peers, w["id"]
        # A memory growth can round to 0 at these sizes; a time cannot.
        low = 0 if w["group"] == "memory" else 1e-12
        assert all(r is None or r >= low for r in w["ratios"][primary].values()), w["ratios"]


def test_limit_rows(results):
    for w in results["workloads"]:
        if w["group"] != "search":
            continue
        lim = w["limit"]
        if lim["status"] == "ok":
            assert lim["two_threads"]["ns_per_text"] > 0
            assert lim["one_thread"]["texts"] == w["size"]["cells"]
            assert "readable_sheet" in lim["distance"]


def test_scaling_and_targets(results):
    scaling = next(w for w in results["workloads"] if w["id"] == "scaling")
    assert set(scaling["series"]) == {"build", "to_json", "create_finder", "search"}
    for series in scaling["series"].values():
        assert [p["cells"] for p in series["project"]] == [1000, 2000]
    for t in results["targets"]:
        assert t["met"] in (True, False, None)
        assert t["workload"] and t["target"]


def test_plots(results):
    if not _installed("matplotlib"):
        pytest.skip("matplotlib is not installed")
    for name in ("ratios.png", "scaling.png"):
        assert (results["_dir"] / name).stat().st_size > 0
