"""The extension module as a whole: registration, names, classes, docstrings."""

import importlib
import inspect
import re
import sys

import pytest

import _brindel
import brindel

TOP_LEVEL_NAMES = [
    "__version__",
    "Service",
    "Book",
    "Sheet",
    "Cell",
    "Comment",
    "version",
    "column_number_to_letter",
    "get_letter_coordinate",
    "DEFAULT_ROW_HEIGHT",
    "DEFAULT_COLUMN_WIDTH",
    "readable",
]

WORKBOOK_CLASSES = ["Service", "Book", "Sheet", "Cell", "Comment"]


def test_all_lists_names_in_registration_order():
    assert _brindel.__all__ == TOP_LEVEL_NAMES
    # The module dictionary keeps insertion order: the names were added in
    # that order too, after the module's own dunder entries and __all__.
    registered = [n for n in vars(_brindel) if n in TOP_LEVEL_NAMES]
    assert registered == TOP_LEVEL_NAMES
    for name in TOP_LEVEL_NAMES:
        assert hasattr(_brindel, name)


def test_module_object():
    assert _brindel.__name__ == "_brindel"
    assert _brindel.__doc__ == ""


def test_sub_interpreters_cannot_import():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interp = interpreters.create()
    try:
        script = (
            "import sys\n"
            f"sys.path[:0] = {sys.path!r}\n"
            "try:\n"
            "    import _brindel\n"
            "except ImportError as e:\n"
            "    raise SystemExit('refused: ' + str(e))\n"
            "raise SystemExit('imported')\n"
        )
        with pytest.raises(interpreters.RunFailedError) as info:
            interpreters.run_string(interp, script)
    finally:
        interpreters.destroy(interp)
    assert re.search(r"refused: .*sub-?interpreters", str(info.value))
    # The main interpreter's module is unaffected.
    assert importlib.import_module("_brindel") is _brindel
    assert repr(_brindel.Book()) == "Book, sheets: 0"


def test_package_reexports_the_extension():
    assert brindel.__all__ == TOP_LEVEL_NAMES
    for name in TOP_LEVEL_NAMES:
        assert getattr(brindel, name) is getattr(_brindel, name)


def test_constants_and_version():
    assert _brindel.__version__ == "0.11.1"
    assert _brindel.version() == _brindel.__version__
    assert type(_brindel.DEFAULT_ROW_HEIGHT) is float
    assert type(_brindel.DEFAULT_COLUMN_WIDTH) is float
    assert _brindel.DEFAULT_ROW_HEIGHT == 20.0
    assert _brindel.DEFAULT_COLUMN_WIDTH == 22.5
    with pytest.raises(TypeError):
        _brindel.version(1)
    with pytest.raises(TypeError):
        _brindel.version(x=1)


def test_reimport_gives_the_same_module_object():
    first = _brindel
    assert importlib.import_module("_brindel") is first
    saved = sys.modules.pop("_brindel")
    try:
        again = importlib.import_module("_brindel")
        assert again is first
        assert again.Book is first.Book
    finally:
        sys.modules["_brindel"] = saved


def test_readable_submodule_registration():
    sub = _brindel.readable
    assert type(sub) is type(sys)
    assert sub.__name__ == "readable"
    assert sys.modules["brindel.readable"] is sub
    import brindel.readable as via_package

    assert via_package is sub
    assert importlib.import_module("brindel.readable") is sub


@pytest.mark.parametrize("name", WORKBOOK_CLASSES)
def test_class_names(name):
    cls = getattr(_brindel, name)
    assert cls.__module__ == "brindel"
    assert cls.__qualname__ == name
    assert cls.__name__ == name
    assert f"{cls.__module__}.{cls.__qualname__}" == f"brindel.{name}"


@pytest.mark.parametrize("name", ["Sheet", "Cell", "Comment"])
def test_classes_without_constructor(name):
    cls = getattr(_brindel, name)
    with pytest.raises(TypeError, match=rf"cannot create 'brindel\.{name}' instances"):
        cls()
    with pytest.raises(TypeError):
        cls.__new__(cls)
    assert cls.__doc__ is None
    assert cls.__text_signature__ is None


@pytest.mark.parametrize("name", ["Book", "Sheet", "Cell", "Comment"])
def test_only_service_is_a_base_type(name):
    cls = getattr(_brindel, name)
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Derived", (cls,), {})


def test_service_is_a_base_type():
    class Report(_brindel.Service):
        pass

    r = Report(None)
    assert isinstance(r, _brindel.Service)
    assert r._conn_db is None


@pytest.mark.parametrize(
    "cls, signature", [("Book", "()"), ("Service", "(conn_db)")]
)
def test_constructible_class_signatures(cls, signature):
    cls = getattr(_brindel, cls)
    assert cls.__text_signature__ == signature
    # Nothing follows the signature line: no documentation text of its own.
    assert not cls.__doc__


def test_classes_are_immutable():
    for name in WORKBOOK_CLASSES:
        with pytest.raises(TypeError):
            setattr(getattr(_brindel, name), "extra", 1)


METHOD_SIGNATURES = [
    ("Book", "add_sheet", '($self, name, sheet_state="visible")'),
    ("Book", "copy_sheet", "($self, sheet)"),
    ("Book", "get_sheet_index", "($self, idx)"),
    ("Book", "get_sheet_name", "($self, name)"),
    ("Book", "to_json", "($self)"),
    ("Book", "to_dict", "($self)"),
    ("Service", "_add_sheet", '($self, name, sheet_state="visible")'),
    ("Service", "_copy_sheet", "($self, sheet)"),
    ("Service", "_get_sheet_index", "($self, idx)"),
    ("Service", "_get_sheet_name", "($self, name)"),
    ("Service", "to_json", "($self)"),
    ("Service", "to_dict", "($self)"),
    ("Service", "summary_0", "($self, sheets, /, **kwargs)"),
    ("Service", "_fmt_0", "($self, **kwargs)"),
    ("Sheet", "cell", "($self, row, col, value=None)"),
    ("Sheet", "get_value_cell", "($self, row, col)"),
    ("Sheet", "set_sheet_state", "($self, state)"),
    ("Sheet", "add_merge_cells", "($self, start_row, end_row, start_col, end_col)"),
    ("Sheet", "add_comment", "($self, row, col, text, author)"),
    ("Sheet", "delete_rows", "($self, idx, amount)"),
    ("Sheet", "delete_cols", "($self, idx, amount)"),
    ("Sheet", "set_height_row", "($self, row_num, val)"),
    ("Sheet", "set_hidden_row", "($self, row_num, val)"),
    ("Sheet", "set_width_column", "($self, col_num, val)"),
    ("Sheet", "set_hidden_column", "($self, col_num, val)"),
    ("Sheet", "get_height_by_row", "($self, row_num)"),
    ("Sheet", "get_hidden_by_row", "($self, row_num)"),
    ("Sheet", "get_width_by_column", "($self, col_num)"),
    ("Sheet", "get_hidden_by_column", "($self, col_num)"),
    ("Cell", "set_value_number", "($self, value)"),
    ("Cell", "set_value_integer", "($self, value)"),
    ("Cell", "set_value_bool", "($self, value)"),
    ("Cell", "set_value_datetime", "($self, value)"),
]


@pytest.mark.parametrize("cls, method, signature", METHOD_SIGNATURES)
def test_method_text_signatures(cls, method, signature):
    fn = getattr(getattr(_brindel, cls), method)
    assert fn.__text_signature__ == signature
    assert fn.__doc__ is None  # the signature line is all there is
    inspect.signature(fn)  # the interpreter can read it


def test_signature_defaults_read_back():
    sig = inspect.signature(_brindel.Book.add_sheet)
    assert sig.parameters["sheet_state"].default == "visible"
    sig = inspect.signature(_brindel.Sheet.cell)
    assert sig.parameters["value"].default is None
    sig = inspect.signature(_brindel.Service.summary_0)
    kinds = [p.kind for p in sig.parameters.values()]
    assert kinds == [
        inspect.Parameter.POSITIONAL_ONLY,
        inspect.Parameter.POSITIONAL_ONLY,
        inspect.Parameter.VAR_KEYWORD,
    ]


def test_function_signatures_and_docstrings():
    assert _brindel.version.__text_signature__ == "()"
    assert _brindel.version.__doc__ == (
        "Returns the version of the underlying tovrel library.\n"
        "\n"
        "Returns\n"
        "-------\n"
        "version : str\n"
        "  The version of the underlying tovrel library."
    )
    assert _brindel.column_number_to_letter.__text_signature__ == "(col)"
    assert _brindel.column_number_to_letter.__doc__ == "Преобразование номера колонки в букву."
    assert _brindel.get_letter_coordinate.__text_signature__ == "(row, col)"
    assert _brindel.get_letter_coordinate.__doc__ == "Преобразование номера колонки в координату."
    for fn in (_brindel.version, _brindel.column_number_to_letter, _brindel.get_letter_coordinate):
        assert fn.__module__ == "_brindel"


def test_no_panic_exception_attribute():
    assert not hasattr(_brindel, "PanicException")
    assert not hasattr(brindel, "PanicException")
    assert "PanicException" not in dir(_brindel)


def test_comment_has_the_default_repr():
    book = _brindel.Book()
    sheet = book.add_sheet("S")
    sheet.add_comment(1, 1, "t", "a")
    c = sheet.comments[0]
    assert repr(c) == object.__repr__(c)
    assert repr(c).startswith("<brindel.Comment object at 0x")
    assert "__repr__" not in vars(_brindel.Comment)
