#include "structured_data.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "classes.hpp"
#include "json_values.hpp"
#include "results.hpp"
#include "values.hpp"
#include "zelko/structured_data.hpp"

namespace zelko::py {
namespace {

PyObject* issue_list(const std::vector<zelko::SEOIssue>& issues) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(issues.size())));
  if (!list) return nullptr;
  for (std::size_t index = 0; index < issues.size(); ++index) {
    PyObject* issue = new_issue_object(issues[index]);
    if (issue == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(index), issue);
  }
  return list.release();
}

// The checked document of a payload: its JSON-LD, read in place under a
// shared borrow (no copy), or null when it has none.
PyObject* check_payload(PyObject* payload,
                        const std::vector<std::string>& rich_results) {
  SharedBorrow borrow(payload);
  if (!borrow) return nullptr;
  const zelko::SEOPayload& record = record_of<zelko::SEOPayload>(payload);
  static const zelko::JsonValue kNothing;
  return issue_list(zelko::check_structured_data(
      record.schema_jsonld ? *record.schema_jsonld : kNothing, rich_results));
}

}  // namespace

PyObject* py_check_structured_data(PyObject* /*module*/, PyObject* args,
                                   PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"value", "rich_results"};
    static constexpr Signature kSignature{"_check_structured_data", kNames, 2,
                                          2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::vector<std::string> rich_results;
    if (!arg_text_list(arg[1], "rich_results", rich_results)) return nullptr;
    if (is_instance(arg[0], ClassId::SEOPayload)) {
      return check_payload(arg[0], rich_results);
    }
    zelko::JsonValue document;
    if (PyUnicode_Check(arg[0])) {
      std::string_view text;
      if (!arg_text_view(arg[0], "value", text)) return nullptr;
      zelko::Result<zelko::JsonValue> parsed = zelko::parse_json(text);
      if (!parsed) {
        PyErr_Format(PyExc_ValueError, "structured data is not JSON: %s",
                     parsed.error().message().c_str());
        return nullptr;
      }
      document = std::move(parsed).value();
    } else if (!python_to_json(arg[0], document)) {
      return nullptr;
    }
    return issue_list(zelko::check_structured_data(document, rich_results));
  });
}

PyObject* py_schema_vocabulary(PyObject* /*module*/, PyObject* /*unused*/) {
  return guarded([&]() -> PyObject* {
    PyRef release = PyRef::steal(new_str(zelko::schema_vocabulary_release()));
    PyRef types = PyRef::steal(to_python(zelko::rich_result_types()));
    if (!release || !types) return nullptr;
    return PyTuple_Pack(2, release.get(), types.get());
  });
}

PyObject* py_is_rich_result_type(PyObject* /*module*/, PyObject* name) {
  return guarded([&]() -> PyObject* {
    std::string_view text;
    if (!arg_text_view(name, "name", text)) return nullptr;
    return to_python(zelko::is_rich_result_type(text));
  });
}

}  // namespace zelko::py
