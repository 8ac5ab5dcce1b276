// JSON values to Python objects and back.
#include "json_values.hpp"

#include "errors.hpp"
#include "values.hpp"

namespace zelko::py {

namespace {

PyRef json_module_dumps() { return import_attribute("json", "dumps"); }

PyObject* nesting_error() {
  PyErr_SetString(PyExc_ValueError,
                  "JSON structure too deeply nested (max 128 levels)");
  return nullptr;
}

PyObject* json_array_to_list(const zelko::JsonValue& value, std::size_t depth) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(value.size())));
  if (!list) return nullptr;
  Py_ssize_t position = 0;
  for (const zelko::JsonValue& element : value) {
    PyObject* item = json_to_python(element, depth + 1);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), position++, item);
  }
  return list.release();
}

PyObject* json_members_to_dict(const zelko::JsonValue& value,
                               std::size_t member_depth) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, member] : value.items()) {
    PyRef py_key = PyRef::steal(new_str(key));
    if (!py_key) return nullptr;
    PyRef py_value = PyRef::steal(json_to_python(member, member_depth));
    if (!py_value) return nullptr;
    if (PyDict_SetItem(dict.get(), py_key.get(), py_value.get()) < 0)
      return nullptr;
  }
  return dict.release();
}

}  // namespace

// ---------------------------------------------------------------------------
// JSON values and Python objects

PyObject* json_to_python(const zelko::JsonValue& value, std::size_t depth) {
  using Kind = zelko::JsonValue::value_t;
  if (depth > kPythonNestingLimit) return nesting_error();
  switch (value.type()) {
    case Kind::boolean:
      return to_python(value.get<bool>());
    case Kind::number_unsigned: {
      auto number = value.get<std::uint64_t>();
      // Python ints would hold it, but consumers of the JSON data expect the
      // signed 64-bit range; larger values travel as the nearest double.
      if (number > static_cast<std::uint64_t>(
                       std::numeric_limits<std::int64_t>::max())) {
        return PyFloat_FromDouble(static_cast<double>(number));
      }
      return PyLong_FromUnsignedLongLong(number);
    }
    case Kind::number_integer:
      return PyLong_FromLongLong(value.get<std::int64_t>());
    case Kind::number_float:
      return PyFloat_FromDouble(value.get<double>());
    case Kind::string:
      return new_str(value.get_ref<const std::string&>());
    case Kind::array:
      return json_array_to_list(value, depth);
    case Kind::object:
      return json_members_to_dict(value, depth + 1);
    case Kind::null:
    case Kind::binary:
    case Kind::discarded:
      break;
  }
  return Py_NewRef(Py_None);
}

PyObject* json_object_to_dict(const zelko::JsonValue& value) {
  if (!value.is_object()) return PyDict_New();
  // The members of the top-level object are not counted as a level.
  return json_members_to_dict(value, 0);
}

std::optional<zelko::Result<zelko::JsonValue>> dump_and_read(PyObject* object) {
  PyRef dumps = json_module_dumps();
  if (!dumps) return std::nullopt;
  PyRef call_args = PyRef::steal(PyTuple_New(1));
  if (!call_args) return std::nullopt;
  PyTuple_SetItem(call_args.get(), 0, Py_NewRef(object));
  PyRef text =
      PyRef::steal(PyObject_Call(dumps.get(), call_args.get(), nullptr));
  if (!text) return std::nullopt;
  if (!PyUnicode_Check(text.get())) {
    PyErr_Format(PyExc_TypeError, "json.dumps returned %s, not str",
                 type_name(text.get()).c_str());
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (data == nullptr) return std::nullopt;
  return zelko::parse_json(
      std::string_view(data, static_cast<std::size_t>(size)));
}

bool python_to_json(PyObject* object, zelko::JsonValue& out) {
  std::optional<zelko::Result<zelko::JsonValue>> read = dump_and_read(object);
  if (!read) return false;
  if (!read->ok()) {
    raise_with_text(PyExc_ValueError, read->error().message());
    return false;
  }
  out = std::move(*read).value();
  return true;
}

PyObject* json_text_to_dict(std::string_view text) {
  zelko::Result<zelko::JsonValue> parsed = zelko::parse_json(text);
  if (!parsed) return raise_display_value_error(parsed.error());
  return json_object_to_dict(parsed.value());
}

}  // namespace zelko::py
