// The value types of the input classes' rows, and the assembly of a class
// from its parts.
#include "record_fields.hpp"

namespace zelko::py {
namespace fields {

bool read_argument(PyObject* value, const char* name, std::string& out) {
  return arg_text(value, name, out);
}
bool read_argument(PyObject* value, const char* name, bool& out) {
  return arg_flag(value, name, out);
}
bool read_argument(PyObject* value, const char* name, std::int32_t& out) {
  return arg_int32(value, name, out);
}
bool read_argument(PyObject* value, const char* name, std::uint32_t& out) {
  return arg_uint32(value, name, out);
}
bool read_argument(PyObject* value, const char* name, std::uint64_t& out) {
  return arg_uint64(value, name, out);
}
bool read_argument(PyObject* value, const char* name,
                   std::vector<std::string>& out) {
  return value == Py_None || arg_text_list(value, name, out);
}

bool read_argument(PyObject* value, const char* name, zelko::EntityType& out) {
  std::string text;
  if (!arg_text(value, name, text)) return false;
  zelko::Result<zelko::EntityType> type = zelko::parse_entity_type(text);
  if (!type) return raise_engine_error(type.error()) != nullptr;
  out = type.value();
  return true;
}

bool read_argument(PyObject* value, const char* name,
                   zelko::SchemaTypeMap& out) {
  if (value == Py_None) return true;
  std::vector<std::pair<std::string, std::string>> pairs;
  if (!arg_pair_list(value, name, pairs, arg_text, arg_text)) return false;
  out = zelko::schema_type_map_from_pairs(pairs);
  return true;
}

// json.dumps, then the engine's reader. Text the reader refuses (NaN and the
// infinities, which json.dumps writes as bare words, a lone surrogate, nesting
// deeper than the reader's limit) becomes JSON null, which adds no node to the
// payload; since that silently costs the page all its JSON-LD, it is announced
// with a RuntimeWarning. An exception of json.dumps propagates.
bool read_argument(PyObject* value, const char* name, zelko::JsonValue& out) {
  std::optional<zelko::Result<zelko::JsonValue>> read = dump_and_read(value);
  if (!read) return false;
  if (read->ok()) {
    out = std::move(*read).value();
    return true;
  }
  const std::string warning =
      std::string(name) +
      " override dropped: it is not valid JSON (NaN, infinity, a lone "
      "surrogate or nesting deeper than 128 levels): " +
      read->error().message();
  if (PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1) < 0) return false;
  out = zelko::JsonValue(nullptr);
  return true;
}

bool read_argument(PyObject* value, const char* name,
                   zelko::ExpectationMap& out) {
  if (value == Py_None) return true;  // keeps the map empty
  std::vector<std::pair<std::string, zelko::SEOExpectation>> pairs;
  auto expectation = [](PyObject* item, const char* param,
                        zelko::SEOExpectation& expect) {
    return arg_record(item, param, ClassId::SEOExpectation, expect);
  };
  if (!arg_pair_list(value, name, pairs, arg_text, expectation)) return false;
  out = zelko::build_exception_map(std::move(pairs));
  return true;
}

PyObject* argument_of(zelko::EntityType type) {
  return new_str(zelko::to_text(type));
}

PyObject* argument_of(const zelko::JsonValue& value) {
  return json_to_python(value);
}

PyObject* dict_value_of(zelko::EntityType type) {
  return new_str(zelko::enumerator_name(type));
}
PyObject* dict_value_of(zelko::TrailingSlash rule) {
  return new_str(zelko::enumerator_name(rule));
}

PyObject* dict_value_of(const zelko::SchemaTypeMap& map) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [entity_type, schema_type] : map) {
    PyRef type = PyRef::steal(new_str(schema_type));
    PyRef key = PyRef::steal(new_str(entity_type));
    if (!type || !key || PyDict_SetItem(dict.get(), key.get(), type.get()) < 0)
      return nullptr;
  }
  return dict.release();
}

PyObject* dict_value_of(const zelko::JsonValue& value) {
  return json_to_python(value);
}

}  // namespace fields

namespace detail {

ClassDef finish_class(ClassId id, ClassParts* parts, std::size_t basic_size,
                      const ClassOptions& options, PyType_Slot new_slot,
                      PyType_Slot dealloc_slot, PyType_Slot repr_slot) {
  // A slot the class gives itself replaces the generic one.
  auto given = [&](int slot) {
    for (const PyType_Slot& own : options.slots) {
      if (own.slot == slot) return true;
    }
    return false;
  };
  parts->slots.assign(options.slots.begin(), options.slots.end());
  for (PyType_Slot generic : {new_slot, dealloc_slot, repr_slot}) {
    if (!given(generic.slot)) parts->slots.push_back(generic);
  }
  parts->slots.push_back({Py_tp_doc, parts->doc.data()});
  parts->slots.push_back({Py_tp_methods, parts->methods.data()});
  parts->slots.push_back({Py_tp_getset, parts->properties.data()});
  parts->slots.push_back({0, nullptr});
  parts->spec = PyType_Spec{parts->name.c_str(), static_cast<int>(basic_size),
                            0, static_cast<unsigned int>(options.flags),
                            parts->slots.data()};
  return ClassDef{id, &parts->spec};
}

}  // namespace detail
}  // namespace zelko::py

namespace zelko::py {
namespace {

template <class... Records>
PyObject* fields_of_class(PyObject* cls) {
  PyObject* found = nullptr;
  bool matched = ((cls == reinterpret_cast<PyObject*>(
                              class_object(PythonClass<Records>::id)) &&
                   (found = field_list<Records>(), true)) ||
                  ...);
  if (matched) return found;
  PyErr_Format(PyExc_TypeError, "_input_fields: %s is not an input class",
               type_name(cls).c_str());
  return nullptr;
}

}  // namespace

PyObject* py_input_fields(PyObject* /*module*/, PyObject* cls) {
  return guarded([&]() -> PyObject* {
    return fields_of_class<zelko::SEOImage, zelko::SEOAuthor, zelko::Breadcrumb,
                           zelko::FAQItem, zelko::Robots, zelko::URLPolicy,
                           zelko::SEOEntity, zelko::SEOConfig,
                           zelko::SEOOverrides, zelko::SEOExpectation,
                           zelko::SEOContractRule, zelko::SEOContractConfig>(
        cls);
  });
}

}  // namespace zelko::py
