// Shared by the fuzz targets: the UTF-8 gate that the bindings stand for, an
// upper-casing written apart from the engine's, and the failure check.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// Stops the run with a message; libFuzzer keeps the input as a finding.
[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what);
    if (!detail.empty()) {
        std::fprintf(stderr, "  detail (%zu bytes): ", detail.size());
        for (unsigned char c : detail.substr(0, 400)) {
            if (c >= 0x20 && c < 0x7f)
                std::fputc(c, stderr);
            else
                std::fprintf(stderr, "\\x%02x", c);
        }
        std::fputc('\n', stderr);
    }
    std::abort();
}

#define FUZZ_CHECK(cond, detail)                                   \
    do {                                                           \
        if (!(cond)) ::fuzz::fail(#cond " at line " FUZZ_LINE_(__LINE__), detail); \
    } while (0)
#define FUZZ_LINE_(l) FUZZ_LINE2_(l)
#define FUZZ_LINE2_(l) #l

// Well-formed UTF-8 as a Python str encodes: shortest forms only, no
// surrogates, nothing above U+10FFFF. Texts reach the engine only so.
inline bool valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

// Decodes the code point at s[i] of valid UTF-8 and advances i.
inline uint32_t decode(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    return cp;
}

// The full upper-case form of s, as far as it is ASCII: every character that
// does not upper-case to ASCII alone becomes '\x01' and ends the text. The
// table lists every character outside ASCII whose full upper-case mapping
// starts with ASCII (Unicode 14, as the interpreter's str.upper gives it);
// those whose mapping goes on with a combining mark end the text after the
// letter.
inline std::string upper_ascii_prefix(std::string_view s) {
    struct Map {
        uint32_t cp;
        const char* ascii;
        bool then_stop;
    };
    static constexpr Map kMaps[] = {
        {0x00DF, "SS", false}, {0x0131, "I", false},   {0x017F, "S", false},
        {0x01F0, "J", true},   {0x1E96, "H", true},    {0x1E97, "T", true},
        {0x1E98, "W", true},   {0x1E99, "Y", true},    {0x1E9A, "A", true},
        {0xFB00, "FF", false}, {0xFB01, "FI", false},  {0xFB02, "FL", false},
        {0xFB03, "FFI", false}, {0xFB04, "FFL", false}, {0xFB05, "ST", false},
        {0xFB06, "ST", false},
    };
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        uint32_t cp = decode(s, i);
        if (cp < 0x80) {
            out += static_cast<char>(cp >= 'a' && cp <= 'z' ? cp - 32 : cp);
            continue;
        }
        const Map* m = nullptr;
        for (const Map& e : kMaps)
            if (e.cp == cp) m = &e;
        if (!m) {
            out += '\x01';
            return out;
        }
        out += m->ascii;
        if (m->then_stop) {
            out += '\x01';
            return out;
        }
    }
    return out;
}

}  // namespace fuzz
