// Cell records, sheet contents, dimensions, row and column deletion, the cell
// table, and the book's sheet list with its copies.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "book.hpp"
#include "cell_table.hpp"
#include "sheet.hpp"

namespace brindel {
namespace {

Ref<SheetRecord> new_sheet(std::string name = "S") {
    return make_ref<SheetRecord>(std::move(name), "visible");
}

Ref<CellRecord> put(SheetRecord& s, uint32_t row, uint16_t col, std::string_view text) {
    return s.cell(row, col, &text);
}

Ref<CellRecord> touch(SheetRecord& s, uint32_t row, uint16_t col) {
    return s.cell(row, col, nullptr);
}

std::string at(const Coordinate& c) { return debug_form(c); }

// Every cell is listed once, in row-major order, and is found under the very
// position its record holds.
void expect_consistent(const SheetRecord& s) {
    std::vector<Ref<CellRecord>> cells = s.cells();
    EXPECT_EQ(cells.size(), s.cell_count());
    for (size_t i = 0; i < cells.size(); ++i) {
        Coordinate c = cells[i]->coordinate();
        EXPECT_EQ(s.find_cell(c.row, c.column).get(), cells[i].get()) << at(c);
        if (i > 0) {
            EXPECT_LT(pack_key(cells[i - 1]->coordinate()), pack_key(c)) << at(c);
        }
    }
}

// What a reader of the sheet sees: each listed record with its position and
// fields, in listing order.
struct Seen {
    const CellRecord* record;
    uint64_t key;
    std::string value;
    std::string data_type;
    std::optional<std::string> formula, style, hidden;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> seen(const SheetRecord& s) {
    std::vector<Seen> out;
    for (const auto& c : s.cells())
        out.push_back({c.get(), pack_key(c->coordinate()), c->value_text(), c->data_type(),
                       c->formula(), c->style(), c->hidden_value()});
    return out;
}

std::vector<std::pair<std::string, std::string>> layout(const SheetRecord& s) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& c : s.cells()) out.emplace_back(at(c->coordinate()), c->value_text());
    return out;
}

// ---- cell records ----

TEST(CellRecord, CreationAndValueWrites) {
    CellRef blank = CellRecord::create({2, 3}, nullptr);
    EXPECT_EQ(blank->kind(), ValueKind::Empty);
    EXPECT_EQ(blank->data_type(), "s");
    EXPECT_EQ(blank->value_text(), "");
    EXPECT_FALSE(blank->formula());
    EXPECT_FALSE(blank->style());
    EXPECT_FALSE(blank->hidden_value());
    EXPECT_EQ(at(blank->coordinate()), at({2, 3}));

    struct Case {
        const char* text;
        ValueKind kind;
        const char* code;
        const char* shown;
    } cases[] = {
        {"", ValueKind::Empty, "s", ""},
        {"abc", ValueKind::Text, "s", "abc"},
        {"12", ValueKind::Integer, "n", "12"},
        {"2147483648", ValueKind::Number, "n", "2147483648"},
        {"1.5", ValueKind::Number, "n", "1.5"},
        {"TRUE", ValueKind::Bool, "b", "true"},
        {"2024-01-05 10:00:00", ValueKind::DateTime, "d", "2024-01-05 10:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string_view t = c.text;
        CellRef made = CellRecord::create({1, 1}, &t);
        CellRef written = CellRecord::create({1, 1}, nullptr);
        written->set_formula("=A1");
        written->write_text(t);
        for (const CellRef& r : {made, written}) {
            EXPECT_EQ(r->kind(), c.kind);
            EXPECT_EQ(r->data_type(), c.code);
            EXPECT_EQ(r->value_text(), c.shown);
            EXPECT_FALSE(r->formula());
            EXPECT_FALSE(r->is_formula());
        }
    }
}

TEST(CellRecord, TypedWritesClearTheFormulaAndSetTheCode) {
    std::string_view five = "5";
    CellRef r = CellRecord::create({1, 1}, &five);
    r->set_formula("=2+3");
    EXPECT_EQ(r->formula(), "=2+3");
    EXPECT_EQ(r->data_type(), "f");
    EXPECT_TRUE(r->is_formula());
    EXPECT_EQ(r->value_text(), "5");  // the value stays beside the formula
    EXPECT_EQ(r->kind(), ValueKind::Integer);

    r->set_bool(true);
    EXPECT_FALSE(r->formula());
    EXPECT_FALSE(r->is_formula());
    EXPECT_EQ(r->data_type(), "b");
    EXPECT_EQ(r->value_text(), "true");

    r->set_formula("");
    EXPECT_TRUE(r->is_formula());  // an empty formula is still a formula
    EXPECT_EQ(r->formula(), "");

    r->set_number(3.0);
    EXPECT_EQ(r->kind(), ValueKind::Number);
    EXPECT_EQ(r->data_type(), "n");
    EXPECT_EQ(r->value_text(), "3");
    EXPECT_FALSE(r->formula());

    r->set_formula("=1");
    r->set_integer(-7);
    EXPECT_EQ(r->kind(), ValueKind::Integer);
    EXPECT_EQ(r->data_type(), "n");
    EXPECT_EQ(r->value_text(), "-7");
    EXPECT_FALSE(r->formula());

    r->set_formula("=NOW()");
    r->set_datetime(DateTime{2024, 3, 7, 9, 5, 0, 250000000});
    EXPECT_EQ(r->kind(), ValueKind::DateTime);
    EXPECT_EQ(r->data_type(), "d");
    EXPECT_EQ(r->value_text(), "2024-03-07 09:05:00.250");
    EXPECT_FALSE(r->formula());
    r->set_datetime(DateTime{2024, 3, 7, 9, 5, 0, 123456000});
    EXPECT_EQ(r->value_text(), "2024-03-07 09:05:00.123456");
}

TEST(CellRecord, StyleAndHiddenValueStayThroughEveryWrite) {
    CellRef r = CellRecord::create({1, 1}, nullptr);
    r->set_style("bold");
    r->set_hidden_value("secret");
    EXPECT_EQ(r->kind(), ValueKind::Empty);
    EXPECT_EQ(r->data_type(), "s");
    EXPECT_FALSE(r->formula());

    r->write_text("12");
    r->set_formula("=A2");
    r->set_number(1.5);
    r->set_bool(false);
    r->set_integer(1);
    r->set_datetime(DateTime{2020, 1, 1, 0, 0, 0, 0});
    r->reset_code();
    EXPECT_EQ(r->style(), "bold");
    EXPECT_EQ(r->hidden_value(), "secret");

    // Style and hidden writes leave value, formula and code alone.
    r->set_formula("=B1");
    r->set_style("");
    r->set_hidden_value("");
    EXPECT_EQ(r->style(), "");
    EXPECT_EQ(r->hidden_value(), "");
    EXPECT_EQ(r->formula(), "=B1");
    EXPECT_EQ(r->data_type(), "f");
    EXPECT_EQ(r->value_text(), "2020-01-01 00:00:00");
}

// Texts on either side of the inline limit keep their bytes when the record
// gains its out-of-line fields, is written again and is duplicated.
TEST(CellRecord, TextsSurviveEveryChangeOfStorage) {
    const std::string texts[] = {
        "twelve bytes",                      // exactly inline
        "thirteen byte",                     // one past it
        std::string(1000, 'x') + "\xC3\xA9",  // long, non-ASCII at the end
        std::string("a\0b", 3),              // an embedded NUL
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(t.size());
        std::string_view v = t;
        CellRef r = CellRecord::create({4, 5}, &v);
        ASSERT_EQ(r->kind(), ValueKind::Text);
        EXPECT_EQ(r->value_text(), t);
        r->set_style("st");  // moves the value out of line
        EXPECT_EQ(r->value_text(), t);
        r->set_formula("=F");
        EXPECT_EQ(r->value_text(), t);

        CellRef d = r->duplicate();
        EXPECT_NE(d.get(), r.get());
        EXPECT_EQ(d->value_text(), t);
        EXPECT_EQ(d->formula(), "=F");
        EXPECT_EQ(d->style(), "st");
        EXPECT_EQ(d->data_type(), "f");
        EXPECT_TRUE(d->is_formula());
        EXPECT_EQ(at(d->coordinate()), at({4, 5}));

        // The duplicate owns its text: changing the original leaves it.
        r->write_text(t + t);
        EXPECT_EQ(r->value_text(), t + t);
        EXPECT_EQ(d->value_text(), t);
        r->write_text("short");
        EXPECT_EQ(r->value_text(), "short");
        d->write_text(t);
        EXPECT_EQ(d->value_text(), t);

        CellContents c = d->contents();
        EXPECT_EQ(c.value().kind, ValueKind::Text);
        EXPECT_EQ(c.value().text, t);
        EXPECT_EQ(c.data_type, "s");
        EXPECT_EQ(c.style, "st");
        CellContents moved = std::move(c);
        EXPECT_EQ(moved.value().text, t);
    }
}

TEST(CellRecord, FormulaCellNeedsBothFormulaAndCode) {
    ValueView five;
    five.kind = ValueKind::Integer;
    five.integer = 5;
    struct Case {
        std::optional<std::string_view> formula;
        std::string_view code;
        bool is_formula;
    } cases[] = {
        {"=A1", "f", true},
        {"", "f", true},
        {"=A1", "n", false},
        {std::nullopt, "f", false},
        {"=A1", "formula", false},
    };
    for (const auto& c : cases) {
        CellRef r = CellRecord::create_snapshot({1, 1}, five, c.formula, c.code, std::nullopt);
        EXPECT_EQ(r->is_formula(), c.is_formula) << c.code;
        EXPECT_EQ(r->data_type(), c.code);
        EXPECT_TRUE(r->frozen());
        EXPECT_EQ(r->value_text(), "5");
    }
}

// Readers on other threads see each write whole: never a new value beside an
// old code, and never a text that is being replaced.
TEST(CellRecord, ConcurrentReadersSeeWholeWrites) {
    const std::string long_text(200, 'L');
    std::string_view first = "12";
    CellRef r = CellRecord::create({1, 1}, &first);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    auto reader = [&] {
        char buf[kValueTextBuffer];
        while (!stop.load(std::memory_order_relaxed)) {
            r->with_fields([&](const ValueView& v, const std::string* f, std::string_view dt,
                               const std::string*, const std::string*) {
                std::string_view shown = value_text(v, buf);
                bool ok = (v.kind == ValueKind::Integer && dt == "n" && shown == "12" && !f) ||
                          (v.kind == ValueKind::Text && dt == "s" && shown == long_text && !f) ||
                          (v.kind == ValueKind::Text && dt == "f" && shown == long_text && f &&
                           *f == "=F");
                if (!ok) bad.fetch_add(1);
            });
        }
    };
    std::thread a(reader), b(reader);
    for (int i = 0; i < 20000; ++i) {
        r->write_text(long_text);
        if (i % 2) r->set_formula("=F");
        r->write_text("12");
    }
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(SheetCells, ConcurrentListingWhileCellsAreAdded) {
    auto s = new_sheet();
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread lister([&] {
        size_t last = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            auto cells = s->cells();
            // Cells are only added, row by row: a listing is a prefix.
            for (size_t i = 0; i < cells.size(); ++i)
                if (cells[i]->coordinate().row != i) bad.fetch_add(1);
            if (cells.size() < last) bad.fetch_add(1);
            last = cells.size();
            if (s->max_row() + 1 < cells.size()) bad.fetch_add(1);
        }
    });
    for (uint32_t r = 0; r < 20000; ++r) put(*s, r, 1, "x");
    stop = true;
    lister.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(s->cell_count(), 20000u);
}

// ---- sheet contents ----

TEST(SheetCells, GetOrCreateAndCodeReset) {
    auto s = new_sheet();
    CellRef a = touch(*s, 2, 3);
    EXPECT_EQ(a->kind(), ValueKind::Empty);
    EXPECT_EQ(a->data_type(), "s");
    EXPECT_EQ(s->cell_count(), 1u);
    CellRef b = touch(*s, 2, 3);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(s->cell_count(), 1u);

    // A value write on an existing cell changes the same record.
    CellRef c = put(*s, 2, 3, "12");
    EXPECT_EQ(c.get(), a.get());
    EXPECT_EQ(a->kind(), ValueKind::Integer);
    EXPECT_EQ(a->data_type(), "n");

    // Read without a value: the code drops to "s", the value stays.
    touch(*s, 2, 3);
    EXPECT_EQ(a->kind(), ValueKind::Integer);
    EXPECT_EQ(a->value_text(), "12");
    EXPECT_EQ(a->data_type(), "s");

    // A formula cell keeps its code.
    a->set_formula("=1+1");
    touch(*s, 2, 3);
    EXPECT_EQ(a->data_type(), "f");
    EXPECT_TRUE(a->is_formula());

    // A value write on a formula cell clears the formula; the style stays.
    a->set_style("st");
    put(*s, 2, 3, "abc");
    EXPECT_EQ(a->kind(), ValueKind::Text);
    EXPECT_EQ(a->data_type(), "s");
    EXPECT_FALSE(a->formula());
    EXPECT_EQ(a->style(), "st");
    EXPECT_EQ(s->cell_count(), 1u);

    // Row 0 and column 0 are ordinary positions.
    CellRef z = put(*s, 0, 0, "origin");
    EXPECT_NE(z.get(), a.get());
    EXPECT_EQ(s->value_text_at(0, 0), "origin");
    EXPECT_EQ(s->cell_count(), 2u);
}

TEST(SheetCells, ValueTextAtCreatesNothing) {
    auto s = new_sheet();
    EXPECT_EQ(s->value_text_at(1, 1), "");
    EXPECT_EQ(s->cell_count(), 0u);
    EXPECT_FALSE(s->find_cell(1, 1));
    put(*s, 1, 1, "1.50");
    EXPECT_EQ(s->value_text_at(1, 1), "1.5");
    EXPECT_EQ(s->value_text_at(1, 2), "");
    EXPECT_EQ(s->value_text_at(2, 1), "");
    EXPECT_EQ(s->cell_count(), 1u);
}

TEST(SheetCells, MaxRowAndColumn) {
    auto s = new_sheet();
    EXPECT_EQ(s->max_row(), 0u);
    EXPECT_EQ(s->max_column(), 0u);
    touch(*s, 0, 0);
    EXPECT_EQ(s->max_row(), 0u);
    EXPECT_EQ(s->max_column(), 0u);
    touch(*s, 7, 2);  // an empty cell counts too
    put(*s, 3, 9, "x");
    EXPECT_EQ(s->max_row(), 7u);
    EXPECT_EQ(s->max_column(), 9u);
    touch(*s, 4294967295u, 1);
    touch(*s, 1, 65535);
    EXPECT_EQ(s->max_row(), 4294967295u);
    EXPECT_EQ(s->max_column(), 65535u);
}

TEST(SheetCells, ListedRowMajorWhateverTheInsertionOrder) {
    auto s = new_sheet();
    touch(*s, 5, 1);
    touch(*s, 1, 2);
    touch(*s, 1, 1);
    std::vector<std::string> got;
    for (const auto& c : s->cells()) got.push_back(at(c->coordinate()));
    EXPECT_EQ(got, (std::vector<std::string>{at({1, 1}), at({1, 2}), at({5, 1})}));

    // Many positions, extremes included, in random order.
    auto big = new_sheet();
    std::mt19937 rng(11);
    std::set<uint64_t> keys;
    std::vector<Coordinate> extremes = {{0, 0}, {0, 65535}, {1, 0}, {4294967295u, 0},
                                        {4294967295u, 65535}, {65536, 1}, {1, 65535}};
    for (auto c : extremes) {
        touch(*big, c.row, c.column);
        keys.insert(pack_key(c));
    }
    for (int i = 0; i < 5000; ++i) {
        Coordinate c{static_cast<uint32_t>(rng() % 300), static_cast<uint16_t>(rng() % 300)};
        if (i % 5 == 0) c.row = static_cast<uint32_t>(rng());
        touch(*big, c.row, c.column);
        keys.insert(pack_key(c));
    }
    std::vector<uint64_t> listed;
    for (const auto& c : big->cells()) listed.push_back(pack_key(c->coordinate()));
    EXPECT_EQ(listed, std::vector<uint64_t>(keys.begin(), keys.end()));
    expect_consistent(*big);
}

TEST(SheetMerges, KeptExactlyAsGiven) {
    auto s = new_sheet();
    EXPECT_TRUE(s->merged_ranges().empty());
    s->add_merged_range({5, 2, 4, 1});  // start after end
    s->add_merged_range({1, 1, 1, 3});
    s->add_merged_range({5, 2, 4, 1});  // a duplicate
    s->add_merged_range({4294967295u, 0, 65535, 0});
    auto m = s->merged_ranges();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].start_row, 5u);
    EXPECT_EQ(m[0].end_row, 2u);
    EXPECT_EQ(m[0].start_col, 4u);
    EXPECT_EQ(m[0].end_col, 1u);
    EXPECT_EQ(m[1].end_col, 3u);
    EXPECT_EQ(m[2].start_row, 5u);
    EXPECT_EQ(m[3].start_row, 4294967295u);
    EXPECT_EQ(m[3].start_col, 65535u);
    EXPECT_EQ(s->cell_count(), 0u);
}

TEST(SheetComments, ListedInOrderAndSharedAsRecords) {
    auto s = new_sheet();
    s->add_comment(3, 2, "first", "Ann");
    s->add_comment(3, 2, "second", "Bob");
    s->add_comment(0, 0, "", "");
    EXPECT_EQ(s->cell_count(), 0u);  // comments need no cell
    auto cs = s->comments();
    ASSERT_EQ(cs.size(), 3u);
    EXPECT_EQ(cs[0]->text(), "first");
    EXPECT_EQ(cs[0]->author(), "Ann");
    EXPECT_EQ(cs[1]->text(), "second");
    EXPECT_EQ(cs[1]->author(), "Bob");
    EXPECT_EQ(at(cs[1]->coordinate()), at({3, 2}));
    EXPECT_EQ(cs[2]->text(), "");

    cs[0]->set_text("changed");
    cs[0]->set_author("Cy");
    auto again = s->comments();
    EXPECT_EQ(again[0].get(), cs[0].get());
    EXPECT_EQ(again[0]->text(), "changed");
    EXPECT_EQ(again[0]->author(), "Cy");
}

TEST(SheetNameAndState, StoredUnchanged) {
    auto s = make_ref<SheetRecord>("", "hidden");
    EXPECT_EQ(s->name(), "");
    EXPECT_EQ(s->state(), "hidden");
    for (const char* st : {"", "veryHidden", "visible", " odd state "}) {
        s->set_state(st);
        EXPECT_EQ(s->state(), st);
    }
    s->set_name("R\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(s->name(), "R\xC3\xA9sum\xC3\xA9");
}

// ---- dimensions ----

TEST(SheetDimensions, DefaultsAndRecords) {
    auto s = new_sheet();
    EXPECT_EQ(s->default_height(), 20.0);
    EXPECT_EQ(s->default_width(), 22.5);
    for (uint32_t r : {0u, 1u, 4294967295u}) {
        EXPECT_EQ(s->row_height(r), 20.0);
        EXPECT_FALSE(s->row_hidden(r));
    }
    for (uint16_t c : {0, 1, 65535}) {
        EXPECT_EQ(s->column_width(c), 22.5);
        EXPECT_FALSE(s->column_hidden(c));
    }
    EXPECT_TRUE(s->rows_unlocked().empty());  // reading created nothing
    EXPECT_TRUE(s->columns_unlocked().empty());

    s->set_row_height(3, 35.5);
    EXPECT_EQ(s->row_height(3), 35.5);
    EXPECT_EQ(s->row_height(4), 20.0);
    EXPECT_FALSE(s->row_hidden(3));

    s->set_column_hidden(2, true);
    EXPECT_EQ(s->column_width(2), 22.5);
    EXPECT_TRUE(s->column_hidden(2));

    // Setting a flag to false still makes a record, with the default height.
    s->set_row_hidden(5, false);
    ASSERT_EQ(s->rows_unlocked().count(5), 1u);
    const RowDimension& r5 = s->rows_unlocked().at(5);
    EXPECT_EQ(r5.row_num, 5u);
    EXPECT_EQ(r5.height, 20.0);
    EXPECT_FALSE(r5.hidden);
    EXPECT_FALSE(r5.collapsed);
    EXPECT_EQ(r5.level, 0u);

    // Hiding keeps the height; setting the height keeps the flag.
    s->set_row_hidden(3, true);
    EXPECT_EQ(s->row_height(3), 35.5);
    s->set_row_height(3, 20.0);
    EXPECT_TRUE(s->row_hidden(3));
    s->set_column_width(2, 8.0);
    EXPECT_TRUE(s->column_hidden(2));
    s->set_column_hidden(2, false);
    EXPECT_EQ(s->column_width(2), 8.0);
    ASSERT_EQ(s->columns_unlocked().count(2), 1u);
    EXPECT_EQ(s->columns_unlocked().at(2).col_num, 2u);

    // Stored as given: row 0, negative, not-a-number, infinite.
    s->set_row_height(0, 0.0);
    s->set_column_width(0, -1.0);
    s->set_column_width(65535, NAN);
    s->set_row_height(4294967295u, HUGE_VAL);
    EXPECT_EQ(s->row_height(0), 0.0);
    EXPECT_EQ(s->column_width(0), -1.0);
    EXPECT_TRUE(std::isnan(s->column_width(65535)));
    EXPECT_EQ(s->row_height(4294967295u), HUGE_VAL);

    std::vector<uint32_t> rows;
    for (const auto& [k, d] : s->rows_unlocked()) {
        EXPECT_EQ(k, d.row_num);
        rows.push_back(k);
    }
    EXPECT_EQ(rows, (std::vector<uint32_t>{0, 3, 5, 4294967295u}));
    EXPECT_EQ(s->cell_count(), 0u);
}

// ---- deletion ----

struct SpanCase {
    const char* name;
    std::vector<uint32_t> at;  // rows (or columns) holding one cell each
    uint32_t idx, amount;
    std::vector<int64_t> moved;  // where each cell ends up; -1: removed
};

// Runs one deletion case along rows or columns. The other number of each
// cell varies, and must never change.
template <bool Rows>
void run_span(const SpanCase& c) {
    SCOPED_TRACE(c.name);
    auto s = new_sheet();
    std::vector<CellRef> held;
    std::vector<Coordinate> before;
    for (size_t i = 0; i < c.at.size(); ++i) {
        uint32_t other = 1 + static_cast<uint32_t>(i % 3);
        Coordinate p = Rows ? Coordinate{c.at[i], static_cast<uint16_t>(other)}
                            : Coordinate{other, static_cast<uint16_t>(c.at[i])};
        before.push_back(p);
        held.push_back(put(*s, p.row, p.column, "cell " + std::to_string(i)));
    }
    if (Rows)
        s->delete_rows(c.idx, c.amount);
    else
        s->delete_columns(static_cast<uint16_t>(c.idx), static_cast<uint16_t>(c.amount));

    size_t kept = 0;
    for (size_t i = 0; i < held.size(); ++i) {
        SCOPED_TRACE("cell " + std::to_string(i) + " at " + at(before[i]));
        Coordinate now = held[i]->coordinate();
        if (c.moved[i] < 0) {
            // Gone from the sheet; the handle keeps its old position.
            EXPECT_EQ(at(now), at(before[i]));
            EXPECT_NE(s->find_cell(now.row, now.column).get(), held[i].get());
            continue;
        }
        ++kept;
        Coordinate want = before[i];
        if (Rows)
            want.row = static_cast<uint32_t>(c.moved[i]);
        else
            want.column = static_cast<uint16_t>(c.moved[i]);
        EXPECT_EQ(at(now), at(want));
        EXPECT_EQ(s->find_cell(want.row, want.column).get(), held[i].get());
        EXPECT_EQ(s->value_text_at(want.row, want.column), "cell " + std::to_string(i));
    }
    EXPECT_EQ(s->cell_count(), kept);
    expect_consistent(*s);
}

TEST(DeleteRows, ShiftTable) {
    const uint32_t M = 4294967295u;
    const SpanCase cases[] = {
        {"middle span", {1, 2, 3, 4, 5, 6}, 2, 3, {1, -1, -1, -1, 2, 3}},
        {"amount zero", {1, 2, 3, 4, 5, 6}, 5, 0, {1, 2, 3, 4, 5, 6}},
        {"beyond all cells", {1, 2, 3, 4, 5, 6}, 100, 10, {1, 2, 3, 4, 5, 6}},
        {"span holds no cell", {1, 10, 20}, 3, 4, {1, 6, 16}},
        {"span ends on a cell", {2, 3, 4, 5}, 2, 2, {-1, -1, 2, 3}},
        {"just below the span", {1, 2}, 2, 1, {1, -1}},
        {"idx zero", {0, 1, 2}, 0, 1, {-1, 0, 1}},
        {"idx zero, amount zero", {0, 1}, 0, 0, {0, 1}},
        {"long gap", {1, 4000000000u}, 2, 3999999998u, {1, 2}},
        {"end past the maximum", {1, 10, M}, 5, M, {1, -1, -1}},
        {"last row", {0, M - 1, M}, M, 1, {0, M - 1, -1}},
        {"last row, huge amount", {M}, M, M, {-1}},
        {"all but the last row", {0, 5, M}, 0, M, {-1, -1, 0}},
        {"empty sheet", {}, 0, 10, {}},
    };
    for (const auto& c : cases) run_span<true>(c);
}

TEST(DeleteColumns, ShiftTable) {
    const uint32_t M = 65535;
    const SpanCase cases[] = {
        {"middle span", {1, 2, 3, 4, 5, 6}, 2, 3, {1, -1, -1, -1, 2, 3}},
        {"amount zero", {1, 2, 3, 4, 5, 6}, 5, 0, {1, 2, 3, 4, 5, 6}},
        {"beyond all cells", {1, 2, 3, 4, 5, 6}, 100, 10, {1, 2, 3, 4, 5, 6}},
        {"span holds no cell", {1, 10, 20}, 3, 4, {1, 6, 16}},
        {"idx zero", {0, 1, 2}, 0, 1, {-1, 0, 1}},
        {"end past the maximum", {1, 10, M}, 5, M, {1, -1, -1}},
        {"last column", {0, M - 1, M}, M, 1, {0, M - 1, -1}},
        {"last column, huge amount", {M}, M, M, {-1}},
        {"all but the last column", {0, 5, M}, 0, M, {-1, -1, 0}},
    };
    for (const auto& c : cases) run_span<false>(c);
}

TEST(Deletion, HeldCellsAndTheDocumentExample) {
    auto s = new_sheet();
    std::vector<CellRef> h(7);
    for (uint32_t r = 1; r <= 6; ++r) h[r] = put(*s, r, 1, "v" + std::to_string(r));
    s->delete_rows(2, 3);
    EXPECT_EQ(s->value_text_at(2, 1), "v5");
    EXPECT_EQ(s->max_row(), 3u);
    EXPECT_EQ(h[6]->coordinate().row, 3u);
    EXPECT_EQ(h[3]->coordinate().row, 3u);  // removed, keeps its row
    CellRef now3 = touch(*s, 3, 1);
    EXPECT_EQ(now3.get(), h[6].get());
    EXPECT_NE(now3.get(), h[3].get());

    // Writes through a removed handle reach no sheet; a later cell at its old
    // position is a new record.
    h[2]->write_text("orphan");
    EXPECT_EQ(s->value_text_at(2, 1), "v5");
    s->delete_rows(1, 3);
    EXPECT_EQ(s->cell_count(), 0u);
    CellRef fresh = touch(*s, 2, 1);
    EXPECT_NE(fresh.get(), h[5].get());
    EXPECT_EQ(fresh->kind(), ValueKind::Empty);
    EXPECT_EQ(h[5]->value_text(), "v5");

    // Columns: the cell that was at column 6 reads C1 afterwards.
    auto t = new_sheet();
    std::vector<CellRef> k;
    for (uint16_t c = 1; c <= 6; ++c) k.push_back(put(*t, 1, c, std::to_string(c)));
    t->delete_columns(2, 3);
    Coordinate p = k[5]->coordinate();
    EXPECT_EQ(letter_coordinate(p.row, p.column), "C1");
    EXPECT_EQ(t->max_column(), 3u);
}

TEST(Deletion, MergesCommentsAndDimensionsStay) {
    auto s = new_sheet();
    for (uint32_t r = 1; r <= 8; ++r) put(*s, r, 2, std::to_string(r));
    s->add_comment(5, 2, "note", "Ann");
    s->add_merged_range({4, 6, 1, 3});
    s->set_row_height(5, 31.0);
    s->set_row_height(10, 12.0);
    s->set_column_width(2, 9.0);
    s->delete_rows(2, 1);
    s->delete_columns(1, 1);  // column 2 moves to 1

    auto cs = s->comments();
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_EQ(at(cs[0]->coordinate()), at({5, 2}));
    auto m = s->merged_ranges();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].start_row, 4u);
    EXPECT_EQ(m[0].end_row, 6u);
    EXPECT_EQ(m[0].start_col, 1u);
    EXPECT_EQ(m[0].end_col, 3u);
    EXPECT_EQ(s->row_height(5), 31.0);
    EXPECT_EQ(s->row_height(10), 12.0);
    EXPECT_EQ(s->column_width(2), 9.0);
    EXPECT_EQ(s->column_width(1), 22.5);
    EXPECT_EQ(s->value_text_at(4, 1), "5");
    EXPECT_EQ(s->max_column(), 1u);
}

TEST(Deletion, LargeSheet) {
    auto s = new_sheet();
    const uint32_t rows = 3000;
    const uint16_t cols = 100;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint16_t c = 1; c <= cols; ++c) put(*s, r, c, std::to_string(r * 1000 + c));
    ASSERT_EQ(s->cell_count(), 300000u);
    EXPECT_EQ(s->max_row(), rows - 1);

    s->delete_rows(1000, 500);
    ASSERT_EQ(s->cell_count(), 250000u);
    EXPECT_EQ(s->max_row(), 2499u);
    s->delete_columns(1, 50);
    ASSERT_EQ(s->cell_count(), 125000u);
    EXPECT_EQ(s->max_column(), 50u);
    for (uint32_t r = 0; r < 2500; ++r) {
        uint32_t from = r < 1000 ? r : r + 500;
        for (uint16_t c = 1; c <= 50; ++c)
            ASSERT_EQ(s->value_text_at(r, c), std::to_string(from * 1000 + c + 50))
                << at({r, c});
        ASSERT_EQ(s->value_text_at(r, 51), "");
    }
    expect_consistent(*s);
}

// ---- shared records after a copy ----

struct CopyFixture {
    Ref<BookRecord> book = make_ref<BookRecord>();
    Ref<SheetRecord> src;
    CopyFixture() {
        src = book->add_sheet("Data", "visible");
        put(*src, 1, 1, "stays");
        put(*src, 2, 1, "removed");
        put(*src, 3, 1, "removed too");
        CellRef f = put(*src, 4, 1, "5");
        f->set_formula("=2+3");
        f->set_style("s1");
        f->set_hidden_value("h1");
        put(*src, 5, 1, "12");
        touch(*src, 5, 1);  // Integer with code "s"
        put(*src, 6, 2, "a text too long to be stored inline");
        put(*src, 7, 3, "2024-01-05 10:00:00");
        src->add_comment(4, 1, "note", "Ann");
    }
};

// The deleting sheet moves copies of its own; the other keeps the originals
// where they were, and both tables stay consistent with their records.
TEST(CopyThenDelete, DeletingInTheSourceLeavesTheCopyAsItWas) {
    CopyFixture fx;
    Ref<SheetRecord> copy = fx.book->copy_sheet(*fx.src);
    CellRef orig4 = copy->find_cell(4, 1);
    ASSERT_EQ(orig4.get(), fx.src->find_cell(4, 1).get());
    EXPECT_EQ(orig4->tables(), 2u);
    const auto copy_before = seen(*copy);

    fx.src->delete_rows(2, 2);
    expect_consistent(*fx.src);
    expect_consistent(*copy);
    EXPECT_EQ(seen(*copy), copy_before);
    EXPECT_EQ(at(orig4->coordinate()), at({4, 1}));

    EXPECT_EQ(layout(*fx.src),
              (std::vector<std::pair<std::string, std::string>>{
                  {at({1, 1}), "stays"},
                  {at({2, 1}), "5"},
                  {at({3, 1}), "12"},
                  {at({4, 2}), "a text too long to be stored inline"},
                  {at({5, 3}), "2024-01-05 10:00:00"}}));
    // The moved copy carries every field of the original.
    CellRef moved = fx.src->find_cell(2, 1);
    EXPECT_NE(moved.get(), orig4.get());
    EXPECT_EQ(moved->formula(), "=2+3");
    EXPECT_EQ(moved->style(), "s1");
    EXPECT_EQ(moved->hidden_value(), "h1");
    EXPECT_EQ(moved->data_type(), "f");
    EXPECT_TRUE(moved->is_formula());
    EXPECT_EQ(fx.src->find_cell(3, 1)->data_type(), "s");
    EXPECT_EQ(fx.src->find_cell(3, 1)->kind(), ValueKind::Integer);
    EXPECT_EQ(fx.src->find_cell(5, 3)->kind(), ValueKind::DateTime);
    EXPECT_EQ(orig4->tables(), 1u);
    EXPECT_EQ(moved->tables(), 1u);

    // A cell in front of the span is still shared; moved ones are not.
    fx.src->find_cell(1, 1)->write_text("both");
    EXPECT_EQ(copy->value_text_at(1, 1), "both");
    moved->write_text("only source");
    EXPECT_EQ(copy->value_text_at(4, 1), "5");

    // Writes in the copy find the originals: no second cell appears.
    size_t n = copy->cell_count();
    EXPECT_EQ(put(*copy, 4, 1, "x").get(), orig4.get());
    put(*copy, 2, 1, "y");
    EXPECT_EQ(copy->cell_count(), n);
    EXPECT_EQ(fx.src->value_text_at(2, 1), "only source");
    expect_consistent(*copy);

    // Comments are not moved and stay shared.
    EXPECT_EQ(fx.src->comments()[0].get(), copy->comments()[0].get());

    // Now delete in the copy: the source reads as before.
    const auto src_before = seen(*fx.src);
    copy->delete_rows(1, 1);
    expect_consistent(*copy);
    expect_consistent(*fx.src);
    EXPECT_EQ(seen(*fx.src), src_before);
    EXPECT_EQ(copy->value_text_at(3, 1), "x");
}

TEST(CopyThenDelete, DeletingInTheCopyLeavesTheSourceAsItWas) {
    CopyFixture fx;
    Ref<BookRecord> other = make_ref<BookRecord>();
    Ref<SheetRecord> copy = other->copy_sheet(*fx.src);  // into another book
    EXPECT_EQ(copy->name(), "Sheet 1");
    const auto src_before = seen(*fx.src);
    auto json_before = fx.book->to_json();
    ASSERT_TRUE(json_before.ok());

    copy->delete_columns(1, 1);
    expect_consistent(*copy);
    expect_consistent(*fx.src);
    EXPECT_EQ(seen(*fx.src), src_before);
    EXPECT_EQ(fx.book->to_json().value(), json_before.value());
    EXPECT_EQ(layout(*copy),
              (std::vector<std::pair<std::string, std::string>>{
                  {at({6, 1}), "a text too long to be stored inline"},
                  {at({7, 2}), "2024-01-05 10:00:00"}}));

    // A third sheet sharing the same records: deleting in the middle one
    // disturbs neither of the others.
    CopyFixture fy;
    Ref<SheetRecord> b = fy.book->copy_sheet(*fy.src);
    Ref<SheetRecord> c = fy.book->copy_sheet(*b);
    EXPECT_EQ(c->name(), "Sheet 3");
    EXPECT_EQ(fy.src->find_cell(7, 3)->tables(), 3u);
    const auto a_before = seen(*fy.src);
    const auto c_before = seen(*c);
    b->delete_rows(1, 3);
    for (const SheetRecord* s : {fy.src.get(), b.get(), c.get()}) expect_consistent(*s);
    EXPECT_EQ(seen(*fy.src), a_before);
    EXPECT_EQ(seen(*c), c_before);
    EXPECT_EQ(b->value_text_at(4, 3), "2024-01-05 10:00:00");
    EXPECT_EQ(fy.src->find_cell(7, 3)->tables(), 2u);
}

TEST(CopyThenDelete, TableCountFollowsTheSheets) {
    CopyFixture fx;
    CellRef r = fx.src->find_cell(1, 1);
    {
        Ref<SheetRecord> loose = fx.src->copy();  // a copy in no book
        EXPECT_EQ(r->tables(), 2u);
    }
    EXPECT_EQ(r->tables(), 1u);  // the copy went with its last handle
    fx.src->delete_rows(1, 1);
    EXPECT_EQ(r->tables(), 0u);
    // Deleting alone moves the records themselves, not copies.
    CellRef six = fx.src->find_cell(5, 2);
    ASSERT_TRUE(six);
    EXPECT_EQ(six->value_text(), "a text too long to be stored inline");
    CellRef held = fx.src->find_cell(3, 1);
    fx.src->delete_rows(1, 1);
    EXPECT_EQ(fx.src->find_cell(2, 1).get(), held.get());
}

// ---- the cell table ----

TEST(CellTable, GrowsAndFindsEveryKey) {
    CellTable t;
    EXPECT_EQ(t.find(pack_key(0, 0)), nullptr);
    std::vector<Coordinate> keys;
    // Keys that differ only in high bits, only in the column, and at random.
    for (uint32_t i = 0; i < 20000; ++i) keys.push_back({i << 12, 0});
    for (uint32_t i = 0; i < 20000; ++i) keys.push_back({7, static_cast<uint16_t>(i)});
    std::mt19937 rng(3);
    std::set<uint64_t> used;
    for (auto c : keys) used.insert(pack_key(c));
    while (keys.size() < 100000) {
        Coordinate c{static_cast<uint32_t>(rng()), static_cast<uint16_t>(rng())};
        if (used.insert(pack_key(c)).second) keys.push_back(c);
    }
    std::vector<CellRef> recs;
    size_t next_check = 1;
    for (size_t i = 0; i < keys.size(); ++i) {
        recs.push_back(CellRecord::create(keys[i], nullptr));
        t.insert_new(recs.back());
        ASSERT_EQ(t.size(), i + 1);
        if (i + 1 == next_check || i + 1 == keys.size()) {
            next_check *= 2;
            for (size_t j = 0; j <= i; ++j)
                ASSERT_EQ(t.find(pack_key(keys[j])), recs[j].get()) << at(keys[j]);
        }
    }
    for (uint32_t i = 0; i < 1000; ++i) {
        Coordinate c{static_cast<uint32_t>(rng()), static_cast<uint16_t>(rng())};
        if (!used.count(pack_key(c))) {
            ASSERT_EQ(t.find(pack_key(c)), nullptr);
        }
    }
    size_t visited = 0;
    t.for_each([&](CellRecord* r) {
        ++visited;
        EXPECT_EQ(r->tables(), 1u);
    });
    EXPECT_EQ(visited, keys.size());
    EXPECT_EQ(recs[0]->ref_count(), 2u);  // ours and the table's
}

TEST(CellTable, PutTakeAllAndReuse) {
    CellTable t;
    CellRef a = CellRecord::create({1, 1}, nullptr);
    CellRef b = CellRecord::create({1, 1}, nullptr);
    CellRef c = CellRecord::create({2, 1}, nullptr);
    t.put(a);
    t.put(c);
    EXPECT_EQ(t.size(), 2u);
    t.put(b);  // replaces a
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(t.find(pack_key(1, 1)), b.get());
    EXPECT_EQ(a->tables(), 0u);
    EXPECT_EQ(a->ref_count(), 1u);
    EXPECT_EQ(b->tables(), 1u);

    auto all = t.take_all();
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(t.size(), 0u);
    EXPECT_EQ(t.find(pack_key(1, 1)), nullptr);
    EXPECT_EQ(t.find(pack_key(2, 1)), nullptr);
    EXPECT_EQ(b->tables(), 0u);
    EXPECT_EQ(b->ref_count(), 2u);
    all.clear();
    EXPECT_EQ(b->ref_count(), 1u);

    // The emptied table takes records again, and grows from a reservation.
    t.reserve(5000);
    std::vector<CellRef> recs;
    for (uint32_t i = 0; i < 5000; ++i) {
        recs.push_back(CellRecord::create({i, 3}, nullptr));
        t.insert_new(recs.back());
    }
    t.put(a);
    EXPECT_EQ(t.size(), 5001u);
    for (uint32_t i = 0; i < 5000; ++i) ASSERT_EQ(t.find(pack_key(i, 3)), recs[i].get());
    EXPECT_EQ(t.find(pack_key(1, 1)), a.get());
    t.clear();
    EXPECT_EQ(t.size(), 0u);
    EXPECT_EQ(a->ref_count(), 1u);
    EXPECT_EQ(recs[0]->tables(), 0u);
}

// ---- the book ----

TEST(Book, AddAndLookUpSheets) {
    auto book = make_ref<BookRecord>();
    EXPECT_EQ(book->sheet_count(), 0u);
    EXPECT_FALSE(book->sheet_at(0));
    auto a = book->add_sheet("Data", "visible");
    auto b = book->add_sheet("Data", "hidden");
    auto c = book->add_sheet("", "anything");
    EXPECT_EQ(book->sheet_count(), 3u);
    EXPECT_EQ(book->sheet_at(0).get(), a.get());
    EXPECT_EQ(book->sheet_at(2).get(), c.get());
    EXPECT_FALSE(book->sheet_at(-1));
    EXPECT_FALSE(book->sheet_at(3));
    EXPECT_FALSE(book->sheet_at(INT32_MIN));
    EXPECT_EQ(book->sheet_named("Data").get(), a.get());  // the first of the name
    EXPECT_EQ(book->sheet_named("").get(), c.get());
    EXPECT_FALSE(book->sheet_named("data"));
    EXPECT_FALSE(book->sheet_named("Data "));
    EXPECT_EQ(b->state(), "hidden");
    EXPECT_EQ(c->state(), "anything");
    auto all = book->sheets();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].get(), b.get());

    // A renamed sheet is found under its new name only.
    b->set_name("Other");
    EXPECT_EQ(book->sheet_named("Other").get(), b.get());
    EXPECT_EQ(book->sheet_named("Data").get(), a.get());
}

TEST(Book, CopyNamesAndSharing) {
    auto book = make_ref<BookRecord>();
    auto src = book->add_sheet("Report", "hidden");
    put(*src, 1, 1, "12");
    src->add_merged_range({1, 1, 1, 2});
    src->set_row_height(1, 30.0);
    src->set_column_hidden(2, true);
    src->add_comment(1, 1, "check", "Ann");

    auto c2 = book->copy_sheet(*src);
    EXPECT_EQ(c2->name(), "Sheet 2");
    EXPECT_EQ(c2->state(), "hidden");
    book->add_sheet("Sheet 4", "visible");
    auto c4 = book->copy_sheet(*c2);
    EXPECT_EQ(c4->name(), "Sheet 4");  // the count decides; names are not compared
    EXPECT_NE(book->sheet_named("Sheet 4").get(), c4.get());  // the earlier one
    EXPECT_EQ(book->sheet_count(), 4u);

    // Copied as tables: dimensions and merges.
    EXPECT_EQ(c2->row_height(1), 30.0);
    EXPECT_TRUE(c2->column_hidden(2));
    ASSERT_EQ(c2->merged_ranges().size(), 1u);
    EXPECT_EQ(c2->default_height(), 20.0);
    EXPECT_EQ(c2->default_width(), 22.5);

    // Cell and comment records are shared.
    CellRef via_copy = touch(*c2, 1, 1);
    EXPECT_EQ(via_copy.get(), src->find_cell(1, 1).get());
    via_copy->write_text("TRUE");
    EXPECT_EQ(src->value_text_at(1, 1), "true");
    c2->comments()[0]->set_text("seen by both");
    EXPECT_EQ(src->comments()[0]->text(), "seen by both");

    // Everything else is the sheet's own.
    put(*c2, 9, 9, "new");
    c2->add_comment(2, 2, "own", "Bob");
    c2->add_merged_range({3, 3, 3, 3});
    c2->set_row_height(1, 5.0);
    c2->set_column_width(7, 1.0);
    c2->set_state("visible");
    EXPECT_EQ(src->cell_count(), 1u);
    EXPECT_EQ(src->comments().size(), 1u);
    EXPECT_EQ(src->merged_ranges().size(), 1u);
    EXPECT_EQ(src->row_height(1), 30.0);
    EXPECT_EQ(src->column_width(7), 22.5);
    EXPECT_EQ(src->state(), "hidden");
    EXPECT_EQ(src->name(), "Report");

    // A sheet that belongs to no book can be copied too.
    auto loose = new_sheet("Loose");
    put(*loose, 3, 3, "x");
    auto c5 = book->copy_sheet(*loose);
    EXPECT_EQ(c5->name(), "Sheet 5");
    EXPECT_EQ(c5->value_text_at(3, 3), "x");
}

}  // namespace
}  // namespace brindel
