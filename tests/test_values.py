"""Cell values: how a text is classified, how each kind reads back as text and
as JSON, and the typed setters of Cell."""

import calendar
import datetime as dt
import decimal
import json
import math
import random
import re
import struct
import sys

import pytest

from _brindel import Book
from workbook_support import Index, unchanged

KINDS = ("empty", "text", "number", "integer", "bool", "datetime")


def kind_of(cell):
    flags = {
        "empty": cell.is_value_empty,
        "number": cell.is_value_numeric,
        "integer": cell.is_value_integer,
        "bool": cell.is_value_bool,
        "datetime": cell.is_value_datetime,
    }
    on = [k for k, v in flags.items() if v]
    assert len(on) <= 1, on
    return on[0] if on else "text"


def raw_value(book):
    """The JSON text of the "value" of the only cell of the only sheet."""
    text = book.to_json()
    start = text.index('"value":') + len('"value":')
    end = text.index(',"data_type"', start)
    return text[start:end]


def one_cell(text=None):
    book = Book()
    cell = book.add_sheet("S").cell(1, 1, text)
    return book, cell


# text, kind, data type, value text, JSON value
TEXT_TO_VALUE = [
    ("", "empty", "s", "", "null"),
    ("TRUE", "bool", "b", "true", "true"),
    ("true", "bool", "b", "true", "true"),
    ("tRuE", "bool", "b", "true", "true"),
    ("false", "bool", "b", "false", "false"),
    ("FaLsE", "bool", "b", "false", "false"),
    ("falſe", "bool", "b", "false", "false"),  # ſ upper-cases to S
    ("ſ", "text", "s", "ſ", '"ſ"'),
    (" true", "text", "s", " true", '" true"'),
    ("true ", "text", "s", "true ", '"true "'),
    ("truee", "text", "s", "truee", '"truee"'),
    ("yes", "text", "s", "yes", '"yes"'),
    ("12", "integer", "n", "12", "12"),
    ("-12", "integer", "n", "-12", "-12"),
    ("+12", "integer", "n", "12", "12"),
    ("007", "integer", "n", "7", "7"),
    ("-0", "integer", "n", "0", "0"),
    ("+0", "integer", "n", "0", "0"),
    ("2147483647", "integer", "n", "2147483647", "2147483647"),
    ("-2147483648", "integer", "n", "-2147483648", "-2147483648"),
    ("00000000000000000002147483647", "integer", "n", "2147483647", "2147483647"),
    ("2147483648", "number", "n", "2147483648", "2147483648.0"),
    ("-2147483649", "number", "n", "-2147483649", "-2147483649.0"),
    ("+2147483648", "number", "n", "2147483648", "2147483648.0"),
    ("99999999999999999999", "number", "n", "100000000000000000000", "1e20"),
    ("1.5", "number", "n", "1.5", "1.5"),
    (".5", "number", "n", "0.5", "0.5"),
    ("-.5", "number", "n", "-0.5", "-0.5"),
    ("1.", "number", "n", "1", "1.0"),
    ("2.50", "number", "n", "2.5", "2.5"),
    ("1e3", "number", "n", "1000", "1000.0"),
    ("1E3", "number", "n", "1000", "1000.0"),
    ("1e+3", "number", "n", "1000", "1000.0"),
    ("+.5e-3", "number", "n", "0.0005", "0.0005"),
    ("-0.0", "number", "n", "-0", "-0.0"),
    ("0e0", "number", "n", "0", "0.0"),
    ("0.1", "number", "n", "0.1", "0.1"),
    ("1e21", "number", "n", "1" + "0" * 21, "1e21"),
    ("1e-7", "number", "n", "0.0000001", "1e-7"),
    ("1e400", "number", "n", "inf", "null"),
    ("-1e400", "number", "n", "-inf", "null"),
    ("1e-400", "number", "n", "0", "0.0"),
    ("-1e-400", "number", "n", "-0", "-0.0"),
    ("1e99999999999999999999", "number", "n", "inf", "null"),
    ("1" + "0" * 400, "number", "n", "inf", "null"),
    ("0." + "0" * 400 + "1", "number", "n", "0", "0.0"),
    ("4.9e-324", "number", "n", "0." + "0" * 323 + "5", "5e-324"),
    ("inf", "number", "n", "inf", "null"),
    ("-Infinity", "number", "n", "-inf", "null"),
    ("+INF", "number", "n", "inf", "null"),
    ("NaN", "number", "n", "NaN", "null"),
    ("-nan", "number", "n", "NaN", "null"),
    ("2024-01-05 10:00:00", "datetime", "d", "2024-01-05 10:00:00", '"2024-01-05T10:00:00"'),
    ("2024-02-29 23:59:59", "datetime", "d", "2024-02-29 23:59:59", '"2024-02-29T23:59:59"'),
    ("2000-02-29 00:00:00", "datetime", "d", "2000-02-29 00:00:00", '"2000-02-29T00:00:00"'),
    ("0000-02-29 00:00:00", "datetime", "d", "0000-02-29 00:00:00", '"0000-02-29T00:00:00"'),
    ("9999-12-31 23:59:59", "datetime", "d", "9999-12-31 23:59:59", '"9999-12-31T23:59:59"'),
    ("2016-12-31 23:59:60", "datetime", "d", "2016-12-31 23:59:60", '"2016-12-31T23:59:60"'),
    # everything below stays text, exactly as given
    (" 12", "text", "s", " 12", '" 12"'),
    ("12 ", "text", "s", "12 ", '"12 "'),
    ("1,5", "text", "s", "1,5", '"1,5"'),
    ("1_000", "text", "s", "1_000", '"1_000"'),
    ("0x10", "text", "s", "0x10", '"0x10"'),
    ("+", "text", "s", "+", '"+"'),
    ("-", "text", "s", "-", '"-"'),
    (".", "text", "s", ".", '"."'),
    ("++1", "text", "s", "++1", '"++1"'),
    ("1..2", "text", "s", "1..2", '"1..2"'),
    ("1e", "text", "s", "1e", '"1e"'),
    ("1e+", "text", "s", "1e+", '"1e+"'),
    ("e5", "text", "s", "e5", '"e5"'),
    ("1e5.0", "text", "s", "1e5.0", '"1e5.0"'),
    ("infin", "text", "s", "infin", '"infin"'),
    ("nan(1)", "text", "s", "nan(1)", '"nan(1)"'),
    ("１２", "text", "s", "１２", '"１２"'),
    ("٣", "text", "s", "٣", '"٣"'),
    ("2024-01-05T10:00:00", "text", "s", "2024-01-05T10:00:00", '"2024-01-05T10:00:00"'),
    ("2024-01-05 10:00:00.5", "text", "s", "2024-01-05 10:00:00.5", '"2024-01-05 10:00:00.5"'),
    ("2024-01-05 10:00:00 ", "text", "s", "2024-01-05 10:00:00 ", '"2024-01-05 10:00:00 "'),
    ("2024-01-05  10:00:00", "text", "s", "2024-01-05  10:00:00", '"2024-01-05  10:00:00"'),
    ("2024-02-30 10:00:00", "text", "s", "2024-02-30 10:00:00", '"2024-02-30 10:00:00"'),
    ("2023-02-29 10:00:00", "text", "s", "2023-02-29 10:00:00", '"2023-02-29 10:00:00"'),
    ("1900-02-29 10:00:00", "text", "s", "1900-02-29 10:00:00", '"1900-02-29 10:00:00"'),
    ("2024-13-01 10:00:00", "text", "s", "2024-13-01 10:00:00", '"2024-13-01 10:00:00"'),
    ("2024-00-01 10:00:00", "text", "s", "2024-00-01 10:00:00", '"2024-00-01 10:00:00"'),
    ("2024-01-00 10:00:00", "text", "s", "2024-01-00 10:00:00", '"2024-01-00 10:00:00"'),
    ("2024-01-05 24:00:00", "text", "s", "2024-01-05 24:00:00", '"2024-01-05 24:00:00"'),
    ("2024-01-05 23:60:00", "text", "s", "2024-01-05 23:60:00", '"2024-01-05 23:60:00"'),
    ("2024-01-05 23:59:61", "text", "s", "2024-01-05 23:59:61", '"2024-01-05 23:59:61"'),
    ("a\"b\\c\n\t/é\u2028", "text", "s", "a\"b\\c\n\t/é\u2028", '"a\\"b\\\\c\\n\\t/é\u2028"'),
    ("\x00\x01\x1f\x7f\b\f\r", "text", "s", "\x00\x01\x1f\x7f\b\f\r",
     '"\\u0000\\u0001\\u001f\x7f\\b\\f\\r"'),
    ("a-rather-long-text-that-lives-out-of-line", "text", "s",
     "a-rather-long-text-that-lives-out-of-line", '"a-rather-long-text-that-lives-out-of-line"'),
]


@pytest.mark.parametrize("text, kind, code, value_text, json_value", TEXT_TO_VALUE)
def test_text_to_value(text, kind, code, value_text, json_value):
    # The same rule serves creation, Sheet.cell on an existing (formula)
    # cell and the value property.
    created_book, created = one_cell(text)
    rewritten_book, rewritten = one_cell("999")
    rewritten.formula = "=A2"
    rewritten_book.sheets[0].cell(1, 1, text)
    assigned_book, assigned = one_cell()
    assigned.value = text
    for book, c in ((created_book, created), (rewritten_book, rewritten), (assigned_book, assigned)):
        assert kind_of(c) == kind
        assert c.data_type == code
        assert c.value == value_text
        assert (c.formula, c.is_formula) == (None, False)
        assert raw_value(book) == json_value
        assert book.sheets[0].get_value_cell(1, 1) == value_text


def test_value_texts_that_read_back_to_the_same_value():
    # Empty, Bool, Integer and whole-second date-times survive a round trip
    # through their value text; integral numbers become integers.
    for text in ["", "true", "false", "-5", "2024-03-07 09:05:00", "2016-12-31 23:59:60"]:
        book, c = one_cell(text)
        before = raw_value(book)
        c.value = c.value
        assert raw_value(book) == before
    book, c = one_cell("2.0")
    c.value = c.value
    assert (c.value, c.is_value_integer, raw_value(book)) == ("2", True, "2")


def test_numbers_agree_with_the_interpreter():
    """Every finite double written as its shortest repr reads back exactly,
    both as the value text and in the document."""
    rng = random.Random(20240307)
    book, c = one_cell()
    samples = [5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 0.1, 1 / 3, 2**53 + 2]
    samples += [struct.unpack("<d", rng.randbytes(8))[0] for _ in range(3000)]
    for x in samples:
        if not math.isfinite(x):
            continue
        c.value = repr(x)
        got = json.loads(raw_value(book))
        if x == int(x) and abs(x) < 2**31:
            assert c.is_value_integer, repr(x)
            continue
        assert c.is_value_numeric, repr(x)
        assert got == x and math.copysign(1, got) == math.copysign(1, x), repr(x)
        assert float(c.value) == x, repr(x)
        assert "e" not in c.value.lower() or c.value in ("inf", "-inf")


INTEGER_FORM = re.compile(r"[+-]?[0-9]+")
NUMBER_FORM = re.compile(
    r"[+-]?(?:(?i:inf|infinity|nan)|(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)"
)
DATETIME_FORM = re.compile(r"([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2})")


def expected_kind(text):
    """The text-to-value rule, written out with the interpreter's own tools."""
    if text == "":
        return "empty", None
    if text.upper() in ("TRUE", "FALSE"):
        return "bool", text.upper() == "TRUE"
    if INTEGER_FORM.fullmatch(text) and -(2**31) <= int(text) < 2**31:
        return "integer", int(text)
    if NUMBER_FORM.fullmatch(text):
        return "number", float(text)
    m = DATETIME_FORM.fullmatch(text)
    if m:
        y, mo, d, h, mi, sec = map(int, m.groups())
        if 1 <= mo <= 12 and h <= 23 and mi <= 59 and sec <= 60:
            if 1 <= d <= calendar.monthrange(2000 if y == 0 else y, mo)[1]:
                return "datetime", text
    return "text", text


def test_text_rule_on_generated_texts():
    rng = random.Random(11)
    pieces = list("0123456789+-.eE") + ["inf", "NaN", "Infinity", "00", "9" * 12, " ", "x"]
    texts = []
    for _ in range(15000):
        texts.append("".join(rng.choice(pieces) for _ in range(rng.randrange(1, 9))))
    for _ in range(5000):
        parts = [
            rng.choice(["%04d" % rng.randrange(10000), "0000", "1900", "2000", "2100", "24"]),
            "-%02d" % rng.randrange(14), "-%02d" % rng.randrange(33),
            " %02d" % rng.randrange(26), ":%02d" % rng.randrange(62), ":%02d" % rng.randrange(62),
        ]
        if rng.random() < 0.15:
            parts[rng.randrange(len(parts))] = rng.choice(["", " ", "T", ".5", "x"])
        texts.append("".join(parts))
    book, c = one_cell()
    for text in texts:
        c.value = text
        kind, value = expected_kind(text)
        assert kind_of(c) == kind, repr(text)
        got = json.loads(raw_value(book))
        if kind == "number":
            if math.isfinite(value):
                assert got == value and math.copysign(1, got) == math.copysign(1, value), text
            else:
                assert got is None
        elif kind == "integer":
            assert got == value
        elif kind == "datetime":
            assert c.value == text
            assert got == text.replace(" ", "T")
        elif kind == "text":
            assert got == text


def _shortest(x):
    t = decimal.Decimal(repr(abs(x))).normalize().as_tuple()
    digits = "".join(map(str, t.digits))
    return digits, t.exponent, len(digits) + t.exponent


def expected_json_float(x):
    sign = "-" if math.copysign(1, x) < 0 else ""
    if x == 0:
        return sign + "0.0"
    g, e, d = _shortest(x)
    if e >= 0 and d <= 16:
        return sign + g + "0" * e + ".0"
    if 1 <= d <= 16:
        return sign + g[:d] + "." + g[d:]
    if -4 <= d <= 0:
        return sign + "0." + "0" * -d + g
    return sign + g[0] + ("." + g[1:] if len(g) > 1 else "") + "e" + str(d - 1)


def expected_value_text(x):
    sign = "-" if math.copysign(1, x) < 0 else ""
    if x == 0:
        return sign + "0"
    g, e, d = _shortest(x)
    if d <= 0:
        return sign + "0." + "0" * -d + g
    if e >= 0:
        return sign + g + "0" * e
    return sign + g[:d] + "." + g[d:]


def test_float_layout_on_generated_doubles():
    rng = random.Random(5)
    xs = [struct.unpack("<d", rng.randbytes(8))[0] for _ in range(6000)]
    xs += [rng.uniform(-1e20, 1e20) for _ in range(2000)]
    xs += [m * 10.0**k for k in range(-25, 25) for m in (1.0, 1.5, -7.25)]
    xs += [float(rng.randrange(10**18)) for _ in range(1000)]
    book, c = one_cell()
    for x in xs:
        if not math.isfinite(x):
            continue
        c.set_value_number(x)
        assert raw_value(book) == expected_json_float(x), repr(x)
        assert c.value == expected_value_text(x), repr(x)


@pytest.mark.parametrize(
    "text",
    [
        "2.4703282292062327e-324",  # exactly half the smallest: ties to even, zero
        "2.4703282292062328e-324",
        "1.7976931348623158e308",
        "1.7976931348623159e308",  # past the largest after rounding
        "9" * 400,
        "0." + "0" * 330 + "5",
        "123456789012345678901234567890",
        "0" * 500 + "1.5",
        "1" + "0" * 500 + "e-500",
        "0." + "0" * 500 + "1e500",
    ],
)
def test_hard_decimal_texts_round_like_the_interpreter(text):
    book, c = one_cell(text)
    expected = float(text)
    assert c.is_value_numeric
    got = json.loads(raw_value(book))
    if math.isinf(expected):
        assert got is None and c.value == ("inf" if expected > 0 else "-inf")
    else:
        assert got == expected
        assert float(c.value) == expected


def _ascii_upper_code_points():
    """Non-ASCII code points whose full upper case begins with ASCII, as the
    interpreter's own str.upper says."""
    found = []
    for cp in range(0x80, sys.maxunicode + 1):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        up = chr(cp).upper()
        if up and ord(up[0]) < 0x80:
            found.append(chr(cp))
    return found


def test_boolean_words_follow_full_unicode_upper_casing():
    special = _ascii_upper_code_points()
    assert "ſ" in special and "ß" in special and "ﬁ" in special
    book, c = one_cell()
    checked = 0
    for ch in special:
        for word in ("true", "false", "TRUE", "False"):
            # Put the character in place of every stretch of the word, and
            # also before and after it.
            candidates = {ch, ch + word, word + ch}
            for i in range(len(word) + 1):
                for j in range(i, len(word) + 1):
                    candidates.add(word[:i] + ch + word[j:])
            for text in candidates:
                c.value = text
                up = text.upper()
                if up in ("TRUE", "FALSE"):
                    assert c.is_value_bool, ascii(text)
                    assert c.value == up.lower(), ascii(text)
                    assert c.data_type == "b"
                else:
                    assert kind_of(c) == "text", ascii(text)
                    assert c.value == text
                checked += 1
    assert checked > 1000
    # Every ASCII spelling of the two words, and nothing near them.
    import itertools

    for word in ("true", "false"):
        for spelled in itertools.product(*[(ch, ch.upper()) for ch in word]):
            c.value = "".join(spelled)
            assert c.is_value_bool and c.value == word


# ---- the document's float form ----

FLOATS = [
    (20.0, "20.0", "20"),
    (3.0, "3.0", "3"),
    (-2.5, "-2.5", "-2.5"),
    (0.0, "0.0", "0"),
    (-0.0, "-0.0", "-0"),
    (12.34, "12.34", "12.34"),
    (22.5, "22.5", "22.5"),
    (100.0, "100.0", "100"),
    (1234567890123456.0, "1234567890123456.0", "1234567890123456"),
    (1e15, "1000000000000000.0", "1000000000000000"),
    (9007199254740992.0, "9007199254740992.0", "9007199254740992"),
    (123456789012345.6, "123456789012345.6", "123456789012345.6"),
    (1e16, "1e16", "10000000000000000"),
    (1.2345678901234568e16, "1.2345678901234568e16", "12345678901234568"),
    (1.2345678901234568e20, "1.2345678901234568e20", "123456789012345680000"),
    (1e100, "1e100", "1" + "0" * 100),
    (-1e100, "-1e100", "-1" + "0" * 100),
    (1.7976931348623157e308, "1.7976931348623157e308", "17976931348623157" + "0" * 292),
    (0.1, "0.1", "0.1"),
    (1 / 3, "0.3333333333333333", "0.3333333333333333"),
    (0.001234, "0.001234", "0.001234"),
    (0.0001, "0.0001", "0.0001"),
    (0.00001, "0.00001", "0.00001"),
    (-0.00001234, "-0.00001234", "-0.00001234"),
    (0.000001, "1e-6", "0.000001"),
    (1.5e-7, "1.5e-7", "0.00000015"),
    (5e-324, "5e-324", "0." + "0" * 323 + "5"),
    (-2.2250738585072014e-308, "-2.2250738585072014e-308", "-0." + "0" * 307 + "22250738585072014"),
    (math.nan, "null", "NaN"),
    (math.inf, "null", "inf"),
    (-math.inf, "null", "-inf"),
]


@pytest.mark.parametrize("number, json_text, value_text", FLOATS)
def test_number_forms(number, json_text, value_text):
    book, c = one_cell()
    c.set_value_number(number)
    assert raw_value(book) == json_text
    assert c.value == value_text
    assert (c.data_type, kind_of(c)) == ("n", "number")


# ---- date-times ----

DATETIMES = [
    (dt.datetime(2024, 3, 7, 9, 5), "2024-03-07 09:05:00"),
    (dt.datetime(2024, 3, 7, 9, 5, 0, 250000), "2024-03-07 09:05:00.250"),
    (dt.datetime(2024, 3, 7, 9, 5, 0, 1000), "2024-03-07 09:05:00.001"),
    (dt.datetime(2024, 3, 7, 9, 5, 0, 123456), "2024-03-07 09:05:00.123456"),
    (dt.datetime(2024, 3, 7, 9, 5, 0, 1), "2024-03-07 09:05:00.000001"),
    (dt.datetime(2024, 3, 7, 9, 5, 0, 10), "2024-03-07 09:05:00.000010"),
    (dt.datetime(2024, 3, 7, 9, 5, 0, 100000), "2024-03-07 09:05:00.100"),
    (dt.datetime(1, 1, 1), "0001-01-01 00:00:00"),
    (dt.datetime(999, 12, 31, 23, 59, 59), "0999-12-31 23:59:59"),
    (dt.datetime(9999, 12, 31, 23, 59, 59, 999999), "9999-12-31 23:59:59.999999"),
    (dt.datetime(2024, 3, 7, 9, 5, fold=1), "2024-03-07 09:05:00"),
]


@pytest.mark.parametrize("value, text", DATETIMES)
def test_set_value_datetime(value, text):
    book, c = one_cell("x")
    c.formula = "=NOW()"
    c.set_value_datetime(value)
    assert c.value == text
    assert (c.data_type, kind_of(c), c.formula, c.is_formula) == ("d", "datetime", None, False)
    assert raw_value(book) == '"' + text.replace(" ", "T") + '"'


def test_datetime_subclass_accepted_and_date_refused():
    class Stamp(dt.datetime):
        pass

    book, c = one_cell()
    c.set_value_datetime(Stamp(2024, 1, 2, 3, 4, 5))
    assert c.value == "2024-01-02 03:04:05"
    with unchanged(book), pytest.raises(TypeError):
        c.set_value_datetime(dt.date(2024, 1, 2))
    with unchanged(book), pytest.raises(TypeError, match="expected a datetime without tzinfo"):
        c.set_value_datetime(dt.datetime(2024, 1, 2, tzinfo=dt.timezone(dt.timedelta(hours=3))))


def test_fractional_datetime_text_does_not_read_back_as_datetime():
    book, c = one_cell()
    c.set_value_datetime(dt.datetime(2024, 3, 7, 9, 5, 0, 250000))
    c.value = c.value
    assert kind_of(c) == "text"
    assert c.value == "2024-03-07 09:05:00.250"


# ---- typed setters ----


def test_typed_setters_set_kind_and_code_and_clear_the_formula():
    book, c = one_cell("5")
    c.style = "st"
    c.hidden_value = "hv"
    steps = [
        (lambda: c.set_value_number(3), "number", "n", "3"),
        (lambda: c.set_value_number(2.5), "number", "n", "2.5"),
        (lambda: c.set_value_integer(12), "integer", "n", "12"),
        (lambda: c.set_value_integer(-2147483648), "integer", "n", "-2147483648"),
        (lambda: c.set_value_integer(2147483647), "integer", "n", "2147483647"),
        (lambda: c.set_value_bool(True), "bool", "b", "true"),
        (lambda: c.set_value_bool(False), "bool", "b", "false"),
        (lambda: c.set_value_datetime(dt.datetime(2020, 1, 1)), "datetime", "d",
         "2020-01-01 00:00:00"),
    ]
    for step, kind, code, text in steps:
        c.formula = "=X1"
        assert (c.is_formula, c.data_type) == (True, "f")
        step()
        assert (kind_of(c), c.data_type, c.value) == (kind, code, text)
        assert (c.formula, c.is_formula) == (None, False)
        assert (c.style, c.hidden_value) == ("st", "hv")


def test_integer_and_number_are_distinct_kinds():
    book, c = one_cell()
    c.set_value_integer(5)
    assert (c.is_value_integer, c.is_value_numeric, raw_value(book)) == (True, False, "5")
    c.set_value_number(5)
    assert (c.is_value_integer, c.is_value_numeric, raw_value(book)) == (False, True, "5.0")
    c.set_value_number(5.0)
    assert c.value == "5"


def test_formula_keeps_the_value():
    book, c = one_cell("5")
    c.formula = "=SUM(A1:A3)"
    assert (c.formula, c.data_type, c.is_formula) == ("=SUM(A1:A3)", "f", True)
    assert (c.value, c.is_value_integer) == ("5", True)
    assert json.loads(book.to_json())["sheets"][0]["cells"][0] == {
        "row": 1, "column": 1, "value": 5, "formula": "=SUM(A1:A3)", "data_type": "f",
    }
    c.formula = ""
    assert (c.formula, c.is_formula) == ("", True)
    c.value = "x"
    assert (c.formula, c.is_formula, c.data_type, c.value) == (None, False, "s", "x")


def test_style_and_hidden_value_leave_the_value_alone():
    book, c = one_cell("5")
    c.formula = "=1"
    c.style = "7"
    c.hidden_value = ""
    assert (c.value, c.data_type, c.formula, c.style, c.hidden_value) == ("5", "f", "=1", "7", "")
    c.style = "8"
    assert c.style == "8"
    assert json.loads(book.to_json())["sheets"][0]["cells"][0] == {
        "row": 1, "column": 1, "value": 5, "formula": "=1", "data_type": "f",
        "style_id": "8", "hidden_value": "",
    }


def test_a_new_cell_has_no_optional_fields():
    book, c = one_cell()
    assert (c.value, c.formula, c.style, c.hidden_value) == ("", None, None, None)
    assert (c.data_type, kind_of(c), c.is_formula) == ("s", "empty", False)
    assert set(json.loads(book.to_json())["sheets"][0]["cells"][0]) == {
        "row", "column", "value", "data_type",
    }


@pytest.mark.parametrize(
    "call, exc",
    [
        (lambda c: setattr(c, "value", 12), TypeError),
        (lambda c: setattr(c, "value", None), TypeError),
        (lambda c: setattr(c, "formula", None), TypeError),
        (lambda c: setattr(c, "style", None), TypeError),
        (lambda c: c.set_value_integer(2**31), OverflowError),
        (lambda c: c.set_value_integer(1.5), TypeError),
        (lambda c: c.set_value_number("1"), TypeError),
        (lambda c: c.set_value_number(10**400), OverflowError),
        (lambda c: c.set_value_bool(1), TypeError),
        (lambda c: c.set_value_bool(None), TypeError),
        (lambda c: c.set_value_datetime(dt.date(2020, 1, 1)), TypeError),
        (lambda c: c.set_value_datetime(dt.datetime(2020, 1, 1, tzinfo=dt.timezone.utc)), TypeError),
    ],
)
def test_typed_setter_errors_leave_the_cell_alone(call, exc):
    book, c = one_cell("7")
    c.formula = "=A1"
    c.style = "s"
    with unchanged(book), pytest.raises(exc):
        call(c)
    assert (c.value, c.formula, c.data_type) == ("7", "=A1", "f")


def test_number_setter_takes_float_like_objects():
    book, c = one_cell()

    class Real:
        def __float__(self):
            return 0.25

    c.set_value_number(Real())
    assert c.value == "0.25"
    c.set_value_number(Index(4))
    assert c.value == "4" and c.is_value_numeric
    c.set_value_number(10**20)
    assert c.value == "100000000000000000000"
