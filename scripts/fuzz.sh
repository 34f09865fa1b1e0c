#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (engine instrumented, with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for a short,
# fixed time on a copy of its seed corpus; then runs the atheris target over
# the Python module. Any finding (crash, sanitizer report, failed check,
# timeout) fails the run; the input that caused it is kept under
# build/fuzz/findings/<target>/.
#
#   FUZZ_SECONDS      time per target (default 15; raise it for long runs)
#   FUZZ_BUILD_JOBS   parallel compile jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."

secs=${FUZZ_SECONDS:-15}
build=build/fuzz
findings=$build/findings

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DBRINDEL_FUZZ=ON -DBRINDEL_MODULE=OFF \
    >/dev/null
cmake --build "$build" -j "${FUZZ_BUILD_JOBS:-2}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# name, input-size cap, command...
run_target() {
    local name=$1 cap=$2
    shift 2
    mkdir -p "$work/$name" "$findings/$name"
    cp fuzz/corpus/"$name"/* "$work/$name/"
    local log=$work/$name.log
    echo "== $name: ${secs}s, inputs up to $cap bytes"
    if "$@" -max_total_time="$secs" -max_len="$cap" -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$findings/$name/" "$work/$name" >"$log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
    else
        echo "!! $name: finding (input kept in $findings/$name/)"
        tail -60 "$log"
        status=1
    fi
}

run_target value_text 4096 "$build/fuzz/fuzz_value_text"
run_target coordinate_text 256 "$build/fuzz/fuzz_coordinate_text"
run_target json_document 16384 "$build/fuzz/fuzz_json_document"

# The atheris target runs against the normally built module: the installed
# one when there is one (CI installs the package first), else a build of our
# own next to the fuzz build.
python -c 'import atheris' 2>/dev/null || python -m pip install --quiet atheris
pypath=
if ! python -c 'import _brindel' 2>/dev/null; then
    cmake -S . -B build/fuzz-module -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DPython_EXECUTABLE="$(command -v python)" >/dev/null
    cmake --build build/fuzz-module -j "${FUZZ_BUILD_JOBS:-2}"
    pypath=build/fuzz-module
fi
PYTHONPATH="$pypath${PYTHONPATH:+:$PYTHONPATH}" \
    run_target snapshot_search 1024 python fuzz/snapshot_search.py -rss_limit_mb=4096

exit $status
