#include "jsonld/breadcrumbs.hpp"

#include <cstdint>
#include <string>

#include "jsonld/builders.hpp"
#include "zelko/url.hpp"

namespace zelko {

Result<JsonValue> build_breadcrumb_list(
    const std::vector<Breadcrumb>& breadcrumbs, const SEOConfig& config) {
  JsonValue items = JsonValue::array();
  items.get_ref<JsonValue::array_t&>().reserve(breadcrumbs.size());
  std::uint64_t position = 0;
  for (const Breadcrumb& crumb : breadcrumbs) {
    Result<std::string> url = normalize_public_url(crumb.url, config);
    // The first unresolvable URL ends the list; later ones are not looked at.
    if (!url) return std::move(url).error();
    ++position;
    // Members are added in ascending key order (see detail::add_member);
    // a braced JsonValue would first build every pair as a temporary array
    // and then copy it, several times the work.
    JsonValue item = JsonValue::object();
    auto& members = item.get_ref<JsonValue::object_t&>();
    detail::add_member(members, "@type", "ListItem");
    detail::add_member(members, "item", std::move(url).value());
    detail::add_member(members, "name", crumb.name);
    detail::add_member(members, "position", position);
    items.push_back(std::move(item));
  }
  JsonValue list = JsonValue::object();
  auto& members = list.get_ref<JsonValue::object_t&>();
  detail::add_member(members, "@context", kSchemaOrgUrl);
  detail::add_member(members, "@type", "BreadcrumbList");
  detail::add_member(members, "itemListElement", std::move(items));
  return list;
}

}  // namespace zelko
