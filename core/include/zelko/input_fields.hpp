// The input records described once: one table per record, one row per field
// (its key, the member that holds it, its kind, whether it is required and a
// one-line description). Everything that reads or writes an input record
// walks its table: the batch page reader here, and in the binding the
// constructors, properties, to_dict, pickling and the field lists the Python
// loaders read. A new field is a member and a row.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "zelko/records.hpp"
#include "zelko/robots.hpp"

namespace zelko {

enum class FieldKind : std::uint8_t {
  Text,        // free text
  Url,         // a URL, absolute or a route
  Integer,     // a whole number in the member's range
  Flag,        // true or false
  Choice,      // one of a fixed set of words (an enumeration)
  TextList,    // a list of text
  TextMap,     // text keys to text values
  Record,      // a nested record with a table of its own
  RecordList,  // a list of such records
  Json,        // any JSON value, taken as it is
  RecordMap,   // text keys to nested records
  Time,        // a W3C Datetime: a date, or a date and time with its zone
};

// "text", "url", "integer", "flag", "choice", "text list", "text map",
// "record", "record list", "json", "record map", "time".
[[nodiscard]] std::string_view to_text(FieldKind kind) noexcept;

// How absent is written by to_dict: left out (the rule), or as null.
enum class Absent : std::uint8_t { Omitted, Null };

template <class Record, class Value>
struct InputField {
  using record_type = Record;
  using value_type = Value;
  std::string_view key;
  Value Record::*member;
  FieldKind kind;
  bool required;  // given first, by position, and never absent
  std::string_view description;
  Absent absent = Absent::Omitted;
};

// A field that lives in an optional section of its record (the schema
// part of an expectation, say): reading it finds nothing while the section
// is absent, and giving it makes the section.
template <class Record, class Section, class Value>
struct SectionField {
  using record_type = Record;
  using value_type = std::optional<Value>;
  std::string_view key;
  std::optional<Section> Record::*section;
  std::optional<Value> Section::*member;
  FieldKind kind;
  bool required = false;
  std::string_view description;
  Absent absent = Absent::Omitted;
};

// The value of a row in a record: the member itself, or a copy of a
// section's member (absent with its section).
template <class Record, class Value>
[[nodiscard]] constexpr const Value& field_value(
    const Record& record, const InputField<Record, Value>& row) {
  return record.*row.member;
}
template <class Record, class Section, class Value>
[[nodiscard]] std::optional<Value> field_value(
    const Record& record, const SectionField<Record, Section, Value>& row) {
  const std::optional<Section>& section = record.*row.section;
  return section ? (*section).*row.member : std::nullopt;
}

// Gives a row its value: the member, or the section's member (making the
// section) when the value is present.
template <class Record, class Value>
void set_field(Record& record, const InputField<Record, Value>& row,
               Value value) {
  record.*row.member = std::move(value);
}
template <class Record, class Section, class Value>
void set_field(Record& record, const SectionField<Record, Section, Value>& row,
               std::optional<Value> value) {
  if (!value) return;
  std::optional<Section>& section = record.*row.section;
  if (!section) section.emplace();
  (*section).*row.member = std::move(value);
}

template <class Record>
struct InputFields;

// Shorthands for the rows below: required rows and optional rows.
template <class Record, class Value>
constexpr InputField<Record, Value> required_field(
    std::string_view key, Value Record::*member, FieldKind kind,
    std::string_view description) {
  return {key, member, kind, true, description};
}
template <class Record, class Value>
constexpr InputField<Record, Value> field(std::string_view key,
                                          Value Record::*member, FieldKind kind,
                                          std::string_view description,
                                          Absent absent = Absent::Omitted) {
  return {key, member, kind, false, description, absent};
}

template <>
struct InputFields<SEOImage> {
  static constexpr std::string_view record_name = "SEOImage";
  static constexpr std::string_view description =
      "An image reference: its URL, pixel size and alternative text.";
  static constexpr std::tuple fields{
      required_field("url", &SEOImage::url, FieldKind::Url,
                     "Absolute URL of the image."),
      field("width", &SEOImage::width, FieldKind::Integer,
            "Width in pixels, or None."),
      field("height", &SEOImage::height, FieldKind::Integer,
            "Height in pixels, or None."),
      field("alt", &SEOImage::alt, FieldKind::Text,
            "Alternative text, or None."),
  };
};

template <>
struct InputFields<SEOAuthor> {
  static constexpr std::string_view record_name = "SEOAuthor";
  static constexpr std::string_view description =
      "An author and an optional profile URL.";
  static constexpr std::tuple fields{
      required_field("name", &SEOAuthor::name, FieldKind::Text,
                     "Display name."),
      field("url", &SEOAuthor::url, FieldKind::Url, "Profile URL, or None."),
  };
};

template <>
struct InputFields<Breadcrumb> {
  static constexpr std::string_view record_name = "Breadcrumb";
  static constexpr std::string_view description =
      "A single entry in a breadcrumb trail.";
  static constexpr std::tuple fields{
      required_field("name", &Breadcrumb::name, FieldKind::Text, "The label."),
      required_field("url", &Breadcrumb::url, FieldKind::Url,
                     "The link, a path or a URL."),
  };
};

template <>
struct InputFields<FAQItem> {
  static constexpr std::string_view record_name = "FAQItem";
  static constexpr std::string_view description = "A question and its answer.";
  static constexpr std::tuple fields{
      required_field("question", &FAQItem::question, FieldKind::Text,
                     "The question."),
      required_field("answer", &FAQItem::answer, FieldKind::Text,
                     "The answer."),
  };
};

template <>
struct InputFields<Robots> {
  static constexpr std::string_view record_name = "Robots";
  static constexpr std::string_view description =
      "Robots directives for a page.";
  static constexpr std::tuple fields{
      field("index", &Robots::index, FieldKind::Flag,
            "Whether the page may be indexed."),
      field("follow", &Robots::follow, FieldKind::Flag,
            "Whether links on the page may be followed."),
      field("max_snippet", &Robots::max_snippet, FieldKind::Integer,
            "The max-snippet limit, or None."),
      field("max_image_preview", &Robots::max_image_preview, FieldKind::Text,
            "The max-image-preview setting, or None."),
      field("max_video_preview", &Robots::max_video_preview, FieldKind::Integer,
            "The max-video-preview limit, or None."),
  };
};

template <>
struct InputFields<URLPolicy> {
  static constexpr std::string_view record_name = "URLPolicy";
  static constexpr std::string_view description =
      "How canonical URLs are normalized.";
  static constexpr std::tuple fields{
      field("enforce_https", &URLPolicy::enforce_https, FieldKind::Flag,
            "Whether canonical URLs are forced to https."),
      field("lowercase_paths", &URLPolicy::lowercase_paths, FieldKind::Flag,
            "Whether paths are lower-cased."),
      field("trailing_slash", &URLPolicy::trailing_slash, FieldKind::Choice,
            "The trailing-slash rule: \"always\", \"never\" or \"preserve\"."),
      field("collapse_duplicate_slashes",
            &URLPolicy::collapse_duplicate_slashes, FieldKind::Flag,
            "Whether runs of slashes collapse into one."),
      field("strip_tracking_params", &URLPolicy::strip_tracking_params,
            FieldKind::Flag, "Whether tracking query parameters are removed."),
      field("allowed_query_params", &URLPolicy::allowed_query_params,
            FieldKind::TextList, "Query parameters kept in canonical URLs."),
      field("extra_tracking_params", &URLPolicy::extra_tracking_params,
            FieldKind::TextList, "Further parameters treated as tracking."),
  };
};

template <>
struct InputFields<SEOEntity> {
  static constexpr std::string_view record_name = "SEOEntity";
  static constexpr std::string_view description =
      "The content a payload is built for: what kind of page it is and what "
      "it holds.";
  static constexpr std::tuple fields{
      required_field("entity_type", &SEOEntity::entity_type, FieldKind::Choice,
                     "The entity type as text, for example "
                     "\"local_business\"."),
      field("slug", &SEOEntity::slug, FieldKind::Text,
            "The URL slug, or None."),
      field("title", &SEOEntity::title, FieldKind::Text,
            "The page title, or None."),
      field("excerpt", &SEOEntity::excerpt, FieldKind::Text,
            "The short description, or None."),
      field("body_html", &SEOEntity::body_html, FieldKind::Text,
            "The body as HTML, the description's last resort, or None."),
      field("status", &SEOEntity::status, FieldKind::Text,
            "The publication status (\"published\" is indexable), or None."),
      field("featured_image", &SEOEntity::featured_image, FieldKind::Record,
            "The page's image, or None."),
      field("published_at", &SEOEntity::published_at, FieldKind::Text,
            "When it was published (ISO 8601), or None."),
      field("updated_at", &SEOEntity::updated_at, FieldKind::Text,
            "When it was last changed (ISO 8601), or None."),
      field("author_name", &SEOEntity::author_name, FieldKind::Text,
            "The author's name, or None."),
      field("breadcrumbs", &SEOEntity::breadcrumbs, FieldKind::RecordList,
            "The breadcrumb trail, or None."),
      field("sku", &SEOEntity::sku, FieldKind::Text,
            "A product's stock-keeping unit, or None."),
      field("price", &SEOEntity::price, FieldKind::Text,
            "A product's price as decimal text, or None."),
      field("price_currency", &SEOEntity::price_currency, FieldKind::Text,
            "The price's ISO 4217 currency, or None."),
      field("availability", &SEOEntity::availability, FieldKind::Text,
            "A product's availability (\"InStock\"), or None."),
      field("same_as", &SEOEntity::same_as, FieldKind::TextList,
            "URLs of the same thing elsewhere, or None."),
      field("address", &SEOEntity::address, FieldKind::Text,
            "A business's postal address, or None."),
      field("faq_items", &SEOEntity::faq_items, FieldKind::RecordList,
            "The questions and answers of an FAQ page, or None."),
  };
};

template <>
struct InputFields<SEOConfig> {
  static constexpr std::string_view record_name = "SEOConfig";
  static constexpr std::string_view description =
      "Site-wide SEO configuration, validated when it is made.";
  static constexpr std::tuple fields{
      required_field("canonical_host", &SEOConfig::canonical_host,
                     FieldKind::Text, "The host of every canonical URL."),
      required_field("public_base_url", &SEOConfig::public_base_url,
                     FieldKind::Url, "The site's base URL."),
      field("url_policy", &SEOConfig::url_policy, FieldKind::Record,
            "How canonical URLs are normalized."),
      field("default_robots", &SEOConfig::default_robots, FieldKind::Record,
            "Robots directives of a published page."),
      field("default_og_image", &SEOConfig::default_og_image, FieldKind::Record,
            "The image of pages that have none, or None."),
      field("site_name", &SEOConfig::site_name, FieldKind::Text,
            "The site's name, or None."),
      field("title_template", &SEOConfig::title_template, FieldKind::Text,
            "The title template with {title}, or None.", Absent::Null),
      field("search_robots", &SEOConfig::search_robots, FieldKind::Record,
            "Robots directives of search result pages."),
      field("auto_generate_schema", &SEOConfig::auto_generate_schema,
            FieldKind::Flag, "Whether JSON-LD is generated."),
      field("publisher_name", &SEOConfig::publisher_name, FieldKind::Text,
            "The publisher's name, or None."),
      field("publisher_logo", &SEOConfig::publisher_logo, FieldKind::Url,
            "The publisher's logo URL, or None."),
      field("locale", &SEOConfig::locale, FieldKind::Text,
            "The Open Graph locale (\"en_US\"), or None."),
      field("locale_alternate", &SEOConfig::locale_alternate,
            FieldKind::TextList, "Further Open Graph locales, or None."),
      field("twitter_site", &SEOConfig::twitter_site, FieldKind::Text,
            "The site's Twitter handle, or None."),
      field("emit_warnings", &SEOConfig::emit_warnings, FieldKind::Flag,
            "Whether builds warn about validation findings."),
      field("schema_type_map", &SEOConfig::schema_type_map, FieldKind::TextMap,
            "Entity type to Schema.org type."),
      field("search_url_template", &SEOConfig::search_url_template,
            FieldKind::Url,
            "The site search URL with {search_term_string}, "
            "or None."),
  };
};

template <>
struct InputFields<SEOOverrides> {
  static constexpr std::string_view record_name = "SEOOverrides";
  static constexpr std::string_view description =
      "Per-call overrides that take precedence over the entity and config.";
  static constexpr std::tuple fields{
      field("meta_title", &SEOOverrides::meta_title, FieldKind::Text,
            "The title, or None."),
      field("meta_description", &SEOOverrides::meta_description,
            FieldKind::Text, "The meta description, or None."),
      field("canonical_url", &SEOOverrides::canonical_url, FieldKind::Url,
            "The canonical URL, or None."),
      field("canonical_path", &SEOOverrides::canonical_path, FieldKind::Url,
            "The canonical path on the canonical host, or None."),
      field("robots", &SEOOverrides::robots, FieldKind::Record,
            "The robots directives, or None."),
      field("og_title", &SEOOverrides::og_title, FieldKind::Text,
            "The og:title, or None."),
      field("og_description", &SEOOverrides::og_description, FieldKind::Text,
            "The og:description, or None."),
      field("og_image", &SEOOverrides::og_image, FieldKind::Record,
            "The og:image, or None."),
      field("twitter_card", &SEOOverrides::twitter_card, FieldKind::Text,
            "The twitter:card, or None."),
      field("twitter_title", &SEOOverrides::twitter_title, FieldKind::Text,
            "The twitter:title, or None."),
      field("twitter_description", &SEOOverrides::twitter_description,
            FieldKind::Text, "The twitter:description, or None."),
      field("twitter_image", &SEOOverrides::twitter_image, FieldKind::Record,
            "The twitter:image, or None."),
      field("schema_jsonld", &SEOOverrides::schema_jsonld, FieldKind::Json,
            "The JSON-LD in place of the generated one, or None."),
      field("omit_schema", &SEOOverrides::omit_schema, FieldKind::Flag,
            "Whether the page gets no JSON-LD."),
      field("skip_title_template", &SEOOverrides::skip_title_template,
            FieldKind::Flag, "Whether the title template is left out."),
      field("twitter_creator", &SEOOverrides::twitter_creator, FieldKind::Text,
            "The twitter:creator, or None."),
      field("og_audio", &SEOOverrides::og_audio, FieldKind::Url,
            "The og:audio URL, or None."),
      field("og_video", &SEOOverrides::og_video, FieldKind::Url,
            "The og:video URL, or None."),
  };
};

template <class Record>
inline constexpr std::size_t kInputFieldCount = std::tuple_size_v<
    std::remove_const_t<decltype(InputFields<Record>::fields)>>;

// Whether Record has a table.
template <class Record>
concept TabledRecord = requires {
  InputFields<Record>::fields;
};

// Calls visit(field) for every row of Record's table, in declared order.
template <class Record, class Visit>
constexpr void for_each_input_field(Visit&& visit) {
  std::apply([&](const auto&... row) { (visit(row), ...); },
             InputFields<Record>::fields);
}

// The same, stopping at the first row for which visit returns false; true
// when every row was visited.
template <class Record, class Visit>
constexpr bool all_input_fields(Visit&& visit) {
  return std::apply([&](const auto&... row) { return (visit(row) && ...); },
                    InputFields<Record>::fields);
}

// The number of leading required rows (the positional parameters).
template <class Record>
constexpr std::size_t required_field_count() {
  std::size_t count = 0;
  bool leading = true;
  for_each_input_field<Record>([&](const auto& row) {
    leading = leading && row.required;
    if (leading) ++count;
  });
  return count;
}

}  // namespace zelko
