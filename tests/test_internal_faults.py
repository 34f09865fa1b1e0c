"""Internal faults: what a caller sees when the module meets a defect.

Builds with debug hooks (the sanitizer build) carry _brindel._debug_panic(obj),
which raises an internal fault inside the guarded body of a call, after taking
obj's exclusive borrow when obj is one of the module's instances. Release
builds carry no hook.
"""

import os
import subprocess
import sys

import pytest

import _brindel
import brindel
from _brindel import Book, Service, readable
from readable_support import cell, sheet
from workbook_support import Index, unchanged

HOOKED = hasattr(_brindel, "_debug_panic")
needs_hook = pytest.mark.skipif(not HOOKED, reason="built without debug hooks")
MESSAGE = "internal fault forced by _debug_panic()"


def panic_class():
    try:
        _brindel._debug_panic()
    except BaseException as e:  # noqa: B036 - the class under test is not an Exception
        return type(e)
    pytest.fail("_debug_panic() returned")


@pytest.mark.skipif(os.environ.get("BRINDEL_SANITIZED") == "1", reason="the sanitizer build has hooks")
def test_release_build_carries_no_hook():
    assert not HOOKED
    assert "_debug_panic" not in dir(_brindel)


@needs_hook
def test_panic_exception_class():
    cls = panic_class()
    assert cls.__name__ == "PanicException"
    assert cls.__bases__ == (BaseException,)
    assert not issubclass(cls, Exception)
    # Created on first use, the same class on every later fault, and never
    # published as a module attribute.
    assert panic_class() is cls
    assert all(not hasattr(m, "PanicException") for m in (_brindel, brindel, readable))
    assert "_debug_panic" not in _brindel.__all__

    with pytest.raises(cls) as info:
        _brindel._debug_panic(obj=None)
    assert str(info.value) == MESSAGE
    assert info.value.args == (MESSAGE,)


@needs_hook
def test_except_exception_does_not_catch_it():
    cls = panic_class()
    caught_as_exception = False
    with pytest.raises(cls):
        try:
            _brindel._debug_panic()
        except Exception:
            caught_as_exception = True
    assert not caught_as_exception


@needs_hook
@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda: _brindel._debug_panic(5), TypeError,
         "argument 'obj': 'int' object is not an instance of a class of the module"),
        (lambda: _brindel._debug_panic(None, 1), TypeError,
         "_debug_panic() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda: _brindel._debug_panic(o=1), TypeError,
         "_debug_panic() got an unexpected keyword argument 'o'"),
    ],
)
def test_hook_arguments_go_through_the_binder(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


@pytest.fixture
def book():
    b = Book()
    s = b.add_sheet("S")
    s.cell(1, 1, "a")
    s.cell(2, 3, "b").set_value_integer(7)
    s.add_comment(1, 1, "note", "me")
    s.add_merge_cells(4, 5, 1, 2)
    return b


def _finder():
    return readable.Finder([sheet(cells=[cell(1, 1, "v")])])


# Each object, and follow-up calls that need its borrow free: a shared borrow
# fails on a flag left exclusive, and the exclusive calls fail on any flag
# left set.
OBJECTS = {
    "Book": (lambda b: b, lambda b, o: (o.add_sheet("T"), o.to_json(), repr(o))),
    "Sheet": (lambda b: b.sheets[0],
              lambda b, o: (o.add_merge_cells(7, 7, 7, 7), o.cell(9, 9, "new"), o.max_row)),
    "Cell": (lambda b: b.sheets[0].cell(1, 1), lambda b, o: (setattr(o, "value", "z"), o.value)),
    "Comment": (lambda b: b.sheets[0].comments[0],
                lambda b, o: (setattr(o, "author", "you"), setattr(o, "text", "t"), o.coordinate)),
    "Service": (lambda b: Service("db"), lambda b, o: (o._add_sheet("X"), o.to_json(), o._conn_db)),
    "Finder": (lambda b: _finder(), lambda b, o: (o.sheets, o.find_sheet_by_name("S"))),
    "ReadableSheet": (lambda b: _finder().sheets[0],
                      lambda b, o: (o.name, o.find_cells_by_str("v"), o.get_value_cell(1, 1))),
    "ReadableCell": (lambda b: _finder().sheets[0].cells[0], lambda b, o: (o.value, o.letter)),
}


@needs_hook
@pytest.mark.parametrize("kind", OBJECTS)
def test_fault_releases_the_borrow_and_changes_nothing(book, kind):
    make, follow_up = OBJECTS[kind]
    cls = panic_class()
    obj = make(book)
    with unchanged(book):
        for _ in range(3):
            with pytest.raises(cls) as info:
                _brindel._debug_panic(obj)
            assert str(info.value) == MESSAGE
    follow_up(book, obj)
    follow_up(book, obj)  # and again: nothing was left set by the first round


@needs_hook
def test_hook_takes_the_borrow_like_a_modifying_method(book):
    s = book.sheets[0]
    outcomes = []

    def hook():
        try:
            _brindel._debug_panic(s)
        except RuntimeError as e:
            outcomes.append(str(e))

    # While a method holds the sheet, the hook's exclusive borrow is refused.
    s.cell(Index(3, hook), 1)
    assert outcomes == ["Already borrowed"]


@needs_hook
def test_fault_inside_a_call_ends_that_call_and_releases_it_too(book):
    cls = panic_class()
    s = book.sheets[0]
    other = book.sheets[0]
    with unchanged(book):
        # The fault is raised by a conversion hook while add_merge_cells holds
        # s exclusively; it passes through that call unchanged.
        with pytest.raises(cls) as info:
            s.add_merge_cells(Index(1, lambda: _brindel._debug_panic(other)), 2, 3, 4)
        assert str(info.value) == MESSAGE
        with pytest.raises(cls):
            s.cell(Index(1, lambda: _brindel._debug_panic(other)), 1, "never")
    s.add_merge_cells(1, 2, 3, 4)
    other.add_comment(3, 3, "after", "me")
    assert s.merge_cells[-1] == (1, 2, 3, 4)
    assert book.to_dict()["sheets"][0]["comments"][-1]["text"] == "after"


@needs_hook
def test_interpreter_goes_on_after_faults():
    script = (
        "import _brindel\n"
        "for _ in range(100):\n"
        "    try:\n"
        "        _brindel._debug_panic(_brindel.Book())\n"
        "    except BaseException as e:\n"
        "        last = e\n"
        "print(type(last).__name__, _brindel.Book().add_sheet('S').name)\n"
        "_brindel._debug_panic()\n"
    )
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert r.stdout == "PanicException S\n"
    # The last, uncaught fault ends the script like any exception: a
    # traceback and exit status 1, not a signal.
    assert r.returncode == 1
    assert r.stderr.rstrip().endswith("PanicException: " + MESSAGE)
