// The Finder class: an ordered set of snapshot sheets, and the selections of
// sheets by position, name, name list and regular expression.
#include "readable.hpp"
#include "search/search.hpp"
#include "snapshot.hpp"

namespace brindel::py {

Ref<FinderRecord> finder_from_py(PyObject* sheets, bool release_gil) {
    if (!PyList_Check(sheets))
        throw_type_error("argument 'sheets': '" + type_name(sheets) +
                         "' object cannot be converted to 'PyList'");
    std::vector<Ref<SheetRecord>> recs = snapshot::sheets_from_py(sheets);
    auto make = [&] {
        // Snapshots never change: their row-major order is made here, once,
        // instead of by the first search of each sheet.
        for (const Ref<SheetRecord>& s : recs) {
            SharedLock g(s->lock());
            (void)search::row_major(*s);
        }
        return Ref<FinderRecord>(new FinderRecord(std::move(recs)));
    };
    return release_gil ? without_gil(make) : make();
}

namespace {

using Obj = FinderObject;

constexpr Param kSheetsParams[] = {{"sheets"}};
constexpr Param kIdxParams[] = {{"idx"}};
constexpr Param kNameListParams[] = {{"name_list"}};
constexpr Param kNameParams[] = {{"name"}};
constexpr Param kPatternParams[] = {{"pattern"}};

constexpr Sig kNew{"Finder", "__new__", kSheetsParams};
constexpr Sig kGetSheetIndex{"Finder", "get_sheet_index", kIdxParams};
constexpr Sig kGetSheetsWithoutNames{"Finder", "get_sheets_without_names", kNameListParams};
constexpr Sig kGetSheetsWithNames{"Finder", "get_sheets_with_names", kNameListParams};
constexpr Sig kFindSheetByName{"Finder", "find_sheet_by_name", kNameParams};
constexpr Sig kFindSheetByRegex{"Finder", "find_sheet_by_regex", kPatternParams};

PyObject* finder_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        Bound b;
        bind(kNew, args, kwargs, b);
        Ref<FinderRecord> rec = finder_from_py(Args(b).object(0), false);
        auto* o = reinterpret_cast<Obj*>(type->tp_alloc(type, 0));
        if (!o) throw_error_set();
        new (&o->borrow) BorrowFlag();
        new (&o->rec) Ref<FinderRecord>(std::move(rec));
        return reinterpret_cast<PyObject*>(o);
    });
}

PyObject* wrap_sheet_or_none(const Ref<SheetRecord>& s) {
    return s ? ReadableSheetObject::wrap(s) : none();
}

PyObject* readable_sheet_list(const std::vector<Ref<SheetRecord>>& sheets) {
    return new_list(sheets, [](const Ref<SheetRecord>& s) { return ReadableSheetObject::wrap(s); });
}

// The finder's sheets at the given positions, taken under its lock.
template <class F>
std::vector<Ref<SheetRecord>> select(const FinderRecord& f, F&& positions) {
    SharedLock g(f.lock());
    search::Positions ps = positions(f.raw_unlocked());
    std::vector<Ref<SheetRecord>> out;
    out.reserve(ps.size());
    for (size_t p : ps) out.push_back(f.sheets_unlocked()[p]);
    return out;
}

template <class F>
Ref<SheetRecord> select_one(const FinderRecord& f, F&& position) {
    SharedLock g(f.lock());
    std::optional<size_t> p = position(f.raw_unlocked());
    return p ? f.sheets_unlocked()[*p] : Ref<SheetRecord>();
}

PyObject* get_sheets(Obj& o) {
    std::vector<Ref<SheetRecord>> all;
    {
        SharedLock g(o.rec->lock());
        all = o.rec->sheets_unlocked();
    }
    return readable_sheet_list(all);
}

PyObject* get_sheet_index(Obj& o, Args a) {
    int32_t idx = a.int32(0);
    return wrap_sheet_or_none(select_one(*o.rec, [&](search::Sheets s) -> std::optional<size_t> {
        if (idx < 0 || static_cast<size_t>(idx) >= s.size()) return std::nullopt;
        return static_cast<size_t>(idx);
    }));
}

PyObject* get_sheets_without_names(Obj& o, Args a) {
    std::vector<std::string> names = a.text_list(0);
    return readable_sheet_list(select(
        *o.rec, [&](search::Sheets s) { return search::sheets_without_names(s, names); }));
}

PyObject* get_sheets_with_names(Obj& o, Args a) {
    std::vector<std::string> names = a.text_list(0);
    return readable_sheet_list(
        select(*o.rec, [&](search::Sheets s) { return search::sheets_with_names(s, names); }));
}

PyObject* find_sheet_by_name(Obj& o, Args a) {
    std::string_view name = a.text(0);
    return wrap_sheet_or_none(
        select_one(*o.rec, [&](search::Sheets s) { return search::first_sheet_named(s, name); }));
}

PyObject* find_sheet_by_regex(Obj& o, Args a) {
    std::string_view pattern = a.text(0);
    Result<search::Regex> re = search::Regex::compile(pattern);
    if (!re) throw_value_error(engine_error_text(re.error()));
    const search::Regex& compiled = re.value();
    return wrap_sheet_or_none(select_one(
        *o.rec, [&](search::Sheets s) { return search::first_sheet_matching(s, compiled); }));
}

PyObject* repr(Obj& o) {
    size_t n;
    {
        SharedLock g(o.rec->lock());
        n = o.rec->size_unlocked();
    }
    return new_str("Finder, sheets: " + std::to_string(n));
}

}  // namespace

PyTypeObject* create_finder_type() {
    static PyMethodDef* methods = persist<PyMethodDef>({
        method_def<Obj, get_sheet_index, kGetSheetIndex>(),
        method_def<Obj, get_sheets_without_names, kGetSheetsWithoutNames>(),
        method_def<Obj, get_sheets_with_names, kGetSheetsWithNames>(),
        method_def<Obj, find_sheet_by_name, kFindSheetByName>(),
        method_def<Obj, find_sheet_by_regex, kFindSheetByRegex>(),
    });
    static PyGetSetDef* getset = persist<PyGetSetDef>({
        {"sheets", getter_entry<Obj, get_sheets>, nullptr, nullptr, nullptr},
    });
    return make_type("brindel.readable.Finder", sizeof(Obj), Py_TPFLAGS_IMMUTABLETYPE,
                     docstring_with_text("Finder(sheets)", ""),
                     {{Py_tp_new, reinterpret_cast<void*>(finder_new)},
                      {Py_tp_dealloc, reinterpret_cast<void*>(Obj::dealloc)},
                      {Py_tp_repr, reinterpret_cast<void*>(repr_entry<Obj, repr>)},
                      {Py_tp_methods, methods},
                      {Py_tp_getset, getset}});
}

}  // namespace brindel::py
