// The process-wide class table and the borrow flags of native objects.
#include "classes.hpp"

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

std::atomic<int>& borrow_flag(PyObject* self) noexcept {
  return reinterpret_cast<NativeHeader*>(self)->borrow;
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

}  // namespace zelko::py
