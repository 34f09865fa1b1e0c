// The record of one cell, shared by a sheet's cell table, by every Python view
// of it and by search results.
//
// Layout: 32 bytes in one pool block. The reference count, a 32-bit lock, the
// coordinate and a compact value slot live inline; a text of up to 12 bytes is
// stored in the slot itself. Formula, style, hidden value and a data type other
// than the five codes are rare, so they live out of line in an Extras block,
// which also takes the value over while it exists.
//
// Snapshot records (built from Python data) never change after construction;
// they are marked frozen and read without taking their lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "coordinate.hpp"
#include "ref.hpp"
#include "rwlock.hpp"
#include "value.hpp"

namespace brindel {

// A text too long for a value slot: its size, then its bytes.
struct HeapText {
    size_t size;
    char bytes[1];
};

// A value in 14 bytes: the kind, and a payload of 12 bytes holding a scalar,
// an inline text (len <= 12) or a pointer to a heap text (len == kHeapText).
struct ValueSlot {
    static constexpr uint8_t kHeapText = 0xFF;
    static constexpr size_t kInline = 12;

    uint8_t kind = 0;
    uint8_t len = 0;
    unsigned char data[12] = {};

    ValueKind value_kind() const noexcept { return static_cast<ValueKind>(kind); }
    ValueView view() const noexcept;
    // Stores v, copying its text; frees what the slot held before.
    void assign(const ValueView& v);
    void clear() noexcept;  // frees a heap text, leaves Empty
    void copy_from(const ValueSlot& o);
};

struct CellExtras {
    ValueSlot value;
    std::optional<std::string> formula;
    std::optional<std::string> style;
    std::optional<std::string> hidden;
    std::string data_type;  // used when the record's code is kCustomType
};

// The fields of a record, copied out under its lock.
struct CellContents {
    Coordinate coord;
    ValueView scalar;  // the value; for a text, see value()
    std::string text;
    std::optional<std::string> formula;
    std::string data_type;
    std::optional<std::string> style;
    std::optional<std::string> hidden;

    // The value, a text viewing this object's own copy.
    ValueView value() const {
        ValueView v = scalar;
        if (v.kind == ValueKind::Text) v.text = text;
        return v;
    }
};

class CellRecord : public RefCounted {
public:
    static constexpr char kCustomType = 0;

    // A writable cell: the creation rule (no text: Empty, "s").
    static Ref<CellRecord> create(Coordinate c, const std::string_view* text);
    // The same for a sheet's table, before anyone else can see the record:
    // two handles (the table's and the caller's) and one table counted, all
    // set with plain stores.
    static CellRecord* create_for_table(Coordinate c, const std::string_view* text);
    // A frozen snapshot cell with exactly these fields.
    static Ref<CellRecord> create_snapshot(Coordinate c, const ValueView& value,
                                           const std::optional<std::string_view>& formula,
                                           std::string_view data_type,
                                           const std::optional<std::string_view>& style);
    // A writable record with the same value, formula, type, style and hidden
    // value at the same position.
    Ref<CellRecord> duplicate() const;
    static void destroy(CellRecord* r) noexcept;

    static void* operator new(size_t);
    static void operator delete(void* p) noexcept;

    // Read before the record's lock is taken, while a writer holding it may
    // set kHasExtras: hence an atomic byte (kFrozen never changes once shared).
    bool frozen() const noexcept { return flags_.load(std::memory_order_relaxed) & kFrozen; }

    // Readers (shared lock).
    Coordinate coordinate() const noexcept;
    std::string value_text() const;
    std::string data_type() const;
    std::optional<std::string> formula() const;
    std::optional<std::string> style() const;
    std::optional<std::string> hidden_value() const;
    ValueKind kind() const noexcept;
    bool is_formula() const noexcept;
    CellContents contents() const;

    // Calls f(value_text_view) with the record read-locked; the view is valid
    // only inside f. buf must hold kValueTextBuffer bytes.
    template <class F>
    auto with_value_text(char* buf, F&& f) const {
        ReadGuard g(*this);
        return f(brindel::value_text(slot().view(), buf));
    }
    // Calls f(ValueView, formula*, data_type, style*, hidden*) read-locked.
    template <class F>
    void with_fields(F&& f) const {
        ReadGuard g(*this);
        with_fields_unlocked(f);
    }
    // The same without the lock, for callers that shut out every writer of
    // the record themselves.
    template <class F>
    void with_fields_unlocked(F&& f) const {
        const CellExtras* x = extras();
        std::string_view dt = dtype_ == kCustomType ? std::string_view(x->data_type)
                                                    : std::string_view(&dtype_, 1);
        f(slot().view(), x && x->formula ? &*x->formula : nullptr, dt,
          x && x->style ? &*x->style : nullptr, x && x->hidden ? &*x->hidden : nullptr);
    }

    // Writers (exclusive lock).
    void write_text(std::string_view text);  // text-to-value, formula cleared
    void set_number(double v);
    void set_integer(int32_t v);
    void set_bool(bool v);
    void set_datetime(const DateTime& v);
    void set_formula(std::string_view f);
    void set_style(std::string_view s);
    void set_hidden_value(std::string_view h);
    void reset_code() noexcept;  // "s" unless a formula cell
    void set_row(uint32_t row) noexcept;
    void set_column(uint16_t column) noexcept;

    // Position read without the record lock, for holders of the lock of the
    // sheet whose table holds the record: only that sheet moves it, under its
    // exclusive lock.
    uint64_t key_unlocked() const noexcept { return pack_key(row_, col_); }
    uint32_t row_unlocked() const noexcept { return row_; }
    uint16_t column_unlocked() const noexcept { return col_; }

    // How many cell tables hold the record (saturates at its maximum).
    uint16_t tables() const noexcept { return tables_.load(std::memory_order_acquire); }
    void add_table() noexcept;
    void remove_table() noexcept;

private:
    static constexpr uint8_t kHasExtras = 1;
    static constexpr uint8_t kFrozen = 2;

    CellRecord(Coordinate c) noexcept : row_(c.row), col_(c.column) {}
    ~CellRecord();

    class ReadGuard {
    public:
        explicit ReadGuard(const CellRecord& r) noexcept : r_(r) {
            if (!r_.frozen()) r_.lock_.lock_shared();
        }
        ~ReadGuard() {
            if (!r_.frozen()) r_.lock_.unlock_shared();
        }

    private:
        const CellRecord& r_;
    };

    // Only the record's maker, or a writer holding its lock, sets a flag;
    // readers may look at any time: a plain load and store of the atomic byte.
    void set_flag(uint8_t f) noexcept {
        flags_.store(static_cast<uint8_t>(flags_.load(std::memory_order_relaxed) | f),
                     std::memory_order_relaxed);
    }
    static Ref<CellRecord> fresh(Coordinate c);

    CellExtras* extras() const noexcept {
        if (!(flags_.load(std::memory_order_relaxed) & kHasExtras)) return nullptr;
        CellExtras* x;
        std::memcpy(&x, slot_.data, sizeof x);
        return x;
    }
    CellExtras& ensure_extras();
    const ValueSlot& slot() const noexcept {
        const CellExtras* x = extras();
        return x ? x->value : slot_;
    }
    ValueSlot& slot() noexcept {
        CellExtras* x = extras();
        return x ? x->value : slot_;
    }
    void set_value(const ValueView& v);  // value and its code, formula cleared

    RwLock lock_;
    uint32_t row_;
    uint16_t col_;
    std::atomic<uint16_t> tables_{0};
    char dtype_ = 's';
    std::atomic<uint8_t> flags_{0};
    ValueSlot slot_;
};

static_assert(sizeof(CellRecord) == 32, "a cell record must fit one pool block");

// Read on every test of every search: kept inline.
inline ValueView ValueSlot::view() const noexcept {
    ValueView v;
    v.kind = value_kind();
    switch (v.kind) {
        case ValueKind::Empty:
            break;
        case ValueKind::Text:
            if (len == kHeapText) {
                const HeapText* h;
                std::memcpy(&h, data, sizeof h);
                v.text = std::string_view(h->bytes, h->size);
            } else {
                v.text = std::string_view(reinterpret_cast<const char*>(data), len);
            }
            break;
        case ValueKind::Number:
            std::memcpy(&v.number, data, sizeof v.number);
            break;
        case ValueKind::Integer:
            std::memcpy(&v.integer, data, sizeof v.integer);
            break;
        case ValueKind::Bool:
            v.boolean = data[0] != 0;
            break;
        case ValueKind::DateTime:
            std::memcpy(&v.datetime, data, sizeof v.datetime);
            break;
    }
    return v;
}

using CellRef = Ref<CellRecord>;

}  // namespace brindel
