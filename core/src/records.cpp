#include "zelko/records.hpp"

#include "zelko/input_fields.hpp"

#include <array>
#include <cstddef>

namespace zelko {
namespace {

struct EntityTypeName {
  EntityType type;
  std::string_view text;
  std::string_view enumerator;
};

// Indexed by the enumerator's code.
constexpr std::array<EntityTypeName, 11> kEntityTypeNames{{
    {EntityType::Home, "home", "Home"},
    {EntityType::Post, "post", "Post"},
    {EntityType::Page, "page", "Page"},
    {EntityType::Video, "video", "Video"},
    {EntityType::Taxonomy, "taxonomy", "Taxonomy"},
    {EntityType::Search, "search", "Search"},
    {EntityType::Other, "other", "Other"},
    {EntityType::Product, "product", "Product"},
    {EntityType::Organization, "organization", "Organization"},
    {EntityType::LocalBusiness, "local_business", "LocalBusiness"},
    {EntityType::Faq, "faq", "Faq"},
}};

struct TrailingSlashName {
  TrailingSlash rule;
  std::string_view text;
  std::string_view enumerator;
};

constexpr std::array<TrailingSlashName, 3> kTrailingSlashNames{{
    {TrailingSlash::Always, "always", "Always"},
    {TrailingSlash::Never, "never", "Never"},
    {TrailingSlash::Preserve, "preserve", "Preserve"},
}};

const EntityTypeName* find_entity_type(EntityType type) noexcept {
  const auto code = static_cast<std::size_t>(type);
  return code < kEntityTypeNames.size() ? &kEntityTypeNames[code] : nullptr;
}

const TrailingSlashName* find_trailing_slash(TrailingSlash rule) noexcept {
  const auto code = static_cast<std::size_t>(rule);
  return code < kTrailingSlashNames.size() ? &kTrailingSlashNames[code]
                                           : nullptr;
}

Error configuration_error(ErrorField field, std::string_view message) {
  return Error(ErrorKind::Configuration, field, std::string(message));
}

bool is_host_only(std::string_view host) noexcept {
  // "://" contains "/", so the character check covers the scheme check.
  return host.find_first_of("/?#") == std::string_view::npos;
}

}  // namespace

// A value outside the enumeration (only reachable through a cast) has no
// text form; it reads as empty rather than as some other type.
std::string_view to_text(EntityType type) noexcept {
  const EntityTypeName* name = find_entity_type(type);
  return name != nullptr ? name->text : std::string_view{};
}

std::string_view enumerator_name(EntityType type) noexcept {
  const EntityTypeName* name = find_entity_type(type);
  return name != nullptr ? name->enumerator : std::string_view{};
}

Result<EntityType> parse_entity_type(std::string_view text) {
  for (const EntityTypeName& name : kEntityTypeNames) {
    if (name.text == text) return name.type;
  }
  std::string message =
      "entity_type must be one of home/post/page/video/taxonomy/search/other/"
      "product/organization/local_business/faq, got '";
  message += text;
  message += '\'';
  return Error(ErrorKind::Entity, ErrorField::EntityType, std::move(message));
}

std::string_view to_text(TrailingSlash rule) noexcept {
  const TrailingSlashName* name = find_trailing_slash(rule);
  return name != nullptr ? name->text : std::string_view{};
}

std::string_view enumerator_name(TrailingSlash rule) noexcept {
  const TrailingSlashName* name = find_trailing_slash(rule);
  return name != nullptr ? name->enumerator : std::string_view{};
}

Result<TrailingSlash> parse_trailing_slash(std::string_view text) {
  for (const TrailingSlashName& name : kTrailingSlashNames) {
    if (name.text == text) return name.rule;
  }
  std::string message = "invalid trailing_slash: ";
  message += text;
  return Error(ErrorKind::UrlPolicy, ErrorField::TrailingSlash,
               std::move(message));
}

SchemaTypeMap default_schema_type_map() {
  return SchemaTypeMap{
      {"home", "WebSite"},
      {"post", "Article"},
      {"page", "WebPage"},
      {"video", "VideoObject"},
      {"taxonomy", "CollectionPage"},
      {"search", "SearchResultsPage"},
      {"product", "Product"},
      {"organization", "Organization"},
      {"local_business", "LocalBusiness"},
      {"faq", "FAQPage"},
  };
}

SchemaTypeMap schema_type_map_from_pairs(
    const std::vector<std::pair<std::string, std::string>>& pairs) {
  SchemaTypeMap map;
  for (const auto& [key, value] : pairs) map.insert_or_assign(key, value);
  return map;
}

// No field is trimmed: a value made of blanks counts as present.
Status validate_config(const SEOConfig& config) {
  if (config.canonical_host.empty()) {
    return configuration_error(ErrorField::CanonicalHost,
                               "canonical_host must be a non-empty string");
  }
  if (!is_host_only(config.canonical_host)) {
    return configuration_error(
        ErrorField::CanonicalHost,
        "canonical_host must be host-only (no scheme/path/query)");
  }
  if (config.public_base_url.empty()) {
    return configuration_error(ErrorField::PublicBaseUrl,
                               "public_base_url must be a non-empty string");
  }
  if (config.title_template &&
      config.title_template->find("{title}") == std::string::npos) {
    return configuration_error(
        ErrorField::TitleTemplate,
        "title_template must include '{title}' placeholder");
  }
  return {};
}

std::string_view to_text(FieldKind kind) noexcept {
  constexpr std::array<std::string_view, 12> kNames{
      "text",     "url",    "integer",     "flag", "choice",     "text list",
      "text map", "record", "record list", "json", "record map", "time"};
  return kNames[static_cast<std::size_t>(kind)];
}

}  // namespace zelko
