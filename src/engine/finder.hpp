// The record of a finder: an ordered, never-changing sequence of snapshot
// sheets, shared by every Python view of the finder and of its sheets.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "ref.hpp"
#include "rwlock.hpp"
#include "sheet.hpp"

namespace brindel {

class FinderRecord : public RefCounted {
public:
    explicit FinderRecord(std::vector<Ref<SheetRecord>> sheets) : sheets_(std::move(sheets)) {
        raw_.reserve(sheets_.size());
        for (const Ref<SheetRecord>& s : sheets_) raw_.push_back(s.get());
    }
    static void destroy(FinderRecord* r) noexcept { delete r; }

    // Nothing writes after construction; readers still take the lock shared,
    // so that the record keeps the locking discipline of every other record.
    const RwLock& lock() const noexcept { return lock_; }
    size_t size_unlocked() const noexcept { return sheets_.size(); }
    const std::vector<Ref<SheetRecord>>& sheets_unlocked() const noexcept { return sheets_; }
    // The same sheets as plain pointers, for the selections of the search
    // engine; valid as long as the record lives.
    std::span<SheetRecord* const> raw_unlocked() const noexcept { return raw_; }

private:
    RwLock lock_;
    std::vector<Ref<SheetRecord>> sheets_;
    std::vector<SheetRecord*> raw_;
};

}  // namespace brindel
