// The head extras a contract can ask for, from the engine's table.
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _head_extra_keys() -> ((key, kind, name), ...), kind one of "link",
// "feed", "meta", "prefix".
PyObject* py_head_extra_keys(PyObject* module, PyObject* unused);

}  // namespace zelko::py
