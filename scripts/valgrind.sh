#!/usr/bin/env bash
# Runs scripts/exercise_surface.py under valgrind's memcheck and fails on any
# memory error or definite leak that comes from the module.
#
#   scripts/valgrind.sh [--installed] [rounds]
#
# By default it builds build/leaks (RelWithDebInfo, so reports name files and
# lines) and runs against that. With --installed it runs against the module
# the current python imports (the one scripts/test.sh installed): no build,
# and reports still name the module's file.
#
# The interpreter's own allocations are not ours to judge: a report counts
# when one of its stack frames lies in the module's shared object or in a
# brindel:: function. The interpreter's reports are counted and listed by
# kind only. No suppression file is needed for that.
set -euo pipefail
cd "$(dirname "$0")/.."

installed=0
if [[ "${1:-}" == "--installed" ]]; then
  installed=1
  shift
fi
rounds="${1:-2}"

if [[ $installed == 0 ]]; then
  build=build/leaks
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$(command -v python)" >/dev/null
  cmake --build "$build" --target _brindel
  export PYTHONPATH="$build:python${PYTHONPATH:+:$PYTHONPATH}"
fi
echo "module: $(python -c 'import _brindel; print(_brindel.__file__)')"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Every allocation goes through malloc, so memcheck sees the objects too.
status=0
PYTHONMALLOC=malloc valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
  --num-callers=40 --xml=yes --xml-file="$out/report.xml" --log-file="$out/log.txt" \
  python scripts/exercise_surface.py "$rounds" || status=$?
if [[ $status != 0 ]]; then
  echo "the exercise itself failed under valgrind (exit status $status)" >&2
  tail -n 30 "$out/log.txt" >&2
  exit 1
fi

python - "$out/report.xml" <<'EOF'
import collections
import sys
import xml.etree.ElementTree as ET



def is_ours(frame):
    return "_brindel" in (frame.findtext("obj") or "") or "brindel::" in (frame.findtext("fn") or "")


def is_interpreter(frame):
    obj = frame.findtext("obj") or ""
    return "libpython" in obj or obj.endswith("/python") or "/python3" in obj


root = ET.parse(sys.argv[1]).getroot()
ours, others = [], collections.Counter()
for err in root.findall("error"):
    kind = err.findtext("kind")
    if kind.startswith("Leak_") and kind != "Leak_DefinitelyLost":
        continue  # possibly lost, indirectly lost, still reachable: not failures
    frames = err.findall("stack/frame")
    if kind == "Leak_DefinitelyLost":
        # Lost memory allocated anywhere below a module call: ours, also
        # when the interpreter made the object for us (a missed release).
        mine = any(is_ours(f) for f in frames)
    else:
        # A bad access is ours when the module's code is reached before the
        # interpreter's, going outwards from the faulting instruction (libc,
        # the C++ runtime and valgrind's own wrappers are passed over): an
        # interpreter fault during an import that the module started is not.
        first = next((f for f in frames if is_ours(f) or is_interpreter(f)), None)
        mine = first is not None and is_ours(first)
    if mine:
        ours.append(err)
    else:
        others[kind] += 1

for err in ours:
    what = err.find("what")
    text = what.text if what is not None else err.findtext("xwhat/text")
    print(f"\n{err.findtext('kind')}: {text}")
    for f in err.findall("stack/frame")[:16]:
        where = f.findtext("file")
        where = f"{where}:{f.findtext('line')}" if where else (f.findtext("obj") or "?")
        print(f"    {f.findtext('fn') or f.findtext('ip')}  ({where})")

print(f"\nvalgrind: {len(ours)} report(s) from the module; "
      f"interpreter's own, not counted: {dict(others) or 'none'}")
sys.exit(1 if ours else 0)
EOF
