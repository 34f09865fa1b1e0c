#include "value.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#include "unicode.hpp"

namespace brindel {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Step 3: an optional sign, then ASCII digits only, within 32 bits.
bool parse_int32(std::string_view t, int32_t& out) {
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == t.size()) return false;
    int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (!is_digit(t[i])) return false;
        v = v * 10 + (t[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > 2147483647LL) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool iequals(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lower[i]) return false;
    }
    return true;
}

// Step 4: a decimal floating-point number, nothing around it.
bool parse_number(std::string_view t, double& out) {
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    std::string_view body = t.substr(i);
    if (iequals(body, "inf") || iequals(body, "infinity")) {
        out = neg ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    if (iequals(body, "nan")) {
        out = neg ? -std::nan("") : std::nan("");
        return true;
    }
    size_t digits = 0, points = 0, j = 0;
    int first_nonzero = -1;  // position of the first significant digit, counted in digits
    int point_at = -1;
    for (; j < body.size(); ++j) {
        char c = body[j];
        if (is_digit(c)) {
            if (c != '0' && first_nonzero < 0) first_nonzero = static_cast<int>(digits);
            ++digits;
        } else if (c == '.') {
            if (++points > 1) return false;
            point_at = static_cast<int>(digits);
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    long exp10 = 0;
    if (j < body.size()) {
        if (body[j] != 'e' && body[j] != 'E') return false;
        ++j;
        bool eneg = false;
        if (j < body.size() && (body[j] == '+' || body[j] == '-')) eneg = body[j++] == '-';
        if (j == body.size()) return false;
        for (; j < body.size(); ++j) {
            if (!is_digit(body[j])) return false;
            if (exp10 < 100000000) exp10 = exp10 * 10 + (body[j] - '0');
        }
        if (eneg) exp10 = -exp10;
    }
    double v = 0;
    auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the double range: an infinity; below it: zero.
        long int_digits = point_at < 0 ? static_cast<long>(digits) : point_at;
        long magnitude = (int_digits - first_nonzero) + exp10;
        v = (first_nonzero >= 0 && magnitude > 0) ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
        return false;
    }
    out = neg ? -v : v;
    return true;
}

int two(std::string_view t, size_t at) {
    if (!is_digit(t[at]) || !is_digit(t[at + 1])) return -1;
    return (t[at] - '0') * 10 + (t[at + 1] - '0');
}

// Step 5: exactly "YYYY-MM-DD HH:MM:SS".
bool parse_datetime(std::string_view t, DateTime& out) {
    if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' ||
        t[16] != ':')
        return false;
    int hi = two(t, 0), lo = two(t, 2);
    int month = two(t, 5), day = two(t, 8), hour = two(t, 11), minute = two(t, 14),
        second = two(t, 17);
    if (hi < 0 || lo < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return false;
    int year = hi * 100 + lo;
    if (!valid_date(year, month, day) || hour > 23 || minute > 59 || second > 60) return false;
    out.year = static_cast<int16_t>(year);
    out.month = static_cast<uint8_t>(month);
    out.day = static_cast<uint8_t>(day);
    out.hour = static_cast<uint8_t>(hour);
    out.minute = static_cast<uint8_t>(minute);
    if (second == 60) {
        out.second = 59;
        out.nanos = 1000000000u;
    } else {
        out.second = static_cast<uint8_t>(second);
        out.nanos = 0;
    }
    return true;
}

// Shortest round-trip digits of a finite, nonzero |d|: the digits and the
// decimal exponent of the first one (d = 0.D1D2... x 10^point).
size_t shortest_digits(double d, char* digits, int& point) {
    char tmp[40];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, std::fabs(d), std::chars_format::scientific);
    // tmp holds D[.DDD]e[+-]XX
    size_t n = 0;
    const char* p = tmp;
    for (; p < r.ptr && *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    int e = 0;
    std::from_chars(p + 1 + (p[1] == '+'), r.ptr, e);
    point = e + 1;
    return n;
}

size_t write_text(char* buf, const char* s) {
    size_t n = std::strlen(s);
    std::memcpy(buf, s, n);
    return n;
}

void two_digits(char*& p, unsigned v) {
    *p++ = static_cast<char>('0' + v / 10);
    *p++ = static_cast<char>('0' + v % 10);
}

}  // namespace

bool valid_date(int year, int month, int day) noexcept {
    if (month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= dim;
}

ValueView text_to_value(std::string_view t) noexcept {
    ValueView v;
    if (t.empty()) return v;
    // Upper-cased, an ASCII first character stays ASCII, so only t, f or a
    // non-ASCII character can begin a text that reads as TRUE or FALSE.
    unsigned char b0 = static_cast<unsigned char>(t[0]);
    if (t.size() <= 20 && (b0 >= 0x80 || (b0 | 0x20) == 't' || (b0 | 0x20) == 'f')) {
        if (upper_equals(t, "TRUE")) {
            v.kind = ValueKind::Bool;
            v.boolean = true;
            return v;
        }
        if (upper_equals(t, "FALSE")) {
            v.kind = ValueKind::Bool;
            v.boolean = false;
            return v;
        }
    }
    char c0 = t[0];
    if (is_digit(c0) || c0 == '+' || c0 == '-' || c0 == '.' || c0 == 'i' || c0 == 'I' ||
        c0 == 'n' || c0 == 'N') {
        int32_t iv;
        if (parse_int32(t, iv)) {
            v.kind = ValueKind::Integer;
            v.integer = iv;
            return v;
        }
        double dv;
        if (parse_number(t, dv)) {
            v.kind = ValueKind::Number;
            v.number = dv;
            return v;
        }
        DateTime dt;
        if (parse_datetime(t, dt)) {
            v.kind = ValueKind::DateTime;
            v.datetime = dt;
            return v;
        }
    }
    v.kind = ValueKind::Text;
    v.text = t;
    return v;
}

char kind_code(ValueKind k) noexcept {
    switch (k) {
        case ValueKind::Number:
        case ValueKind::Integer:
            return 'n';
        case ValueKind::Bool:
            return 'b';
        case ValueKind::DateTime:
            return 'd';
        default:
            return 's';
    }
}

size_t format_number_text(double d, char* buf) noexcept {
    if (std::isnan(d)) return write_text(buf, "NaN");
    if (std::isinf(d)) return write_text(buf, d < 0 ? "-inf" : "inf");
    char* p = buf;
    if (std::signbit(d)) *p++ = '-';
    if (d == 0) {
        *p++ = '0';
        return static_cast<size_t>(p - buf);
    }
    char digits[32];
    int point;
    size_t n = shortest_digits(d, digits, point);
    if (point <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -point; ++i) *p++ = '0';
        std::memcpy(p, digits, n);
        p += n;
    } else if (static_cast<size_t>(point) >= n) {
        std::memcpy(p, digits, n);
        p += n;
        for (size_t i = n; i < static_cast<size_t>(point); ++i) *p++ = '0';
    } else {
        std::memcpy(p, digits, static_cast<size_t>(point));
        p += point;
        *p++ = '.';
        std::memcpy(p, digits + point, n - static_cast<size_t>(point));
        p += n - static_cast<size_t>(point);
    }
    return static_cast<size_t>(p - buf);
}

size_t format_json_number(double d, char* buf) noexcept {
    char* p = buf;
    if (std::signbit(d)) *p++ = '-';
    if (d == 0) {
        std::memcpy(p, "0.0", 3);
        return static_cast<size_t>(p + 3 - buf);
    }
    char digits[32];
    int point;
    size_t n = shortest_digits(d, digits, point);
    int np = static_cast<int>(n);
    if (np <= point && point <= 16) {
        std::memcpy(p, digits, n);
        p += n;
        for (int i = np; i < point; ++i) *p++ = '0';
        *p++ = '.';
        *p++ = '0';
    } else if (point >= 1 && point <= 16) {
        std::memcpy(p, digits, static_cast<size_t>(point));
        p += point;
        *p++ = '.';
        std::memcpy(p, digits + point, n - static_cast<size_t>(point));
        p += n - static_cast<size_t>(point);
    } else if (point >= -4 && point <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -point; ++i) *p++ = '0';
        std::memcpy(p, digits, n);
        p += n;
    } else {
        *p++ = digits[0];
        if (n > 1) {
            *p++ = '.';
            std::memcpy(p, digits + 1, n - 1);
            p += n - 1;
        }
        *p++ = 'e';
        auto r = std::to_chars(p, p + 8, point - 1);
        p = r.ptr;
    }
    return static_cast<size_t>(p - buf);
}

size_t format_datetime(const DateTime& dt, char sep, char* buf) noexcept {
    char* p = buf;
    int year = dt.year;
    if (year >= 0 && year <= 9999) {
        two_digits(p, static_cast<unsigned>(year / 100));
        two_digits(p, static_cast<unsigned>(year % 100));
    } else {
        *p++ = year < 0 ? '-' : '+';
        unsigned ay = static_cast<unsigned>(year < 0 ? -year : year);
        char tmp[8];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, ay);
        for (auto len = r.ptr - tmp; len < 4; ++len) *p++ = '0';
        std::memcpy(p, tmp, static_cast<size_t>(r.ptr - tmp));
        p += r.ptr - tmp;
    }
    *p++ = '-';
    two_digits(p, dt.month);
    *p++ = '-';
    two_digits(p, dt.day);
    *p++ = sep;
    two_digits(p, dt.hour);
    *p++ = ':';
    two_digits(p, dt.minute);
    *p++ = ':';
    bool leap = dt.nanos >= 1000000000u;
    two_digits(p, dt.second + (leap ? 1u : 0u));
    uint32_t frac = dt.nanos % 1000000000u;
    if (frac != 0) {
        int width = 9;
        if (frac % 1000000 == 0) {
            frac /= 1000000;
            width = 3;
        } else if (frac % 1000 == 0) {
            frac /= 1000;
            width = 6;
        }
        *p++ = '.';
        for (int i = width - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        p += width;
    }
    return static_cast<size_t>(p - buf);
}

std::string_view value_text(const ValueView& v, char* buf) noexcept {
    switch (v.kind) {
        case ValueKind::Empty:
            return {};
        case ValueKind::Text:
            return v.text;
        case ValueKind::Number:
            return {buf, format_number_text(v.number, buf)};
        case ValueKind::Integer: {
            auto r = std::to_chars(buf, buf + 16, v.integer);
            return {buf, static_cast<size_t>(r.ptr - buf)};
        }
        case ValueKind::Bool:
            return v.boolean ? std::string_view("true") : std::string_view("false");
        case ValueKind::DateTime:
            return {buf, format_datetime(v.datetime, ' ', buf)};
    }
    return {};
}

}  // namespace brindel
