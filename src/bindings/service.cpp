// The Service class: the base of report services. It keeps the connection it
// was given and owns a workbook, reached through the underscore members.
#include "workbook.hpp"

namespace brindel::py {

namespace {

constexpr Param kNewParams[] = {{"conn_db"}};
constexpr Sig kNew{"Service", "__new__", kNewParams};
constexpr Sig kAddSheet{"Service", "_add_sheet", workbook::kAddSheetParams};
constexpr Sig kCopySheet{"Service", "_copy_sheet", workbook::kCopySheetParams};
constexpr Sig kGetSheetIndex{"Service", "_get_sheet_index", workbook::kIndexParams};
constexpr Sig kGetSheetName{"Service", "_get_sheet_name", workbook::kNameParams};
constexpr Param kSummaryParams[] = {{"sheets"}};
constexpr Sig kSummary{"Service", "summary_0", kSummaryParams};

PyObject* service_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        Bound b;
        bind(kNew, args, kwargs, b);
        Ref<BookRecord> rec(new BookRecord);
        auto* o = reinterpret_cast<ServiceObject*>(type->tp_alloc(type, 0));
        if (!o) throw_error_set();
        new (&o->borrow) BorrowFlag();
        new (&o->rec) Ref<BookRecord>(std::move(rec));
        o->conn = Py_NewRef(b.v[0]);
        return reinterpret_cast<PyObject*>(o);
    });
}

int service_traverse(PyObject* self, visitproc visit, void* arg) {
    auto* o = reinterpret_cast<ServiceObject*>(self);
    Py_VISIT(o->conn);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int service_clear(PyObject* self) {
    auto* o = reinterpret_cast<ServiceObject*>(self);
    Py_CLEAR(o->conn);
    return 0;
}

void service_dealloc(PyObject* self) {
    PyTypeObject* t = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    auto* o = reinterpret_cast<ServiceObject*>(self);
    Py_CLEAR(o->conn);
    o->rec.~Ref<BookRecord>();
    o->borrow.~BorrowFlag();
    t->tp_free(self);
    Py_DECREF(t);
}

PyObject* conn_db(ServiceObject& o) { return Py_NewRef(o.conn ? o.conn : Py_None); }
PyObject* sheets(ServiceObject& o) { return workbook::sheets(*o.rec); }
PyObject* add_sheet(ServiceObject& o, Args a) { return workbook::add_sheet(*o.rec, a); }
PyObject* copy_sheet(ServiceObject& o, Args a) { return workbook::copy_sheet(*o.rec, a); }
PyObject* get_sheet_index(ServiceObject& o, Args a) { return workbook::get_sheet_index(*o.rec, a); }
PyObject* get_sheet_name(ServiceObject& o, Args a) { return workbook::get_sheet_name(*o.rec, a); }
PyObject* to_json(ServiceObject& o) { return workbook::to_json(*o.rec); }
PyObject* to_dict(ServiceObject& o) { return workbook::to_dict(*o.rec); }

PyObject* repr(ServiceObject& o) {
    std::string name = type_name(reinterpret_cast<PyObject*>(&o));
    return new_str(name + ", sheets: " + std::to_string(o.rec->sheet_count()));
}

// summary_0(sheets, /, **kwargs): a positional list, any keywords.
PyObject* summary_0(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        ServiceObject& o = checked_self<ServiceObject>(self);
        BorrowGuard g(o.borrow, Borrow::Shared);
        Py_ssize_t n = PyTuple_GET_SIZE(args);
        if (n > 1)
            throw_type_error(kSummary.display_name() + " takes 1 positional arguments but " +
                             std::to_string(n) + " were given");
        if (n < 1)
            throw_type_error(kSummary.display_name() +
                             " missing 1 required positional argument: 'sheets'");
        PyObject* sheets = PyTuple_GET_ITEM(args, 0);
        if (!PyList_Check(sheets))
            throw_type_error("argument 'sheets': '" + type_name(sheets) +
                             "' object cannot be converted to 'PyList'");
        (void)kwargs;
        PyErr_SetString(PyExc_NotImplementedError, "Method 'summary_0' is not implemented");
        throw_error_set();
    });
}

// _fmt_0(**kwargs): keywords only.
PyObject* fmt_0(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        ServiceObject& o = checked_self<ServiceObject>(self);
        BorrowGuard g(o.borrow, Borrow::Shared);
        Py_ssize_t n = PyTuple_GET_SIZE(args);
        if (n > 0)
            throw_type_error("Service._fmt_0() takes 0 positional arguments but " +
                             std::to_string(n) + (n == 1 ? " was" : " were") + " given");
        (void)kwargs;
        PyErr_SetString(PyExc_NotImplementedError, "Method 'fmt_0' is not implemented");
        throw_error_set();
    });
}

}  // namespace

PyTypeObject* create_service_type() {
    static PyMethodDef* methods = persist<PyMethodDef>({
        method_def<ServiceObject, add_sheet, kAddSheet>(),
        method_def<ServiceObject, copy_sheet, kCopySheet>(),
        method_def<ServiceObject, get_sheet_index, kGetSheetIndex>(),
        method_def<ServiceObject, get_sheet_name, kGetSheetName>(),
        noargs_def<ServiceObject, to_json>("to_json"),
        noargs_def<ServiceObject, to_dict>("to_dict"),
        {"summary_0", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(summary_0)),
         METH_VARARGS | METH_KEYWORDS, docstring_with_text("summary_0($self, sheets, /, **kwargs)", "")},
        {"_fmt_0", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fmt_0)),
         METH_VARARGS | METH_KEYWORDS, docstring_with_text("_fmt_0($self, **kwargs)", "")},
    });
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        {"_conn_db", getter_entry<ServiceObject, conn_db>, nullptr, nullptr, nullptr},
        {"_sheets", getter_entry<ServiceObject, sheets>, nullptr, nullptr, nullptr},
    });
    return make_type("brindel.Service", sizeof(ServiceObject),
                     Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
                     docstring_with_text("Service(conn_db)", ""),
                     {{Py_tp_new, reinterpret_cast<void*>(service_new)},
                      {Py_tp_dealloc, reinterpret_cast<void*>(service_dealloc)},
                      {Py_tp_traverse, reinterpret_cast<void*>(service_traverse)},
                      {Py_tp_clear, reinterpret_cast<void*>(service_clear)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<ServiceObject, repr>)},
                      {Py_tp_methods, methods},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
