// What zelko check reads from a page's HTML, parsed and read by the engine.
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _page_html(data, links) -> (title, description, canonical, robots contents,
// Open Graph dict, Twitter dict, hreflang pairs, extra counts dict, JSON-LD
// script texts, link targets); `data` is bytes or str, texts are decoded
// from UTF-8 with U+FFFD for what is not.
PyObject* py_page_html(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace zelko::py
