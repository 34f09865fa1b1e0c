// The instance layouts, the borrow flag every instance carries, the registry
// of the module's type objects, and the entry templates that give every
// method, getter, setter and constructor the same calling sequence:
// bind, check the object, borrow it, convert, run, convert the result.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <string>

#include "binder.hpp"
#include "book.hpp"
#include "cell.hpp"
#include "convert.hpp"
#include "errors.hpp"
#include "py.hpp"
#include "sheet.hpp"

namespace brindel::py {

// 0: free; n > 0: n shared borrows; -1: borrowed exclusively.
// The flag is taken and given back only with the interpreter lock held (a
// search that lets the lock go keeps its borrow until it has the lock back),
// so the lock orders every use: plain loads and stores, no locked operation.
class BorrowFlag {
public:
    void acquire_shared() {
        intptr_t v = flag_.load(std::memory_order_relaxed);
        if (v < 0) throw_runtime_error("Already mutably borrowed");
        flag_.store(v + 1, std::memory_order_relaxed);
    }
    void release_shared() noexcept {
        flag_.store(flag_.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    }
    void acquire_exclusive() {
        if (flag_.load(std::memory_order_relaxed) != 0) throw_runtime_error("Already borrowed");
        flag_.store(-1, std::memory_order_relaxed);
    }
    void release_exclusive() noexcept { flag_.store(0, std::memory_order_relaxed); }

private:
    std::atomic<intptr_t> flag_{0};
};

enum class Borrow { Shared, Exclusive };

class BorrowGuard {
public:
    BorrowGuard(BorrowFlag& f, Borrow kind) : f_(f), kind_(kind) {
        if (kind_ == Borrow::Shared)
            f_.acquire_shared();
        else
            f_.acquire_exclusive();
    }
    ~BorrowGuard() {
        if (kind_ == Borrow::Shared)
            f_.release_shared();
        else
            f_.release_exclusive();
    }
    BorrowGuard(const BorrowGuard&) = delete;
    BorrowGuard& operator=(const BorrowGuard&) = delete;

private:
    BorrowFlag& f_;
    Borrow kind_;
};

enum class TypeId { Service, Book, Sheet, Cell, Comment, Finder, ReadableSheet, ReadableCell, Count };

// The type object of a class, created on first use and kept for the life of
// the process. Throws ErrorSet if creation fails.
PyTypeObject* type_object(TypeId id);
const char* class_name(TypeId id);

// The creators of the type objects, one in each class file.
PyTypeObject* create_service_type();
PyTypeObject* create_book_type();
PyTypeObject* create_sheet_type();
PyTypeObject* create_cell_type();
PyTypeObject* create_comment_type();
PyTypeObject* create_finder_type();
PyTypeObject* create_readable_sheet_type();
PyTypeObject* create_readable_cell_type();

// An instance holding one handle to an engine record.
template <class Rec, TypeId Id>
struct Handle {
    static constexpr TypeId kId = Id;
    PyObject_HEAD
    BorrowFlag borrow;
    Ref<Rec> rec;

    // A new instance around another handle to rec.
    static PyObject* wrap(Ref<Rec> r) {
        PyTypeObject* t = type_object(Id);
        Handle* o;
        if (!(t->tp_flags & (Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_BASETYPE))) {
            // Not tracked and never subclassed: the object is exactly this
            // layout, every field set below (searches make thousands).
            o = static_cast<Handle*>(PyObject_Malloc(static_cast<size_t>(t->tp_basicsize)));
            if (!o) {
                PyErr_NoMemory();
                throw_error_set();
            }
            PyObject_Init(reinterpret_cast<PyObject*>(o), t);
        } else {
            o = reinterpret_cast<Handle*>(t->tp_alloc(t, 0));
            if (!o) throw_error_set();
        }
        new (&o->borrow) BorrowFlag();
        new (&o->rec) Ref<Rec>(std::move(r));
        return reinterpret_cast<PyObject*>(o);
    }
    static void dealloc(PyObject* self) {
        auto* o = reinterpret_cast<Handle*>(self);
        PyTypeObject* t = Py_TYPE(self);
        o->rec.~Ref<Rec>();
        o->borrow.~BorrowFlag();
        t->tp_free(self);
        Py_DECREF(t);
    }
};

using BookObject = Handle<BookRecord, TypeId::Book>;
using SheetObject = Handle<SheetRecord, TypeId::Sheet>;
using CellObject = Handle<CellRecord, TypeId::Cell>;
using CommentObject = Handle<CommentRecord, TypeId::Comment>;

struct ServiceObject {
    static constexpr TypeId kId = TypeId::Service;
    PyObject_HEAD
    BorrowFlag borrow;
    PyObject* conn;  // owned
    Ref<BookRecord> rec;
};

template <class Obj>
Obj& checked_self(PyObject* self) {
    PyTypeObject* t = type_object(Obj::kId);
    if (!PyObject_TypeCheck(self, t))
        throw_type_error("'" + type_name(self) + "' object cannot be converted to '" +
                         class_name(Obj::kId) + "'");
    return *reinterpret_cast<Obj*>(self);
}

// ---- entry templates ----

using FastFn = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

template <class Obj, auto Impl, const Sig& S, Borrow B = Borrow::Shared>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        Bound b;
        bind(S, args, nargs, kwnames, b);
        Obj& o = checked_self<Obj>(self);
        BorrowGuard g(o.borrow, B);
        return Impl(o, Args(b));
    });
}

template <auto Impl, const Sig& S>
PyObject* function_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        Bound b;
        bind(S, args, nargs, kwnames, b);
        return Impl(Args(b));
    });
}

template <class Obj, auto Impl>
PyObject* noargs_entry(PyObject* self, PyObject*) noexcept {
    return guarded([&]() -> PyObject* {
        Obj& o = checked_self<Obj>(self);
        BorrowGuard g(o.borrow, Borrow::Shared);
        return Impl(o);
    });
}

template <class Obj, auto Impl>
PyObject* getter_entry(PyObject* self, void*) noexcept {
    return guarded([&]() -> PyObject* {
        Obj& o = checked_self<Obj>(self);
        BorrowGuard g(o.borrow, Borrow::Shared);
        return Impl(o);
    });
}

// Impl(obj, value_object, param_name) converts and stores.
template <class Obj, auto Impl, const char* Name, Borrow B = Borrow::Shared>
int setter_entry(PyObject* self, PyObject* value, void*) noexcept {
    return guarded_int([&]() -> int {
        if (!value) {
            PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
            throw_error_set();
        }
        Obj& o = checked_self<Obj>(self);
        BorrowGuard g(o.borrow, B);
        Impl(o, value, Name);
        return 0;
    });
}

template <class Obj, auto Impl>
PyObject* repr_entry(PyObject* self) noexcept {
    return guarded([&]() -> PyObject* {
        Obj& o = checked_self<Obj>(self);
        BorrowGuard g(o.borrow, Borrow::Shared);
        return Impl(o);
    });
}

template <class Obj, auto Impl, const Sig& S, Borrow B = Borrow::Shared>
PyMethodDef method_def() {
    return {S.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                        &method_entry<Obj, Impl, S, B>)),
            METH_FASTCALL | METH_KEYWORDS, docstring(S, true)};
}

template <class Obj, auto Impl>
PyMethodDef noargs_def(const char* name) {
    std::string sig = std::string(name) + "($self)";
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&noargs_entry<Obj, Impl>)),
            METH_NOARGS, docstring_with_text(sig.c_str(), "")};
}

template <auto Impl, const Sig& S>
PyMethodDef function_def() {
    return {S.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&function_entry<Impl, S>)),
            METH_FASTCALL | METH_KEYWORDS, docstring(S, false)};
}

// Keeps a table (methods, getsets) alive for the life of the process.
template <class T>
T* persist(std::initializer_list<T> items) {
    T* p = new T[items.size() + 1]();
    size_t i = 0;
    for (const auto& it : items) p[i++] = it;
    return p;  // the value-initialised last entry ends the table
}

// Creates a heap type from a spec; Py_TPFLAGS_DEFAULT is added.
PyTypeObject* make_type(const char* name, size_t basicsize, unsigned flags, const char* doc,
                        std::initializer_list<PyType_Slot> slots);

// Result conversions for records.
inline PyObject* wrap_sheet(Ref<SheetRecord> s) {
    if (!s) return none();
    return SheetObject::wrap(std::move(s));
}
inline PyObject* wrap_cell(Ref<CellRecord> c) {
    if (!c) return none();
    return CellObject::wrap(std::move(c));
}
PyObject* sheet_list(const std::vector<Ref<SheetRecord>>& sheets);

}  // namespace brindel::py
