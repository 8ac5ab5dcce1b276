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

#include "arguments.hpp"
#include "classes.hpp"
#include "errors.hpp"
#include "json_values.hpp"
#include "pyref.hpp"
#include "values.hpp"
