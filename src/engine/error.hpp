// Failures as values.
//
// Engine operations that can fail return Result<T>: either the value or an
// Error, a message with an optional chain of underlying causes. The bindings
// translate an Error into a Python exception at the boundary; nothing in the
// engine throws for an expected failure.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace brindel {

struct Error {
    std::string message;
    std::vector<std::string> causes;  // outermost first

    Error() = default;
    explicit Error(std::string m) : message(std::move(m)) {}
    Error(std::string m, std::vector<std::string> c) : message(std::move(m)), causes(std::move(c)) {}

    // An error that wraps this one: the new message first, this one as a cause.
    Error context(std::string outer) const {
        Error e(std::move(outer));
        e.causes.push_back(message);
        e.causes.insert(e.causes.end(), causes.begin(), causes.end());
        return e;
    }
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T v) : v_(std::in_place_index<0>, std::move(v)) {}
    Result(Error e) : v_(std::in_place_index<1>, std::move(e)) {}

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }
    T& value() & { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const T& value() const& { return std::get<0>(v_); }
    const Error& error() const& { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

struct Unit {};

}  // namespace brindel
