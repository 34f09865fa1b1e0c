"""Memory per cell: the peak resident-set growth of a fresh subprocess per
implementation, the same method for every implementation.

The child prepares its input, collects garbage, resets the kernel's peak
resident-set counter (VmHWM, through /proc/self/clear_refs), runs the
workload once and reports VmHWM minus the resident set at the reset. Where
the counter cannot be reset it falls back to the growth of ru_maxrss, which
is only right when the workload raises the peak above everything before.

    python -m benchmarks.memory build KEY ROWS COLS
    python -m benchmarks.memory finder KEY CELLS COLS
"""

from __future__ import annotations

import gc
import json
import os
import resource
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def _status_kb(field: str):
    try:
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def _maxrss_kb() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def _reset_peak() -> bool:
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def measure_peak(run) -> dict:
    gc.collect()
    gc.disable()
    if _reset_peak() and _status_kb("VmHWM") is not None:
        method = "VmHWM after clear_refs"
        base = _status_kb("VmRSS")
        result = run()
        peak = _status_kb("VmHWM")
    else:
        method = "ru_maxrss delta"
        base = _maxrss_kb()
        result = run()
        peak = _maxrss_kb()
    retained = _status_kb("VmRSS")
    out = {
        "method": method,
        "peak_growth_bytes": max(0, peak - base) * 1024,
        "retained_growth_bytes": None if retained is None or base is None else (retained - base) * 1024,
    }
    del result
    return out


def child(argv) -> dict:
    what, key = argv[0], argv[1]
    if what == "build":
        from . import workbook

        rows, cols = int(argv[2]), int(argv[3])
        label, role, fn, kind, module = workbook.BUILDS[key]
        if module:
            __import__(module)
        grid = workbook.build_grids(rows, cols)[kind]
        out = measure_peak(lambda: fn(grid))
        out["cells"] = rows * cols
    elif what == "finder":
        from . import data, readable_bench

        n, cols = int(argv[2]), int(argv[3])
        label, role, fn = readable_bench.FINDERS[key]
        if fn is readable_bench.finder_project:
            readable_bench.readable_module()
        sheets = data.snapshot_sheets(data.snapshot_cells(n, cols))
        out = measure_peak(lambda: fn(sheets))
        out["cells"] = n
    else:
        raise SystemExit(f"unknown workload {what!r}")
    out["bytes_per_cell"] = out["peak_growth_bytes"] / out["cells"]
    return out


def run_child(*args, timeout: float = 900) -> dict:
    """Runs one measurement in a fresh interpreter with this one's path."""
    env = dict(os.environ)
    inherited = env.get("PYTHONPATH")
    env["PYTHONPATH"] = os.pathsep.join([str(ROOT)] + ([inherited] if inherited else []))
    proc = subprocess.run(
        [sys.executable, "-m", "benchmarks.memory", *map(str, args)],
        capture_output=True,
        text=True,
        cwd=str(ROOT),
        env=env,
        timeout=timeout,
    )
    if proc.returncode != 0:
        tail = (proc.stderr.strip().splitlines() or ["failed"])[-1]
        return {"status": "unavailable", "reason": tail}
    out = json.loads(proc.stdout.strip().splitlines()[-1])
    out["status"] = "ok"
    return out


if __name__ == "__main__":
    print(json.dumps(child(sys.argv[1:])))
