// The exception classes, engine error conversion and internal faults.
#include "errors.hpp"

#include <atomic>

#include "values.hpp"

#include <memory>

namespace zelko::py {

namespace {

// ---------------------------------------------------------------------------
// Exception classes

using ExceptionSet = std::array<PyObject*, kExceptionCount>;

std::atomic<ExceptionSet*> published_exceptions{nullptr};
std::atomic<PyObject*> published_internal_fault{nullptr};

constexpr const char* kModuleName = "_zelko_native";

// type(name, bases, {}) for "_zelko_native.<name>", with __module__ set to
// the module's name (type() would otherwise take it from the caller's frame).
PyRef create_exception_class(const char* qualified_name, PyObject* bases) {
  PyRef type_factory = import_attribute("builtins", "type");
  if (!type_factory) return {};
  std::string_view qualified(qualified_name);
  std::string_view short_name =
      qualified.substr(qualified.rfind('.') + 1);  // npos + 1 == 0
  PyRef name = PyRef::steal(
      PyUnicode_FromStringAndSize(short_name.data(), short_name.size()));
  PyRef namespace_dict = PyRef::steal(PyDict_New());
  if (!name || !namespace_dict) return {};
  PyRef call_args = PyRef::steal(PyTuple_New(3));
  if (!call_args) return {};
  PyTuple_SetItem(call_args.get(), 0, name.release());
  PyTuple_SetItem(call_args.get(), 1, Py_NewRef(bases));
  PyTuple_SetItem(call_args.get(), 2, namespace_dict.release());
  PyRef created =
      PyRef::steal(PyObject_Call(type_factory.get(), call_args.get(), nullptr));
  if (!created) return {};
  if (!PyType_Check(created.get())) {
    PyErr_Format(PyExc_TypeError, "type() returned %s, not a type",
                 type_name(created.get()).c_str());
    return {};
  }
  PyRef module_name = PyRef::steal(PyUnicode_FromString(kModuleName));
  if (!module_name || PyObject_SetAttrString(created.get(), "__module__",
                                             module_name.get()) < 0) {
    return {};
  }
  return created;
}

bool create_exceptions(ExceptionSet& set) {
  PyRef value_error = import_attribute("builtins", "ValueError");
  if (!value_error) return false;
  PyRef root_bases = PyRef::steal(PyTuple_New(1));
  if (!root_bases) return false;
  PyTuple_SetItem(root_bases.get(), 0, value_error.release());
  PyRef root =
      create_exception_class("_zelko_native.ZelkoError", root_bases.get());
  if (!root || PyObject_SetAttrString(root.get(), "field", Py_None) < 0) {
    return false;
  }
  PyRef child_bases = PyRef::steal(PyTuple_New(1));
  if (!child_bases) return false;
  PyTuple_SetItem(child_bases.get(), 0, Py_NewRef(root.get()));
  set[0] = root.release();
  for (std::size_t index = 1; index < kExceptionCount; ++index) {
    std::string qualified =
        std::string(kModuleName) + "." + kExceptionNames[index];
    PyRef child = create_exception_class(qualified.c_str(), child_bases.get());
    if (!child) return false;
    set[index] = child.release();
  }
  return true;
}

void drop_exceptions(ExceptionSet& set) noexcept {
  for (PyObject*& cls : set) {
    Py_XDECREF(cls);
    cls = nullptr;
  }
}

// Position in the exception set of the class raised for `kind`. Two kinds
// share ConfigurationError; serialization errors are raised as the root.
std::size_t exception_index(zelko::ErrorKind kind) noexcept {
  switch (kind) {
    case zelko::ErrorKind::InvalidUrl:
      return 1;
    case zelko::ErrorKind::Configuration:
    case zelko::ErrorKind::UrlPolicy:
      return 2;
    case zelko::ErrorKind::Entity:
      return 3;
    case zelko::ErrorKind::Schema:
      return 4;
    case zelko::ErrorKind::Serialization:
      return 0;
  }
  return 0;
}

PyObject* internal_fault_class() {
  if (PyObject* cls = published_internal_fault.load(std::memory_order_acquire))
    return cls;
  PyObject* created = PyErr_NewExceptionWithDoc(
      "_zelko_native.InternalFault",
      "A fault inside the native code of zelko that is not an engine error.",
      PyExc_BaseException, nullptr);
  if (created == nullptr) return nullptr;
  PyObject* expected = nullptr;
  if (!published_internal_fault.compare_exchange_strong(
          expected, created, std::memory_order_acq_rel)) {
    Py_DECREF(created);
    return expected;
  }
  return created;
}

// exception_type(text): a new instance, for errors that carry attributes.
PyRef new_exception(PyObject* exception_type, std::string_view text) {
  PyRef message = PyRef::steal(new_str(text));
  if (!message) return {};
  return PyRef::steal(
      PyObject_CallFunctionObjArgs(exception_type, message.get(), nullptr));
}

// Sets exception.field to `field` (nothing to do for an empty one).
bool set_field(PyObject* exception, std::string_view field) {
  if (field.empty()) return true;
  PyRef text = PyRef::steal(new_str(field));
  return text && PyObject_SetAttrString(exception, "field", text.get()) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Engine errors and native faults

PyObject* raise_with_text(PyObject* exception_type, std::string_view text) {
  PyRef message = PyRef::steal(new_str(text));
  if (message) PyErr_SetObject(exception_type, message.get());
  return nullptr;
}

PyObject* raise_with_field(PyObject* exception_type, std::string_view text,
                           std::string_view field) {
  if (field.empty()) return raise_with_text(exception_type, text);
  PyRef exception = new_exception(exception_type, text);
  if (!exception || !set_field(exception.get(), field)) return nullptr;
  PyErr_SetObject(exception_type, exception.get());
  return nullptr;
}

const std::array<PyObject*, kExceptionCount>* exception_classes() {
  if (ExceptionSet* set = published_exceptions.load(std::memory_order_acquire))
    return set;
  auto created = std::make_unique<ExceptionSet>();
  created->fill(nullptr);
  if (!create_exceptions(*created)) {
    drop_exceptions(*created);  // nothing stored: the next use tries again
    return nullptr;
  }
  ExceptionSet* expected = nullptr;
  if (!published_exceptions.compare_exchange_strong(
          expected, created.get(), std::memory_order_acq_rel)) {
    drop_exceptions(*created);
    return expected;
  }
  return created.release();
}

PyObject* raise_engine_error(const zelko::Error& error) {
  const ExceptionSet* set = exception_classes();
  if (set == nullptr) {
    PyErr_Clear();
    return raise_with_text(PyExc_Exception, error.display());
  }
  return raise_with_field((*set)[exception_index(error.kind())],
                          error.message(), zelko::field_name(error.field()));
}

PyObject* raise_engine_error_at(const zelko::Error& error,
                                std::string_view field) {
  const ExceptionSet* set = exception_classes();
  if (set == nullptr) {
    PyErr_Clear();
    return raise_with_text(PyExc_Exception, error.display());
  }
  return raise_with_field((*set)[exception_index(error.kind())],
                          error.message(), field);
}

namespace {

// OSError(text) with the error's field and, for a system failure, its errno
// as the `errno` attribute alone: with `strerror` left None, str() and args
// stay `text`.
PyObject* raise_os_error(const zelko::Error& error, std::string_view text) {
  PyRef exception = new_exception(PyExc_OSError, text);
  if (!exception ||
      !set_field(exception.get(), zelko::field_name(error.field()))) {
    return nullptr;
  }
  if (error.system_error() != 0) {
    PyRef number = PyRef::steal(PyLong_FromLong(error.system_error()));
    if (!number ||
        PyObject_SetAttrString(exception.get(), "errno", number.get()) < 0) {
      return nullptr;
    }
  }
  PyErr_SetObject(PyExc_OSError, exception.get());
  return nullptr;
}

}  // namespace

PyObject* raise_error(const zelko::Error& error) {
  if (error.kind() != zelko::ErrorKind::Serialization &&
      error.system_error() == 0) {
    return raise_engine_error(error);
  }
  return raise_os_error(error, error.message());
}

PyObject* raise_display_value_error(const zelko::Error& error) {
  return raise_with_field(PyExc_ValueError, error.display(),
                          zelko::field_name(error.field()));
}

PyObject* raise_display_os_error(const zelko::Error& error) {
  return raise_os_error(error, error.display());
}

PyObject* raise_internal_fault(std::string_view what) {
  PyObject* cls = internal_fault_class();
  if (cls == nullptr) {
    PyErr_Clear();
    cls = PyExc_SystemError;
  }
  return raise_with_text(cls, what);
}

}  // namespace zelko::py
