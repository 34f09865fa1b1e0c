#include "search.hpp"

#include <algorithm>

#include "literal.hpp"
#include "parallel.hpp"

namespace brindel::search {

namespace {

// Runs test(value_text) for the cell at position i, under its read lock, with
// the value text made in a buffer on this thread's stack.
template <class Test>
bool test_text(const CellRecord* r, Test&& test) {
    char buf[kValueTextBuffer];
    return r->with_value_text(buf, test);
}

template <class Test>
Positions filter_text(Sequence seq, Test&& test) {
    return parallel::filter(seq.size(), [&](size_t i) { return test_text(seq[i], test); });
}

// Opening and closing markers of the paired scan, in the order picked.
Positions scan_markers(Sequence seq, std::string_view before, std::string_view after) {
    Literal open_re(before), close_re(after);
    Positions picked;
    bool open = false;
    char buf[kValueTextBuffer];
    for (size_t i = 0; i < seq.size(); ++i) {
        seq[i]->with_value_text(buf, [&](std::string_view t) {
            if (!open && open_re.matches(t)) {
                open = true;
                picked.push_back(i);
            } else if (open && close_re.matches(t)) {
                open = false;
                picked.push_back(i);
            }
            return true;
        });
    }
    return picked;
}

}  // namespace

Sequence row_major(const SheetRecord& sheet) { return Sequence(sheet.row_major_unlocked()); }

std::optional<size_t> first_containing(Sequence seq, std::string_view needle) {
    Literal lit(needle);
    return parallel::first(seq.size(), [&](size_t i) {
        return test_text(seq[i], [&](std::string_view t) { return lit.matches(t); });
    });
}

std::optional<size_t> first_trimmed_equal(Sequence seq, std::string_view value) {
    TrimmedEqual eq(value);
    return parallel::first(seq.size(), [&](size_t i) {
        return test_text(seq[i], [&](std::string_view t) { return eq.matches(t); });
    });
}

std::optional<size_t> first_at(Sequence seq, uint32_t row, uint16_t col) {
    Coordinate want{row, col};
    return parallel::first(seq.size(), [&](size_t i) { return seq[i]->coordinate() == want; });
}

Positions all_containing(Sequence seq, std::string_view needle) {
    Literal lit(needle);
    return filter_text(seq, [&](std::string_view t) { return lit.matches(t); });
}

Positions all_trimmed_equal(Sequence seq, std::string_view value) {
    TrimmedEqual eq(value);
    return filter_text(seq, [&](std::string_view t) { return eq.matches(t); });
}

Positions containing_up_to_column(Sequence seq, std::string_view needle, uint16_t col_stop) {
    Literal lit(needle);
    return parallel::filter(seq.size(), [&](size_t i) {
        if (seq[i]->coordinate().column > col_stop) return false;  // before any text is made
        return test_text(seq[i], [&](std::string_view t) { return lit.matches(t); });
    });
}

Positions containing_up_to_row(Sequence seq, std::string_view needle, uint32_t row_stop) {
    Literal lit(needle);
    return parallel::filter(seq.size(), [&](size_t i) {
        if (seq[i]->coordinate().row > row_stop) return false;
        return test_text(seq[i], [&](std::string_view t) { return lit.matches(t); });
    });
}

Positions markers(Sequence seq, std::string_view before, std::string_view after) {
    return scan_markers(seq, before, after);
}

Positions between(Sequence seq, std::string_view before, std::string_view after) {
    Positions m = scan_markers(seq, before, after);
    if (m.empty()) return {};
    uint32_t lo = seq[m[0]]->coordinate().row;
    if (m.size() == 1)
        return parallel::filter(seq.size(), [&](size_t i) { return seq[i]->coordinate().row >= lo; });
    uint32_t hi = seq[m[1]]->coordinate().row;
    return parallel::filter(seq.size(), [&](size_t i) {
        uint32_t r = seq[i]->coordinate().row;
        return lo <= r && r <= hi;
    });
}

Positions rows_band(Sequence seq, uint32_t start_row, uint32_t end_row) {
    return parallel::filter(seq.size(), [&](size_t i) {
        uint32_t r = seq[i]->coordinate().row;
        return start_row <= r && r <= end_row;
    });
}

Positions columns_band(Sequence seq, uint16_t start_col, uint16_t end_col) {
    return parallel::filter(seq.size(), [&](size_t i) {
        uint16_t c = seq[i]->coordinate().column;
        return start_col <= c && c <= end_col;
    });
}

namespace {

template <class Wanted>
std::vector<std::string> value_texts(Sequence seq, Wanted&& wanted) {
    Positions hits = parallel::filter(seq.size(), [&](size_t i) { return wanted(seq[i]->coordinate()); });
    std::vector<std::string> out;
    out.reserve(hits.size());
    for (size_t i : hits) out.push_back(seq[i]->value_text());
    return out;
}

}  // namespace

std::vector<std::string> values_by_col_rows(Sequence seq, uint16_t col,
                                            const std::vector<uint32_t>& rows) {
    return value_texts(seq, [&](Coordinate c) {
        return c.column == col && std::find(rows.begin(), rows.end(), c.row) != rows.end();
    });
}

std::vector<std::string> values_by_row_cols(Sequence seq, uint32_t row,
                                            const std::vector<uint16_t>& cols) {
    return value_texts(seq, [&](Coordinate c) {
        return c.row == row && std::find(cols.begin(), cols.end(), c.column) != cols.end();
    });
}

std::vector<CellRecord*> cells_in_rectangle(const SheetRecord& sheet, const Rectangle& r) {
    // Filter the table's entries first, then sort only what is inside.
    std::vector<std::pair<uint64_t, CellRecord*>> kept;
    sheet.cell_table_unlocked().for_each([&](CellRecord* rec) {
        uint32_t row = rec->row_unlocked();
        uint16_t col = rec->column_unlocked();
        if (r.start_row <= row && row <= r.end_row && r.start_col <= col && col <= r.end_col)
            kept.emplace_back(rec->key_unlocked(), rec);
    });
    parallel::sort_by_key(kept);
    std::vector<CellRecord*> out(kept.size());
    for (size_t i = 0; i < kept.size(); ++i) out[i] = kept[i].second;
    return out;
}

// ---- sheet selections ----

namespace {

bool name_in(const SheetRecord* s, const std::vector<std::string>& names) {
    SharedLock g(s->lock());
    const std::string& n = s->name_unlocked();
    return std::find(names.begin(), names.end(), n) != names.end();
}

}  // namespace

std::optional<size_t> first_sheet_named(Sheets sheets, std::string_view name) {
    return parallel::first(sheets.size(), [&](size_t i) {
        SharedLock g(sheets[i]->lock());
        return sheets[i]->name_unlocked() == name;
    });
}

std::optional<size_t> first_sheet_matching(Sheets sheets, const Regex& re) {
    return parallel::first(sheets.size(), [&](size_t i) {
        SharedLock g(sheets[i]->lock());
        return re.search(sheets[i]->name_unlocked());
    });
}

Positions sheets_with_names(Sheets sheets, const std::vector<std::string>& names) {
    return parallel::filter(sheets.size(), [&](size_t i) { return name_in(sheets[i], names); });
}

Positions sheets_without_names(Sheets sheets, const std::vector<std::string>& names) {
    return parallel::filter(sheets.size(), [&](size_t i) { return !name_in(sheets[i], names); });
}

}  // namespace brindel::search
