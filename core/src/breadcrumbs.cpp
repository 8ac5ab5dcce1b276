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
    // Members are set one by one: a braced JsonValue would first build every
    // pair as a temporary array and then copy it, several times the work.
    JsonValue item = JsonValue::object();
    item["@type"] = "ListItem";
    item["position"] = position;
    item["name"] = crumb.name;
    item["item"] = std::move(url).value();
    items.push_back(std::move(item));
  }
  JsonValue list = JsonValue::object();
  list["@context"] = kSchemaOrgUrl;
  list["@type"] = "BreadcrumbList";
  list["itemListElement"] = std::move(items);
  return list;
}

}  // namespace zelko
