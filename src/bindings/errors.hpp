// How failures become Python exceptions: engine errors as RuntimeError (with
// their causes), internal faults as PanicException, allocation failures as
// MemoryError. Every entry point runs its body through guarded().
#pragma once

#include <string>
#include <string_view>

#include "error.hpp"
#include "py.hpp"

namespace brindel::py {

// The exception class for internal faults: derived directly from
// BaseException, created on first use.
PyObject* panic_exception_type();

// Raises RuntimeError with the error's text and its "Caused by:" lines.
[[noreturn]] void throw_engine_error(const Error& e);
std::string engine_error_text(const Error& e);

[[noreturn]] void throw_type_error(const std::string& msg);
[[noreturn]] void throw_overflow(const char* msg);
[[noreturn]] void throw_runtime_error(const char* msg);
[[noreturn]] void throw_value_error(const std::string& msg);

// Sets the Python exception for the C++ exception being handled. Called only
// inside a catch block.
void translate_current_exception() noexcept;

template <class F>
PyObject* guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

template <class F>
int guarded_int(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

// A fault that the code assumed could not happen: becomes PanicException.
struct InternalFault {
    std::string message;
};

// The qualified name of an object's type, as messages show it.
std::string type_name(PyObject* o);

}  // namespace brindel::py
