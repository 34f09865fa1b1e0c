// The module functions of _brindel.
#pragma once

#include "py.hpp"

namespace brindel::py {

extern const char kVersion[];

PyMethodDef* version_def();
PyMethodDef* column_number_to_letter_def();
PyMethodDef* get_letter_coordinate_def();
#ifdef BRINDEL_DEBUG_HOOKS
// Only in builds with debug hooks; never listed in __all__.
PyMethodDef* debug_panic_def();
#endif

}  // namespace brindel::py
