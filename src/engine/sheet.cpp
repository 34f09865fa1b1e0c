#include "sheet.hpp"

#include <algorithm>
#include <utility>

#include "search/parallel.hpp"

namespace brindel {

// ---- comments ----

std::string CommentRecord::author() const {
    SharedLock g(lock_);
    return author_;
}

std::string CommentRecord::text() const {
    SharedLock g(lock_);
    return text_;
}

void CommentRecord::set_author(std::string a) {
    ExclusiveLock g(lock_);
    author_.swap(a);
}

void CommentRecord::set_text(std::string t) {
    ExclusiveLock g(lock_);
    text_.swap(t);
}

// ---- ordering ----

SheetRecord::~SheetRecord() {
    if (snapshot_)
        for (CellRecord* r : order_) Ref<CellRecord>::adopt(r);
}

void SheetRecord::put_cell_unshared(Ref<CellRecord> rec) {
    if (!snapshot_) {
        snapshot_ = true;
        order_valid_.store(true, std::memory_order_relaxed);
    }
    // Out of order (or a second cell for a coordinate): sorted on first use.
    if (!order_.empty() && order_.back()->key_unlocked() >= rec->key_unlocked())
        order_valid_.store(false, std::memory_order_relaxed);
    order_.push_back(rec.detach());
}

// (position, record) pairs of the records each(f) gives, sorted by position
// stably: records given for one position keep their order.
template <class Each>
static std::vector<std::pair<uint64_t, CellRecord*>> by_position(size_t n, Each&& each) {
    std::vector<std::pair<uint64_t, CellRecord*>> keyed;
    keyed.reserve(n);
    each([&](CellRecord* r) { keyed.emplace_back(r->key_unlocked(), r); });
    parallel::sort_by_key(keyed);
    return keyed;
}

// Sorts a snapshot's cells; of the cells given for one coordinate the last
// stays.
static void sort_snapshot(std::vector<CellRecord*>& order) {
    auto keyed = by_position(order.size(), [&](auto&& f) {
        for (CellRecord* r : order) f(r);
    });
    size_t n = 0;
    for (size_t i = 0; i < keyed.size(); ++i) {
        if (i + 1 < keyed.size() && keyed[i + 1].first == keyed[i].first) {
            Ref<CellRecord>::adopt(keyed[i].second);  // replaced by a later cell
            continue;
        }
        order[n++] = keyed[i].second;
    }
    order.resize(n);
    order.shrink_to_fit();
}

CellRecord* SheetRecord::find_unlocked(uint64_t key) const noexcept {
    if (!snapshot_) return cells_.find(key);
    const std::vector<CellRecord*>& order = row_major_unlocked();
    auto it = std::lower_bound(order.begin(), order.end(), key,
                               [](const CellRecord* r, uint64_t k) { return r->key_unlocked() < k; });
    return it != order.end() && (*it)->key_unlocked() == key ? *it : nullptr;
}

const std::vector<CellRecord*>& SheetRecord::row_major_unlocked() const {
    if (order_valid_.load(std::memory_order_acquire)) return order_;
    std::lock_guard<std::mutex> g(order_mu_);
    if (order_valid_.load(std::memory_order_relaxed)) return order_;
    if (snapshot_) {
        sort_snapshot(order_);
        order_valid_.store(true, std::memory_order_release);
        return order_;
    }
    auto keyed = by_position(cells_.size(), [&](auto&& f) { cells_.for_each(f); });
    order_.resize(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i) order_[i] = keyed[i].second;
    order_.shrink_to_fit();
    order_valid_.store(true, std::memory_order_release);
    return order_;
}

// ---- sheet ----

Ref<SheetRecord> SheetRecord::copy() const {
    SharedLock g(lock_);
    Ref<SheetRecord> s(new SheetRecord(name_, state_));
    s->merges_ = merges_;
    s->rows_ = rows_;
    s->columns_ = columns_;
    s->default_height_ = default_height_;
    s->default_width_ = default_width_;
    s->comments_ = comments_;
    s->cells_.reserve(cell_count_unlocked());
    for_each_cell_unlocked([&](CellRecord* r) { s->cells_.insert_new(Ref<CellRecord>(r)); });
    return s;
}

Ref<CellRecord> SheetRecord::cell(uint32_t row, uint16_t col, const std::string_view* text) {
    ExclusiveLock g(lock_);
    if (CellRecord* r = cells_.find(pack_key(row, col))) {
        if (text)
            r->write_text(*text);
        else
            r->reset_code();
        return Ref<CellRecord>(r);
    }
    // Made and entered without a locked operation on the new record: those
    // would each wait for its cache line.
    CellRecord* r = CellRecord::create_for_table(Coordinate{row, col}, text);
    try {
        cells_.insert_counted(r);
    } catch (...) {
        CellRecord::destroy(r);
        throw;
    }
    order_valid_.store(false, std::memory_order_relaxed);
    return Ref<CellRecord>::adopt(r);
}

Ref<CellRecord> SheetRecord::find_cell(uint32_t row, uint16_t col) const {
    SharedLock g(lock_);
    return Ref<CellRecord>(find_unlocked(pack_key(row, col)));
}

std::string SheetRecord::value_text_at(uint32_t row, uint16_t col) const {
    SharedLock g(lock_);
    if (CellRecord* r = find_unlocked(pack_key(row, col))) return r->value_text();
    return {};
}

uint32_t SheetRecord::max_row() const {
    SharedLock g(lock_);
    uint32_t m = 0;
    for_each_cell_unlocked([&](CellRecord* r) { m = std::max(m, r->row_unlocked()); });
    return m;
}

uint16_t SheetRecord::max_column() const {
    SharedLock g(lock_);
    uint16_t m = 0;
    for_each_cell_unlocked([&](CellRecord* r) { m = std::max(m, r->column_unlocked()); });
    return m;
}

size_t SheetRecord::cell_count() const {
    SharedLock g(lock_);
    return cell_count_unlocked();
}

std::vector<Ref<CellRecord>> SheetRecord::cells() const {
    SharedLock g(lock_);
    const std::vector<CellRecord*>& order = row_major_unlocked();
    std::vector<Ref<CellRecord>> out;
    out.reserve(order.size());
    for (CellRecord* r : order) out.emplace_back(r);
    return out;
}

void SheetRecord::add_merged_range(const MergedRange& m) {
    ExclusiveLock g(lock_);
    merges_.push_back(m);
}

std::vector<MergedRange> SheetRecord::merged_ranges() const {
    SharedLock g(lock_);
    return merges_;
}

void SheetRecord::add_comment(uint32_t row, uint16_t col, std::string text, std::string author) {
    Ref<CommentRecord> c(new CommentRecord(Coordinate{row, col}, std::move(author), std::move(text)));
    ExclusiveLock g(lock_);
    comments_.push_back(std::move(c));
}

std::vector<Ref<CommentRecord>> SheetRecord::comments() const {
    SharedLock g(lock_);
    return comments_;
}

std::string SheetRecord::name() const {
    SharedLock g(lock_);
    return name_;
}

void SheetRecord::set_name(std::string n) {
    ExclusiveLock g(lock_);
    name_.swap(n);
}

std::string SheetRecord::state() const {
    SharedLock g(lock_);
    return state_;
}

void SheetRecord::set_state(std::string s) {
    ExclusiveLock g(lock_);
    state_.swap(s);
}

// ---- dimensions ----

void SheetRecord::set_row_height(uint32_t row, double h) {
    ExclusiveLock g(lock_);
    auto [it, added] = rows_.try_emplace(row);
    if (added) it->second.row_num = row;
    it->second.height = h;
}

void SheetRecord::set_row_hidden(uint32_t row, bool hidden) {
    ExclusiveLock g(lock_);
    auto [it, added] = rows_.try_emplace(row);
    if (added) it->second.row_num = row;
    it->second.hidden = hidden;
}

void SheetRecord::set_column_width(uint16_t col, double w) {
    ExclusiveLock g(lock_);
    auto [it, added] = columns_.try_emplace(col);
    if (added) it->second.col_num = col;
    it->second.width = w;
}

void SheetRecord::set_column_hidden(uint16_t col, bool hidden) {
    ExclusiveLock g(lock_);
    auto [it, added] = columns_.try_emplace(col);
    if (added) it->second.col_num = col;
    it->second.hidden = hidden;
}

double SheetRecord::row_height(uint32_t row) const {
    SharedLock g(lock_);
    auto it = rows_.find(row);
    return it == rows_.end() ? default_height_ : it->second.height;
}

bool SheetRecord::row_hidden(uint32_t row) const {
    SharedLock g(lock_);
    auto it = rows_.find(row);
    return it != rows_.end() && it->second.hidden;
}

double SheetRecord::column_width(uint16_t col) const {
    SharedLock g(lock_);
    auto it = columns_.find(col);
    return it == columns_.end() ? default_width_ : it->second.width;
}

bool SheetRecord::column_hidden(uint16_t col) const {
    SharedLock g(lock_);
    auto it = columns_.find(col);
    return it != columns_.end() && it->second.hidden;
}

// ---- deletion ----

template <bool Rows>
void SheetRecord::delete_span(uint64_t idx, uint64_t amount) {
    if (amount == 0) return;
    // The end is computed in 64 bits, so a span reaching past the largest
    // number simply runs to the end of the range.
    const uint64_t end = idx + amount;
    ExclusiveLock g(lock_);
    bool any = false;
    cells_.for_each([&](CellRecord* r) {
        uint64_t p = Rows ? r->row_unlocked() : r->column_unlocked();
        if (p >= idx) any = true;
    });
    if (!any) return;  // nothing at or beyond the span: nothing changes

    // Work on copies of the handles first, so that a failed allocation leaves
    // the table as it was.
    std::vector<Ref<CellRecord>> kept;
    kept.reserve(cells_.size());
    std::vector<std::pair<size_t, Ref<CellRecord>>> own_copies;
    cells_.for_each([&](CellRecord* r) {
        uint64_t p = Rows ? r->row_unlocked() : r->column_unlocked();
        if (p >= idx && p < end) return;  // removed
        if (p > idx && r->tables() > 1) {
            // Another sheet's table holds this record under its present
            // position: move a copy of our own and leave the original there.
            own_copies.emplace_back(kept.size(), r->duplicate());
        }
        kept.emplace_back(r);
    });
    for (auto& [i, copy] : own_copies) kept[i] = std::move(copy);
    CellTable fresh;
    fresh.reserve(kept.size());

    // From here on nothing allocates except the table, already sized.
    for (auto& r : kept) {
        uint64_t p = Rows ? r->row_unlocked() : r->column_unlocked();
        if (p > idx) {
            if constexpr (Rows)
                r->set_row(static_cast<uint32_t>(p - amount));
            else
                r->set_column(static_cast<uint16_t>(p - amount));
        }
    }
    // The new table counts itself before the old one lets go: a record shared
    // with another sheet must never count fewer tables than hold it, or that
    // sheet, deleting at the same time, would move it under this one.
    for (auto& r : kept) fresh.insert_new(std::move(r));
    cells_.swap(fresh);
    fresh.clear();
    order_valid_.store(false, std::memory_order_relaxed);
}

void SheetRecord::delete_rows(uint32_t idx, uint32_t amount) { delete_span<true>(idx, amount); }

void SheetRecord::delete_columns(uint16_t idx, uint16_t amount) {
    delete_span<false>(idx, amount);
}

}  // namespace brindel
