#!/usr/bin/env bash
# Builds and installs the package, then runs every test: the Python suite
# against the installed module and the engine's C++ unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."

python -m pip install --quiet ".[test]"
python -m pytest -q

cmake -S . -B build/cpp-tests -G Ninja -DBRINDEL_MODULE=OFF -DBRINDEL_TESTS=ON
cmake --build build/cpp-tests
ctest --test-dir build/cpp-tests --output-on-failure
