// The process-wide class table and the borrow flags of native objects.
#include "classes.hpp"

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zelko::py {

namespace {

// ---------------------------------------------------------------------------
// Class table

constexpr std::array<std::string_view, kClassCount> kClassNames = {
    "Breadcrumb",     "FAQItem",           "OGPayload",
    "Robots",         "SEOAuthor",         "SEOConfig",
    "SEOContract",    "SEOContractConfig", "SEOContractRule",
    "SEOEntity",      "SEOExpectation",    "SEOImage",
    "SEOIssue",       "SEOOverrides",      "SEOPayload",
    "SchemaRegistry", "TwitterPayload",    "URLPolicy",
    "AppLinks",       "ArticleMeta",       "Feed",
    "Icon",           "Organization",      "PageHead",
    "Person",         "RobotsExtra",       "SEOHead",
    "SiteHead",       "Verification",      "Video",
    "CardSettings"};

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

std::atomic<BorrowState>& borrow_flag(PyObject* self) noexcept {
  return reinterpret_cast<NativeHeader*>(self)->borrow;
}

// Forks counted since track_forks() was first called.
std::atomic<std::uint32_t> forks_seen{0};

// A borrow state packs the fork generation (high half) and the count (low
// half, as a signed number).
constexpr BorrowState borrow_state(std::uint32_t generation,
                                   std::int32_t count) noexcept {
  return (BorrowState{generation} << 32) | static_cast<std::uint32_t>(count);
}
constexpr std::uint32_t generation_of(BorrowState state) noexcept {
  return static_cast<std::uint32_t>(state >> 32);
}
constexpr std::int32_t count_of(BorrowState state) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(state));
}
// The count as seen in `generation`: borrows of an earlier one are void.
constexpr std::int32_t live_count(BorrowState state,
                                  std::uint32_t generation) noexcept {
  return generation_of(state) == generation ? count_of(state) : 0;
}

// References queued by release_without_recursion() while it drains.
struct PendingReleases {
  bool draining = false;
  std::vector<PyObject*> objects;
};
thread_local PendingReleases pending_releases;

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
  std::atomic<BorrowState>& flag = borrow_flag(self);
  const std::uint32_t generation = fork_generation();
  BorrowState current = flag.load(std::memory_order_acquire);
  BorrowState desired = 0;
  do {
    const std::int32_t count = live_count(current, generation);
    if (count < 0) {
      PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
      return;
    }
    desired = borrow_state(generation, count + 1);
  } while (!flag.compare_exchange_weak(
      current, desired, std::memory_order_acq_rel, std::memory_order_acquire));
  flag_ = &flag;
  generation_ = generation;
}

SharedBorrow::~SharedBorrow() {
  if (flag_ == nullptr) return;
  BorrowState current = flag_->load(std::memory_order_acquire);
  do {
    // Taken before a fork: the child has already started afresh.
    if (generation_of(current) != generation_) return;
  } while (!flag_->compare_exchange_weak(
      current, borrow_state(generation_, count_of(current) - 1),
      std::memory_order_acq_rel, std::memory_order_acquire));
}

ExclusiveBorrow::ExclusiveBorrow(PyObject* self) noexcept {
  std::atomic<BorrowState>& flag = borrow_flag(self);
  const std::uint32_t generation = fork_generation();
  BorrowState current = flag.load(std::memory_order_acquire);
  do {
    if (live_count(current, generation) != 0) {
      PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
      return;
    }
  } while (!flag.compare_exchange_weak(current, borrow_state(generation, -1),
                                       std::memory_order_acq_rel,
                                       std::memory_order_acquire));
  flag_ = &flag;
  generation_ = generation;
}

ExclusiveBorrow::~ExclusiveBorrow() {
  if (flag_ == nullptr) return;
  BorrowState expected = borrow_state(generation_, -1);
  flag_->compare_exchange_strong(expected, borrow_state(generation_, 0),
                                 std::memory_order_acq_rel);
}

std::uint32_t fork_generation() noexcept {
  return forks_seen.load(std::memory_order_acquire);
}

void track_forks() noexcept {
  static std::once_flag registered;
  std::call_once(registered, [] {
    // Runs in the child only, which has one thread: nothing else reads the
    // counter while it changes.
    ::pthread_atfork(nullptr, nullptr, [] {
      forks_seen.fetch_add(1, std::memory_order_acq_rel);
    });
  });
}

// ---------------------------------------------------------------------------
// Releasing references from a dealloc

void release_without_recursion(PyRef reference) noexcept {
  PyObject* object = reference.release();
  if (object == nullptr) return;
  PendingReleases& pending = pending_releases;
  if (pending.draining) {
    try {
      pending.objects.push_back(object);
      return;
    } catch (...) {
      // Out of memory: release it here, at the cost of one stack frame.
      Py_DECREF(object);
      return;
    }
  }
  pending.draining = true;
  Py_DECREF(object);
  while (!pending.objects.empty()) {
    PyObject* next = pending.objects.back();
    pending.objects.pop_back();
    Py_DECREF(next);
  }
  pending.draining = false;
}

}  // namespace zelko::py
