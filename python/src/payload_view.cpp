// Dictionaries built from payload records (see payload_view.hpp).
#include "payload_view.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace zelko::py {
namespace {

// In the order of the Key enumerators.
constexpr std::array<const char*, 14> kKeyTexts = {
    "canonical",     "cleaned_params",
    "description",   "generate",
    "has",           "og",
    "post_process",  "removed_params",
    "robots",        "run",
    "schema_jsonld", "title",
    "twitter",       "url"};

// A set of interned strings, published once and never freed, like the class
// table. Null with the error set when the strings cannot be created.
template <std::size_t N>
const std::array<PyObject*, N>* interned(
    std::atomic<std::array<PyObject*, N>*>& published,
    const std::array<const char*, N>& texts) {
  if (auto* table = published.load(std::memory_order_acquire)) return table;
  auto created = std::make_unique<std::array<PyObject*, N>>();
  created->fill(nullptr);
  const auto drop = [](std::array<PyObject*, N>& table) {
    for (PyObject*& text : table) Py_CLEAR(text);
  };
  for (std::size_t index = 0; index < N; ++index) {
    PyObject* text = PyUnicode_InternFromString(texts[index]);
    if (text == nullptr) {
      drop(*created);
      return nullptr;
    }
    (*created)[index] = text;
  }
  std::array<PyObject*, N>* expected = nullptr;
  if (!published.compare_exchange_strong(expected, created.get(),
                                         std::memory_order_acq_rel)) {
    drop(*created);  // another thread published first; use theirs
    return expected;
  }
  return created.release();
}

std::atomic<std::array<PyObject*, kKeyTexts.size()>*> published_keys{nullptr};

// ---------------------------------------------------------------------------
// Tag records, driven by their field tables

template <class Record>
constexpr std::size_t kFieldCount = zelko::kTagFieldCount<Record>;

template <class Record>
constexpr std::array<const char*, kFieldCount<Record>> field_keys() {
  std::array<const char*, kFieldCount<Record>> keys{};
  std::size_t index = 0;
  zelko::for_each_tag_field<Record>(
      [&](const auto& field) { keys[index++] = field.key.data(); });
  return keys;
}

// Field indexes in ascending key order, the order of the value form.
template <class Record>
constexpr std::array<std::size_t, kFieldCount<Record>> sorted_field_order() {
  std::array<std::string_view, kFieldCount<Record>> keys{};
  std::size_t index = 0;
  zelko::for_each_tag_field<Record>(
      [&](const auto& field) { keys[index++] = field.key; });
  std::array<std::size_t, kFieldCount<Record>> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  return order;
}

template <class Record>
constexpr std::array<std::size_t, kFieldCount<Record>> declared_field_order() {
  std::array<std::size_t, kFieldCount<Record>> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  return order;
}

template <class Record>
const std::array<PyObject*, kFieldCount<Record>>* field_key_objects() {
  static constexpr std::array<const char*, kFieldCount<Record>> kTexts =
      field_keys<Record>();
  static std::atomic<std::array<PyObject*, kFieldCount<Record>>*> published{
      nullptr};
  return interned(published, kTexts);
}

// dict[key] = value, stealing `value`.
bool set_object_item(PyObject* dict, PyObject* key, PyObject* value) {
  PyRef owned = PyRef::steal(value);
  return owned && PyDict_SetItem(dict, key, owned.get()) == 0;
}

bool add_value(PyObject* dict, PyObject* key, const std::string& text) {
  return set_object_item(dict, key, to_python(text));
}

template <class T>
bool add_value(PyObject* dict, PyObject* key, const std::optional<T>& value) {
  return !value || set_object_item(dict, key, to_python(*value));
}

template <class Record, std::size_t Index>
bool add_tag_field(PyObject* dict, const Record& record, PyObject* key) {
  return add_value(
      dict, key,
      record.*std::get<Index>(zelko::TagFields<Record>::fields).member);
}

template <class Record, std::size_t... Index>
constexpr auto tag_field_adders(std::index_sequence<Index...>) {
  using Adder = bool (*)(PyObject*, const Record&, PyObject*);
  return std::array<Adder, sizeof...(Index)>{&add_tag_field<Record, Index>...};
}

// The top-level members of a payload's value form, in key order.
constexpr Key kPayloadSorted[] = {
    Key::canonical,     Key::description, Key::og,     Key::robots,
    Key::schema_jsonld, Key::title,       Key::twitter};

bool add_payload_field(PyObject* dict, const zelko::SEOPayload& payload,
                       Key field) {
  switch (field) {
    case Key::canonical:
      return set_item(dict, field, to_python(payload.canonical));
    case Key::description:
      return set_item(dict, field, to_python(payload.description));
    case Key::og:
      return set_item(dict, field, tags_dict(payload.og, /*sorted=*/true));
    case Key::robots:
      return set_item(dict, field, to_python(payload.robots));
    case Key::schema_jsonld:
      return !payload.schema_jsonld ||
             set_item(dict, field, json_to_python(*payload.schema_jsonld, 0));
    case Key::title:
      return set_item(dict, field, to_python(payload.title));
    case Key::twitter:
      return set_item(dict, field, tags_dict(payload.twitter, /*sorted=*/true));
    default:
      break;
  }
  raise_internal_fault("not a payload field");
  return false;
}

bool add_extra_field(PyObject* dict, const std::string& name,
                     const zelko::JsonValue& value) {
  PyRef key = PyRef::steal(new_str(name));
  if (!key) return false;
  PyRef converted = PyRef::steal(json_to_python(value, 0));
  if (!converted) return false;
  return PyDict_SetItem(dict, key.get(), converted.get()) == 0;
}

bool same_number(const zelko::JsonValue& a, const zelko::JsonValue& b) {
  if (a.is_number_float() || b.is_number_float()) {
    return a.is_number_float() && b.is_number_float() &&
           a.get<double>() == b.get<double>();
  }
  // Both integers; a negative one is always signed.
  bool a_negative = a.is_number_integer() && !a.is_number_unsigned() &&
                    a.get<std::int64_t>() < 0;
  bool b_negative = b.is_number_integer() && !b.is_number_unsigned() &&
                    b.get<std::int64_t>() < 0;
  if (a_negative || b_negative) {
    return a_negative && b_negative &&
           a.get<std::int64_t>() == b.get<std::int64_t>();
  }
  return a.get<std::uint64_t>() == b.get<std::uint64_t>();
}

bool same_members(const zelko::JsonValue& a, const zelko::JsonValue& b) {
  if (a.size() != b.size()) return false;
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end(); ++left, ++right) {
    if (left.key() != right.key() || !same_json(*left, *right)) return false;
  }
  return true;
}

bool same_elements(const zelko::JsonValue& a, const zelko::JsonValue& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t index = 0; index < a.size(); ++index) {
    if (!same_json(a[index], b[index])) return false;
  }
  return true;
}

}  // namespace

std::string_view key_text(Key key) noexcept {
  return kKeyTexts[static_cast<std::size_t>(key)];
}

PyObject* key_object(Key key) {
  const auto* table = interned(published_keys, kKeyTexts);
  return table == nullptr ? nullptr : (*table)[static_cast<std::size_t>(key)];
}

bool set_item(PyObject* dict, Key key, PyObject* value) {
  PyRef owned = PyRef::steal(value);
  if (!owned) return false;
  PyObject* name = key_object(key);
  return name != nullptr && PyDict_SetItem(dict, name, owned.get()) == 0;
}

template <class Record>
PyObject* tags_dict(const Record& record, bool sorted) {
  static constexpr auto kAdders =
      tag_field_adders<Record>(std::make_index_sequence<kFieldCount<Record>>{});
  static constexpr auto kSorted = sorted_field_order<Record>();
  static constexpr auto kDeclared = declared_field_order<Record>();
  const auto* keys = field_key_objects<Record>();
  if (keys == nullptr) return nullptr;
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const std::size_t index : sorted ? kSorted : kDeclared) {
    if (!kAdders[index](dict.get(), record, (*keys)[index])) return nullptr;
  }
  return dict.release();
}

template PyObject* tags_dict(const zelko::OGPayload&, bool);
template PyObject* tags_dict(const zelko::TwitterPayload&, bool);

PyObject* payload_view(const zelko::SEOPayload& payload) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  // Merge the known members with the extra fields by key, as inserting both
  // into one sorted map would; an extra field named like a known member
  // takes its place.
  auto extra = payload.extra_fields.begin();
  const auto extras_end = payload.extra_fields.end();
  for (Key field : kPayloadSorted) {
    std::string_view name = key_text(field);
    for (; extra != extras_end && extra->first < name; ++extra) {
      if (!add_extra_field(dict.get(), extra->first, extra->second))
        return nullptr;
    }
    if (extra != extras_end && extra->first == name) {
      if (!add_extra_field(dict.get(), extra->first, extra->second))
        return nullptr;
      ++extra;
      continue;
    }
    if (!add_payload_field(dict.get(), payload, field)) return nullptr;
  }
  for (; extra != extras_end; ++extra) {
    if (!add_extra_field(dict.get(), extra->first, extra->second))
      return nullptr;
  }
  return dict.release();
}

bool same_json(const zelko::JsonValue& a, const zelko::JsonValue& b) {
  if (a.is_number() || b.is_number()) {
    return a.is_number() && b.is_number() && same_number(a, b);
  }
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case zelko::JsonValue::value_t::object:
      return same_members(a, b);
    case zelko::JsonValue::value_t::array:
      return same_elements(a, b);
    default:
      return a == b;
  }
}

bool same_payload(const zelko::SEOPayload& a, const zelko::SEOPayload& b) {
  if (a.title != b.title || a.description != b.description ||
      a.canonical != b.canonical || a.robots != b.robots || a.og != b.og ||
      a.twitter != b.twitter) {
    return false;
  }
  if (a.schema_jsonld.has_value() != b.schema_jsonld.has_value()) return false;
  if (a.schema_jsonld && !same_json(*a.schema_jsonld, *b.schema_jsonld))
    return false;
  if (a.extra_fields.size() != b.extra_fields.size()) return false;
  auto left = a.extra_fields.begin();
  auto right = b.extra_fields.begin();
  for (; left != a.extra_fields.end(); ++left, ++right) {
    if (left->first != right->first || !same_json(left->second, right->second))
      return false;
  }
  return true;
}

}  // namespace zelko::py
