// The ReadableSheet class: a read-only view of one snapshot sheet record,
// with the searches over its cells.
#include "search_ops.hpp"

namespace brindel::py {

namespace {

using Obj = ReadableSheetObject;
using namespace searches;

constexpr const char* kCls = "ReadableSheet";

constexpr Sig kGetValueCell{kCls, "get_value_cell", kRowCol};
constexpr Sig kGetCellsByRange{kCls, "get_cells_by_range", kRange};
constexpr Sig kFindCellByRegex{kCls, "find_cell_by_regex", kRegex};
constexpr Sig kFindCellByStr{kCls, "find_cell_by_str", kValue};
constexpr Sig kFindCellByCoords{kCls, "find_cell_by_coords", kRowCol};
constexpr Sig kFindCellByLetter{kCls, "find_cell_by_letter", kLetter};
constexpr Sig kFindCellsByRegex{kCls, "find_cells_by_regex", kRegex};
constexpr Sig kFindCellsByStr{kCls, "find_cells_by_str", kValue};
constexpr Sig kFindCellsForRowsByRegex{kCls, "find_cells_for_rows_by_regex", kRegexColStop};
constexpr Sig kFindCellsForColsByRegex{kCls, "find_cells_for_cols_by_regex", kRegexRowStop};
constexpr Sig kFindCellsMultiRegex{kCls, "find_cells_multi_regex", kPair};
constexpr Sig kFindCellsBetweenRegex{kCls, "find_cells_between_regex", kPair};
constexpr Sig kFindCellsRangeRows{kCls, "find_cells_range_rows", kRowBand};
constexpr Sig kFindCellsRangeCols{kCls, "find_cells_range_cols", kColBand};
constexpr Sig kFindValuesByColRows{kCls, "find_values_by_col_rows", kColRows};
constexpr Sig kFindValuesByRowCols{kCls, "find_values_by_row_cols", kRowCols};
constexpr Sig kFindValueByCoords{kCls, "find_value_by_coords", kRowCol};

template <class Op, const Sig& S>
PyMethodDef search_def() {
    return method_def<Obj, readable_sheet_method<Op>, S>();
}

PyObject* get_name(Obj& o) { return new_str(o.rec->name()); }
PyObject* get_state(Obj& o) { return new_str(o.rec->state()); }
PyObject* get_max_row(Obj& o) { return new_uint(o.rec->max_row()); }
PyObject* get_max_column(Obj& o) { return new_uint(o.rec->max_column()); }
PyObject* get_cells(Obj& o) {
    return new_list(o.rec->cells(),
                    [](const Ref<CellRecord>& c) { return ReadableCellObject::wrap(c); });
}
PyObject* get_merge_cells(Obj& o) {
    return new_list(o.rec->merged_ranges(), [](const MergedRange& m) {
        return check(Py_BuildValue("(kkII)", static_cast<unsigned long>(m.start_row),
                                   static_cast<unsigned long>(m.end_row),
                                   static_cast<unsigned>(m.start_col),
                                   static_cast<unsigned>(m.end_col)));
    });
}

PyObject* repr(Obj& o) {
    std::string name;
    size_t count;
    {
        SharedLock g(o.rec->lock());
        name = o.rec->name_unlocked();
        count = o.rec->cell_count_unlocked();
    }
    return new_str("ReadableSheet (" + name + ") cells: " + std::to_string(count));
}

PyGetSetDef ro(const char* name, getter g) { return {name, g, nullptr, nullptr, nullptr}; }

}  // namespace

PyTypeObject* create_readable_sheet_type() {
    static PyMethodDef* methods = persist<PyMethodDef>({
        // The one lookup that keeps the interpreter lock.
        method_def<Obj, readable_sheet_method<GetValueCell, false>, kGetValueCell>(),
        search_def<GetCellsByRange, kGetCellsByRange>(),
        search_def<FindCellByRegex, kFindCellByRegex>(),
        search_def<FindCellByStr, kFindCellByStr>(),
        search_def<FindCellByCoords, kFindCellByCoords>(),
        search_def<FindCellByLetter, kFindCellByLetter>(),
        search_def<FindCellsByRegex, kFindCellsByRegex>(),
        search_def<FindCellsByStr, kFindCellsByStr>(),
        search_def<FindCellsForRowsByRegex, kFindCellsForRowsByRegex>(),
        search_def<FindCellsForColsByRegex, kFindCellsForColsByRegex>(),
        search_def<FindCellsMultiRegex, kFindCellsMultiRegex>(),
        search_def<FindCellsBetweenRegex, kFindCellsBetweenRegex>(),
        search_def<FindCellsRangeRows, kFindCellsRangeRows>(),
        search_def<FindCellsRangeCols, kFindCellsRangeCols>(),
        search_def<FindValuesByColRows, kFindValuesByColRows>(),
        search_def<FindValuesByRowCols, kFindValuesByRowCols>(),
        search_def<FindValueByCoords, kFindValueByCoords>(),
    });
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        ro("name", getter_entry<Obj, get_name>),
        ro("sheet_state", getter_entry<Obj, get_state>),
        ro("max_row", getter_entry<Obj, get_max_row>),
        ro("max_column", getter_entry<Obj, get_max_column>),
        ro("cells", getter_entry<Obj, get_cells>),
        ro("merge_cells", getter_entry<Obj, get_merge_cells>),
    });
    return make_type("brindel.readable.ReadableSheet", sizeof(Obj),
                     Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, nullptr,
                     {{Py_tp_dealloc, reinterpret_cast<void*>(Obj::dealloc)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<Obj, repr>)},
                      {Py_tp_methods, methods},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
