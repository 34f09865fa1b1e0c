// The search methods of Sheet. They keep the interpreter lock for the whole
// search and return Cell objects sharing the sheet's records.
#include "sheet_search.hpp"

#include "search_ops.hpp"

namespace brindel::py {

namespace {

using namespace searches;

constexpr const char* kCls = "Sheet";

constexpr Sig kGetCellsByRange{kCls, "get_cells_by_range", kRange};
constexpr Sig kFindCellByRegex{kCls, "find_cell_by_regex", kRegex};
constexpr Sig kFindCellByStr{kCls, "find_cell_by_str", kValue};
constexpr Sig kFindCellByLetter{kCls, "find_cell_by_letter", kLetter};
constexpr Sig kFindCellsByRegex{kCls, "find_cells_by_regex", kRegex};
constexpr Sig kFindCellsByStr{kCls, "find_cells_by_str", kValue};
constexpr Sig kFindCellsForRowsByRegex{kCls, "find_cells_for_rows_by_regex", kRegexColStop};
constexpr Sig kFindCellsForColsByRegex{kCls, "find_cells_for_cols_by_regex", kRegexRowStop};
constexpr Sig kFindCellsMultiRegex{kCls, "find_cells_multi_regex", kPair};
constexpr Sig kFindCellsBetweenRegex{kCls, "find_cells_between_regex", kPair};
constexpr Sig kFindCellsRangeRows{kCls, "find_cells_range_rows", kRowBand};
constexpr Sig kFindCellsRangeCols{kCls, "find_cells_range_cols", kColBand};
constexpr Sig kFindValueByCoords{kCls, "find_value_by_coords", kRowCol};

template <class Op, const Sig& S>
PyMethodDef search_def() {
    return method_def<SheetObject, sheet_method<Op>, S>();
}

}  // namespace

void add_sheet_search_methods(std::vector<PyMethodDef>& defs) {
    defs.push_back(search_def<GetCellsByRange, kGetCellsByRange>());
    defs.push_back(search_def<FindCellByRegex, kFindCellByRegex>());
    defs.push_back(search_def<FindCellByStr, kFindCellByStr>());
    defs.push_back(search_def<FindCellByLetter, kFindCellByLetter>());
    defs.push_back(search_def<FindCellsByRegex, kFindCellsByRegex>());
    defs.push_back(search_def<FindCellsByStr, kFindCellsByStr>());
    defs.push_back(search_def<FindCellsForRowsByRegex, kFindCellsForRowsByRegex>());
    defs.push_back(search_def<FindCellsForColsByRegex, kFindCellsForColsByRegex>());
    defs.push_back(search_def<FindCellsMultiRegex, kFindCellsMultiRegex>());
    defs.push_back(search_def<FindCellsBetweenRegex, kFindCellsBetweenRegex>());
    defs.push_back(search_def<FindCellsRangeRows, kFindCellsRangeRows>());
    defs.push_back(search_def<FindCellsRangeCols, kFindCellsRangeCols>());
    defs.push_back(search_def<FindValueByCoords, kFindValueByCoords>());
}

}  // namespace brindel::py
