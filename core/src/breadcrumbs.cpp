#include "zelko/breadcrumbs.hpp"

#include <cstdint>
#include <string>

#include "zelko/jsonld.hpp"
#include "zelko/url.hpp"

namespace zelko {

Result<JsonValue> build_breadcrumb_list(
    const std::vector<Breadcrumb>& breadcrumbs, const SEOConfig& config) {
  JsonValue items = JsonValue::array();
  std::uint64_t position = 0;
  for (const Breadcrumb& crumb : breadcrumbs) {
    Result<std::string> url = normalize_public_url(crumb.url, config);
    // The first unresolvable URL ends the list; later ones are not looked at.
    if (!url) return std::move(url).error();
    ++position;
    items.push_back({{"@type", "ListItem"},
                     {"position", position},
                     {"name", crumb.name},
                     {"item", std::move(url).value()}});
  }
  return JsonValue{{"@context", kSchemaOrgUrl},
                   {"@type", "BreadcrumbList"},
                   {"itemListElement", std::move(items)}};
}

}  // namespace zelko
