"""python benchmarks/run.py [options]: the same as python -m benchmarks."""

import sys
from pathlib import Path

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))

from benchmarks.suite import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
