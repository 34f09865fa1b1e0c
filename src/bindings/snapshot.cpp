#include "snapshot.hpp"

#include <datetime.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "errors.hpp"
#include "readable.hpp"
#include "value.hpp"

namespace brindel::py::snapshot {

CellList::~CellList() {
    for (CellRecord* r : owned_) Ref<CellRecord>::adopt(r);  // drops the reference
    for (PyObject* h : holders_) Py_DECREF(h);
}

void CellList::push(Ref<CellRecord> r) {
    raw_.push_back(r.get());  // may throw; r still owns its reference then
    try {
        owned_.push_back(r.get());
    } catch (...) {
        raw_.pop_back();
        throw;
    }
    r.detach();
}

void CellList::push_held(CellRecord* r, PyObject* holder) {
    raw_.push_back(r);
    try {
        holders_.push_back(holder);
    } catch (...) {
        raw_.pop_back();
        throw;
    }
    Py_INCREF(holder);
}

namespace {

// The text of a list value is built in memory; a list whose text would
// exceed this (a list that holds itself many times over, say) is refused
// instead of exhausting the memory.
constexpr size_t kMaxListText = size_t{1} << 28;

// Nesting deeper than this raises RecursionError even when the interpreter's
// recursion limit has been raised far beyond what the C stack can hold.
constexpr int kMaxListDepth = 2000;

// Where an item sits in the input, for messages: "sheets[2].cells[7]".
struct Where {
    const Where* outer;
    const char* list;
    Py_ssize_t index;
};

void append_path(std::string& s, const Where* w) {
    if (!w) return;
    append_path(s, w->outer);
    if (w->outer) s += '.';
    s += w->list;
    s += '[';
    s += std::to_string(w->index);
    s += ']';
}

// "sheets[2].cells[7]: ", or nothing for an item converted on its own.
std::string prefix(const Where* w) {
    std::string s;
    append_path(s, w);
    if (!s.empty()) s += ": ";
    return s;
}

// The names read from the input, interned once for the life of the process.
struct Keys {
    PyObject* row;
    PyObject* column;
    PyObject* value;
    PyObject* formula;
    PyObject* data_type;
    PyObject* style_id;
    PyObject* name;
    PyObject* sheet_state;
    PyObject* merge_cells;
    PyObject* cells;
};

const Keys& keys() {
    static Keys k{};
    static bool ready = false;
    if (!ready) {
        PyObject** slots[] = {&k.row,       &k.column,   &k.value,       &k.formula,
                              &k.data_type, &k.style_id, &k.name,        &k.sheet_state,
                              &k.merge_cells, &k.cells};
        const char* names[] = {"row",      "column", "value", "formula",     "data_type",
                               "style_id", "name",   "sheet_state", "merge_cells", "cells"};
        for (size_t i = 0; i < std::size(slots); ++i) {
            if (*slots[i]) continue;
            *slots[i] = PyUnicode_InternFromString(names[i]);
            if (!*slots[i]) throw_error_set();
        }
        ready = true;
    }
    return k;
}

// Replaces the pending exception by one of the same type (or the nearest
// base type that takes a single message) naming the item and the key, with
// the original as its cause. Exceptions that are not ordinary errors
// (MemoryError, KeyboardInterrupt, ...) pass on unchanged.
[[noreturn]] void fail_at(const Where* w, PyObject* key) {
    if (!PyErr_Occurred() || !PyErr_ExceptionMatches(PyExc_Exception) ||
        PyErr_ExceptionMatches(PyExc_MemoryError))
        throw_error_set();
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (!value) {
        PyErr_Restore(type, value, tb);
        throw_error_set();
    }
    if (tb) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    Object orig = Object::steal(value);

    std::string where = prefix(w);
    std::string tname = type_name(orig.get());
    Object detail = Object::steal(PyObject_Str(orig.get()));
    if (!detail) PyErr_Clear();
    Object msg;
    if (detail && PyUnicode_GET_LENGTH(detail.get()) > 0)
        msg = Object::steal(PyUnicode_FromFormat("%scannot convert '%U': %s: %U", where.c_str(),
                                                 key, tname.c_str(), detail.get()));
    else
        msg = Object::steal(
            PyUnicode_FromFormat("%scannot convert '%U': %s", where.c_str(), key, tname.c_str()));
    if (!msg) throw_error_set();

    PyObject* made = nullptr;
    for (PyTypeObject* t = Py_TYPE(orig.get()); t; t = t->tp_base) {
        made = PyObject_CallOneArg(reinterpret_cast<PyObject*>(t), msg.get());
        if (made && PyExceptionInstance_Check(made)) break;
        Py_XDECREF(made);
        made = nullptr;
        PyErr_Clear();
        if (t == reinterpret_cast<PyTypeObject*>(PyExc_Exception)) break;
    }
    if (!made) {
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(orig.get())), orig.get());
        throw_error_set();
    }
    PyException_SetCause(made, orig.release());  // steals
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(made)), made);
    Py_DECREF(made);
    throw_error_set();
}

template <class F>
auto converting(const Where* w, PyObject* key, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const ErrorSet&) {
        fail_at(w, key);
    }
}

enum class Kind { None, Bool, Int, Float, Str, List, Other };

Kind classify(PyObject* v) {
    if (v == Py_None) return Kind::None;
    // The exact types first: a float check of anything else walks its type's
    // bases.
    PyTypeObject* t = Py_TYPE(v);
    if (t == &PyUnicode_Type) return Kind::Str;
    if (t == &PyLong_Type) return Kind::Int;
    if (t == &PyFloat_Type) return Kind::Float;
    if (Py_IS_TYPE(v, &PyBool_Type)) return Kind::Bool;
    if (PyLong_Check(v)) return Kind::Int;
    if (PyFloat_Check(v)) return Kind::Float;
    if (PyUnicode_Check(v)) return Kind::Str;
    if (PyList_Check(v)) return Kind::List;
    return Kind::Other;
}

int64_t int_value(PyObject* v) {
    int overflow = 0;
    long long x = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (overflow) {
        PyErr_SetString(PyExc_OverflowError, "int outside the signed 64-bit range");
        throw_error_set();
    }
    if (x == -1 && PyErr_Occurred()) throw_error_set();
    return x;
}

// The UTF-8 form of a str, viewed in place; lone surrogates raise the
// interpreter's UnicodeEncodeError.
std::string_view utf8_of(PyObject* s) {
    Py_ssize_t n;
    const char* p = PyUnicode_AsUTF8AndSize(s, &n);
    if (!p) throw_error_set();
    return std::string_view(p, static_cast<size_t>(n));
}

void append_utf8(std::string& out, Py_UCS4 c) {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A field's text: a view of a Python string's UTF-8 bytes (the string is
// kept alive here) or of text written here. Filled in place, never moved.
struct Text {
    bool present = false;
    Object keep;
    std::string own;
    std::string_view view;

    void set_own() {
        present = true;
        view = own;
    }
};

// str() of a naive datetime.datetime (not a subclass, whose str may be its
// own), written here: "YYYY-MM-DD HH:MM:SS" and ".ffffff" when there is a
// fraction. False when v is anything else.
bool naive_datetime_text(PyObject* v, std::string& out) {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI) {
            PyErr_Clear();
            return false;
        }
    }
    if (!PyDateTime_CheckExact(v) || PyDateTime_DATE_GET_TZINFO(v) != Py_None) return false;
    char buf[32];
    char* p = buf;
    auto digits = [&p](int x, int width) {
        for (int i = width - 1; i >= 0; --i, x /= 10) p[i] = static_cast<char>('0' + x % 10);
        p += width;
    };
    digits(PyDateTime_GET_YEAR(v), 4);
    *p++ = '-';
    digits(PyDateTime_GET_MONTH(v), 2);
    *p++ = '-';
    digits(PyDateTime_GET_DAY(v), 2);
    *p++ = ' ';
    digits(PyDateTime_DATE_GET_HOUR(v), 2);
    *p++ = ':';
    digits(PyDateTime_DATE_GET_MINUTE(v), 2);
    *p++ = ':';
    digits(PyDateTime_DATE_GET_SECOND(v), 2);
    if (int micro = PyDateTime_DATE_GET_MICROSECOND(v)) {
        *p++ = '.';
        digits(micro, 6);
    }
    size_t n = static_cast<size_t>(p - buf);
    out.assign(buf, n);
    return true;
}

// str(v), with characters that UTF-8 cannot hold replaced by U+FFFD.
void str_of(PyObject* v, Text& out) {
    if (naive_datetime_text(v, out.own)) {
        out.set_own();
        return;
    }
    Object s = Object::checked(PyObject_Str(v));
    Py_ssize_t n;
    const char* p = PyUnicode_AsUTF8AndSize(s.get(), &n);
    if (p) {
        out.present = true;
        out.view = std::string_view(p, static_cast<size_t>(n));
        out.keep = std::move(s);
        return;
    }
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw_error_set();
    PyErr_Clear();
    Py_ssize_t len = PyUnicode_GetLength(s.get());
    if (len < 0) throw_error_set();
    out.own.clear();
    for (Py_ssize_t i = 0; i < len; ++i) {
        Py_UCS4 c = PyUnicode_ReadChar(s.get(), i);
        if (c == static_cast<Py_UCS4>(-1) && PyErr_Occurred()) throw_error_set();
        append_utf8(out.own, c);
    }
    out.set_own();
}

void append_int(std::string& out, int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void append_float(std::string& out, double d) {
    char buf[kValueTextBuffer];
    out.append(buf, format_number_text(d, buf));
}

void append_text(PyObject* v, std::string& out, int depth);

// "[" + the text of each item, joined by ", ", + "]". The list may change
// under the str() of its items: its length is read again at every step and
// each item is held while it is converted.
void append_list_text(PyObject* list, std::string& out, int depth) {
    if (depth >= kMaxListDepth) {
        PyErr_SetString(PyExc_RecursionError,
                        "maximum nesting depth exceeded while converting a list value to text");
        throw_error_set();
    }
    if (Py_EnterRecursiveCall(" while converting a list value to text")) throw_error_set();
    struct Leave {
        ~Leave() { Py_LeaveRecursiveCall(); }
    } leave;
    out += '[';
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        if (i > 0) out += ", ";
        Object item = Object::borrow(PyList_GET_ITEM(list, i));
        append_text(item.get(), out, depth + 1);
        if (out.size() > kMaxListText) {
            PyErr_Format(PyExc_OverflowError, "the text of a list value exceeds %zu bytes",
                         kMaxListText);
            throw_error_set();
        }
    }
    out += ']';
}

void append_text(PyObject* v, std::string& out, int depth) {
    switch (classify(v)) {
        case Kind::None:
            break;
        case Kind::Bool:
            out += v == Py_True ? "true" : "false";
            break;
        case Kind::Int:
            append_int(out, int_value(v));
            break;
        case Kind::Float:
            append_float(out, PyFloat_AS_DOUBLE(v));
            break;
        case Kind::Str:
            out += utf8_of(v);
            break;
        case Kind::List:
            append_list_text(v, out, depth);
            break;
        case Kind::Other: {
            Text t;
            str_of(v, t);
            out += t.view;
            break;
        }
    }
}

// The optional text form; absent for None.
void read_text(PyObject* v, Text& out) {
    switch (classify(v)) {
        case Kind::None:
            out.present = false;
            return;
        case Kind::Str:
            out.present = true;
            out.view = utf8_of(v);
            out.keep = Object::borrow(v);
            return;
        case Kind::Other:
            str_of(v, out);
            return;
        default:
            out.own.clear();
            append_text(v, out.own, 0);
            out.set_own();
            return;
    }
}

// An optional "+" and one or more ASCII digits that fit T; anything else 0.
template <class T>
T parse_unsigned(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return 0;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > std::numeric_limits<T>::max()) return 0;
    }
    return static_cast<T>(v);
}

// Truncated toward zero and clamped to T; NaN gives 0.
template <class T>
T clamp_float(double d) {
    if (std::isnan(d) || d <= 0) return 0;
    constexpr double top = static_cast<double>(std::numeric_limits<T>::max());
    if (d >= top) return std::numeric_limits<T>::max();
    return static_cast<T>(d);
}

template <class T>
T unsigned_of(PyObject* v) {
    switch (classify(v)) {
        case Kind::None:
        case Kind::List:
            return 0;
        case Kind::Bool:
            return v == Py_True ? 1 : 0;
        case Kind::Int:
            return static_cast<T>(static_cast<uint64_t>(int_value(v)));  // the low bits
        case Kind::Float:
            return clamp_float<T>(PyFloat_AS_DOUBLE(v));
        case Kind::Str:
            return parse_unsigned<T>(utf8_of(v));
        case Kind::Other: {
            Text t;
            str_of(v, t);
            return parse_unsigned<T>(t.view);
        }
    }
    return 0;
}

Object field(PyObject* obj, bool dict, PyObject* key, const Where* w) {
    PyObject* r;
    if (dict && PyDict_CheckExact(obj)) {
        // What subscription of a plain dict does, without the generic call.
        r = Py_XNewRef(PyDict_GetItemWithError(obj, key));
        if (!r && !PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key);
    } else {
        r = dict ? PyObject_GetItem(obj, key) : PyObject_GetAttr(obj, key);
    }
    if (!r) fail_at(w, key);
    return Object::steal(r);
}

// A field's value converted, a failure named after the field.
void text_field(const Object& v, PyObject* key, const Where* w, Text& out) {
    converting(w, key, [&] { read_text(v.get(), out); });
}

template <class T>
T unsigned_field(const Object& v, PyObject* key, const Where* w) {
    return converting(w, key, [&] { return unsigned_of<T>(v.get()); });
}

void read_text_field(PyObject* obj, bool dict, PyObject* key, const Where* w, Text& out) {
    text_field(field(obj, dict, key, w), key, w, out);
}

std::optional<std::string_view> optional_view(const Text& t) {
    if (!t.present) return std::nullopt;
    return t.view;
}

// The six fields of a cell taken from a plain dict in one pass over its
// entries, by identity with the interned key names (what literal keys in
// source code are). Only good while no Python code has run since: the first
// field whose conversion may run some (str() of an arbitrary object) ends it,
// and every later field is looked up as usual, as is any key not found here.
class CellEntries {
public:
    CellEntries(PyObject* obj, const Keys& k) {
        if (!PyDict_CheckExact(obj) || PyDict_GET_SIZE(obj) > 12) return;
        PyObject* names[6] = {k.row, k.column, k.value, k.formula, k.data_type, k.style_id};
        Py_ssize_t pos = 0;
        PyObject *key, *val;
        while (PyDict_Next(obj, &pos, &key, &val)) {
            for (int i = 0; i < 6; ++i) {
                if (key == names[i]) {
                    found_[i] = Object::borrow(val);
                    break;
                }
            }
        }
    }

    Object take(int i, PyObject* obj, bool dict, PyObject* key, const Where* w) {
        Object v = fresh_ && found_[i] ? std::move(found_[i]) : field(obj, dict, key, w);
        if (fresh_ && !runs_no_code(v.get())) fresh_ = false;
        return v;
    }

private:
    static bool runs_no_code(PyObject* v) {
        switch (classify(v)) {
            case Kind::List:
                return false;  // its items are converted too
            case Kind::Other:
                return PyDateTimeAPI && PyDateTime_CheckExact(v) &&
                       PyDateTime_DATE_GET_TZINFO(v) == Py_None;
            default:
                return true;
        }
    }

    Object found_[6];
    bool fresh_ = true;
};

Ref<CellRecord> convert_cell(PyObject* obj, const Where* w) {
    const Keys& k = keys();
    bool dict = PyDict_Check(obj);
    CellEntries e(obj, k);
    uint32_t row = unsigned_field<uint32_t>(e.take(0, obj, dict, k.row, w), k.row, w);
    uint16_t col = unsigned_field<uint16_t>(e.take(1, obj, dict, k.column, w), k.column, w);
    Text value, formula, data_type, style;
    text_field(e.take(2, obj, dict, k.value, w), k.value, w, value);
    text_field(e.take(3, obj, dict, k.formula, w), k.formula, w, formula);
    text_field(e.take(4, obj, dict, k.data_type, w), k.data_type, w, data_type);
    text_field(e.take(5, obj, dict, k.style_id, w), k.style_id, w, style);

    ValueView v;  // Empty when the value was None, whatever the data type
    if (value.present) {
        if (data_type.view == "s") {
            v.kind = ValueKind::Text;  // even the empty text stays a text
            v.text = value.view;
        } else {
            v = text_to_value(value.view);
        }
    }
    return CellRecord::create_snapshot(Coordinate{row, col}, v, optional_view(formula),
                                       data_type.view, optional_view(style));
}

void read_merges(PyObject* list, std::vector<MergedRange>& out) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        Object item = Object::borrow(PyList_GET_ITEM(list, i));
        uint32_t b[4] = {0, 0, 0, 0};
        if (PyList_Check(item.get())) {
            for (Py_ssize_t j = 0; j < 4 && j < PyList_GET_SIZE(item.get()); ++j) {
                Object x = Object::borrow(PyList_GET_ITEM(item.get(), j));
                b[j] = unsigned_of<uint32_t>(x.get());
            }
        } else {
            b[0] = unsigned_of<uint32_t>(item.get());
        }
        MergedRange m;
        m.start_row = b[0];
        m.end_row = b[1];
        m.start_col = static_cast<uint16_t>(b[2]);
        m.end_col = static_cast<uint16_t>(b[3]);
        out.push_back(m);
    }
}

// Snapshot sheets may prepare themselves for searching once they are complete.
template <class S>
void freeze_if_supported(S& s) {
    if constexpr (requires { s.freeze(); }) s.freeze();
}

Ref<SheetRecord> convert_sheet(PyObject* obj, const Where* w) {
    const Keys& k = keys();
    bool dict = PyDict_Check(obj);
    Text name, state;
    read_text_field(obj, dict, k.name, w, name);
    read_text_field(obj, dict, k.sheet_state, w, state);

    std::vector<MergedRange> merges;
    {
        Object m = field(obj, dict, k.merge_cells, w);
        if (PyList_Check(m.get())) converting(w, k.merge_cells, [&] { read_merges(m.get(), merges); });
    }

    Object cells = field(obj, dict, k.cells, w);
    if (!PyList_Check(cells.get())) {
        throw_type_error(prefix(w) + "cannot convert 'cells': '" + type_name(cells.get()) +
                         "' object cannot be converted to 'PyList'");
    }
    Ref<SheetRecord> sheet = make_ref<SheetRecord>(
        name.present ? std::string(name.view) : std::string(),
        state.present ? std::string(state.view) : std::string());
    sheet->reserve_cells_unshared(static_cast<size_t>(PyList_GET_SIZE(cells.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(cells.get()); ++i) {
        Object item = Object::borrow(PyList_GET_ITEM(cells.get(), i));
        Where cw{w, "cells", i};
        sheet->put_cell_unshared(convert_cell(item.get(), &cw));  // the last one wins
    }
    sheet->set_merges_unshared(std::move(merges));
    freeze_if_supported(*sheet);
    return sheet;
}

}  // namespace

CellList cells_from_py(PyObject* list) {
    PyTypeObject* readable_cell = type_object(TypeId::ReadableCell);
    CellList out;
    out.reserve(static_cast<size_t>(PyList_GET_SIZE(list)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        Object item = Object::borrow(PyList_GET_ITEM(list, i));
        if (PyObject_TypeCheck(item.get(), readable_cell)) {
            out.push_held(reinterpret_cast<ReadableCellObject*>(item.get())->rec.get(), item.get());
        } else {
            Where w{nullptr, "cells", i};
            out.push(convert_cell(item.get(), &w));
        }
    }
    return out;
}

Ref<CellRecord> cell_from_py(PyObject* obj) { return convert_cell(obj, nullptr); }

Ref<SheetRecord> sheet_from_py(PyObject* obj) { return convert_sheet(obj, nullptr); }

std::vector<Ref<SheetRecord>> sheets_from_py(PyObject* list) {
    std::vector<Ref<SheetRecord>> out;
    out.reserve(static_cast<size_t>(PyList_GET_SIZE(list)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        Object item = Object::borrow(PyList_GET_ITEM(list, i));
        Where w{nullptr, "sheets", i};
        out.push_back(convert_sheet(item.get(), &w));
    }
    return out;
}

std::string py_text(PyObject* v) {
    std::string out;
    append_text(v, out, 0);
    return out;
}

std::optional<std::string> py_optional_text(PyObject* v) {
    if (v == Py_None) return std::nullopt;
    return py_text(v);
}

uint32_t py_u32(PyObject* v) { return unsigned_of<uint32_t>(v); }

uint16_t py_u16(PyObject* v) { return unsigned_of<uint16_t>(v); }

}  // namespace brindel::py::snapshot
