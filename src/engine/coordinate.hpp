// Cell positions and their text forms: column letters ("A", "AA"), letter
// coordinates ("B7") and the coordinate text that callers type ("$b$7").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindel {

struct Coordinate {
    uint32_t row = 0;
    uint16_t column = 0;

    friend bool operator==(const Coordinate&, const Coordinate&) = default;
};

// Row-major key: comparing keys compares row first, then column.
constexpr uint64_t pack_key(uint32_t row, uint16_t column) noexcept {
    return (static_cast<uint64_t>(row) << 16) | column;
}
constexpr uint64_t pack_key(Coordinate c) noexcept { return pack_key(c.row, c.column); }

// Longest text these functions write: four letters and ten digits.
constexpr size_t kMaxLetterCoordinate = 16;

// Bijective base 26, most significant letter first; 0 gives no letters.
// Writes at most four characters to out and returns how many.
size_t column_letters(uint16_t column, char* out) noexcept;
std::string column_letters(uint16_t column);

// Column letters followed by the decimal row.
size_t letter_coordinate(uint32_t row, uint16_t column, char* out) noexcept;
std::string letter_coordinate(uint32_t row, uint16_t column);

// One to three letters A to Z; gives 1 to 18278.
uint16_t column_from_letters(std::string_view letters) noexcept;

// Reads the position at the start of a coordinate text: the text is
// upper-cased, then an optional "$", one to three letters, an optional "$"
// and a run of digits are taken; anything after them is ignored. No position
// when the letters or the digits are missing or the row exceeds 32 bits.
std::optional<Coordinate> parse_coordinate_text(std::string_view text);

// "Coordinate { row: 7, column: 2 }"
std::string debug_form(Coordinate c);

}  // namespace brindel
