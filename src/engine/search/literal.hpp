// The two text tests of the cell searches: a literal pattern (the argument
// occurs in the value text as it is) and trimmed equality.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "unicode.hpp"

namespace brindel::search {

// A substring test prepared once per call. Metacharacters have no meaning:
// '^Total$' matches only texts holding those seven characters, and the empty
// pattern matches every text. The rarest-looking byte of the needle is
// located with memchr and the rest compared in place, which beats a general
// searcher on the short texts of cells.
class Literal {
public:
    explicit Literal(std::string_view needle) : needle_(needle) {
        // Anchor on the last byte: in words and numbers the first is often
        // the most common one.
        if (!needle_.empty()) anchor_ = needle_.size() - 1;
    }

    bool matches(std::string_view hay) const noexcept {
        size_t n = needle_.size();
        if (n == 0) return true;
        if (n > hay.size()) return false;
        const char* base = hay.data();
        const char* p = base + anchor_;
        const char* end = base + hay.size();
        const char a = needle_[anchor_];
        while (p < end) {
            p = static_cast<const char*>(std::memchr(p, a, static_cast<size_t>(end - p)));
            if (!p) return false;
            const char* start = p - anchor_;
            if (std::memcmp(start, needle_.data(), n) == 0) return true;
            ++p;
        }
        return false;
    }

private:
    std::string needle_;
    size_t anchor_ = 0;
};

// Trimmed equality: White_Space removed from both ends of both texts, the
// rest equal code point for code point.
class TrimmedEqual {
public:
    explicit TrimmedEqual(std::string_view value) : value_(trim_white_space(value)) {}
    bool matches(std::string_view text) const noexcept {
        return trim_white_space(text) == std::string_view(value_);
    }

private:
    std::string value_;
};

}  // namespace brindel::search
