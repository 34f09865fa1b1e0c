// The two text tests of the cell searches: a literal pattern (the argument
// occurs in the value text as it is) and trimmed equality.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "unicode.hpp"
#include "value.hpp"

namespace brindel::search {

// Which kinds of value can pass a text test at all. The value text of a
// number, an integer, a date-time or a boolean is made of a few bytes only
// ("-0.5", "NaN", "inf", "2024-03-07 09:05:00", "true"), so a needle holding
// any other byte cannot occur in it and such a cell is passed over without
// writing its text. The outcome is that of testing the text.
class KindScreen {
public:
    // For a substring test: the needle may occur in the text.
    static KindScreen for_substring(std::string_view needle) noexcept {
        KindScreen k;
        k.set(ValueKind::Empty, needle.empty());
        k.set(ValueKind::Number, only(needle, kNumberBytes));
        k.set(ValueKind::Integer, only(needle, kIntegerBytes));
        k.set(ValueKind::DateTime, only(needle, kDateTimeBytes));
        k.set(ValueKind::Bool, std::string_view("true").find(needle) != std::string_view::npos ||
                                   std::string_view("false").find(needle) != std::string_view::npos);
        return k;
    }
    // For an equality test with a trimmed text (texts of these kinds have no
    // White_Space at either end).
    static KindScreen for_whole(std::string_view trimmed) noexcept {
        KindScreen k;
        bool some = !trimmed.empty();
        k.set(ValueKind::Empty, !some);
        k.set(ValueKind::Number, some && only(trimmed, kNumberBytes));
        k.set(ValueKind::Integer, some && only(trimmed, kIntegerBytes));
        k.set(ValueKind::DateTime, some && only(trimmed, kDateTimeBytes));
        k.set(ValueKind::Bool, trimmed == "true" || trimmed == "false");
        return k;
    }
    bool may_match(ValueKind k) const noexcept { return may_ >> static_cast<unsigned>(k) & 1u; }

private:
    static constexpr std::string_view kNumberBytes = "-.0123456789Nainf";
    static constexpr std::string_view kIntegerBytes = "-0123456789";
    static constexpr std::string_view kDateTimeBytes = "-.: 0123456789";

    static bool only(std::string_view s, std::string_view allowed) noexcept {
        for (char c : s)
            if (allowed.find(c) == std::string_view::npos) return false;
        return true;
    }
    void set(ValueKind k, bool may) noexcept {
        unsigned bit = 1u << static_cast<unsigned>(k);
        may_ = may ? (may_ | bit) : (may_ & ~bit);
    }

    unsigned may_ = ~0u;  // Text always
};

// A substring test prepared once per call. Metacharacters have no meaning:
// '^Total$' matches only texts holding those seven characters, and the empty
// pattern matches every text. The rarest-looking byte of the needle is
// located with memchr and the rest compared in place, which beats a general
// searcher on the short texts of cells.
class Literal {
public:
    explicit Literal(std::string_view needle)
        : needle_(needle), screen_(KindScreen::for_substring(needle)) {
        // Anchor on the last byte: in words and numbers the first is often
        // the most common one.
        if (!needle_.empty()) anchor_ = needle_.size() - 1;
    }

    // The test of one value; buf holds kValueTextBuffer bytes.
    bool matches_value(const ValueView& v, char* buf) const noexcept {
        if (v.kind == ValueKind::Text) return matches(v.text);
        return screen_.may_match(v.kind) && matches(value_text(v, buf));
    }

    bool matches(std::string_view hay) const noexcept {
        size_t n = needle_.size();
        if (n == 0) return true;
        if (n > hay.size()) return false;
        const char* base = hay.data();
        const char a = needle_[anchor_];
        // Most cell texts are short: a plain loop over the few places the
        // needle can start costs less than a call of memchr.
        if (hay.size() - n < kShort) {
            for (size_t i = 0, last = hay.size() - n; i <= last; ++i)
                if (base[i + anchor_] == a && std::memcmp(base + i, needle_.data(), n) == 0)
                    return true;
            return false;
        }
        const char* p = base + anchor_;
        const char* end = base + hay.size();
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
    static constexpr size_t kShort = 16;

    std::string needle_;
    KindScreen screen_;
    size_t anchor_ = 0;
};

// Trimmed equality: White_Space removed from both ends of both texts, the
// rest equal code point for code point.
class TrimmedEqual {
public:
    explicit TrimmedEqual(std::string_view value)
        : value_(trim_white_space(value)), screen_(KindScreen::for_whole(value_)) {}
    bool matches(std::string_view text) const noexcept {
        // The trimmed text is never longer than the text: a shorter text
        // cannot be equal, one of the same length only without trimming.
        if (text.size() < value_.size()) return false;
        if (text.size() == value_.size()) return text == std::string_view(value_);
        return trim_white_space(text) == std::string_view(value_);
    }
    bool matches_value(const ValueView& v, char* buf) const noexcept {
        if (v.kind == ValueKind::Text) return matches(v.text);
        return screen_.may_match(v.kind) && matches(value_text(v, buf));
    }

private:
    std::string value_;
    KindScreen screen_;
};

}  // namespace brindel::search
