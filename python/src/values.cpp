// Python values from C++ values, and imports of interpreter attributes.
#include "values.hpp"

namespace zelko::py {

PyRef import_module(const char* name) {
  PyRef module_name = PyRef::steal(PyUnicode_FromString(name));
  if (!module_name) return {};
  return PyRef::steal(PyImport_Import(module_name.get()));
}

PyRef import_attribute(const char* module, const char* attribute) {
  PyRef imported = import_module(module);
  if (!imported) return {};
  return get_attribute(imported.get(), attribute);
}

// ---------------------------------------------------------------------------
// Python values from C++ values

PyObject* new_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                              "replace");
}

PyObject* to_python(const std::string& text) { return new_str(text); }

PyObject* to_python(bool flag) { return PyBool_FromLong(flag ? 1 : 0); }

PyObject* to_python(std::int32_t number) { return PyLong_FromLong(number); }

PyObject* to_python(std::uint32_t number) {
  return PyLong_FromUnsignedLong(number);
}

PyObject* to_python(std::uint64_t number) {
  return PyLong_FromUnsignedLongLong(number);
}

PyObject* to_python(const std::vector<std::string>& texts) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
  if (!list) return nullptr;
  for (std::size_t index = 0; index < texts.size(); ++index) {
    PyObject* item = new_str(texts[index]);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(index), item);
  }
  return list.release();
}

bool dict_set(PyObject* dict, const char* key, PyObject* value) {
  PyRef owned = PyRef::steal(value);
  if (!owned) return false;
  return PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyRef get_attribute(PyObject* object, const char* name) {
  PyRef key = PyRef::steal(PyUnicode_InternFromString(name));
  if (!key) return {};
  return PyRef::steal(PyObject_GetAttr(object, key.get()));
}

std::string type_name(PyObject* object) {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
  PyRef name = get_attribute(type, "__name__");
  if (name && PyUnicode_Check(name.get())) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(name.get(), &size))
      return std::string(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  return "object";
}

}  // namespace zelko::py
