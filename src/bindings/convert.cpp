#include "convert.hpp"

#include <datetime.h>

#include <cstring>

namespace brindel::py {

namespace {

constexpr const char* kOutOfRange = "out of range integral type conversion attempted";

void fetch(PyObject** type, PyObject** value, PyObject** tb) {
    PyErr_Fetch(type, value, tb);
    PyErr_NormalizeException(type, value, tb);
}

}  // namespace

void rewrap_type_error(const char* name) {
    if (!PyErr_Occurred() || !PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject *type, *value, *tb;
    fetch(&type, &value, &tb);
    if (type != PyExc_TypeError || !value) {  // exactly TypeError, not a subclass
        PyErr_Restore(type, value, tb);
        return;
    }
    PyObject* text = PyObject_Str(value);
    if (!text) {
        Py_DECREF(type);
        Py_DECREF(value);
        Py_XDECREF(tb);
        return;
    }
    PyObject* msg = PyUnicode_FromFormat("argument '%s': %U", name, text);
    Py_DECREF(text);
    PyObject* cause = PyException_GetCause(value);
    Py_DECREF(type);
    Py_DECREF(value);
    Py_XDECREF(tb);
    if (!msg) {
        Py_XDECREF(cause);
        return;
    }
    PyObject* exc = PyObject_CallOneArg(PyExc_TypeError, msg);
    Py_DECREF(msg);
    if (!exc) {
        Py_XDECREF(cause);
        return;
    }
    if (cause) PyException_SetCause(exc, cause);  // steals cause
    PyErr_SetObject(PyExc_TypeError, exc);
    Py_DECREF(exc);
}

std::string_view to_text(PyObject* o) {
    if (!PyUnicode_Check(o))
        throw_type_error("'" + type_name(o) + "' object cannot be converted to 'PyString'");
    Py_ssize_t n;
    const char* s = PyUnicode_AsUTF8AndSize(o, &n);
    if (!s) throw_error_set();
    return std::string_view(s, static_cast<size_t>(n));
}

uint32_t to_row(PyObject* o) {
    unsigned long long v;
    if (PyLong_Check(o)) {
        v = PyLong_AsUnsignedLongLong(o);
    } else {
        Object i = Object::checked(PyNumber_Index(o));
        v = PyLong_AsUnsignedLongLong(i.get());
    }
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_error_set();
    if (v > 0xFFFFFFFFull) throw_overflow(kOutOfRange);
    return static_cast<uint32_t>(v);
}

uint16_t to_column(PyObject* o) {
    long v = PyLong_AsLong(o);
    if (v == -1 && PyErr_Occurred()) throw_error_set();
    if (v < 0 || v > 65535) throw_overflow(kOutOfRange);
    return static_cast<uint16_t>(v);
}

int32_t to_int32(PyObject* o) {
    long v = PyLong_AsLong(o);
    if (v == -1 && PyErr_Occurred()) throw_error_set();
    if (v < INT32_MIN || v > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C int");
        throw_error_set();
    }
    return static_cast<int32_t>(v);
}

double to_real(PyObject* o) {
    double d = PyFloat_AsDouble(o);
    if (d == -1.0 && PyErr_Occurred()) throw_error_set();
    return d;
}

bool to_flag(PyObject* o) {
    if (o == Py_True) return true;
    if (o == Py_False) return false;
    const char* tn = Py_TYPE(o)->tp_name;
    if (std::strcmp(tn, "numpy.bool_") == 0 || std::strcmp(tn, "numpy.bool") == 0) {
        PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
        if (!nb || !nb->nb_bool)
            throw_type_error("object of type '" + type_name(o) +
                             "' does not define a '__bool__' conversion");
        int r = nb->nb_bool(o);
        if (r < 0) throw_error_set();
        return r != 0;
    }
    throw_type_error("'" + type_name(o) + "' object cannot be converted to 'PyBool'");
}

DateTime to_datetime(PyObject* o) {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI) throw_error_set();
    }
    if (!PyDateTime_Check(o))
        throw_type_error("'" + type_name(o) + "' object cannot be converted to 'PyDateTime'");
    PyObject* tz = PyObject_GetAttrString(o, "tzinfo");
    if (!tz) throw_error_set();
    bool aware = tz != Py_None;
    Py_DECREF(tz);
    if (aware) throw_type_error("expected a datetime without tzinfo");
    int year = PyDateTime_GET_YEAR(o), month = PyDateTime_GET_MONTH(o),
        day = PyDateTime_GET_DAY(o);
    int hour = PyDateTime_DATE_GET_HOUR(o), minute = PyDateTime_DATE_GET_MINUTE(o),
        second = PyDateTime_DATE_GET_SECOND(o), micro = PyDateTime_DATE_GET_MICROSECOND(o);
    if (year < -32768 || year > 32767 || !valid_date(year, month, day))
        throw_value_error("invalid or out-of-range date");
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        micro < 0 || micro > 999999)
        throw_value_error("invalid or out-of-range time");
    DateTime dt;
    dt.year = static_cast<int16_t>(year);
    dt.month = static_cast<uint8_t>(month);
    dt.day = static_cast<uint8_t>(day);
    dt.hour = static_cast<uint8_t>(hour);
    dt.minute = static_cast<uint8_t>(minute);
    dt.second = static_cast<uint8_t>(second);
    dt.nanos = static_cast<uint32_t>(micro) * 1000u;
    return dt;
}

namespace {

// Iterates a sequence argument by index, re-reading its length each time, so
// that a sequence changed by an element's own conversion is never read out
// of bounds.
template <class T, class F>
std::vector<T> to_list(PyObject* o, F&& element) {
    if (PyUnicode_Check(o)) throw_type_error("Can't extract `str` to `Vec`");
    if (!PySequence_Check(o))
        throw_type_error("'" + type_name(o) + "' object cannot be converted to 'Sequence'");
    std::vector<T> out;
    Py_ssize_t n = PySequence_Size(o);
    if (n < 0) throw_error_set();
    out.reserve(static_cast<size_t>(n));
    for (Py_ssize_t i = 0;; ++i) {
        Py_ssize_t len = PySequence_Size(o);
        if (len < 0) throw_error_set();
        if (i >= len) break;
        Object item = Object::checked(PySequence_GetItem(o, i));
        out.push_back(element(item.get()));
    }
    return out;
}

}  // namespace

std::vector<std::string> to_text_list(PyObject* o) {
    return to_list<std::string>(o, [](PyObject* e) { return std::string(to_text(e)); });
}

std::vector<uint32_t> to_row_list(PyObject* o) { return to_list<uint32_t>(o, to_row); }

std::vector<uint16_t> to_column_list(PyObject* o) { return to_list<uint16_t>(o, to_column); }

PyObject* to_instance(PyObject* o, PyTypeObject* type, const char* class_name) {
    if (!PyObject_TypeCheck(o, type))
        throw_type_error("'" + type_name(o) + "' object cannot be converted to '" + class_name +
                         "'");
    return o;
}

}  // namespace brindel::py
