#include "readable_module.hpp"

#include "objects.hpp"

namespace brindel::py {

PyObject* build_readable_module() {
    Object m = Object::checked(PyModule_New("readable"));
    return m.release();
}

}  // namespace brindel::py
