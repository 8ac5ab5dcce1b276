// The payload record and its JSON forms.
//
// Text forms (pretty `to_json`, compact hash input) keep the declared field
// order; the value form (a JsonValue) has its keys sorted. Absent optionals
// are left out with their keys in every form, never written as null.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "zelko/error.hpp"
#include "zelko/json.hpp"

namespace zelko {

struct OGPayload {
  std::string type;
  std::optional<std::string> title;
  std::optional<std::string> description;
  std::optional<std::string> url;
  std::optional<std::string> image;
  std::optional<std::uint32_t> image_width;
  std::optional<std::uint32_t> image_height;
  std::optional<std::string> image_alt;
  std::optional<std::string> site_name;
  std::optional<std::string> locale;
  std::optional<std::vector<std::string>> locale_alternate;
  std::optional<std::string> audio;
  std::optional<std::string> video;

  friend bool operator==(const OGPayload&, const OGPayload&) = default;
};

struct TwitterPayload {
  std::string card;
  std::optional<std::string> title;
  std::optional<std::string> description;
  std::optional<std::string> image;
  std::optional<std::string> image_alt;
  std::optional<std::string> site;
  std::optional<std::string> creator;

  friend bool operator==(const TwitterPayload&,
                         const TwitterPayload&) = default;
};

// ---------------------------------------------------------------------------
// Field tables of the two tag records
//
// One row per field, in declared order: the field's JSON key (also its
// Python attribute and dictionary key), its HTML name, and the member. The
// member's type is the field's kind: std::string (the one required text,
// always first), std::optional<std::string>, std::optional<std::uint32_t> (a
// number) or std::optional<std::vector<std::string>> (a list, one HTML
// element per item). The JSON writer, the value form, the reader, the HTML
// renderer and the binding's dictionaries and properties all walk these
// tables; a field added here reaches every form. Key and HTML name texts are
// string literals, so their data() is null-terminated.

template <class Record, class Value>
struct TagField {
  using value_type = Value;
  std::string_view key;
  std::string_view html_name;
  Value Record::*member;
};

template <class Record>
struct TagFields;

template <>
struct TagFields<OGPayload> {
  static constexpr std::string_view record_name = "OGPayload";
  // <meta property="og:title" content="...">
  static constexpr std::string_view html_attribute = "property";
  static constexpr std::tuple fields{
      TagField<OGPayload, std::string>{"type", "og:type", &OGPayload::type},
      TagField<OGPayload, std::optional<std::string>>{"title", "og:title",
                                                      &OGPayload::title},
      TagField<OGPayload, std::optional<std::string>>{
          "description", "og:description", &OGPayload::description},
      TagField<OGPayload, std::optional<std::string>>{"url", "og:url",
                                                      &OGPayload::url},
      TagField<OGPayload, std::optional<std::string>>{"image", "og:image",
                                                      &OGPayload::image},
      TagField<OGPayload, std::optional<std::uint32_t>>{
          "image_width", "og:image:width", &OGPayload::image_width},
      TagField<OGPayload, std::optional<std::uint32_t>>{
          "image_height", "og:image:height", &OGPayload::image_height},
      TagField<OGPayload, std::optional<std::string>>{
          "image_alt", "og:image:alt", &OGPayload::image_alt},
      TagField<OGPayload, std::optional<std::string>>{
          "site_name", "og:site_name", &OGPayload::site_name},
      TagField<OGPayload, std::optional<std::string>>{"locale", "og:locale",
                                                      &OGPayload::locale},
      TagField<OGPayload, std::optional<std::vector<std::string>>>{
          "locale_alternate", "og:locale:alternate",
          &OGPayload::locale_alternate},
      TagField<OGPayload, std::optional<std::string>>{"audio", "og:audio",
                                                      &OGPayload::audio},
      TagField<OGPayload, std::optional<std::string>>{"video", "og:video",
                                                      &OGPayload::video},
  };
};

template <>
struct TagFields<TwitterPayload> {
  static constexpr std::string_view record_name = "TwitterPayload";
  // <meta name="twitter:title" content="...">
  static constexpr std::string_view html_attribute = "name";
  static constexpr std::tuple fields{
      TagField<TwitterPayload, std::string>{"card", "twitter:card",
                                            &TwitterPayload::card},
      TagField<TwitterPayload, std::optional<std::string>>{
          "title", "twitter:title", &TwitterPayload::title},
      TagField<TwitterPayload, std::optional<std::string>>{
          "description", "twitter:description", &TwitterPayload::description},
      TagField<TwitterPayload, std::optional<std::string>>{
          "image", "twitter:image", &TwitterPayload::image},
      TagField<TwitterPayload, std::optional<std::string>>{
          "image_alt", "twitter:image:alt", &TwitterPayload::image_alt},
      TagField<TwitterPayload, std::optional<std::string>>{
          "site", "twitter:site", &TwitterPayload::site},
      TagField<TwitterPayload, std::optional<std::string>>{
          "creator", "twitter:creator", &TwitterPayload::creator},
  };
};

template <class Record>
inline constexpr std::size_t kTagFieldCount =
    std::tuple_size_v<std::remove_const_t<decltype(TagFields<Record>::fields)>>;

// Calls visit(field) for every row of Record's table, in declared order.
template <class Record, class Visit>
constexpr void for_each_tag_field(Visit&& visit) {
  std::apply([&](const auto&... field) { (visit(field), ...); },
             TagFields<Record>::fields);
}

// The same, stopping at the first row for which visit returns false; true
// when every row was visited.
template <class Record, class Visit>
constexpr bool all_tag_fields(Visit&& visit) {
  return std::apply([&](const auto&... field) { return (visit(field) && ...); },
                    TagFields<Record>::fields);
}

struct SEOPayload {
  std::string title;
  std::string description;
  std::string canonical;
  std::string robots;
  OGPayload og;
  TwitterPayload twitter;
  std::optional<JsonValue> schema_jsonld;
  // Unknown top-level keys read back from JSON; written after the known keys.
  std::map<std::string, JsonValue, std::less<>> extra_fields;

  friend bool operator==(const SEOPayload&, const SEOPayload&) = default;
};

// Value form: a key-sorted JsonValue object. Cannot fail.
[[nodiscard]] JsonValue to_value(const SEOPayload& payload);
[[nodiscard]] JsonValue to_value(const OGPayload& og);
[[nodiscard]] JsonValue to_value(const TwitterPayload& twitter);

// Text forms, written straight from the record in declared order.
void write_payload(JsonWriter& writer, const SEOPayload& payload);
[[nodiscard]] std::string to_json_pretty(const SEOPayload& payload);
[[nodiscard]] std::string to_json_compact(const SEOPayload& payload);

// Reads a payload back from a JsonValue. Failures are Serialization errors
// with messages such as "missing field `title`",
// "invalid length 2, expected struct OGPayload with 13 elements" or
// "invalid type: string \"x\", expected struct SEOPayload".
[[nodiscard]] Result<SEOPayload> payload_from_value(const JsonValue& value);

}  // namespace zelko
