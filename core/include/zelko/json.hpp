// The engine's JSON value model and its text forms.
//
// JsonValue objects are std::map-backed, so keys are always held sorted by
// their UTF-8 bytes and inserting an existing key replaces its value.
// Numbers keep nlohmann's model: unsigned 64-bit, signed 64-bit (negatives)
// or double.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "zelko/error.hpp"

namespace zelko {

using JsonValue = nlohmann::json;

// Objects and arrays nested deeper than this are refused by the reader.
inline constexpr std::size_t kJsonMaxDepth = 128;

// Streams JSON text into a string, compact or pretty (two-space indent,
// ": " after keys, "{}"/"[]" for empty containers, no final line break).
// Strings escape only '"', '\\' and characters below U+0020 (\b \t \n \f \r,
// else \u00xx in lower case); '/', U+007F and non-ASCII are copied as UTF-8.
// Invalid UTF-8 is written as U+FFFD so the output is always valid JSON.
// Finite doubles use the shortest round-trip form and always carry a "." or
// an exponent; non-finite doubles are written as null.
class JsonWriter {
 public:
  JsonWriter(std::string& out, bool pretty) : out_(out), pretty_(pretty) {}

  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // Inside an object: writes the key of the next member.
  void key(std::string_view name);

  void string(std::string_view text);
  void unsigned_integer(std::uint64_t number);
  void signed_integer(std::int64_t number);
  void floating(double number);
  void boolean(bool flag);
  void null();
  // A whole JsonValue, objects in their (sorted) key order.
  void value(const JsonValue& json);

  // Convenience for "key": value members.
  void member(std::string_view name, std::string_view text) {
    key(name);
    string(text);
  }
  void member(std::string_view name, const std::vector<std::string>& texts) {
    key(name);
    begin_array();
    for (const std::string& text : texts) string(text);
    end_array();
  }

  // Optional members: "key": value when the value is present, nothing (not
  // even the key) when it is absent.
  void optional_member(std::string_view name,
                       const std::optional<std::string>& text) {
    if (text) member(name, *text);
  }
  void optional_member(std::string_view name,
                       const std::optional<std::vector<std::string>>& texts) {
    if (texts) member(name, *texts);
  }
  // Booleans and integers, written as such.
  template <class Scalar>
  requires std::is_integral_v<Scalar>
  void optional_member(std::string_view name,
                       const std::optional<Scalar>& value) {
    if (!value) return;
    key(name);
    if constexpr (std::is_same_v<Scalar, bool>) {
      boolean(*value);
    } else if constexpr (std::is_signed_v<Scalar>) {
      signed_integer(*value);
    } else {
      unsigned_integer(*value);
    }
  }

 private:
  void before_value();
  void newline_and_indent();

  std::string& out_;
  bool pretty_;
  // One entry per open container: how many members it has so far.
  std::vector<std::size_t> counts_;
  bool after_key_ = false;
};

// Writes a JsonValue as text. Total: cannot fail.
[[nodiscard]] std::string write_json(const JsonValue& json, bool pretty);

// Appends `text` as a quoted, escaped JSON string.
void append_json_string(std::string& out, std::string_view text);

// Reads JSON text. Integers that fit u64 (or i64 when negative) stay integers;
// others and numbers with a fraction or exponent become doubles. A duplicate
// key keeps its last value. Nesting deeper than kJsonMaxDepth fails with a
// message beginning "recursion limit exceeded". Every failure is a
// Serialization error whose message ends " at line L column C"; a value
// expected where none is found reads "expected value".
[[nodiscard]] Result<JsonValue> parse_json(std::string_view text);

struct JsonReadOptions {
  // Fail with "duplicate key" instead of keeping the last value, as readers
  // that must agree with Python's strict page loading do.
  bool refuse_duplicate_keys = false;
};
[[nodiscard]] Result<JsonValue> parse_json(std::string_view text,
                                           JsonReadOptions options);

}  // namespace zelko
