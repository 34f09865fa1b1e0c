// The Cell and Comment classes: views of one cell record and one comment
// record of a writable sheet.
#include "objects.hpp"

namespace brindel::py {

namespace {

constexpr Param kValueParams[] = {{"value"}};
constexpr Sig kSetNumber{"Cell", "set_value_number", kValueParams};
constexpr Sig kSetInteger{"Cell", "set_value_integer", kValueParams};
constexpr Sig kSetBool{"Cell", "set_value_bool", kValueParams};
constexpr Sig kSetDatetime{"Cell", "set_value_datetime", kValueParams};

PyObject* set_value_number(CellObject& o, Args a) {
    o.rec->set_number(a.real(0));
    return none();
}
PyObject* set_value_integer(CellObject& o, Args a) {
    o.rec->set_integer(a.int32(0));
    return none();
}
PyObject* set_value_bool(CellObject& o, Args a) {
    o.rec->set_bool(a.flag(0));
    return none();
}
PyObject* set_value_datetime(CellObject& o, Args a) {
    DateTime dt = convert_named("value", [&] { return to_datetime(a.object(0)); });
    o.rec->set_datetime(dt);
    return none();
}

PyObject* get_row(CellObject& o) { return new_uint(o.rec->coordinate().row); }
PyObject* get_column(CellObject& o) { return new_uint(o.rec->coordinate().column); }
PyObject* get_letter(CellObject& o) {
    Coordinate c = o.rec->coordinate();
    return new_str(letter_coordinate(c.row, c.column));
}
PyObject* get_data_type(CellObject& o) { return new_str(o.rec->data_type()); }
PyObject* get_is_formula(CellObject& o) { return new_bool(o.rec->is_formula()); }
template <ValueKind K>
PyObject* get_is_kind(CellObject& o) {
    return new_bool(o.rec->kind() == K);
}
PyObject* get_value(CellObject& o) { return new_str(o.rec->value_text()); }
PyObject* get_formula(CellObject& o) { return new_optional_str(o.rec->formula()); }
PyObject* get_style(CellObject& o) { return new_optional_str(o.rec->style()); }
PyObject* get_hidden_value(CellObject& o) { return new_optional_str(o.rec->hidden_value()); }

std::string_view text_arg(PyObject* v, const char* param) {
    return convert_named(param, [&] { return to_text(v); });
}
void set_value(CellObject& o, PyObject* v, const char* p) { o.rec->write_text(text_arg(v, p)); }
void set_formula(CellObject& o, PyObject* v, const char* p) { o.rec->set_formula(text_arg(v, p)); }
void set_style(CellObject& o, PyObject* v, const char* p) { o.rec->set_style(text_arg(v, p)); }
void set_hidden_value(CellObject& o, PyObject* v, const char* p) {
    o.rec->set_hidden_value(text_arg(v, p));
}

PyObject* cell_repr(CellObject& o) {
    return new_str("Cell, Coords: " + debug_form(o.rec->coordinate()));
}

constexpr char kValue[] = "value";
constexpr char kVal[] = "val";

// ---- Comment ----

PyObject* get_author(CommentObject& o) { return new_str(o.rec->author()); }
PyObject* get_text(CommentObject& o) { return new_str(o.rec->text()); }
PyObject* get_coordinate(CommentObject& o) {
    Coordinate c = o.rec->coordinate();
    return check(Py_BuildValue("(kI)", static_cast<unsigned long>(c.row),
                               static_cast<unsigned>(c.column)));
}
PyObject* get_comment_row(CommentObject& o) { return new_uint(o.rec->coordinate().row); }
PyObject* get_comment_column(CommentObject& o) { return new_uint(o.rec->coordinate().column); }
void set_author(CommentObject& o, PyObject* v, const char* p) {
    o.rec->set_author(std::string(text_arg(v, p)));
}
void set_text(CommentObject& o, PyObject* v, const char* p) {
    o.rec->set_text(std::string(text_arg(v, p)));
}

PyGetSetDef ro(const char* name, getter g) { return {name, g, nullptr, nullptr, nullptr}; }
PyGetSetDef rw(const char* name, getter g, setter s) { return {name, g, s, nullptr, nullptr}; }

}  // namespace

PyTypeObject* create_cell_type() {
    static PyMethodDef* methods = persist<PyMethodDef>({
        method_def<CellObject, set_value_number, kSetNumber>(),
        method_def<CellObject, set_value_integer, kSetInteger>(),
        method_def<CellObject, set_value_bool, kSetBool>(),
        method_def<CellObject, set_value_datetime, kSetDatetime>(),
    });
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        ro("row", getter_entry<CellObject, get_row>),
        ro("column", getter_entry<CellObject, get_column>),
        ro("letter", getter_entry<CellObject, get_letter>),
        ro("data_type", getter_entry<CellObject, get_data_type>),
        ro("is_formula", getter_entry<CellObject, get_is_formula>),
        ro("is_value_bool", getter_entry<CellObject, get_is_kind<ValueKind::Bool>>),
        ro("is_value_numeric", getter_entry<CellObject, get_is_kind<ValueKind::Number>>),
        ro("is_value_integer", getter_entry<CellObject, get_is_kind<ValueKind::Integer>>),
        ro("is_value_datetime", getter_entry<CellObject, get_is_kind<ValueKind::DateTime>>),
        ro("is_value_empty", getter_entry<CellObject, get_is_kind<ValueKind::Empty>>),
        rw("value", getter_entry<CellObject, get_value>, setter_entry<CellObject, set_value, kValue>),
        rw("formula", getter_entry<CellObject, get_formula>,
           setter_entry<CellObject, set_formula, kValue>),
        rw("style", getter_entry<CellObject, get_style>, setter_entry<CellObject, set_style, kValue>),
        rw("hidden_value", getter_entry<CellObject, get_hidden_value>,
           setter_entry<CellObject, set_hidden_value, kValue>),
    });
    return make_type("brindel.Cell", sizeof(CellObject),
                     Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, nullptr,
                     {{Py_tp_dealloc, reinterpret_cast<void*>(CellObject::dealloc)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<CellObject, cell_repr>)},
                      {Py_tp_methods, methods},
                      {Py_tp_getset, getset}});
}

PyTypeObject* create_comment_type() {
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        rw("author", getter_entry<CommentObject, get_author>,
           setter_entry<CommentObject, set_author, kVal, Borrow::Exclusive>),
        rw("text", getter_entry<CommentObject, get_text>,
           setter_entry<CommentObject, set_text, kVal, Borrow::Exclusive>),
        ro("coordinate", getter_entry<CommentObject, get_coordinate>),
        ro("row", getter_entry<CommentObject, get_comment_row>),
        ro("column", getter_entry<CommentObject, get_comment_column>),
    });
    return make_type("brindel.Comment", sizeof(CommentObject),
                     Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, nullptr,
                     {{Py_tp_dealloc, reinterpret_cast<void*>(CommentObject::dealloc)},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
