// The module functions of _brindel.
#pragma once

#include "py.hpp"

namespace brindel::py {

extern const char kVersion[];

PyMethodDef* version_def();
PyMethodDef* column_number_to_letter_def();
PyMethodDef* get_letter_coordinate_def();

}  // namespace brindel::py
