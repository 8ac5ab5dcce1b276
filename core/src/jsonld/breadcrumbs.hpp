// The BreadcrumbList JSON-LD node.
#pragma once

#include <vector>

#include "zelko/error.hpp"
#include "zelko/json.hpp"
#include "zelko/records.hpp"

namespace zelko {

// One ListItem per breadcrumb, in order, with "position" 1, 2, ... as JSON
// unsigned integers and "item" the breadcrumb URL resolved by
// normalize_public_url. The first breadcrumb whose URL cannot be resolved
// ends the build with that error, unchanged. An empty trail still yields a
// node with an empty "itemListElement".
[[nodiscard]] Result<JsonValue> build_breadcrumb_list(
    const std::vector<Breadcrumb>& breadcrumbs, const SEOConfig& config);

}  // namespace zelko
