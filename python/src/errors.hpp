// Engine errors raised as Python exceptions, internal faults, and guarded(),
// which keeps C++ exceptions from unwinding into the interpreter.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <new>
#include <string_view>
#include <type_traits>

#include "pyref.hpp"
#include "zelko/error.hpp"

namespace zelko::py {

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

// Raises `exception_type` with `text` (UTF-8) as its only argument. Always
// returns nullptr.
PyObject* raise_with_text(PyObject* exception_type, std::string_view text);

// The same, and with a non-empty `field` also sets the instance's `field`
// attribute to it: the name of the input field at fault, which callers read
// instead of the message. The engine exception classes have `field = None`
// as a class attribute, so an error about no one field reads None.
PyObject* raise_with_field(PyObject* exception_type, std::string_view text,
                           std::string_view field);

// Raises the class mapped from the error's kind with the bare message as its
// only argument and the error's field (if any) as `field`. Falls back to
// Exception(display text) if the classes cannot be created. Always returns
// nullptr.
PyObject* raise_engine_error(const zelko::Error& error);
// The same, naming `field` (a key of the caller's) as the field at fault.
PyObject* raise_engine_error_at(const zelko::Error& error,
                                std::string_view field);
// The one way for entry points with no fixed exception class of their own
// (the sitemap writer, hreflang, robots URLs): a failure of the system or of
// writing (Serialization) is an OSError (with errno when the system gave one),
// every other kind its mapped class; the bare message, and the field at fault.
PyObject* raise_error(const zelko::Error& error);
// ValueError / OSError carrying the full display text (prefix and message),
// and the error's field as above; the OSError also its `errno` when the
// engine reports a system failure.
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

}  // namespace zelko::py
