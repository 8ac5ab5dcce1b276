// The contract classes: SEOExpectation, SEOContractRule, SEOContractConfig
// (inputs of a contract) and SEOContract (a built contract).
#include <array>
#include <utility>
#include <vector>

#include "pickling.hpp"
#include "results.hpp"

namespace zelko::py {
namespace {

using zelko::SEOExpectation;

// ---------------------------------------------------------------------------
// SEOExpectation

constexpr const char* kExpectationNames[] = {"required",
                                             "forbidden",
                                             "equals",
                                             "not_equals",
                                             "contains",
                                             "matches",
                                             "one_of",
                                             "min_length",
                                             "max_length",
                                             "min_items",
                                             "max_items",
                                             "indexable",
                                             "canonical",
                                             "schema_required",
                                             "schema_types",
                                             "og_required",
                                             "twitter_required",
                                             "sitemap_required",
                                             "hreflang_required",
                                             "title",
                                             "description"};
constexpr std::size_t kExpectationArity = std::size(kExpectationNames);

using ExpectationArgs = std::array<PyObject*, kExpectationArity>;

bool arg_optional_count(PyObject* value, const char* name,
                        std::optional<std::uint64_t>& out) {
  return arg_optional(value, name, out, arg_uint64);
}

bool convert_plain_fields(const ExpectationArgs& arg, SEOExpectation& out) {
  return arg_optional_flag(arg[0], "required", out.required) &&
         arg_optional_flag(arg[1], "forbidden", out.forbidden) &&
         arg_optional_text(arg[2], "equals", out.equals) &&
         arg_optional_text(arg[3], "not_equals", out.not_equals) &&
         arg_optional_text(arg[4], "contains", out.contains) &&
         arg_optional_text(arg[5], "matches", out.matches) &&
         arg_optional_text_list(arg[6], "one_of", out.one_of) &&
         arg_optional_count(arg[7], "min_length", out.min_length) &&
         arg_optional_count(arg[8], "max_length", out.max_length) &&
         arg_optional_count(arg[9], "min_items", out.min_items) &&
         arg_optional_count(arg[10], "max_items", out.max_items) &&
         arg_optional_flag(arg[11], "indexable", out.indexable) &&
         arg_optional_text(arg[12], "canonical", out.canonical);
}

// A section ("open_graph", "twitter", ...) is present only when its flag
// was given.
void set_section(std::optional<zelko::SectionExpectation>& section,
                 const std::optional<bool>& required) {
  if (required) section = zelko::SectionExpectation{required};
}

bool convert_sections(const ExpectationArgs& arg, SEOExpectation& out) {
  std::optional<bool> schema_required;
  std::optional<std::vector<std::string>> schema_types;
  std::optional<bool> og_required;
  std::optional<bool> twitter_required;
  std::optional<bool> sitemap_required;
  std::optional<bool> hreflang_required;
  if (!arg_optional_flag(arg[13], "schema_required", schema_required) ||
      !arg_optional_text_list(arg[14], "schema_types", schema_types) ||
      !arg_optional_flag(arg[15], "og_required", og_required) ||
      !arg_optional_flag(arg[16], "twitter_required", twitter_required) ||
      !arg_optional_flag(arg[17], "sitemap_required", sitemap_required) ||
      !arg_optional_flag(arg[18], "hreflang_required", hreflang_required)) {
    return false;
  }
  // Types given without schema_required are kept rather than dropped: the
  // caller asked for them, and the contract can state types alone.
  if (schema_required || schema_types) {
    out.schema = zelko::SchemaExpectation{schema_required, schema_types};
  }
  set_section(out.open_graph, og_required);
  set_section(out.twitter, twitter_required);
  set_section(out.sitemap, sitemap_required);
  set_section(out.hreflang, hreflang_required);
  return true;
}

bool convert_nested(PyObject* value, const char* name,
                    zelko::OptionalBox<SEOExpectation>& out) {
  std::optional<SEOExpectation> nested;
  if (!arg_optional_record(value, name, ClassId::SEOExpectation, nested))
    return false;
  if (nested) out = std::move(*nested);
  return true;
}

PyObject* expectation_new(PyTypeObject* type, PyObject* args,
                          PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"SEOExpectation", kExpectationNames,
                                          0, 0};
    ExpectationArgs arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    SEOExpectation expectation;
    if (!convert_plain_fields(arg, expectation) ||
        !convert_sections(arg, expectation) ||
        !convert_nested(arg[19], "title", expectation.title) ||
        !convert_nested(arg[20], "description", expectation.description)) {
      return nullptr;
    }
    return make_object(type, std::move(expectation));
  });
}

PyGetSetDef kExpectationGetSet[] = {
    {"required", member_getter<SEOExpectation, &SEOExpectation::required>,
     nullptr, "Whether the field must be present, or None.", nullptr},
    {"indexable", member_getter<SEOExpectation, &SEOExpectation::indexable>,
     nullptr, "Whether the page must be indexable, or None.", nullptr},
    {"canonical", member_getter<SEOExpectation, &SEOExpectation::canonical>,
     nullptr, "The expected canonical behaviour, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kExpectationSlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "SEOExpectation(*, required=None, forbidden=None, equals=None, "
         "not_equals=None, contains=None, matches=None, one_of=None, "
         "min_length=None, max_length=None, min_items=None, max_items=None, "
         "indexable=None, canonical=None, schema_required=None, "
         "schema_types=None, og_required=None, twitter_required=None, "
         "sitemap_required=None, hreflang_required=None, title=None, "
         "description=None)\n"
         "--\n\n"
         "What a page's SEO metadata must satisfy; unset fields are not "
         "checked.")},
    {Py_tp_new, as_slot(expectation_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<SEOExpectation>)},
    {Py_tp_methods, kReduceOnlyMethods<SEOExpectation, ClassId::SEOExpectation,
                                       expectation_state>},
    {Py_tp_getset, kExpectationGetSet},
    {0, nullptr},
};

PyType_Spec kExpectationSpec = {"builtins.SEOExpectation",
                                sizeof(NativeObject<SEOExpectation>), 0,
                                kClassFlags, kExpectationSlots};

// ---------------------------------------------------------------------------
// SEOContractRule

PyObject* rule_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"match", "expect", "severity"};
    static constexpr Signature kSignature{"SEOContractRule", kNames, 2, 2};
    std::array<PyObject*, 3> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    RuleRecord rule;
    if (!arg_text(arg[0], "match", rule.match) ||
        !arg_record(arg[1], "expect", ClassId::SEOExpectation, rule.expect) ||
        !arg_optional_text(arg[2], "severity", rule.severity)) {
      return nullptr;
    }
    return make_object(type, std::move(rule));
  });
}

PyObject* rule_get_expect(PyObject* self, void* /*closure*/) {
  return read_record<RuleRecord>(self, [](const RuleRecord& rule) {
    return make_object(ClassId::SEOExpectation, SEOExpectation(rule.expect));
  });
}

PyGetSetDef kRuleGetSet[] = {
    {"match", member_getter<RuleRecord, &RuleRecord::match>, nullptr,
     "The route pattern, for example \"/blog/*\".", nullptr},
    {"expect", rule_get_expect, nullptr,
     "The expectation, as a new SEOExpectation.", nullptr},
    {"severity", member_getter<RuleRecord, &RuleRecord::severity>, nullptr,
     "The severity text as given, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kRuleSlots[] = {
    {Py_tp_doc,
     const_cast<char*>("SEOContractRule(match, expect, *, severity=None)\n"
                       "--\n\n"
                       "An expectation applied to the routes matching a "
                       "pattern.")},
    {Py_tp_new, as_slot(rule_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<RuleRecord>)},
    {Py_tp_methods,
     kReduceOnlyMethods<RuleRecord, ClassId::SEOContractRule, rule_state>},
    {Py_tp_getset, kRuleGetSet},
    {0, nullptr},
};

PyType_Spec kRuleSpec = {"builtins.SEOContractRule",
                         sizeof(NativeObject<RuleRecord>), 0, kClassFlags,
                         kRuleSlots};

// ---------------------------------------------------------------------------
// SEOContractConfig

using ExceptionPairs = std::vector<std::pair<std::string, SEOExpectation>>;

zelko::SEOContractRule to_engine_rule(RuleRecord rule) {
  std::optional<zelko::Severity> severity;
  if (rule.severity) severity = zelko::parse_severity(*rule.severity);
  return zelko::SEOContractRule{std::move(rule.match), std::move(rule.expect),
                                severity};
}

bool arg_exception_pairs(PyObject* value, const char* name,
                         ExceptionPairs& out) {
  auto expectation = [](PyObject* item, const char* param,
                        SEOExpectation& expect) {
    return arg_record(item, param, ClassId::SEOExpectation, expect);
  };
  return arg_pair_list(value, name, out, arg_text, expectation);
}

PyObject* contract_config_new(PyTypeObject* type, PyObject* args,
                              PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"canonical_host", "scheme",
                                             "defaults", "rules", "exceptions"};
    static constexpr Signature kSignature{"SEOContractConfig", kNames, 1, 1};
    std::array<PyObject*, 5> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::SEOContractConfig config;
    std::optional<SEOExpectation> defaults;
    std::optional<std::vector<RuleRecord>> rules;
    std::optional<ExceptionPairs> exceptions;
    auto rule_list = [](PyObject* value, const char* name,
                        std::vector<RuleRecord>& out) {
      return arg_record_list(value, name, ClassId::SEOContractRule, out);
    };
    if (!arg_text(arg[0], "canonical_host", config.canonical_host) ||
        !arg_text(arg[1], "scheme", config.scheme) ||
        !arg_optional_record(arg[2], "defaults", ClassId::SEOExpectation,
                             defaults) ||
        !arg_optional(arg[3], "rules", rules, rule_list) ||
        !arg_optional(arg[4], "exceptions", exceptions, arg_exception_pairs)) {
      return nullptr;
    }
    if (defaults) config.defaults = std::move(*defaults);
    if (rules) {
      config.rules.reserve(rules->size());
      for (RuleRecord& rule : *rules) {
        config.rules.push_back(to_engine_rule(std::move(rule)));
      }
    }
    if (exceptions) {
      config.exceptions = zelko::build_exception_map(std::move(*exceptions));
    }
    return make_object(type, std::move(config));
  });
}

PyType_Slot kContractConfigSlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "SEOContractConfig(canonical_host, *, scheme='https', defaults=None, "
         "rules=None, exceptions=None)\n"
         "--\n\n"
         "The input of build_seo_contract: site, default expectation, rules "
         "and per-route exceptions.")},
    {Py_tp_new, as_slot(contract_config_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::SEOContractConfig>)},
    {Py_tp_methods,
     kReduceOnlyMethods<zelko::SEOContractConfig, ClassId::SEOContractConfig,
                        contract_config_state>},
    {0, nullptr},
};

PyType_Spec kContractConfigSpec = {
    "builtins.SEOContractConfig",
    sizeof(NativeObject<zelko::SEOContractConfig>), 0, kClassFlags,
    kContractConfigSlots};

// ---------------------------------------------------------------------------
// SEOContract

using zelko::SEOContract;

PyObject* contract_get_version(PyObject* self, void* /*closure*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    return new_str(contract.contract_version());
  });
}

PyObject* contract_get_site(PyObject* self, void* /*closure*/) {
  // The "site" member of the contract's dictionary form, keys in order.
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    PyRef site = PyRef::steal(PyDict_New());
    if (!site ||
        !dict_set(site.get(), "canonical_host",
                  to_python(contract.canonical_host())) ||
        !dict_set(site.get(), "scheme", to_python(contract.scheme()))) {
      return static_cast<PyObject*>(nullptr);
    }
    return site.release();
  });
}

PyObject* contract_to_json(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    return new_str(contract.to_json());
  });
}

PyObject* contract_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    zelko::Result<zelko::JsonValue> value = contract.to_value();
    if (!value) return raise_display_value_error(value.error());
    return json_object_to_dict(value.value());
  });
}

PyObject* contract_hash(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    return new_str(contract.hash());
  });
}

PyObject* contract_write(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"path"};
    static constexpr Signature kSignature{"write", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::string path;
    if (!arg_text(arg[0], "path", path)) return nullptr;
    if (path.find('\0') != std::string::npos) {
      PyErr_SetString(PyExc_ValueError, "embedded null byte");
      return nullptr;
    }
    SharedBorrow borrow(self);
    if (!borrow) return nullptr;
    zelko::Status written = record_of<SEOContract>(self).write(path);
    if (!written) return raise_display_os_error(written.error());
    return Py_NewRef(Py_None);
  });
}

PyGetSetDef kContractGetSet[] = {
    {"contract_version", contract_get_version, nullptr,
     "The version of the contract format, \"1\".", nullptr},
    {"site", contract_get_site, nullptr,
     "A new dict with \"canonical_host\" and \"scheme\".", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kContractMethods[] = {
    reduce_method<SEOContract, ClassId::SEOContract, contract_state>(),
    {"to_json", contract_to_json, METH_NOARGS,
     "to_json($self, /)\n--\n\n"
     "The contract as pretty JSON text, keys in their fixed order."},
    {"to_dict", contract_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The contract as a new dict with sorted keys at every level."},
    {"hash", contract_hash, METH_NOARGS,
     "hash($self, /)\n--\n\n"
     "SHA-256 of the to_json() text, as 64 lower-case hex digits."},
    {"write", as_method(contract_write), METH_VARARGS | METH_KEYWORDS,
     "write($self, path)\n--\n\n"
     "Replaces the file at path with the to_json() text. Raises OSError "
     "when the file cannot be written."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kContractSlots[] = {
    {Py_tp_doc, const_cast<char*>("A machine-readable SEO contract, made by "
                                  "build_seo_contract.")},
    {Py_tp_dealloc, as_slot(native_dealloc<SEOContract>)},
    {Py_tp_getset, kContractGetSet},
    {Py_tp_methods, kContractMethods},
    {0, nullptr},
};

PyType_Spec kContractSpec = {"builtins.SEOContract",
                             sizeof(NativeObject<SEOContract>), 0,
                             kNoConstructorFlags, kContractSlots};

}  // namespace

const ClassDef kSEOExpectationClass = {ClassId::SEOExpectation,
                                       &kExpectationSpec};
const ClassDef kSEOContractRuleClass = {ClassId::SEOContractRule, &kRuleSpec};
const ClassDef kSEOContractConfigClass = {ClassId::SEOContractConfig,
                                          &kContractConfigSpec};
const ClassDef kSEOContractClass = {ClassId::SEOContract, &kContractSpec};

}  // namespace zelko::py
