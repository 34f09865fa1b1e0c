#include "search.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_set>

#include "literal.hpp"
#include "parallel.hpp"

namespace brindel::search {

namespace {

// Runs a text test (Literal, TrimmedEqual) on one cell's value under its read
// lock. The value text, when the kind of the value can match at all, is made
// in a buffer on this thread's stack; a text is read in place.
template <class F>
void read_fields(const CellRecord* r, bool stable, F&& f) {
    if (stable)
        r->with_fields_unlocked(f);
    else
        r->with_fields(f);
}

Coordinate coordinate_of(Sequence seq, size_t i) {
    const CellRecord* r = seq[i];
    return seq.stable ? Coordinate{r->row_unlocked(), r->column_unlocked()} : r->coordinate();
}

template <class Test>
bool test_value(const CellRecord* r, bool stable, const Test& test) {
    char buf[kValueTextBuffer];
    bool hit = false;
    read_fields(r, stable, [&](const ValueView& v, const std::string*, std::string_view,
                               const std::string*, const std::string*) { hit = test.matches_value(v, buf); });
    return hit;
}

template <class Test>
Positions filter_text(Sequence seq, const Test& test) {
    return parallel::filter(seq.size(), [&](size_t i) { return test_value(seq[i], seq.stable, test); });
}

// Opening and closing markers of the paired scan, in the order picked, up to
// stop_after of them.
Positions scan_markers(Sequence seq, std::string_view before, std::string_view after,
                       size_t stop_after = SIZE_MAX) {
    Literal open_re(before), close_re(after);
    Positions picked;
    bool open = false;
    char buf[kValueTextBuffer];
    for (size_t i = 0; i < seq.size() && picked.size() < stop_after; ++i) {
        read_fields(seq[i], seq.stable, [&](const ValueView& v, const std::string*, std::string_view,
                                            const std::string*, const std::string*) {
            // Only the pattern that can pick the cell in this state is tested.
            const Literal& re = open ? close_re : open_re;
            if (re.matches_value(v, buf)) {
                open = !open;
                picked.push_back(i);
            }
        });
    }
    return picked;
}

}  // namespace

Sequence row_major(const SheetRecord& sheet, bool stable) {
    return Sequence(sheet.row_major_unlocked(), stable);
}

std::optional<size_t> first_containing(Sequence seq, std::string_view needle) {
    Literal lit(needle);
    return parallel::first(seq.size(), [&](size_t i) { return test_value(seq[i], seq.stable, lit); });
}

std::optional<size_t> first_trimmed_equal(Sequence seq, std::string_view value) {
    TrimmedEqual eq(value);
    return parallel::first(seq.size(), [&](size_t i) { return test_value(seq[i], seq.stable, eq); });
}

std::optional<size_t> first_at(Sequence seq, uint32_t row, uint16_t col) {
    Coordinate want{row, col};
    return parallel::first(seq.size(), [&](size_t i) { return coordinate_of(seq, i) == want; });
}

Positions all_containing(Sequence seq, std::string_view needle) {
    Literal lit(needle);
    return filter_text(seq, lit);
}

Positions all_trimmed_equal(Sequence seq, std::string_view value) {
    TrimmedEqual eq(value);
    return filter_text(seq, eq);
}

Positions containing_up_to_column(Sequence seq, std::string_view needle, uint16_t col_stop) {
    Literal lit(needle);
    return parallel::filter(seq.size(), [&](size_t i) {
        if (coordinate_of(seq, i).column > col_stop) return false;  // before any text is made
        return test_value(seq[i], seq.stable, lit);
    });
}

Positions containing_up_to_row(Sequence seq, std::string_view needle, uint32_t row_stop) {
    Literal lit(needle);
    return parallel::filter(seq.size(), [&](size_t i) {
        if (coordinate_of(seq, i).row > row_stop) return false;
        return test_value(seq[i], seq.stable, lit);
    });
}

Positions markers(Sequence seq, std::string_view before, std::string_view after) {
    return scan_markers(seq, before, after);
}

Positions between(Sequence seq, std::string_view before, std::string_view after) {
    // Only the first opening and the first closing marker bound the rows.
    Positions m = scan_markers(seq, before, after, 2);
    if (m.empty()) return {};
    uint32_t lo = coordinate_of(seq, m[0]).row;
    if (m.size() == 1)
        return parallel::filter(seq.size(), [&](size_t i) { return coordinate_of(seq, i).row >= lo; });
    uint32_t hi = coordinate_of(seq, m[1]).row;
    return parallel::filter(seq.size(), [&](size_t i) {
        uint32_t r = coordinate_of(seq, i).row;
        return lo <= r && r <= hi;
    });
}

Positions rows_band(Sequence seq, uint32_t start_row, uint32_t end_row) {
    return parallel::filter(seq.size(), [&](size_t i) {
        uint32_t r = coordinate_of(seq, i).row;
        return start_row <= r && r <= end_row;
    });
}

Positions columns_band(Sequence seq, uint16_t start_col, uint16_t end_col) {
    return parallel::filter(seq.size(), [&](size_t i) {
        uint16_t c = coordinate_of(seq, i).column;
        return start_col <= c && c <= end_col;
    });
}

namespace {

template <class Wanted>
std::vector<std::string> value_texts(Sequence seq, Wanted&& wanted) {
    Positions hits = parallel::filter(seq.size(), [&](size_t i) { return wanted(coordinate_of(seq, i)); });
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
    if (sheet.is_snapshot()) {
        // Already in row-major order.
        std::vector<CellRecord*> out;
        for (CellRecord* rec : sheet.row_major_unlocked()) {
            uint32_t row = rec->row_unlocked();
            uint16_t col = rec->column_unlocked();
            if (r.start_row <= row && row <= r.end_row && r.start_col <= col && col <= r.end_col)
                out.push_back(rec);
        }
        return out;
    }
    // Filter the table's entries first, then sort only what is inside.
    std::vector<std::pair<uint64_t, CellRecord*>> kept;
    sheet.for_each_cell_unlocked([&](CellRecord* rec) {
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

// The names to compare with: a short list is scanned, a long one hashed once
// per call, so that many sheets times many names stays linear.
class NameSet {
public:
    explicit NameSet(const std::vector<std::string>& names) : names_(names) {
        if (names.size() > kScan) hashed_.insert(names.begin(), names.end());
    }
    bool holds(const SheetRecord* s) const {
        SharedLock g(s->lock());
        std::string_view n = s->name_unlocked();
        if (names_.size() > kScan) return hashed_.count(n) != 0;
        return std::find(names_.begin(), names_.end(), n) != names_.end();
    }

private:
    static constexpr size_t kScan = 8;
    const std::vector<std::string>& names_;
    std::unordered_set<std::string_view> hashed_;
};

}  // namespace

std::optional<size_t> first_sheet_named(Sheets sheets, std::string_view name) {
    return parallel::first(
        sheets.size(),
        [&](size_t i) {
            SharedLock g(sheets[i]->lock());
            return sheets[i]->name_unlocked() == name;
        },
        parallel::kInlineSheets);
}

std::optional<size_t> first_sheet_matching(Sheets sheets, const Regex& re) {
    return parallel::first(
        sheets.size(),
        [&](size_t i) {
            SharedLock g(sheets[i]->lock());
            return re.search(sheets[i]->name_unlocked());
        },
        parallel::kInlineSheets);
}

Positions sheets_with_names(Sheets sheets, const std::vector<std::string>& names) {
    NameSet set(names);
    return parallel::filter(
        sheets.size(), [&](size_t i) { return set.holds(sheets[i]); }, parallel::kInlineSheets);
}

Positions sheets_without_names(Sheets sheets, const std::vector<std::string>& names) {
    NameSet set(names);
    return parallel::filter(
        sheets.size(), [&](size_t i) { return !set.holds(sheets[i]); }, parallel::kInlineSheets);
}

}  // namespace brindel::search
