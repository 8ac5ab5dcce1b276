// What zelko check reads from a page's serialized head, read by the engine.
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _head_facts(html, /) -> (title, description, canonical, robots contents,
// Open Graph dict, Twitter dict, hreflang pairs, extra counts dict), or None
// when the engine does not read this serialization.
PyObject* py_head_facts(PyObject* module, PyObject* html);
// _head_extra_keys() -> ((key, kind, name), ...), kind one of "link",
// "feed", "meta", "prefix".
PyObject* py_head_extra_keys(PyObject* module, PyObject* unused);

}  // namespace zelko::py
