// The coordinate text reader and the column letters.
//
// For any well-formed UTF-8 text, the position read agrees with the fixed
// coordinate pattern run by std::regex over an upper-casing written apart
// from the engine's. The first bytes also give a column and a row: the
// letters of a column up to ZZZ read back as that column, and its letter
// coordinate (plain, lower-case, with "$" markers, with text after it) reads
// back as the same position; four-letter columns and column 0 read as none.

#include <cstdint>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "coordinate.hpp"
#include "support.hpp"

using namespace brindel;

namespace {

constexpr size_t kMaxInput = 256;

std::optional<Coordinate> expected(std::string_view text) {
    static const std::regex pattern(R"(((\$)?([A-Z]{1,3}))?((\$)?([0-9]+))?)");
    std::string up = fuzz::upper_ascii_prefix(text);
    std::smatch m;
    if (!std::regex_search(up, m, pattern) || m.position(0) != 0) fuzz::fail("no match at 0", text);
    if (!m[3].matched || !m[6].matched) return std::nullopt;
    std::string digits = m[6].str();
    size_t nz = digits.find_first_not_of('0');
    std::string_view sig = nz == std::string::npos ? "0" : std::string_view(digits).substr(nz);
    if (sig.size() > 10 || (sig.size() == 10 && sig > "4294967295")) return std::nullopt;
    uint32_t row = static_cast<uint32_t>(std::stoull(std::string(sig)));
    uint32_t col = 0;
    for (char c : m[3].str()) col = col * 26 + static_cast<uint32_t>(c - 'A' + 1);
    return Coordinate{row, static_cast<uint16_t>(col)};
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

void check_round_trips(uint16_t col, uint32_t row, uint8_t tail) {
    char buf[kMaxLetterCoordinate];
    size_t n = column_letters(col, buf);
    std::string letters(buf, n);
    FUZZ_CHECK(letters == column_letters(col), letters);
    FUZZ_CHECK((col == 0) == letters.empty(), letters);
    FUZZ_CHECK(n <= 4, letters);
    for (char c : letters) FUZZ_CHECK(c >= 'A' && c <= 'Z', letters);
    // Bijective base 26: the letters count up from A with no gaps.
    uint32_t back = 0;
    for (char c : letters) back = back * 26 + static_cast<uint32_t>(c - 'A' + 1);
    FUZZ_CHECK(back == col, letters);

    std::string coord = letter_coordinate(row, col);
    FUZZ_CHECK(coord == letters + std::to_string(row), coord);
    n = letter_coordinate(row, col, buf);
    FUZZ_CHECK(std::string_view(buf, n) == coord, coord);

    std::string digits = std::to_string(row);
    const std::string forms[] = {
        coord,
        lower(coord),
        "$" + letters + "$" + digits,
        "$" + lower(letters) + digits,
        letters + "$" + digits,
        letters + "000" + digits,
        coord + static_cast<char>(tail & 0x7F),
    };
    for (const std::string& f : forms) {
        std::optional<Coordinate> got = parse_coordinate_text(f);
        if (col >= 1 && col <= 18278) {
            FUZZ_CHECK(column_from_letters(letters) == col, letters);
            bool digit_tail = &f == &forms[6] && (tail & 0x7F) >= '0' && (tail & 0x7F) <= '9';
            if (digit_tail) continue;  // the tail is then part of the row
            FUZZ_CHECK(got && got->row == row && got->column == col, f);
        } else {
            FUZZ_CHECK(!got, f);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    if (size >= 7) {
        uint16_t col;
        uint32_t row;
        std::memcpy(&col, data, sizeof col);
        std::memcpy(&row, data + 2, sizeof row);
        check_round_trips(col, row, data[6]);
        // Small columns too, where the three-letter limit matters.
        check_round_trips(static_cast<uint16_t>(col % 18300), row, data[6]);
    }

    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!fuzz::valid_utf8(text)) return 0;
    std::optional<Coordinate> got = parse_coordinate_text(text);
    std::optional<Coordinate> want = expected(text);
    FUZZ_CHECK(got.has_value() == want.has_value(), text);
    if (got) {
        FUZZ_CHECK(*got == *want, text);
        FUZZ_CHECK(got->column >= 1 && got->column <= 18278, text);
        // What was read is a position whose own text reads back as itself.
        std::string again = letter_coordinate(got->row, got->column);
        std::optional<Coordinate> back = parse_coordinate_text(again);
        FUZZ_CHECK(back && *back == *got, again);
    }

    // One to three letters A to Z give a column whose letters they are.
    if (size >= 1 && size <= 3) {
        bool letters = true;
        for (char c : text) letters = letters && c >= 'A' && c <= 'Z';
        if (letters) {
            uint16_t col = column_from_letters(text);
            FUZZ_CHECK(col >= 1 && col <= 18278 && column_letters(col) == text, text);
        }
    }
    return 0;
}
