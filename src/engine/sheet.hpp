// The record of one sheet: name, state, merged ranges, the cell table, the
// row and column dimension tables and the comments.
//
// Every operation takes the sheet's lock itself (shared for reads, exclusive
// for writes) and, inside it, one cell or comment record's lock at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cell.hpp"
#include "cell_table.hpp"
#include "ref.hpp"
#include "rwlock.hpp"

namespace brindel {

constexpr double kDefaultRowHeight = 20.0;
constexpr double kDefaultColumnWidth = 22.5;

struct MergedRange {
    uint32_t start_row = 0;
    uint32_t end_row = 0;
    uint16_t start_col = 0;
    uint16_t end_col = 0;
};

struct RowDimension {
    uint32_t row_num = 0;
    double height = kDefaultRowHeight;
    bool hidden = false;
    bool collapsed = false;
    uint32_t level = 0;
};

struct ColumnDimension {
    uint16_t col_num = 0;
    double width = kDefaultColumnWidth;
    bool hidden = false;
    bool collapsed = false;
    uint32_t level = 0;
};

class CommentRecord : public RefCounted {
public:
    CommentRecord(Coordinate c, std::string author, std::string text)
        : coord_(c), author_(std::move(author)), text_(std::move(text)) {}
    static void destroy(CommentRecord* r) noexcept { delete r; }

    Coordinate coordinate() const noexcept { return coord_; }  // never changes
    std::string author() const;
    std::string text() const;
    void set_author(std::string a);
    void set_text(std::string t);
    // Calls f(author, text) read-locked.
    template <class F>
    void with_fields(F&& f) const {
        SharedLock g(lock_);
        f(std::string_view(author_), std::string_view(text_));
    }

private:
    RwLock lock_;
    Coordinate coord_;
    std::string author_;
    std::string text_;
};

class SheetRecord : public RefCounted {
public:
    SheetRecord(std::string name, std::string state)
        : name_(std::move(name)), state_(std::move(state)) {}
    ~SheetRecord();
    SheetRecord(const SheetRecord&) = delete;
    SheetRecord& operator=(const SheetRecord&) = delete;
    static void destroy(SheetRecord* r) noexcept { delete r; }

    // A new sheet with this one's contents: name, state, merged ranges and
    // dimension tables duplicated; cell and comment records shared.
    Ref<SheetRecord> copy() const;

    // Cell contents.
    Ref<CellRecord> cell(uint32_t row, uint16_t col, const std::string_view* text);
    std::string value_text_at(uint32_t row, uint16_t col) const;
    Ref<CellRecord> find_cell(uint32_t row, uint16_t col) const;
    uint32_t max_row() const;
    uint16_t max_column() const;
    size_t cell_count() const;
    std::vector<Ref<CellRecord>> cells() const;  // row-major
    void add_merged_range(const MergedRange& m);
    std::vector<MergedRange> merged_ranges() const;
    void add_comment(uint32_t row, uint16_t col, std::string text, std::string author);
    std::vector<Ref<CommentRecord>> comments() const;
    std::string name() const;
    void set_name(std::string n);
    std::string state() const;
    void set_state(std::string s);

    // Dimensions.
    void set_row_height(uint32_t row, double h);
    void set_row_hidden(uint32_t row, bool hidden);
    void set_column_width(uint16_t col, double w);
    void set_column_hidden(uint16_t col, bool hidden);
    double row_height(uint32_t row) const;
    bool row_hidden(uint32_t row) const;
    double column_width(uint16_t col) const;
    bool column_hidden(uint16_t col) const;

    // Deletion: cells of the span go, cells beyond it move back by its length.
    void delete_rows(uint32_t idx, uint32_t amount);
    void delete_columns(uint16_t idx, uint16_t amount);

    // For readers that walk the whole record (the document writer, the
    // searches): the lock and the raw tables, to be used under that lock.
    const RwLock& lock() const noexcept { return lock_; }
    CellRecord* find_unlocked(uint64_t key) const noexcept;
    size_t cell_count_unlocked() const noexcept {
        return snapshot_ ? row_major_unlocked().size() : cells_.size();
    }
    // Every cell once, in no particular order.
    template <class F>
    void for_each_cell_unlocked(F&& f) const {
        if (snapshot_)
            for (CellRecord* r : row_major_unlocked()) f(r);
        else
            cells_.for_each(f);
    }
    // A snapshot sheet keeps its cells in row-major order only, without a
    // table: lookups search that order.
    bool is_snapshot() const noexcept { return snapshot_; }
    const std::string& name_unlocked() const noexcept { return name_; }
    const std::string& state_unlocked() const noexcept { return state_; }
    const std::vector<MergedRange>& merges_unlocked() const noexcept { return merges_; }
    const std::map<uint32_t, RowDimension>& rows_unlocked() const noexcept { return rows_; }
    const std::map<uint16_t, ColumnDimension>& columns_unlocked() const noexcept {
        return columns_;
    }
    const std::vector<Ref<CommentRecord>>& comments_unlocked() const noexcept {
        return comments_;
    }
    // The cells in row-major order, sorted on first use after a change to the
    // table and kept until the next one; for holders of the sheet's lock.
    const std::vector<CellRecord*>& row_major_unlocked() const;
    double default_height() const noexcept { return default_height_; }
    double default_width() const noexcept { return default_width_; }

    // Builders for snapshots, used before the record is shared with anyone.
    // Of cells given for the same coordinate the last one stays. Cells that
    // come in row-major order need no sort.
    void put_cell_unshared(Ref<CellRecord> rec);
    void reserve_cells_unshared(size_t n) { order_.reserve(n); }
    void set_merges_unshared(std::vector<MergedRange> m) { merges_ = std::move(m); }

private:
    template <bool Rows>
    void delete_span(uint64_t idx, uint64_t amount);

    RwLock lock_;
    std::string name_;
    std::string state_;
    std::vector<MergedRange> merges_;
    CellTable cells_;
    // Ordered maps: the document lists dimensions in ascending order.
    std::map<uint32_t, RowDimension> rows_;
    std::map<uint16_t, ColumnDimension> columns_;
    double default_height_ = kDefaultRowHeight;
    double default_width_ = kDefaultColumnWidth;
    std::vector<Ref<CommentRecord>> comments_;
    // Cache of row_major_unlocked(), dropped by every change to the table.
    mutable std::mutex order_mu_;
    // For a snapshot sheet, order_ holds one handle on each of its cells.
    mutable std::vector<CellRecord*> order_;
    mutable std::atomic<bool> order_valid_{false};
    bool snapshot_ = false;
};


}  // namespace brindel
