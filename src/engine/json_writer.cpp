#include "json_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "document.hpp"

namespace brindel {

namespace {

// A byte buffer that grows geometrically; written through raw pointers.
class Out {
public:
    explicit Out(size_t hint) { buf_.resize(std::max<size_t>(hint, 256)); }

    char* reserve(size_t k) {
        if (n_ + k > buf_.size()) [[unlikely]]
            grow(k);
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
    [[gnu::noinline]] void grow(size_t k) { buf_.resize(std::max(buf_.size() * 2, n_ + k)); }

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

// Writes the walk of the document as compact JSON text.
class JsonSink {
public:
    explicit JsonSink(Out& o) : o_(o) {}

    void begin_object() { o_.put('{'); }
    void end_object() { o_.put('}'); }
    void begin_array(size_t) { o_.put('['); }
    void end_array() { o_.put(']'); }
    void element(bool first) {
        if (!first) o_.put(',');
    }
    void key(DocKey k, bool first) {
        std::string_view name = kDocKeyNames[static_cast<size_t>(k)];
        char* p = o_.reserve(name.size() + 4);
        char* start = p;
        if (!first) *p++ = ',';
        *p++ = '"';
        std::memcpy(p, name.data(), name.size());
        p += name.size();
        *p++ = '"';
        *p++ = ':';
        o_.commit(static_cast<size_t>(p - start));
    }
    void number_key(uint32_t num, bool first) {
        if (!first) o_.put(',');
        o_.put('"');
        o_.integer(num);
        o_.put("\":");
    }
    void null() { o_.put("null"); }
    void text(std::string_view s) { o_.string(s); }
    void integer(int64_t v) { o_.integer(v); }
    void number(double d) { o_.number(d); }
    void boolean(bool b) { o_.boolean(b); }
    void datetime(const DateTime& dt) {
        char* p = o_.reserve(64);
        *p = '"';
        size_t n = format_datetime(dt, 'T', p + 1);
        p[n + 1] = '"';
        o_.commit(n + 2);
    }

private:
    Out& o_;
};

}  // namespace

void append_json_string(std::string& out, std::string_view s) {
    Out o(s.size() + 2);
    o.string(s);
    out += std::move(o).finish();
}

Result<std::string> write_document(const BookRecord& book) {
    size_t hint = 64;
    // A typical cell takes 50 to 60 bytes: enough room for most books
    // without a copy on the way.
    for (const auto& s : book.sheets_unlocked()) hint += 256 + s->cell_count() * 64;
    Out o(hint);
    JsonSink sink(o);
    walk_document(book, sink);
    return std::move(o).finish();
}

}  // namespace brindel
