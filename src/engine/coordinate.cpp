#include "coordinate.hpp"

#include <charconv>

#include "unicode.hpp"

namespace brindel {

size_t column_letters(uint16_t column, char* out) noexcept {
    char rev[4];
    size_t n = 0;
    uint32_t c = column;
    while (c > 0) {
        uint32_t d = c - 1;
        rev[n++] = static_cast<char>('A' + d % 26);
        if (c <= 26) break;
        c = d / 26;
    }
    for (size_t i = 0; i < n; ++i) out[i] = rev[n - 1 - i];
    return n;
}

std::string column_letters(uint16_t column) {
    char buf[4];
    return std::string(buf, column_letters(column, buf));
}

size_t letter_coordinate(uint32_t row, uint16_t column, char* out) noexcept {
    size_t n = column_letters(column, out);
    auto r = std::to_chars(out + n, out + kMaxLetterCoordinate, row);
    return static_cast<size_t>(r.ptr - out);
}

std::string letter_coordinate(uint32_t row, uint16_t column) {
    char buf[kMaxLetterCoordinate];
    return std::string(buf, letter_coordinate(row, column, buf));
}

uint16_t column_from_letters(std::string_view letters) noexcept {
    uint32_t n = 0;
    for (char ch : letters) n = n * 26 + static_cast<uint32_t>(ch - 'A' + 1);
    return static_cast<uint16_t>(n);
}

std::optional<Coordinate> parse_coordinate_text(std::string_view text) {
    UpperAsciiReader in(text);
    char ch = in.next();
    if (ch == '$') ch = in.next();
    char letters[3];
    size_t n = 0;
    while (n < 3 && ch >= 'A' && ch <= 'Z') {
        letters[n++] = ch;
        ch = in.next();
    }
    if (n == 0) return std::nullopt;
    if (ch == '$') ch = in.next();
    if (ch < '0' || ch > '9') return std::nullopt;
    uint64_t row = 0;
    while (ch >= '0' && ch <= '9') {
        row = row * 10 + static_cast<uint64_t>(ch - '0');
        if (row > 0xFFFFFFFFull) return std::nullopt;
        ch = in.next();
    }
    return Coordinate{static_cast<uint32_t>(row), column_from_letters(std::string_view(letters, n))};
}

std::string debug_form(Coordinate c) {
    return "Coordinate { row: " + std::to_string(c.row) + ", column: " + std::to_string(c.column) +
           " }";
}

}  // namespace brindel
