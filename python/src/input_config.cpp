// SEOConfig: the validated site-wide configuration, plus the two Python-side
// registries (hooks, schema_registry) kept as plain object references.
#include <array>
#include <utility>

#include "inputs.hpp"
#include "pickling.hpp"

namespace zelko::py {
namespace {

constexpr const char* kConfigNames[] = {
    "canonical_host",   "public_base_url",     "url_policy",
    "default_robots",   "default_og_image",    "site_name",
    "title_template",   "search_robots",       "auto_generate_schema",
    "publisher_name",   "publisher_logo",      "locale",
    "locale_alternate", "twitter_site",        "emit_warnings",
    "schema_type_map",  "search_url_template", "hooks",
    "schema_registry"};
constexpr std::size_t kConfigArity = std::size(kConfigNames);

using TypePairs = std::vector<std::pair<std::string, std::string>>;

// Every argument converted, nothing checked yet.
struct ConfigArguments {
  ConfigRecord record;
  std::optional<PolicyRecord> policy;
  std::optional<zelko::Robots> default_robots;
  std::optional<zelko::Robots> search_robots;
  std::optional<TypePairs> schema_type_map;
};

bool convert_config_arguments(const std::array<PyObject*, kConfigArity>& arg,
                              ConfigArguments& out) {
  zelko::SEOConfig& config = out.record.config;
  auto type_pairs = [](PyObject* value, const char* name, TypePairs& pairs) {
    return arg_pair_list(value, name, pairs, arg_text, arg_text);
  };
  return arg_text(arg[0], "canonical_host", config.canonical_host) &&
         arg_text(arg[1], "public_base_url", config.public_base_url) &&
         arg_optional_record(arg[2], "url_policy", ClassId::URLPolicy,
                             out.policy) &&
         arg_optional_record(arg[3], "default_robots", ClassId::Robots,
                             out.default_robots) &&
         arg_optional_record(arg[4], "default_og_image", ClassId::SEOImage,
                             config.default_og_image) &&
         arg_optional_text(arg[5], "site_name", config.site_name) &&
         arg_optional_text(arg[6], "title_template", config.title_template) &&
         arg_optional_record(arg[7], "search_robots", ClassId::Robots,
                             out.search_robots) &&
         arg_flag(arg[8], "auto_generate_schema",
                  config.auto_generate_schema) &&
         arg_optional_text(arg[9], "publisher_name", config.publisher_name) &&
         arg_optional_text(arg[10], "publisher_logo", config.publisher_logo) &&
         arg_optional_text(arg[11], "locale", config.locale) &&
         arg_optional_text_list(arg[12], "locale_alternate",
                                config.locale_alternate) &&
         arg_optional_text(arg[13], "twitter_site", config.twitter_site) &&
         arg_flag(arg[14], "emit_warnings", config.emit_warnings) &&
         arg_optional(arg[15], "schema_type_map", out.schema_type_map,
                      type_pairs) &&
         arg_optional_text(arg[16], "search_url_template",
                           config.search_url_template) &&
         arg_object(arg[17], "hooks", out.record.hooks) &&
         arg_object(arg[18], "schema_registry", out.record.schema_registry);
}

// Applies the policy, robots and type map to the configuration, then
// validates it. The policy's trailing-slash text is parsed here.
bool complete_config(ConfigArguments& arguments) {
  zelko::SEOConfig& config = arguments.record.config;
  if (arguments.policy &&
      !to_engine_policy(*arguments.policy, config.url_policy)) {
    return false;
  }
  if (arguments.default_robots)
    config.default_robots = *arguments.default_robots;
  if (arguments.search_robots) config.search_robots = *arguments.search_robots;
  if (arguments.schema_type_map) {
    config.schema_type_map =
        zelko::schema_type_map_from_pairs(*arguments.schema_type_map);
  }
  zelko::Status valid = zelko::validate_config(config);
  if (!valid) {
    raise_engine_error(valid.error());
    return false;
  }
  return true;
}

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"SEOConfig", kConfigNames, 2, 2};
    std::array<PyObject*, kConfigArity> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    ConfigArguments arguments;
    if (!convert_config_arguments(arg, arguments) ||
        !complete_config(arguments)) {
      return nullptr;
    }
    return make_object(type, std::move(arguments.record));
  });
}

int config_traverse(PyObject* self, visitproc visit, void* arg) {
  // Instances of heap types own a reference to their type.
  Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self)));
  ConfigRecord& record = record_of<ConfigRecord>(self);
  Py_VISIT(record.hooks.get());
  Py_VISIT(record.schema_registry.get());
  return 0;
}

int config_clear(PyObject* self) {
  ConfigRecord& record = record_of<ConfigRecord>(self);
  release_without_recursion(std::move(record.hooks));
  release_without_recursion(std::move(record.schema_registry));
  return 0;
}

// A configuration may hold another as its hooks (any object is accepted), so
// freeing one can free a long chain: its references are dropped only after
// the object itself is gone, and without recursion.
void config_dealloc(PyObject* self) {
  ConfigRecord& record = record_of<ConfigRecord>(self);
  PyRef hooks = std::move(record.hooks);
  PyRef schema_registry = std::move(record.schema_registry);
  native_dealloc<ConfigRecord>(self);
  release_without_recursion(std::move(hooks));
  release_without_recursion(std::move(schema_registry));
}

PyObject* config_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<ConfigRecord>(self, [](const ConfigRecord& record) {
    return json_text_to_dict(config_json_text(record.config));
  });
}

// The two registries: reading returns the stored object itself.
template <PyRef ConfigRecord::*Slot>
PyObject* registry_getter(PyObject* self, void* /*closure*/) {
  return read_record<ConfigRecord>(self, [](const ConfigRecord& record) {
    PyObject* stored = (record.*Slot).get();
    return Py_NewRef(stored == nullptr ? Py_None : stored);
  });
}

template <PyRef ConfigRecord::*Slot>
int registry_setter(PyObject* self, PyObject* value, void* closure) {
  return guarded([&]() -> int {
    if (value == nullptr) {
      PyErr_Format(PyExc_AttributeError, "cannot delete attribute '%s'",
                   static_cast<const char*>(closure));
      return -1;
    }
    PyRef replaced = value == Py_None ? PyRef() : PyRef::borrow(value);
    {
      ExclusiveBorrow borrow(self);
      if (!borrow) return -1;
      std::swap(record_of<ConfigRecord>(self).*Slot, replaced);
    }
    // The old object is released after the borrow ends: its finalizer may
    // run Python code that reads this configuration.
    replaced.reset();
    return 0;
  });
}

PyGetSetDef kConfigGetSet[] = {
    {"hooks", registry_getter<&ConfigRecord::hooks>,
     registry_setter<&ConfigRecord::hooks>,
     "The hook registry run after each build, or None.",
     const_cast<char*>("hooks")},
    {"schema_registry", registry_getter<&ConfigRecord::schema_registry>,
     registry_setter<&ConfigRecord::schema_registry>,
     "The Python schema registry consulted after each build, or None.",
     const_cast<char*>("schema_registry")},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kConfigMethods[] = {
    {"__reduce__", reduce_config, METH_NOARGS, kReduceDoc},
    {"to_dict", config_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The configuration as a dict with sorted keys. \"title_template\" is "
     "always present (None when not set); hooks and schema_registry never "
     "appear."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kConfigSlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "SEOConfig(canonical_host, public_base_url, *, url_policy=None, "
         "default_robots=None, default_og_image=None, site_name=None, "
         "title_template=None, search_robots=None, auto_generate_schema=True, "
         "publisher_name=None, publisher_logo=None, locale=None, "
         "locale_alternate=None, twitter_site=None, emit_warnings=False, "
         "schema_type_map=None, search_url_template=None, hooks=None, "
         "schema_registry=None)\n"
         "--\n\n"
         "Site-wide SEO configuration, validated when it is made.\n\n"
         "hooks is an optional HookRegistry whose post_process hooks may "
         "rewrite every built payload; schema_registry is an optional "
         "zelko.registry.SchemaRegistry whose generators may replace the "
         "generated JSON-LD. Both are kept as given and may be reassigned.")},
    {Py_tp_new, as_slot(config_new)},
    {Py_tp_dealloc, as_slot(config_dealloc)},
    {Py_tp_traverse, as_slot(config_traverse)},
    {Py_tp_clear, as_slot(config_clear)},
    {Py_tp_getset, kConfigGetSet},
    {Py_tp_methods, kConfigMethods},
    {0, nullptr},
};

PyType_Spec kConfigSpec = {"builtins.SEOConfig",
                           sizeof(NativeObject<ConfigRecord>), 0, kGcClassFlags,
                           kConfigSlots};

}  // namespace

const ClassDef kSEOConfigClass = {ClassId::SEOConfig, &kConfigSpec};

PyObject* new_config_copy_without_hooks(const zelko::SEOConfig& config) {
  return make_object(ClassId::SEOConfig, ConfigRecord{config, {}, {}});
}

}  // namespace zelko::py
