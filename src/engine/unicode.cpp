#include "unicode.hpp"

namespace brindel {

char32_t next_code_point(std::string_view s, size_t& i) noexcept {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    char32_t c = b & (0x3F >> extra);
    size_t end = i + 1 + extra;
    if (end > s.size()) end = s.size();
    for (size_t j = i + 1; j < end; ++j) c = (c << 6) | (static_cast<unsigned char>(s[j]) & 0x3F);
    i = end;
    return c;
}

namespace {

// Non-ASCII characters whose full upper-case mapping begins with ASCII
// letters. `rest` tells whether non-ASCII characters follow in the mapping
// (a combining mark, say), which ends the ASCII prefix there.
struct UpperEntry {
    char32_t cp;
    const char* ascii;
    bool rest;
};

constexpr UpperEntry kUpper[] = {
    {0x00DF, "SS", false},  {0x0131, "I", false},   {0x017F, "S", false},
    {0x01F0, "J", true},    {0x1E96, "H", true},    {0x1E97, "T", true},
    {0x1E98, "W", true},    {0x1E99, "Y", true},    {0x1E9A, "A", true},
    {0xFB00, "FF", false},  {0xFB01, "FI", false},  {0xFB02, "FL", false},
    {0xFB03, "FFI", false}, {0xFB04, "FFL", false}, {0xFB05, "ST", false},
    {0xFB06, "ST", false},
};

const UpperEntry* find_upper(char32_t c) noexcept {
    for (const auto& e : kUpper)
        if (e.cp == c) return &e;
    return nullptr;
}

}  // namespace

char UpperAsciiReader::next() noexcept {
    if (pending_ && *pending_) return *pending_++;
    if (stop_after_pending_) done_ = true;
    if (done_ || i_ >= s_.size()) return 0;
    char32_t c = next_code_point(s_, i_);
    if (c < 0x80) return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    const UpperEntry* e = find_upper(c);
    if (!e) {
        done_ = true;
        return 0;
    }
    pending_ = e->ascii;
    stop_after_pending_ = e->rest;
    return *pending_++;
}

bool upper_equals(std::string_view s, std::string_view word) noexcept {
    UpperAsciiReader in(s);
    for (char w : word)
        if (in.next() != w) return false;
    return in.finished();
}

bool is_white_space(char32_t c) noexcept {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85) return false;
    switch (c) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::string_view trim_white_space(std::string_view s) noexcept {
    size_t b = 0;
    while (b < s.size()) {
        size_t j = b;
        if (!is_white_space(next_code_point(s, j))) break;
        b = j;
    }
    size_t e = s.size();
    while (e > b) {
        // Step back to the start of the last code point.
        size_t j = e - 1;
        while (j > b && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80) --j;
        size_t k = j;
        if (!is_white_space(next_code_point(s, k))) break;
        e = j;
    }
    return s.substr(b, e - b);
}

}  // namespace brindel
