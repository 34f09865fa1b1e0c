// The Book class, and the workbook members it shares with Service.
#include "workbook.hpp"

#include <cstring>

namespace brindel::py {

namespace workbook {

PyObject* sheets(BookRecord& book) { return sheet_list(book.sheets()); }

PyObject* add_sheet(BookRecord& book, const Args& a) {
    std::string name(a.text(0));
    std::string state = a.object(1) ? std::string(a.text(1)) : std::string("visible");
    return wrap_sheet(book.add_sheet(std::move(name), std::move(state)));
}

PyObject* copy_sheet(BookRecord& book, const Args& a) {
    SheetObject& src = a.instance<SheetObject>(0, type_object(TypeId::Sheet), "Sheet");
    Ref<SheetRecord> source = src.rec;
    return wrap_sheet(book.copy_sheet(*source));
}

PyObject* get_sheet_index(BookRecord& book, const Args& a) {
    return wrap_sheet(book.sheet_at(a.int32(0)));
}

PyObject* get_sheet_name(BookRecord& book, const Args& a) {
    return wrap_sheet(book.sheet_named(a.text(0)));
}

PyObject* to_json(BookRecord& book) {
    Result<DocumentText> r = book.to_json_text();
    if (!r) throw_engine_error(r.error());
    const DocumentText& text = r.value();
    if (!text.ascii()) return new_str(text.joined());
    // All ASCII: the pieces go straight into the new str, no decoding.
    PyObject* out = check(PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127));
    char* p = static_cast<char*>(PyUnicode_DATA(out));
    text.for_each_piece([&](std::string_view piece) {
        std::memcpy(p, piece.data(), piece.size());
        p += piece.size();
    });
    return out;
}

}  // namespace workbook

namespace {

constexpr Sig kNew{"Book", "__new__"};
constexpr Sig kAddSheet{"Book", "add_sheet", workbook::kAddSheetParams};
constexpr Sig kCopySheet{"Book", "copy_sheet", workbook::kCopySheetParams};
constexpr Sig kGetSheetIndex{"Book", "get_sheet_index", workbook::kIndexParams};
constexpr Sig kGetSheetName{"Book", "get_sheet_name", workbook::kNameParams};

PyObject* book_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        Bound b;
        bind(kNew, args, kwargs, b);
        Ref<BookRecord> rec(new BookRecord);
        auto* o = reinterpret_cast<BookObject*>(type->tp_alloc(type, 0));
        if (!o) throw_error_set();
        new (&o->borrow) BorrowFlag();
        new (&o->rec) Ref<BookRecord>(std::move(rec));
        return reinterpret_cast<PyObject*>(o);
    });
}

PyObject* sheets(BookObject& o) { return workbook::sheets(*o.rec); }
PyObject* add_sheet(BookObject& o, Args a) { return workbook::add_sheet(*o.rec, a); }
PyObject* copy_sheet(BookObject& o, Args a) { return workbook::copy_sheet(*o.rec, a); }
PyObject* get_sheet_index(BookObject& o, Args a) { return workbook::get_sheet_index(*o.rec, a); }
PyObject* get_sheet_name(BookObject& o, Args a) { return workbook::get_sheet_name(*o.rec, a); }
PyObject* to_json(BookObject& o) { return workbook::to_json(*o.rec); }
PyObject* to_dict(BookObject& o) { return workbook::to_dict(*o.rec); }
PyObject* repr(BookObject& o) {
    return new_str("Book, sheets: " + std::to_string(o.rec->sheet_count()));
}

}  // namespace

PyTypeObject* create_book_type() {
    static PyMethodDef* methods = persist<PyMethodDef>({
        method_def<BookObject, add_sheet, kAddSheet>(),
        method_def<BookObject, copy_sheet, kCopySheet>(),
        method_def<BookObject, get_sheet_index, kGetSheetIndex>(),
        method_def<BookObject, get_sheet_name, kGetSheetName>(),
        noargs_def<BookObject, to_json>("to_json"),
        noargs_def<BookObject, to_dict>("to_dict"),
    });
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        {"sheets", getter_entry<BookObject, sheets>, nullptr, nullptr, nullptr},
    });
    return make_type("brindel.Book", sizeof(BookObject), Py_TPFLAGS_IMMUTABLETYPE,
                     docstring_with_text("Book()", ""),
                     {{Py_tp_new, reinterpret_cast<void*>(book_new)},
                      {Py_tp_dealloc, reinterpret_cast<void*>(BookObject::dealloc)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<BookObject, repr>)},
                      {Py_tp_methods, methods},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
