#include "book.hpp"

#include "json_writer.hpp"

namespace brindel {

Ref<SheetRecord> BookRecord::add_sheet(std::string name, std::string state) {
    Ref<SheetRecord> s(new SheetRecord(std::move(name), std::move(state)));
    ExclusiveLock g(lock_);
    sheets_.push_back(s);
    return s;
}

Ref<SheetRecord> BookRecord::copy_sheet(const SheetRecord& source) {
    ExclusiveLock g(lock_);
    Ref<SheetRecord> s = source.copy();
    s->set_name("Sheet " + std::to_string(sheets_.size() + 1));
    sheets_.push_back(s);
    return s;
}

Ref<SheetRecord> BookRecord::sheet_at(int32_t index) const {
    SharedLock g(lock_);
    if (index < 0 || static_cast<size_t>(index) >= sheets_.size()) return {};
    return sheets_[static_cast<size_t>(index)];
}

Ref<SheetRecord> BookRecord::sheet_named(std::string_view name) const {
    SharedLock g(lock_);
    for (const auto& s : sheets_) {
        SharedLock sg(s->lock());
        if (s->name_unlocked() == name) return s;
    }
    return {};
}

std::vector<Ref<SheetRecord>> BookRecord::sheets() const {
    SharedLock g(lock_);
    return sheets_;
}

size_t BookRecord::sheet_count() const {
    SharedLock g(lock_);
    return sheets_.size();
}

Result<std::string> BookRecord::to_json() const {
    Result<DocumentText> r = to_json_text();
    if (!r) return r.error();
    return r.value().joined();
}

Result<DocumentText> BookRecord::to_json_text() const {
    // The writer has no failure of its own for any book.
    SharedLock g(lock_);
    return write_document_text(*this);
}

}  // namespace brindel
