// Read-only snapshots built from plain Python data: dictionaries (read by
// subscription) or any objects with the same names (read by attribute).
//
// Everything here runs with the interpreter lock held. A failed conversion
// raises an exception of the type the failing lookup or value raised, whose
// message names the item and the key and whose __cause__ is the original
// error; nothing partial survives it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cell.hpp"
#include "py.hpp"
#include "ref.hpp"
#include "sheet.hpp"

namespace brindel::py::snapshot {

// A converted list of cells, laid out as the plain pointers a search
// sequence is made of, in list order. A converted element's record is held
// here; a ReadableCell element is held as the Python object (a plain count,
// no locked operation), which keeps its record. Made and destroyed with the
// interpreter lock held.
class CellList {
public:
    CellList() = default;
    CellList(CellList&& o) noexcept
        : raw_(std::move(o.raw_)), owned_(std::move(o.owned_)), holders_(std::move(o.holders_)) {}
    CellList& operator=(CellList&&) = delete;
    CellList(const CellList&) = delete;
    ~CellList();

    void reserve(size_t n) { raw_.reserve(n); }
    void push(Ref<CellRecord> r);
    // r stays alive as long as holder, which the list keeps.
    void push_held(CellRecord* r, PyObject* holder);
    size_t size() const noexcept { return raw_.size(); }
    std::span<CellRecord* const> sequence() const noexcept { return raw_; }

private:
    std::vector<CellRecord*> raw_;
    std::vector<CellRecord*> owned_;  // each holds one reference
    std::vector<PyObject*> holders_;  // each holds one reference
};

// `list` must be a list (or a subclass); the caller has checked. A
// ReadableCell element is shared as it is; any other element is converted.
CellList cells_from_py(PyObject* list);
Ref<CellRecord> cell_from_py(PyObject* obj);
Ref<SheetRecord> sheet_from_py(PyObject* obj);
// `list` must be a list (or a subclass); the caller has checked.
std::vector<Ref<SheetRecord>> sheets_from_py(PyObject* list);

// The value rules of a single field.
std::string py_text(PyObject* v);
std::optional<std::string> py_optional_text(PyObject* v);
uint32_t py_u32(PyObject* v);
uint16_t py_u16(PyObject* v);

}  // namespace brindel::py::snapshot
