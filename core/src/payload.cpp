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

void put_field(Members& members, std::string_view name,
               const std::string& text) {
  members.emplace(name, text);
}

void put_field(Members& members, std::string_view name,
               const std::optional<std::string>& text) {
  if (text) members.emplace(name, *text);
}

void put_field(Members& members, std::string_view name,
               const std::optional<std::uint32_t>& number) {
  if (number) members.emplace(name, std::uint64_t{*number});
}

void put_field(Members& members, std::string_view name,
               const std::optional<std::vector<std::string>>& list) {
  if (list) members.emplace(name, *list);
}

template <class Record>
JsonValue tags_value(const Record& record) {
  JsonValue value = JsonValue::object();
  Members& members = value.get_ref<Members&>();
  for_each_tag_field<Record>([&](const auto& field) {
    put_field(members, field.key, record.*field.member);
  });
  return value;
}

// ---------------------------------------------------------------------------
// Text forms

void write_field(JsonWriter& writer, std::string_view name,
                 const std::string& text) {
  writer.member(name, text);
}

template <class Value>
void write_field(JsonWriter& writer, std::string_view name,
                 const std::optional<Value>& value) {
  writer.optional_member(name, value);
}

template <class Record>
void write_tags(JsonWriter& writer, const Record& record) {
  writer.begin_object();
  for_each_tag_field<Record>([&](const auto& field) {
    write_field(writer, field.key, record.*field.member);
  });
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

// A group given as an object: members by name, unknown names skipped. The
// first field of each table is its one required field.
template <class Record>
Result<Record> read_group_object(const JsonValue& value) {
  Record record;
  bool required_seen = false;
  // Named references rather than a structured binding: the lambda below
  // captures them, which clang before 16 refuses for bindings.
  for (const auto& entry : value.get_ref<const Members&>()) {
    const std::string& name = entry.first;
    const JsonValue& member = entry.second;
    Status status;
    bool first = true;
    all_tag_fields<Record>([&](const auto& field) {
      if (field.key != name) {
        first = false;
        return true;
      }
      status = read_field(member, record.*field.member);
      required_seen = required_seen || first;
      return false;
    });
    if (!status) return std::move(status).error();
  }
  if (!required_seen) {
    return missing_field(std::get<0>(TagFields<Record>::fields).key);
  }
  return record;
}

std::string struct_name(std::string_view record_name) {
  std::string name = "struct ";
  name += record_name;
  return name;
}

// A group given as an array: one element per field, in declared order.
template <class Record>
Result<Record> read_group_array(const JsonValue& value) {
  constexpr std::size_t kCount = kTagFieldCount<Record>;
  const auto& elements = value.get_ref<const JsonValue::array_t&>();
  Record record;
  Status status;
  std::size_t index = 0;
  all_tag_fields<Record>([&](const auto& field) {
    if (index >= elements.size()) {
      status = invalid_length(
          index, struct_name(TagFields<Record>::record_name) + " with " +
                     std::to_string(kCount) + " elements");
      return false;
    }
    status = read_field(elements[index++], record.*field.member);
    return status.ok();
  });
  if (!status) return std::move(status).error();
  if (elements.size() > kCount) {
    return invalid_length(elements.size(), "fewer elements in array");
  }
  return record;
}

template <class Record>
Result<Record> read_group_value(const JsonValue& value) {
  if (value.is_object()) return read_group_object<Record>(value);
  if (value.is_array()) return read_group_array<Record>(value);
  return invalid_type(value, struct_name(TagFields<Record>::record_name));
}

template <class Record>
Status read_group(const JsonValue& value, Record& out) {
  Result<Record> group = read_group_value<Record>(value);
  if (!group) return std::move(group).error();
  out = std::move(group).value();
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
    status = read_group(value, payload.og);
  } else if (name == "twitter") {
    status = read_group(value, payload.twitter);
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

JsonValue to_value(const OGPayload& og) { return tags_value(og); }

JsonValue to_value(const TwitterPayload& twitter) {
  return tags_value(twitter);
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
  write_tags(writer, payload.og);
  writer.key("twitter");
  write_tags(writer, payload.twitter);
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
