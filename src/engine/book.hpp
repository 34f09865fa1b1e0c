// The record of a book: the ordered list of its sheets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "error.hpp"
#include "json_writer.hpp"
#include "ref.hpp"
#include "rwlock.hpp"
#include "sheet.hpp"

namespace brindel {

class BookRecord : public RefCounted {
public:
    static void destroy(BookRecord* r) noexcept { delete r; }

    Ref<SheetRecord> add_sheet(std::string name, std::string state);
    // Appends a copy of source (which may belong to any book, this one
    // included), named "Sheet " and the new number of sheets.
    Ref<SheetRecord> copy_sheet(const SheetRecord& source);
    Ref<SheetRecord> sheet_at(int32_t index) const;  // none out of range
    Ref<SheetRecord> sheet_named(std::string_view name) const;
    std::vector<Ref<SheetRecord>> sheets() const;
    size_t sheet_count() const;

    // The whole book as the compact JSON document.
    Result<std::string> to_json() const;
    Result<DocumentText> to_json_text() const;  // the same, in pieces

    const RwLock& lock() const noexcept { return lock_; }
    const std::vector<Ref<SheetRecord>>& sheets_unlocked() const noexcept { return sheets_; }

private:
    RwLock lock_;
    std::vector<Ref<SheetRecord>> sheets_;
};

}  // namespace brindel
