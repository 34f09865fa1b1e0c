// Cell values: the six kinds, the text-to-value rule that classifies a text,
// and the value text, the one text form of a value that reads and searches
// compare against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brindel {

enum class ValueKind : uint8_t { Empty = 0, Text, Number, Integer, Bool, DateTime };

// Date and time of day without zone. The date is proleptic Gregorian; a
// fraction (nanos) of 1,000,000,000 or more marks a leap second, stored as
// second 59.
struct DateTime {
    int16_t year = 0;
    uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
    uint32_t nanos = 0;
};
static_assert(sizeof(DateTime) == 12);

// A value as parsed or read: scalars by value, a text as a view of storage
// that belongs to someone else.
struct ValueView {
    ValueKind kind = ValueKind::Empty;
    union {
        double number;
        int32_t integer;
        bool boolean;
        DateTime datetime;
    };
    std::string_view text;

    ValueView() : number(0) {}
    static ValueView of_text(std::string_view t) {
        ValueView v;
        v.kind = t.empty() ? ValueKind::Empty : ValueKind::Text;
        v.text = t;
        return v;
    }
};

// The text-to-value rule. A Text result views t itself.
ValueView text_to_value(std::string_view t) noexcept;

// The data type code of a kind: "s", "n", "b" or "d".
char kind_code(ValueKind k) noexcept;

// Large enough for every value text except texts, which are viewed in place:
// the longest is a subnormal double written positionally.
constexpr size_t kValueTextBuffer = 400;

// The value text of v: a view of v.text for texts, else written into buf.
std::string_view value_text(const ValueView& v, char* buf) noexcept;

// Shortest round-trip digits laid out positionally, never with an exponent:
// 2 (not 2.0), 0.0000001, -0, NaN, inf, -inf.
size_t format_number_text(double d, char* buf) noexcept;

// The document's float form for a finite double: 20.0, 12.34, 0.001234,
// 1e16, 1.5e-7, -0.0. Needs 32 bytes of buffer.
size_t format_json_number(double d, char* buf) noexcept;

// Date, sep, time, and a fraction of 3, 6 or 9 digits when there is one; a
// leap second shows as second 60. Needs 48 bytes of buffer.
size_t format_datetime(const DateTime& dt, char sep, char* buf) noexcept;

// Whether the date exists in the proleptic Gregorian calendar.
bool valid_date(int year, int month, int day) noexcept;

}  // namespace brindel
