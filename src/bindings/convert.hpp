// One conversion per parameter kind, with the fixed messages, and the
// rewrapping of a TypeError as "argument 'x': ..." under the parameter's name.
// Result conversions back to Python objects live here too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binder.hpp"
#include "errors.hpp"
#include "py.hpp"
#include "value.hpp"

namespace brindel::py {

// Parameter kinds. Each throws ErrorSet with the kind's own error; the
// argument name is added by Arg.
std::string_view to_text(PyObject* o);  // valid while o lives
uint32_t to_row(PyObject* o);
uint16_t to_column(PyObject* o);
int32_t to_int32(PyObject* o);
double to_real(PyObject* o);
bool to_flag(PyObject* o);
DateTime to_datetime(PyObject* o);
std::vector<std::string> to_text_list(PyObject* o);
std::vector<uint32_t> to_row_list(PyObject* o);
std::vector<uint16_t> to_column_list(PyObject* o);
// Instances of a class of the module (or of a subclass).
PyObject* to_instance(PyObject* o, PyTypeObject* type, const char* class_name);

// Replaces a pending TypeError (exactly that class) by one whose message is
// prefixed with "argument 'name': " and that keeps the original's cause.
void rewrap_type_error(const char* name);

// Runs a conversion for the parameter `name`: a TypeError it raises is
// replaced by one whose message starts with "argument 'name': ".
template <class F>
auto convert_named(const char* name, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const ErrorSet&) {
        rewrap_type_error(name);
        throw;
    }
}

// The bound arguments of one call, converted on demand in parameter order.
class Args {
    template <class F>
    auto named(size_t i, F&& f) const {
        return convert_named(b_.sig->params[i].name, f);
    }

public:
    explicit Args(const Bound& b) : b_(b) {}

    bool given(size_t i) const { return b_.v[i] != nullptr && b_.v[i] != Py_None; }
    PyObject* object(size_t i) const { return b_.v[i]; }

    std::string_view text(size_t i) const { return named(i, [&] { return to_text(b_.v[i]); }); }
    std::optional<std::string_view> optional_text(size_t i) const {
        if (!given(i)) return std::nullopt;
        return text(i);
    }
    uint32_t row(size_t i) const { return named(i, [&] { return to_row(b_.v[i]); }); }
    uint16_t column(size_t i) const { return named(i, [&] { return to_column(b_.v[i]); }); }
    std::optional<uint32_t> optional_row(size_t i) const {
        if (!given(i)) return std::nullopt;
        return row(i);
    }
    std::optional<uint16_t> optional_column(size_t i) const {
        if (!given(i)) return std::nullopt;
        return column(i);
    }
    int32_t int32(size_t i) const { return named(i, [&] { return to_int32(b_.v[i]); }); }
    double real(size_t i) const { return named(i, [&] { return to_real(b_.v[i]); }); }
    bool flag(size_t i) const { return named(i, [&] { return to_flag(b_.v[i]); }); }
    std::vector<std::string> text_list(size_t i) const {
        return named(i, [&] { return to_text_list(b_.v[i]); });
    }
    std::vector<uint32_t> row_list(size_t i) const {
        return named(i, [&] { return to_row_list(b_.v[i]); });
    }
    std::vector<uint16_t> column_list(size_t i) const {
        return named(i, [&] { return to_column_list(b_.v[i]); });
    }
    template <class T>
    T& instance(size_t i, PyTypeObject* type, const char* class_name) const {
        return *reinterpret_cast<T*>(
            named(i, [&] { return to_instance(b_.v[i], type, class_name); }));
    }

private:
    const Bound& b_;
};

// Results.
inline PyObject* new_str(std::string_view s) {
    return check(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
}
inline PyObject* new_int(long long v) { return check(PyLong_FromLongLong(v)); }
inline PyObject* new_uint(unsigned long long v) { return check(PyLong_FromUnsignedLongLong(v)); }
inline PyObject* new_float(double v) { return check(PyFloat_FromDouble(v)); }
inline PyObject* new_bool(bool v) { return Py_NewRef(v ? Py_True : Py_False); }
inline PyObject* none() { return Py_NewRef(Py_None); }
inline PyObject* new_optional_str(const std::optional<std::string>& s) {
    return s ? new_str(*s) : none();
}
// A list built from items by make(item) -> new reference.
template <class V, class F>
PyObject* new_list(const V& items, F&& make) {
    Object list = Object::checked(PyList_New(static_cast<Py_ssize_t>(items.size())));
    Py_ssize_t i = 0;
    for (const auto& it : items) PyList_SET_ITEM(list.get(), i++, make(it));
    return list.release();
}

}  // namespace brindel::py
