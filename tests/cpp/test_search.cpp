// The searches against plain sequential scans written here, on sequences
// small enough to run inline and large enough to run on the pool.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "pool.hpp"
#include "search.hpp"
#include "unicode.hpp"

using namespace brindel;
using namespace brindel::search;

namespace {

Ref<CellRecord> text_cell(uint32_t row, uint16_t col, std::string_view text) {
    return CellRecord::create_snapshot(Coordinate{row, col}, text_to_value(text), std::nullopt, "n",
                                       std::nullopt);
}

struct Cells {
    std::vector<Ref<CellRecord>> owned;
    std::vector<CellRecord*> seq;
    void add(Ref<CellRecord> r) {
        seq.push_back(r.get());
        owned.push_back(std::move(r));
    }
};

const char* kWords[] = {"alpha", "beta", " x ", "x\t", "Total", "12", "1.5", "true",
                        "2024-01-05 10:00:00", "", "gamma needle", "\xC2\xA0x\xE3\x80\x80", "X"};

Cells random_cells(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Cells c;
    for (size_t i = 0; i < n; ++i) {
        uint32_t row = static_cast<uint32_t>(rng() % (n / 4 + 10));
        uint16_t col = static_cast<uint16_t>(rng() % 40);
        c.add(text_cell(row, col, kWords[rng() % std::size(kWords)]));
    }
    return c;
}

std::string text_of(const CellRecord* r) { return r->value_text(); }

}  // namespace

class SearchSizes : public ::testing::TestWithParam<size_t> {};

TEST_P(SearchSizes, EveryScanMatchesThePlainLoop) {
    Cells c = random_cells(GetParam(), static_cast<unsigned>(GetParam()));
    Sequence seq(c.seq);
    for (std::string needle : {"x", "needle", "", "1.5", "Tot", "absent"}) {
        Positions want;
        for (size_t i = 0; i < seq.size(); ++i)
            if (text_of(seq[i]).find(needle) != std::string::npos) want.push_back(i);
        EXPECT_EQ(all_containing(seq, needle), want) << needle;
        std::optional<size_t> first = want.empty() ? std::nullopt : std::optional<size_t>(want[0]);
        EXPECT_EQ(first_containing(seq, needle), first) << needle;
    }
    for (std::string value : {"x", "  ", "Total", "X"}) {
        Positions want;
        for (size_t i = 0; i < seq.size(); ++i)
            if (trim_white_space(text_of(seq[i])) == trim_white_space(value)) want.push_back(i);
        EXPECT_EQ(all_trimmed_equal(seq, value), want) << value;
        EXPECT_EQ(first_trimmed_equal(seq, value),
                  want.empty() ? std::nullopt : std::optional<size_t>(want[0]));
    }
    Positions rows, cols, upto_col, upto_row;
    for (size_t i = 0; i < seq.size(); ++i) {
        Coordinate k = seq[i]->coordinate();
        if (k.row >= 5 && k.row <= 20) rows.push_back(i);
        if (k.column >= 3 && k.column <= 7) cols.push_back(i);
        bool has_x = text_of(seq[i]).find('x') != std::string::npos;
        if (k.column <= 4 && has_x) upto_col.push_back(i);
        if (k.row <= 30 && has_x) upto_row.push_back(i);
    }
    EXPECT_EQ(rows_band(seq, 5, 20), rows);
    EXPECT_EQ(rows_band(seq, 20, 5), Positions{});
    EXPECT_EQ(columns_band(seq, 3, 7), cols);
    EXPECT_EQ(containing_up_to_column(seq, "x", 4), upto_col);
    EXPECT_EQ(containing_up_to_row(seq, "x", 30), upto_row);

    if (!seq.empty()) {
        Coordinate last = seq.back()->coordinate();
        size_t want = 0;
        while (!(seq[want]->coordinate() == last)) ++want;
        EXPECT_EQ(first_at(seq, last.row, last.column), want);
    }
    EXPECT_EQ(first_at(seq, 4000000000u, 1), std::nullopt);

    std::vector<uint32_t> want_rows = {7, 3, 3, 99};
    std::vector<std::string> vals;
    for (auto* r : c.seq) {
        Coordinate k = r->coordinate();
        if (k.column == 2 && (k.row == 7 || k.row == 3 || k.row == 99)) vals.push_back(text_of(r));
    }
    EXPECT_EQ(values_by_col_rows(seq, 2, want_rows), vals);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SearchSizes, ::testing::Values(0, 1, 100, 5000, 200000));

TEST(Search, LiteralPatternsHaveNoMetacharacters) {
    Cells c;
    for (auto t : {"axb", "xa.by", "^Total$", "Total", "105", "x1.5y", "1.5"}) c.add(text_cell(1, 1, t));
    Sequence seq(c.seq);
    EXPECT_EQ(all_containing(seq, "a.b"), (Positions{1}));
    EXPECT_EQ(all_containing(seq, "^Total$"), (Positions{2}));
    EXPECT_EQ(all_containing(seq, "1.5"), (Positions{5, 6}));
}

TEST(Search, PairedScan) {
    auto sheet = [](std::vector<std::pair<uint32_t, const char*>> cells) {
        Cells c;
        for (auto [row, t] : cells) c.add(text_cell(row, 1, t));
        return c;
    };
    Cells c = sheet({{1, "start"}, {2, "a"}, {3, "end"}, {4, "b"}, {5, "start"}, {6, "c"}});
    EXPECT_EQ(markers(Sequence(c.seq), "start", "end"), (Positions{0, 2, 4}));
    EXPECT_EQ(between(Sequence(c.seq), "start", "end"), (Positions{0, 1, 2}));
    Cells open = sheet({{1, "start"}, {2, "a"}, {4, "b"}, {5, "start"}, {6, "c"}});
    EXPECT_EQ(markers(Sequence(open.seq), "start", "end"), (Positions{0}));
    EXPECT_EQ(between(Sequence(open.seq), "start", "end"), (Positions{0, 1, 2, 3, 4}));
    EXPECT_EQ(markers(Sequence(c.seq), "nothing", "end"), Positions{});
    EXPECT_EQ(between(Sequence(c.seq), "nothing", "end"), Positions{});
    Cells both = sheet({{1, "start end"}, {2, "x"}, {3, "start end"}, {4, "y"}});
    EXPECT_EQ(markers(Sequence(both.seq), "start", "end"), (Positions{0, 2}));
    EXPECT_EQ(markers(Sequence(both.seq), "", ""), (Positions{0, 1, 2, 3}));
    Cells reversed = sheet({{5, "start"}, {2, "end"}, {3, "x"}});
    EXPECT_EQ(between(Sequence(reversed.seq), "start", "end"), Positions{});
    EXPECT_EQ(markers(Sequence(reversed.seq), "start", "end"), (Positions{0, 1}));
}

TEST(Search, SheetOrderAndRectangle) {
    Ref<SheetRecord> s(new SheetRecord("S", "visible"));
    std::mt19937 rng(7);
    for (int i = 0; i < 50000; ++i) {
        std::string_view t = "v";
        s->cell(rng() % 3000, static_cast<uint16_t>(rng() % 20), &t);
    }
    SharedLock g(s->lock());
    Sequence seq = row_major(*s);
    ASSERT_EQ(seq.size(), s->cell_count_unlocked());
    for (size_t i = 1; i < seq.size(); ++i) ASSERT_LT(seq[i - 1]->key_unlocked(), seq[i]->key_unlocked());
    Rectangle r{10, 20, 3, 5};
    std::vector<CellRecord*> want;
    for (CellRecord* c : seq) {
        Coordinate k = c->coordinate();
        if (k.row >= 10 && k.row <= 20 && k.column >= 3 && k.column <= 5) want.push_back(c);
    }
    EXPECT_EQ(cells_in_rectangle(*s, r), want);
}

TEST(Regex, CompileErrorsAndFeatures) {
    auto bad = Regex::compile("(ab");
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().message.find("offset 3"), std::string::npos) << bad.error().message;
    auto ci = Regex::compile("(?i)sheet1");
    ASSERT_TRUE(ci.ok());
    EXPECT_TRUE(ci.value().search("MySHEET1x"));
    auto behind = Regex::compile("(?<=My)Sheet");
    ASSERT_TRUE(behind.ok());
    EXPECT_TRUE(behind.value().search("MySheet"));
    EXPECT_FALSE(behind.value().search("Sheet1"));
    auto backref = Regex::compile("(a)\\1");
    ASSERT_TRUE(backref.ok());
    EXPECT_TRUE(backref.value().search("xaax"));
    auto anchored = Regex::compile("^Sh");
    EXPECT_FALSE(anchored.value().search("MySheet"));
    auto uni = Regex::compile("^\\w+$");
    EXPECT_TRUE(uni.value().search("Отчёт"));  // Unicode properties on
}

TEST(Sheets, SelectionsKeepFinderOrder) {
    std::vector<Ref<SheetRecord>> owned;
    std::vector<SheetRecord*> raw;
    for (int i = 0; i < 10000; ++i) {
        owned.emplace_back(new SheetRecord(i % 3 == 0 ? "A" : (i % 3 == 1 ? "B" : "C"), "visible"));
        raw.push_back(owned.back().get());
    }
    Sheets sheets(raw);
    EXPECT_EQ(first_sheet_named(sheets, "C"), 2u);
    EXPECT_EQ(first_sheet_named(sheets, "a"), std::nullopt);
    Positions with = sheets_with_names(sheets, {"B", "A"});
    ASSERT_EQ(with.size(), 6667u);
    for (size_t i = 1; i < with.size(); ++i) ASSERT_LT(with[i - 1], with[i]);
    EXPECT_EQ(sheets_without_names(sheets, {"A", "B"}).size(), 3333u);
    EXPECT_TRUE(sheets_with_names(sheets, {}).empty());
    auto re = Regex::compile("^C$");
    EXPECT_EQ(first_sheet_matching(sheets, re.value()), 2u);
}

TEST(Pool, ExceptionsReachTheCaller) {
    EXPECT_THROW(pool::run(64, [](size_t i) {
                     if (i == 33) throw std::runtime_error("piece failed");
                 }),
                 std::runtime_error);
    std::atomic<size_t> ran{0};
    pool::run(1000, [&](size_t) { ran++; });
    EXPECT_EQ(ran.load(), 1000u);
}

TEST(Pool, ChildAfterForkBuildsItsOwnPool) {
    Cells c = random_cells(100000, 3);
    Positions parent = all_containing(Sequence(c.seq), "x");  // the parent's pool runs
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Positions child = all_containing(Sequence(c.seq), "x");
        _exit(child == parent ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(all_containing(Sequence(c.seq), "x"), parent);
}

namespace {

// One cell of every kind of value, with the texts that are easy to get wrong
// ("-0", "NaN", "-inf", a positional 1e20, a date-time with a fraction), both
// as frozen snapshot cells and as writable cells.
Cells every_kind(bool frozen) {
    std::vector<ValueView> values;
    auto number = [&](double d) {
        ValueView v;
        v.kind = ValueKind::Number;
        v.number = d;
        values.push_back(v);
    };
    for (double d : {2.0, -0.0, 1.5, 0.1, 1e20, 1.5e-7, -3.25}) number(d);
    number(std::nan(""));
    number(HUGE_VAL);
    number(-HUGE_VAL);
    for (int32_t i : {7, -42, 0}) {
        ValueView v;
        v.kind = ValueKind::Integer;
        v.integer = i;
        values.push_back(v);
    }
    for (bool b : {true, false}) {
        ValueView v;
        v.kind = ValueKind::Bool;
        v.boolean = b;
        values.push_back(v);
    }
    for (uint32_t nanos : {0u, 500000000u}) {
        ValueView v;
        v.kind = ValueKind::DateTime;
        v.datetime = DateTime{2024, 3, 7, 9, 5, 0, nanos};
        values.push_back(v);
    }
    values.push_back(ValueView{});
    for (const char* t : {"x", " true ", "NaN", "\t-inf\xC2\xA0", "2.0"}) values.push_back(ValueView::of_text(t));

    Cells c;
    for (size_t i = 0; i < values.size(); ++i) {
        Coordinate at{static_cast<uint32_t>(i + 1), 1};
        const ValueView& v = values[i];
        if (frozen) {
            c.add(CellRecord::create_snapshot(at, v, std::nullopt, "n", std::nullopt));
            continue;
        }
        Ref<CellRecord> r = CellRecord::create(at, nullptr);
        switch (v.kind) {
            case ValueKind::Number: r->set_number(v.number); break;
            case ValueKind::Integer: r->set_integer(v.integer); break;
            case ValueKind::Bool: r->set_bool(v.boolean); break;
            case ValueKind::DateTime: r->set_datetime(v.datetime); break;
            case ValueKind::Text: r->write_text(v.text); break;
            case ValueKind::Empty: break;
        }
        c.add(std::move(r));
    }
    return c;
}

}  // namespace

// Cells of numbers, booleans and date-times are passed over without writing
// their text when the needle holds a byte their text cannot; what they match
// must still be exactly what their text matches.
TEST(Search, EveryKindOfValueMatchesItsValueText) {
    for (bool frozen : {true, false}) {
        Cells c = every_kind(frozen);
        Sequence seq(c.seq);
        for (std::string needle : {"", "2", "-", ".", "-0", "0.00000015", "100000000000000000000",
                                   "N", "NaN", "a", "i", "inf", "nf", "-inf", "e", "true", "rue",
                                   "als", "f", " ", ":", "2024-03-07 09", "09:05:00.5", "7", "x"}) {
            Positions want;
            for (size_t i = 0; i < seq.size(); ++i)
                if (text_of(seq[i]).find(needle) != std::string::npos) want.push_back(i);
            EXPECT_EQ(all_containing(seq, needle), want) << needle << " frozen " << frozen;
        }
        for (std::string value : {"", "  ", "true", " 7 ", "-42", "NaN", "-inf", "inf", "2", "2.0",
                                  "-0", "0.1", "2024-03-07 09:05:00", "2024-03-07 09:05:00.5",
                                  "false\xE3\x80\x80", "x"}) {
            Positions want;
            for (size_t i = 0; i < seq.size(); ++i)
                if (trim_white_space(text_of(seq[i])) == trim_white_space(value)) want.push_back(i);
            EXPECT_EQ(all_trimmed_equal(seq, value), want) << '"' << value << "\" frozen " << frozen;
        }
    }
}

TEST(Search, RectangleDefaultsLeaveOutRowAndColumnZeroAndTheFarEdges) {
    Ref<SheetRecord> s(new SheetRecord("S", "visible"));
    std::string_view t = "v";
    for (auto [row, col] : std::vector<std::pair<uint32_t, uint16_t>>{
             {0, 1}, {1, 0}, {1, 1}, {1048576, 16384}, {1048577, 1}, {1, 16385}, {2, 3}})
        s->cell(row, col, &t);
    SharedLock g(s->lock());
    auto coords = [](const std::vector<CellRecord*>& cells) {
        std::vector<uint64_t> keys;
        for (CellRecord* c : cells) keys.push_back(c->key_unlocked());
        return keys;
    };
    EXPECT_EQ(coords(cells_in_rectangle(*s, Rectangle{})),
              (std::vector<uint64_t>{pack_key(1, 1), pack_key(2, 3), pack_key(1048576, 16384)}));
    EXPECT_EQ(coords(cells_in_rectangle(*s, Rectangle{0, 4294967295u, 0, 65535})).size(), 7u);
    EXPECT_TRUE(cells_in_rectangle(*s, Rectangle{1, 1048576, 3, 2}).empty());
}

// Long lists of names are hashed; the selections must still be those of
// comparing each name in turn, in finder order, each sheet at most once.
TEST(Sheets, LongNameListsSelectLikeShortOnes) {
    std::vector<Ref<SheetRecord>> owned;
    std::vector<SheetRecord*> raw;
    std::mt19937 rng(9);
    for (int i = 0; i < 6000; ++i) {
        owned.emplace_back(new SheetRecord("s" + std::to_string(rng() % 40), "visible"));
        raw.push_back(owned.back().get());
    }
    for (size_t count : {size_t{3}, size_t{30}}) {
        std::vector<std::string> names;
        for (size_t k = 0; k < count; ++k) names.push_back("s" + std::to_string(k * 3 % 50));
        names.push_back(names.front());  // a name given twice
        names.push_back("S1");           // case counts
        Positions with, without;
        for (size_t i = 0; i < raw.size(); ++i) {
            bool in = std::find(names.begin(), names.end(), raw[i]->name()) != names.end();
            (in ? with : without).push_back(i);
        }
        EXPECT_EQ(sheets_with_names(Sheets(raw), names), with) << count;
        EXPECT_EQ(sheets_without_names(Sheets(raw), names), without) << count;
    }
}
