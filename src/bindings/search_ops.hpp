// The cell searches, written once for their three surfaces: the functions
// of readable (over a converted list of cells), the methods of ReadableSheet
// and the methods of Sheet (over the sheet's row-major sequence).
//
// An operation converts its own parameters from the bound arguments when it
// is constructed (all Python work happens there), then runs on the engine
// alone. Its result holds handles and texts only; the surface turns it into
// Python objects afterwards, with the interpreter lock held.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "readable.hpp"
#include "search/search.hpp"
#include "snapshot.hpp"

namespace brindel::py::searches {

using search::Sequence;

// ---- parameter lists (the readable functions add "cells" at the end) ----

inline constexpr Param kRegex[] = {{"regex"}};
inline constexpr Param kRegexCells[] = {{"regex"}, {"cells"}};
inline constexpr Param kValue[] = {{"value"}};
inline constexpr Param kValueCells[] = {{"value"}, {"cells"}};
inline constexpr Param kLetter[] = {{"letter"}};
inline constexpr Param kLetterCells[] = {{"letter"}, {"cells"}};
inline constexpr Param kRowCol[] = {{"row"}, {"col"}};
inline constexpr Param kRowColCells[] = {{"row"}, {"col"}, {"cells"}};
inline constexpr Param kRegexColStop[] = {{"regex"}, {"col_stop"}};
inline constexpr Param kRegexColStopCells[] = {{"regex"}, {"col_stop"}, {"cells"}};
inline constexpr Param kRegexRowStop[] = {{"regex"}, {"row_stop"}};
inline constexpr Param kRegexRowStopCells[] = {{"regex"}, {"row_stop"}, {"cells"}};
inline constexpr Param kPair[] = {{"before_regex"}, {"after_regex"}};
inline constexpr Param kPairCells[] = {{"before_regex"}, {"after_regex"}, {"cells"}};
inline constexpr Param kRowBand[] = {{"start_row"}, {"end_row"}};
inline constexpr Param kRowBandCells[] = {{"start_row"}, {"end_row"}, {"cells"}};
inline constexpr Param kColBand[] = {{"start_col"}, {"end_col"}};
inline constexpr Param kColBandCells[] = {{"start_col"}, {"end_col"}, {"cells"}};
inline constexpr Param kColRows[] = {{"col"}, {"rows"}};
inline constexpr Param kColRowsCells[] = {{"col"}, {"rows"}, {"cells"}};
inline constexpr Param kRowCols[] = {{"row"}, {"cols"}};
inline constexpr Param kRowColsCells[] = {{"row"}, {"cols"}, {"cells"}};
inline constexpr Param kRange[] = {
    {"start_row", "None"}, {"end_row", "None"}, {"start_col", "None"}, {"end_col", "None"}};

// ---- engine-side results ----

using Cell = Ref<CellRecord>;          // none: nothing found
using Cells = std::vector<Ref<CellRecord>>;
using OptText = std::optional<std::string>;
using Texts = std::vector<std::string>;

inline Cell at(Sequence s, std::optional<size_t> p) { return p ? Cell(s[*p]) : Cell(); }

// Taking a handle writes to the record; the records found lie anywhere in
// memory, and the scan that found them has long moved on: fetch a few ahead.
constexpr size_t kFetchAhead = 48;

inline Cells at(Sequence s, const search::Positions& ps) {
    Cells out;
    out.reserve(ps.size());
    for (size_t i = 0; i < ps.size(); ++i) {
        if (i + kFetchAhead < ps.size()) __builtin_prefetch(s[ps[i + kFetchAhead]], 1);
        out.emplace_back(s[ps[i]]);
    }
    return out;
}

inline Cells handles(const std::vector<CellRecord*>& recs) {
    Cells out;
    out.reserve(recs.size());
    for (size_t i = 0; i < recs.size(); ++i) {
        if (i + kFetchAhead < recs.size()) __builtin_prefetch(recs[i + kFetchAhead], 1);
        out.emplace_back(recs[i]);
    }
    return out;
}

// The cell of a sheet at (row, col) by key lookup; the caller holds the
// sheet's read lock.
inline CellRecord* cell_at(const SheetRecord& sh, uint32_t row, uint16_t col) {
    return sh.find_unlocked(pack_key(row, col));
}

// ---- the operations ----

struct FindCellByRegex {
    std::string regex;
    explicit FindCellByRegex(const Args& a) : regex(a.text(0)) {}
    Cell run(Sequence s) const { return at(s, search::first_containing(s, regex)); }
};

// The readable function: the first cell whose trimmed text equals value.
struct FindCellByStrTrimmed {
    std::string value;
    explicit FindCellByStrTrimmed(const Args& a) : value(a.text(0)) {}
    Cell run(Sequence s) const { return at(s, search::first_trimmed_equal(s, value)); }
};

// The sheet methods: the first cell whose text contains value.
struct FindCellByStr {
    std::string value;
    explicit FindCellByStr(const Args& a) : value(a.text(0)) {}
    Cell run(Sequence s) const { return at(s, search::first_containing(s, value)); }
};

struct FindCellByCoords {
    uint32_t row;
    uint16_t col;
    explicit FindCellByCoords(const Args& a) : row(a.row(0)), col(a.column(1)) {}
    Cell run(Sequence s) const { return at(s, search::first_at(s, row, col)); }
    Cell run_sheet(const SheetRecord& sh) const { return Cell(cell_at(sh, row, col)); }
};

// An invalid letter fails the call with ValueError once every argument has
// been converted, before anything is searched.
struct FindCellByLetter {
    std::optional<Coordinate> c;
    PyObject* letter;  // borrowed from the call, for the message
    explicit FindCellByLetter(const Args& a)
        : c(parse_coordinate_text(a.text(0))), letter(a.object(0)) {}
    void validate() const {
        if (c) return;
        PyErr_Format(PyExc_ValueError,
                     "invalid letter coordinate %R: expected column letters followed by a row "
                     "number, such as 'B7'",
                     letter);
        throw_error_set();
    }
    Cell run(Sequence s) const { return at(s, search::first_at(s, c->row, c->column)); }
    Cell run_sheet(const SheetRecord& sh) const { return Cell(cell_at(sh, c->row, c->column)); }
};

struct FindValueByCoords {
    uint32_t row;
    uint16_t col;
    explicit FindValueByCoords(const Args& a) : row(a.row(0)), col(a.column(1)) {}
    OptText run(Sequence s) const {
        std::optional<size_t> p = search::first_at(s, row, col);
        if (!p) return std::nullopt;
        return s[*p]->value_text();
    }
    OptText run_sheet(const SheetRecord& sh) const {
        CellRecord* r = cell_at(sh, row, col);
        if (!r) return std::nullopt;
        return r->value_text();
    }
};

// Sheets only: the value text at (row, col), "" when there is no cell.
struct GetValueCell {
    uint32_t row;
    uint16_t col;
    explicit GetValueCell(const Args& a) : row(a.row(0)), col(a.column(1)) {}
    std::string run_sheet(const SheetRecord& sh) const {
        CellRecord* r = cell_at(sh, row, col);
        return r ? r->value_text() : std::string();
    }
};

struct FindCellsByRegex {
    std::string regex;
    explicit FindCellsByRegex(const Args& a) : regex(a.text(0)) {}
    Cells run(Sequence s) const { return at(s, search::all_containing(s, regex)); }
};

struct FindCellsByStr {
    std::string value;
    explicit FindCellsByStr(const Args& a) : value(a.text(0)) {}
    Cells run(Sequence s) const { return at(s, search::all_trimmed_equal(s, value)); }
};

struct FindCellsForRowsByRegex {
    std::string regex;
    uint16_t col_stop;
    explicit FindCellsForRowsByRegex(const Args& a) : regex(a.text(0)), col_stop(a.column(1)) {}
    Cells run(Sequence s) const {
        return at(s, search::containing_up_to_column(s, regex, col_stop));
    }
};

struct FindCellsForColsByRegex {
    std::string regex;
    uint32_t row_stop;
    explicit FindCellsForColsByRegex(const Args& a) : regex(a.text(0)), row_stop(a.row(1)) {}
    Cells run(Sequence s) const { return at(s, search::containing_up_to_row(s, regex, row_stop)); }
};

struct FindCellsMultiRegex {
    std::string before, after;
    explicit FindCellsMultiRegex(const Args& a) : before(a.text(0)), after(a.text(1)) {}
    Cells run(Sequence s) const { return at(s, search::markers(s, before, after)); }
};

struct FindCellsBetweenRegex {
    std::string before, after;
    explicit FindCellsBetweenRegex(const Args& a) : before(a.text(0)), after(a.text(1)) {}
    Cells run(Sequence s) const { return at(s, search::between(s, before, after)); }
};

struct FindCellsRangeRows {
    uint32_t start, end;
    explicit FindCellsRangeRows(const Args& a) : start(a.row(0)), end(a.row(1)) {}
    Cells run(Sequence s) const { return at(s, search::rows_band(s, start, end)); }
};

struct FindCellsRangeCols {
    uint16_t start, end;
    explicit FindCellsRangeCols(const Args& a) : start(a.column(0)), end(a.column(1)) {}
    Cells run(Sequence s) const { return at(s, search::columns_band(s, start, end)); }
};

struct FindValuesByColRows {
    uint16_t col;
    std::vector<uint32_t> rows;
    explicit FindValuesByColRows(const Args& a) : col(a.column(0)), rows(a.row_list(1)) {}
    Texts run(Sequence s) const { return search::values_by_col_rows(s, col, rows); }
};

struct FindValuesByRowCols {
    uint32_t row;
    std::vector<uint16_t> cols;
    explicit FindValuesByRowCols(const Args& a) : row(a.row(0)), cols(a.column_list(1)) {}
    Texts run(Sequence s) const { return search::values_by_row_cols(s, row, cols); }
};

// Sheets only: the cells inside a rectangle, row-major; an omitted or None
// bound takes its default.
struct GetCellsByRange {
    search::Rectangle r;
    explicit GetCellsByRange(const Args& a) {
        if (auto v = a.optional_row(0)) r.start_row = *v;
        if (auto v = a.optional_row(1)) r.end_row = *v;
        if (auto v = a.optional_column(2)) r.start_col = *v;
        if (auto v = a.optional_column(3)) r.end_col = *v;
    }
    Cells run_sheet(const SheetRecord& sh) const {
        return handles(search::cells_in_rectangle(sh, r));
    }
};

// ---- running an operation ----

// The checks an operation makes once all its arguments are converted.
template <class Op>
void validate(const Op& op) {
    if constexpr (requires { op.validate(); }) op.validate();
}

// On a sheet, under its read lock: the key lookups and the rectangle use the
// cell table, every other search the row-major sequence. With stable, no
// writer can reach the sheet's records while the search runs.
template <class Op>
auto run_on_sheet(const Op& op, const SheetRecord& sh, bool stable = false) {
    SharedLock g(sh.lock());
    if constexpr (requires { op.run_sheet(sh); }) {
        return op.run_sheet(sh);
    } else {
        return op.run(search::row_major(sh, stable));
    }
}

// ---- results to Python ----

template <class CellObj>
PyObject* to_python(const Cell& c) {
    return c ? CellObj::wrap(c) : none();
}
template <class CellObj>
PyObject* to_python(Cells&& cs) {
    // The handles move into the new objects.
    Object list = Object::checked(PyList_New(static_cast<Py_ssize_t>(cs.size())));
    for (size_t i = 0; i < cs.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), CellObj::wrap(std::move(cs[i])));
    return list.release();
}
template <class CellObj>
PyObject* to_python(const OptText& t) {
    return new_optional_str(t);
}
template <class CellObj>
PyObject* to_python(const std::string& t) {
    return new_str(t);
}
template <class CellObj>
PyObject* to_python(const Texts& ts) {
    return new_list(ts, [](const std::string& t) { return new_str(t); });
}

// ---- the three surfaces ----

// A function of readable: the operation's parameters, then `cells` (a list),
// converted with the lock held; the search runs without it.
template <class Op, size_t CellsIndex>
PyObject* readable_function(Args a) {
    Op op(a);
    PyObject* list = a.object(CellsIndex);
    if (!PyList_Check(list))
        throw_type_error("argument 'cells': '" + type_name(list) +
                         "' object cannot be converted to 'PyList'");
    snapshot::CellList cells = snapshot::cells_from_py(list);
    validate(op);
    Sequence seq = cells.sequence();
    auto out = without_gil([&] { return op.run(seq); });
    return to_python<ReadableCellObject>(std::move(out));
}

// A method of ReadableSheet; Release says whether the lock is let go.
template <class Op, bool Release = true>
PyObject* readable_sheet_method(ReadableSheetObject& o, Args a) {
    Op op(a);
    validate(op);
    const SheetRecord& sh = *o.rec;
    if constexpr (Release) {
        auto out = without_gil([&] { return run_on_sheet(op, sh); });
        return to_python<ReadableCellObject>(std::move(out));
    } else {
        return to_python<ReadableCellObject>(run_on_sheet(op, sh));
    }
}

// A method of Sheet: the interpreter lock is kept for the whole search, and
// every write to a cell record needs it, so the records hold still and are
// read without their locks.
template <class Op>
PyObject* sheet_method(SheetObject& o, Args a) {
    Op op(a);
    validate(op);
    return to_python<CellObject>(run_on_sheet(op, *o.rec, true));
}

}  // namespace brindel::py::searches
