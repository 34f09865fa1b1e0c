#include <vector>

#include "objects.hpp"

namespace brindel::py {

namespace {

struct Entry {
    const char* name;
    PyTypeObject* (*create)();
    PyTypeObject* type;
};

// In the order of TypeId.
Entry g_types[] = {
    {"Service", create_service_type, nullptr},
    {"Book", create_book_type, nullptr},
    {"Sheet", create_sheet_type, nullptr},
    {"Cell", create_cell_type, nullptr},
    {"Comment", create_comment_type, nullptr},
    {"Finder", create_finder_type, nullptr},
    {"ReadableSheet", create_readable_sheet_type, nullptr},
    {"ReadableCell", create_readable_cell_type, nullptr},
};
static_assert(sizeof(g_types) / sizeof(g_types[0]) == static_cast<size_t>(TypeId::Count));

}  // namespace

const char* class_name(TypeId id) { return g_types[static_cast<size_t>(id)].name; }

PyTypeObject* type_object(TypeId id) {
    Entry& e = g_types[static_cast<size_t>(id)];
    if (e.type) return e.type;
    PyTypeObject* t = e.create ? e.create() : nullptr;
    if (!t) {
        PyErr_Clear();
        throw InternalFault{std::string("failed to create type object for `") + e.name + "`"};
    }
    e.type = t;  // kept for the life of the process
    return t;
}

PyTypeObject* make_type(const char* name, size_t basicsize, unsigned flags, const char* doc,
                        std::initializer_list<PyType_Slot> slots) {
    std::vector<PyType_Slot> all(slots);
    if (doc) all.push_back({Py_tp_doc, const_cast<char*>(doc)});
    all.push_back({0, nullptr});
    // PyType_FromSpec copies the type spec and its slots into the new type.
    PyType_Spec spec{name, static_cast<int>(basicsize), 0, Py_TPFLAGS_DEFAULT | flags, all.data()};
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

PyObject* sheet_list(const std::vector<Ref<SheetRecord>>& sheets) {
    return new_list(sheets, [](const Ref<SheetRecord>& s) { return SheetObject::wrap(s); });
}

}  // namespace brindel::py
