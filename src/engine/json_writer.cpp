#include "json_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "book.hpp"

namespace brindel {

namespace {

// A byte buffer that grows geometrically; written through raw pointers.
class Out {
public:
    explicit Out(size_t hint) { buf_.resize(std::max<size_t>(hint, 256)); }

    char* reserve(size_t k) {
        if (n_ + k > buf_.size()) buf_.resize(std::max(buf_.size() * 2, n_ + k));
        return buf_.data() + n_;
    }
    void commit(size_t k) noexcept { n_ += k; }
    void put(char c) {
        *reserve(1) = c;
        ++n_;
    }
    void put(std::string_view s) {
        std::memcpy(reserve(s.size()), s.data(), s.size());
        n_ += s.size();
    }
    template <class I>
    void integer(I v) {
        char* p = reserve(24);
        n_ += static_cast<size_t>(std::to_chars(p, p + 24, v).ptr - p);
    }
    void number(double d) {
        if (!std::isfinite(d)) {
            put("null");
            return;
        }
        char* p = reserve(32);
        n_ += format_json_number(d, p);
    }
    void boolean(bool b) { put(b ? std::string_view("true") : std::string_view("false")); }
    void string(std::string_view s);
    std::string finish() && {
        buf_.resize(n_);
        return std::move(buf_);
    }

private:
    std::string buf_;
    size_t n_ = 0;
};

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

void Out::string(std::string_view s) {
    // Worst case every byte becomes \u00XX.
    char* p = reserve(s.size() * 6 + 2);
    char* start = p;
    *p++ = '"';
    static constexpr char kHex[] = "0123456789abcdef";
    for (unsigned char c : s) {
        if (!needs_escape(c)) {
            *p++ = static_cast<char>(c);
            continue;
        }
        *p++ = '\\';
        switch (c) {
            case '"': *p++ = '"'; break;
            case '\\': *p++ = '\\'; break;
            case '\b': *p++ = 'b'; break;
            case '\f': *p++ = 'f'; break;
            case '\n': *p++ = 'n'; break;
            case '\r': *p++ = 'r'; break;
            case '\t': *p++ = 't'; break;
            default:
                *p++ = 'u';
                *p++ = '0';
                *p++ = '0';
                *p++ = kHex[c >> 4];
                *p++ = kHex[c & 15];
        }
    }
    *p++ = '"';
    n_ += static_cast<size_t>(p - start);
}

void write_value(Out& o, const ValueView& v) {
    switch (v.kind) {
        case ValueKind::Empty:
            o.put("null");
            break;
        case ValueKind::Text:
            o.string(v.text);
            break;
        case ValueKind::Number:
            o.number(v.number);
            break;
        case ValueKind::Integer:
            o.integer(v.integer);
            break;
        case ValueKind::Bool:
            o.boolean(v.boolean);
            break;
        case ValueKind::DateTime: {
            char* p = o.reserve(64);
            *p = '"';
            size_t n = format_datetime(v.datetime, 'T', p + 1);
            p[n + 1] = '"';
            o.commit(n + 2);
            break;
        }
    }
}

void write_cells(Out& o, const SheetRecord& s) {
    const std::vector<CellRecord*>& cells = s.row_major_unlocked();
    o.put('[');
    bool first = true;
    for (const CellRecord* r : cells) {
        uint64_t key = r->key_unlocked();
        if (!first) o.put(',');
        first = false;
        r->with_fields([&](const ValueView& v, const std::string* formula, std::string_view dt,
                           const std::string* style, const std::string* hidden) {
            o.put("{\"row\":");
            o.integer(static_cast<uint32_t>(key >> 16));
            o.put(",\"column\":");
            o.integer(static_cast<uint16_t>(key & 0xFFFF));
            o.put(",\"value\":");
            write_value(o, v);
            if (formula) {
                o.put(",\"formula\":");
                o.string(*formula);
            }
            o.put(",\"data_type\":");
            o.string(dt);
            if (style) {
                o.put(",\"style_id\":");
                o.string(*style);
            }
            if (hidden) {
                o.put(",\"hidden_value\":");
                o.string(*hidden);
            }
            o.put('}');
        });
    }
    o.put(']');
}

// {"rows":{"3":{"row_num":3,"height":..,"hidden":..,"collapsed":..,"level":..}},"default_height":..}
// and the same shape for columns; "rows" is left out when there is none.
template <class Map, class Size>
void write_dimensions(Out& o, const Map& m, std::string_view members, std::string_view num_key,
                      std::string_view size_key, Size size_of, std::string_view default_key,
                      double default_value) {
    o.put('{');
    if (!m.empty()) {
        o.put('"');
        o.put(members);
        o.put("\":{");
        bool first = true;
        for (const auto& [num, d] : m) {
            if (!first) o.put(',');
            first = false;
            o.put('"');
            o.integer(num);
            o.put("\":{\"");
            o.put(num_key);
            o.put("\":");
            o.integer(num);
            o.put(",\"");
            o.put(size_key);
            o.put("\":");
            o.number(size_of(d));
            o.put(",\"hidden\":");
            o.boolean(d.hidden);
            o.put(",\"collapsed\":");
            o.boolean(d.collapsed);
            o.put(",\"level\":");
            o.integer(d.level);
            o.put('}');
        }
        o.put("},");
    }
    o.put('"');
    o.put(default_key);
    o.put("\":");
    o.number(default_value);
    o.put('}');
}

void write_sheet(Out& o, const SheetRecord& s) {
    SharedLock g(s.lock());
    o.put("{\"name\":");
    o.string(s.name_unlocked());
    o.put(",\"sheet_state\":");
    o.string(s.state_unlocked());
    o.put(",\"merge_cells\":[");
    bool first = true;
    for (const MergedRange& m : s.merges_unlocked()) {
        if (!first) o.put(',');
        first = false;
        o.put('[');
        o.integer(m.start_row);
        o.put(',');
        o.integer(m.end_row);
        o.put(',');
        o.integer(m.start_col);
        o.put(',');
        o.integer(m.end_col);
        o.put(']');
    }
    o.put("],\"cells\":");
    write_cells(o, s);

    o.put(",\"row_dimensions\":");
    write_dimensions(o, s.rows_unlocked(), "rows", "row_num", "height",
                     [](const RowDimension& d) { return d.height; }, "default_height",
                     s.default_height());
    o.put(",\"column_dimensions\":");
    write_dimensions(o, s.columns_unlocked(), "columns", "col_num", "width",
                     [](const ColumnDimension& d) { return d.width; }, "default_width",
                     s.default_width());
    o.put(",\"comments\":[");
    first = true;
    for (const auto& c : s.comments_unlocked()) {
        if (!first) o.put(',');
        first = false;
        Coordinate at = c->coordinate();
        o.put("{\"row\":");
        o.integer(at.row);
        o.put(",\"column\":");
        o.integer(at.column);
        c->with_fields([&](std::string_view author, std::string_view text) {
            o.put(",\"author\":");
            o.string(author);
            o.put(",\"text\":");
            o.string(text);
        });
        o.put('}');
    }
    o.put("]}");
}

}  // namespace

void append_json_string(std::string& out, std::string_view s) {
    Out o(s.size() + 2);
    o.string(s);
    out += std::move(o).finish();
}

Result<std::string> write_document(const BookRecord& book) {
    size_t hint = 64;
    for (const auto& s : book.sheets_unlocked()) hint += 256 + s->cell_count() * 56;
    Out o(hint);
    o.put("{\"sheets\":[");
    bool first = true;
    for (const auto& s : book.sheets_unlocked()) {
        if (!first) o.put(',');
        first = false;
        write_sheet(o, *s);
    }
    o.put("]}");
    return std::move(o).finish();
}

}  // namespace brindel
