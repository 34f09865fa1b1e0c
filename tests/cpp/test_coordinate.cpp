// Column letters, letter coordinates and the coordinate text callers type.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "coordinate.hpp"

namespace brindel {
namespace {

TEST(ColumnLetters, BijectiveBaseTwentySix) {
    struct Case {
        uint16_t column;
        const char* letters;
    } cases[] = {
        {0, ""},       {1, "A"},      {2, "B"},       {25, "Y"},      {26, "Z"},
        {27, "AA"},    {28, "AB"},    {52, "AZ"},     {53, "BA"},     {701, "ZY"},
        {702, "ZZ"},   {703, "AAA"},  {16384, "XFD"}, {18278, "ZZZ"}, {18279, "AAAA"},
        {65535, "CRXO"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(column_letters(c.column), c.letters) << c.column;
        char buf[4];
        size_t n = column_letters(c.column, buf);
        EXPECT_EQ(std::string(buf, n), c.letters) << c.column;
    }
}

TEST(ColumnLetters, RoundTripUpToThreeLetters) {
    for (uint32_t c = 1; c <= 18278; ++c) {
        std::string l = column_letters(static_cast<uint16_t>(c));
        ASSERT_GE(l.size(), 1u);
        ASSERT_LE(l.size(), 3u);
        ASSERT_EQ(column_from_letters(l), c) << l;
    }
    // Every four-letter column stays within four letters.
    for (uint32_t c = 18279; c <= 65535; ++c)
        ASSERT_EQ(column_letters(static_cast<uint16_t>(c)).size(), 4u) << c;
}

TEST(ColumnLetters, FromLetters) {
    EXPECT_EQ(column_from_letters("A"), 1);
    EXPECT_EQ(column_from_letters("Z"), 26);
    EXPECT_EQ(column_from_letters("AA"), 27);
    EXPECT_EQ(column_from_letters("AB"), 28);
    EXPECT_EQ(column_from_letters("XFD"), 16384);
    EXPECT_EQ(column_from_letters("ZZZ"), 18278);
}

TEST(LetterCoordinate, LettersThenDecimalRow) {
    struct Case {
        uint32_t row;
        uint16_t column;
        const char* text;
    } cases[] = {
        {1, 1, "A1"},         {7, 2, "B7"},  {10, 28, "AB10"},
        {0, 1, "A0"},         {5, 0, "5"},   {0, 0, "0"},
        {4294967295u, 1, "A4294967295"},     {4294967295u, 65535, "CRXO4294967295"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(letter_coordinate(c.row, c.column), c.text);
        char buf[kMaxLetterCoordinate];
        size_t n = letter_coordinate(c.row, c.column, buf);
        EXPECT_EQ(std::string(buf, n), c.text);
    }
}

TEST(CoordinateText, ReadsThePositionAtTheStart) {
    struct Case {
        const char* text;
        std::optional<Coordinate> at;  // {row, column}
    };
    const Case cases[] = {
        {"A1", Coordinate{1, 1}},
        {"a1", Coordinate{1, 1}},
        {"$B$7", Coordinate{7, 2}},
        {"$a$1", Coordinate{1, 1}},
        {"B$7", Coordinate{7, 2}},
        {"$B7", Coordinate{7, 2}},
        {"ab10", Coordinate{10, 28}},
        {"A01", Coordinate{1, 1}},
        {"A0", Coordinate{0, 1}},
        {"C5D", Coordinate{5, 3}},
        {"A1:B2", Coordinate{1, 1}},
        {"A1 ", Coordinate{1, 1}},
        {"ZZZ18278", Coordinate{18278, 18278}},
        {"A4294967295", Coordinate{4294967295u, 1}},
        {"A00000000001", Coordinate{1, 1}},
        {"A000000000004294967295", Coordinate{4294967295u, 1}},
        {"\xC3\x9F" "1", Coordinate{1, column_from_letters("SS")}},      // sharp s: SS
        {"\xEF\xAC\x81" "1", Coordinate{1, column_from_letters("FI")}},  // fi ligature
        {"\xEF\xAC\x83" "2", Coordinate{2, column_from_letters("FFI")}},  // ffi ligature
        {"\xC5\xBF" "3", Coordinate{3, column_from_letters("S")}},      // long s
        {"\xC4\xB1" "4", Coordinate{4, column_from_letters("I")}},      // dotless i
        {"$\xC3\x9F$9", Coordinate{9, column_from_letters("SS")}},
        {"a\xC3\x9F" "1", Coordinate{1, column_from_letters("ASS")}},
        {"aa\xC3\x9F" "1", std::nullopt},  // AASS: three letters, then S
        {"\xEF\xAC\x83\xEF\xAC\x83" "1", std::nullopt},
        {"\xC7\xB0" "1", std::nullopt},  // j with caron keeps its mark
        {"\xC3\x89" "1", std::nullopt},  // E acute is no ASCII letter
        {"ABCD1", std::nullopt},
        {"A", std::nullopt},
        {"AB", std::nullopt},
        {"7", std::nullopt},
        {"$7", std::nullopt},
        {"", std::nullopt},
        {" A1", std::nullopt},
        {"1A", std::nullopt},
        {"$", std::nullopt},
        {"$$A1", std::nullopt},
        {"A$$1", std::nullopt},
        {"A-1", std::nullopt},
        {"A4294967296", std::nullopt},
        {"A99999999999999999999", std::nullopt},
        {"A\xEF\xBC\x91", std::nullopt},  // full-width digit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "'");
        std::optional<Coordinate> got = parse_coordinate_text(c.text);
        ASSERT_EQ(got.has_value(), c.at.has_value());
        if (got) {
            EXPECT_EQ(debug_form(*got), debug_form(*c.at));
        }
    }
}

TEST(CoordinateText, EveryLetterCoordinateParsesBack) {
    for (uint32_t c = 1; c <= 18278; c += 7)
        for (uint32_t r : {0u, 1u, 99u, 1048576u, 4294967295u}) {
            std::string t = letter_coordinate(r, static_cast<uint16_t>(c));
            auto got = parse_coordinate_text(t);
            ASSERT_TRUE(got) << t;
            ASSERT_EQ(got->row, r) << t;
            ASSERT_EQ(got->column, c) << t;
        }
}

TEST(Coordinate, DebugFormAndOrder) {
    EXPECT_EQ(debug_form(Coordinate{7, 2}), "Coordinate { row: 7, column: 2 }");
    EXPECT_EQ(debug_form(Coordinate{4294967295u, 65535}),
              "Coordinate { row: 4294967295, column: 65535 }");
    // The packed key orders row first, then column.
    EXPECT_LT(pack_key(1, 65535), pack_key(2, 0));
    EXPECT_LT(pack_key(2, 1), pack_key(2, 2));
    EXPECT_LT(pack_key(4294967294u, 65535), pack_key(4294967295u, 0));
}

}  // namespace
}  // namespace brindel
