// The JSON document of random books.
//
// The input is a program: each step adds or copies a sheet, writes a cell
// (from text or typed), sets a formula, style or hidden value, merges, adds or
// edits a comment, sets a dimension, deletes rows or columns, or renames. The
// same steps run on a plain model kept here (cells shared between a sheet and
// its copies as the records are). The document is then read by a strict
// reader of the compact form the writer promises (no blanks, only the escapes
// it uses), and every sheet, cell, value, dimension and comment, with the key
// order and the omitted keys, is compared with the model.

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book.hpp"
#include "support.hpp"

using namespace brindel;

namespace {

constexpr size_t kMaxInput = 16384;
constexpr size_t kMaxSheets = 24;
constexpr size_t kMaxHandles = 16;

// ---- the input as a program ----

class Input {
public:
    Input(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool more() const { return i_ < n_; }
    uint8_t byte() { return i_ < n_ ? p_[i_++] : 0; }
    uint32_t raw32() {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(byte()) << (8 * k);
        return v;
    }
    uint64_t raw64() { return raw32() | (static_cast<uint64_t>(raw32()) << 32); }

    // Mostly small positions, where cells meet; now and then the edges.
    uint32_t row() {
        uint8_t b = byte();
        if (b < 200) return b % 12;
        static const uint32_t kEdges[] = {0, 1, 65535, 65536, 2147483647u, 2147483648u,
                                          4294967294u, 4294967295u};
        if (b < 248) return kEdges[b % 8];
        return raw32();
    }
    uint16_t column() {
        uint8_t b = byte();
        if (b < 200) return static_cast<uint16_t>(b % 12);
        static const uint16_t kEdges[] = {0, 1, 26, 27, 18278, 32768, 65534, 65535};
        if (b < 248) return kEdges[b % 8];
        return static_cast<uint16_t>(raw32());
    }

    // A text of pieces that the writer must escape or pass through, or that
    // the text-to-value rule turns into another kind.
    std::string text() {
        static const char* const kPieces[] = {
            "a", "Z", " ", "\"", "\\", "/", "\n", "\r", "\t", "\b", "\f", "\x01", "\x1f",
            "\x7f", "\x00", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xe2\x80\xa8",
            "\xc5\xbf", "1", "0", "-", "+", ".", "e", "E", "true", "FALSE", "nan", "inf",
            "007", "2147483648", "2024-02-29 23:59:60", "2024-01-05 10:00:00", "1e400",
            "-0", "u00", "\\u0041", "{", "}", "[", "]", ":", ",",
        };
        constexpr size_t kCount = sizeof kPieces / sizeof kPieces[0];
        size_t len = byte() % 10;
        std::string t;
        for (size_t k = 0; k < len; ++k) {
            uint8_t b = byte();
            if (b < 2 * kCount) {
                const char* piece = kPieces[b % kCount];
                // The NUL piece is one byte long.
                t.append(piece, *piece ? std::strlen(piece) : 1);
            } else if (b >= 0x20 && b < 0x7f) {
                t += static_cast<char>(b);
            } else {
                t.append(std::string(20 + b % 40, 'x'));  // past the inline slot
            }
        }
        return t;
    }

    double number() {
        uint8_t b = byte();
        static const double kEdges[] = {0.0, -0.0, 1.0, 0.1, 22.5, 20.0, 1e16, 1e15 + 0.5,
                                        1.5e-7, 0.0001, 0.00001, 123456789012345678.0,
                                        5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                                        -1.7976931348623157e308, NAN, -NAN, INFINITY,
                                        -INFINITY, 2147483648.0, -2147483649.0, 1e21, 1e-7,
                                        9007199254740993.0, 0.30000000000000004};
        constexpr size_t kCount = sizeof kEdges / sizeof kEdges[0];
        if (b < 4 * kCount) return kEdges[b % kCount];
        uint64_t bits = raw64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

private:
    const uint8_t* p_;
    size_t n_;
    size_t i_ = 0;
};

// ---- the model ----

struct ModelValue {
    ValueKind kind = ValueKind::Empty;
    std::string text;
    double number = 0;
    int32_t integer = 0;
    bool boolean = false;
    DateTime datetime;

    static ModelValue of(const ValueView& v) {
        ModelValue m;
        m.kind = v.kind;
        switch (v.kind) {
            case ValueKind::Text: m.text.assign(v.text); break;
            case ValueKind::Number: m.number = v.number; break;
            case ValueKind::Integer: m.integer = v.integer; break;
            case ValueKind::Bool: m.boolean = v.boolean; break;
            case ValueKind::DateTime: m.datetime = v.datetime; break;
            case ValueKind::Empty: break;
        }
        return m;
    }
};

struct ModelCell {
    ModelValue value;
    std::optional<std::string> formula, style, hidden;
    std::string data_type = "s";
    int tables = 0;  // how many model sheets hold it
};

struct ModelComment {
    uint32_t row;
    uint16_t column;
    std::string author, text;
};

struct ModelSheet {
    std::string name, state;
    std::vector<MergedRange> merges;
    std::map<uint64_t, std::shared_ptr<ModelCell>> cells;
    std::map<uint32_t, RowDimension> rows;
    std::map<uint16_t, ColumnDimension> columns;
    std::vector<std::shared_ptr<ModelComment>> comments;

    ~ModelSheet() {
        for (auto& [k, c] : cells) --c->tables;
    }
};

// One engine sheet and its model, side by side.
struct Pair {
    Ref<SheetRecord> rec;
    std::shared_ptr<ModelSheet> model;
};

struct Handle {
    Ref<CellRecord> rec;
    std::shared_ptr<ModelCell> model;
};

void set_model_value(ModelCell& c, const ValueView& v) {
    c.value = ModelValue::of(v);
    c.formula.reset();
    c.data_type = std::string(1, kind_code(v.kind));
}

std::shared_ptr<ModelSheet> copy_model(const ModelSheet& s) {
    auto c = std::make_shared<ModelSheet>();
    c->name = s.name;
    c->state = s.state;
    c->merges = s.merges;
    c->cells = s.cells;
    for (auto& [k, cell] : c->cells) ++cell->tables;
    c->rows = s.rows;
    c->columns = s.columns;
    c->comments = s.comments;
    return c;
}

// Cells of the span go; cells beyond it move back by its length. A cell that
// another sheet also holds is not moved: this sheet moves its own copy.
void delete_model_span(ModelSheet& s, bool rows, uint64_t idx, uint64_t amount) {
    if (amount == 0) return;
    uint64_t end = idx + amount;
    std::map<uint64_t, std::shared_ptr<ModelCell>> kept;
    for (auto& [key, cell] : s.cells) {
        uint64_t row = key >> 16, col = key & 0xFFFF;
        uint64_t p = rows ? row : col;
        if (p >= idx && p < end) {
            --cell->tables;
            continue;
        }
        if (p > idx) {
            std::shared_ptr<ModelCell> moved = cell;
            if (cell->tables > 1) {
                --cell->tables;
                moved = std::make_shared<ModelCell>(*cell);
                moved->tables = 1;
            }
            uint64_t nk = rows ? pack_key(static_cast<uint32_t>(row - amount),
                                          static_cast<uint16_t>(col))
                               : pack_key(static_cast<uint32_t>(row),
                                          static_cast<uint16_t>(col - amount));
            kept[nk] = moved;
        } else {
            kept[key] = cell;
        }
    }
    s.cells.swap(kept);
}

// ---- a strict reader of the compact document ----

struct Json {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool boolean = false;
    std::string text;  // a string's decoded text, or a number's token
    std::vector<Json> items;
    struct Member;
    std::vector<Member> members;  // in document order
};

struct Json::Member {
    std::string first;
    Json second;
};

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    Json document() {
        Json j = value(0);
        if (i_ != s_.size()) bad("text after the document");
        return j;
    }

private:
    [[noreturn]] void bad(const char* what) {
        fuzz::fail(what, s_.substr(i_ > 60 ? i_ - 60 : 0, 160));
    }
    char peek() { return i_ < s_.size() ? s_[i_] : '\0'; }
    void expect(char c) {
        if (peek() != c) bad("unexpected character");
        ++i_;
    }
    void word(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) bad("bad literal");
        i_ += w.size();
    }

    Json value(int depth) {
        if (depth > 16) bad("nesting deeper than a document has");
        Json j;
        char c = peek();
        if (c == '{') {
            j.type = Json::Object;
            ++i_;
            if (peek() == '}') {
                ++i_;
                return j;
            }
            for (;;) {
                if (peek() != '"') bad("object key is not a string");
                std::string key = string();
                expect(':');
                Json v = value(depth + 1);
                j.members.push_back(Json::Member{std::move(key), std::move(v)});
                if (peek() == ',') {
                    ++i_;
                    continue;
                }
                expect('}');
                return j;
            }
        }
        if (c == '[') {
            j.type = Json::Array;
            ++i_;
            if (peek() == ']') {
                ++i_;
                return j;
            }
            for (;;) {
                j.items.push_back(value(depth + 1));
                if (peek() == ',') {
                    ++i_;
                    continue;
                }
                expect(']');
                return j;
            }
        }
        if (c == '"') {
            j.type = Json::String;
            j.text = string();
            return j;
        }
        if (c == 't') {
            word("true");
            j.type = Json::Bool;
            j.boolean = true;
            return j;
        }
        if (c == 'f') {
            word("false");
            j.type = Json::Bool;
            return j;
        }
        if (c == 'n') {
            word("null");
            return j;
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            j.type = Json::Number;
            j.text = number();
            return j;
        }
        bad("no value here");
    }

    static bool digit(char c) { return c >= '0' && c <= '9'; }

    // JSON's number grammar: no plus, no leading zeros, digits after a point.
    std::string number() {
        size_t from = i_;
        if (peek() == '-') ++i_;
        if (peek() == '0') {
            ++i_;
        } else if (digit(peek()) && peek() != '0') {
            while (digit(peek())) ++i_;
        } else {
            bad("number without digits");
        }
        if (peek() == '.') {
            ++i_;
            if (!digit(peek())) bad("no digit after the point");
            while (digit(peek())) ++i_;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++i_;
            if (peek() == '+' || peek() == '-') ++i_;
            if (!digit(peek())) bad("no digit in the exponent");
            while (digit(peek())) ++i_;
        }
        return std::string(s_.substr(from, i_ - from));
    }

    // A string as the writer writes it: UTF-8 as it is, the two-character
    // escapes for " \ and five controls, \u00xx (lower-case hex) for the
    // other controls, and no other escape.
    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (i_ >= s_.size()) bad("unterminated string");
            auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                break;
            }
            if (c < 0x20) bad("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                ++i_;
                continue;
            }
            ++i_;
            char e = peek();
            ++i_;
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    std::string_view h = s_.substr(i_, 4);
                    auto hex = [](char x) {
                        return x >= '0' && x <= '9' ? x - '0' : x >= 'a' && x <= 'f' ? x - 'a' + 10 : -1;
                    };
                    if (h.size() != 4 || h[0] != '0' || h[1] != '0' || hex(h[2]) < 0 || hex(h[3]) < 0)
                        bad("\\u escape outside \\u00xx in lower case");
                    int v = hex(h[2]) * 16 + hex(h[3]);
                    if (v >= 0x20 || v == '\b' || v == '\f' || v == '\n' || v == '\r' || v == '\t')
                        bad("\\u escape for a character with a shorter form or none needed");
                    out += static_cast<char>(v);
                    i_ += 4;
                    break;
                }
                default:
                    bad("unknown escape");
            }
        }
        if (!fuzz::valid_utf8(out)) bad("string is not UTF-8");
        return out;
    }

    std::string_view s_;
    size_t i_ = 0;
};

// ---- comparing the document with the model ----

void keys_are(const Json& j, std::initializer_list<const char*> keys, std::string_view where) {
    FUZZ_CHECK(j.type == Json::Object, where);
    FUZZ_CHECK(j.members.size() == keys.size(), where);
    size_t k = 0;
    for (const char* key : keys) FUZZ_CHECK(j.members[k++].first == key, where);
}

const Json& member(const Json& j, std::string_view key) {
    for (const auto& [k, v] : j.members)
        if (k == key) return v;
    fuzz::fail("member missing", key);
}

uint64_t integer_of(const Json& j) {
    FUZZ_CHECK(j.type == Json::Number, j.text);
    FUZZ_CHECK(j.text.find_first_of(".eE-") == std::string::npos, j.text);
    FUZZ_CHECK(j.text.size() <= 10, j.text);
    return std::strtoull(j.text.c_str(), nullptr, 10);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A float: null when not finite, else a token with a point or an exponent
// that reads back as the same double.
void float_is(const Json& j, double d) {
    if (!std::isfinite(d)) {
        FUZZ_CHECK(j.type == Json::Null, j.text);
        return;
    }
    FUZZ_CHECK(j.type == Json::Number, j.text);
    FUZZ_CHECK(j.text.find_first_of(".e") != std::string::npos, j.text);
    FUZZ_CHECK(same_bits(std::strtod(j.text.c_str(), nullptr), d), j.text);
}

std::string datetime_form(const DateTime& dt) {
    char buf[64];
    int n;
    if (dt.year >= 0 && dt.year <= 9999)
        n = std::snprintf(buf, sizeof buf, "%04d", dt.year);
    else
        n = std::snprintf(buf, sizeof buf, "%c%04d", dt.year < 0 ? '-' : '+', std::abs(dt.year));
    bool leap = dt.nanos >= 1000000000u;
    n += std::snprintf(buf + n, sizeof buf - n, "-%02d-%02dT%02d:%02d:%02d", dt.month, dt.day,
                       dt.hour, dt.minute, dt.second + (leap ? 1 : 0));
    uint32_t f = dt.nanos % 1000000000u;
    if (f && f % 1000000 == 0)
        n += std::snprintf(buf + n, sizeof buf - n, ".%03u", f / 1000000);
    else if (f && f % 1000 == 0)
        n += std::snprintf(buf + n, sizeof buf - n, ".%06u", f / 1000);
    else if (f)
        n += std::snprintf(buf + n, sizeof buf - n, ".%09u", f);
    return std::string(buf, static_cast<size_t>(n));
}

void value_is(const Json& j, const ModelValue& v) {
    switch (v.kind) {
        case ValueKind::Empty:
            FUZZ_CHECK(j.type == Json::Null, j.text);
            break;
        case ValueKind::Text:
            FUZZ_CHECK(j.type == Json::String && j.text == v.text, j.text);
            break;
        case ValueKind::Number:
            float_is(j, v.number);
            break;
        case ValueKind::Integer:
            FUZZ_CHECK(j.type == Json::Number && j.text == std::to_string(v.integer), j.text);
            break;
        case ValueKind::Bool:
            FUZZ_CHECK(j.type == Json::Bool && j.boolean == v.boolean, j.text);
            break;
        case ValueKind::DateTime:
            FUZZ_CHECK(j.type == Json::String && j.text == datetime_form(v.datetime), j.text);
            break;
    }
}

void string_is(const Json& j, const std::string& s) {
    FUZZ_CHECK(j.type == Json::String && j.text == s, j.text);
}

template <class Map, class Size>
void dimensions_are(const Json& j, const Map& m, const char* members_key, const char* num_key,
                    const char* size_key, Size size_of, const char* default_key, double dflt) {
    if (m.empty()) {
        keys_are(j, {default_key}, default_key);
    } else {
        keys_are(j, {members_key, default_key}, default_key);
        const Json& all = j.members[0].second;
        FUZZ_CHECK(all.type == Json::Object && all.members.size() == m.size(), members_key);
        // The members are unordered: each key once, each matching its record.
        std::vector<std::string> seen;
        for (const auto& [key, d] : all.members) {
            seen.push_back(key);
            uint64_t num = std::strtoull(key.c_str(), nullptr, 10);
            FUZZ_CHECK(key == std::to_string(num), key);
            auto it = m.find(static_cast<typename Map::key_type>(num));
            FUZZ_CHECK(it != m.end() && it->first == num, key);
            keys_are(d, {num_key, size_key, "hidden", "collapsed", "level"}, key);
            FUZZ_CHECK(integer_of(d.members[0].second) == num, key);
            float_is(d.members[1].second, size_of(it->second));
            FUZZ_CHECK(d.members[2].second.type == Json::Bool &&
                           d.members[2].second.boolean == it->second.hidden,
                       key);
            FUZZ_CHECK(d.members[3].second.type == Json::Bool && !d.members[3].second.boolean, key);
            FUZZ_CHECK(integer_of(d.members[4].second) == 0, key);
        }
        std::sort(seen.begin(), seen.end());
        FUZZ_CHECK(std::adjacent_find(seen.begin(), seen.end()) == seen.end(), members_key);
    }
    float_is(j.members.back().second, dflt);
}

void sheet_is(const Json& j, const ModelSheet& m) {
    keys_are(j, {"name", "sheet_state", "merge_cells", "cells", "row_dimensions",
                 "column_dimensions", "comments"},
             m.name);
    string_is(j.members[0].second, m.name);
    string_is(j.members[1].second, m.state);

    const Json& merges = j.members[2].second;
    FUZZ_CHECK(merges.type == Json::Array && merges.items.size() == m.merges.size(), m.name);
    for (size_t k = 0; k < m.merges.size(); ++k) {
        const Json& e = merges.items[k];
        const MergedRange& r = m.merges[k];
        FUZZ_CHECK(e.type == Json::Array && e.items.size() == 4, m.name);
        FUZZ_CHECK(integer_of(e.items[0]) == r.start_row && integer_of(e.items[1]) == r.end_row &&
                       integer_of(e.items[2]) == r.start_col && integer_of(e.items[3]) == r.end_col,
                   m.name);
    }

    const Json& cells = j.members[3].second;
    FUZZ_CHECK(cells.type == Json::Array && cells.items.size() == m.cells.size(), m.name);
    size_t k = 0;
    for (const auto& [key, c] : m.cells) {  // the model's map is row-major
        const Json& e = cells.items[k++];
        FUZZ_CHECK(e.type == Json::Object, m.name);
        std::vector<const char*> want = {"row", "column", "value"};
        if (c->formula) want.push_back("formula");
        want.push_back("data_type");
        if (c->style) want.push_back("style_id");
        if (c->hidden) want.push_back("hidden_value");
        FUZZ_CHECK(e.members.size() == want.size(), m.name);
        for (size_t w = 0; w < want.size(); ++w) FUZZ_CHECK(e.members[w].first == want[w], m.name);
        FUZZ_CHECK(integer_of(member(e, "row")) == (key >> 16), m.name);
        FUZZ_CHECK(integer_of(member(e, "column")) == (key & 0xFFFF), m.name);
        value_is(member(e, "value"), c->value);
        if (c->formula) string_is(member(e, "formula"), *c->formula);
        string_is(member(e, "data_type"), c->data_type);
        if (c->style) string_is(member(e, "style_id"), *c->style);
        if (c->hidden) string_is(member(e, "hidden_value"), *c->hidden);
    }

    dimensions_are(j.members[4].second, m.rows, "rows", "row_num", "height",
                   [](const RowDimension& d) { return d.height; }, "default_height", 20.0);
    dimensions_are(j.members[5].second, m.columns, "columns", "col_num", "width",
                   [](const ColumnDimension& d) { return d.width; }, "default_width", 22.5);

    const Json& comments = j.members[6].second;
    FUZZ_CHECK(comments.type == Json::Array && comments.items.size() == m.comments.size(), m.name);
    for (size_t n = 0; n < m.comments.size(); ++n) {
        const Json& e = comments.items[n];
        const ModelComment& c = *m.comments[n];
        keys_are(e, {"row", "column", "author", "text"}, m.name);
        FUZZ_CHECK(integer_of(e.members[0].second) == c.row, m.name);
        FUZZ_CHECK(integer_of(e.members[1].second) == c.column, m.name);
        string_is(e.members[2].second, c.author);
        string_is(e.members[3].second, c.text);
    }
}

// ---- running a program ----

DateTime datetime_from(Input& in) {
    DateTime dt;
    uint8_t b = in.byte();
    dt.year = b < 200 ? static_cast<int16_t>(1900 + b) : static_cast<int16_t>(in.raw32());
    dt.month = static_cast<uint8_t>(1 + in.byte() % 12);
    dt.day = static_cast<uint8_t>(1 + in.byte() % 28);
    dt.hour = static_cast<uint8_t>(in.byte() % 24);
    dt.minute = static_cast<uint8_t>(in.byte() % 60);
    dt.second = static_cast<uint8_t>(in.byte() % 60);
    switch (in.byte() % 5) {
        case 0: dt.nanos = 0; break;
        case 1: dt.nanos = (in.raw32() % 1000000) * 1000; break;
        case 2: dt.nanos = in.raw32() % 1000000000u; break;
        case 3: dt.second = 59; dt.nanos = 1000000000u; break;
        default: dt.second = 59; dt.nanos = 1000000000u + (in.raw32() % 1000) * 1000000; break;
    }
    return dt;
}

void run(Input& in) {
    auto book = make_ref<BookRecord>();
    std::vector<Pair> sheets;  // the book's, in list order
    // One sheet outside the book: copies may come from it too.
    Pair loose{make_ref<SheetRecord>("loose", "visible"), std::make_shared<ModelSheet>()};
    loose.model->name = "loose";
    loose.model->state = "visible";
    std::vector<Handle> handles;

    auto pick_sheet = [&]() -> Pair& {
        size_t k = in.byte() % (sheets.size() + 1);
        return k == sheets.size() ? loose : sheets[k];
    };
    auto keep = [&](Handle h) {
        if (handles.size() == kMaxHandles) handles.erase(handles.begin());
        handles.push_back(std::move(h));
    };

    while (in.more()) {
        uint8_t op = in.byte() % 16;
        switch (op) {
            case 0: {  // add a sheet
                std::string name = in.text(), state = in.text();
                if (sheets.size() == kMaxSheets) break;
                Pair p{book->add_sheet(name, state), std::make_shared<ModelSheet>()};
                p.model->name = name;
                p.model->state = state;
                sheets.push_back(std::move(p));
                break;
            }
            case 1: {  // copy a sheet into the book
                Pair& src = pick_sheet();
                if (sheets.size() == kMaxSheets) break;
                Pair p{book->copy_sheet(*src.rec), copy_model(*src.model)};
                p.model->name = "Sheet " + std::to_string(sheets.size() + 1);
                sheets.push_back(std::move(p));
                break;
            }
            case 2:
            case 3: {  // get or create a cell, with or without a text
                Pair& s = pick_sheet();
                uint32_t row = in.row();
                uint16_t col = in.column();
                bool with_text = in.byte() % 4 != 0;
                std::string t = with_text ? in.text() : std::string();
                std::string_view tv(t);
                Ref<CellRecord> rec = s.rec->cell(row, col, with_text ? &tv : nullptr);
                auto& slot = s.model->cells[pack_key(row, col)];
                if (!slot) {
                    slot = std::make_shared<ModelCell>();
                    slot->tables = 1;
                    if (with_text) set_model_value(*slot, text_to_value(tv));
                } else if (with_text) {
                    set_model_value(*slot, text_to_value(tv));
                } else if (!(slot->formula && slot->data_type == "f")) {
                    slot->data_type = "s";
                }
                keep(Handle{rec, slot});
                break;
            }
            case 4:
            case 5: {  // a write through a held cell
                if (handles.empty()) break;
                Handle& h = handles[in.byte() % handles.size()];
                ModelCell& m = *h.model;
                switch (in.byte() % 8) {
                    case 0: {
                        double d = in.number();
                        h.rec->set_number(d);
                        ValueView v;
                        v.kind = ValueKind::Number;
                        v.number = d;
                        set_model_value(m, v);
                        break;
                    }
                    case 1: {
                        auto i = static_cast<int32_t>(in.raw32());
                        h.rec->set_integer(i);
                        ValueView v;
                        v.kind = ValueKind::Integer;
                        v.integer = i;
                        set_model_value(m, v);
                        break;
                    }
                    case 2: {
                        bool b = in.byte() & 1;
                        h.rec->set_bool(b);
                        ValueView v;
                        v.kind = ValueKind::Bool;
                        v.boolean = b;
                        set_model_value(m, v);
                        break;
                    }
                    case 3: {
                        DateTime dt = datetime_from(in);
                        h.rec->set_datetime(dt);
                        ValueView v;
                        v.kind = ValueKind::DateTime;
                        v.datetime = dt;
                        set_model_value(m, v);
                        break;
                    }
                    case 4: {
                        std::string f = in.text();
                        h.rec->set_formula(f);
                        m.formula = f;
                        m.data_type = "f";
                        break;
                    }
                    case 5: {
                        std::string st = in.text();
                        h.rec->set_style(st);
                        m.style = st;
                        break;
                    }
                    case 6: {
                        std::string hv = in.text();
                        h.rec->set_hidden_value(hv);
                        m.hidden = hv;
                        break;
                    }
                    default: {
                        std::string t = in.text();
                        h.rec->write_text(t);
                        set_model_value(m, text_to_value(t));
                        break;
                    }
                }
                break;
            }
            case 6: {  // merge
                Pair& s = pick_sheet();
                MergedRange r;
                r.start_row = in.row();
                r.end_row = in.row();
                r.start_col = in.column();
                r.end_col = in.column();
                s.rec->add_merged_range(r);
                s.model->merges.push_back(r);
                break;
            }
            case 7: {  // add a comment
                Pair& s = pick_sheet();
                uint32_t row = in.row();
                uint16_t col = in.column();
                std::string text = in.text(), author = in.text();
                s.rec->add_comment(row, col, text, author);
                s.model->comments.push_back(
                    std::make_shared<ModelComment>(ModelComment{row, col, author, text}));
                break;
            }
            case 8: {  // edit a comment (shared with copies of its sheet)
                Pair& s = pick_sheet();
                std::vector<Ref<CommentRecord>> cs = s.rec->comments();
                FUZZ_CHECK(cs.size() == s.model->comments.size(), s.model->name);
                if (cs.empty()) break;
                size_t k = in.byte() % cs.size();
                std::string t = in.text();
                if (in.byte() & 1) {
                    cs[k]->set_author(t);
                    s.model->comments[k]->author = t;
                } else {
                    cs[k]->set_text(t);
                    s.model->comments[k]->text = t;
                }
                break;
            }
            case 9:
            case 10: {  // dimensions
                Pair& s = pick_sheet();
                uint8_t which = in.byte() % 4;
                if (which < 2) {
                    uint32_t row = in.row();
                    auto [it, added] = s.model->rows.try_emplace(row);
                    if (added) it->second.row_num = row;
                    if (which == 0) {
                        double h = in.number();
                        s.rec->set_row_height(row, h);
                        it->second.height = h;
                    } else {
                        bool b = in.byte() & 1;
                        s.rec->set_row_hidden(row, b);
                        it->second.hidden = b;
                    }
                } else {
                    uint16_t col = in.column();
                    auto [it, added] = s.model->columns.try_emplace(col);
                    if (added) it->second.col_num = col;
                    if (which == 2) {
                        double w = in.number();
                        s.rec->set_column_width(col, w);
                        it->second.width = w;
                    } else {
                        bool b = in.byte() & 1;
                        s.rec->set_column_hidden(col, b);
                        it->second.hidden = b;
                    }
                }
                break;
            }
            case 11:
            case 12: {  // delete rows or columns
                Pair& s = pick_sheet();
                if (op == 11) {
                    uint32_t idx = in.row(), amount = in.row();
                    s.rec->delete_rows(idx, amount);
                    delete_model_span(*s.model, true, idx, amount);
                } else {
                    uint16_t idx = in.column(), amount = in.column();
                    s.rec->delete_columns(idx, amount);
                    delete_model_span(*s.model, false, idx, amount);
                }
                break;
            }
            case 13: {  // rename or restate
                Pair& s = pick_sheet();
                std::string t = in.text();
                if (in.byte() & 1) {
                    s.rec->set_name(t);
                    s.model->name = t;
                } else {
                    s.rec->set_state(t);
                    s.model->state = t;
                }
                break;
            }
            case 14: {  // reads that must agree with the model
                Pair& s = pick_sheet();
                uint32_t row = in.row();
                uint16_t col = in.column();
                auto it = s.model->cells.find(pack_key(row, col));
                Ref<CellRecord> rec = s.rec->find_cell(row, col);
                FUZZ_CHECK((it != s.model->cells.end()) == static_cast<bool>(rec), s.model->name);
                FUZZ_CHECK(s.rec->cell_count() == s.model->cells.size(), s.model->name);
                if (rec) {
                    Coordinate c = rec->coordinate();
                    FUZZ_CHECK(c.row == row && c.column == col, s.model->name);
                    FUZZ_CHECK(rec->data_type() == it->second->data_type, s.model->name);
                }
                std::string shown;
                if (it != s.model->cells.end()) {
                    const ModelValue& mv = it->second->value;
                    ValueView v;
                    v.kind = mv.kind;
                    switch (mv.kind) {
                        case ValueKind::Text: v.text = mv.text; break;
                        case ValueKind::Number: v.number = mv.number; break;
                        case ValueKind::Integer: v.integer = mv.integer; break;
                        case ValueKind::Bool: v.boolean = mv.boolean; break;
                        case ValueKind::DateTime: v.datetime = mv.datetime; break;
                        case ValueKind::Empty: break;
                    }
                    char buf[kValueTextBuffer];
                    shown = std::string(value_text(v, buf));
                }
                FUZZ_CHECK(s.rec->value_text_at(row, col) == shown, shown);
                // Row-major listing and the highest row and column in use.
                std::vector<Ref<CellRecord>> listed = s.rec->cells();
                FUZZ_CHECK(listed.size() == s.model->cells.size(), s.model->name);
                uint32_t max_row = 0;
                uint16_t max_col = 0;
                size_t n = 0;
                for (const auto& [key, cell] : s.model->cells) {
                    FUZZ_CHECK(pack_key(listed[n++]->coordinate()) == key, s.model->name);
                    max_row = std::max(max_row, static_cast<uint32_t>(key >> 16));
                    max_col = std::max(max_col, static_cast<uint16_t>(key & 0xFFFF));
                }
                FUZZ_CHECK(s.rec->max_row() == max_row && s.rec->max_column() == max_col,
                           s.model->name);
                break;
            }
            default: {  // drop a held cell
                if (!handles.empty()) handles.erase(handles.begin() + in.byte() % handles.size());
                break;
            }
        }
    }

    Result<std::string> doc = book->to_json();
    FUZZ_CHECK(doc.ok(), doc.ok() ? std::string_view() : doc.error().message);
    const std::string& text = doc.value();
    // The same book gives the same text.
    Result<std::string> again = book->to_json();
    FUZZ_CHECK(again.ok() && again.value() == text, text);

    Json j = Reader(text).document();
    keys_are(j, {"sheets"}, text);
    const Json& list = j.members[0].second;
    FUZZ_CHECK(list.type == Json::Array && list.items.size() == sheets.size(), text);
    for (size_t k = 0; k < sheets.size(); ++k) sheet_is(list.items[k], *sheets[k].model);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_ALL, "C");  // strtod reads a point
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    Input in(data, size);
    run(in);
    return 0;
}
