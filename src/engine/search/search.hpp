// Every search over cells and sheets.
//
// A search runs over a search sequence: cell records in a fixed order
// (row-major for a sheet, list order for a list of cells). Results are
// positions in that sequence, in sequence order; the first match is the
// lowest matching position, exactly what a plain scan from the start gives,
// however the work is split over the worker pool.
//
// Patterns of the cell searches are literal texts: a cell matches when the
// text occurs in its value text. Searches by value compare by trimmed
// equality (Unicode White_Space removed from both ends of both sides).
//
// The caller keeps the records alive and, for a sheet, holds the sheet's read
// lock for the whole call; each cell is read under its own read lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cell.hpp"
#include "error.hpp"
#include "sheet.hpp"

namespace brindel::search {

// The cells a search runs over, in sequence order. With `stable` the caller
// guarantees that no writer touches these records while the search runs (a
// writable sheet searched with every writer shut out): they are then read
// without taking each record's lock.
struct Sequence : std::span<CellRecord* const> {
    using std::span<CellRecord* const>::span;
    Sequence(std::span<CellRecord* const> s, bool stable_records = false) noexcept
        : std::span<CellRecord* const>(s), stable(stable_records) {}
    bool stable = false;
};
using Positions = std::vector<size_t>;

// The row-major sequence of a sheet's cells, valid while the caller holds
// the sheet's read lock (the sheet keeps it sorted until its next change).
Sequence row_major(const SheetRecord& sheet, bool stable = false);

// Single cells (position of the first match).
std::optional<size_t> first_containing(Sequence seq, std::string_view needle);
std::optional<size_t> first_trimmed_equal(Sequence seq, std::string_view value);
std::optional<size_t> first_at(Sequence seq, uint32_t row, uint16_t col);

// Lists of cells.
Positions all_containing(Sequence seq, std::string_view needle);
Positions all_trimmed_equal(Sequence seq, std::string_view value);
Positions containing_up_to_column(Sequence seq, std::string_view needle, uint16_t col_stop);
Positions containing_up_to_row(Sequence seq, std::string_view needle, uint32_t row_stop);
// The paired scan: opening and closing markers, alternating.
Positions markers(Sequence seq, std::string_view before, std::string_view after);
// Every cell whose row lies between the rows of the first two markers.
Positions between(Sequence seq, std::string_view before, std::string_view after);
Positions rows_band(Sequence seq, uint32_t start_row, uint32_t end_row);
Positions columns_band(Sequence seq, uint16_t start_col, uint16_t end_col);

// Value texts.
std::vector<std::string> values_by_col_rows(Sequence seq, uint16_t col,
                                            const std::vector<uint32_t>& rows);
std::vector<std::string> values_by_row_cols(Sequence seq, uint32_t row,
                                            const std::vector<uint16_t>& cols);

// The cells of a sheet inside a rectangle, row-major; the caller holds the
// sheet's read lock.
struct Rectangle {
    uint32_t start_row = 1, end_row = 1048576;
    uint16_t start_col = 1, end_col = 16384;
};
std::vector<CellRecord*> cells_in_rectangle(const SheetRecord& sheet, const Rectangle& r);

// A compiled regular expression (sheet names). Safe to share between
// threads; each matching thread uses its own match data.
class Regex {
public:
    // Fails with the engine's message and the offset of the error.
    static Result<Regex> compile(std::string_view pattern);
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    ~Regex();
    // Unanchored search; a matching error (a limit) counts as no match.
    bool search(std::string_view subject) const;

private:
    Regex() = default;
    void* code_ = nullptr;
};

// Sheet selections over a finder's sheets, in finder order.
using Sheets = std::span<SheetRecord* const>;
std::optional<size_t> first_sheet_named(Sheets sheets, std::string_view name);
std::optional<size_t> first_sheet_matching(Sheets sheets, const Regex& re);
Positions sheets_with_names(Sheets sheets, const std::vector<std::string>& names);
Positions sheets_without_names(Sheets sheets, const std::vector<std::string>& names);

}  // namespace brindel::search
