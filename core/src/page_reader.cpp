#include "page_reader.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "text.hpp"
#include "zelko/input_fields.hpp"
#include "zelko/json.hpp"

namespace zelko {

// A page line: the route it is served at, its entity and its overrides.
template <>
struct InputFields<PageInput> {
  static constexpr std::tuple fields{
      required_field("route", &PageInput::route, FieldKind::Url,
                     "The route the page is served at."),
      required_field("entity", &PageInput::entity, FieldKind::Record,
                     "The page's entity."),
      field("overrides", &PageInput::overrides, FieldKind::Record,
            "The page's overrides."),
      field("head", &PageInput::head, FieldKind::Record,
            "What the page's head holds beside the payload."),
  };
};

namespace {

// Every reader returns false when the value is not one it takes for sure.

bool read_text(const JsonValue& value, std::string& out) {
  if (!value.is_string()) return false;
  out = value.get_ref<const std::string&>();
  return true;
}

bool read_flag(const JsonValue& value, bool& out) {
  if (!value.is_boolean()) return false;
  out = value.get<bool>();
  return true;
}

template <class Integer>
bool read_integer(const JsonValue& value, Integer& out) {
  using Limits = std::numeric_limits<Integer>;
  if (value.is_number_unsigned()) {
    const std::uint64_t number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(Limits::max())) return false;
    out = static_cast<Integer>(number);
    return true;
  }
  if (value.is_number_integer()) {
    const std::int64_t number = value.get<std::int64_t>();
    if (number < static_cast<std::int64_t>(Limits::min())) return false;
    out = static_cast<Integer>(number);
    return true;
  }
  return false;
}

bool read_texts(const JsonValue& value, std::vector<std::string>& out) {
  if (!value.is_array()) return false;
  out.reserve(value.size());
  for (const JsonValue& item : value) {
    if (!read_text(item, out.emplace_back())) return false;
  }
  return true;
}

bool read_choice(const JsonValue& value, EntityType& out) {
  if (!value.is_string()) return false;
  Result<EntityType> type =
      parse_entity_type(value.get_ref<const std::string&>());
  if (!type) return false;
  out = type.value();
  return true;
}

bool read_value(const JsonValue& value, std::string& out);
bool read_value(const JsonValue& value, bool& out);
bool read_value(const JsonValue& value, EntityType& out);
bool read_value(const JsonValue& value, JsonValue& out);
bool read_value(const JsonValue& value, std::vector<std::string>& out);
bool read_value(const JsonValue& value, MetaPairs& out);
bool read_value(const JsonValue& value, CrawlerRobots& out);
template <class Integer>
requires std::is_integral_v<Integer> &&
    (!std::is_same_v<Integer, bool>)bool read_value(const JsonValue& value,
                                                    Integer& out) {
  return read_integer(value, out);
}
template <TabledRecord Record>
bool read_value(const JsonValue& value, Record& out);
template <TabledRecord Record>
bool read_value(const JsonValue& value, std::vector<Record>& out);
template <class T>
bool read_value(const JsonValue& value, std::optional<T>& out) {
  T item{};
  if (!read_value(value, item)) return false;
  out = std::move(item);
  return true;
}

// Reads an object by Record's table: every key must be a row of it, JSON null
// counts as absent (as in page files), required rows must be present.
template <TabledRecord Record>
bool read_value(const JsonValue& value, Record& out) {
  if (!value.is_object()) return false;
  for (const auto& item : value.items()) {
    // Named, not bound: a lambda may not capture a structured binding
    // before C++20 compilers caught up (clang 16).
    const std::string& key = item.key();
    const JsonValue& member = item.value();
    bool known = false;
    bool read = false;
    for_each_input_field<Record>([&](const auto& row) {
      if (known || row.key != key) return;
      known = true;
      read = member.is_null() ? !row.required
                              : read_value(member, out.*row.member);
    });
    if (!read) return false;
  }
  return all_input_fields<Record>([&](const auto& row) {
    if (!row.required) return true;
    const auto found = value.find(row.key);
    return found != value.end() && !found->is_null();
  });
}

template <TabledRecord Record>
bool read_value(const JsonValue& value, std::vector<Record>& out) {
  if (!value.is_array()) return false;
  out.reserve(value.size());
  for (const JsonValue& item : value) {
    if (!read_value(item, out.emplace_back())) return false;
  }
  return true;
}

bool read_value(const JsonValue& value, std::string& out) {
  return read_text(value, out);
}
bool read_value(const JsonValue& value, bool& out) {
  return read_flag(value, out);
}
bool read_value(const JsonValue& value, EntityType& out) {
  return read_choice(value, out);
}
bool read_value(const JsonValue& value, std::vector<std::string>& out) {
  return read_texts(value, out);
}

// The reader's objects forget the order of their keys, which the pairs keep:
// a table of more than one pair is left to the loader.
bool read_value(const JsonValue& value, MetaPairs& out) {
  if (!value.is_object() || value.size() > 1) return false;
  for (const auto& item : value.items()) {
    std::string content;
    if (!read_text(item.value(), content)) return false;
    out.emplace_back(item.key(), std::move(content));
  }
  return true;
}

// Reads `member` into the row of Record's table named `key`, if it has one
// (`known` tells); JSON null counts as absent.
template <TabledRecord Record>
bool read_named_row(const std::string& key, const JsonValue& member,
                    Record& record, bool& known) {
  bool read = false;
  for_each_input_field<Record>([&](const auto& row) {
    if (known || row.key != key) return;
    known = true;
    read = member.is_null() || read_value(member, record.*row.member);
  });
  return read;
}

// A crawler's robots: the keys of Robots and of RobotsExtra side by side.
bool read_value(const JsonValue& value, CrawlerRobots& out) {
  if (!value.is_object()) return false;
  for (const auto& item : value.items()) {
    bool known = false;
    bool read = read_named_row(item.key(), item.value(), out.robots, known);
    if (!known)
      read = read_named_row(item.key(), item.value(), out.extra, known);
    if (!read) return false;
  }
  return true;
}

// What the head classes check when they are made: every text of the records
// that check theirs, then the page head's own rules.
bool head_is_sound(const PageHead& head) {
  std::string field;
  for (const Video& video : head.videos) {
    if (!check_head_record(video, field)) return false;
  }
  if (head.article && !check_head_record(*head.article, field)) return false;
  if (head.robots && !check_head_record(*head.robots, field)) return false;
  for (const auto* crawler : {&head.googlebot, &head.bingbot}) {
    if (*crawler && !check_head_record((*crawler)->extra, field)) return false;
  }
  return check_head_record(head, field) && check_page_head(head, field);
}

// Structured data is taken as it is, but a number the loader would refuse
// (an infinity from a huge literal) or read differently sends the page to the
// loader.
// "-0" is one too: the loader's JSON makes it the integer 0, the engine's
// reader the double -0.0.
bool has_only_plain_numbers(const JsonValue& value) {
  if (value.is_number_float()) {
    const double number = value.get<double>();
    return std::isfinite(number) && !(number == 0.0 && std::signbit(number));
  }
  if (!value.is_structured()) return true;
  for (const JsonValue& item : value) {
    if (!has_only_plain_numbers(item)) return false;
  }
  return true;
}

bool read_value(const JsonValue& value, JsonValue& out) {
  if (!has_only_plain_numbers(value)) return false;
  out = value;
  return true;
}

// The loader refuses a route that is blank by Python's str.strip(); a route
// with one visible ASCII character is never blank, anything else is left to
// the loader.
bool has_visible_ascii(std::string_view route) {
  for (const char c : route) {
    if (c > ' ' && c < 0x7F) return true;
  }
  return false;
}

}  // namespace

std::optional<PageInput> read_page(std::string_view text) {
  if (!is_valid_utf8(text)) return std::nullopt;
  Result<JsonValue> document =
      parse_json(text, JsonReadOptions{.refuse_duplicate_keys = true});
  if (!document) return std::nullopt;
  PageInput page;
  if (!read_value(document.value(), page) || !has_visible_ascii(page.route) ||
      (page.head && !head_is_sound(*page.head))) {
    return std::nullopt;
  }
  return page;
}

}  // namespace zelko
