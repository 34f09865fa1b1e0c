#include "cell.hpp"

#include <new>

#include "record_pool.hpp"

namespace brindel {

namespace {

HeapText* heap_text(const ValueSlot& s) noexcept {
    HeapText* h;
    std::memcpy(&h, s.data, sizeof h);
    return h;
}

}  // namespace

// ---- ValueSlot ----

void ValueSlot::clear() noexcept {
    if (value_kind() == ValueKind::Text && len == kHeapText) ::operator delete(heap_text(*this));
    kind = 0;
    len = 0;
}

void ValueSlot::assign(const ValueView& v) {
    // Build the new payload first, so that a failed allocation leaves the old
    // value in place.
    ValueSlot n;
    n.kind = static_cast<uint8_t>(v.kind);
    switch (v.kind) {
        case ValueKind::Empty:
            break;
        case ValueKind::Text:
            if (v.text.size() <= kInline) {
                n.len = static_cast<uint8_t>(v.text.size());
                std::memcpy(n.data, v.text.data(), v.text.size());
            } else {
                void* mem = ::operator new(offsetof(HeapText, bytes) + v.text.size());
                auto* h = static_cast<HeapText*>(mem);
                h->size = v.text.size();
                std::memcpy(h->bytes, v.text.data(), v.text.size());
                n.len = kHeapText;
                std::memcpy(n.data, &h, sizeof h);
            }
            break;
        case ValueKind::Number:
            std::memcpy(n.data, &v.number, sizeof v.number);
            break;
        case ValueKind::Integer:
            std::memcpy(n.data, &v.integer, sizeof v.integer);
            break;
        case ValueKind::Bool:
            n.data[0] = v.boolean ? 1 : 0;
            break;
        case ValueKind::DateTime:
            std::memcpy(n.data, &v.datetime, sizeof v.datetime);
            break;
    }
    clear();
    *this = n;
}

void ValueSlot::copy_from(const ValueSlot& o) { assign(o.view()); }

// ---- CellRecord ----

void* CellRecord::operator new(size_t) { return pool_allocate_32(); }
void CellRecord::operator delete(void* p) noexcept { pool_free_32(p); }

CellRecord::~CellRecord() {
    if (CellExtras* x = extras()) {
        x->value.clear();
        delete x;
    } else {
        slot_.clear();
    }
}

void CellRecord::destroy(CellRecord* r) noexcept { delete r; }

// A new record with its one handle, counted with a plain store: no other
// thread can see it yet, and a locked operation would wait for its line.
Ref<CellRecord> CellRecord::fresh(Coordinate c) {
    auto* r = new CellRecord(c);
    r->set_refs_unshared(1);
    return Ref<CellRecord>::adopt(r);
}

Ref<CellRecord> CellRecord::create(Coordinate c, const std::string_view* text) {
    Ref<CellRecord> r = fresh(c);
    if (text) {
        ValueView v = text_to_value(*text);
        r->slot_.assign(v);
        r->dtype_ = kind_code(v.kind);
    }
    return r;
}

CellRecord* CellRecord::create_for_table(Coordinate c, const std::string_view* text) {
    Ref<CellRecord> r = create(c, text);
    r->set_refs_unshared(2);
    r->tables_.store(1, std::memory_order_relaxed);
    return r.detach();
}

Ref<CellRecord> CellRecord::create_snapshot(Coordinate c, const ValueView& value,
                                            const std::optional<std::string_view>& formula,
                                            std::string_view data_type,
                                            const std::optional<std::string_view>& style) {
    Ref<CellRecord> r = fresh(c);
    bool standard = data_type.size() == 1 && (data_type[0] == 's' || data_type[0] == 'n' ||
                                              data_type[0] == 'b' || data_type[0] == 'd' ||
                                              data_type[0] == 'f');
    if (formula || style || !standard) {
        CellExtras& x = r->ensure_extras();
        if (formula) x.formula.emplace(*formula);
        if (style) x.style.emplace(*style);
        if (!standard) {
            x.data_type.assign(data_type);
            r->dtype_ = kCustomType;
        }
    }
    if (standard) r->dtype_ = data_type[0];
    r->slot().assign(value);
    r->set_flag(kFrozen);
    return r;
}

Ref<CellRecord> CellRecord::duplicate() const {
    ReadGuard g(*this);
    Ref<CellRecord> r = fresh(Coordinate{row_, col_});
    if (const CellExtras* x = extras()) {
        CellExtras& y = r->ensure_extras();
        y.formula = x->formula;
        y.style = x->style;
        y.hidden = x->hidden;
        y.data_type = x->data_type;
    }
    r->dtype_ = dtype_;
    r->slot().copy_from(slot());
    return r;
}

CellExtras& CellRecord::ensure_extras() {
    if (CellExtras* x = extras()) return *x;
    auto* x = new CellExtras;
    x->value = slot_;  // takes the payload over, heap text included
    std::memcpy(slot_.data, &x, sizeof x);
    slot_.len = 0;
    set_flag(kHasExtras);
    return *x;
}

Coordinate CellRecord::coordinate() const noexcept {
    ReadGuard g(*this);
    return Coordinate{row_, col_};
}

std::string CellRecord::value_text() const {
    char buf[kValueTextBuffer];
    return with_value_text(buf, [](std::string_view t) { return std::string(t); });
}

std::string CellRecord::data_type() const {
    ReadGuard g(*this);
    if (dtype_ == kCustomType) return extras()->data_type;
    return std::string(1, dtype_);
}

std::optional<std::string> CellRecord::formula() const {
    ReadGuard g(*this);
    const CellExtras* x = extras();
    return x ? x->formula : std::nullopt;
}

std::optional<std::string> CellRecord::style() const {
    ReadGuard g(*this);
    const CellExtras* x = extras();
    return x ? x->style : std::nullopt;
}

std::optional<std::string> CellRecord::hidden_value() const {
    ReadGuard g(*this);
    const CellExtras* x = extras();
    return x ? x->hidden : std::nullopt;
}

ValueKind CellRecord::kind() const noexcept {
    ReadGuard g(*this);
    return slot().value_kind();
}

bool CellRecord::is_formula() const noexcept {
    ReadGuard g(*this);
    const CellExtras* x = extras();
    return x && x->formula && dtype_ == 'f';
}

CellContents CellRecord::contents() const {
    CellContents c;
    with_fields([&](const ValueView& v, const std::string* f, std::string_view dt,
                    const std::string* s, const std::string* h) {
        c.coord = Coordinate{row_, col_};
        c.scalar = v;
        c.scalar.text = {};
        if (v.kind == ValueKind::Text) c.text.assign(v.text);
        if (f) c.formula = *f;
        c.data_type.assign(dt);
        if (s) c.style = *s;
        if (h) c.hidden = *h;
    });
    return c;
}

void CellRecord::set_value(const ValueView& v) {
    ExclusiveLock g(lock_);
    slot().assign(v);
    if (CellExtras* x = extras()) x->formula.reset();
    dtype_ = kind_code(v.kind);
}

void CellRecord::write_text(std::string_view text) { set_value(text_to_value(text)); }

void CellRecord::set_number(double d) {
    ValueView v;
    v.kind = ValueKind::Number;
    v.number = d;
    set_value(v);
}

void CellRecord::set_integer(int32_t i) {
    ValueView v;
    v.kind = ValueKind::Integer;
    v.integer = i;
    set_value(v);
}

void CellRecord::set_bool(bool b) {
    ValueView v;
    v.kind = ValueKind::Bool;
    v.boolean = b;
    set_value(v);
}

void CellRecord::set_datetime(const DateTime& d) {
    ValueView v;
    v.kind = ValueKind::DateTime;
    v.datetime = d;
    set_value(v);
}

void CellRecord::set_formula(std::string_view f) {
    std::string copy(f);  // allocate before locking
    ExclusiveLock g(lock_);
    ensure_extras().formula = std::move(copy);
    dtype_ = 'f';
}

void CellRecord::set_style(std::string_view s) {
    std::string copy(s);
    ExclusiveLock g(lock_);
    ensure_extras().style = std::move(copy);
}

void CellRecord::set_hidden_value(std::string_view h) {
    std::string copy(h);
    ExclusiveLock g(lock_);
    ensure_extras().hidden = std::move(copy);
}

void CellRecord::reset_code() noexcept {
    ExclusiveLock g(lock_);
    const CellExtras* x = extras();
    if (x && x->formula && dtype_ == 'f') return;
    dtype_ = 's';
}

void CellRecord::set_row(uint32_t row) noexcept {
    ExclusiveLock g(lock_);
    row_ = row;
}

void CellRecord::set_column(uint16_t column) noexcept {
    ExclusiveLock g(lock_);
    col_ = column;
}

void CellRecord::add_table() noexcept {
    uint16_t v = tables_.load(std::memory_order_relaxed);
    while (v != 0xFFFF && !tables_.compare_exchange_weak(v, static_cast<uint16_t>(v + 1),
                                                         std::memory_order_acq_rel)) {
    }
}

void CellRecord::remove_table() noexcept {
    // Once saturated the count stays: the record is then treated as shared
    // for good, which costs at most a copy before a later move.
    uint16_t v = tables_.load(std::memory_order_relaxed);
    while (v != 0xFFFF && v != 0 &&
           !tables_.compare_exchange_weak(v, static_cast<uint16_t>(v - 1),
                                          std::memory_order_acq_rel)) {
    }
}

}  // namespace brindel
