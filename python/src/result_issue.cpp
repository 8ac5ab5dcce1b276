// SEOIssue (a validation finding) and SchemaRegistry (the native registry
// handle).
#include <array>
#include <string_view>
#include <vector>

#include "pickling.hpp"
#include "results.hpp"

namespace zelko::py {
namespace {

// ---------------------------------------------------------------------------
// SEOIssue

PyObject* issue_get_severity(PyObject* self, void* /*closure*/) {
  return read_record<IssueRecord>(self, [](const IssueRecord& issue) {
    return new_str(zelko::severity_text(issue.severity));
  });
}

PyObject* issue_get_details(PyObject* self, void* /*closure*/) {
  return read_record<IssueRecord>(self, [](const IssueRecord& issue) {
    zelko::Result<zelko::JsonValue> details =
        zelko::parse_json(issue.details_json);
    if (!details) return PyDict_New();
    return json_to_python(details.value(), 0);
  });
}

PyGetSetDef kIssueGetSet[] = {
    {"rule_id", member_getter<IssueRecord, &IssueRecord::rule_id>, nullptr,
     "The rule identifier, \"ZELKO101\" to \"ZELKO108\".", nullptr},
    {"severity", issue_get_severity, nullptr,
     "\"error\", \"warning\" or \"info\".", nullptr},
    {"message", member_getter<IssueRecord, &IssueRecord::message>, nullptr,
     "What the check found, in words.", nullptr},
    {"url", member_getter<IssueRecord, &IssueRecord::url>, nullptr,
     "The canonical URL the finding applies to, or None.", nullptr},
    {"details", issue_get_details, nullptr,
     "Structured data about the finding, as a new dict on every read.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kIssueSlots[] = {
    {Py_tp_doc, const_cast<char*>("A finding of the built-in payload checks.")},
    {Py_tp_dealloc, as_slot(native_dealloc<IssueRecord>)},
    {Py_tp_methods,
     kReduceOnlyMethods<IssueRecord, ClassId::SEOIssue, issue_state>},
    {Py_tp_getset, kIssueGetSet},
    {0, nullptr},
};

PyType_Spec kIssueSpec = {"builtins.SEOIssue",
                          sizeof(NativeObject<IssueRecord>), 0,
                          kNoConstructorFlags, kIssueSlots};

// ---------------------------------------------------------------------------
// SchemaRegistry

PyObject* registry_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"SchemaRegistry", {}, 0, 0};
    if (!bind_arguments(kSignature, args, kwargs, {})) return nullptr;
    return make_object(type, RegistryRecord{});
  });
}

PyObject* registry_has(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"schema_type"};
    static constexpr Signature kSignature{"has", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::string schema_type;
    if (!arg_text(arg[0], "schema_type", schema_type)) return nullptr;
    SharedBorrow borrow(self);
    if (!borrow) return nullptr;
    RegistryRecord::State& state = *record_of<RegistryRecord>(self).state;
    bool found = false;
    {
      std::lock_guard<std::mutex> hold(state.lock);
      found = state.builders.find(schema_type) != state.builders.end();
    }
    return to_python(found);
  });
}

PyObject* registry_list_types(PyObject* self, PyObject* /*unused*/) {
  return read_record<RegistryRecord>(self, [](const RegistryRecord& record) {
    std::vector<std::string> names;
    {
      std::lock_guard<std::mutex> hold(record.state->lock);
      names.reserve(record.state->builders.size());
      for (const auto& entry : record.state->builders) {
        names.push_back(entry.first);
      }
    }
    return to_python(names);
  });
}

PyMethodDef kRegistryMethods[] = {
    reduce_method<RegistryRecord, ClassId::SchemaRegistry, registry_state>(),
    {"has", as_method(registry_has), METH_VARARGS | METH_KEYWORDS,
     "has($self, schema_type)\n--\n\n"
     "Whether a native builder is registered under exactly this type name."},
    {"list_types", registry_list_types, METH_NOARGS,
     "list_types($self, /)\n--\n\n"
     "A new list of the registered type names, in ascending order."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kRegistrySlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "SchemaRegistry()\n--\n\n"
         "A native introspection handle for the engine's schema registry.\n\n"
         "Python callables are registered through "
         "zelko.registry.SchemaRegistry, which stores them and applies the "
         "generated schema around the build; this native type only exposes "
         "has() and list_types().")},
    {Py_tp_new, as_slot(registry_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<RegistryRecord>)},
    {Py_tp_methods, kRegistryMethods},
    {0, nullptr},
};

PyType_Spec kRegistrySpec = {"builtins.SchemaRegistry",
                             sizeof(NativeObject<RegistryRecord>), 0,
                             kClassFlags, kRegistrySlots};

}  // namespace

const ClassDef kSEOIssueClass = {ClassId::SEOIssue, &kIssueSpec};
const ClassDef kSchemaRegistryClass = {ClassId::SchemaRegistry, &kRegistrySpec};

PyObject* new_issue_object(const zelko::SEOIssue& issue) {
  return make_object(
      ClassId::SEOIssue,
      IssueRecord{issue.rule_id, issue.severity, issue.message, issue.url,
                  zelko::write_json(issue.details, false)});
}

}  // namespace zelko::py
