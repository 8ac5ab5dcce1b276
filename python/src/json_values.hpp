// JSON values to Python objects and back.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "pyref.hpp"
#include "zelko/error.hpp"
#include "zelko/json.hpp"

namespace zelko::py {

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
