// The travel form of every class: states built from records, and _restore.
#include "pickling.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "payload_view.hpp"
#include "record_fields.hpp"
#include "zelko/contract.hpp"
#include "zelko/payload.hpp"

namespace zelko::py {
namespace {

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

PyObject* registry_state(const RegistryRecord& /*registry*/) {
  // Nothing in Python can add a native builder, so every registry that
  // Python holds is empty.
  return PyDict_New();
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

// The configuration the contract was built from, as SEOContractConfig's
// keyword arguments.
PyObject* contract_state(const zelko::SEOContract& contract) {
  return record_kwargs<zelko::SEOContractConfig>(zelko::SEOContractConfig{
      contract.canonical_host(), contract.scheme(), contract.defaults(),
      contract.rules(), contract.exceptions()});
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
