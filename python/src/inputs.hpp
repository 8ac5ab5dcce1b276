// The nine input value classes and what the rest of the binding needs from
// them: their class definitions, typed access to the records they own and
// constructors of new objects. The classes themselves are made from the
// engine's field tables (record_fields.hpp).
#pragma once

#include <string>
#include <vector>

#include "binding.hpp"
#include "zelko/records.hpp"
#include "zelko/robots.hpp"

namespace zelko::py {

extern const ClassDef kBreadcrumbClass;
extern const ClassDef kFAQItemClass;
extern const ClassDef kRobotsClass;
extern const ClassDef kSEOAuthorClass;
extern const ClassDef kSEOConfigClass;
extern const ClassDef kSEOEntityClass;
extern const ClassDef kSEOImageClass;
extern const ClassDef kSEOOverridesClass;
extern const ClassDef kURLPolicyClass;

// What a Python URLPolicy holds: the engine policy, with the trailing-slash
// rule kept as the caller's text until the policy is used (its engine member
// is then set from the text).
struct PolicyRecord {
  zelko::URLPolicy policy;
  std::string trailing_slash = "never";
};

// What a Python SEOConfig holds: the validated engine configuration and the
// two Python-side registries, which never reach the engine.
struct ConfigRecord {
  zelko::SEOConfig config;
  PyRef hooks;            // empty when None
  PyRef schema_registry;  // empty when None
};

// Record types per class (the Record of NativeObject<Record>):
//   SEOImage -> zelko::SEOImage      SEOAuthor -> zelko::SEOAuthor
//   Breadcrumb -> zelko::Breadcrumb  FAQItem -> zelko::FAQItem
//   Robots -> zelko::Robots          URLPolicy -> PolicyRecord
//   SEOEntity -> zelko::SEOEntity    SEOConfig -> ConfigRecord
//   SEOOverrides -> zelko::SEOOverrides
// Read them with record_of<Record>(object) under a SharedBorrow, after an
// is_instance() check.

// The engine policy of a URLPolicy record; an unknown trailing-slash text
// raises ValueError "invalid trailing_slash: <text>".
[[nodiscard]] bool to_engine_policy(const PolicyRecord& record,
                                    zelko::URLPolicy& out);

// The configuration record of an SEOConfig object (caller holds a borrow).
[[nodiscard]] inline const zelko::SEOConfig& config_record(PyObject* config) {
  return record_of<ConfigRecord>(config).config;
}
// The hooks / schema_registry of an SEOConfig object, borrowed; null when
// None (caller holds a borrow of the config while using them).
[[nodiscard]] inline PyObject* config_hooks(PyObject* config) {
  return record_of<ConfigRecord>(config).hooks.get();
}
[[nodiscard]] inline PyObject* config_schema_registry(PyObject* config) {
  return record_of<ConfigRecord>(config).schema_registry.get();
}

// New objects holding copies of engine records (nullptr with the error set).
[[nodiscard]] PyObject* new_entity_object(const zelko::SEOEntity& entity);
// A new SEOConfig holding a copy of `config`, with hooks and schema_registry
// both None.
[[nodiscard]] PyObject* new_config_copy_without_hooks(
    const zelko::SEOConfig& config);

}  // namespace zelko::py
