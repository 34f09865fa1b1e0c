#include "functions.hpp"

#include "coordinate.hpp"
#include "objects.hpp"

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

}  // namespace

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
