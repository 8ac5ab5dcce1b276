// The post-build stages (see stages.hpp). The registry and hook objects are
// duck-typed: only the members named here are looked up and called.
#include "stages.hpp"

#include <string>
#include <utility>
#include <vector>

#include "inputs.hpp"
#include "payload_view.hpp"
#include "zelko/validation.hpp"

namespace zelko::py {
namespace {

// The entity and configuration as a stage hands them to Python: new objects
// holding copies, the configuration without hooks or registry, so that a
// hook that builds with it does not run the stages again.
struct StageArguments {
  PyRef entity;
  PyRef config;
};

bool make_stage_arguments(const zelko::SEOEntity& entity, PyObject* config,
                          StageArguments& out) {
  out.entity = PyRef::steal(new_entity_object(entity));
  if (!out.entity) return false;
  out.config =
      PyRef::steal(new_config_copy_without_hooks(config_record(config)));
  return static_cast<bool>(out.config);
}

// The "@type" of a payload's schema when it is a single object with a text
// type; arrays and untyped nodes are not looked at.
const std::string* single_schema_type(const zelko::SEOPayload& payload) {
  if (!payload.schema_jsonld || !payload.schema_jsonld->is_object())
    return nullptr;
  auto type = payload.schema_jsonld->find("@type");
  if (type == payload.schema_jsonld->end() || !type->is_string())
    return nullptr;
  return &type->get_ref<const std::string&>();
}

// has() must answer with a bool (a NumPy boolean also counts). -1 on error.
int registry_has(PyObject* registry, PyObject* schema_type) {
  PyObject* method = key_object(Key::has);
  if (method == nullptr) return -1;
  PyRef answer = PyRef::steal(
      PyObject_CallMethodObjArgs(registry, method, schema_type, nullptr));
  if (!answer) return -1;
  if (PyBool_Check(answer.get())) return answer.get() == Py_True ? 1 : 0;
  bool flag = false;
  if (arg_flag(answer.get(), "has", flag)) return flag ? 1 : 0;
  PyErr_Clear();
  PyErr_Format(PyExc_TypeError,
               "schema_registry.has() must return a bool, not %s",
               type_name(answer.get()).c_str());
  return -1;
}

PyObject* optional_str(const std::optional<std::string>& text) {
  return text ? new_str(*text) : Py_NewRef(Py_None);
}

// The registry's generate(schema_type, entity, config, canonical, title,
// description, image); a new reference, or null with the error set.
PyObject* registry_generate(PyObject* registry, PyObject* schema_type,
                            const zelko::SEOPayload& payload,
                            const StageArguments& arguments) {
  PyObject* method = key_object(Key::generate);
  if (method == nullptr) return nullptr;
  PyRef canonical = PyRef::steal(new_str(payload.canonical));
  PyRef title = PyRef::steal(new_str(payload.title));
  PyRef description = PyRef::steal(new_str(payload.description));
  PyRef image = PyRef::steal(optional_str(payload.og.image));
  if (!canonical || !title || !description || !image) return nullptr;
  return PyObject_CallMethodObjArgs(
      registry, method, schema_type, arguments.entity.get(),
      arguments.config.get(), canonical.get(), title.get(), description.get(),
      image.get(), nullptr);
}

bool run_schema_registry_stage(zelko::SEOPayload& payload,
                               const zelko::SEOEntity& entity,
                               PyObject* config) {
  PyRef registry = PyRef::borrow(config_schema_registry(config));
  if (!registry) return true;
  const std::string* type_text = single_schema_type(payload);
  if (type_text == nullptr) return true;
  PyRef schema_type = PyRef::steal(new_str(*type_text));
  if (!schema_type) return false;
  int has = registry_has(registry.get(), schema_type.get());
  if (has <= 0) return has == 0;
  StageArguments arguments;
  if (!make_stage_arguments(entity, config, arguments)) return false;
  PyRef generated = PyRef::steal(
      registry_generate(registry.get(), schema_type.get(), payload, arguments));
  if (!generated) return false;
  if (generated.get() == Py_None) return true;
  zelko::JsonValue schema;
  if (!python_to_json(generated.get(), schema)) return false;
  // The generated value replaces the schema whole, whatever its kind.
  payload.schema_jsonld = std::move(schema);
  return true;
}

// Calls hooks.run("post_process", view, entity, config) and picks the dict
// to read back: the returned one, or the (possibly mutated) view on None.
PyRef run_post_process(PyObject* hooks, PyObject* view,
                       const StageArguments& arguments) {
  PyObject* run_name = key_object(Key::run);
  PyObject* phase = key_object(Key::post_process);
  if (run_name == nullptr || phase == nullptr) return {};
  PyRef run = PyRef::steal(PyObject_GetAttr(hooks, run_name));
  if (!run) return {};
  PyRef result = PyRef::steal(PyObject_CallFunctionObjArgs(
      run.get(), phase, view, arguments.entity.get(), arguments.config.get(),
      nullptr));
  if (!result) return {};
  if (result.get() == Py_None) return PyRef::borrow(view);
  if (PyDict_Check(result.get())) return result;
  PyErr_SetString(PyExc_TypeError, "post_process hooks must return a dict");
  return {};
}

bool run_hook_stage(zelko::SEOPayload& payload, const zelko::SEOEntity& entity,
                    PyObject* config) {
  PyRef hooks = PyRef::borrow(config_hooks(config));
  if (!hooks) return true;
  PyRef view = PyRef::steal(payload_view(payload));
  if (!view) return false;
  StageArguments arguments;
  if (!make_stage_arguments(entity, config, arguments)) return false;
  PyRef chosen = run_post_process(hooks.get(), view.get(), arguments);
  if (!chosen) return false;
  // Always a round trip through JSON text, even when nothing changed, so the
  // payload is exactly what the dict says.
  zelko::JsonValue value;
  if (!python_to_json(chosen.get(), value)) return false;
  zelko::Result<zelko::SEOPayload> read = zelko::payload_from_value(value);
  if (!read) {
    raise_engine_error(read.error());
    return false;
  }
  payload = std::move(read).value();
  return true;
}

std::string warning_text(const zelko::SEOIssue& issue) {
  std::string text = "[" + issue.rule_id + "] " + issue.message;
  if (issue.url) text += " (" + *issue.url + ")";
  return text;
}

bool run_warnings_stage(const zelko::SEOPayload& payload, bool emit_warnings) {
  if (!emit_warnings) return true;
  std::vector<zelko::SEOIssue> issues = zelko::validate_payload(payload);
  if (issues.empty()) return true;
  PyRef module_name = PyRef::steal(PyUnicode_FromString("warnings"));
  if (!module_name) return false;
  PyRef warnings = PyRef::steal(PyImport_Import(module_name.get()));
  if (!warnings) return false;
  PyRef warn = get_attribute(warnings.get(), "warn");
  if (!warn) return false;
  for (const zelko::SEOIssue& issue : issues) {
    PyRef text = PyRef::steal(new_str(warning_text(issue)));
    if (!text) return false;
    // A filter that turns warnings into errors ends the build here.
    PyRef warned = PyRef::steal(
        PyObject_CallFunctionObjArgs(warn.get(), text.get(), nullptr));
    if (!warned) return false;
  }
  return true;
}

}  // namespace

bool run_post_build_stages(zelko::SEOPayload& payload,
                           const zelko::SEOEntity& entity, PyObject* config) {
  return run_schema_registry_stage(payload, entity, config) &&
         run_hook_stage(payload, entity, config) &&
         run_warnings_stage(payload, config_record(config).emit_warnings);
}

}  // namespace zelko::py
