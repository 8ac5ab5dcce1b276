// Owning references to Python objects.
//
// The extension is built against CPython's limited API (abi3, 3.10 and
// later); every file of the binding includes Python.h through this header so
// the API level is fixed in one place.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030A0000
#endif
#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN
#endif
#include <Python.h>

#include <utility>

namespace zelko::py {

// Move-only owner of one strong reference (or of nothing). The destructor
// releases the reference, so early returns on error paths cannot leak.
//
//   PyRef text = PyRef::steal(PyUnicode_FromString("x"));  // adopts a new ref
//   if (!text) return nullptr;                              // error is set
//   PyRef same = PyRef::borrow(borrowed_pointer);           // takes a new ref
class PyRef {
 public:
  PyRef() noexcept = default;
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(other.release()) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~PyRef() { reset(); }

  // Adopts a reference the caller owns (the result of a "new reference"
  // API). A null pointer gives an empty PyRef; the pending error stays set.
  [[nodiscard]] static PyRef steal(PyObject* object) noexcept {
    return PyRef(object);
  }
  // Takes a new strong reference to an object the caller only borrows.
  [[nodiscard]] static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }
  // Same as borrow(); named after Py_NewRef for readers who expect it.
  [[nodiscard]] static PyRef new_ref(PyObject* object) noexcept {
    return borrow(object);
  }

  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // Hands the reference to the caller (for returning to the interpreter or
  // to an API that steals it) and leaves this PyRef empty.
  [[nodiscard]] PyObject* release() noexcept {
    PyObject* object = object_;
    object_ = nullptr;
    return object;
  }

  // Drops the held reference (if any) and adopts `object`. The old object
  // is released only after this PyRef points at the new one, so a finalizer
  // that runs during the release never sees a dangling pointer here.
  void reset(PyObject* object = nullptr) noexcept {
    PyObject* old = object_;
    object_ = object;
    Py_XDECREF(old);
  }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace zelko::py
