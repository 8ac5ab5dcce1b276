// What zelko check reads from a page's HTML, parsed and read by the engine.
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _page_html(data, links, summary=False) -> (title, description, canonical,
// robots contents, Open Graph dict, Twitter dict, hreflang pairs, extra
// counts dict, JSON-LD script texts, link targets, why the page was not
// read, JSON-LD summary); `data` is bytes or str, texts are decoded from
// UTF-8 with U+FFFD for what is not. The summary is (scripts, nodes, types)
// when asked for and the scripts need no full reading, else None.
PyObject* py_page_html(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace zelko::py
