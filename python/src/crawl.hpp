// The crawl surface's private module members (see crawl.cpp).
#pragma once

#include "binding.hpp"

namespace zelko::py {

// Adds _hreflang_links, _render_hreflang and _SitemapWriter to the module,
// outside __all__.
[[nodiscard]] bool add_crawl_members(PyObject* module);

}  // namespace zelko::py
