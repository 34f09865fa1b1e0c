// The workbook members that Book and Service share: the same conversions,
// results and errors, acting on the book record the object holds.
#pragma once

#include "objects.hpp"

namespace brindel::py::workbook {

PyObject* sheets(BookRecord& book);
PyObject* add_sheet(BookRecord& book, const Args& a);       // (name, sheet_state="visible")
PyObject* copy_sheet(BookRecord& book, const Args& a);      // (sheet)
PyObject* get_sheet_index(BookRecord& book, const Args& a); // (idx)
PyObject* get_sheet_name(BookRecord& book, const Args& a);  // (name)
PyObject* to_json(BookRecord& book);
PyObject* to_dict(BookRecord& book);
// Keeps the interpreter's own json.loads, taken at module start: to_dict
// builds its objects directly only while the json module still has it.
void remember_json_loads();

inline constexpr Param kAddSheetParams[] = {{"name"}, {"sheet_state", "\"visible\""}};
inline constexpr Param kCopySheetParams[] = {{"sheet"}};
inline constexpr Param kIndexParams[] = {{"idx"}};
inline constexpr Param kNameParams[] = {{"name"}};

}  // namespace brindel::py::workbook
