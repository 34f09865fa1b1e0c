// The cell table of a sheet: an open-addressing hash table from the packed
// (row, column) key to a cell record.
//
// A slot is one record pointer plus one control byte (7 bits of the hash, or
// empty), scanned eight at a time; the key is read from the record itself,
// whose coordinate always equals its key. That is 9 bytes a slot at a load of
// up to 7/8, and no allocation per entry. Entries are never erased one by one:
// the deletions of rows and columns rebuild the table. Each table hashes with
// its own random seed, and its order never reaches a caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cell.hpp"

namespace brindel {

class CellTable {
public:
    CellTable();
    ~CellTable();
    CellTable(const CellTable&) = delete;
    CellTable& operator=(const CellTable&) = delete;

    size_t size() const noexcept { return size_; }

    CellRecord* find(uint64_t key) const noexcept;
    // Inserts a record whose key is not in the table; the table takes one
    // handle and counts itself among the record's tables.
    void insert_new(Ref<CellRecord> rec);
    // The same for a record that already counts this table and carries a
    // handle for it (CellRecord::create_for_table); on failure (bad_alloc)
    // nothing is taken.
    void insert_counted(CellRecord* rec);
    // Replaces the record held under rec's key, or inserts it.
    void put(Ref<CellRecord> rec);

    template <class F>
    void for_each(F&& f) const {
        for (size_t i = 0; i < cap_; ++i)
            if (!(ctrl_[i] & kEmpty)) f(slots_[i]);
    }

    // Takes every record out, leaving the table empty; the handles move to the
    // caller and the records no longer count this table.
    std::vector<Ref<CellRecord>> take_all();
    void reserve(size_t n);
    void clear() noexcept;
    void swap(CellTable& o) noexcept;

private:
    static constexpr uint8_t kEmpty = 0x80;
    static constexpr size_t kGroup = 8;

    static constexpr size_t kNone = ~size_t{0};

    uint64_t hash(uint64_t key) const noexcept;
    size_t find_index(uint64_t key) const noexcept;  // slot of key, or kNone
    void rehash(size_t new_cap);
    void make_room_for_one();  // may throw bad_alloc, the table unchanged
    void place(CellRecord* rec, uint64_t h) noexcept;  // into a free slot

    uint8_t* ctrl_ = nullptr;       // cap_ + kGroup bytes; the tail mirrors the head
    CellRecord** slots_ = nullptr;  // cap_ pointers, each holding one handle
    size_t cap_ = 0;
    size_t size_ = 0;
    uint64_t seed_;
};

}  // namespace brindel
