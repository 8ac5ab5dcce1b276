// The engine's input records: entity, configuration, overrides and the small
// value records they carry. Plain owned data; "absent" (nullopt) is distinct
// from a present empty string or list everywhere.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelko/error.hpp"
#include "zelko/json.hpp"
#include "zelko/robots.hpp"

namespace zelko {

enum class EntityType : std::uint8_t {
  Home = 0,
  Post = 1,
  Page = 2,
  Video = 3,
  Taxonomy = 4,
  Search = 5,
  Other = 6,
  Product = 7,
  Organization = 8,
  LocalBusiness = 9,
  Faq = 10,
};

// "home", "post", ..., "local_business", "faq".
[[nodiscard]] std::string_view to_text(EntityType type) noexcept;
// "Home", "Post", ..., "LocalBusiness", "Faq".
[[nodiscard]] std::string_view enumerator_name(EntityType type) noexcept;
// Exact, case-sensitive match against the text forms; Entity error otherwise.
[[nodiscard]] Result<EntityType> parse_entity_type(std::string_view text);

struct SEOImage {
  std::string url;
  std::optional<std::uint32_t> width;
  std::optional<std::uint32_t> height;
  std::optional<std::string> alt;

  friend bool operator==(const SEOImage&, const SEOImage&) = default;
};

struct SEOAuthor {
  std::string name;
  std::optional<std::string> url;

  friend bool operator==(const SEOAuthor&, const SEOAuthor&) = default;
};

struct Breadcrumb {
  std::string name;
  std::string url;

  friend bool operator==(const Breadcrumb&, const Breadcrumb&) = default;
};

struct FAQItem {
  std::string question;
  std::string answer;

  friend bool operator==(const FAQItem&, const FAQItem&) = default;
};

struct SEOEntity {
  EntityType entity_type = EntityType::Page;
  std::optional<std::string> slug;
  std::optional<std::string> title;
  std::optional<std::string> excerpt;
  std::optional<std::string> body_html;
  std::optional<std::string> status;
  std::optional<SEOImage> featured_image;
  std::optional<std::string> published_at;
  std::optional<std::string> updated_at;
  std::optional<std::string> author_name;
  std::optional<std::vector<Breadcrumb>> breadcrumbs;
  std::optional<std::string> sku;
  std::optional<std::string> price;
  std::optional<std::string> price_currency;
  std::optional<std::string> availability;
  std::optional<std::vector<std::string>> same_as;
  std::optional<std::string> address;
  std::optional<std::vector<FAQItem>> faq_items;

  friend bool operator==(const SEOEntity&, const SEOEntity&) = default;
};

enum class TrailingSlash : std::uint8_t { Always = 0, Never = 1, Preserve = 2 };

// "always", "never", "preserve".
[[nodiscard]] std::string_view to_text(TrailingSlash rule) noexcept;
// "Always", "Never", "Preserve".
[[nodiscard]] std::string_view enumerator_name(TrailingSlash rule) noexcept;
// Exact, case-sensitive; a UrlPolicy error "invalid trailing_slash: " + text
// naming ErrorField::TrailingSlash otherwise (the binding raises it as a plain
// ValueError with the bare message).
[[nodiscard]] Result<TrailingSlash> parse_trailing_slash(std::string_view text);

struct URLPolicy {
  bool enforce_https = true;
  bool lowercase_paths = false;
  TrailingSlash trailing_slash = TrailingSlash::Never;
  bool collapse_duplicate_slashes = true;
  bool strip_tracking_params = true;
  std::vector<std::string> allowed_query_params;
  std::vector<std::string> extra_tracking_params;

  friend bool operator==(const URLPolicy&, const URLPolicy&) = default;
};

// Entity type text -> Schema.org type name, sorted by key bytes.
using SchemaTypeMap = std::map<std::string, std::string, std::less<>>;

// The ten default entries (no entry for "other").
[[nodiscard]] SchemaTypeMap default_schema_type_map();
// A caller's pairs replace the default map whole; the last duplicate wins.
[[nodiscard]] SchemaTypeMap schema_type_map_from_pairs(
    const std::vector<std::pair<std::string, std::string>>& pairs);

struct SEOConfig {
  std::string canonical_host;
  std::string public_base_url;
  URLPolicy url_policy;
  Robots default_robots = zelko::default_robots();
  std::optional<SEOImage> default_og_image;
  std::optional<std::string> site_name;
  std::optional<std::string> title_template;
  Robots search_robots = zelko::default_search_robots();
  SchemaTypeMap schema_type_map = default_schema_type_map();
  bool auto_generate_schema = true;
  std::optional<std::string> publisher_name;
  std::optional<std::string> publisher_logo;
  std::optional<std::string> locale;
  std::optional<std::vector<std::string>> locale_alternate;
  std::optional<std::string> twitter_site;
  bool emit_warnings = false;
  std::optional<std::string> search_url_template;

  friend bool operator==(const SEOConfig&, const SEOConfig&) = default;
};

// The four checks, in order; the first failure is a Configuration error.
[[nodiscard]] Status validate_config(const SEOConfig& config);

struct SEOOverrides {
  std::optional<std::string> meta_title;
  std::optional<std::string> meta_description;
  std::optional<std::string> canonical_url;
  std::optional<std::string> canonical_path;
  std::optional<Robots> robots;
  std::optional<std::string> og_title;
  std::optional<std::string> og_description;
  std::optional<SEOImage> og_image;
  std::optional<std::string> twitter_card;
  std::optional<std::string> twitter_title;
  std::optional<std::string> twitter_description;
  std::optional<SEOImage> twitter_image;
  std::optional<JsonValue> schema_jsonld;
  bool omit_schema = false;
  bool skip_title_template = false;
  std::optional<std::string> twitter_creator;
  std::optional<std::string> og_audio;
  std::optional<std::string> og_video;

  friend bool operator==(const SEOOverrides&, const SEOOverrides&) = default;
};

}  // namespace zelko
