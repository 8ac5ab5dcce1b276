// The value types of the input classes' rows, and the assembly of a class
// from its parts.
#include "record_fields.hpp"

namespace zelko::py {
namespace fields {

PyObject* make_from_mapping(ClassId id, PyObject* mapping, const char* name) {
  PyRef no_args = PyRef::steal(PyTuple_New(0));
  if (!no_args) return nullptr;
  PyObject* made = PyObject_Call(reinterpret_cast<PyObject*>(class_object(id)),
                                 no_args.get(), mapping);
  if (made == nullptr && PyErr_ExceptionMatches(PyExc_TypeError)) {
    // "SiteHead() got an unexpected keyword argument" says too little.
    PyObject* type = nullptr;
    PyObject* error = nullptr;
    PyObject* trace = nullptr;
    PyErr_Fetch(&type, &error, &trace);
    PyErr_NormalizeException(&type, &error, &trace);
    PyRef text = PyRef::steal(error ? PyObject_Str(error) : nullptr);
    Py_XDECREF(type);
    Py_XDECREF(error);
    Py_XDECREF(trace);
    if (!text) return nullptr;
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
    if (utf8 == nullptr) return nullptr;
    raise_with_field(PyExc_TypeError,
                     "argument '" + std::string(name) + "': " +
                         std::string(utf8, static_cast<std::size_t>(size)),
                     name);
  }
  return made;
}

PyRef time_text(PyObject* value, const char* name) {
  PyRef module = import_module("datetime");
  if (!module) return {};
  PyRef date_type = get_attribute(module.get(), "date");
  PyRef datetime_type = get_attribute(module.get(), "datetime");
  if (!date_type || !datetime_type) return {};
  const int is_date = PyObject_IsInstance(value, date_type.get());
  if (is_date < 0) return {};
  if (is_date == 0) return PyRef::borrow(value);
  const int is_datetime = PyObject_IsInstance(value, datetime_type.get());
  if (is_datetime < 0) return {};
  if (is_datetime == 1) {
    PyRef offset =
        PyRef::steal(PyObject_CallMethod(value, "utcoffset", nullptr));
    if (!offset) return {};
    if (offset.get() == Py_None) {
      raise_with_field(PyExc_ValueError,
                       std::string(name) +
                           ": a naive datetime has no time zone; give it a "
                           "tzinfo",
                       name);
      return {};
    }
  }
  return PyRef::steal(PyObject_CallMethod(value, "isoformat", nullptr));
}

bool read_argument(PyObject* value, const char* name, zelko::MetaPairs& out) {
  if (value == Py_None) return true;
  if (PyDict_Check(value)) {
    PyRef items = PyRef::steal(PyDict_Items(value));
    return items && arg_pair_list(items.get(), name, out, arg_text, arg_text);
  }
  return arg_pair_list(value, name, out, arg_text, arg_text);
}

bool read_argument(PyObject* value, const char* name, zelko::ThemeColors& out) {
  if (value == Py_None) return true;
  if (PyUnicode_Check(value)) {
    zelko::ThemeColor color;
    if (!arg_text(value, name, color.color)) return false;
    out = {std::move(color)};
    return true;
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> pairs;
  if (!arg_pair_list(value, name, pairs, arg_text, arg_optional_text))
    return false;
  out.clear();
  for (auto& [color, media] : pairs) {
    out.push_back({std::move(color), std::move(media)});
  }
  return true;
}

bool read_argument(PyObject* value, const char* name,
                   zelko::CrawlerRobots& out) {
  if (PyTuple_Check(value) && PyTuple_Size(value) == 2) {
    return read_argument(PyTuple_GetItem(value, 0), name, out.robots) &&
           read_argument(PyTuple_GetItem(value, 1), name, out.extra);
  }
  return read_argument(value, name, out.robots);
}

PyObject* argument_of(const zelko::MetaPairs& pairs) {
  return list_of(pairs, [](const auto& pair) -> PyObject* {
    return Py_BuildValue("(NN)", new_str(pair.first), new_str(pair.second));
  });
}

PyObject* argument_of(const zelko::ThemeColors& colors) {
  return list_of(colors, [](const zelko::ThemeColor& color) -> PyObject* {
    return Py_BuildValue("(NN)", new_str(color.color), to_python(color.media));
  });
}

PyObject* argument_of(const zelko::CrawlerRobots& robots) {
  return Py_BuildValue("(NN)", argument_of(robots.robots),
                       argument_of(robots.extra));
}

PyObject* dict_value_of(const zelko::MetaPairs& pairs) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [name, content] : pairs) {
    if (!dict_set(dict.get(), name.c_str(), new_str(content))) return nullptr;
  }
  return dict.release();
}

PyObject* dict_value_of(const zelko::ThemeColors& colors) {
  return list_of(colors, [](const zelko::ThemeColor& color) -> PyObject* {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !dict_set(dict.get(), "color", new_str(color.color)) ||
        !dict_set_present(dict.get(), "media", color.media)) {
      return nullptr;
    }
    return dict.release();
  });
}

PyObject* dict_value_of(const zelko::CrawlerRobots& robots) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict || !dict_set(dict.get(), "robots", dict_value_of(robots.robots)) ||
      !dict_set(dict.get(), "extra", dict_value_of(robots.extra))) {
    return nullptr;
  }
  return dict.release();
}

namespace {
PyObject* sorted_dict(PyObject* items) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  const Py_ssize_t size = PyList_Size(items);
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject* pair = PyList_GetItem(items, i);
    if (PyDict_SetItem(dict.get(), PyTuple_GetItem(pair, 0),
                       PyTuple_GetItem(pair, 1)) < 0) {
      return nullptr;
    }
  }
  return dict.release();
}
}  // namespace

bool read_argument(PyObject* value, const char* name, zelko::Identity& out) {
  if (is_instance(value, ClassId::Organization)) {
    zelko::Organization organization;
    if (!read_argument(value, name, organization)) return false;
    out = std::move(organization);
    return true;
  }
  if (is_instance(value, ClassId::Person)) {
    zelko::Person person;
    if (!read_argument(value, name, person)) return false;
    out = std::move(person);
    return true;
  }
  PyErr_Format(PyExc_TypeError,
               "argument '%s' must be Organization or Person, not %s", name,
               type_name(value).c_str());
  return false;
}

PyObject* argument_of(const zelko::Identity& identity) {
  return std::visit([](const auto& record) { return argument_of(record); },
                    identity);
}

PyObject* dict_value_of(const zelko::Identity& identity) {
  return std::visit(
      [](const auto& record) -> PyObject* {
        using Record = std::remove_cvref_t<decltype(record)>;
        PyRef dict = PyRef::steal(record_dict(record, /*sorted=*/false));
        if (!dict ||
            !dict_set(dict.get(), "type",
                      new_str(zelko::InputFields<Record>::record_name))) {
          return nullptr;
        }
        // Sorted keys, as every record's dict has them.
        PyRef items = PyRef::steal(PyDict_Items(dict.get()));
        if (!items || PyList_Sort(items.get()) < 0) return nullptr;
        return sorted_dict(items.get());
      },
      identity);
}

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
    return fields_of_class<
        zelko::SEOImage, zelko::SEOAuthor, zelko::Breadcrumb, zelko::FAQItem,
        zelko::Robots, zelko::URLPolicy, zelko::SEOEntity, zelko::SEOConfig,
        zelko::SEOOverrides, zelko::SEOExpectation, zelko::SEOContractRule,
        zelko::SEOContractConfig, zelko::Icon, zelko::Feed, zelko::Verification,
        zelko::AppLinks, zelko::SiteHead, zelko::Video, zelko::ArticleMeta,
        zelko::Organization, zelko::Person, zelko::RobotsExtra, zelko::PageHead,
        zelko::CardSettings>(cls);
  });
}

}  // namespace zelko::py
