// Dictionaries built from payload records (see payload_view.hpp).
#include "payload_view.hpp"

#include <array>
#include <atomic>
#include <memory>
#include <span>

namespace zelko::py {
namespace {

// In the order of the Key enumerators.
constexpr std::array<const char*, 27> kKeyTexts = {"audio",
                                                   "canonical",
                                                   "card",
                                                   "cleaned_params",
                                                   "creator",
                                                   "description",
                                                   "generate",
                                                   "has",
                                                   "image",
                                                   "image_alt",
                                                   "image_height",
                                                   "image_width",
                                                   "locale",
                                                   "locale_alternate",
                                                   "og",
                                                   "post_process",
                                                   "removed_params",
                                                   "robots",
                                                   "run",
                                                   "schema_jsonld",
                                                   "site",
                                                   "site_name",
                                                   "title",
                                                   "twitter",
                                                   "type",
                                                   "url",
                                                   "video"};

using KeyTable = std::array<PyObject*, kKeyTexts.size()>;

// Published once, never freed, like the class table.
std::atomic<KeyTable*> published_keys{nullptr};

void drop_keys(KeyTable& table) noexcept {
  for (PyObject*& text : table) {
    Py_XDECREF(text);
    text = nullptr;
  }
}

const KeyTable* key_table() {
  if (KeyTable* table = published_keys.load(std::memory_order_acquire))
    return table;
  auto created = std::make_unique<KeyTable>();
  created->fill(nullptr);
  for (std::size_t index = 0; index < kKeyTexts.size(); ++index) {
    PyObject* text = PyUnicode_InternFromString(kKeyTexts[index]);
    if (text == nullptr) {
      drop_keys(*created);
      return nullptr;
    }
    (*created)[index] = text;
  }
  KeyTable* expected = nullptr;
  if (!published_keys.compare_exchange_strong(expected, created.get(),
                                              std::memory_order_acq_rel)) {
    drop_keys(*created);  // another thread published first; use theirs
    return expected;
  }
  return created.release();
}

template <class T>
bool set_present(PyObject* dict, Key key, const std::optional<T>& value) {
  return !value || set_item(dict, key, to_python(*value));
}

bool add_og_field(PyObject* dict, const zelko::OGPayload& og, Key field) {
  switch (field) {
    case Key::type:
      return set_item(dict, field, to_python(og.type));
    case Key::title:
      return set_present(dict, field, og.title);
    case Key::description:
      return set_present(dict, field, og.description);
    case Key::url:
      return set_present(dict, field, og.url);
    case Key::image:
      return set_present(dict, field, og.image);
    case Key::image_width:
      return set_present(dict, field, og.image_width);
    case Key::image_height:
      return set_present(dict, field, og.image_height);
    case Key::image_alt:
      return set_present(dict, field, og.image_alt);
    case Key::site_name:
      return set_present(dict, field, og.site_name);
    case Key::locale:
      return set_present(dict, field, og.locale);
    case Key::locale_alternate:
      return set_present(dict, field, og.locale_alternate);
    case Key::audio:
      return set_present(dict, field, og.audio);
    case Key::video:
      return set_present(dict, field, og.video);
    default:
      break;
  }
  raise_internal_fault("not an Open Graph field");
  return false;
}

bool add_twitter_field(PyObject* dict, const zelko::TwitterPayload& twitter,
                       Key field) {
  switch (field) {
    case Key::card:
      return set_item(dict, field, to_python(twitter.card));
    case Key::title:
      return set_present(dict, field, twitter.title);
    case Key::description:
      return set_present(dict, field, twitter.description);
    case Key::image:
      return set_present(dict, field, twitter.image);
    case Key::image_alt:
      return set_present(dict, field, twitter.image_alt);
    case Key::site:
      return set_present(dict, field, twitter.site);
    case Key::creator:
      return set_present(dict, field, twitter.creator);
    default:
      break;
  }
  raise_internal_fault("not a Twitter Card field");
  return false;
}

constexpr Key kOgDeclared[] = {
    Key::type,      Key::title,       Key::description,      Key::url,
    Key::image,     Key::image_width, Key::image_height,     Key::image_alt,
    Key::site_name, Key::locale,      Key::locale_alternate, Key::audio,
    Key::video};
constexpr Key kOgSorted[] = {
    Key::audio,        Key::description, Key::image,  Key::image_alt,
    Key::image_height, Key::image_width, Key::locale, Key::locale_alternate,
    Key::site_name,    Key::title,       Key::type,   Key::url,
    Key::video};
constexpr Key kTwitterDeclared[] = {
    Key::card,      Key::title, Key::description, Key::image,
    Key::image_alt, Key::site,  Key::creator};
constexpr Key kTwitterSorted[] = {Key::card,  Key::creator,   Key::description,
                                  Key::image, Key::image_alt, Key::site,
                                  Key::title};
// The top-level members of a payload's value form, in key order.
constexpr Key kPayloadSorted[] = {
    Key::canonical,     Key::description, Key::og,     Key::robots,
    Key::schema_jsonld, Key::title,       Key::twitter};

template <class Record, class AddField>
PyObject* fields_dict(const Record& record, std::span<const Key> order,
                      AddField add_field) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (Key field : order) {
    if (!add_field(dict.get(), record, field)) return nullptr;
  }
  return dict.release();
}

bool add_payload_field(PyObject* dict, const zelko::SEOPayload& payload,
                       Key field) {
  switch (field) {
    case Key::canonical:
      return set_item(dict, field, to_python(payload.canonical));
    case Key::description:
      return set_item(dict, field, to_python(payload.description));
    case Key::og:
      return set_item(dict, field, og_dict(payload.og, /*sorted=*/true));
    case Key::robots:
      return set_item(dict, field, to_python(payload.robots));
    case Key::schema_jsonld:
      return !payload.schema_jsonld ||
             set_item(dict, field, json_to_python(*payload.schema_jsonld, 0));
    case Key::title:
      return set_item(dict, field, to_python(payload.title));
    case Key::twitter:
      return set_item(dict, field,
                      twitter_dict(payload.twitter, /*sorted=*/true));
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
  const KeyTable* table = key_table();
  return table == nullptr ? nullptr : (*table)[static_cast<std::size_t>(key)];
}

bool set_item(PyObject* dict, Key key, PyObject* value) {
  PyRef owned = PyRef::steal(value);
  if (!owned) return false;
  PyObject* name = key_object(key);
  return name != nullptr && PyDict_SetItem(dict, name, owned.get()) == 0;
}

PyObject* og_dict(const zelko::OGPayload& og, bool sorted) {
  return fields_dict(og,
                     sorted ? std::span<const Key>(kOgSorted)
                            : std::span<const Key>(kOgDeclared),
                     add_og_field);
}

PyObject* twitter_dict(const zelko::TwitterPayload& twitter, bool sorted) {
  return fields_dict(twitter,
                     sorted ? std::span<const Key>(kTwitterSorted)
                            : std::span<const Key>(kTwitterDeclared),
                     add_twitter_field);
}

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
