#!/usr/bin/env bash
# Builds the engine with ThreadSanitizer and runs its stress test: searches,
# writes, deletions, copies and exports on many threads at once over shared
# records. Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/tsan
cmake -S . -B "$build" -G Ninja -DBRINDEL_TSAN=ON -DBRINDEL_MODULE=OFF >/dev/null
cmake --build "$build" --target stress_tsan

# halt_on_error stops at the first report with exit code 66; the log is also
# searched, so that a report can never pass unnoticed.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$build/stress_tsan" 2>"$log" || status=$?
cat "$log" >&2
if grep -q "WARNING: ThreadSanitizer" "$log"; then
  echo "tsan.sh: ThreadSanitizer reported a problem" >&2
  exit 1
fi
exit "$status"
