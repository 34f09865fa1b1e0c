// The document of a book as Python dicts and lists: the objects that the
// interpreter's JSON reader makes of the document text, built straight from
// the records without the text in between.
#include <Python.h>

#include <cstdio>
#include <vector>

#include "document.hpp"
#include "workbook.hpp"

namespace brindel::py::workbook {

namespace {

// The member names, made once and shared by every document.
PyObject* const* key_names() {
    static PyObject** names = [] {
        constexpr size_t n = static_cast<size_t>(DocKey::count_);
        auto** out = new PyObject*[n]();
        for (size_t i = 0; i < n; ++i) {
            std::string_view s = kDocKeyNames[i];
            out[i] = PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
            if (!out[i]) {
                for (size_t j = 0; j < i; ++j) Py_DECREF(out[j]);
                delete[] out;
                return static_cast<PyObject**>(nullptr);
            }
            PyUnicode_InternInPlace(&out[i]);
        }
        return out;
    }();
    if (!names) {
        if (!PyErr_Occurred()) PyErr_NoMemory();
        throw_error_set();
    }
    return names;
}

class ObjectSink {
public:
    explicit ObjectSink(PyObject* const* keys) : keys_(keys) { stack_.reserve(8); }

    void begin_object() { open(Object::checked(PyDict_New()), false, 0); }
    void begin_array(size_t n) {
        open(Object::checked(PyList_New(static_cast<Py_ssize_t>(n))), true, n);
    }
    void end_object() { close(); }
    void end_array() { close(); }
    void element(bool) {}
    void key(DocKey k, bool) { stack_.back().key = Object::borrow(keys_[static_cast<size_t>(k)]); }
    void number_key(uint32_t num, bool) {
        char buf[16];
        int n = std::snprintf(buf, sizeof buf, "%u", num);
        stack_.back().key = Object::checked(PyUnicode_FromStringAndSize(buf, n));
    }

    void null() { put(Object::borrow(Py_None)); }
    void text(std::string_view s) {
        put(Object::checked(
            PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()))));
    }
    void integer(int64_t v) {
        // Small ints are the interpreter's shared objects anyway; of the others,
        // consecutive cells mostly share their row: one int object serves them.
        if (v >= -5 && v <= 256) {
            put(Object::checked(PyLong_FromLongLong(v)));
            return;
        }
        if (!last_int_ || v != last_int_value_) {
            last_int_ = Object::checked(PyLong_FromLongLong(v));
            last_int_value_ = v;
        }
        put(last_int_);
    }
    void number(double d) { put(Object::checked(PyFloat_FromDouble(d))); }
    void boolean(bool b) { put(Object::borrow(b ? Py_True : Py_False)); }
    void datetime(const DateTime& dt) {
        char buf[64];
        size_t n = format_datetime(dt, 'T', buf);
        text(std::string_view(buf, n));
    }

    Object result() && { return std::move(root_); }

private:
    struct Frame {
        Object container;
        Object key;  // the member the next value fills, in a dict
        bool list;
        size_t size;  // items a list was made for
        size_t filled = 0;
    };

    void open(Object c, bool list, size_t n) {
        PyObject* raw = c.get();
        put(std::move(c));
        stack_.push_back(Frame{Object::borrow(raw), Object(), list, n});
    }

    void close() {
        Frame& f = stack_.back();
        if (f.list && f.filled != f.size) {
            // Never expected: the walk gives as many items as it announced.
            if (PyList_SetSlice(f.container.get(), static_cast<Py_ssize_t>(f.filled),
                                static_cast<Py_ssize_t>(f.size), nullptr) < 0)
                throw_error_set();
        }
        stack_.pop_back();
    }

    void put(Object v) {
        if (stack_.empty()) {
            root_ = std::move(v);
            return;
        }
        Frame& f = stack_.back();
        if (f.list) {
            if (f.filled < f.size) {
                PyList_SET_ITEM(f.container.get(), static_cast<Py_ssize_t>(f.filled++),
                                v.release());
            } else if (PyList_Append(f.container.get(), v.get()) < 0) {
                throw_error_set();
            } else {
                ++f.filled, ++f.size;
            }
        } else if (PyDict_SetItem(f.container.get(), f.key.get(), v.get()) < 0) {
            throw_error_set();
        }
    }

    PyObject* const* keys_;
    std::vector<Frame> stack_;
    Object root_;
    Object last_int_;
    int64_t last_int_value_ = 0;
};

// The cyclic collector stays off while the document is built: it would
// only walk the new containers again and again, and a finalizer it ran
// could reach for the locks this thread holds.
class CollectorPause {
public:
    CollectorPause() : was_enabled_(PyGC_Disable()) {}
    ~CollectorPause() {
        if (was_enabled_) PyGC_Enable();
    }

private:
    int was_enabled_;
};

}  // namespace

namespace {

PyObject* g_json_loads = nullptr;  // the interpreter's own, or none

}  // namespace

void remember_json_loads() {
    PyObject* json = PyImport_ImportModule("json");
    if (json) {
        g_json_loads = PyObject_GetAttrString(json, "loads");
        Py_DECREF(json);
    }
    if (!g_json_loads) PyErr_Clear();  // then every to_dict goes through loads
}

// The document parsed by the json module's loads. While that is the
// interpreter's own loads, the objects it would make of the text are built
// from the records directly; any other loads is called with the text.
PyObject* to_dict(BookRecord& book) {
    Object json = Object::checked(PyImport_ImportModule("json"));
    Object loads = Object::checked(PyObject_GetAttrString(json.get(), "loads"));
    if (!g_json_loads || loads.get() != g_json_loads) {
        Object text = Object::checked(to_json(book));
        return check(PyObject_CallOneArg(loads.get(), text.get()));
    }
    ObjectSink sink(key_names());
    {
        CollectorPause pause;
        SharedLock g(book.lock());
        walk_document(book, sink);
    }
    return std::move(sink).result().release();
}

}  // namespace brindel::py::workbook
