// Python values from C++ values, dictionary building, and record reads for
// getters and methods.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "classes.hpp"
#include "errors.hpp"
#include "pyref.hpp"

namespace zelko::py {

// "int", "NoneType", ... (the type's __name__).
[[nodiscard]] std::string type_name(PyObject* object);

// getattr(object, name), with `name` interned. The interpreter's attribute
// cache keeps a reference to every name string it is asked about, so a fresh
// string per lookup (as PyObject_GetAttrString makes) would fill the cache
// with copies of the same name.
[[nodiscard]] PyRef get_attribute(PyObject* object, const char* name);

// The module `name`, imported (or taken from sys.modules).
[[nodiscard]] PyRef import_module(const char* name);
// getattr(import(module), attribute).
[[nodiscard]] PyRef import_attribute(const char* module, const char* attribute);

// ---------------------------------------------------------------------------
// Python values from C++ values (each returns a new reference or nullptr)

// Engine text is UTF-8; an invalid sequence is replaced by U+FFFD, as the
// engine's JSON writer does.
[[nodiscard]] PyObject* new_str(std::string_view text);
[[nodiscard]] PyObject* to_python(const std::string& text);
[[nodiscard]] PyObject* to_python(bool flag);
[[nodiscard]] PyObject* to_python(std::int32_t number);
[[nodiscard]] PyObject* to_python(std::uint32_t number);
[[nodiscard]] PyObject* to_python(std::uint64_t number);
[[nodiscard]] PyObject* to_python(const std::vector<std::string>& texts);
PyObject* to_python(const char*) = delete;  // would silently pick bool
template <class T>
[[nodiscard]] PyObject* to_python(const std::optional<T>& value) {
  if (!value) return Py_NewRef(Py_None);
  return to_python(*value);
}

// Sets dict[key] = value, stealing `value`. False with the error set.
[[nodiscard]] bool dict_set(PyObject* dict, const char* key, PyObject* value);
// As dict_set, but leaves the key out when the optional is absent.
template <class T>
[[nodiscard]] bool dict_set_present(PyObject* dict, const char* key,
                                    const std::optional<T>& value) {
  return !value || dict_set(dict, key, to_python(*value));
}

// Reads `object`'s record under a shared borrow and converts it with
// `read(const Record&) -> PyObject*`; for getters and methods.
template <class Record, class Read>
[[nodiscard]] PyObject* read_record(PyObject* self, Read&& read) {
  return guarded([&]() -> PyObject* {
    SharedBorrow borrow(self);
    if (!borrow) return nullptr;
    return read(std::as_const(record_of<Record>(self)));
  });
}

// A property getter (PyGetSetDef.get) returning one member of the record.
template <class Record, auto Member>
PyObject* member_getter(PyObject* self, void* /*closure*/) {
  return read_record<Record>(
      self, [](const Record& record) { return to_python(record.*Member); });
}

}  // namespace zelko::py
