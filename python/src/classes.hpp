// The process-wide class table, the object layout every class shares, and
// the borrow flags that guard records.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "pyref.hpp"

namespace zelko::py {

// ---------------------------------------------------------------------------
// Class table

// The module's classes: first the 18 of __all__, in ascending code-point
// order of their names (the order in which they are added to the module and
// to __all__), then those of the whole head, which are module attributes
// outside __all__, in the same order among themselves.
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
  AppLinks,
  ArticleMeta,
  Feed,
  Icon,
  Organization,
  PageHead,
  Person,
  RobotsExtra,
  SEOHead,
  SiteHead,
  Verification,
  Video,
  CardSettings,
};
inline constexpr std::size_t kClassCount = 31;
// The classes listed in __all__ (the first ids).
inline constexpr std::size_t kPublicClassCount = 18;

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

// The borrow state of one object: the number of shared borrows (n > 0), -1
// while exclusively borrowed, 0 when free, tagged with the fork generation in
// which it was taken. A child process has only the thread that called fork(),
// so borrows inherited from the parent's other threads can never be released;
// a state from an earlier generation therefore counts as free.
using BorrowState = std::uint64_t;

// The fork generation of this process: 0 at start, plus one in the child after
// each fork().
[[nodiscard]] std::uint32_t fork_generation() noexcept;

// Counts forks from the first call on (the module's execution step makes it).
void track_forks() noexcept;

// The part common to every object of the module: the interpreter's header and
// the borrow state.
struct NativeHeader {
  PyObject ob_base;  // what PyObject_HEAD expands to
  std::atomic<BorrowState> borrow;
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
  new (&native->borrow) std::atomic<BorrowState>(0);
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
  std::atomic<BorrowState>* flag_ = nullptr;
  std::uint32_t generation_ = 0;
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
  std::atomic<BorrowState>* flag_ = nullptr;
  std::uint32_t generation_ = 0;
};

// ---------------------------------------------------------------------------
// Releasing references from a dealloc

// Drops `reference`. Called from a dealloc, it never recurses into another of
// our deallocs: the outermost call releases, nested calls queue, and the queue
// is drained in a loop. A chain of 200,000 configurations, each holding the
// next as its hooks, is freed in constant stack. (The interpreter's trashcan,
// which does this for its own containers, is not part of the 3.10 limited
// API.)
void release_without_recursion(PyRef reference) noexcept;

}  // namespace zelko::py
