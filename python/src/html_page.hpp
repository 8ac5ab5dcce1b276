// What zelko check reads from a page's HTML, parsed and read by the engine.
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _page_html(data, links, summary=False, reader=None) -> (title,
// description, canonical, robots contents, Open Graph dict, Twitter dict,
// hreflang pairs, extra counts dict, JSON-LD script texts, link targets
// (each once, in the order first found), why the page was not read, JSON-LD
// summary); `data` is bytes or str, texts are decoded from UTF-8 with U+FFFD
// for what is not. The summary is (scripts, nodes, types) when asked for and
// the scripts need no full reading, else None. `reader` (from _page_reader)
// keeps its parser from page to page.
PyObject* py_page_html(PyObject* module, PyObject* args, PyObject* kwargs);

// _page_reader() -> a capsule to pass to _page_html as `reader`: its parser
// and memory are kept from page to page.
PyObject* py_page_reader(PyObject* module, PyObject* unused);

}  // namespace zelko::py
