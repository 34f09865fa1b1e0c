#!/usr/bin/env bash
# Builds the module with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole Python suite against that build. Any sanitizer report fails
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/sanitize
cmake -S . -B "$build" -G Ninja -DBRINDEL_SANITIZE=ON -DPython_EXECUTABLE="$(command -v python)" >/dev/null
cmake --build "$build"

asan=$(g++ -print-file-name=libasan.so)
ubsan=$(g++ -print-file-name=libubsan.so)
# The interpreter's own allocations are not ours to judge: leak detection off.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export PYTHONMALLOC=malloc
export BRINDEL_SANITIZED=1
LD_PRELOAD="$asan $ubsan" PYTHONPATH="$build:python" python -m pytest -q -p no:cacheprovider "$@"
