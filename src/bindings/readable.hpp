// The read-only classes of the submodule readable: their instance layouts,
// and running engine work with the interpreter lock released.
#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "finder.hpp"
#include "objects.hpp"

namespace brindel::py {

using ReadableCellObject = Handle<CellRecord, TypeId::ReadableCell>;
using ReadableSheetObject = Handle<SheetRecord, TypeId::ReadableSheet>;
using FinderObject = Handle<FinderRecord, TypeId::Finder>;

// Runs f with the interpreter lock released and returns its result. f must
// not touch any Python object; whatever it throws is rethrown once the lock
// is held again.
template <class F>
auto without_gil(F&& f) -> decltype(f()) {
    using R = decltype(f());
    static_assert(!std::is_void_v<R>);
    std::optional<R> out;
    std::exception_ptr failure;
    Py_BEGIN_ALLOW_THREADS
    try {
        out.emplace(f());
    } catch (...) {
        failure = std::current_exception();
    }
    Py_END_ALLOW_THREADS
    if (failure) std::rethrow_exception(failure);
    return std::move(*out);
}

// The Finder built from a list of sheets: the constructor keeps the
// interpreter lock throughout, create_finder lets it go while the converted
// sheets are wrapped into the finder record.
Ref<FinderRecord> finder_from_py(PyObject* sheets, bool release_gil);

}  // namespace brindel::py
