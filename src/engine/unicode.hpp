// The few Unicode facts the engine needs: full upper-casing as far as it can
// produce ASCII (for the boolean words and for coordinate text), and the
// White_Space property (for trimmed equality).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindel {

// Decodes one code point of well-formed UTF-8 at s[i], advancing i.
// Texts reaching the engine are valid UTF-8 (the bindings encode them).
char32_t next_code_point(std::string_view s, size_t& i) noexcept;

// Whether the full upper-case form of s is exactly the ASCII text word
// (which must itself be upper-case ASCII).
bool upper_equals(std::string_view s, std::string_view word) noexcept;

// Reads the upper-case form of a text one ASCII character at a time, as far as
// it is ASCII; next() gives 0 at the end or at the first other character.
class UpperAsciiReader {
public:
    explicit UpperAsciiReader(std::string_view s) noexcept : s_(s) {}
    char next() noexcept;
    // True when every character has been read and all of it was ASCII.
    bool finished() const noexcept {
        return !done_ && !stop_after_pending_ && i_ >= s_.size() && !(pending_ && *pending_);
    }

private:
    std::string_view s_;
    size_t i_ = 0;
    const char* pending_ = nullptr;  // rest of a multi-letter mapping
    bool stop_after_pending_ = false;
    bool done_ = false;
};

bool is_white_space(char32_t c) noexcept;

// s without leading and trailing White_Space characters.
std::string_view trim_white_space(std::string_view s) noexcept;

}  // namespace brindel
