"""Memory stays flat when the surface is used over and over, and records go
with their last handle.

The surface is walked by the steps of scripts/exercise_surface.py (every
callable, its error paths included). Each step is run for a warm-up and then
for two equal batches; a leak grows both batches alike, while caches that
fill on first use grow only the first. Three measures are taken: the
resident set (/proc/self/statm), the bytes the C allocator has handed out
(mallinfo2, glibc only: native allocations, exact to the byte) and the
interpreter's count of allocated object blocks.

Skipped under the sanitizer build: its allocator quarantines freed memory.
"""

import ctypes
import gc
import importlib.util
import os
import pathlib
import sys
import weakref

import pytest

import _brindel
from _brindel import Book, Service, readable

pytestmark = pytest.mark.skipif(
    os.environ.get("BRINDEL_SANITIZED") == "1", reason="the sanitizer's allocator distorts memory figures"
)

_spec = importlib.util.spec_from_file_location(
    "exercise_surface", pathlib.Path(__file__).parent.parent / "scripts" / "exercise_surface.py"
)
surface = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(surface)

PAGE = os.sysconf("SC_PAGE_SIZE")
MiB = 1 << 20


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE


class _MallInfo2(ctypes.Structure):
    _fields_ = [
        (n, ctypes.c_size_t)
        for n in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")
    ]


def _heap_reader():
    try:
        fn = ctypes.CDLL(None).mallinfo2
    except (OSError, AttributeError):
        return None
    fn.restype = _MallInfo2
    fn.argtypes = []

    def heap():
        m = fn()
        return m.uordblks + m.hblkhd  # in use: arena blocks and mapped blocks

    return heap


heap_in_use = _heap_reader()
needs_heap = pytest.mark.skipif(heap_in_use is None, reason="needs glibc's mallinfo2")


def measures():
    gc.collect()
    return {
        "rss": rss(),
        "heap": heap_in_use() if heap_in_use else 0,
        "blocks": sys.getallocatedblocks(),
    }


# The growth a second batch may show without counting as a leak, when it is
# also at most a quarter of the first batch's growth. A leak of one object
# or one native block per round exceeds both: the batches are long enough.
ROUNDS = 600
SLACK = {"rss": 1 * MiB, "heap": 8 * 1024, "blocks": ROUNDS // 3}


def batch_growth(step, rounds):
    before = measures()
    for _ in range(rounds):
        step()
    after = measures()
    return {k: after[k] - before[k] for k in before}


def assert_flat(step, rounds=ROUNDS):
    for _ in range(rounds // 6):
        step()
    first = batch_growth(step, rounds)
    second = batch_growth(step, rounds)
    grew = {k: (first[k], second[k]) for k in first if second[k] > max(SLACK[k], first[k] / 4)}
    assert not grew, f"memory grows with every batch of {rounds} rounds (first, second): {grew}"


@pytest.mark.parametrize("name", surface.STEPS)
def test_repeated_calls_keep_memory_flat(name):
    step = surface.STEPS[name]
    assert_flat(lambda: step(8))


def test_the_measures_see_a_leak():
    # The criterion against known leaks of one small object and one small
    # native block per round: both must be reported.
    kept = []
    with pytest.raises(AssertionError, match="'blocks'"):
        assert_flat(lambda: kept.append(object()))
    if heap_in_use:
        libc = ctypes.CDLL(None)
        libc.malloc.restype = ctypes.c_void_p
        libc.malloc.argtypes = [ctypes.c_size_t]
        blocks = []
        with pytest.raises(AssertionError, match="'heap'"):
            assert_flat(lambda: blocks.append(libc.malloc(24)))
        libc.free.argtypes = [ctypes.c_void_p]
        for p in blocks:
            libc.free(p)


# ---- records and their handles ----

ROWS, COLS = 500, 200  # 100,000 cells


def big_book():
    book = Book()
    s = book.add_sheet("Big")
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            s.cell(r, c, "v")
    book.copy_sheet(s)  # the copy shares the cell records
    s.add_comment(1, 1, "note", "me")
    return book


@needs_heap
def test_records_go_with_the_last_handle():
    base = measures()
    book = big_book()
    built = measures()
    grown = built["heap"] - base["heap"]
    # At least the two cell tables (9 bytes a slot); the records themselves
    # may come from blocks the pool kept from earlier tests.
    assert grown > 16 * ROWS * COLS
    del book
    dropped = measures()
    # The cell records' blocks stay with the record pool for reuse; the
    # rest (tables, texts, sheets) is given back.
    kept = dropped["heap"] - base["heap"]
    assert kept < grown * 3 / 4

    # Rebuilding reuses what was freed: no growth beyond the first peak.
    for _ in range(2):
        book = big_book()
        again = measures()
        assert again["heap"] - built["heap"] < grown / 10
        assert again["rss"] - built["rss"] < max(4 * MiB, (built["rss"] - base["rss"]) / 4)
        del book
        assert measures()["heap"] - dropped["heap"] < grown / 10

    # A handle that outlives the book keeps its own record alive, and only
    # that: the sheet keeps its cells, one cell keeps only itself.
    # (The cell records come from the pool's free blocks, so what stays
    # measurable is the sheet's cell table.)
    sheet = big_book().sheets[1]
    with_sheet = measures()["heap"]
    cell = sheet.cell(ROWS, COLS)
    del sheet
    with_cell = measures()["heap"]
    assert with_sheet - with_cell > grown / 10
    assert with_cell - dropped["heap"] < grown / 100
    assert cell.value == "v"
    del cell


# ---- Python references ----


def test_results_hold_no_extra_references():
    book = Book()
    s = book.add_sheet("S")
    s.cell(1, 1, "a")
    s.add_comment(1, 1, "t", "a")
    results = [
        book.add_sheet("T"),
        s.cell(1, 1),
        s.comments[0],
        book.to_dict(),
        s.find_cell_by_str("a"),
        readable.Finder([]),
        readable.create_finder([]),
    ]
    for r in results:
        assert sys.getrefcount(r) == 3, r  # the list, the loop name, the argument
    s.add_merge_cells(1, 2, 3, 4)
    for item in s.cells + book.sheets + s.find_cells_by_regex("a") + s.merge_cells + [s.comments[0].coordinate]:
        assert sys.getrefcount(item) == 3, item  # the list, the loop name, the argument


class Conn:
    pass


def test_arguments_and_failed_calls_leave_reference_counts_alone():
    book = Book()
    s = book.add_sheet("S")
    cells = [surface.cell_dicts(2)[0]]
    sheets = surface.sheet_dicts(2)
    broken = [{"name": "x"}]  # no cells: the conversion fails with a chained error
    name = "a name that is not interned"[:-1]
    conn = Conn()
    watched = [s, cells, cells[0], sheets, sheets[0], broken, broken[0], name, conn]
    before = [sys.getrefcount(o) for o in watched]

    def calls():
        book.copy_sheet(s)
        book.add_sheet(name)
        book.get_sheet_name(name)
        readable.find_cells_by_str("r1c1", cells)
        readable.Finder(sheets).sheets[0].find_cells_by_regex("r")
        readable.create_finder(sheets)
        Service(conn)._add_sheet(name)
        surface.Report(conn)
        for call in (
            lambda: readable.Finder(broken),
            lambda: readable.create_finder(broken),
            lambda: book.copy_sheet(cells),
            lambda: s.cell(name, 1),
            lambda: readable.find_cells_by_str(name, name),
            lambda: Service(conn).summary_0(cells, key=conn),
            lambda: Service(conn)._fmt_0(conn),
        ):
            try:
                call()
            except (TypeError, KeyError, NotImplementedError) as e:
                assert e.__traceback__ is not None

    for _ in range(50):
        calls()
    gc.collect()
    assert [sys.getrefcount(o) for o in watched] == before


def test_services_and_raised_errors_are_freed():
    conn = Conn()
    svc = surface.Report(conn)
    svc.me = svc  # a cycle through the instance dictionary
    gone = weakref.ref(conn)
    del svc, conn
    gc.collect()
    assert gone() is None

    class HookError(ValueError):  # unlike ValueError, it takes weak references
        pass

    class Hook:
        def __index__(self):
            raise HookError("from the hook")

    hook = Hook()
    before = sys.getrefcount(hook)
    for _ in range(20):
        with pytest.raises(ValueError) as info:
            Book().add_sheet("S").cell(hook, 1)
        err = weakref.ref(info.value)
        del info
        gc.collect()
        assert err() is None
    assert sys.getrefcount(hook) == before
    assert _brindel.Book is Book
