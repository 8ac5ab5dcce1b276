// Schema.org JSON-LD generation: type choice, the common base node and the
// typed builders.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "zelko/error.hpp"
#include "zelko/json.hpp"
#include "zelko/records.hpp"

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

struct SchemaContext;

// A native builder for a Schema.org type name; it may yield no node, and its
// error ends the payload build unchanged.
using SchemaBuilder =
    std::function<Result<std::optional<JsonValue>>(const SchemaContext&)>;
// Schema.org type name -> builder, consulted only for names without a
// built-in builder.
using SchemaRegistry = std::map<std::string, SchemaBuilder, std::less<>>;

// The input of every builder. Everything referenced is owned by the caller
// for the duration of the call.
struct SchemaContext {
  const SEOEntity& entity;
  const SEOConfig& config;
  std::string_view url;   // the canonical URL
  std::string_view name;  // the final title
  std::optional<std::string_view> description;
  std::optional<std::string_view> image;  // the Open Graph image URL
  const SchemaRegistry* registry = nullptr;
};

// Looks the entity type up in config.schema_type_map and dispatches on the
// Schema.org type name found (exact, case-sensitive). No map entry yields no
// node. Only a registry builder can fail.
[[nodiscard]] Result<std::optional<JsonValue>> generate_schema(
    const SchemaContext& ctx);

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
