// The payload record's three JSON forms and reading a payload back.
#include "zelko/payload.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace zelko {
namespace {

// ---------------------------------------------------------------------------
// Value form

using Members = JsonValue::object_t;

void put_optional(Members& members, std::string_view name,
                  const std::optional<std::string>& text) {
  if (text) members.emplace(name, *text);
}

void put_optional(Members& members, std::string_view name,
                  const std::optional<std::uint32_t>& number) {
  if (number) members.emplace(name, std::uint64_t{*number});
}

void put_optional(Members& members, std::string_view name,
                  const std::optional<std::vector<std::string>>& list) {
  if (list) members.emplace(name, *list);
}

// ---------------------------------------------------------------------------
// Text forms

void write_optional(JsonWriter& writer, std::string_view name,
                    const std::optional<std::string>& text) {
  if (text) writer.member(name, *text);
}

void write_optional(JsonWriter& writer, std::string_view name,
                    const std::optional<std::uint32_t>& number) {
  if (!number) return;
  writer.key(name);
  writer.unsigned_integer(*number);
}

void write_optional(JsonWriter& writer, std::string_view name,
                    const std::optional<std::vector<std::string>>& list) {
  if (!list) return;
  writer.key(name);
  writer.begin_array();
  for (const std::string& item : *list) writer.string(item);
  writer.end_array();
}

void write_og(JsonWriter& writer, const OGPayload& og) {
  writer.begin_object();
  writer.member("type", og.type);
  write_optional(writer, "title", og.title);
  write_optional(writer, "description", og.description);
  write_optional(writer, "url", og.url);
  write_optional(writer, "image", og.image);
  write_optional(writer, "image_width", og.image_width);
  write_optional(writer, "image_height", og.image_height);
  write_optional(writer, "image_alt", og.image_alt);
  write_optional(writer, "site_name", og.site_name);
  write_optional(writer, "locale", og.locale);
  write_optional(writer, "locale_alternate", og.locale_alternate);
  write_optional(writer, "audio", og.audio);
  write_optional(writer, "video", og.video);
  writer.end_object();
}

void write_twitter(JsonWriter& writer, const TwitterPayload& twitter) {
  writer.begin_object();
  writer.member("card", twitter.card);
  write_optional(writer, "title", twitter.title);
  write_optional(writer, "description", twitter.description);
  write_optional(writer, "image", twitter.image);
  write_optional(writer, "image_alt", twitter.image_alt);
  write_optional(writer, "site", twitter.site);
  write_optional(writer, "creator", twitter.creator);
  writer.end_object();
}

// A rough size of the text so that the output grows at most once or twice.
std::size_t estimated_text_size(const SEOPayload& payload) {
  return 512 + payload.title.size() + payload.description.size() +
         2 * payload.canonical.size();
}

std::string payload_text(const SEOPayload& payload, bool pretty) {
  std::string out;
  out.reserve(estimated_text_size(payload));
  JsonWriter writer(out, pretty);
  write_payload(writer, payload);
  return out;
}

// ---------------------------------------------------------------------------
// Reading back

Error serialization_error(std::string message) {
  return Error(ErrorKind::Serialization, std::move(message));
}

// A string as Rust's Debug shows it, which is how the reader quotes strings
// in its messages.
std::string debug_quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
          constexpr std::string_view kHex = "0123456789abcdef";
          out += "\\u{";
          if (byte >= 0x10) out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0xF]);
          out.push_back('}');
        } else {
          out.push_back(c);
        }
      }
    }
  }
  out.push_back('"');
  return out;
}

std::string describe_double(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number < 0 ? "-inf" : "inf";
  return write_json(JsonValue(number), false);
}

// What was found, in the words of the reader's type errors.
std::string describe(const JsonValue& value) {
  using Type = JsonValue::value_t;
  switch (value.type()) {
    case Type::null:
    case Type::discarded:
      return "null";
    case Type::boolean:
      return value.get<bool>() ? "boolean `true`" : "boolean `false`";
    case Type::number_unsigned:
    case Type::number_integer:
      return "integer `" + write_json(value, false) + "`";
    case Type::number_float:
      return "floating point `" + describe_double(value.get<double>()) + "`";
    case Type::string:
      return "string " + debug_quoted(value.get_ref<const std::string&>());
    case Type::array:
      return "sequence";
    case Type::object:
      return "map";
    case Type::binary:
      return "byte array";
  }
  return "null";
}

Error invalid_type(const JsonValue& found, std::string_view expected) {
  std::string message = "invalid type: " + describe(found) + ", expected ";
  message += expected;
  return serialization_error(std::move(message));
}

Error invalid_length(std::size_t length, std::string_view expected) {
  std::string message = "invalid length " + std::to_string(length);
  message += ", expected ";
  message += expected;
  return serialization_error(std::move(message));
}

Error missing_field(std::string_view name) {
  std::string message = "missing field `";
  message += name;
  message += '`';
  return serialization_error(std::move(message));
}

Status read_field(const JsonValue& value, std::string& out) {
  if (!value.is_string()) return invalid_type(value, "a string");
  out = value.get_ref<const std::string&>();
  return {};
}

Status read_field(const JsonValue& value, std::optional<std::string>& out) {
  if (value.is_null()) {
    out.reset();
    return {};
  }
  return read_field(value, out.emplace());
}

Status read_field(const JsonValue& value, std::optional<std::uint32_t>& out) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (value.is_null()) {
    out.reset();
    return {};
  }
  const bool in_range =
      (value.is_number_unsigned() && value.get<std::uint64_t>() <= kMax) ||
      (value.is_number_integer() && value.get<std::int64_t>() >= 0 &&
       static_cast<std::uint64_t>(value.get<std::int64_t>()) <= kMax);
  if (in_range) {
    out = static_cast<std::uint32_t>(value.get<std::uint64_t>());
    return {};
  }
  if (value.is_number_integer()) {
    return serialization_error("invalid value: " + describe(value) +
                               ", expected u32");
  }
  return invalid_type(value, "u32");
}

Status read_field(const JsonValue& value,
                  std::optional<std::vector<std::string>>& out) {
  if (value.is_null()) {
    out.reset();
    return {};
  }
  if (!value.is_array()) return invalid_type(value, "a sequence");
  std::vector<std::string> items;
  items.reserve(value.size());
  for (const JsonValue& element : value) {
    if (Status status = read_field(element, items.emplace_back()); !status) {
      return status;
    }
  }
  out = std::move(items);
  return {};
}

template <class Record>
struct FieldReader {
  std::string_view name;
  Status (*read)(const JsonValue&, Record&);
};

template <class Record, auto Member>
Status read_member(const JsonValue& value, Record& record) {
  return read_field(value, record.*Member);
}

// The first field of each group is its one required field.
constexpr std::array<FieldReader<OGPayload>, 13> kOgFields{{
    {"type", &read_member<OGPayload, &OGPayload::type>},
    {"title", &read_member<OGPayload, &OGPayload::title>},
    {"description", &read_member<OGPayload, &OGPayload::description>},
    {"url", &read_member<OGPayload, &OGPayload::url>},
    {"image", &read_member<OGPayload, &OGPayload::image>},
    {"image_width", &read_member<OGPayload, &OGPayload::image_width>},
    {"image_height", &read_member<OGPayload, &OGPayload::image_height>},
    {"image_alt", &read_member<OGPayload, &OGPayload::image_alt>},
    {"site_name", &read_member<OGPayload, &OGPayload::site_name>},
    {"locale", &read_member<OGPayload, &OGPayload::locale>},
    {"locale_alternate", &read_member<OGPayload, &OGPayload::locale_alternate>},
    {"audio", &read_member<OGPayload, &OGPayload::audio>},
    {"video", &read_member<OGPayload, &OGPayload::video>},
}};

constexpr std::array<FieldReader<TwitterPayload>, 7> kTwitterFields{{
    {"card", &read_member<TwitterPayload, &TwitterPayload::card>},
    {"title", &read_member<TwitterPayload, &TwitterPayload::title>},
    {"description", &read_member<TwitterPayload, &TwitterPayload::description>},
    {"image", &read_member<TwitterPayload, &TwitterPayload::image>},
    {"image_alt", &read_member<TwitterPayload, &TwitterPayload::image_alt>},
    {"site", &read_member<TwitterPayload, &TwitterPayload::site>},
    {"creator", &read_member<TwitterPayload, &TwitterPayload::creator>},
}};

// A group given as an object: members by name, unknown names skipped.
template <class Record, std::size_t N>
Result<Record> read_group_object(
    const JsonValue& value, const std::array<FieldReader<Record>, N>& fields) {
  Record record;
  bool required_seen = false;
  for (const auto& [name, member] : value.get_ref<const Members&>()) {
    for (std::size_t i = 0; i < N; ++i) {
      if (fields[i].name != name) continue;
      if (Status status = fields[i].read(member, record); !status) {
        return std::move(status).error();
      }
      required_seen = required_seen || i == 0;
      break;
    }
  }
  if (!required_seen) return missing_field(fields[0].name);
  return record;
}

// A group given as an array: one element per field, in declared order.
template <class Record, std::size_t N>
Result<Record> read_group_array(
    const JsonValue& value, const std::array<FieldReader<Record>, N>& fields,
    std::string_view struct_name) {
  const auto& elements = value.get_ref<const JsonValue::array_t&>();
  Record record;
  for (std::size_t i = 0; i < N; ++i) {
    if (i >= elements.size()) {
      return invalid_length(i, std::string(struct_name) + " with " +
                                   std::to_string(N) + " elements");
    }
    if (Status status = fields[i].read(elements[i], record); !status) {
      return std::move(status).error();
    }
  }
  if (elements.size() > N) {
    return invalid_length(elements.size(), "fewer elements in array");
  }
  return record;
}

template <class Record, std::size_t N>
Result<Record> read_group(const JsonValue& value,
                          const std::array<FieldReader<Record>, N>& fields,
                          std::string_view struct_name) {
  if (value.is_object()) return read_group_object(value, fields);
  if (value.is_array()) return read_group_array(value, fields, struct_name);
  return invalid_type(value, struct_name);
}

Status read_og(const JsonValue& value, OGPayload& out) {
  Result<OGPayload> og = read_group(value, kOgFields, "struct OGPayload");
  if (!og) return std::move(og).error();
  out = std::move(og).value();
  return {};
}

Status read_twitter(const JsonValue& value, TwitterPayload& out) {
  Result<TwitterPayload> twitter =
      read_group(value, kTwitterFields, "struct TwitterPayload");
  if (!twitter) return std::move(twitter).error();
  out = std::move(twitter).value();
  return {};
}

// The payload's required members, in the order in which a missing one is
// reported.
constexpr std::array<std::string_view, 6> kRequiredPayloadFields{
    "title", "description", "canonical", "robots", "og", "twitter"};

// Reads one known member into `payload`; false when `name` is not known.
bool read_known_member(std::string_view name, const JsonValue& value,
                       SEOPayload& payload, Status& status) {
  if (name == "title") {
    status = read_field(value, payload.title);
  } else if (name == "description") {
    status = read_field(value, payload.description);
  } else if (name == "canonical") {
    status = read_field(value, payload.canonical);
  } else if (name == "robots") {
    status = read_field(value, payload.robots);
  } else if (name == "og") {
    status = read_og(value, payload.og);
  } else if (name == "twitter") {
    status = read_twitter(value, payload.twitter);
  } else if (name == "schema_jsonld") {
    if (value.is_null()) {
      payload.schema_jsonld.reset();
    } else {
      payload.schema_jsonld = value;
    }
  } else {
    return false;
  }
  return true;
}

Result<SEOPayload> read_payload(const JsonValue& value) {
  if (!value.is_object()) return invalid_type(value, "struct SEOPayload");
  SEOPayload payload;
  const Members& members = value.get_ref<const Members&>();
  for (const auto& [name, member] : members) {
    Status status;
    if (!read_known_member(name, member, payload, status)) {
      payload.extra_fields.emplace(name, member);
    } else if (!status) {
      return std::move(status).error();
    }
  }
  for (const std::string_view name : kRequiredPayloadFields) {
    if (members.find(name) == members.end()) return missing_field(name);
  }
  return payload;
}

}  // namespace

JsonValue to_value(const OGPayload& og) {
  JsonValue value = JsonValue::object();
  Members& members = value.get_ref<Members&>();
  members.emplace("type", og.type);
  put_optional(members, "title", og.title);
  put_optional(members, "description", og.description);
  put_optional(members, "url", og.url);
  put_optional(members, "image", og.image);
  put_optional(members, "image_width", og.image_width);
  put_optional(members, "image_height", og.image_height);
  put_optional(members, "image_alt", og.image_alt);
  put_optional(members, "site_name", og.site_name);
  put_optional(members, "locale", og.locale);
  put_optional(members, "locale_alternate", og.locale_alternate);
  put_optional(members, "audio", og.audio);
  put_optional(members, "video", og.video);
  return value;
}

JsonValue to_value(const TwitterPayload& twitter) {
  JsonValue value = JsonValue::object();
  Members& members = value.get_ref<Members&>();
  members.emplace("card", twitter.card);
  put_optional(members, "title", twitter.title);
  put_optional(members, "description", twitter.description);
  put_optional(members, "image", twitter.image);
  put_optional(members, "image_alt", twitter.image_alt);
  put_optional(members, "site", twitter.site);
  put_optional(members, "creator", twitter.creator);
  return value;
}

JsonValue to_value(const SEOPayload& payload) {
  JsonValue value = JsonValue::object();
  Members& members = value.get_ref<Members&>();
  members.emplace("title", payload.title);
  members.emplace("description", payload.description);
  members.emplace("canonical", payload.canonical);
  members.emplace("robots", payload.robots);
  members.emplace("og", to_value(payload.og));
  members.emplace("twitter", to_value(payload.twitter));
  if (payload.schema_jsonld)
    members.emplace("schema_jsonld", *payload.schema_jsonld);
  // Extra entries come last, so one that shares a known key replaces it.
  for (const auto& [name, extra] : payload.extra_fields) {
    members.insert_or_assign(name, extra);
  }
  return value;
}

void write_payload(JsonWriter& writer, const SEOPayload& payload) {
  writer.begin_object();
  writer.member("title", payload.title);
  writer.member("description", payload.description);
  writer.member("canonical", payload.canonical);
  writer.member("robots", payload.robots);
  writer.key("og");
  write_og(writer, payload.og);
  writer.key("twitter");
  write_twitter(writer, payload.twitter);
  if (payload.schema_jsonld) {
    writer.key("schema_jsonld");
    writer.value(*payload.schema_jsonld);
  }
  for (const auto& [name, extra] : payload.extra_fields) {
    writer.key(name);
    writer.value(extra);
  }
  writer.end_object();
}

std::string to_json_pretty(const SEOPayload& payload) {
  return payload_text(payload, true);
}

std::string to_json_compact(const SEOPayload& payload) {
  return payload_text(payload, false);
}

Result<SEOPayload> payload_from_value(const JsonValue& value) {
  try {
    return read_payload(value);
  } catch (const std::exception& failure) {
    // Only allocation can throw here; it must still not cross the boundary.
    return serialization_error(failure.what());
  }
}

}  // namespace zelko
