// Regular expressions for sheet names, on PCRE2 (8-bit, UTF, Unicode
// properties). A compiled pattern is shared by the workers; match data is
// per thread.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <string>

#include "search.hpp"

namespace brindel::search {

namespace {

struct ThreadMatchData {
    pcre2_match_data* md = nullptr;
    ~ThreadMatchData() {
        if (md) pcre2_match_data_free(md);
    }
};

pcre2_match_data* thread_match_data() {
    thread_local ThreadMatchData t;
    if (!t.md) t.md = pcre2_match_data_create(1, nullptr);
    return t.md;
}

}  // namespace

Result<Regex> Regex::compile(std::string_view pattern) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_UTF | PCRE2_UCP, &code, &offset, nullptr);
    if (!re) {
        PCRE2_UCHAR buf[256];
        int n = pcre2_get_error_message(code, buf, sizeof buf);
        std::string msg = n > 0 ? std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n))
                                : "invalid pattern";
        return Error(msg + " at offset " + std::to_string(offset));
    }
    pcre2_jit_compile(re, PCRE2_JIT_COMPLETE);  // before sharing; without JIT it still matches
    Regex r;
    r.code_ = re;
    return r;
}

Regex::Regex(Regex&& o) noexcept : code_(o.code_) { o.code_ = nullptr; }

Regex& Regex::operator=(Regex&& o) noexcept {
    if (this != &o) {
        if (code_) pcre2_code_free(static_cast<pcre2_code*>(code_));
        code_ = o.code_;
        o.code_ = nullptr;
    }
    return *this;
}

Regex::~Regex() {
    if (code_) pcre2_code_free(static_cast<pcre2_code*>(code_));
}

bool Regex::search(std::string_view subject) const {
    pcre2_match_data* md = thread_match_data();
    if (!md) return false;
    int rc = pcre2_match(static_cast<pcre2_code*>(code_),
                         reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0, md,
                         nullptr);
    return rc >= 0;  // no match, and any matching error (a limit), count as no match
}

}  // namespace brindel::search
