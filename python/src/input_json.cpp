// Compact JSON text of the entity and configuration records, the source of
// their to_dict dictionaries. Members are written in declared field order;
// the order does not survive, since the text is read back into key-sorted
// JSON objects. Absent optional fields are left out with their keys.
#include <string>

#include "inputs.hpp"

namespace zelko::py {
namespace {

void write_flag(zelko::JsonWriter& writer, std::string_view key, bool flag) {
  writer.key(key);
  writer.boolean(flag);
}

void write_image(zelko::JsonWriter& writer, const zelko::SEOImage& image) {
  writer.begin_object();
  writer.member("url", image.url);
  writer.optional_member("width", image.width);
  writer.optional_member("height", image.height);
  writer.optional_member("alt", image.alt);
  writer.end_object();
}

void write_robots(zelko::JsonWriter& writer, std::string_view key,
                  const zelko::Robots& robots) {
  writer.key(key);
  writer.begin_object();
  write_flag(writer, "index", robots.index);
  write_flag(writer, "follow", robots.follow);
  writer.optional_member("max_snippet", robots.max_snippet);
  writer.optional_member("max_image_preview", robots.max_image_preview);
  writer.optional_member("max_video_preview", robots.max_video_preview);
  writer.end_object();
}

void write_policy(zelko::JsonWriter& writer, const zelko::URLPolicy& policy) {
  writer.key("url_policy");
  writer.begin_object();
  write_flag(writer, "enforce_https", policy.enforce_https);
  write_flag(writer, "lowercase_paths", policy.lowercase_paths);
  writer.member("trailing_slash",
                zelko::enumerator_name(policy.trailing_slash));
  write_flag(writer, "collapse_duplicate_slashes",
             policy.collapse_duplicate_slashes);
  write_flag(writer, "strip_tracking_params", policy.strip_tracking_params);
  writer.member("allowed_query_params", policy.allowed_query_params);
  writer.member("extra_tracking_params", policy.extra_tracking_params);
  writer.end_object();
}

void write_breadcrumbs(zelko::JsonWriter& writer,
                       const std::vector<zelko::Breadcrumb>& trail) {
  writer.key("breadcrumbs");
  writer.begin_array();
  for (const zelko::Breadcrumb& crumb : trail) {
    writer.begin_object();
    writer.member("name", crumb.name);
    writer.member("url", crumb.url);
    writer.end_object();
  }
  writer.end_array();
}

void write_faq_items(zelko::JsonWriter& writer,
                     const std::vector<zelko::FAQItem>& items) {
  writer.key("faq_items");
  writer.begin_array();
  for (const zelko::FAQItem& item : items) {
    writer.begin_object();
    writer.member("question", item.question);
    writer.member("answer", item.answer);
    writer.end_object();
  }
  writer.end_array();
}

void write_schema_type_map(zelko::JsonWriter& writer,
                           const zelko::SchemaTypeMap& map) {
  writer.key("schema_type_map");
  writer.begin_object();
  for (const auto& [entity_type, schema_type] : map) {
    writer.member(entity_type, schema_type);
  }
  writer.end_object();
}

}  // namespace

std::string entity_json_text(const zelko::SEOEntity& entity) {
  std::string text;
  zelko::JsonWriter writer(text, /*pretty=*/false);
  writer.begin_object();
  writer.member("entity_type", zelko::enumerator_name(entity.entity_type));
  writer.optional_member("slug", entity.slug);
  writer.optional_member("title", entity.title);
  writer.optional_member("excerpt", entity.excerpt);
  writer.optional_member("body_html", entity.body_html);
  writer.optional_member("status", entity.status);
  if (entity.featured_image) {
    writer.key("featured_image");
    write_image(writer, *entity.featured_image);
  }
  writer.optional_member("published_at", entity.published_at);
  writer.optional_member("updated_at", entity.updated_at);
  writer.optional_member("author_name", entity.author_name);
  if (entity.breadcrumbs) write_breadcrumbs(writer, *entity.breadcrumbs);
  writer.optional_member("sku", entity.sku);
  writer.optional_member("price", entity.price);
  writer.optional_member("price_currency", entity.price_currency);
  writer.optional_member("availability", entity.availability);
  writer.optional_member("same_as", entity.same_as);
  writer.optional_member("address", entity.address);
  if (entity.faq_items) write_faq_items(writer, *entity.faq_items);
  writer.end_object();
  return text;
}

std::string config_json_text(const zelko::SEOConfig& config) {
  std::string text;
  zelko::JsonWriter writer(text, /*pretty=*/false);
  writer.begin_object();
  writer.member("canonical_host", config.canonical_host);
  writer.member("public_base_url", config.public_base_url);
  write_policy(writer, config.url_policy);
  write_robots(writer, "default_robots", config.default_robots);
  if (config.default_og_image) {
    writer.key("default_og_image");
    write_image(writer, *config.default_og_image);
  }
  writer.optional_member("site_name", config.site_name);
  // The one optional written even when absent, as null.
  writer.key("title_template");
  if (config.title_template) {
    writer.string(*config.title_template);
  } else {
    writer.null();
  }
  write_robots(writer, "search_robots", config.search_robots);
  write_schema_type_map(writer, config.schema_type_map);
  write_flag(writer, "auto_generate_schema", config.auto_generate_schema);
  writer.optional_member("publisher_name", config.publisher_name);
  writer.optional_member("publisher_logo", config.publisher_logo);
  writer.optional_member("locale", config.locale);
  writer.optional_member("locale_alternate", config.locale_alternate);
  writer.optional_member("twitter_site", config.twitter_site);
  write_flag(writer, "emit_warnings", config.emit_warnings);
  writer.optional_member("search_url_template", config.search_url_template);
  writer.end_object();
  return text;
}

}  // namespace zelko::py
