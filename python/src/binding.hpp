// Shared machinery of the _zelko_native extension: the process-wide class
// table, the object layout of every class, borrow flags, argument binding and
// conversion, engine error conversion and the JSON <-> Python conversions.
//
// Conventions used throughout the binding:
// - A function that can fail returns nullptr / false / -1 with a Python
//   exception set, like the C API itself.
// - Every entry point called by the interpreter runs its body inside
//   guarded(), so no C++ exception ever unwinds into the interpreter.
// - Argument conversions leave their output untouched when the argument was
//   omitted (a null pointer), so records can be pre-filled with defaults.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "pyref.hpp"
#include "zelko/error.hpp"
#include "zelko/json.hpp"

namespace zelko::py {

// ---------------------------------------------------------------------------
// Class table

// The module's 18 classes in ascending code-point order of their names, which
// is also the order in which they are added to the module and to __all__.
enum class ClassId : std::uint8_t {
  Breadcrumb,
  FAQItem,
  OGPayload,
  Robots,
  SEOAuthor,
  SEOConfig,
  SEOContract,
  SEOContractConfig,
  SEOContractRule,
  SEOEntity,
  SEOExpectation,
  SEOImage,
  SEOIssue,
  SEOOverrides,
  SEOPayload,
  SchemaRegistry,
  TwitterPayload,
  URLPolicy,
};
inline constexpr std::size_t kClassCount = 18;

// Flags shared by every class: final (no Py_TPFLAGS_BASETYPE), no instance
// dictionary (no __dict__ member is declared).
inline constexpr unsigned long kClassFlags = Py_TPFLAGS_DEFAULT;
// Classes holding arbitrary Python objects take part in garbage collection.
inline constexpr unsigned long kGcClassFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
// Classes that only the module itself creates: calling them is a TypeError.
inline constexpr unsigned long kNoConstructorFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;

// One class as its file declares it. spec->name must be "builtins.<Name>".
struct ClassDef {
  ClassId id;
  PyType_Spec* spec;
};

// Creates the classes of `defs` once per process (later calls reuse them,
// whichever module object asks). Safe when two threads race: the first
// complete table published wins, the loser's classes are dropped.
[[nodiscard]] bool ensure_classes(std::span<const ClassDef* const> defs);

// The class object of `id`, borrowed; it lives as long as the process.
// Null when the class has not been created (module not imported yet).
[[nodiscard]] PyTypeObject* class_object(ClassId id) noexcept;

// Short class name ("SEOImage") for messages.
[[nodiscard]] std::string_view class_name(ClassId id) noexcept;

// Whether `object` is an instance of the class `id`.
[[nodiscard]] bool is_instance(PyObject* object, ClassId id) noexcept;

// Slot and method-table casts. PyType_Slot stores void*; PyMethodDef stores
// PyCFunction, so functions taking keywords go through void(*)() to keep
// -Wcast-function-type quiet.
template <class Function>
[[nodiscard]] inline void* as_slot(Function* function) noexcept {
  return reinterpret_cast<void*>(function);
}
template <class Function>
[[nodiscard]] inline PyCFunction as_method(Function* function) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// ---------------------------------------------------------------------------
// Object layout

// The part common to every object of the module: the interpreter's header and
// the borrow flag (0 free, n > 0 shared borrows, -1 exclusively borrowed).
struct NativeHeader {
  PyObject ob_base;  // what PyObject_HEAD expands to
  std::atomic<int> borrow;
};

// An object owning one record. Records are constructed in place after the
// interpreter allocated the memory and destroyed before it is freed.
template <class Record>
struct NativeObject : NativeHeader {
  Record record;
};

template <class Record>
[[nodiscard]] inline NativeObject<Record>* as_native(PyObject* self) noexcept {
  return reinterpret_cast<NativeObject<Record>*>(self);
}

// The record of `self`, which must be an instance of a class whose layout is
// NativeObject<Record>. Callers hold a borrow of `self` while reading it.
template <class Record>
[[nodiscard]] inline Record& record_of(PyObject* self) noexcept {
  return as_native<Record>(self)->record;
}

// A new object of class `type` that owns `record`. Null with the error set
// (MemoryError) when the interpreter cannot allocate.
template <class Record>
[[nodiscard]] PyObject* make_object(PyTypeObject* type, Record&& record) {
  using Stored = std::remove_cvref_t<Record>;
  static_assert(std::is_nothrow_move_constructible_v<Stored>,
                "records are moved into freshly allocated objects");
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) return nullptr;
  auto* native = as_native<Stored>(self);
  new (&native->borrow) std::atomic<int>(0);
  new (&native->record) Stored(std::move(record));
  return self;
}

// As above, for a class of the table. Raises SystemError when the class does
// not exist yet.
template <class Record>
[[nodiscard]] PyObject* make_object(ClassId id, Record&& record) {
  PyTypeObject* type = class_object(id);
  if (type == nullptr) {
    PyErr_SetString(PyExc_SystemError, "_zelko_native class not initialised");
    return nullptr;
  }
  return make_object(type, std::forward<Record>(record));
}

// Py_tp_dealloc of NativeObject<Record>: untrack (GC classes), destroy the
// record, free the memory through the type's tp_free, then release the type,
// since every instance of a heap type owns a reference to it.
template <class Record>
void native_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  if (PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) PyObject_GC_UnTrack(self);
  auto* native = as_native<Record>(self);
  native->record.~Record();
  native->borrow.~atomic();
  auto free_memory =
      reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_memory(self);
  Py_DECREF(type);
}

// ---------------------------------------------------------------------------
// Borrow flags

// A shared borrow for the lifetime of the guard. Fails (operator bool false,
// RuntimeError "Already mutably borrowed" set) when the object is exclusively
// borrowed.
class SharedBorrow {
 public:
  explicit SharedBorrow(PyObject* self) noexcept;
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  ~SharedBorrow();
  explicit operator bool() const noexcept { return flag_ != nullptr; }

 private:
  std::atomic<int>* flag_ = nullptr;
};

// An exclusive borrow for the lifetime of the guard. Fails (RuntimeError
// "Already borrowed") when any other borrow is held.
class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(PyObject* self) noexcept;
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
  ~ExclusiveBorrow();
  explicit operator bool() const noexcept { return flag_ != nullptr; }

 private:
  std::atomic<int>* flag_ = nullptr;
};

// ---------------------------------------------------------------------------
// Engine errors and native faults

// The six exception classes, in the order of __all__.
inline constexpr std::size_t kExceptionCount = 6;
inline constexpr std::array<const char*, kExceptionCount> kExceptionNames = {
    "ZelkoError",  "InvalidUrlError", "ConfigurationError",
    "EntityError", "SchemaError",     "ContractError"};

// The exception-class set, created once per process on first use. Null with
// the creation error set when it cannot be created.
[[nodiscard]] const std::array<PyObject*, kExceptionCount>* exception_classes();

// Raises the class mapped from the error's kind with the bare message as its
// only argument. Falls back to Exception(display text) if the classes cannot
// be created. Always returns nullptr.
PyObject* raise_engine_error(const zelko::Error& error);
// ValueError / OSError carrying the full display text (prefix and message).
PyObject* raise_display_value_error(const zelko::Error& error);
PyObject* raise_display_os_error(const zelko::Error& error);

// Raises the internal-fault exception (derived directly from BaseException,
// so `except Exception` does not swallow it) with `what` as its message.
PyObject* raise_internal_fault(std::string_view what);

// The error value an entry point returns: nullptr for objects, -1 for ints.
template <class T>
[[nodiscard]] constexpr T failure_value() noexcept {
  if constexpr (std::is_pointer_v<T>) {
    return nullptr;
  } else {
    return T(-1);
  }
}

// Runs the body of an entry point and turns escaping C++ exceptions into
// Python errors: std::bad_alloc becomes MemoryError, anything else the
// internal fault. The body returns PyObject* (or another pointer) or int.
template <class Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
  using Result = decltype(body());
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& fault) {
    raise_internal_fault(fault.what());
  } catch (...) {
    raise_internal_fault("unknown native exception");
  }
  return failure_value<Result>();
}

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

// ---------------------------------------------------------------------------
// Argument kinds. `value` is a borrowed reference or nullptr (omitted: `out`
// is left as it is). Every TypeError message names the parameter.

// "int", "NoneType", ... (the type's __name__).
[[nodiscard]] std::string type_name(PyObject* object);

// getattr(object, name), with `name` interned. The interpreter's attribute
// cache keeps a reference to every name string it is asked about, so a fresh
// string per lookup (as PyObject_GetAttrString makes) would fill the cache
// with copies of the same name.
[[nodiscard]] PyRef get_attribute(PyObject* object, const char* name);

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

// ---------------------------------------------------------------------------
// JSON values and Python objects

// Containers deeper than this do not convert to Python.
inline constexpr std::size_t kPythonNestingLimit = 128;

// The value conversion: a new Python object for `value` at `depth`, or
// ValueError "JSON structure too deeply nested (max 128 levels)". Unsigned
// integers of 2^63 and above become float.
[[nodiscard]] PyObject* json_to_python(const zelko::JsonValue& value,
                                       std::size_t depth = 0);
// The object conversion: a new dict of the object's members (in their sorted
// key order, values at depth 0); an empty dict for any other kind of value.
[[nodiscard]] PyObject* json_object_to_dict(const zelko::JsonValue& value);

// json.dumps(object) read back by the engine's JSON reader. nullopt with the
// json.dumps exception set when it fails; a reader failure comes back as the
// Error (the caller decides how to raise it).
[[nodiscard]] std::optional<zelko::Result<zelko::JsonValue>> dump_and_read(
    PyObject* object);
// The text route: as dump_and_read, a reader failure raised as ValueError
// with the reader's message.
[[nodiscard]] bool python_to_json(PyObject* object, zelko::JsonValue& out);
// Compact JSON text written by the binding (the to_dict methods that go
// through a record's JSON form) read back and converted to a dict. A reader
// failure raises ValueError with the display text.
[[nodiscard]] PyObject* json_text_to_dict(std::string_view text);

}  // namespace zelko::py
