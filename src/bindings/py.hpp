// The one door to the CPython API, and the owned-reference handle every
// binding uses.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace brindel::py {

// Thrown after a Python exception has been set; caught at the entry of every
// callable, which then returns the error to the interpreter.
struct ErrorSet {};

[[noreturn]] inline void throw_error_set() { throw ErrorSet{}; }

// Returns p, or throws when the API call that produced it failed.
inline PyObject* check(PyObject* p) {
    if (!p) throw_error_set();
    return p;
}

// An owned reference: the handle releases it. Assignment takes the new
// reference before it drops the old one.
class Object {
public:
    Object() noexcept = default;
    static Object steal(PyObject* p) noexcept { return Object(p); }
    static Object borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return Object(p);
    }
    // Steals p, throwing if it is null (a failed API call).
    static Object checked(PyObject* p) { return Object(check(p)); }

    Object(const Object& o) noexcept : p_(o.p_) { Py_XINCREF(p_); }
    Object(Object&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Object& operator=(const Object& o) noexcept {
        Py_XINCREF(o.p_);
        PyObject* old = std::exchange(p_, o.p_);
        Py_XDECREF(old);
        return *this;
    }
    Object& operator=(Object&& o) noexcept {
        PyObject* old = std::exchange(p_, std::exchange(o.p_, nullptr));
        Py_XDECREF(old);
        return *this;
    }
    ~Object() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit Object(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

}  // namespace brindel::py
