"""Timing: every implementation of a workload in one process, alternating,
several rounds; median, min and max per implementation."""

from __future__ import annotations

import gc
import math
import statistics
import time
from dataclasses import dataclass, field
from typing import Any, Callable, Optional

PROJECT = "project"
PEER = "peer"
BOUND = "bound"  # a reference figure: neither the project nor a peer, no ratio


class Unavailable(Exception):
    """An implementation that cannot run here (a peer not installed, a
    method the package does not have)."""


@dataclass
class Impl:
    key: str
    label: str
    role: str  # PROJECT or PEER
    fn: Optional[Callable[[], Any]] = None
    unavailable: Optional[str] = None
    # Called once with one result; returns a small comparable summary, which
    # must be the same for every implementation of a workload.
    check: Optional[Callable[[Any], Any]] = None
    loops: int = 1
    samples: list = field(default_factory=list)  # seconds per call, one per round
    summary: Any = None
    extra: dict = field(default_factory=dict)

    @property
    def ok(self) -> bool:
        return self.unavailable is None and self.fn is not None

    def stats(self) -> dict:
        if not self.ok or not self.samples:
            return {"status": "unavailable", "reason": self.unavailable or "not run"}
        return {
            "status": "ok",
            "median_s": statistics.median(self.samples),
            "min_s": min(self.samples),
            "max_s": max(self.samples),
            "rounds_s": list(self.samples),
            "loops": self.loops,
        }


def impl(key, label, role, make, check=None) -> Impl:
    """An Impl whose callable comes from make(); make raises Unavailable (or
    ImportError / AttributeError) when it cannot be built here."""
    try:
        fn = make()
    except (Unavailable, ImportError, AttributeError) as exc:
        return Impl(key, label, role, unavailable=str(exc) or type(exc).__name__)
    return Impl(key, label, role, fn=fn, check=check)


def _once(fn) -> float:
    t0 = time.perf_counter_ns()
    result = fn()
    t1 = time.perf_counter_ns()
    del result
    return (t1 - t0) / 1e9


def _loop(fn, loops: int) -> float:
    # Results stay alive until the clock has stopped, as in _once: freeing
    # them is never part of a figure.
    keep = [None] * loops
    t0 = time.perf_counter_ns()
    for k in range(loops):
        keep[k] = fn()
    t1 = time.perf_counter_ns()
    del keep
    return (t1 - t0) / 1e9 / loops


class ResultMismatch(AssertionError):
    pass


def measure(impls: list[Impl], rounds: int, min_time: float, collect: bool = False) -> None:
    """Fills impl.samples (seconds per call).

    A warm-up call of each implementation checks its result and calibrates
    how many calls one round makes (enough for min_time seconds). Then each
    round runs every implementation once, starting each round one
    implementation further along, so none always runs first or last.
    The cyclic garbage collector stays off while a call is timed; with
    collect, garbage is collected (untimed) after each call.
    """
    live = [i for i in impls if i.ok]
    reference = None
    for item in live:
        gc.collect()
        t0 = time.perf_counter_ns()
        result = item.fn()
        first = (time.perf_counter_ns() - t0) / 1e9
        if item.check is not None:
            item.summary = item.check(result)
            if reference is None:
                reference = (item.label, item.summary)
            elif item.summary != reference[1]:
                raise ResultMismatch(
                    f"{item.label} gives {item.summary!r}, {reference[0]} gives {reference[1]!r}"
                )
        del result
        if collect:
            gc.collect()
        item.loops = 1 if first >= min_time else min(1_000_000, max(1, math.ceil(min_time / max(first, 1e-7))))
    enabled = gc.isenabled()
    gc.disable()
    try:
        for r in range(rounds):
            start = r % len(live) if live else 0
            for item in live[start:] + live[:start]:
                t = _once(item.fn) if item.loops == 1 else _loop(item.fn, item.loops)
                item.samples.append(t)
                if collect:
                    gc.collect()
    finally:
        if enabled:
            gc.enable()


def median(impl_: Impl) -> Optional[float]:
    return statistics.median(impl_.samples) if impl_.ok and impl_.samples else None


def speedup(project: Impl, peer: Impl) -> Optional[float]:
    """How many times faster the project is: peer median time / project
    median time (equally: project throughput / peer throughput)."""
    a, b = median(project), median(peer)
    if a is None or b is None or a <= 0:
        return None
    return b / a


def paired_speedup(project: Impl, peer: Impl) -> Optional[float]:
    """Median over the rounds of peer time / project time within one round:
    less moved than the ratio of medians when the machine's speed drifts
    during a run, as the two ran close together in every round."""
    if not (project.ok and peer.ok) or len(project.samples) != len(peer.samples) or not project.samples:
        return None
    return statistics.median(b / a for a, b in zip(project.samples, peer.samples) if a > 0)


def fmt_time(seconds: Optional[float]) -> str:
    if seconds is None:
        return "-"
    if seconds >= 1:
        return f"{seconds:.2f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.1f} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.2f} us"
    return f"{seconds * 1e9:.0f} ns"


def fmt_extra(rec: dict) -> str:
    """The throughput column of one implementation's results: MB/s where
    the workload writes bytes, else the time per cell, else nothing."""
    if "mb_per_s" in rec:
        return f"{rec['mb_per_s']:.0f}"
    if "ns_per_cell" in rec:
        return fmt_time(rec["ns_per_cell"] / 1e9)
    return ""


def fmt_ratio(r: Optional[float]) -> str:
    if r is None:
        return "-"
    if r >= 100:
        return f"{r:.0f}x"
    if r >= 10:
        return f"{r:.1f}x"
    return f"{r:.2f}x"
