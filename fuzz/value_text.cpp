// The text-to-value rule and the value text.
//
// For any well-formed UTF-8 text: the kind and payload the rule gives agree
// with a classifier written here apart from the engine (strtod for the
// number), and the value text read back through the rule gives the value
// back wherever a round trip is promised: Empty, Bool, Integer, DateTime
// without a fraction, Text (its text is itself), and Number (the same double,
// or the Integer of the same value when the text shows an integral number).
// The first bytes of the input also serve as a raw double, a raw 32-bit
// integer and a raw date-time, so that values no short text produces
// (subnormals, every bit pattern) get the same checks, and the document's
// float form is read back as well.

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "support.hpp"
#include "value.hpp"

using namespace brindel;

namespace {

constexpr size_t kMaxInput = 4096;

bool digit(char c) { return c >= '0' && c <= '9'; }

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string_view show(const ValueView& v, char* buf) { return value_text(v, buf); }

// ---- the classifier ----

// Step 3: sign, digits only, within 32 bits (decided on the digit string).
std::optional<int32_t> int_text(std::string_view t) {
    size_t i = 0;
    bool neg = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) neg = t[i++] == '-';
    std::string_view d = t.substr(i);
    if (d.empty()) return std::nullopt;
    for (char c : d)
        if (!digit(c)) return std::nullopt;
    while (d.size() > 1 && d[0] == '0') d.remove_prefix(1);
    std::string_view limit = neg ? "2147483648" : "2147483647";
    if (d.size() > limit.size() || (d.size() == limit.size() && d > limit)) return std::nullopt;
    long long v = std::strtoll(std::string(d).c_str(), nullptr, 10);
    return static_cast<int32_t>(neg ? -v : v);
}

bool word_ci(std::string_view s, std::string_view lower) {
    if (s.size() != lower.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lower[i]) return false;
    }
    return true;
}

// Step 4's grammar.
bool float_text(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::string_view b = t.substr(i);
    if (word_ci(b, "inf") || word_ci(b, "infinity") || word_ci(b, "nan")) return true;
    size_t j = 0, digits = 0, points = 0;
    for (; j < b.size() && (digit(b[j]) || b[j] == '.'); ++j) (b[j] == '.' ? points : digits)++;
    if (digits == 0 || points > 1) return false;
    if (j == b.size()) return true;
    if (b[j] != 'e' && b[j] != 'E') return false;
    ++j;
    if (j < b.size() && (b[j] == '+' || b[j] == '-')) ++j;
    if (j == b.size()) return false;
    for (; j < b.size(); ++j)
        if (!digit(b[j])) return false;
    return true;
}

bool leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int month_days(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap_year(y) ? 29 : kDays[m - 1];
}

// Step 5: exactly the canonical "%Y-%m-%d %H:%M:%S".
std::optional<DateTime> datetime_text(std::string_view t) {
    static const char kShape[] = "dddd-dd-dd dd:dd:dd";
    if (t.size() != 19) return std::nullopt;
    for (size_t i = 0; i < 19; ++i)
        if (kShape[i] == 'd' ? !digit(t[i]) : t[i] != kShape[i]) return std::nullopt;
    auto num = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t k = 0; k < n; ++k) v = v * 10 + (t[at + k] - '0');
        return v;
    };
    int y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2),
        s = num(17, 2);
    if (mo < 1 || mo > 12 || d < 1 || d > month_days(y, mo) || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    DateTime dt;
    dt.year = static_cast<int16_t>(y);
    dt.month = static_cast<uint8_t>(mo);
    dt.day = static_cast<uint8_t>(d);
    dt.hour = static_cast<uint8_t>(h);
    dt.minute = static_cast<uint8_t>(mi);
    dt.second = static_cast<uint8_t>(s == 60 ? 59 : s);
    dt.nanos = s == 60 ? 1000000000u : 0u;
    return dt;
}

bool same_datetime(const DateTime& a, const DateTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.nanos == b.nanos;
}

// The kind and payload of t, decided here, compared with the engine's.
void check_rule(std::string_view t, const ValueView& v) {
    if (t.empty()) {
        FUZZ_CHECK(v.kind == ValueKind::Empty, t);
        return;
    }
    std::string up = fuzz::upper_ascii_prefix(t);
    if (up == "TRUE" || up == "FALSE") {
        FUZZ_CHECK(v.kind == ValueKind::Bool && v.boolean == (up == "TRUE"), t);
        return;
    }
    if (auto i = int_text(t)) {
        FUZZ_CHECK(v.kind == ValueKind::Integer && v.integer == *i, t);
        return;
    }
    if (float_text(t)) {
        FUZZ_CHECK(v.kind == ValueKind::Number, t);
        std::string z(t);
        double want = std::strtod(z.c_str(), nullptr);  // nearest, ties to even
        if (std::isnan(want))
            FUZZ_CHECK(std::isnan(v.number), t);
        else
            FUZZ_CHECK(same_bits(v.number, want), t);
        return;
    }
    if (auto dt = datetime_text(t)) {
        FUZZ_CHECK(v.kind == ValueKind::DateTime && same_datetime(v.datetime, *dt), t);
        return;
    }
    FUZZ_CHECK(v.kind == ValueKind::Text && v.text.data() == t.data() && v.text.size() == t.size(),
               t);
}

// The fewest significant digits of a correctly rounded decimal that reads
// back as d (finite, nonzero), found by printing at rising precision. Next to
// a power of two a shorter string may read back too, so this is an upper
// bound for the shortest digits.
int rounded_digits(double d) {
    char buf[64];
    for (int p = 1; p <= 17; ++p) {
        std::snprintf(buf, sizeof buf, "%.*e", p - 1, d);
        if (std::strtod(buf, nullptr) == d) return p;
    }
    fuzz::fail("no precision of 17 digits reads back", {});
}

// Where the decimal point stands relative to the first significant digit of
// a positional text: 1234.5 gives 4, 0.00123 gives -2.
int point_of(std::string_view s) {
    if (s[0] == '-') s.remove_prefix(1);
    size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    if (whole != "0") return static_cast<int>(whole.size());
    size_t first = s.find_first_of("123456789", dot);
    return -static_cast<int>(first - dot - 1);
}

// The value text of a Number: positional, shortest, and read back through the
// rule as the same double or, when integral and within 32 bits, as that
// Integer.
void check_number(double d) {
    ValueView v;
    v.kind = ValueKind::Number;
    v.number = d;
    char buf[kValueTextBuffer];
    std::string_view s = show(v, buf);
    FUZZ_CHECK(s.size() < kValueTextBuffer, s);
    if (std::isnan(d)) {
        FUZZ_CHECK(s == "NaN", s);
    } else if (std::isinf(d)) {
        FUZZ_CHECK(s == (d < 0 ? "-inf" : "inf"), s);
    } else {
        for (char c : s) FUZZ_CHECK(digit(c) || c == '-' || c == '.', s);
        FUZZ_CHECK((s[0] == '-') == std::signbit(d), s);
        if (d != 0) {
            // Significant digits: those between the first and last nonzero.
            size_t first = s.find_first_of("123456789"), last = s.find_last_of("123456789");
            int got = 0;
            for (size_t k = first; k <= last; ++k) got += digit(s[k]);
            FUZZ_CHECK(got <= rounded_digits(d), s);
            FUZZ_CHECK((s.find('.') != std::string_view::npos) == (std::floor(d) != d), s);
        }
    }
    ValueView w = text_to_value(s);
    bool integral32 = std::isfinite(d) && std::floor(d) == d && d >= -2147483648.0 &&
                      d <= 2147483647.0;
    if (integral32) {
        FUZZ_CHECK(w.kind == ValueKind::Integer && static_cast<double>(w.integer) == d, s);
    } else if (std::isnan(d)) {
        FUZZ_CHECK(w.kind == ValueKind::Number && std::isnan(w.number), s);
    } else {
        FUZZ_CHECK(w.kind == ValueKind::Number && same_bits(w.number, d), s);
    }

    // The document's float form of a finite double reads back exactly and
    // is a float to a JSON reader: it holds a point or an exponent.
    if (std::isfinite(d)) {
        char jb[32];
        size_t n = format_json_number(d, jb);
        FUZZ_CHECK(n < sizeof jb, std::string_view(jb, n));
        std::string j(jb, n);
        FUZZ_CHECK(same_bits(std::strtod(j.c_str(), nullptr), d), j);
        FUZZ_CHECK(j.find_first_of(".e") != std::string::npos, j);
        if (d != 0) {
            int point = point_of(s);
            bool positional = point >= -4 && point <= 16;
            FUZZ_CHECK((j.find('e') == std::string::npos) == positional, j);
        }
    }
}

void check_integer(int32_t i) {
    ValueView v;
    v.kind = ValueKind::Integer;
    v.integer = i;
    char buf[kValueTextBuffer];
    std::string_view s = show(v, buf);
    FUZZ_CHECK(s == std::to_string(i), s);
    ValueView w = text_to_value(s);
    FUZZ_CHECK(w.kind == ValueKind::Integer && w.integer == i, s);
}

// A date-time as the bindings build one (years 1 to 9999, microseconds) or
// the rule does (year 0, a leap second): without a fraction it comes back.
void check_datetime(const uint8_t* p) {
    DateTime dt;
    dt.year = static_cast<int16_t>((p[0] | (p[1] << 8)) % 10000);
    dt.month = static_cast<uint8_t>(1 + p[2] % 12);
    dt.day = static_cast<uint8_t>(1 + p[3] % month_days(dt.year, dt.month));
    dt.hour = static_cast<uint8_t>(p[4] % 24);
    dt.minute = static_cast<uint8_t>(p[5] % 60);
    dt.second = static_cast<uint8_t>(p[6] % 60);
    uint32_t micro = (p[7] | (p[8] << 8) | (p[9] << 16)) % 1000000;
    switch (p[10] % 4) {
        case 0: dt.nanos = 0; break;
        case 1: dt.nanos = micro * 1000; break;
        case 2: dt.second = 59; dt.nanos = 1000000000u; break;
        default: dt.nanos = micro * 1000 + p[11] % 1000; break;
    }
    ValueView v;
    v.kind = ValueKind::DateTime;
    v.datetime = dt;
    char buf[kValueTextBuffer];
    std::string_view s = show(v, buf);
    // The expected text, built apart.
    char want[64];
    bool leap = dt.nanos >= 1000000000u;
    int n = std::snprintf(want, sizeof want, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month,
                          dt.day, dt.hour, dt.minute, dt.second + (leap ? 1 : 0));
    uint32_t frac = dt.nanos % 1000000000u;
    if (frac % 1000000 == 0 && frac)
        n += std::snprintf(want + n, sizeof want - n, ".%03u", frac / 1000000);
    else if (frac % 1000 == 0 && frac)
        n += std::snprintf(want + n, sizeof want - n, ".%06u", frac / 1000);
    else if (frac)
        n += std::snprintf(want + n, sizeof want - n, ".%09u", frac);
    FUZZ_CHECK(s == std::string_view(want, static_cast<size_t>(n)), s);
    ValueView w = text_to_value(s);
    if (frac == 0)
        FUZZ_CHECK(w.kind == ValueKind::DateTime && same_datetime(w.datetime, dt), s);
    else
        FUZZ_CHECK(w.kind == ValueKind::Text, s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_ALL, "C");  // strtod reads a point
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    std::string_view t(reinterpret_cast<const char*>(data), size);

    if (size >= 8) {
        double d;
        std::memcpy(&d, data, sizeof d);
        check_number(d);
    }
    if (size >= 4) {
        int32_t i;
        std::memcpy(&i, data, sizeof i);
        check_integer(i);
    }
    if (size >= 12) check_datetime(data);

    // Texts reach the engine only as well-formed UTF-8.
    if (!fuzz::valid_utf8(t)) return 0;
    ValueView v = text_to_value(t);
    check_rule(t, v);

    char buf[kValueTextBuffer];
    std::string_view s = show(v, buf);
    ValueView w = text_to_value(s);
    switch (v.kind) {
        case ValueKind::Empty:
            FUZZ_CHECK(s.empty() && w.kind == ValueKind::Empty, t);
            break;
        case ValueKind::Text:
            FUZZ_CHECK(s.data() == t.data() && s.size() == t.size(), t);
            FUZZ_CHECK(w.kind == ValueKind::Text && w.text == t, t);
            break;
        case ValueKind::Bool:
            FUZZ_CHECK(s == (v.boolean ? "true" : "false"), t);
            FUZZ_CHECK(w.kind == ValueKind::Bool && w.boolean == v.boolean, t);
            break;
        case ValueKind::Integer:
            FUZZ_CHECK(w.kind == ValueKind::Integer && w.integer == v.integer, t);
            break;
        case ValueKind::DateTime:
            FUZZ_CHECK(w.kind == ValueKind::DateTime && same_datetime(w.datetime, v.datetime), t);
            break;
        case ValueKind::Number:
            check_number(v.number);
            break;
    }
    return 0;
}
