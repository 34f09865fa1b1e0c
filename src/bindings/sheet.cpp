// The Sheet class: a view of one writable sheet record.
#include "objects.hpp"
#include "sheet_search.hpp"

namespace brindel::py {

namespace {

constexpr Param kCellParams[] = {{"row"}, {"col"}, {"value", "None"}};
constexpr Param kRowColParams[] = {{"row"}, {"col"}};
constexpr Param kStateParams[] = {{"state"}};
constexpr Param kMergeParams[] = {{"start_row"}, {"end_row"}, {"start_col"}, {"end_col"}};
constexpr Param kCommentParams[] = {{"row"}, {"col"}, {"text"}, {"author"}};
constexpr Param kSpanParams[] = {{"idx"}, {"amount"}};
constexpr Param kRowValParams[] = {{"row_num"}, {"val"}};
constexpr Param kColValParams[] = {{"col_num"}, {"val"}};
constexpr Param kRowNumParams[] = {{"row_num"}};
constexpr Param kColNumParams[] = {{"col_num"}};

constexpr Sig kCell{"Sheet", "cell", kCellParams};
constexpr Sig kGetValueCell{"Sheet", "get_value_cell", kRowColParams};
constexpr Sig kSetSheetState{"Sheet", "set_sheet_state", kStateParams};
constexpr Sig kAddMergeCells{"Sheet", "add_merge_cells", kMergeParams};
constexpr Sig kAddComment{"Sheet", "add_comment", kCommentParams};
constexpr Sig kDeleteRows{"Sheet", "delete_rows", kSpanParams};
constexpr Sig kDeleteCols{"Sheet", "delete_cols", kSpanParams};
constexpr Sig kSetHeightRow{"Sheet", "set_height_row", kRowValParams};
constexpr Sig kSetHiddenRow{"Sheet", "set_hidden_row", kRowValParams};
constexpr Sig kSetWidthColumn{"Sheet", "set_width_column", kColValParams};
constexpr Sig kSetHiddenColumn{"Sheet", "set_hidden_column", kColValParams};
constexpr Sig kGetHeightByRow{"Sheet", "get_height_by_row", kRowNumParams};
constexpr Sig kGetHiddenByRow{"Sheet", "get_hidden_by_row", kRowNumParams};
constexpr Sig kGetWidthByColumn{"Sheet", "get_width_by_column", kColNumParams};
constexpr Sig kGetHiddenByColumn{"Sheet", "get_hidden_by_column", kColNumParams};

PyObject* cell(SheetObject& o, Args a) {
    uint32_t row = a.row(0);
    uint16_t col = a.column(1);
    std::optional<std::string_view> value = a.optional_text(2);
    std::string_view v = value ? *value : std::string_view();
    return wrap_cell(o.rec->cell(row, col, value ? &v : nullptr));
}

PyObject* get_value_cell(SheetObject& o, Args a) {
    uint32_t row = a.row(0);
    uint16_t col = a.column(1);
    return new_str(o.rec->value_text_at(row, col));
}

PyObject* set_sheet_state(SheetObject& o, Args a) {
    o.rec->set_state(std::string(a.text(0)));
    return none();
}

PyObject* add_merge_cells(SheetObject& o, Args a) {
    MergedRange m;
    m.start_row = a.row(0);
    m.end_row = a.row(1);
    m.start_col = a.column(2);
    m.end_col = a.column(3);
    o.rec->add_merged_range(m);
    return none();
}

PyObject* add_comment(SheetObject& o, Args a) {
    uint32_t row = a.row(0);
    uint16_t col = a.column(1);
    std::string text(a.text(2));
    std::string author(a.text(3));
    o.rec->add_comment(row, col, std::move(text), std::move(author));
    return none();
}

PyObject* delete_rows(SheetObject& o, Args a) {
    uint32_t idx = a.row(0);
    uint32_t amount = a.row(1);
    o.rec->delete_rows(idx, amount);
    return none();
}

PyObject* delete_cols(SheetObject& o, Args a) {
    uint16_t idx = a.column(0);
    uint16_t amount = a.column(1);
    o.rec->delete_columns(idx, amount);
    return none();
}

PyObject* set_height_row(SheetObject& o, Args a) {
    uint32_t row = a.row(0);
    double v = a.real(1);
    o.rec->set_row_height(row, v);
    return none();
}

PyObject* set_hidden_row(SheetObject& o, Args a) {
    uint32_t row = a.row(0);
    bool v = a.flag(1);
    o.rec->set_row_hidden(row, v);
    return none();
}

PyObject* set_width_column(SheetObject& o, Args a) {
    uint16_t col = a.column(0);
    double v = a.real(1);
    o.rec->set_column_width(col, v);
    return none();
}

PyObject* set_hidden_column(SheetObject& o, Args a) {
    uint16_t col = a.column(0);
    bool v = a.flag(1);
    o.rec->set_column_hidden(col, v);
    return none();
}

PyObject* get_height_by_row(SheetObject& o, Args a) { return new_float(o.rec->row_height(a.row(0))); }
PyObject* get_hidden_by_row(SheetObject& o, Args a) { return new_bool(o.rec->row_hidden(a.row(0))); }
PyObject* get_width_by_column(SheetObject& o, Args a) {
    return new_float(o.rec->column_width(a.column(0)));
}
PyObject* get_hidden_by_column(SheetObject& o, Args a) {
    return new_bool(o.rec->column_hidden(a.column(0)));
}

PyObject* get_name(SheetObject& o) { return new_str(o.rec->name()); }
void set_name(SheetObject& o, PyObject* v, const char* param) {
    std::string name(convert_named(param, [&] { return to_text(v); }));
    o.rec->set_name(std::move(name));
}
PyObject* get_state(SheetObject& o) { return new_str(o.rec->state()); }
PyObject* get_max_row(SheetObject& o) { return new_uint(o.rec->max_row()); }
PyObject* get_max_column(SheetObject& o) { return new_uint(o.rec->max_column()); }
PyObject* get_cells(SheetObject& o) {
    return new_list(o.rec->cells(), [](const Ref<CellRecord>& c) { return CellObject::wrap(c); });
}
PyObject* get_merge_cells(SheetObject& o) {
    return new_list(o.rec->merged_ranges(), [](const MergedRange& m) {
        return check(Py_BuildValue("(kkII)", static_cast<unsigned long>(m.start_row),
                                   static_cast<unsigned long>(m.end_row),
                                   static_cast<unsigned>(m.start_col),
                                   static_cast<unsigned>(m.end_col)));
    });
}
PyObject* get_comments(SheetObject& o) {
    return new_list(o.rec->comments(),
                    [](const Ref<CommentRecord>& c) { return CommentObject::wrap(c); });
}

PyObject* repr(SheetObject& o) {
    std::string name;
    size_t count;
    {
        SharedLock g(o.rec->lock());
        name = o.rec->name_unlocked();
        count = o.rec->cell_count_unlocked();
    }
    return new_str("Sheet (" + name + ") cells: " + std::to_string(count));
}

constexpr char kNameParam[] = "name";

}  // namespace

PyTypeObject* create_sheet_type() {
    std::vector<PyMethodDef> defs = {
        method_def<SheetObject, cell, kCell>(),
        method_def<SheetObject, get_value_cell, kGetValueCell>(),
        method_def<SheetObject, set_sheet_state, kSetSheetState>(),
        method_def<SheetObject, add_merge_cells, kAddMergeCells, Borrow::Exclusive>(),
        method_def<SheetObject, add_comment, kAddComment, Borrow::Exclusive>(),
        method_def<SheetObject, delete_rows, kDeleteRows>(),
        method_def<SheetObject, delete_cols, kDeleteCols>(),
        method_def<SheetObject, set_height_row, kSetHeightRow>(),
        method_def<SheetObject, set_hidden_row, kSetHiddenRow>(),
        method_def<SheetObject, set_width_column, kSetWidthColumn>(),
        method_def<SheetObject, set_hidden_column, kSetHiddenColumn>(),
        method_def<SheetObject, get_height_by_row, kGetHeightByRow>(),
        method_def<SheetObject, get_hidden_by_row, kGetHiddenByRow>(),
        method_def<SheetObject, get_width_by_column, kGetWidthByColumn>(),
        method_def<SheetObject, get_hidden_by_column, kGetHiddenByColumn>(),
    };
    add_sheet_search_methods(defs);
    defs.push_back(PyMethodDef{});
    static PyMethodDef* methods = new PyMethodDef[defs.size()];
    std::copy(defs.begin(), defs.end(), methods);
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        {"name", getter_entry<SheetObject, get_name>, setter_entry<SheetObject, set_name, kNameParam>,
         nullptr, nullptr},
        {"sheet_state", getter_entry<SheetObject, get_state>, nullptr, nullptr, nullptr},
        {"max_row", getter_entry<SheetObject, get_max_row>, nullptr, nullptr, nullptr},
        {"max_column", getter_entry<SheetObject, get_max_column>, nullptr, nullptr, nullptr},
        {"cells", getter_entry<SheetObject, get_cells>, nullptr, nullptr, nullptr},
        {"merge_cells", getter_entry<SheetObject, get_merge_cells>, nullptr, nullptr, nullptr},
        {"comments", getter_entry<SheetObject, get_comments>, nullptr, nullptr, nullptr},
    });
    return make_type("brindel.Sheet", sizeof(SheetObject),
                     Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, nullptr,
                     {{Py_tp_dealloc, reinterpret_cast<void*>(SheetObject::dealloc)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<SheetObject, repr>)},
                      {Py_tp_methods, methods},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
