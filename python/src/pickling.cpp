// The travel form of every class: states built from records, and _restore.
#include "pickling.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "payload_view.hpp"
#include "zelko/contract.hpp"
#include "zelko/payload.hpp"

namespace zelko::py {
namespace {

// Builds a dict of keyword arguments; the first failure sticks, and
// release() then returns nullptr with the error set.
class Kwargs {
 public:
  Kwargs() : dict_(PyRef::steal(PyDict_New())), ok_(bool(dict_)) {}

  // Absent optionals are written as None, which every constructor takes as
  // "not given".
  template <class T>
  Kwargs& set(const char* key, const T& value) {
    return put(key, to_python(value));
  }
  Kwargs& set(const char* key, std::string_view text) {
    return put(key, new_str(text));
  }
  // An object of class `id` holding a copy of `record`.
  template <class Record>
  Kwargs& object(const char* key, ClassId id, const Record& record) {
    return put(key, make_object(id, Record(record)));
  }
  template <class Record>
  Kwargs& object(const char* key, ClassId id,
                 const std::optional<Record>& record) {
    if (!record) return put(key, Py_NewRef(Py_None));
    return object(key, id, *record);
  }
  template <class Record>
  Kwargs& objects(const char* key, ClassId id,
                  const std::optional<std::vector<Record>>& records) {
    if (!records) return put(key, Py_NewRef(Py_None));
    return objects(key, id, *records);
  }
  template <class Record>
  Kwargs& objects(const char* key, ClassId id,
                  const std::vector<Record>& records) {
    PyRef list = PyRef::steal(PyList_New(0));
    for (const Record& record : records) {
      if (!list) break;
      PyRef item = PyRef::steal(make_object(id, Record(record)));
      if (!item || PyList_Append(list.get(), item.get()) < 0) list.reset();
    }
    return put(key, list.release());
  }
  // Steals `value`.
  Kwargs& put(const char* key, PyObject* value) {
    if (!ok_) {
      Py_XDECREF(value);
      return *this;
    }
    ok_ = value != nullptr && dict_set(dict_.get(), key, value);
    return *this;
  }

  [[nodiscard]] PyObject* release() { return ok_ ? dict_.release() : nullptr; }

 private:
  PyRef dict_;
  bool ok_;
};

// A list of (first, second) tuples; steals nothing.
template <class Pairs, class Second>
PyObject* pair_list(const Pairs& pairs, Second&& second) {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return nullptr;
  for (const auto& [first, value] : pairs) {
    PyRef pair = PyRef::steal(PyTuple_New(2));
    PyObject* key = new_str(first);
    if (!pair || key == nullptr) {
      Py_XDECREF(key);
      return nullptr;
    }
    PyTuple_SetItem(pair.get(), 0, key);
    PyObject* item = second(value);
    if (item == nullptr) return nullptr;
    PyTuple_SetItem(pair.get(), 1, item);
    if (PyList_Append(list.get(), pair.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* new_expectation(const zelko::SEOExpectation& expectation) {
  return make_object(ClassId::SEOExpectation,
                     zelko::SEOExpectation(expectation));
}

PyObject* optional_expectation(
    const zelko::OptionalBox<zelko::SEOExpectation>& box) {
  return box ? new_expectation(*box) : Py_NewRef(Py_None);
}

// The flag of a section, None when the section is absent.
std::optional<bool> section_flag(
    const std::optional<zelko::SectionExpectation>& section) {
  return section ? section->required : std::nullopt;
}

PyObject* contract_kwargs(std::string_view canonical_host,
                          std::string_view scheme,
                          const zelko::SEOExpectation& defaults,
                          const std::vector<zelko::SEOContractRule>& rules,
                          const zelko::ExpectationMap& exceptions) {
  std::vector<RuleRecord> rule_records;
  rule_records.reserve(rules.size());
  for (const zelko::SEOContractRule& rule : rules) {
    std::optional<std::string> severity;
    if (rule.severity) severity = zelko::severity_text(*rule.severity);
    rule_records.push_back(RuleRecord{rule.match, rule.expect, severity});
  }
  return Kwargs()
      .set("canonical_host", canonical_host)
      .set("scheme", scheme)
      .put("defaults", new_expectation(defaults))
      .objects("rules", ClassId::SEOContractRule, rule_records)
      .put("exceptions", pair_list(exceptions, new_expectation))
      .release();
}

PyObject* config_kwargs(const zelko::SEOConfig& config) {
  const zelko::URLPolicy& policy = config.url_policy;
  PolicyRecord policy_record{policy.enforce_https,
                             policy.lowercase_paths,
                             std::string(zelko::to_text(policy.trailing_slash)),
                             policy.collapse_duplicate_slashes,
                             policy.strip_tracking_params,
                             policy.allowed_query_params,
                             policy.extra_tracking_params};
  return Kwargs()
      .set("canonical_host", config.canonical_host)
      .set("public_base_url", config.public_base_url)
      .object("url_policy", ClassId::URLPolicy, policy_record)
      .object("default_robots", ClassId::Robots, config.default_robots)
      .object("default_og_image", ClassId::SEOImage, config.default_og_image)
      .set("site_name", config.site_name)
      .set("title_template", config.title_template)
      .object("search_robots", ClassId::Robots, config.search_robots)
      .set("auto_generate_schema", config.auto_generate_schema)
      .set("publisher_name", config.publisher_name)
      .set("publisher_logo", config.publisher_logo)
      .set("locale", config.locale)
      .set("locale_alternate", config.locale_alternate)
      .set("twitter_site", config.twitter_site)
      .set("emit_warnings", config.emit_warnings)
      .put("schema_type_map",
           pair_list(config.schema_type_map,
                     [](const std::string& type) { return new_str(type); }))
      .set("search_url_template", config.search_url_template)
      .release();
}

// Every keyword argument of SEOOverrides except schema_jsonld, which travels
// as JSON text (see restore_overrides).
PyObject* overrides_kwargs(const zelko::SEOOverrides& overrides) {
  return Kwargs()
      .set("meta_title", overrides.meta_title)
      .set("meta_description", overrides.meta_description)
      .set("canonical_url", overrides.canonical_url)
      .set("canonical_path", overrides.canonical_path)
      .object("robots", ClassId::Robots, overrides.robots)
      .set("og_title", overrides.og_title)
      .set("og_description", overrides.og_description)
      .object("og_image", ClassId::SEOImage, overrides.og_image)
      .set("twitter_card", overrides.twitter_card)
      .set("twitter_title", overrides.twitter_title)
      .set("twitter_description", overrides.twitter_description)
      .object("twitter_image", ClassId::SEOImage, overrides.twitter_image)
      .set("omit_schema", overrides.omit_schema)
      .set("skip_title_template", overrides.skip_title_template)
      .set("twitter_creator", overrides.twitter_creator)
      .set("og_audio", overrides.og_audio)
      .set("og_video", overrides.og_video)
      .release();
}

// ---------------------------------------------------------------------------
// Restoring

bool check_dict_state(ClassId id, PyObject* state) {
  if (PyDict_Check(state)) return true;
  PyErr_Format(PyExc_TypeError, "%s state must be a dict",
               std::string(class_name(id)).c_str());
  return false;
}

PyObject* call_class(ClassId id, PyObject* kwargs) {
  if (!check_dict_state(id, kwargs)) return nullptr;
  PyRef no_args = PyRef::steal(PyTuple_New(0));
  if (!no_args) return nullptr;
  return PyObject_Call(reinterpret_cast<PyObject*>(class_object(id)),
                       no_args.get(), kwargs);
}

// A state that is a tuple of exactly `size` items.
bool check_tuple_state(ClassId id, PyObject* state, Py_ssize_t size) {
  if (PyTuple_Check(state) && PyTuple_Size(state) == size) return true;
  PyErr_Format(PyExc_TypeError, "%s state must be a tuple of %zd items",
               std::string(class_name(id)).c_str(), size);
  return false;
}

// JSON text read back by the engine's reader; ValueError when it fails.
std::optional<zelko::JsonValue> read_json_text(PyObject* text) {
  std::string_view view;
  if (!arg_text_view(text, "state", view)) return std::nullopt;
  zelko::Result<zelko::JsonValue> value = zelko::parse_json(view);
  if (!value) {
    static_cast<void>(raise_engine_error(value.error()));
    return std::nullopt;
  }
  return std::move(value).value();
}

// (keyword arguments, schema_jsonld as compact JSON text or None). The
// override goes through the JSON reader, not through Python values and
// json.dumps, so numbers keep their exact form.
PyObject* restore_overrides(PyObject* state) {
  if (!check_tuple_state(ClassId::SEOOverrides, state, 2)) return nullptr;
  PyRef overrides = PyRef::steal(
      call_class(ClassId::SEOOverrides, PyTuple_GetItem(state, 0)));
  PyObject* schema_text = PyTuple_GetItem(state, 1);
  if (!overrides || schema_text == Py_None) return overrides.release();
  std::optional<zelko::JsonValue> schema = read_json_text(schema_text);
  if (!schema) return nullptr;
  // The object is new and referenced only here.
  record_of<zelko::SEOOverrides>(overrides.get()).schema_jsonld =
      std::move(*schema);
  return overrides.release();
}

// The payload's compact text form, read back as the payload reader does.
PyObject* restore_payload(PyObject* state) {
  std::optional<zelko::JsonValue> value = read_json_text(state);
  if (!value) return nullptr;
  zelko::Result<zelko::SEOPayload> payload = zelko::payload_from_value(*value);
  if (!payload) return raise_engine_error(payload.error());
  return make_object(ClassId::SEOPayload, std::move(payload).value());
}

bool read_tag(PyObject* value, const char* name, std::string& out) {
  return arg_text(value, name, out);
}
bool read_tag(PyObject* value, const char* name,
              std::optional<std::string>& out) {
  return arg_optional_text(value, name, out);
}
bool read_tag(PyObject* value, const char* name,
              std::optional<std::uint32_t>& out) {
  return arg_optional(value, name, out, arg_uint32);
}
bool read_tag(PyObject* value, const char* name,
              std::optional<std::vector<std::string>>& out) {
  return arg_optional_text_list(value, name, out);
}

// A tag group from its to_dict() form.
template <class Record>
PyObject* restore_tags(ClassId id, PyObject* state) {
  if (!check_dict_state(id, state)) return nullptr;
  Record record;
  bool read = zelko::all_tag_fields<Record>([&](const auto& field) {
    const char* key = field.key.data();
    return read_tag(PyDict_GetItemString(state, key), key,
                    record.*field.member);
  });
  return read ? make_object(id, std::move(record)) : nullptr;
}

// (rule_id, severity text, message, url, details as compact JSON text).
PyObject* restore_issue(PyObject* state) {
  if (!check_tuple_state(ClassId::SEOIssue, state, 5)) return nullptr;
  IssueRecord issue;
  std::string severity;
  if (!arg_text(PyTuple_GetItem(state, 0), "rule_id", issue.rule_id) ||
      !arg_text(PyTuple_GetItem(state, 1), "severity", severity) ||
      !arg_text(PyTuple_GetItem(state, 2), "message", issue.message) ||
      !arg_optional_text(PyTuple_GetItem(state, 3), "url", issue.url) ||
      !arg_text(PyTuple_GetItem(state, 4), "details", issue.details_json)) {
    return nullptr;
  }
  // Only what the issue's state ever holds: parse_severity would read any
  // other text as an error, and the details getter a broken text as {}.
  issue.severity = zelko::parse_severity(severity);
  if (zelko::severity_text(issue.severity) != severity) {
    PyErr_Format(PyExc_ValueError,
                 "SEOIssue state: severity must be 'error', 'warning' or "
                 "'info', got %R",
                 PyTuple_GetItem(state, 1));
    return nullptr;
  }
  std::optional<zelko::JsonValue> details =
      read_json_text(PyTuple_GetItem(state, 4));
  if (!details) return nullptr;
  if (!details->is_object()) {
    PyErr_SetString(PyExc_ValueError,
                    "SEOIssue state: details must be a JSON object");
    return nullptr;
  }
  return make_object(ClassId::SEOIssue, std::move(issue));
}

// The contract's configuration, as SEOContractConfig's keyword arguments.
PyObject* restore_contract(PyObject* state) {
  PyRef config = PyRef::steal(call_class(ClassId::SEOContractConfig, state));
  if (!config) return nullptr;
  return make_object(ClassId::SEOContract,
                     zelko::build_seo_contract(
                         record_of<zelko::SEOContractConfig>(config.get())));
}

PyObject* object_or_none(PyObject* object) {
  return object == nullptr ? Py_None : object;
}

std::optional<ClassId> class_named(std::string_view name) {
  for (std::size_t index = 0; index < kClassCount; ++index) {
    auto id = static_cast<ClassId>(index);
    if (class_name(id) == name) return id;
  }
  return std::nullopt;
}

}  // namespace

PyObject* reduce_value(ClassId id, PyObject* state, PyObject* attributes) {
  PyRef owned_state = PyRef::steal(state);
  PyRef owned_attributes = PyRef::steal(attributes);
  PyRef restore = import_attribute("_zelko_native", "_restore");
  PyRef name = PyRef::steal(new_str(class_name(id)));
  if (!restore || !name) return nullptr;
  if (!owned_attributes) {
    return Py_BuildValue("(O(OO))", restore.get(), name.get(),
                         owned_state.get());
  }
  return Py_BuildValue("(O(OO)(OO))", restore.get(), name.get(),
                       owned_state.get(), Py_None, owned_attributes.get());
}

PyObject* image_state(const zelko::SEOImage& image) {
  return Kwargs()
      .set("url", image.url)
      .set("width", image.width)
      .set("height", image.height)
      .set("alt", image.alt)
      .release();
}

PyObject* author_state(const zelko::SEOAuthor& author) {
  return Kwargs().set("name", author.name).set("url", author.url).release();
}

PyObject* breadcrumb_state(const zelko::Breadcrumb& crumb) {
  return Kwargs().set("name", crumb.name).set("url", crumb.url).release();
}

PyObject* faq_item_state(const zelko::FAQItem& item) {
  return Kwargs()
      .set("question", item.question)
      .set("answer", item.answer)
      .release();
}

PyObject* robots_state(const zelko::Robots& robots) {
  return Kwargs()
      .set("index", robots.index)
      .set("follow", robots.follow)
      .set("max_snippet", robots.max_snippet)
      .set("max_image_preview", robots.max_image_preview)
      .set("max_video_preview", robots.max_video_preview)
      .release();
}

PyObject* policy_state(const PolicyRecord& policy) {
  return Kwargs()
      .set("enforce_https", policy.enforce_https)
      .set("lowercase_paths", policy.lowercase_paths)
      .set("trailing_slash", policy.trailing_slash)
      .set("collapse_duplicate_slashes", policy.collapse_duplicate_slashes)
      .set("strip_tracking_params", policy.strip_tracking_params)
      .set("allowed_query_params", policy.allowed_query_params)
      .set("extra_tracking_params", policy.extra_tracking_params)
      .release();
}

PyObject* entity_state(const zelko::SEOEntity& entity) {
  return Kwargs()
      .set("entity_type", zelko::to_text(entity.entity_type))
      .set("slug", entity.slug)
      .set("title", entity.title)
      .set("excerpt", entity.excerpt)
      .set("body_html", entity.body_html)
      .set("status", entity.status)
      .object("featured_image", ClassId::SEOImage, entity.featured_image)
      .set("published_at", entity.published_at)
      .set("updated_at", entity.updated_at)
      .set("author_name", entity.author_name)
      .objects("breadcrumbs", ClassId::Breadcrumb, entity.breadcrumbs)
      .set("sku", entity.sku)
      .set("price", entity.price)
      .set("price_currency", entity.price_currency)
      .set("availability", entity.availability)
      .set("same_as", entity.same_as)
      .set("address", entity.address)
      .objects("faq_items", ClassId::FAQItem, entity.faq_items)
      .release();
}

PyObject* expectation_state(const zelko::SEOExpectation& expectation) {
  const auto& schema = expectation.schema;
  return Kwargs()
      .set("required", expectation.required)
      .set("forbidden", expectation.forbidden)
      .set("equals", expectation.equals)
      .set("not_equals", expectation.not_equals)
      .set("contains", expectation.contains)
      .set("matches", expectation.matches)
      .set("one_of", expectation.one_of)
      .set("min_length", expectation.min_length)
      .set("max_length", expectation.max_length)
      .set("min_items", expectation.min_items)
      .set("max_items", expectation.max_items)
      .set("indexable", expectation.indexable)
      .set("canonical", expectation.canonical)
      .set("schema_required", schema ? schema->required : std::nullopt)
      .set("schema_types", schema ? schema->types : std::nullopt)
      .set("og_required", section_flag(expectation.open_graph))
      .set("twitter_required", section_flag(expectation.twitter))
      .set("sitemap_required", section_flag(expectation.sitemap))
      .set("hreflang_required", section_flag(expectation.hreflang))
      .put("title", optional_expectation(expectation.title))
      .put("description", optional_expectation(expectation.description))
      .release();
}

PyObject* rule_state(const RuleRecord& rule) {
  return Kwargs()
      .set("match", rule.match)
      .put("expect", new_expectation(rule.expect))
      .set("severity", rule.severity)
      .release();
}

PyObject* contract_config_state(const zelko::SEOContractConfig& config) {
  return contract_kwargs(config.canonical_host, config.scheme, config.defaults,
                         config.rules, config.exceptions);
}

PyObject* registry_state(const RegistryRecord& /*registry*/) {
  // Nothing in Python can add a native builder, so every registry that
  // Python holds is empty.
  return PyDict_New();
}

PyObject* reduce_config(PyObject* self, PyObject* /*unused*/) {
  return read_record<ConfigRecord>(self, [](const ConfigRecord& record) {
    PyObject* state = config_kwargs(record.config);
    if (state == nullptr) return static_cast<PyObject*>(nullptr);
    if (!record.hooks && !record.schema_registry) {
      return reduce_value(ClassId::SEOConfig, state);
    }
    PyObject* attributes =
        Kwargs()
            .put("hooks", Py_NewRef(object_or_none(record.hooks.get())))
            .put("schema_registry",
                 Py_NewRef(object_or_none(record.schema_registry.get())))
            .release();
    if (attributes == nullptr) {
      Py_DECREF(state);
      return static_cast<PyObject*>(nullptr);
    }
    return reduce_value(ClassId::SEOConfig, state, attributes);
  });
}

PyObject* reduce_overrides(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::SEOOverrides>(
      self, [](const zelko::SEOOverrides& overrides) -> PyObject* {
        PyRef kwargs = PyRef::steal(overrides_kwargs(overrides));
        if (!kwargs) return nullptr;
        PyRef schema = PyRef::steal(
            overrides.schema_jsonld
                ? new_str(zelko::write_json(*overrides.schema_jsonld, false))
                : Py_NewRef(Py_None));
        if (!schema) return nullptr;
        PyObject* state = Py_BuildValue("(OO)", kwargs.get(), schema.get());
        if (state == nullptr) return nullptr;
        return reduce_value(ClassId::SEOOverrides, state);
      });
}

PyObject* payload_state(const zelko::SEOPayload& payload) {
  return new_str(zelko::to_json_compact(payload));
}

PyObject* issue_state(const IssueRecord& issue) {
  PyRef fields[] = {
      PyRef::steal(new_str(issue.rule_id)),
      PyRef::steal(new_str(zelko::severity_text(issue.severity))),
      PyRef::steal(new_str(issue.message)),
      PyRef::steal(to_python(issue.url)),
      PyRef::steal(new_str(issue.details_json)),
  };
  for (const PyRef& field : fields) {
    if (!field) return nullptr;
  }
  return Py_BuildValue("(OOOOO)", fields[0].get(), fields[1].get(),
                       fields[2].get(), fields[3].get(), fields[4].get());
}

PyObject* contract_state(const zelko::SEOContract& contract) {
  return contract_kwargs(contract.canonical_host(), contract.scheme(),
                         contract.defaults(), contract.rules(),
                         contract.exceptions());
}

PyObject* py_restore(PyObject* /*module*/, PyObject* args) {
  return guarded([&]() -> PyObject* {
    const char* name = nullptr;
    PyObject* state = nullptr;
    if (!PyArg_ParseTuple(args, "sO:_restore", &name, &state)) return nullptr;
    std::optional<ClassId> id = class_named(name);
    if (!id) {
      PyErr_Format(PyExc_TypeError, "_restore: no class named %s", name);
      return nullptr;
    }
    switch (*id) {
      case ClassId::OGPayload:
        return restore_tags<zelko::OGPayload>(*id, state);
      case ClassId::TwitterPayload:
        return restore_tags<zelko::TwitterPayload>(*id, state);
      case ClassId::SEOPayload:
        return restore_payload(state);
      case ClassId::SEOIssue:
        return restore_issue(state);
      case ClassId::SEOContract:
        return restore_contract(state);
      case ClassId::SEOOverrides:
        return restore_overrides(state);
      default:
        return call_class(*id, state);
    }
  });
}

}  // namespace zelko::py
