// The ReadableCell class: a read-only view of one snapshot cell record.
#include "readable.hpp"

namespace brindel::py {

namespace {

using Obj = ReadableCellObject;

PyObject* get_row(Obj& o) { return new_uint(o.rec->coordinate().row); }
PyObject* get_column(Obj& o) { return new_uint(o.rec->coordinate().column); }
PyObject* get_letter(Obj& o) {
    Coordinate c = o.rec->coordinate();
    return new_str(letter_coordinate(c.row, c.column));
}
PyObject* get_value(Obj& o) { return new_str(o.rec->value_text()); }
PyObject* get_formula(Obj& o) { return new_optional_str(o.rec->formula()); }
PyObject* get_style(Obj& o) { return new_optional_str(o.rec->style()); }
PyObject* get_data_type(Obj& o) { return new_str(o.rec->data_type()); }
PyObject* get_is_formula(Obj& o) { return new_bool(o.rec->is_formula()); }
template <ValueKind K>
PyObject* get_is_kind(Obj& o) {
    return new_bool(o.rec->kind() == K);
}

PyObject* repr(Obj& o) {
    return new_str("ReadableCell, Coords: " + debug_form(o.rec->coordinate()));
}

PyGetSetDef ro(const char* name, getter g) { return {name, g, nullptr, nullptr, nullptr}; }

}  // namespace

PyTypeObject* create_readable_cell_type() {
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        ro("row", getter_entry<Obj, get_row>),
        ro("column", getter_entry<Obj, get_column>),
        ro("letter", getter_entry<Obj, get_letter>),
        ro("value", getter_entry<Obj, get_value>),
        ro("formula", getter_entry<Obj, get_formula>),
        ro("style", getter_entry<Obj, get_style>),
        ro("data_type", getter_entry<Obj, get_data_type>),
        ro("is_formula", getter_entry<Obj, get_is_formula>),
        ro("is_value_bool", getter_entry<Obj, get_is_kind<ValueKind::Bool>>),
        ro("is_value_numeric", getter_entry<Obj, get_is_kind<ValueKind::Number>>),
        ro("is_value_integer", getter_entry<Obj, get_is_kind<ValueKind::Integer>>),
        ro("is_value_datetime", getter_entry<Obj, get_is_kind<ValueKind::DateTime>>),
        ro("is_value_empty", getter_entry<Obj, get_is_kind<ValueKind::Empty>>),
    });
    return make_type("brindel.readable.ReadableCell", sizeof(Obj),
                     Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, nullptr,
                     {{Py_tp_dealloc, reinterpret_cast<void*>(Obj::dealloc)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<Obj, repr>)},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
