"""Benchmarks: brindel side by side with the libraries a user would otherwise
pick (openpyxl, XlsxWriter, pandas, orjson, plain Python), in one run.

    python -m benchmarks            # every workload, results into docs/
    python -m benchmarks --quick    # small sizes, one round: a smoke run
    python -m benchmarks --help     # sizes, rounds, workload selection

Nothing is installed by the suite; ``pip install .[bench]`` brings the peers.
A peer that is missing is reported as unavailable.
"""
