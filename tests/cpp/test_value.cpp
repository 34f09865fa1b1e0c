// The text-to-value rule, the value text and the document's float and
// date-time forms.

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "value.hpp"

namespace brindel {
namespace {

std::string shown(const ValueView& v) {
    char buf[kValueTextBuffer];
    return std::string(value_text(v, buf));
}

std::string number_text(double d) {
    char buf[kValueTextBuffer];
    size_t n = format_number_text(d, buf);
    EXPECT_LT(n, kValueTextBuffer);
    return std::string(buf, n);
}

std::string json_number(double d) {
    char buf[32];
    return std::string(buf, format_json_number(d, buf));
}

std::string datetime_text(const DateTime& dt, char sep) {
    char buf[48];
    return std::string(buf, format_datetime(dt, sep, buf));
}

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

const char* kind_name(ValueKind k) {
    switch (k) {
        case ValueKind::Empty: return "Empty";
        case ValueKind::Text: return "Text";
        case ValueKind::Number: return "Number";
        case ValueKind::Integer: return "Integer";
        case ValueKind::Bool: return "Bool";
        case ValueKind::DateTime: return "DateTime";
    }
    return "?";
}

std::string zeros(size_t n) { return std::string(n, '0'); }

constexpr double kInf = HUGE_VAL;

struct ToValueCase {
    std::string text;
    ValueKind kind;
    std::string shown;  // the value text read back; for Text, the text itself
    double number = 0;  // the exact double, for Number
};

TEST(TextToValue, ClassifiesEveryKindOfText) {
    using K = ValueKind;
    const std::vector<ToValueCase> cases = {
        {"", K::Empty, ""},

        // Booleans: full upper-casing, nothing around the word.
        {"TRUE", K::Bool, "true"},
        {"true", K::Bool, "true"},
        {"tRuE", K::Bool, "true"},
        {"false", K::Bool, "false"},
        {"FaLsE", K::Bool, "false"},
        {"fal\xC5\xBF" "e", K::Bool, "false"},     // long s reads as S
        {"FAL\xC5\xBF" "E", K::Bool, "false"},
        {"fal\xC3\x9F" "e", K::Text, "fal\xC3\x9F" "e"},  // sharp s is two letters
        {"true\xCC\x81", K::Text, "true\xCC\x81"},        // a combining mark after it
        {"\xEF\xBD\x94rue", K::Text, "\xEF\xBD\x94rue"},  // full-width t
        {" true", K::Text, " true"},
        {"true ", K::Text, "true "},
        {"tru", K::Text, "tru"},
        {"truee", K::Text, "truee"},
        {"yes", K::Text, "yes"},

        // Signed 32-bit integers.
        {"12", K::Integer, "12"},
        {"-12", K::Integer, "-12"},
        {"+12", K::Integer, "12"},
        {"007", K::Integer, "7"},
        {"-0", K::Integer, "0"},
        {"+0", K::Integer, "0"},
        {"2147483647", K::Integer, "2147483647"},
        {"-2147483648", K::Integer, "-2147483648"},
        {"00000000002147483647", K::Integer, "2147483647"},
        {"2147483648", K::Number, "2147483648", 2147483648.0},
        {"-2147483649", K::Number, "-2147483649", -2147483649.0},
        {"99999999999999999999", K::Number, "1" + zeros(20), 1e20},
        {"+", K::Text, "+"},
        {"-", K::Text, "-"},
        {"+-1", K::Text, "+-1"},
        {"--1", K::Text, "--1"},
        {" 12", K::Text, " 12"},
        {"12 ", K::Text, "12 "},
        {"1,5", K::Text, "1,5"},
        {"1_000", K::Text, "1_000"},
        {"0x10", K::Text, "0x10"},
        {"\xEF\xBC\x91\xEF\xBC\x92", K::Text, "\xEF\xBC\x91\xEF\xBC\x92"},  // full-width digits

        // Decimal floating-point numbers.
        {"1.5", K::Number, "1.5", 1.5},
        {"2.50", K::Number, "2.5", 2.5},
        {"1.", K::Number, "1", 1.0},
        {".5", K::Number, "0.5", 0.5},
        {"-.5", K::Number, "-0.5", -0.5},
        {"+.5e1", K::Number, "5", 5.0},
        {"-0.0", K::Number, "-0", -0.0},
        {"0.0", K::Number, "0", 0.0},
        {"1e3", K::Number, "1000", 1000.0},
        {"1E+3", K::Number, "1000", 1000.0},
        {"1e-3", K::Number, "0.001", 0.001},
        {"1e21", K::Number, "1" + zeros(21), 1e21},
        {"0.1", K::Number, "0.1", 0.1},
        {".", K::Text, "."},
        {"-.", K::Text, "-."},
        {"1.2.3", K::Text, "1.2.3"},
        {"1e", K::Text, "1e"},
        {"1e+", K::Text, "1e+"},
        {"e3", K::Text, "e3"},
        {".e3", K::Text, ".e3"},
        {"1e3.5", K::Text, "1e3.5"},
        {"1e 3", K::Text, "1e 3"},
        {"1.5 ", K::Text, "1.5 "},
        {"1d3", K::Text, "1d3"},
        {"0x1p3", K::Text, "0x1p3"},
        {"inf", K::Number, "inf", kInf},
        {"INF", K::Number, "inf", kInf},
        {"-inf", K::Number, "-inf", -kInf},
        {"Infinity", K::Number, "inf", kInf},
        {"-Infinity", K::Number, "-inf", -kInf},
        {"+iNfInItY", K::Number, "inf", kInf},
        {"infin", K::Text, "infin"},
        {"in f", K::Text, "in f"},
        {"NaN", K::Number, "NaN", NAN},
        {"nan", K::Number, "NaN", NAN},
        {"-nan", K::Number, "NaN", NAN},
        {"nan(1)", K::Text, "nan(1)"},
        {"nana", K::Text, "nana"},

        // Beyond the double range: infinity; below it: zero with the sign.
        {"1e400", K::Number, "inf", kInf},
        {"-1e400", K::Number, "-inf", -kInf},
        {"1e99999999999999999999", K::Number, "inf", kInf},
        {"1.8e308", K::Number, "inf", kInf},
        {"1.7976931348623157e308", K::Number, "17976931348623157" + zeros(292), DBL_MAX},
        {"1e-400", K::Number, "0", 0.0},
        {"-1e-400", K::Number, "-0", -0.0},
        {"0.0000001e-99999999999", K::Number, "0", 0.0},
        {"0e999999", K::Number, "0", 0.0},
        {"1" + zeros(400), K::Number, "inf", kInf},
        {"0." + zeros(400) + "1", K::Number, "0", 0.0},
        {"0." + zeros(400) + "1e401", K::Number, "1", 1.0},
        {zeros(400) + "1.5", K::Number, "1.5", 1.5},
        {"5e-324", K::Number, "0." + zeros(323) + "5", 5e-324},
        {"3e-324", K::Number, "0." + zeros(323) + "5", 5e-324},  // rounds up to the least
        {"2e-324", K::Number, "0", 0.0},                        // rounds down to zero
        {"-5e-324", K::Number, "-0." + zeros(323) + "5", -5e-324},
        {"2.5e-310", K::Number, "0." + zeros(309) + "25", 2.5e-310},

        // Date-times: exactly "YYYY-MM-DD HH:MM:SS" on a real date.
        {"2024-01-05 10:00:00", K::DateTime, "2024-01-05 10:00:00"},
        {"2024-02-29 00:00:00", K::DateTime, "2024-02-29 00:00:00"},
        {"2023-02-29 00:00:00", K::Text, "2023-02-29 00:00:00"},
        {"1900-02-29 12:00:00", K::Text, "1900-02-29 12:00:00"},
        {"2000-02-29 12:00:00", K::DateTime, "2000-02-29 12:00:00"},
        {"0000-02-29 00:00:00", K::DateTime, "0000-02-29 00:00:00"},
        {"9999-12-31 23:59:59", K::DateTime, "9999-12-31 23:59:59"},
        {"2024-02-30 10:00:00", K::Text, "2024-02-30 10:00:00"},
        {"2024-04-31 10:00:00", K::Text, "2024-04-31 10:00:00"},
        {"2024-00-10 10:00:00", K::Text, "2024-00-10 10:00:00"},
        {"2024-13-10 10:00:00", K::Text, "2024-13-10 10:00:00"},
        {"2024-01-00 10:00:00", K::Text, "2024-01-00 10:00:00"},
        {"2016-12-31 23:59:60", K::DateTime, "2016-12-31 23:59:60"},
        {"2024-01-05 24:00:00", K::Text, "2024-01-05 24:00:00"},
        {"2024-01-05 23:60:00", K::Text, "2024-01-05 23:60:00"},
        {"2024-01-05 23:59:61", K::Text, "2024-01-05 23:59:61"},
        {"2024-1-05 10:00:00", K::Text, "2024-1-05 10:00:00"},
        {"2024-01-5 10:00:00", K::Text, "2024-01-5 10:00:00"},
        {"2024-01-05 9:00:00", K::Text, "2024-01-05 9:00:00"},
        {"2024-01-05 10:0:00", K::Text, "2024-01-05 10:0:00"},
        {"2024-01-05 10:00:0", K::Text, "2024-01-05 10:00:0"},
        {"024-01-05 10:00:00", K::Text, "024-01-05 10:00:00"},
        {"+2024-01-05 10:00:00", K::Text, "+2024-01-05 10:00:00"},
        {"2024-01-05T10:00:00", K::Text, "2024-01-05T10:00:00"},
        {"2024-01-05 10:00:00.5", K::Text, "2024-01-05 10:00:00.5"},
        {"2024-01-05 10:00:00Z", K::Text, "2024-01-05 10:00:00Z"},
        {"2024-01-05 10:00:00 ", K::Text, "2024-01-05 10:00:00 "},
        {" 2024-01-05 10:00:00", K::Text, " 2024-01-05 10:00:00"},
        {"2024-01-05  10:00:00", K::Text, "2024-01-05  10:00:00"},
        {"2024/01/05 10:00:00", K::Text, "2024/01/05 10:00:00"},
        {"2024-01-05", K::Text, "2024-01-05"},
        {"10:00:00", K::Text, "10:00:00"},

        {"abc", K::Text, "abc"},
        {"\xC3\xA9t\xC3\xA9", K::Text, "\xC3\xA9t\xC3\xA9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        ValueView v = text_to_value(c.text);
        EXPECT_STREQ(kind_name(v.kind), kind_name(c.kind));
        EXPECT_EQ(shown(v), c.shown);
        if (v.kind == ValueKind::Number && c.kind == ValueKind::Number) {
            EXPECT_TRUE(same_double(v.number, c.number)) << "got " << v.number;
        }
        if (v.kind == ValueKind::Text) {
            EXPECT_EQ(v.text.data(), c.text.data()) << "not in place";
        }
    }
}

TEST(TextToValue, PayloadsOfScalarKinds) {
    ValueView t = text_to_value("TRUE");
    ASSERT_EQ(t.kind, ValueKind::Bool);
    EXPECT_TRUE(t.boolean);
    ValueView f = text_to_value("falſe");
    ASSERT_EQ(f.kind, ValueKind::Bool);
    EXPECT_FALSE(f.boolean);

    ValueView i = text_to_value("-2147483648");
    ASSERT_EQ(i.kind, ValueKind::Integer);
    EXPECT_EQ(i.integer, INT32_MIN);

    ValueView d = text_to_value("2024-03-07 09:05:01");
    ASSERT_EQ(d.kind, ValueKind::DateTime);
    EXPECT_EQ(d.datetime.year, 2024);
    EXPECT_EQ(d.datetime.month, 3);
    EXPECT_EQ(d.datetime.day, 7);
    EXPECT_EQ(d.datetime.hour, 9);
    EXPECT_EQ(d.datetime.minute, 5);
    EXPECT_EQ(d.datetime.second, 1);
    EXPECT_EQ(d.datetime.nanos, 0u);

    // A leap second is kept as second 59 with a full second of fraction.
    ValueView leap = text_to_value("2016-12-31 23:59:60");
    ASSERT_EQ(leap.kind, ValueKind::DateTime);
    EXPECT_EQ(leap.datetime.second, 59);
    EXPECT_EQ(leap.datetime.nanos, 1000000000u);
}

TEST(TextToValue, ValueTextReadsBackAsTheSameValue) {
    // Empty, Bool, Integer and a DateTime without fraction survive the round
    // trip through their value text.
    for (const char* t : {"", "TRUE", "falſe", "+007", "-2147483648", "2024-02-29 23:59:60",
                          "0000-01-01 00:00:00"}) {
        SCOPED_TRACE(t);
        ValueView a = text_to_value(t);
        std::string s = shown(a);
        ValueView b = text_to_value(s);
        ASSERT_EQ(a.kind, b.kind);
        EXPECT_EQ(shown(b), s);
    }
}

TEST(ValidDate, ProlepticGregorianCalendar) {
    struct Case {
        int y, m, d;
        bool ok;
    } cases[] = {
        {2024, 2, 29, true},  {2023, 2, 29, false}, {1900, 2, 29, false}, {2000, 2, 29, true},
        {0, 2, 29, true},     {-4, 2, 29, true},    {-100, 2, 29, false}, {-400, 2, 29, true},
        {2024, 4, 30, true},  {2024, 4, 31, false}, {2024, 12, 31, true}, {2024, 1, 32, false},
        {2024, 0, 1, false},  {2024, 13, 1, false}, {2024, 1, 0, false},  {2024, 1, -1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(valid_date(c.y, c.m, c.d), c.ok) << c.y << "-" << c.m << "-" << c.d;
}

TEST(NumberText, PositionalShortestDigits) {
    struct Case {
        double d;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0.1, "0.1"},
        {0.30000000000000004, "0.30000000000000004"},
        {2.0, "2"},
        {-1.5, "-1.5"},
        {123.456, "123.456"},
        {0.0, "0"},
        {-0.0, "-0"},
        {1e21, "1" + zeros(21)},
        {1e22, "1" + zeros(22)},
        {1.2345678901234568e20, "123456789012345680000"},
        {1e-7, "0.0000001"},
        {-1.5e-10, "-0.00000000015"},
        {DBL_MAX, "17976931348623157" + zeros(292)},
        {-DBL_MAX, "-17976931348623157" + zeros(292)},
        {5e-324, "0." + zeros(323) + "5"},
        {-DBL_MIN, "-0." + zeros(307) + "22250738585072014"},
        {NAN, "NaN"},
        {-NAN, "NaN"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(number_text(c.d), c.text) << c.text;
}

// Random doubles over the whole range of exponents: the value text always
// reads back as the very same double.
TEST(NumberText, RoundTripsThroughTheTextRule) {
    std::mt19937_64 rng(20240229);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        double d;
        switch (i % 3) {
            case 0: d = std::bit_cast<double>(rng()); break;
            case 1: d = unit(rng) * 1e6; break;
            default: d = std::round(unit(rng) * 1e7) / 1000.0; break;
        }
        if (!std::isfinite(d) || d == 0) continue;
        std::string s = number_text(d);
        ValueView v = text_to_value(s);
        double back = v.kind == ValueKind::Integer ? v.integer
                      : v.kind == ValueKind::Number ? v.number
                                                    : NAN;
        ASSERT_TRUE(same_double(back, d)) << s << " from " << std::hexfloat << d;
    }
}

TEST(JsonNumber, DocumentFloatForms) {
    struct Case {
        double d;
        const char* text;
    } cases[] = {
        {20.0, "20.0"},
        {3.0, "3.0"},
        {100.0, "100.0"},
        {1e15, "1000000000000000.0"},
        {1234567890123456.0, "1234567890123456.0"},
        {1234567890123456.7, "1234567890123456.8"},
        {1e16, "1e16"},
        {12345678901234567.0, "1.2345678901234568e16"},
        {1.2345678901234568e20, "1.2345678901234568e20"},
        {1e300, "1e300"},
        {DBL_MAX, "1.7976931348623157e308"},
        {12.34, "12.34"},
        {22.5, "22.5"},
        {-12.5, "-12.5"},
        {0.1, "0.1"},
        {0.001234, "0.001234"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {0.000012345, "0.000012345"},
        {0.000001, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {-1.5e-7, "-1.5e-7"},
        {5e-324, "5e-324"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(json_number(c.d), c.text) << c.text;
}

TEST(JsonNumber, RoundTripsThroughStrtod) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 200000; ++i) {
        double d = std::bit_cast<double>(rng());
        if (!std::isfinite(d)) continue;
        std::string s = json_number(d);
        char* end = nullptr;
        double back = std::strtod(s.c_str(), &end);
        ASSERT_EQ(*end, '\0') << s;
        ASSERT_TRUE(same_double(back, d)) << s;
        ASSERT_EQ(s.find('+'), std::string::npos) << s;
    }
}

TEST(DateTimeText, FractionsLeapSecondsAndYears) {
    struct Case {
        DateTime dt;
        char sep;
        const char* text;
    } cases[] = {
        {{2024, 3, 1, 8, 30, 0, 0}, 'T', "2024-03-01T08:30:00"},
        {{2024, 3, 1, 8, 30, 0, 0}, ' ', "2024-03-01 08:30:00"},
        {{2024, 3, 7, 9, 5, 0, 250000000}, ' ', "2024-03-07 09:05:00.250"},
        {{2024, 3, 7, 9, 5, 0, 1000000}, ' ', "2024-03-07 09:05:00.001"},
        {{2024, 3, 7, 9, 5, 0, 123456000}, ' ', "2024-03-07 09:05:00.123456"},
        {{2024, 3, 7, 9, 5, 0, 1000}, ' ', "2024-03-07 09:05:00.000001"},
        {{2024, 3, 7, 9, 5, 0, 123456789}, ' ', "2024-03-07 09:05:00.123456789"},
        {{2024, 3, 7, 9, 5, 0, 1}, 'T', "2024-03-07T09:05:00.000000001"},
        {{2024, 3, 7, 9, 5, 0, 999999999}, 'T', "2024-03-07T09:05:00.999999999"},
        {{2016, 12, 31, 23, 59, 59, 1000000000}, ' ', "2016-12-31 23:59:60"},
        {{2016, 12, 31, 23, 59, 59, 1500000000}, 'T', "2016-12-31T23:59:60.500"},
        {{2016, 12, 31, 23, 59, 59, 1000000007}, 'T', "2016-12-31T23:59:60.000000007"},
        {{0, 1, 1, 0, 0, 0, 0}, ' ', "0000-01-01 00:00:00"},
        {{5, 1, 1, 0, 0, 0, 0}, ' ', "0005-01-01 00:00:00"},
        {{999, 1, 1, 0, 0, 0, 0}, ' ', "0999-01-01 00:00:00"},
        {{9999, 12, 31, 23, 59, 59, 0}, ' ', "9999-12-31 23:59:59"},
        {{10000, 1, 1, 0, 0, 0, 0}, ' ', "+10000-01-01 00:00:00"},
        {{32767, 1, 1, 0, 0, 0, 0}, 'T', "+32767-01-01T00:00:00"},
        {{-1, 1, 1, 0, 0, 0, 0}, ' ', "-0001-01-01 00:00:00"},
        {{-12345, 6, 7, 0, 0, 0, 0}, 'T', "-12345-06-07T00:00:00"},
        {{-32768, 1, 1, 0, 0, 0, 0}, 'T', "-32768-01-01T00:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(datetime_text(c.dt, c.sep), c.text) << c.text;
}

TEST(ValueText, EveryKind) {
    ValueView e;
    EXPECT_EQ(shown(e), "");

    ValueView t = ValueView::of_text("  keep  Me ");
    EXPECT_EQ(shown(t), "  keep  Me ");
    EXPECT_EQ(ValueView::of_text("").kind, ValueKind::Empty);

    ValueView n;
    n.kind = ValueKind::Number;
    n.number = 3.0;
    EXPECT_EQ(shown(n), "3");

    ValueView i;
    i.kind = ValueKind::Integer;
    for (int32_t x : {0, -1, INT32_MAX, INT32_MIN}) {
        i.integer = x;
        EXPECT_EQ(shown(i), std::to_string(x));
    }

    ValueView b;
    b.kind = ValueKind::Bool;
    b.boolean = true;
    EXPECT_EQ(shown(b), "true");
    b.boolean = false;
    EXPECT_EQ(shown(b), "false");

    ValueView d;
    d.kind = ValueKind::DateTime;
    d.datetime = DateTime{2024, 3, 7, 9, 5, 0, 250000000};
    EXPECT_EQ(shown(d), "2024-03-07 09:05:00.250");
}

}  // namespace
}  // namespace brindel
