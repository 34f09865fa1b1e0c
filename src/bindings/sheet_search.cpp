#include "sheet_search.hpp"

namespace brindel::py {

void add_sheet_search_methods(std::vector<PyMethodDef>&) {}

}  // namespace brindel::py
