// The search methods of Sheet, added to its method table.
#pragma once

#include <vector>

#include "py.hpp"

namespace brindel::py {

void add_sheet_search_methods(std::vector<PyMethodDef>& defs);

}  // namespace brindel::py
