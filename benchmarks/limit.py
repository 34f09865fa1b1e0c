"""The limit row: compiles limit.c with the system C compiler into a
temporary directory and runs it over the value texts of the snapshot."""

from __future__ import annotations

import json
import os
import shutil
import struct
import subprocess
import tempfile
from pathlib import Path

SOURCE = Path(__file__).with_name("limit.c")


class Limit:
    """One compiled program and one input file; remove() cleans up."""

    def __init__(self, rows, cols, texts, reps: int = 5):
        self.reps = reps
        self.dir = None
        self.error = None
        self.compiler = None
        cc = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
        if not cc:
            self.error = "no C compiler (cc) found"
            return
        self.dir = Path(tempfile.mkdtemp(prefix="brindel-limit-"))
        exe = self.dir / "limit"
        proc = subprocess.run(
            [cc, "-O2", "-pthread", "-o", str(exe), str(SOURCE)],
            capture_output=True,
            text=True,
        )
        if proc.returncode != 0:
            self.error = f"{cc} failed: {proc.stderr.strip()[:300]}"
            return
        version = subprocess.run([cc, "--version"], capture_output=True, text=True)
        self.compiler = (version.stdout.splitlines() or [cc])[0]
        self.exe = exe
        self.input = self.dir / "cells.bin"
        encoded = [t.encode("utf-8") for t in texts]
        n = len(encoded)
        with open(self.input, "wb") as f:
            f.write(struct.pack("<Q", n))
            f.write(struct.pack(f"<{n}I", *rows))
            f.write(struct.pack(f"<{n}I", *cols))
            f.write(struct.pack(f"<{n}I", *map(len, encoded)))
            for b in encoded:
                f.write(b)

    @property
    def ok(self) -> bool:
        return self.error is None

    def run(self, threads: int, mode: str, *args) -> dict:
        cmd = [str(self.exe), str(self.input), str(threads), str(self.reps), mode]
        for a in args:
            cmd.append(",".join(map(str, a)) if isinstance(a, (list, tuple)) else str(a))
        proc = subprocess.run(cmd, capture_output=True, text=True, check=True)
        out = json.loads(proc.stdout)
        out["ns_per_text"] = out["median_ns"] / max(1, out["scanned"])
        return out

    def remove(self):
        if self.dir is not None:
            shutil.rmtree(self.dir, ignore_errors=True)
