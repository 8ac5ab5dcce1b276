// SEOConfig: the validated site-wide configuration, made from its field
// table, plus the two Python-side registries (hooks, schema_registry) kept as
// plain object references.
#include <array>
#include <span>
#include <utility>

#include "record_fields.hpp"

namespace zelko::py {
namespace {

constexpr std::array<const char*, 2> kRegistryNames{"hooks", "schema_registry"};
constexpr std::size_t kRowCount = zelko::kInputFieldCount<zelko::SEOConfig>;

// The rows, then the registries; then the configuration is validated. The
// policy's trailing-slash text is parsed when its row is read.
PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr auto kNames =
        parameter_names<zelko::SEOConfig>(kRegistryNames);
    static constexpr Signature kSignature{"SEOConfig", kNames,
                                          kPositionalCount<zelko::SEOConfig>,
                                          kPositionalCount<zelko::SEOConfig>};
    std::array<PyObject*, kNames.size()> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    ConfigRecord record;
    if (!read_rows<zelko::SEOConfig>(std::span(arg).first(kRowCount), record) ||
        !arg_object(arg[kRowCount], kRegistryNames[0], record.hooks) ||
        !arg_object(arg[kRowCount + 1], kRegistryNames[1],
                    record.schema_registry)) {
      return nullptr;
    }
    zelko::Status valid = zelko::validate_config(record.config);
    if (!valid) return raise_engine_error(valid.error());
    return make_object(type, std::move(record));
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
    return fields::record_dict(record.config, /*sorted=*/true);
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

const PyGetSetDef kRegistryProperties[] = {
    {"hooks", registry_getter<&ConfigRecord::hooks>,
     registry_setter<&ConfigRecord::hooks>,
     "The hook registry run after each build, or None.",
     const_cast<char*>("hooks")},
    {"schema_registry", registry_getter<&ConfigRecord::schema_registry>,
     registry_setter<&ConfigRecord::schema_registry>,
     "The Python schema registry consulted after each build, or None.",
     const_cast<char*>("schema_registry")},
};

// The keyword arguments of the record; the registries travel as settable
// attributes, applied after the object is made, so a configuration whose
// hooks refer back to it keeps that cycle.
PyObject* reduce_config(PyObject* self, PyObject* /*unused*/) {
  return read_record<ConfigRecord>(self, [](const ConfigRecord& record) {
    PyObject* state = record_state<zelko::SEOConfig>(record);
    if (state == nullptr) return static_cast<PyObject*>(nullptr);
    if (!record.hooks && !record.schema_registry) {
      return reduce_value(ClassId::SEOConfig, state);
    }
    auto stored = [](const PyRef& slot) {
      return Py_NewRef(slot ? slot.get() : Py_None);
    };
    PyRef attributes = PyRef::steal(PyDict_New());
    if (!attributes ||
        !dict_set(attributes.get(), "hooks", stored(record.hooks)) ||
        !dict_set(attributes.get(), "schema_registry",
                  stored(record.schema_registry))) {
      Py_DECREF(state);
      return static_cast<PyObject*>(nullptr);
    }
    return reduce_value(ClassId::SEOConfig, state, attributes.release());
  });
}

const PyMethodDef kConfigMethods[] = {
    {"__reduce__", reduce_config, METH_NOARGS, kReduceDoc},
    {"to_dict", config_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The configuration as a dict with sorted keys. \"title_template\" is "
     "always present (None when not set); hooks and schema_registry never "
     "appear."},
};

const PyType_Slot kConfigSlots[] = {
    {Py_tp_new, as_slot(config_new)},
    {Py_tp_dealloc, as_slot(config_dealloc)},
    {Py_tp_traverse, as_slot(config_traverse)},
    {Py_tp_clear, as_slot(config_clear)},
};

}  // namespace

const ClassDef kSEOConfigClass = record_class<zelko::SEOConfig>({
    .methods = kConfigMethods,
    .properties = kRegistryProperties,
    .extra_parameters = kRegistryNames,
    .extra_doc =
        "hooks is an optional HookRegistry whose post_process hooks may "
        "rewrite every built payload; schema_registry is an optional "
        "zelko.registry.SchemaRegistry whose generators may replace the "
        "generated JSON-LD. Both are kept as given and may be reassigned.",
    .slots = kConfigSlots,
    .flags = kGcClassFlags,
    .generic_reduce = false,
});

PyObject* new_config_copy_without_hooks(const zelko::SEOConfig& config) {
  return make_object(ClassId::SEOConfig, ConfigRecord{config, {}, {}});
}

}  // namespace zelko::py
