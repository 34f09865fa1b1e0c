#include "binder.hpp"

#include <deque>
#include <string_view>

#include "errors.hpp"

namespace brindel::py {

std::string Sig::display_name() const {
    std::string s;
    if (cls) {
        s += cls;
        s += '.';
    }
    s += name;
    s += "()";
    return s;
}

namespace {

[[noreturn]] void too_many(const Sig& sig, Py_ssize_t given) {
    std::string m = sig.display_name() + " takes ";
    if (sig.required == sig.count)
        m += std::to_string(sig.count);
    else
        m += "from " + std::to_string(sig.required) + " to " + std::to_string(sig.count);
    m += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") +
         " given";
    throw_type_error(m);
}

[[noreturn]] void missing(const Sig& sig, const Bound& b) {
    std::string names;
    size_t k = 0;
    for (size_t i = 0; i < sig.required; ++i)
        if (!b.v[i]) ++k;
    size_t seen = 0;
    for (size_t i = 0; i < sig.required; ++i) {
        if (b.v[i]) continue;
        if (seen > 0) names += k == 2 ? " and " : (seen + 1 == k ? ", and " : ", ");
        names += "'";
        names += sig.params[i].name;
        names += "'";
        ++seen;
    }
    throw_type_error(sig.display_name() + " missing " + std::to_string(k) + " required positional " +
                     (k == 1 ? "argument: " : "arguments: ") + names);
}

// The parameter a keyword names, or count when it names none.
size_t find_param(const Sig& sig, PyObject* kw) {
    for (size_t i = 0; i < sig.count; ++i)
        if (PyUnicode_Check(kw) && PyUnicode_CompareWithASCIIString(kw, sig.params[i].name) == 0)
            return i;
    return sig.count;
}

void place_keyword(const Sig& sig, PyObject* kw, PyObject* value, Bound& out) {
    size_t i = find_param(sig, kw);
    if (i == sig.count) {
        // The keyword goes into the message as a Python string: it may hold
        // characters (lone surrogates) that UTF-8 cannot encode.
        Object s = Object::checked(PyObject_Str(kw));
        std::string name = sig.display_name();
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", name.c_str(),
                     s.get());
        throw_error_set();
    }
    if (out.v[i])
        throw_type_error(sig.display_name() + " got multiple values for argument '" +
                         sig.params[i].name + "'");
    out.v[i] = value;
}

}  // namespace

void bind(const Sig& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Bound& out) {
    out.sig = &sig;
    for (size_t i = 0; i < kMaxParams; ++i) out.v[i] = nullptr;
    if (nargs < 0) nargs = PyVectorcall_NARGS(static_cast<size_t>(nargs));
    if (static_cast<size_t>(nargs) > sig.count) too_many(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out.v[i] = args[i];
    if (kwnames) {
        Py_ssize_t nk = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t j = 0; j < nk; ++j)
            place_keyword(sig, PyTuple_GET_ITEM(kwnames, j), args[nargs + j], out);
    }
    for (size_t i = 0; i < sig.required; ++i)
        if (!out.v[i]) missing(sig, out);
}

void bind(const Sig& sig, PyObject* args, PyObject* kwargs, Bound& out) {
    out.sig = &sig;
    for (size_t i = 0; i < kMaxParams; ++i) out.v[i] = nullptr;
    Py_ssize_t nargs = args ? PyTuple_GET_SIZE(args) : 0;
    if (static_cast<size_t>(nargs) > sig.count) too_many(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out.v[i] = PyTuple_GET_ITEM(args, i);
    if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
        // The dictionary belongs to the caller; its values stay alive for the
        // call through a copy that the bound arguments keep.
        out.keep = Object::checked(PyDict_Copy(kwargs));
        PyObject *k, *v;
        Py_ssize_t pos = 0;
        while (PyDict_Next(out.keep.get(), &pos, &k, &v)) place_keyword(sig, k, v, out);
    }
    for (size_t i = 0; i < sig.required; ++i)
        if (!out.v[i]) missing(sig, out);
}

namespace {

std::deque<std::string>& doc_store() {
    static auto* s = new std::deque<std::string>;
    return *s;
}

}  // namespace

const char* docstring(const Sig& sig, bool method) {
    std::string d = sig.name;
    d += '(';
    bool first = true;
    if (method) {
        d += "$self";
        first = false;
    }
    for (size_t i = 0; i < sig.count; ++i) {
        if (!first) d += ", ";
        first = false;
        d += sig.params[i].name;
        if (sig.params[i].default_text) {
            d += '=';
            d += sig.params[i].default_text;
        }
    }
    d += ")\n--\n\n";
    return doc_store().emplace_back(std::move(d)).c_str();
}

const char* docstring_with_text(const char* signature, const char* text) {
    std::string d = signature;
    d += "\n--\n\n";
    d += text;
    return doc_store().emplace_back(std::move(d)).c_str();
}

}  // namespace brindel::py
