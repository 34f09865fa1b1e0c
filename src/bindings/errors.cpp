#include "errors.hpp"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace brindel::py {

PyObject* panic_exception_type() {
    static PyObject* type = nullptr;
    if (!type) {
        type = PyErr_NewExceptionWithDoc(
            "brindel.PanicException",
            "An internal fault of the native module. It always marks a defect.",
            PyExc_BaseException, nullptr);
    }
    return type;
}

std::string engine_error_text(const Error& e) {
    std::string s = e.message;
    if (!e.causes.empty()) {
        s += "\n\nCaused by:";
        if (e.causes.size() == 1) {
            s += "\n    " + e.causes[0];
        } else {
            for (size_t i = 0; i < e.causes.size(); ++i) {
                char idx[32];
                std::snprintf(idx, sizeof idx, "%5zu: ", i);
                s += "\n";
                s += idx;
                s += e.causes[i];
            }
        }
    }
    return s;
}

void throw_engine_error(const Error& e) {
    std::string s = engine_error_text(e);
    PyErr_SetString(PyExc_RuntimeError, s.c_str());
    throw ErrorSet{};
}

void throw_type_error(const std::string& msg) {
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    throw ErrorSet{};
}

void throw_overflow(const char* msg) {
    PyErr_SetString(PyExc_OverflowError, msg);
    throw ErrorSet{};
}

void throw_runtime_error(const char* msg) {
    PyErr_SetString(PyExc_RuntimeError, msg);
    throw ErrorSet{};
}

void throw_value_error(const std::string& msg) {
    PyErr_SetString(PyExc_ValueError, msg.c_str());
    throw ErrorSet{};
}

static void set_panic(const char* msg) noexcept {
    PyObject* t = panic_exception_type();
    if (!t) return;  // creating the class failed; that error stays set
    PyErr_SetString(t, msg);
}

void translate_current_exception() noexcept {
    try {
        throw;
    } catch (const ErrorSet&) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const InternalFault& f) {
        set_panic(f.message.c_str());
    } catch (const std::exception& e) {
        set_panic(e.what());
    } catch (...) {
        set_panic("unknown internal fault");
    }
}

std::string type_name(PyObject* o) {
    PyTypeObject* t = Py_TYPE(o);
#if PY_VERSION_HEX >= 0x030B0000
    PyObject* n = PyType_GetQualName(t);
    if (n) {
        const char* s = PyUnicode_AsUTF8(n);
        std::string r = s ? s : t->tp_name;
        Py_DECREF(n);
        if (!s) PyErr_Clear();
        return r;
    }
    PyErr_Clear();
#endif
    const char* name = t->tp_name;
    if (t->tp_flags & Py_TPFLAGS_HEAPTYPE) {
        auto* ht = reinterpret_cast<PyHeapTypeObject*>(t);
        if (ht->ht_qualname) {
            const char* s = PyUnicode_AsUTF8(ht->ht_qualname);
            if (s) return s;
            PyErr_Clear();
        }
    }
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : name;
}

}  // namespace brindel::py
