// Argument binding and the argument kinds.
#include "arguments.hpp"

#include <algorithm>
#include <climits>
#include <limits>

namespace zelko::py {

namespace {

std::string missing_names_text(const std::vector<const char*>& names) {
  // 'a'; 'a' and 'b'; 'a', 'b', and 'c' (the interpreter's own wording).
  std::string text;
  for (std::size_t index = 0; index < names.size(); ++index) {
    if (index > 0) {
      if (names.size() > 2) text += ",";
      text += " ";
      if (index + 1 == names.size()) text += "and ";
    }
    text += "'";
    text += names[index];
    text += "'";
  }
  return text;
}

bool raise_too_many_positional(const Signature& signature, Py_ssize_t given) {
  if (signature.positional == 0) {
    PyErr_Format(PyExc_TypeError, "%s() takes no positional arguments",
                 signature.function);
  } else {
    bool exact = signature.required == signature.names.size();
    PyErr_Format(
        PyExc_TypeError, "%s() takes %s %zu positional argument%s (%zd given)",
        signature.function, exact ? "exactly" : "at most", signature.positional,
        signature.positional == 1 ? "" : "s", given);
  }
  return false;
}

std::optional<std::size_t> parameter_index(const Signature& signature,
                                           PyObject* key) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(key, &size);
  if (data == nullptr) {
    PyErr_Clear();  // an unencodable name matches no parameter
    return std::nullopt;
  }
  std::string_view name(data, static_cast<std::size_t>(size));
  for (std::size_t index = 0; index < signature.names.size(); ++index) {
    if (name == signature.names[index]) return index;
  }
  return std::nullopt;
}

// One keyword argument into its slot.
bool bind_keyword(const Signature& signature, PyObject* key, PyObject* value,
                  std::span<PyObject*> out) {
  if (!PyUnicode_Check(key)) {
    PyErr_Format(PyExc_TypeError, "%s() keywords must be strings",
                 signature.function);
    return false;
  }
  std::optional<std::size_t> index = parameter_index(signature, key);
  if (!index) {
    PyErr_Format(PyExc_TypeError,
                 "%s() got an unexpected keyword argument '%U'",
                 signature.function, key);
    return false;
  }
  if (out[*index] != nullptr) {
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                 signature.function, signature.names[*index]);
    return false;
  }
  out[*index] = value;
  return true;
}

bool bind_keywords(const Signature& signature, PyObject* kwargs,
                   std::span<PyObject*> out) {
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &position, &key, &value)) {
    if (!bind_keyword(signature, key, value, out)) return false;
  }
  return true;
}

bool check_required(const Signature& signature, std::span<PyObject*> out) {
  std::vector<const char*> missing;
  for (std::size_t index = 0; index < signature.required; ++index) {
    if (out[index] == nullptr) missing.push_back(signature.names[index]);
  }
  if (missing.empty()) return true;
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required %s argument%s: %s",
               signature.function, missing.size(),
               signature.required <= signature.positional ? "positional"
                                                          : "keyword-only",
               missing.size() == 1 ? "" : "s",
               missing_names_text(missing).c_str());
  return false;
}

// NumPy's boolean scalar, recognised by its type's qualified name so that
// NumPy is never imported here ("numpy.bool_" before 2.0, "numpy.bool").
bool is_numpy_bool(PyObject* value) {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  PyRef module = get_attribute(type, "__module__");
  PyRef name = get_attribute(type, "__name__");
  if (!module || !name || !PyUnicode_Check(module.get()) ||
      !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return false;
  }
  const char* module_text = PyUnicode_AsUTF8AndSize(module.get(), nullptr);
  const char* name_text = PyUnicode_AsUTF8AndSize(name.get(), nullptr);
  if (module_text == nullptr || name_text == nullptr) {
    PyErr_Clear();
    return false;
  }
  std::string_view module_view(module_text);
  std::string_view name_view(name_text);
  return module_view == "numpy" &&
         (name_view == "bool_" || name_view == "bool");
}

// The integer behind `value` (an int or an object with __index__), or null
// with TypeError naming the parameter.
PyRef index_of_argument(PyObject* value, const char* name) {
  if (!PyFloat_Check(value)) {
    PyRef index = PyRef::steal(PyNumber_Index(value));
    if (index || !PyErr_ExceptionMatches(PyExc_TypeError)) return index;
    PyErr_Clear();
  }
  PyErr_Format(PyExc_TypeError, "argument '%s' must be int, not %s", name,
               type_name(value).c_str());
  return {};
}

bool raise_out_of_range(const char* name, const char* range) {
  PyErr_Format(PyExc_OverflowError,
               "argument '%s' is out of range for a %s integer", name, range);
  return false;
}

// A signed integer argument within [low, high].
bool bounded_signed(PyObject* value, const char* name, long long low,
                    long long high, const char* range, long long& out) {
  PyRef index = index_of_argument(value, name);
  if (!index) return false;
  long long number = PyLong_AsLongLong(index.get());
  if (number == -1 && PyErr_Occurred() != nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Clear();
    return raise_out_of_range(name, range);
  }
  if (number < low || number > high) return raise_out_of_range(name, range);
  out = number;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Argument binding

bool bind_arguments(const Signature& signature, PyObject* args,
                    PyObject* kwargs, std::span<PyObject*> out) {
  std::fill(out.begin(), out.end(), nullptr);
  Py_ssize_t given = args == nullptr ? 0 : PyTuple_Size(args);
  if (given < 0) return false;
  if (static_cast<std::size_t>(given) > signature.positional)
    return raise_too_many_positional(signature, given);
  for (Py_ssize_t index = 0; index < given; ++index) {
    out[static_cast<std::size_t>(index)] = PyTuple_GetItem(args, index);
  }
  if (kwargs != nullptr && !bind_keywords(signature, kwargs, out)) return false;
  return check_required(signature, out);
}

bool bind_fast_arguments(const Signature& signature, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames,
                         std::span<PyObject*> out) {
  std::fill(out.begin(), out.end(), nullptr);
  if (static_cast<std::size_t>(nargs) > signature.positional)
    return raise_too_many_positional(signature, nargs);
  for (Py_ssize_t index = 0; index < nargs; ++index) {
    out[static_cast<std::size_t>(index)] = args[index];
  }
  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  if (keywords < 0) return false;
  for (Py_ssize_t index = 0; index < keywords; ++index) {
    if (!bind_keyword(signature, PyTuple_GetItem(kwnames, index),
                      args[nargs + index], out)) {
      return false;
    }
  }
  return check_required(signature, out);
}

// ---------------------------------------------------------------------------
// Argument kinds

bool arg_text_view(PyObject* value, const char* name, std::string_view& out) {
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be str, not %s", name,
                 type_name(value).c_str());
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return false;  // lone surrogate: the encoding error
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool arg_text(PyObject* value, const char* name, std::string& out) {
  if (value == nullptr) return true;
  std::string_view text;
  if (!arg_text_view(value, name, text)) return false;
  out.assign(text);
  return true;
}

bool arg_flag(PyObject* value, const char* name, bool& out) {
  if (value == nullptr) return true;
  if (PyBool_Check(value)) {
    out = value == Py_True;
    return true;
  }
  if (is_numpy_bool(value)) {
    int truth = PyObject_IsTrue(value);
    if (truth < 0) return false;
    out = truth == 1;
    return true;
  }
  PyErr_Format(PyExc_TypeError, "argument '%s' must be bool, not %s", name,
               type_name(value).c_str());
  return false;
}

bool arg_int32(PyObject* value, const char* name, std::int32_t& out) {
  if (value == nullptr) return true;
  long long number = 0;
  if (!bounded_signed(value, name, std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max(), "32-bit signed",
                      number)) {
    return false;
  }
  out = static_cast<std::int32_t>(number);
  return true;
}

bool arg_uint32(PyObject* value, const char* name, std::uint32_t& out) {
  if (value == nullptr) return true;
  long long number = 0;
  if (!bounded_signed(value, name, 0, std::numeric_limits<std::uint32_t>::max(),
                      "32-bit unsigned", number)) {
    return false;
  }
  out = static_cast<std::uint32_t>(number);
  return true;
}

bool arg_uint64(PyObject* value, const char* name, std::uint64_t& out) {
  if (value == nullptr) return true;
  PyRef index = index_of_argument(value, name);
  if (!index) return false;
  PyRef zero = PyRef::steal(PyLong_FromLong(0));
  if (!zero) return false;
  int negative = PyObject_RichCompareBool(index.get(), zero.get(), Py_LT);
  if (negative < 0) return false;
  if (negative == 1) return raise_out_of_range(name, "64-bit unsigned");
  unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
  if (number == static_cast<unsigned long long>(-1) &&
      PyErr_Occurred() != nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Clear();
    return raise_out_of_range(name, "64-bit unsigned");
  }
  out = number;
  return true;
}

bool arg_text_list(PyObject* value, const char* name,
                   std::vector<std::string>& out) {
  return arg_list(value, name, out,
                  [](PyObject* item, const char* param, std::size_t index,
                     std::string& text) {
                    if (!PyUnicode_Check(item)) {
                      detail::raise_item_type_error(param, index, "str", item);
                      return false;
                    }
                    return arg_text(item, param, text);
                  });
}

bool arg_object(PyObject* value, const char* /*name*/, PyRef& out) {
  if (value == nullptr) return true;
  out = value == Py_None ? PyRef() : PyRef::borrow(value);
  return true;
}

namespace detail {

bool check_list_argument(PyObject* value, const char* name) {
  // A str is a sequence of characters, never a list of texts.
  if (PyUnicode_Check(value) || PySequence_Check(value) != 1) {
    PyErr_Format(PyExc_TypeError,
                 "argument '%s' must be a sequence (list or tuple), not %s",
                 name, type_name(value).c_str());
    return false;
  }
  return true;
}

void raise_item_type_error(const char* name, std::size_t index,
                           std::string_view expected, PyObject* item) {
  PyErr_Format(PyExc_TypeError, "argument '%s' item %zu must be %s, not %s",
               name, index, std::string(expected).c_str(),
               type_name(item).c_str());
}

}  // namespace detail

}  // namespace zelko::py
