// The typed Schema.org builders behind generate_schema, and the helpers
// they share. Internal to the engine.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "zelko/jsonld.hpp"

namespace zelko {

inline constexpr std::string_view kSchemaOrgUrl = "https://schema.org";

namespace detail {

// Adds a member to a JSON object under construction. Given in ascending key
// order, each member is placed at the end of the object's tree without a
// search; any other order still gives the same object, only slower. A key
// already present keeps its value.
inline void add_member(JsonValue::object_t& members, std::string_view key,
                       JsonValue value) {
  members.emplace_hint(members.end(), key, std::move(value));
}

}  // namespace detail

// "@context", "@type", "name", "url", then "description", "image",
// "datePublished", "dateModified", "author" and "publisher" when their
// sources are present.
[[nodiscard]] JsonValue build_base_schema(std::string_view type_name,
                                          const SchemaContext& ctx);

// "http://" and "https://" values are kept; any other value is joined to
// public_base_url (trailing slashes removed) with exactly one "/" between.
[[nodiscard]] std::string absolute_asset_url(std::string_view value,
                                             const SEOConfig& config);

[[nodiscard]] JsonValue build_article_schema(std::string_view type_name,
                                             const SchemaContext& ctx);
[[nodiscard]] JsonValue build_faq_page_schema(const SchemaContext& ctx);
[[nodiscard]] JsonValue build_product_schema(const SchemaContext& ctx);
[[nodiscard]] JsonValue build_video_object_schema(const SchemaContext& ctx);
[[nodiscard]] JsonValue build_web_page_schema(std::string_view type_name,
                                              const SchemaContext& ctx);
[[nodiscard]] JsonValue build_organization_schema(const SchemaContext& ctx);
[[nodiscard]] JsonValue build_local_business_schema(const SchemaContext& ctx);

}  // namespace zelko
