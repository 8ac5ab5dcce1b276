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
