// The document of a book, walked once in its fixed shape: key order, omitted
// keys, value kinds, and "rows"/"columns" members in ascending number.
//
// The walk is written once and drives any sink: the JSON text writer, or a
// builder of other objects. A sink provides
//   begin_object() end_object() begin_array(size_hint) end_array()
//   key(DocKey, bool first)              a member of the open object
//   number_key(uint32_t, bool first)     a member named by a decimal number
//   element(bool first)                  the next item of the open array
//   null() text(sv) integer(int64) number(double, finite) boolean(bool)
//   datetime(const DateTime&)
// Non-finite numbers reach the sink as null().
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

#include "book.hpp"

namespace brindel {

enum class DocKey : uint8_t {
    sheets,
    name,
    sheet_state,
    merge_cells,
    cells,
    row_dimensions,
    column_dimensions,
    comments,
    row,
    column,
    value,
    formula,
    data_type,
    style_id,
    hidden_value,
    rows,
    columns,
    row_num,
    col_num,
    height,
    width,
    hidden,
    collapsed,
    level,
    default_height,
    default_width,
    author,
    text,
    count_
};

inline constexpr std::string_view kDocKeyNames[] = {
    "sheets",    "name",         "sheet_state",    "merge_cells",   "cells",
    "row_dimensions", "column_dimensions", "comments", "row",       "column",
    "value",     "formula",      "data_type",      "style_id",      "hidden_value",
    "rows",      "columns",      "row_num",        "col_num",       "height",
    "width",     "hidden",       "collapsed",      "level",         "default_height",
    "default_width", "author",   "text",
};
static_assert(sizeof(kDocKeyNames) / sizeof(kDocKeyNames[0]) ==
              static_cast<size_t>(DocKey::count_));

namespace document_detail {

template <class Sink>
void real(Sink& s, double d) {
    if (std::isfinite(d))
        s.number(d);
    else
        s.null();
}

template <class Sink>
void value(Sink& s, const ValueView& v) {
    switch (v.kind) {
        case ValueKind::Empty: s.null(); break;
        case ValueKind::Text: s.text(v.text); break;
        case ValueKind::Number: real(s, v.number); break;
        case ValueKind::Integer: s.integer(v.integer); break;
        case ValueKind::Bool: s.boolean(v.boolean); break;
        case ValueKind::DateTime: s.datetime(v.datetime); break;
    }
}

template <class Sink>
void cells(Sink& s, const SheetRecord& sheet) {
    const std::vector<CellRecord*>& order = sheet.row_major_unlocked();
    s.begin_array(order.size());
    bool first = true;
    for (const CellRecord* r : order) {
        uint64_t key = r->key_unlocked();
        s.element(first);
        first = false;
        r->with_fields([&](const ValueView& v, const std::string* formula, std::string_view dt,
                           const std::string* style, const std::string* hidden) {
            s.begin_object();
            s.key(DocKey::row, true);
            s.integer(static_cast<uint32_t>(key >> 16));
            s.key(DocKey::column, false);
            s.integer(static_cast<uint16_t>(key & 0xFFFF));
            s.key(DocKey::value, false);
            value(s, v);
            if (formula) {
                s.key(DocKey::formula, false);
                s.text(*formula);
            }
            s.key(DocKey::data_type, false);
            s.text(dt);
            if (style) {
                s.key(DocKey::style_id, false);
                s.text(*style);
            }
            if (hidden) {
                s.key(DocKey::hidden_value, false);
                s.text(*hidden);
            }
            s.end_object();
        });
    }
    s.end_array();
}

// {"rows":{"3":{"row_num":3,"height":..,"hidden":..,"collapsed":..,"level":..}},"default_height":..}
// and the same shape for columns; "rows" is left out when there is none.
template <class Sink, class Map, class Size>
void dimensions(Sink& s, const Map& m, DocKey members, DocKey num_key, DocKey size_key,
                Size size_of, DocKey default_key, double default_value) {
    s.begin_object();
    bool first = true;
    if (!m.empty()) {
        s.key(members, true);
        first = false;
        s.begin_object();
        bool first_member = true;
        for (const auto& [num, d] : m) {
            s.number_key(num, first_member);
            first_member = false;
            s.begin_object();
            s.key(num_key, true);
            s.integer(num);
            s.key(size_key, false);
            real(s, size_of(d));
            s.key(DocKey::hidden, false);
            s.boolean(d.hidden);
            s.key(DocKey::collapsed, false);
            s.boolean(d.collapsed);
            s.key(DocKey::level, false);
            s.integer(d.level);
            s.end_object();
        }
        s.end_object();
    }
    s.key(default_key, first);
    real(s, default_value);
    s.end_object();
}

template <class Sink>
void sheet(Sink& s, const SheetRecord& sh) {
    SharedLock g(sh.lock());
    s.begin_object();
    s.key(DocKey::name, true);
    s.text(sh.name_unlocked());
    s.key(DocKey::sheet_state, false);
    s.text(sh.state_unlocked());
    s.key(DocKey::merge_cells, false);
    s.begin_array(sh.merges_unlocked().size());
    bool first = true;
    for (const MergedRange& m : sh.merges_unlocked()) {
        s.element(first);
        first = false;
        s.begin_array(4);
        s.element(true);
        s.integer(m.start_row);
        s.element(false);
        s.integer(m.end_row);
        s.element(false);
        s.integer(m.start_col);
        s.element(false);
        s.integer(m.end_col);
        s.end_array();
    }
    s.end_array();
    s.key(DocKey::cells, false);
    cells(s, sh);
    s.key(DocKey::row_dimensions, false);
    dimensions(s, sh.rows_unlocked(), DocKey::rows, DocKey::row_num, DocKey::height,
               [](const RowDimension& d) { return d.height; }, DocKey::default_height,
               sh.default_height());
    s.key(DocKey::column_dimensions, false);
    dimensions(s, sh.columns_unlocked(), DocKey::columns, DocKey::col_num, DocKey::width,
               [](const ColumnDimension& d) { return d.width; }, DocKey::default_width,
               sh.default_width());
    s.key(DocKey::comments, false);
    s.begin_array(sh.comments_unlocked().size());
    first = true;
    for (const auto& c : sh.comments_unlocked()) {
        s.element(first);
        first = false;
        Coordinate at = c->coordinate();
        s.begin_object();
        s.key(DocKey::row, true);
        s.integer(at.row);
        s.key(DocKey::column, false);
        s.integer(at.column);
        c->with_fields([&](std::string_view author, std::string_view text) {
            s.key(DocKey::author, false);
            s.text(author);
            s.key(DocKey::text, false);
            s.text(text);
        });
        s.end_object();
    }
    s.end_array();
    s.end_object();
}

}  // namespace document_detail

// The caller holds the book's read lock; each sheet's read lock and one cell
// or comment lock at a time are taken inside. Whatever the sink throws passes
// through with every lock released.
template <class Sink>
void walk_document(const BookRecord& book, Sink& s) {
    s.begin_object();
    s.key(DocKey::sheets, true);
    s.begin_array(book.sheets_unlocked().size());
    bool first = true;
    for (const auto& sh : book.sheets_unlocked()) {
        s.element(first);
        first = false;
        document_detail::sheet(s, *sh);
    }
    s.end_array();
    s.end_object();
}

}  // namespace brindel
