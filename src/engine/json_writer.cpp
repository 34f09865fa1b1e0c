#include "json_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "document.hpp"

namespace brindel {

namespace {

// The output, written through raw pointers into pieces of about a megabyte:
// nothing is copied as the document grows, and no memory is filled before
// it is written.
class Out {
public:
    explicit Out(size_t hint) : hint_(std::clamp<size_t>(hint, 256, kPiece)) {}

    char* reserve(size_t k) {
        if (static_cast<size_t>(end_ - p_) < k) [[unlikely]]
            next_piece(k);
        return p_;
    }
    void commit(size_t k) noexcept { p_ += k; }
    void put(char c) { *reserve(1) = c, ++p_; }
    void put(std::string_view s) {
        std::memcpy(reserve(s.size()), s.data(), s.size());
        p_ += s.size();
    }
    template <class I>
    void integer(I v) {
        char* p = reserve(24);
        p_ = std::to_chars(p, p + 24, v).ptr;
    }
    void number(double d) { p_ += format_json_number(d, reserve(32)); }  // finite
    void boolean(bool b) { put(b ? std::string_view("true") : std::string_view("false")); }
    void string(std::string_view s);
    DocumentText finish() && {
        if (p_) text_.close_piece(static_cast<size_t>(p_ - start_));
        return std::move(text_);
    }
    void saw_non_ascii() noexcept { text_.mark_non_ascii(); }

private:
    static constexpr size_t kPiece = size_t{1} << 20;

    [[gnu::noinline]] void next_piece(size_t k) {
        if (p_) text_.close_piece(static_cast<size_t>(p_ - start_));
        size_t cap = std::max(start_ ? kPiece : hint_, k);
        start_ = p_ = text_.new_piece(cap);
        end_ = p_ + cap;
    }

    size_t hint_;
    DocumentText text_;
    char* start_ = nullptr;
    char* p_ = nullptr;
    char* end_ = nullptr;
};

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

void Out::string(std::string_view s) {
    // Worst case every byte becomes \u00XX.
    char* p = reserve(s.size() * 6 + 2);
    *p++ = '"';
    static constexpr char kHex[] = "0123456789abcdef";
    unsigned char high = 0;
    for (unsigned char c : s) {
        high |= c;
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
    p_ = p;
    if (high & 0x80) saw_non_ascii();
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

std::string DocumentText::joined() const {
    std::string out;
    out.reserve(size_);
    for_each_piece([&](std::string_view p) { out += p; });
    return out;
}

char* DocumentText::new_piece(size_t cap) {
    pieces_.push_back(Piece{std::unique_ptr<char[]>(new char[cap]), 0});
    return pieces_.back().data.get();
}

void DocumentText::close_piece(size_t used) noexcept {
    pieces_.back().size = used;
    size_ += used;
}

void append_json_string(std::string& out, std::string_view s) {
    Out o(s.size() + 2);
    o.string(s);
    out += std::move(o).finish().joined();
}

DocumentText write_document_text(const BookRecord& book) {
    size_t hint = 64;
    for (const auto& s : book.sheets_unlocked()) hint += 256 + s->cell_count() * 64;
    Out o(hint);
    JsonSink sink(o);
    walk_document(book, sink);
    return std::move(o).finish();
}

}  // namespace brindel
