// Shared machinery of the _zelko_native extension (see binding.hpp).
#include "binding.hpp"

#include <algorithm>
#include <climits>
#include <limits>
#include <memory>

namespace zelko::py {

namespace {

// ---------------------------------------------------------------------------
// Class table

constexpr std::array<std::string_view, kClassCount> kClassNames = {
    "Breadcrumb",      "FAQItem",      "OGPayload",      "Robots",
    "SEOAuthor",       "SEOConfig",    "SEOContract",    "SEOContractConfig",
    "SEOContractRule", "SEOEntity",    "SEOExpectation", "SEOImage",
    "SEOIssue",        "SEOOverrides", "SEOPayload",     "SchemaRegistry",
    "TwitterPayload",  "URLPolicy"};

using ClassTable = std::array<PyTypeObject*, kClassCount>;

// Published once, never freed: the classes live as long as the process and
// are shared by every module object.
std::atomic<ClassTable*> published_classes{nullptr};

constexpr std::size_t index_of(ClassId id) noexcept {
  return static_cast<std::size_t>(id);
}

void drop_classes(ClassTable& table) noexcept {
  for (PyTypeObject*& type : table) {
    Py_XDECREF(reinterpret_cast<PyObject*>(type));
    type = nullptr;
  }
}

// A PyType_Spec registered under the wrong id would silently shuffle the
// module's classes; refuse it at import instead.
bool check_spec_name(const ClassDef& def) {
  std::string expected = "builtins.";
  expected += kClassNames[index_of(def.id)];
  if (def.spec == nullptr || def.spec->name == nullptr ||
      expected != def.spec->name) {
    PyErr_Format(PyExc_SystemError,
                 "_zelko_native PyType_Spec registered as %s has a wrong name",
                 expected.c_str());
    return false;
  }
  return true;
}

bool create_classes(std::span<const ClassDef* const> defs, ClassTable& table) {
  for (const ClassDef* def : defs) {
    if (!check_spec_name(*def)) return false;
    std::size_t index = index_of(def->id);
    if (table[index] != nullptr) {
      PyErr_Format(PyExc_SystemError, "_zelko_native class %s registered twice",
                   def->spec->name);
      return false;
    }
    PyObject* type = PyType_FromSpec(def->spec);
    if (type == nullptr) return false;
    table[index] = reinterpret_cast<PyTypeObject*>(type);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Exception classes

using ExceptionSet = std::array<PyObject*, kExceptionCount>;

std::atomic<ExceptionSet*> published_exceptions{nullptr};
std::atomic<PyObject*> published_internal_fault{nullptr};

constexpr const char* kModuleName = "_zelko_native";

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
  if (!root) return false;
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
    case zelko::ErrorKind::Contract:
      return 5;
    case zelko::ErrorKind::Serialization:
      return 0;
  }
  return 0;
}

PyObject* raise_with_text(PyObject* exception_type, std::string_view text) {
  PyRef message = PyRef::steal(new_str(text));
  if (message) PyErr_SetObject(exception_type, message.get());
  return nullptr;
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

// ---------------------------------------------------------------------------
// Argument helpers

std::atomic<int>& borrow_flag(PyObject* self) noexcept {
  return reinterpret_cast<NativeHeader*>(self)->borrow;
}

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

bool bind_keywords(const Signature& signature, PyObject* kwargs,
                   std::span<PyObject*> out) {
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &position, &key, &value)) {
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
      PyErr_Format(PyExc_TypeError,
                   "%s() got multiple values for argument '%s'",
                   signature.function, signature.names[*index]);
      return false;
    }
    out[*index] = value;
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
// Class table

bool ensure_classes(std::span<const ClassDef* const> defs) {
  if (published_classes.load(std::memory_order_acquire) != nullptr) return true;
  auto table = std::make_unique<ClassTable>();
  table->fill(nullptr);
  if (!create_classes(defs, *table)) {
    drop_classes(*table);
    return false;
  }
  ClassTable* expected = nullptr;
  if (!published_classes.compare_exchange_strong(expected, table.get(),
                                                 std::memory_order_acq_rel)) {
    drop_classes(*table);  // another thread published first; use theirs
    return true;
  }
  table.release();  // lives as long as the process
  return true;
}

PyTypeObject* class_object(ClassId id) noexcept {
  ClassTable* table = published_classes.load(std::memory_order_acquire);
  return table == nullptr ? nullptr : (*table)[index_of(id)];
}

std::string_view class_name(ClassId id) noexcept {
  return kClassNames[index_of(id)];
}

bool is_instance(PyObject* object, ClassId id) noexcept {
  PyTypeObject* type = class_object(id);
  return type != nullptr && PyObject_TypeCheck(object, type);
}

// ---------------------------------------------------------------------------
// Borrow flags

SharedBorrow::SharedBorrow(PyObject* self) noexcept {
  std::atomic<int>& flag = borrow_flag(self);
  int current = flag.load(std::memory_order_acquire);
  do {
    if (current < 0) {
      PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
      return;
    }
  } while (!flag.compare_exchange_weak(current, current + 1,
                                       std::memory_order_acq_rel,
                                       std::memory_order_acquire));
  flag_ = &flag;
}

SharedBorrow::~SharedBorrow() {
  if (flag_ != nullptr) flag_->fetch_sub(1, std::memory_order_release);
}

ExclusiveBorrow::ExclusiveBorrow(PyObject* self) noexcept {
  std::atomic<int>& flag = borrow_flag(self);
  int expected = 0;
  if (!flag.compare_exchange_strong(expected, -1, std::memory_order_acq_rel)) {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    return;
  }
  flag_ = &flag;
}

ExclusiveBorrow::~ExclusiveBorrow() {
  if (flag_ != nullptr) flag_->store(0, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Engine errors and native faults

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
  return raise_with_text((*set)[exception_index(error.kind())],
                         error.message());
}

PyObject* raise_display_value_error(const zelko::Error& error) {
  return raise_with_text(PyExc_ValueError, error.display());
}

PyObject* raise_display_os_error(const zelko::Error& error) {
  return raise_with_text(PyExc_OSError, error.display());
}

PyObject* raise_internal_fault(std::string_view what) {
  PyObject* cls = internal_fault_class();
  if (cls == nullptr) {
    PyErr_Clear();
    cls = PyExc_SystemError;
  }
  return raise_with_text(cls, what);
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

// ---------------------------------------------------------------------------
// Argument kinds

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

bool arg_text(PyObject* value, const char* name, std::string& out) {
  if (value == nullptr) return true;
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be str, not %s", name,
                 type_name(value).c_str());
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return false;  // lone surrogate: the encoding error
  out.assign(data, static_cast<std::size_t>(size));
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
