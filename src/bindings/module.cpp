// The module entry: builds _brindel once per process and registers every
// name in its fixed order, the submodule readable included.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "functions.hpp"
#include "objects.hpp"
#include "readable_module.hpp"
#include "sheet.hpp"
#include "workbook.hpp"

namespace brindel::py {

namespace {

PyModuleDef g_def = {
    PyModuleDef_HEAD_INIT,
    "_brindel",
    "",
    0,  // no per-module state; a second import calls the entry again
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* g_module = nullptr;  // the one module object of the process
std::atomic<int64_t> g_first_interpreter{-1};

}  // namespace

// Appends name to the module's __all__ (creating it first) and sets the
// attribute. Steals value.
void add_to_module(PyObject* module, const char* name, PyObject* value) {
    Object v = Object::checked(value);
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_set();
        PyErr_Clear();
        all = check(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_DECREF(all);
            throw_error_set();
        }
    }
    Object all_ref = Object::steal(all);
    Object n = Object::checked(PyUnicode_FromString(name));
    if (!PyList_Check(all) || PyList_Append(all, n.get()) < 0) {
        PyErr_Clear();
        throw InternalFault{"could not append __name__ to __all__"};
    }
    if (PyObject_SetAttrString(module, name, v.get()) < 0) throw_error_set();
}

PyObject* new_function(PyMethodDef* def, PyObject* module) {
    Object modname = Object::checked(PyModule_GetNameObject(module));
    return check(PyCFunction_NewEx(def, module, modname.get()));
}

namespace {

void build_module_body(PyObject* m) {
    add_to_module(m, "__version__", new_str(kVersion));
    add_to_module(m, "Service", Py_NewRef(type_object(TypeId::Service)));
    add_to_module(m, "Book", Py_NewRef(type_object(TypeId::Book)));
    add_to_module(m, "Sheet", Py_NewRef(type_object(TypeId::Sheet)));
    add_to_module(m, "Cell", Py_NewRef(type_object(TypeId::Cell)));
    add_to_module(m, "Comment", Py_NewRef(type_object(TypeId::Comment)));
    add_to_module(m, "version", new_function(version_def(), m));
    add_to_module(m, "column_number_to_letter", new_function(column_number_to_letter_def(), m));
    add_to_module(m, "get_letter_coordinate", new_function(get_letter_coordinate_def(), m));
    add_to_module(m, "DEFAULT_ROW_HEIGHT", new_float(kDefaultRowHeight));
    add_to_module(m, "DEFAULT_COLUMN_WIDTH", new_float(kDefaultColumnWidth));

    Object readable = Object::checked(build_readable_module());
    add_to_module(m, "readable", Py_NewRef(readable.get()));
    Object sys = Object::checked(PyImport_ImportModule("sys"));
    Object modules = Object::checked(PyObject_GetAttrString(sys.get(), "modules"));
    if (PyObject_SetItem(modules.get(), Object::checked(PyUnicode_FromString("brindel.readable")).get(),
                         readable.get()) < 0)
        throw_error_set();
    workbook::remember_json_loads();
#ifdef BRINDEL_DEBUG_HOOKS
    // A plain attribute: the hook stays out of __all__.
    Object panic = Object::checked(new_function(debug_panic_def(), m));
    if (PyObject_SetAttrString(m, "_debug_panic", panic.get()) < 0) throw_error_set();
#endif
}

PyObject* init() {
    PyInterpreterState* interp = PyInterpreterState_Get();
    int64_t id = PyInterpreterState_GetID(interp);
    if (id < 0) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        throw_error_set();
    }
    int64_t expected = -1;
    g_first_interpreter.compare_exchange_strong(expected, id);
    if (g_first_interpreter.load() != id) {
        PyErr_SetString(PyExc_ImportError,
                        "_brindel does not support sub-interpreters: it can be imported only in "
                        "the main interpreter of the process");
        throw_error_set();
    }

    // One-time build. Imports are serialised by the interpreter lock; a
    // thread that finds another one building waits with the lock released.
    static std::mutex mu;
    static std::condition_variable cv;
    static bool building = false;
    {
        std::unique_lock<std::mutex> lk(mu);
        if (g_module) return Py_NewRef(g_module);
        if (building) {
            Py_BEGIN_ALLOW_THREADS
            cv.wait(lk, [] { return !building; });
            Py_END_ALLOW_THREADS
            if (g_module) return Py_NewRef(g_module);
        }
        building = true;
    }
    struct Done {
        ~Done() {
            {
                std::lock_guard<std::mutex> lk(mu);
                building = false;
            }
            cv.notify_all();
        }
    } done;
    Object m = Object::checked(PyModule_Create(&g_def));
    build_module_body(m.get());
    {
        std::lock_guard<std::mutex> lk(mu);
        g_module = Py_NewRef(m.get());
    }
    return m.release();
}

}  // namespace

}  // namespace brindel::py

extern "C" PyMODINIT_FUNC PyInit__brindel() {
    return brindel::py::guarded([] { return brindel::py::init(); });
}
