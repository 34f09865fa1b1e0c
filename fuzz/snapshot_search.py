"""Fuzz target (atheris) for the snapshot conversion and the searches.

Random Python data go in as cells and sheets: dicts, dict subclasses and
attribute objects, with missing keys, wrong types, nested and deep lists,
odd numbers, surrogates and objects whose str() raises. They reach
readable.create_finder / readable.Finder, the ReadableSheet methods and the
module-level functions of readable with random patterns.

An ordinary exception (anything derived from Exception) is an accepted
answer to bad input. A crash, a PanicException (derived from BaseException)
or a wrong result is a finding. Results are checked where the input is
well-formed: every cell a plain dict with integer positions, and a value
that is a text of data type "s", None, a 32-bit integer or a bool. There a
substring search must agree with an in-order scan in Python, in list order
for the module functions and in row-major order (last cell of a position
wins) for a sheet; the searches by value must agree with trimmed equality.

Coverage is Python-level (this harness is instrumented); the native module
is the normally built one.

    PYTHONPATH=build/<dir>:python python fuzz/snapshot_search.py [libFuzzer flags] [corpus]
"""

import datetime
import math
import sys
import types

import atheris

from _brindel import readable

MAX_U32 = 2**32 - 1
MAX_U16 = 2**16 - 1

# Characters the texts and patterns are made of: some that the literal
# pattern must escape, white space that trimming removes (and some that it
# does not), non-ASCII, and letters that meet often.
ALPHABET = (
    "ab", "a", "b", "A", "1", ".", "*", "\\", "$", "^", "(", "[", "{", "|", "#", "?", "+",
    " ", "\t", "\n", "\u00a0", "\u2003", "\u3000", "\u001c", "\u200b", "é", "😀", "\u0000",
)

# The White_Space characters that trimmed equality removes.
WHITE_SPACE = "".join(
    map(chr, [*range(9, 14), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
              0x2028, 0x2029, 0x202F, 0x205F, 0x3000])
)

ODD_INTS = (0, 1, -1, 2**31 - 1, 2**31, -(2**31), -(2**31) - 1, 2**32 - 1, 2**32, 2**32 + 3,
            2**16, 70000, 2**63 - 1, -(2**63), 2**63, -(2**63) - 1, 2**64, 10**30)
ODD_FLOATS = (0.0, -0.0, 2.0, 2.9, -1.5, 1e20, 1.5e-7, 5e-324, 1.7976931348623157e308,
              float("nan"), float("inf"), float("-inf"), 4294967296.5)


class Loud:
    """An object whose str() raises."""

    def __str__(self):
        raise ValueError("no text")


class Missing(dict):
    """A dict that supplies missing keys itself."""

    def __missing__(self, key):
        return None if key != "cells" else []


class Shows:
    """An object with a str() of its own."""

    def __init__(self, text):
        self.text = text

    def __str__(self):
        return self.text


def pick(fdp, seq):
    return seq[fdp.ConsumeIntInRange(0, len(seq) - 1)]


def text(fdp, n=None):
    n = fdp.ConsumeIntInRange(0, 6) if n is None else n
    return "".join(pick(fdp, ALPHABET) for _ in range(n))


def deep_list(fdp):
    """Nesting far past the interpreter's recursion limit, now and then."""
    v = []
    depth = 100000 if fdp.ConsumeIntInRange(0, 7) == 0 else fdp.ConsumeIntInRange(0, 1200)
    for _ in range(depth):
        v = [v]
    return v


def any_value(fdp, depth=0):
    """Any Python value the conversion might meet."""
    kind = fdp.ConsumeIntInRange(0, 15)
    if kind == 0:
        return None
    if kind == 1:
        return fdp.ConsumeBool()
    if kind == 2:
        return pick(fdp, ODD_INTS)
    if kind == 3:
        return fdp.ConsumeIntInRange(-5, 20)
    if kind == 4:
        return pick(fdp, ODD_FLOATS)
    if kind == 5:
        return fdp.ConsumeFloat()
    if kind == 6:
        return fdp.ConsumeUnicode(fdp.ConsumeIntInRange(0, 12))  # surrogates included
    if kind == 7:
        return str(fdp.ConsumeIntInRange(-3, 70000))
    if kind == 8 and depth < 4:
        return [any_value(fdp, depth + 1) for _ in range(fdp.ConsumeIntInRange(0, 4))]
    if kind == 9:
        return deep_list(fdp)
    if kind == 10:
        return Loud()
    if kind == 11:
        return datetime.datetime(2000 + fdp.ConsumeIntInRange(0, 30), 1, 2, 3, 4, 5,
                                 pick(fdp, (0, 250000)))
    if kind == 12:
        return (1, 2)
    if kind == 13:
        return Shows(text(fdp))
    if kind == 14:
        return fdp.ConsumeBytes(3)
    return text(fdp)


def container(fdp, fields):
    """fields as a dict, a dict subclass or an attribute object, now and then
    with a key missing."""
    if fdp.ConsumeIntInRange(0, 9) == 0 and fields:
        del fields[pick(fdp, sorted(fields))]
    form = fdp.ConsumeIntInRange(0, 5)
    if form == 0:
        return types.SimpleNamespace(**fields)
    if form == 1:
        return Missing(fields)
    return fields


class Expect:
    """What a well-formed cell list holds: its positions and value texts."""

    def __init__(self):
        self.ok = True
        self.cells = []  # (row, column, value text), in list order


def good_cell(fdp, expect):
    """A well-formed cell whose value text is known."""
    row = fdp.ConsumeIntInRange(0, 6)
    col = fdp.ConsumeIntInRange(0, 4)
    kind = fdp.ConsumeIntInRange(0, 4)
    if kind == 0:
        value, dtype, shown = None, "s", ""
    elif kind == 1:
        i = fdp.ConsumeIntInRange(-(2**31), 2**31 - 1)
        value, dtype, shown = i, "n", str(i)
    elif kind == 2:
        b = fdp.ConsumeBool()
        value, dtype, shown = b, "b", "true" if b else "false"
    else:
        value = text(fdp)
        dtype, shown = "s", value
    expect.cells.append((row, col, shown))
    return {"row": row, "column": col, "value": value, "formula": None, "data_type": dtype,
            "style_id": None}


def wild_cell(fdp, expect):
    expect.ok = False
    fields = {k: any_value(fdp) for k in ("row", "column", "value", "formula", "style_id")}
    fields["data_type"] = pick(fdp, ("s", "n", "f", "", "x", None, 1))
    if fdp.ConsumeBool():
        fields["hidden_value"] = any_value(fdp)
    return container(fdp, fields)


def cell_list(fdp, expect, found):
    # Half the lists are well-formed throughout, so that their results can
    # be checked; in the others a cell is wild now and then.
    wild = fdp.ConsumeBool()
    cells = []
    for _ in range(fdp.ConsumeIntInRange(0, 8)):
        choice = fdp.ConsumeIntInRange(0, 9) if wild else 0
        if choice < 6:
            cells.append(good_cell(fdp, expect))
        elif choice < 9 or not found:
            cells.append(wild_cell(fdp, expect))
        else:
            expect.ok = False  # a ReadableCell from an earlier result, shared
            cells.append(pick(fdp, found))
    return cells


def sheet(fdp, expect, found):
    cells = cell_list(fdp, expect, found)
    merges = fdp.ConsumeIntInRange(0, 5)
    if merges == 5:
        merges = [deep_list(fdp)]
    else:
        merges = ([], [[1, 2, 1, 3]], [[4], "x", [70000, -1, "70000", 2.5, 9]], None, "x")[merges]
    fields = {"name": text(fdp), "sheet_state": "visible", "merge_cells": merges, "cells": cells}
    if not expect.ok or fdp.ConsumeIntInRange(0, 3) != 0:
        return fields
    expect.ok = False
    if fdp.ConsumeBool():
        fields["name"] = any_value(fdp)
        fields["cells"] = pick(fdp, (cells, tuple(cells), None, "cells"))
    return container(fdp, fields)


def trimmed(s):
    return s.strip(WHITE_SPACE)


def positions(results):
    return [(c.row, c.column) for c in results]


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def check_list_searches(cells, pattern, expect):
    """The module functions over a well-formed list: list order, duplicates kept."""
    want = [(r, c) for r, c, t in expect.cells if pattern in t]
    got = readable.find_cells_by_regex(pattern, cells)
    check(positions(got) == want, ("find_cells_by_regex", pattern, want, positions(got)))
    check([c.value for c in got] == [t for r, c, t in expect.cells if pattern in t],
          "values of find_cells_by_regex")
    first = readable.find_cell_by_regex(pattern, cells)
    check((first and (first.row, first.column)) == (want[0] if want else None),
          ("find_cell_by_regex", pattern))
    same = [(r, c) for r, c, t in expect.cells if trimmed(t) == trimmed(pattern)]
    got = readable.find_cells_by_str(pattern, cells)
    check(positions(got) == same, ("find_cells_by_str", pattern, same, positions(got)))
    one = readable.find_cell_by_str(pattern, cells)
    check((one and (one.row, one.column)) == (same[0] if same else None),
          ("find_cell_by_str", pattern))
    every = readable.find_cells_range_rows(0, MAX_U32, cells)
    check([(c.row, c.column, c.value) for c in every] == expect.cells, "converted cells")
    for r, c, t in expect.cells[:2]:
        first_text = next(t2 for r2, c2, t2 in expect.cells if (r2, c2) == (r, c))
        check(readable.find_value_by_coords(r, c, cells) == first_text, ("find_value_by_coords", r, c))
    check(readable.find_value_by_coords(7, 5, cells) is None, "find_value_by_coords, no cell")


def check_sheet_searches(snap, pattern, cells):
    """A sheet of the same cells: row-major, the last cell of a position kept."""
    table = {}
    for r, c, t in cells:
        table[(r, c)] = t
    order = sorted(table)
    want = [p for p in order if pattern in table[p]]
    got = snap.find_cells_by_regex(pattern)
    check(positions(got) == want, ("sheet find_cells_by_regex", pattern, want, positions(got)))
    first = snap.find_cell_by_str(pattern)  # on a sheet: contains, untrimmed
    check((first and (first.row, first.column)) == (want[0] if want else None),
          ("sheet find_cell_by_str", pattern))
    same = [p for p in order if trimmed(table[p]) == trimmed(pattern)]
    check(positions(snap.find_cells_by_str(pattern)) == same, ("sheet find_cells_by_str", pattern))
    check([c.value for c in snap.cells] == [table[p] for p in order], "sheet cells")
    check(snap.max_row == max((r for r, c in order), default=0), "max_row")
    check(snap.max_column == max((c for r, c in order), default=0), "max_column")
    for p in order[:3]:
        check(snap.get_value_cell(*p) == table[p], ("get_value_cell", p))


def pattern_of(fdp):
    pick = fdp.ConsumeIntInRange(0, 63)
    if pick < 4:
        return any_value(fdp)  # not a text: TypeError
    if pick < 6:
        return fdp.ConsumeUnicode(8)
    if pick == 6:
        return "a" * fdp.ConsumeIntInRange(60000, 200000)  # past the pattern size limits
    return text(fdp, fdp.ConsumeIntInRange(0, 3))


def number_arg(fdp):
    if fdp.ConsumeIntInRange(0, 5) == 0:
        return any_value(fdp)
    return fdp.ConsumeIntInRange(0, 7)


def exercise(fdp, found):
    """One call, or a few, on data made from the input."""
    expect = Expect()
    what = fdp.ConsumeIntInRange(0, 3)
    if what == 0:
        cells = cell_list(fdp, expect, found)
        if fdp.ConsumeIntInRange(0, 15) == 0:
            expect.ok = False
            cells = pick(fdp, (tuple(cells), None, {"cells": cells}))
        pattern = pattern_of(fdp)
        if expect.ok and isinstance(pattern, str):
            check_list_searches(cells, pattern, expect)
        name = pick(fdp, readable.__all__)
        fn = getattr(readable, name)
        if name in ("Finder", "create_finder"):
            fn([{"name": "s", "sheet_state": "", "merge_cells": [], "cells": cells}])
            return
        args = {
            "find_cell_by_coords": lambda: (number_arg(fdp), number_arg(fdp)),
            "find_value_by_coords": lambda: (number_arg(fdp), number_arg(fdp)),
            "find_cell_by_letter": lambda: (pattern,),
            "find_cells_for_rows_by_regex": lambda: (pattern, number_arg(fdp)),
            "find_cells_for_cols_by_regex": lambda: (pattern, number_arg(fdp)),
            "find_cells_multi_regex": lambda: (pattern, pattern_of(fdp)),
            "find_cells_between_regex": lambda: (pattern, pattern_of(fdp)),
            "find_cells_range_rows": lambda: (number_arg(fdp), number_arg(fdp)),
            "find_cells_range_cols": lambda: (number_arg(fdp), number_arg(fdp)),
            "find_values_by_col_rows": lambda: (number_arg(fdp), [number_arg(fdp)] * 2),
            "find_values_by_row_cols": lambda: (number_arg(fdp), [number_arg(fdp)] * 2),
        }.get(name, lambda: (pattern,))()
        out = fn(*args, cells)
        if isinstance(out, list):
            found.extend(c for c in out if isinstance(c, readable.ReadableCell))
        elif isinstance(out, readable.ReadableCell):
            found.append(out)
        return

    sheets = []
    expects = []
    for _ in range(fdp.ConsumeIntInRange(0, 2)):
        e = Expect()
        sheets.append(sheet(fdp, e, found))
        expects.append(e)
    finder = readable.create_finder(sheets) if fdp.ConsumeBool() else readable.Finder(sheets)
    snaps = finder.sheets
    check(len(snaps) == len(sheets), "one snapshot per sheet")
    pattern = pattern_of(fdp)
    for snap, e in zip(snaps, expects):
        if e.ok and isinstance(pattern, str):
            check_sheet_searches(snap, pattern, e.cells)
    for call in (lambda: finder.find_sheet_by_regex(pattern),  # a real pattern there
                 lambda: finder.find_sheet_by_name(pattern),
                 lambda: finder.get_sheets_with_names([pattern, text(fdp)]),
                 lambda: finder.get_sheets_without_names([pattern]),
                 lambda: finder.get_sheet_index(number_arg(fdp))):
        try:
            call()
        except Exception:
            pass
    for snap in snaps:
        name = pick(fdp, [n for n in dir(snap) if n.startswith(("find", "get"))])
        method = getattr(snap, name)
        try:
            if name in ("get_value_cell", "find_cell_by_coords", "find_value_by_coords",
                        "find_cells_range_rows", "find_cells_range_cols"):
                out = method(number_arg(fdp), number_arg(fdp))
            elif name == "get_cells_by_range":
                out = method(*[pick(fdp, (None, 0, 1, 3, MAX_U32, -1)) for _ in range(4)])
            elif name in ("find_values_by_col_rows", "find_values_by_row_cols"):
                out = method(number_arg(fdp), [number_arg(fdp), number_arg(fdp)])
            elif name in ("find_cells_for_rows_by_regex", "find_cells_for_cols_by_regex"):
                out = method(pattern, number_arg(fdp))
            elif name in ("find_cells_multi_regex", "find_cells_between_regex"):
                out = method(pattern, pattern_of(fdp))
            else:
                out = method(pattern)
        except Exception:
            continue
        if isinstance(out, list):
            found.extend(c for c in out if isinstance(c, readable.ReadableCell))
        for c in out if isinstance(out, list) else [out]:
            if isinstance(c, readable.ReadableCell):
                (c.value, c.letter, c.data_type, c.formula, c.style, c.is_formula)


FOUND = []  # ReadableCell objects kept across runs, shared into later lists


MAX_INPUT = 1024


def TestOneInput(data):
    if len(data) > MAX_INPUT:
        return
    fdp = atheris.FuzzedDataProvider(data)
    if len(FOUND) > 64:
        del FOUND[:32]
    for _ in range(fdp.ConsumeIntInRange(1, 3)):
        try:
            exercise(fdp, FOUND)
        except AssertionError:
            raise
        except Exception:
            # TypeError, ValueError, KeyError, AttributeError, OverflowError,
            # RecursionError, UnicodeError, RuntimeError ...: ordinary answers.
            # A PanicException is a BaseException and is not caught here.
            pass


def main():
    # Coverage feedback from this harness's own branches.
    for name, obj in list(globals().items()):
        if isinstance(obj, types.FunctionType) and obj.__module__ == __name__ and name != "main":
            globals()[name] = atheris.instrument_func(obj)
    atheris.Setup(sys.argv, TestOneInput)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
