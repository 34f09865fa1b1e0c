#include "functions.hpp"

#include "coordinate.hpp"
#include "objects.hpp"
#ifdef BRINDEL_DEBUG_HOOKS
#include "readable.hpp"
#endif

namespace brindel::py {

const char kVersion[] = "0.11.1";

namespace {

constexpr Param kColParams[] = {{"col"}};
constexpr Param kRowColParams[] = {{"row"}, {"col"}};
constexpr Sig kColumnNumberToLetter{nullptr, "column_number_to_letter", kColParams};
constexpr Sig kGetLetterCoordinate{nullptr, "get_letter_coordinate", kRowColParams};

PyObject* version(PyObject*, PyObject*) noexcept {
    return guarded([]() -> PyObject* { return new_str(kVersion); });
}

PyObject* column_number_to_letter(Args a) { return new_str(column_letters(a.column(0))); }

PyObject* get_letter_coordinate(Args a) {
    uint32_t row = a.row(0);
    uint16_t col = a.column(1);
    return new_str(letter_coordinate(row, col));
}

#ifdef BRINDEL_DEBUG_HOOKS
// _debug_panic(obj=None): raises an internal fault inside the guarded body.
// Given an instance of one of the module's classes, it first takes that
// object's exclusive borrow as a modifying method does, so the fault unwinds
// through a held borrow.
constexpr Param kDebugPanicParams[] = {{"obj", "None"}};
constexpr Sig kDebugPanic{nullptr, "_debug_panic", kDebugPanicParams};
constexpr char kDebugPanicMessage[] = "internal fault forced by _debug_panic()";

template <class Obj>
BorrowFlag* borrow_flag_of(PyObject* o) {
    if (!PyObject_TypeCheck(o, type_object(Obj::kId))) return nullptr;
    return &reinterpret_cast<Obj*>(o)->borrow;
}

BorrowFlag* borrow_flag_of_any(PyObject* o) {
    BorrowFlag* f = borrow_flag_of<BookObject>(o);
    if (!f) f = borrow_flag_of<SheetObject>(o);
    if (!f) f = borrow_flag_of<CellObject>(o);
    if (!f) f = borrow_flag_of<CommentObject>(o);
    if (!f) f = borrow_flag_of<ServiceObject>(o);
    if (!f) f = borrow_flag_of<FinderObject>(o);
    if (!f) f = borrow_flag_of<ReadableSheetObject>(o);
    if (!f) f = borrow_flag_of<ReadableCellObject>(o);
    return f;
}

PyObject* debug_panic(Args a) {
    if (!a.given(0)) throw InternalFault{kDebugPanicMessage};
    BorrowFlag* flag = borrow_flag_of_any(a.object(0));
    if (!flag)
        throw_type_error("argument 'obj': '" + type_name(a.object(0)) +
                         "' object is not an instance of a class of the module");
    BorrowGuard g(*flag, Borrow::Exclusive);
    throw InternalFault{kDebugPanicMessage};
}
#endif

}  // namespace

#ifdef BRINDEL_DEBUG_HOOKS
PyMethodDef* debug_panic_def() {
    static PyMethodDef def = function_def<debug_panic, kDebugPanic>();
    return &def;
}
#endif

PyMethodDef* version_def() {
    static PyMethodDef def = {
        "version", version, METH_NOARGS,
        docstring_with_text("version()",
                            "Returns the version of the underlying tovrel library.\n"
                            "\n"
                            "Returns\n"
                            "-------\n"
                            "version : str\n"
                            "  The version of the underlying tovrel library.")};
    return &def;
}

PyMethodDef* column_number_to_letter_def() {
    static PyMethodDef def = {
        "column_number_to_letter",
        reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
            &function_entry<column_number_to_letter, kColumnNumberToLetter>)),
        METH_FASTCALL | METH_KEYWORDS,
        docstring_with_text("column_number_to_letter(col)",
                            "Преобразование номера колонки в букву.")};
    return &def;
}

PyMethodDef* get_letter_coordinate_def() {
    static PyMethodDef def = {
        "get_letter_coordinate",
        reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
            &function_entry<get_letter_coordinate, kGetLetterCoordinate>)),
        METH_FASTCALL | METH_KEYWORDS,
        docstring_with_text("get_letter_coordinate(row, col)",
                            "Преобразование номера колонки в координату.")};
    return &def;
}

}  // namespace brindel::py
