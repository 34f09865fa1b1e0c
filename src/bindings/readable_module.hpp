// The submodule readable: snapshots, the Finder and the search functions.
#pragma once

#include "py.hpp"

namespace brindel::py {

// A new module object named "readable", filled in its fixed order.
PyObject* build_readable_module();

void add_to_module(PyObject* module, const char* name, PyObject* value);
PyObject* new_function(PyMethodDef* def, PyObject* module);

}  // namespace brindel::py
