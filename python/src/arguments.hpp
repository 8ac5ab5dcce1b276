// Argument binding for module functions and methods, and the argument kinds
// that convert Python arguments into C++ values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "classes.hpp"
#include "pyref.hpp"
#include "values.hpp"

namespace zelko::py {

// ---------------------------------------------------------------------------
// Argument binding

// A fixed parameter list: `names` in order, the first `positional` of them
// may be passed by position, the first `required` have no default. All may
// be passed by keyword.
struct Signature {
  const char* function;  // shown as "<function>() ..." in messages
  std::span<const char* const> names;
  std::size_t positional;
  std::size_t required;
};

// Binds (args, kwargs) to `signature`, storing borrowed references in `out`
// (one slot per name; nullptr when omitted). Raises TypeError with the
// interpreter's customary wording on a missing, surplus, repeated or unknown
// argument.
[[nodiscard]] bool bind_arguments(const Signature& signature, PyObject* args,
                                  PyObject* kwargs, std::span<PyObject*> out);
// As bind_arguments, for a METH_FASTCALL | METH_KEYWORDS function: `args`
// holds the `nargs` positional values, then one value per name in `kwnames`
// (a tuple, or null without keywords). No tuple or dict is made.
[[nodiscard]] bool bind_fast_arguments(const Signature& signature,
                                       PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames,
                                       std::span<PyObject*> out);

// ---------------------------------------------------------------------------
// Argument kinds. `value` is a borrowed reference or nullptr (omitted: `out`
// is left as it is). Every TypeError message names the parameter.

// str only, read in place (no copy): the view lives as long as `value`. A
// lone surrogate raises the interpreter's encoding error.
[[nodiscard]] bool arg_text_view(PyObject* value, const char* name,
                                 std::string_view& out);
// str only. A lone surrogate raises the interpreter's encoding error.
[[nodiscard]] bool arg_text(PyObject* value, const char* name,
                            std::string& out);
// bool, or the NumPy boolean scalar; never 0/1 or other truthy objects.
[[nodiscard]] bool arg_flag(PyObject* value, const char* name, bool& out);
// Integers or objects with __index__; OverflowError outside the range,
// TypeError for float and non-numbers.
[[nodiscard]] bool arg_int32(PyObject* value, const char* name,
                             std::int32_t& out);
[[nodiscard]] bool arg_uint32(PyObject* value, const char* name,
                              std::uint32_t& out);
[[nodiscard]] bool arg_uint64(PyObject* value, const char* name,
                              std::uint64_t& out);
// A sequence (list, tuple, ...) of str; refuses a str itself, non-sequences
// (dict, set, generators) and non-str items.
[[nodiscard]] bool arg_text_list(PyObject* value, const char* name,
                                 std::vector<std::string>& out);
// Any object: a new reference to it; None gives an empty PyRef.
[[nodiscard]] bool arg_object(PyObject* value, const char* name, PyRef& out);

// An instance of class `id` (TypeError otherwise); its record, a
// NativeObject<Record>, is copied under a shared borrow.
template <class Record>
[[nodiscard]] bool arg_record(PyObject* value, const char* name, ClassId id,
                              Record& out);

// Any of the kinds above as an optional parameter: omitted leaves `out`
// as it is, None makes it absent.
template <class T, class Convert>
[[nodiscard]] bool arg_optional(PyObject* value, const char* name,
                                std::optional<T>& out, Convert&& convert) {
  if (value == nullptr) return true;
  if (value == Py_None) {
    out.reset();
    return true;
  }
  T converted{};
  if (!convert(value, name, converted)) return false;
  out = std::move(converted);
  return true;
}

[[nodiscard]] inline bool arg_optional_text(PyObject* value, const char* name,
                                            std::optional<std::string>& out) {
  return arg_optional(value, name, out, arg_text);
}
[[nodiscard]] inline bool arg_optional_flag(PyObject* value, const char* name,
                                            std::optional<bool>& out) {
  return arg_optional(value, name, out, arg_flag);
}
[[nodiscard]] inline bool arg_optional_text_list(
    PyObject* value, const char* name,
    std::optional<std::vector<std::string>>& out) {
  return arg_optional(value, name, out, arg_text_list);
}
template <class Record>
[[nodiscard]] bool arg_optional_record(PyObject* value, const char* name,
                                       ClassId id, std::optional<Record>& out) {
  return arg_optional(value, name, out,
                      [id](PyObject* item, const char* param, Record& record) {
                        return arg_record(item, param, id, record);
                      });
}

namespace detail {
// Refuses str and non-sequences for a list parameter; TypeError otherwise.
[[nodiscard]] bool check_list_argument(PyObject* value, const char* name);
// "argument 'name' item 3 must be Breadcrumb, not dict".
void raise_item_type_error(const char* name, std::size_t index,
                           std::string_view expected, PyObject* item);
}  // namespace detail

// A list parameter whose items convert with
// `convert(PyObject* item, const char* name, std::size_t index, T& out)`.
template <class T, class Convert>
[[nodiscard]] bool arg_list(PyObject* value, const char* name,
                            std::vector<T>& out, Convert&& convert) {
  if (value == nullptr) return true;
  if (!detail::check_list_argument(value, name)) return false;
  PyRef iterator = PyRef::steal(PyObject_GetIter(value));
  if (!iterator) return false;
  std::vector<T> items;
  for (std::size_t index = 0;; ++index) {
    PyRef item = PyRef::steal(PyIter_Next(iterator.get()));
    if (!item) break;
    T converted{};
    if (!convert(item.get(), name, index, converted)) return false;
    items.push_back(std::move(converted));
  }
  if (PyErr_Occurred() != nullptr) return false;
  out = std::move(items);
  return true;
}

// A list of instances of class `id`, each record copied.
template <class Record>
[[nodiscard]] bool arg_record_list(PyObject* value, const char* name,
                                   ClassId id, std::vector<Record>& out) {
  return arg_list(value, name, out,
                  [id](PyObject* item, const char* param, std::size_t index,
                       Record& record) {
                    if (!is_instance(item, id)) {
                      detail::raise_item_type_error(param, index,
                                                    class_name(id), item);
                      return false;
                    }
                    return arg_record(item, param, id, record);
                  });
}

// A list of 2-tuples (exactly; a two-element list is refused), the elements
// converted by `first(item, name, A&)` and `second(item, name, B&)`.
template <class A, class B, class ConvertA, class ConvertB>
[[nodiscard]] bool arg_pair_list(PyObject* value, const char* name,
                                 std::vector<std::pair<A, B>>& out,
                                 ConvertA&& first, ConvertB&& second) {
  return arg_list(value, name, out,
                  [&](PyObject* item, const char* param, std::size_t index,
                      std::pair<A, B>& pair) {
                    if (!PyTuple_Check(item) || PyTuple_Size(item) != 2) {
                      detail::raise_item_type_error(param, index,
                                                    "a tuple of 2 items", item);
                      return false;
                    }
                    return first(PyTuple_GetItem(item, 0), param, pair.first) &&
                           second(PyTuple_GetItem(item, 1), param, pair.second);
                  });
}

template <class Record>
bool arg_record(PyObject* value, const char* name, ClassId id, Record& out) {
  if (value == nullptr) return true;
  if (!is_instance(value, id)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be %s, not %s", name,
                 std::string(class_name(id)).c_str(), type_name(value).c_str());
    return false;
  }
  SharedBorrow borrow(value);
  if (!borrow) return false;
  out = record_of<Record>(value);
  return true;
}

}  // namespace zelko::py
