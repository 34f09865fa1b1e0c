// The JSON document of a book: exact texts, omitted keys, string escapes,
// number forms and the order of cells and dimension members.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "book.hpp"
#include "json_writer.hpp"

namespace brindel {
namespace {

Ref<CellRecord> put(SheetRecord& s, uint32_t row, uint16_t col, std::string_view text) {
    return s.cell(row, col, &text);
}

std::string doc(const BookRecord& b) {
    Result<std::string> r = b.to_json();
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : std::string();
}

// The "cells" array of the only sheet of a book.
std::string cells_of(const BookRecord& b) {
    std::string d = doc(b);
    size_t from = d.find("\"cells\":");
    size_t to = d.find(",\"row_dimensions\":");
    EXPECT_NE(from, std::string::npos);
    EXPECT_NE(to, std::string::npos);
    return d.substr(from + 8, to - from - 8);
}

std::string json_string(std::string_view s) {
    std::string out;
    append_json_string(out, s);
    return out;
}

TEST(Document, EmptyBookAndNewSheet) {
    auto book = make_ref<BookRecord>();
    EXPECT_EQ(doc(*book), R"({"sheets":[]})");
    book->add_sheet("S", "visible");
    EXPECT_EQ(doc(*book),
              R"({"sheets":[{"name":"S","sheet_state":"visible","merge_cells":[],"cells":[],)"
              R"("row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},)"
              R"("comments":[]}]})");
}

TEST(Document, ReportExample) {
    auto book = make_ref<BookRecord>();
    auto s = book->add_sheet("Report", "visible");
    // Set out of order: the document sorts cells row-major.
    put(*s, 2, 2, "3");
    put(*s, 2, 1, "12.5");
    put(*s, 1, 1, "Title");
    s->add_merged_range({1, 1, 1, 3});
    s->set_column_width(2, 10.0);
    s->set_column_hidden(2, true);
    s->set_row_height(1, 30.0);
    s->add_comment(1, 1, "Check", "Ann");
    EXPECT_EQ(
        doc(*book),
        R"({"sheets":[{"name":"Report","sheet_state":"visible","merge_cells":[[1,1,1,3]],)"
        R"("cells":[{"row":1,"column":1,"value":"Title","data_type":"s"},)"
        R"({"row":2,"column":1,"value":12.5,"data_type":"n"},)"
        R"({"row":2,"column":2,"value":3,"data_type":"n"}],)"
        R"("row_dimensions":{"rows":{"1":{"row_num":1,"height":30.0,"hidden":false,"collapsed":false,"level":0}},"default_height":20.0},)"
        R"("column_dimensions":{"columns":{"2":{"col_num":2,"width":10.0,"hidden":true,"collapsed":false,"level":0}},"default_width":22.5},)"
        R"("comments":[{"row":1,"column":1,"author":"Ann","text":"Check"}]}]})");
}

TEST(Document, CellValuesAndOptionalKeys) {
    auto book = make_ref<BookRecord>();
    auto s = book->add_sheet("S", "visible");
    struct Case {
        const char* what;
        std::function<void(CellRecord&)> set;
        const char* json;  // the cell object without its position
    };
    const std::vector<Case> cases = {
        {"empty", [](CellRecord&) {}, R"("value":null,"data_type":"s")"},
        {"float 3.0", [](CellRecord& c) { c.set_number(3.0); }, R"("value":3.0,"data_type":"n")"},
        {"integer 3", [](CellRecord& c) { c.write_text("3"); }, R"("value":3,"data_type":"n")"},
        {"negative integer", [](CellRecord& c) { c.set_integer(INT32_MIN); },
         R"("value":-2147483648,"data_type":"n")"},
        {"NaN", [](CellRecord& c) { c.set_number(NAN); }, R"("value":null,"data_type":"n")"},
        {"infinity", [](CellRecord& c) { c.write_text("-inf"); }, R"("value":null,"data_type":"n")"},
        {"negative zero", [](CellRecord& c) { c.set_number(-0.0); },
         R"("value":-0.0,"data_type":"n")"},
        {"exponent", [](CellRecord& c) { c.write_text("1e16"); }, R"("value":1e16,"data_type":"n")"},
        {"small", [](CellRecord& c) { c.write_text("0.00000015"); },
         R"("value":1.5e-7,"data_type":"n")"},
        {"bool", [](CellRecord& c) { c.write_text("False"); }, R"("value":false,"data_type":"b")"},
        {"date-time", [](CellRecord& c) { c.write_text("2024-03-01 08:30:00"); },
         R"("value":"2024-03-01T08:30:00","data_type":"d")"},
        {"fraction",
         [](CellRecord& c) { c.set_datetime(DateTime{2024, 3, 1, 8, 30, 0, 250000000}); },
         R"("value":"2024-03-01T08:30:00.250","data_type":"d")"},
        {"leap second", [](CellRecord& c) { c.write_text("2016-12-31 23:59:60"); },
         R"("value":"2016-12-31T23:59:60","data_type":"d")"},
        {"text that looks like JSON", [](CellRecord& c) { c.write_text("null"); },
         R"("value":"null","data_type":"s")"},
        {"everything",
         [](CellRecord& c) {
             c.write_text("5");
             c.set_formula("=2+3");
             c.set_style("st");
             c.set_hidden_value("hv");
         },
         R"("value":5,"formula":"=2+3","data_type":"f","style_id":"st","hidden_value":"hv")"},
        {"empty formula", [](CellRecord& c) { c.set_formula(""); },
         R"("value":null,"formula":"","data_type":"f")"},
        {"style only", [](CellRecord& c) { c.set_style(""); },
         R"("value":null,"data_type":"s","style_id":"")"},
        {"hidden value only", [](CellRecord& c) { c.set_hidden_value("x"); },
         R"("value":null,"data_type":"s","hidden_value":"x")"},
        {"code reset", [](CellRecord& c) {
             c.write_text("7");
             c.reset_code();
         },
         R"("value":7,"data_type":"s")"},
    };
    std::string want = "[";
    for (size_t i = 0; i < cases.size(); ++i) {
        auto c = s->cell(static_cast<uint32_t>(i), 1, nullptr);
        cases[i].set(*c);
        if (i) want += ",";
        want += R"({"row":)" + std::to_string(i) + R"(,"column":1,)" + cases[i].json + "}";
    }
    want += "]";
    EXPECT_EQ(cells_of(*book), want);
}

TEST(Document, StringEscapes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"", R"("")"},
        {"plain", R"("plain")"},
        {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"back\\slash", R"("back\\slash")"},
        {"a/b", R"("a/b")"},
        {std::string("\0", 1), R"("\u0000")"},
        {"\x01\x0b\x1f", R"("\u0001\u000b\u001f")"},
        {"\x7f", "\"\x7f\""},
        {"\x20", R"(" ")"},
        {"\xC3\xA9", "\"\xC3\xA9\""},                  // e acute as it is
        {"\xE2\x80\xA8", "\"\xE2\x80\xA8\""},          // line separator as it is
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},  // outside the basic plane
    };
    for (const auto& c : cases) EXPECT_EQ(json_string(c.in), c.out) << c.out;

    // Every text field goes through the same escaping.
    auto book = make_ref<BookRecord>();
    const std::string odd = "q\"\\\n\x02\xC3\xA9";
    const std::string esc = R"(q\"\\\n\u0002)" "\xC3\xA9";
    auto s = book->add_sheet(odd, odd);
    auto c = put(*s, 1, 1, odd);
    c->set_formula(odd);
    c->set_style(odd);
    c->set_hidden_value(odd);
    s->add_comment(1, 1, odd, odd);
    const std::string q = "\"" + esc + "\"";
    EXPECT_EQ(doc(*book),
              R"({"sheets":[{"name":)" + q + R"(,"sheet_state":)" + q +
                  R"(,"merge_cells":[],"cells":[{"row":1,"column":1,"value":)" + q +
                  R"(,"formula":)" + q + R"(,"data_type":"f","style_id":)" + q +
                  R"(,"hidden_value":)" + q +
                  R"(}],"row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},)"
                  R"("comments":[{"row":1,"column":1,"author":)" + q + R"(,"text":)" + q +
                  "}]}]}");
}

TEST(Document, DimensionMembersAscendingAndNonFiniteAsNull) {
    auto book = make_ref<BookRecord>();
    auto s = book->add_sheet("S", "visible");
    s->set_row_height(10, NAN);
    s->set_row_hidden(2, true);
    s->set_row_height(4294967295u, HUGE_VAL);
    s->set_row_height(0, -0.5);
    s->set_row_hidden(3, false);
    s->set_column_width(65535, -HUGE_VAL);
    s->set_column_width(20, 1e16);
    s->set_column_hidden(3, false);
    std::string d = doc(*book);
    EXPECT_NE(
        d.find(
            R"("row_dimensions":{"rows":{)"
            R"("0":{"row_num":0,"height":-0.5,"hidden":false,"collapsed":false,"level":0},)"
            R"("2":{"row_num":2,"height":20.0,"hidden":true,"collapsed":false,"level":0},)"
            R"("3":{"row_num":3,"height":20.0,"hidden":false,"collapsed":false,"level":0},)"
            R"("10":{"row_num":10,"height":null,"hidden":false,"collapsed":false,"level":0},)"
            R"("4294967295":{"row_num":4294967295,"height":null,"hidden":false,"collapsed":false,"level":0}},)"
            R"("default_height":20.0},)"
            R"("column_dimensions":{"columns":{)"
            R"("3":{"col_num":3,"width":22.5,"hidden":false,"collapsed":false,"level":0},)"
            R"("20":{"col_num":20,"width":1e16,"hidden":false,"collapsed":false,"level":0},)"
            R"("65535":{"col_num":65535,"width":null,"hidden":false,"collapsed":false,"level":0}},)"
            R"("default_width":22.5})"),
        std::string::npos)
        << d;
}

TEST(Document, CellsRowMajorWhateverTheInsertionOrder) {
    auto book = make_ref<BookRecord>();
    auto s = book->add_sheet("S", "visible");
    put(*s, 2, 2, "b2");
    put(*s, 2, 1, "a2");
    put(*s, 1, 1, "a1");
    EXPECT_EQ(cells_of(*book),
              R"([{"row":1,"column":1,"value":"a1","data_type":"s"},)"
              R"({"row":2,"column":1,"value":"a2","data_type":"s"},)"
              R"({"row":2,"column":2,"value":"b2","data_type":"s"}])");

    auto big = make_ref<BookRecord>();
    auto t = big->add_sheet("T", "visible");
    std::vector<std::pair<uint32_t, uint16_t>> at;
    for (uint32_t r = 0; r < 40; ++r)
        for (uint16_t c = 0; c < 40; ++c) at.emplace_back(r * 104729u, static_cast<uint16_t>(c * 1637));
    at.emplace_back(4294967295u, 65535);
    std::vector<std::pair<uint32_t, uint16_t>> order = at;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    for (auto [r, c] : order) t->cell(r, c, nullptr);
    std::sort(at.begin(), at.end());
    std::string want = "[";
    for (size_t i = 0; i < at.size(); ++i) {
        if (i) want += ",";
        want += R"({"row":)" + std::to_string(at[i].first) + R"(,"column":)" +
                std::to_string(at[i].second) + R"(,"value":null,"data_type":"s"})";
    }
    want += "]";
    EXPECT_EQ(cells_of(*big), want);
}

TEST(Document, SheetsInOrderWithMergesAndPositionsAfterDeletion) {
    auto book = make_ref<BookRecord>();
    auto a = book->add_sheet("A", "hidden");
    a->add_merged_range({4294967295u, 0, 65535, 1});
    a->add_merged_range({5, 2, 4, 1});
    put(*a, 1, 5, "x");
    put(*a, 4, 1, "y");
    auto b = book->copy_sheet(*a);
    a->delete_rows(1, 2);  // row 4 moves to row 2; the copy keeps its own
    std::string d = doc(*book);
    EXPECT_EQ(
        d,
        R"({"sheets":[)"
        R"({"name":"A","sheet_state":"hidden","merge_cells":[[4294967295,0,65535,1],[5,2,4,1]],)"
        R"("cells":[{"row":2,"column":1,"value":"y","data_type":"s"}],)"
        R"("row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},"comments":[]},)"
        R"({"name":"Sheet 2","sheet_state":"hidden","merge_cells":[[4294967295,0,65535,1],[5,2,4,1]],)"
        R"("cells":[{"row":1,"column":5,"value":"x","data_type":"s"},{"row":4,"column":1,"value":"y","data_type":"s"}],)"
        R"("row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},"comments":[]}]})");
}

TEST(Document, LongTextsAndManySheetsGrowTheBuffer) {
    auto book = make_ref<BookRecord>();
    std::string want = R"({"sheets":[)";
    const std::string big(100000, '\x01');  // every byte escaped six-fold
    std::string big_esc;
    for (size_t i = 0; i < big.size(); ++i) big_esc += "\\u0001";
    for (int i = 0; i < 30; ++i) {
        auto s = book->add_sheet(std::to_string(i), "visible");
        put(*s, 1, 1, big);
        if (i) want += ",";
        want += R"({"name":")" + std::to_string(i) +
                R"(","sheet_state":"visible","merge_cells":[],"cells":[{"row":1,"column":1,"value":")" +
                big_esc +
                R"(","data_type":"s"}],"row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},"comments":[]})";
    }
    want += "]}";
    EXPECT_EQ(doc(*book), want);
}

}  // namespace
}  // namespace brindel
