// The description of every callable, and the one binder that maps a call's
// positional and keyword arguments onto it.
//
// A callable is described once: its class (none for module functions), its
// name, and its parameters with their default texts. The binding errors and
// the docstring with its text signature are both derived from that
// description.
#pragma once

#include <cstddef>
#include <string>

#include "py.hpp"

namespace brindel::py {

struct Param {
    const char* name;
    const char* default_text = nullptr;  // shown in the signature; nullptr: required
};

struct Sig {
    const char* cls;   // nullptr for module functions
    const char* name;  // "__new__" for constructors
    const Param* params;
    size_t count;
    size_t required;

    template <size_t N>
    constexpr Sig(const char* c, const char* n, const Param (&p)[N])
        : cls(c), name(n), params(p), count(N), required(count_required(p, N)) {}
    constexpr Sig(const char* c, const char* n) : cls(c), name(n), params(nullptr), count(0), required(0) {}

    // "Book.add_sheet()" or "get_letter_coordinate()".
    std::string display_name() const;

private:
    static constexpr size_t count_required(const Param* p, size_t n) {
        size_t r = 0;
        while (r < n && !p[r].default_text) ++r;
        return r;
    }
};

constexpr size_t kMaxParams = 8;

// Arguments bound to a signature: slot i holds a borrowed reference to the
// argument for parameter i, or nullptr when it was omitted.
struct Bound {
    const Sig* sig;
    PyObject* v[kMaxParams];
    // Owned references when the call came as a tuple and a dictionary.
    Object keep;
};

// Binds a fast call (a vector of positional arguments and a tuple of keyword
// names whose values follow them). Throws ErrorSet with the binding error.
void bind(const Sig& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Bound& out);
// Binds a call given as a tuple and a dictionary (constructors).
void bind(const Sig& sig, PyObject* args, PyObject* kwargs, Bound& out);

// "add_sheet($self, name, sheet_state=\"visible\")\n--\n\n"; kept for the
// life of the process.
const char* docstring(const Sig& sig, bool method);
// A docstring made of a signature line and free text after it.
const char* docstring_with_text(const char* signature, const char* text);

}  // namespace brindel::py
