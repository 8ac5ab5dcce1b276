// Python dictionaries built straight from payload records, and the fixed key
// strings they use.
//
// The dictionary view of a payload is what its value form converts to: keys
// sorted at every level, "og" and "twitter" as plain dicts. It is built from
// the record itself, without first assembling a JsonValue tree or going
// through JSON text, since every mapping operation of a payload and every
// hook call rebuilds it.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding.hpp"
#include "zelko/payload.hpp"

namespace zelko::py {

// Fixed strings used as dictionary keys or attribute names. Each is interned
// once per process and shared.
// The tag records' field names are not here: they come from their field
// tables (zelko::TagFields) and are interned per table.
enum class Key : std::uint8_t {
  canonical,
  cleaned_params,
  description,
  generate,
  has,
  og,
  post_process,
  removed_params,
  robots,
  run,
  schema_jsonld,
  title,
  twitter,
  url,
};

// The text of `key`.
[[nodiscard]] std::string_view key_text(Key key) noexcept;

// The interned str of `key`, borrowed (it lives as long as the process).
// Null with the error set when the strings cannot be created.
[[nodiscard]] PyObject* key_object(Key key);

// dict[key] = value, stealing `value` (null `value`: false, error kept).
[[nodiscard]] bool set_item(PyObject* dict, Key key, PyObject* value);

// The payload's dictionary view: a new dict with the keys of the value form
// in ascending order, extra fields merged in by key. ValueError when a
// schema or extra value nests deeper than 128 levels.
[[nodiscard]] PyObject* payload_view(const zelko::SEOPayload& payload);

// An OGPayload or TwitterPayload as a dict, walking its field table.
// `sorted` gives the key order of the value form (the "og"/"twitter" members
// of the view); otherwise the keys come in declared field order. Absent
// fields leave their key out.
template <class Record>
[[nodiscard]] PyObject* tags_dict(const Record& record, bool sorted);

// Payload equality: the four texts, the tag groups field by field, the
// schema and the extra fields as JSON values. JSON numbers are equal only
// when both are integers of the same value or both doubles of the same
// value, so 1 and 1.0 differ here as they do in the hash.
[[nodiscard]] bool same_payload(const zelko::SEOPayload& a,
                                const zelko::SEOPayload& b);
[[nodiscard]] bool same_json(const zelko::JsonValue& a,
                             const zelko::JsonValue& b);

}  // namespace zelko::py
