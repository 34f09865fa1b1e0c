#include "readable_module.hpp"

#include <deque>

#include "search_ops.hpp"

namespace brindel::py {

namespace {

using namespace searches;

constexpr Param kSheetsParams[] = {{"sheets"}};

constexpr Sig kCreateFinder{nullptr, "create_finder", kSheetsParams};
constexpr Sig kFindCellByCoords{nullptr, "find_cell_by_coords", kRowColCells};
constexpr Sig kFindValueByCoords{nullptr, "find_value_by_coords", kRowColCells};
constexpr Sig kFindCellByRegex{nullptr, "find_cell_by_regex", kRegexCells};
constexpr Sig kFindCellByStr{nullptr, "find_cell_by_str", kValueCells};
constexpr Sig kFindCellByLetter{nullptr, "find_cell_by_letter", kLetterCells};
constexpr Sig kFindCellsByRegex{nullptr, "find_cells_by_regex", kRegexCells};
constexpr Sig kFindCellsByStr{nullptr, "find_cells_by_str", kValueCells};
constexpr Sig kFindCellsForRowsByRegex{nullptr, "find_cells_for_rows_by_regex", kRegexColStopCells};
constexpr Sig kFindCellsForColsByRegex{nullptr, "find_cells_for_cols_by_regex", kRegexRowStopCells};
constexpr Sig kFindCellsMultiRegex{nullptr, "find_cells_multi_regex", kPairCells};
constexpr Sig kFindCellsBetweenRegex{nullptr, "find_cells_between_regex", kPairCells};
constexpr Sig kFindCellsRangeRows{nullptr, "find_cells_range_rows", kRowBandCells};
constexpr Sig kFindCellsRangeCols{nullptr, "find_cells_range_cols", kColBandCells};
constexpr Sig kFindValuesByColRows{nullptr, "find_values_by_col_rows", kColRowsCells};
constexpr Sig kFindValuesByRowCols{nullptr, "find_values_by_row_cols", kRowColsCells};

PyObject* create_finder(Args a) {
    return FinderObject::wrap(finder_from_py(a.object(0), true));
}

// The search functions take their cells as the last parameter.
template <class Op, const Sig& S>
PyMethodDef search_def() {
    return function_def<readable_function<Op, S.count - 1>, S>();
}

void add_function(PyObject* m, PyMethodDef def) {
    // The function objects point at their definitions, which are kept for
    // the life of the process in one table that stays reachable (a deque
    // does not move its elements); the module may be torn down before exit.
    static auto* stored = new std::deque<PyMethodDef>();
    stored->push_back(def);
    add_to_module(m, def.ml_name, new_function(&stored->back(), m));
}

}  // namespace

PyObject* build_readable_module() {
    Object m = Object::checked(PyModule_New("readable"));
    PyObject* r = m.get();
    add_to_module(r, "Finder", Py_NewRef(type_object(TypeId::Finder)));
    add_to_module(r, "ReadableSheet", Py_NewRef(type_object(TypeId::ReadableSheet)));
    add_to_module(r, "ReadableCell", Py_NewRef(type_object(TypeId::ReadableCell)));
    add_function(r, function_def<create_finder, kCreateFinder>());
    add_function(r, search_def<FindCellByCoords, kFindCellByCoords>());
    add_function(r, search_def<FindValueByCoords, kFindValueByCoords>());
    add_function(r, search_def<FindCellByRegex, kFindCellByRegex>());
    // The function compares whole trimmed texts; the sheet methods of the
    // same name look for the text anywhere in a cell.
    add_function(r, search_def<FindCellByStrTrimmed, kFindCellByStr>());
    add_function(r, search_def<FindCellByLetter, kFindCellByLetter>());
    add_function(r, search_def<FindCellsByRegex, kFindCellsByRegex>());
    add_function(r, search_def<FindCellsByStr, kFindCellsByStr>());
    add_function(r, search_def<FindCellsForRowsByRegex, kFindCellsForRowsByRegex>());
    add_function(r, search_def<FindCellsForColsByRegex, kFindCellsForColsByRegex>());
    add_function(r, search_def<FindCellsMultiRegex, kFindCellsMultiRegex>());
    add_function(r, search_def<FindCellsBetweenRegex, kFindCellsBetweenRegex>());
    add_function(r, search_def<FindCellsRangeRows, kFindCellsRangeRows>());
    add_function(r, search_def<FindCellsRangeCols, kFindCellsRangeCols>());
    add_function(r, search_def<FindValuesByColRows, kFindValuesByColRows>());
    add_function(r, search_def<FindValuesByRowCols, kFindValuesByRowCols>());
    return m.release();
}

}  // namespace brindel::py
