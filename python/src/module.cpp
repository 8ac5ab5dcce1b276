// The _zelko_native module: definition, execution step and the lists of
// what it holds.
#include "batch.hpp"
#include "binding.hpp"
#include "crawl.hpp"
#include "functions.hpp"
#include "head.hpp"
#include "head_facts.hpp"
#include "html_page.hpp"
#include "inputs.hpp"
#include "pickling.hpp"
#include "record_fields.hpp"
#include "results.hpp"
#include "structured_data.hpp"

namespace zelko::py {
namespace {

// Every class of the module. A class is listed once, by its ClassDef; the
// order here does not matter (ClassId fixes the order in the module).
const ClassDef* const kClassDefs[] = {
    &kBreadcrumbClass,
    &kFAQItemClass,
    &kRobotsClass,
    &kSEOAuthorClass,
    &kSEOConfigClass,
    &kSEOEntityClass,
    &kSEOImageClass,
    &kSEOOverridesClass,
    &kURLPolicyClass,
    &kOGPayloadClass,
    &kSEOContractClass,
    &kSEOContractConfigClass,
    &kSEOContractRuleClass,
    &kSEOExpectationClass,
    &kSEOIssueClass,
    &kSEOPayloadClass,
    &kSchemaRegistryClass,
    &kTwitterPayloadClass,
    &kAppLinksClass,
    &kArticleMetaClass,
    &kFeedClass,
    &kIconClass,
    &kOrganizationClass,
    &kPersonClass,
    &kPageHeadClass,
    &kRobotsExtraClass,
    &kSEOHeadClass,
    &kSiteHeadClass,
    &kVerificationClass,
    &kVideoClass,
    &kCardSettingsClass,
};

// The module functions, in ascending order of their names (the order of
// __all__). Each is METH_VARARGS | METH_KEYWORDS and binds its arguments
// with bind_arguments(); the table must outlive every function object.
constexpr int kFunctionFlags = METH_VARARGS | METH_KEYWORDS;
PyMethodDef kFunctionDefs[] = {
    {"build_seo_contract", as_method(py_build_seo_contract), kFunctionFlags,
     kBuildSeoContractDoc},
    {"build_seo_payload", as_method(py_build_seo_payload), kFunctionFlags,
     kBuildSeoPayloadDoc},
    {"build_seo_payload_dict", as_method(py_build_seo_payload_dict),
     kFunctionFlags, kBuildSeoPayloadDictDoc},
    {"build_seo_payload_with_overrides",
     as_method(py_build_seo_payload_with_overrides), kFunctionFlags,
     kBuildSeoPayloadWithOverridesDoc},
    {"clean_query_fn", as_method(py_clean_query_fn), kFunctionFlags,
     kCleanQueryDoc},
    {"clean_url_fn", as_method(py_clean_url_fn), kFunctionFlags, kCleanUrlDoc},
    {"normalize_path_fn", as_method(py_normalize_path_fn), kFunctionFlags,
     kNormalizePathDoc},
    {"normalize_public_url_fn", as_method(py_normalize_public_url_fn),
     kFunctionFlags, kNormalizePublicUrlDoc},
    {"validate_payload", as_method(py_validate_payload), kFunctionFlags,
     kValidatePayloadDoc},
    {nullptr, nullptr, 0, nullptr},
};

// Entry points the zelko package wraps: module attributes with private names,
// never added to __all__.
PyMethodDef kPrivateFunctionDefs[] = {
    {"_build_records", as_method(py_build_records), kFunctionFlags,
     "_build_records(config, lines, first_line)\n--\n\n"
     "Batch records of page lines; None where the package must read a line."},
    {"_check_structured_data", as_method(py_check_structured_data),
     kFunctionFlags,
     "_check_structured_data(value, rich_results)\n--\n\n"
     "Structured data findings (zelko.check_structured_data)."},
    {"_is_rich_result_type", py_is_rich_result_type, METH_O,
     "_is_rich_result_type(name, /)\n--\n\nWhether the checker knows the "
     "rich result of this type (or of a type it inherits from)."},
    {"_schema_vocabulary", py_schema_vocabulary, METH_NOARGS,
     "_schema_vocabulary()\n--\n\n(schema.org release, rich-result type "
     "names) of the built-in vocabulary table."},
    {"_head", as_method(py_head), kFunctionFlags,
     "_head(payload, config, site=None, page=None, alternates=None)\n--\n\n"
     "The whole head of a built payload (zelko.build_head)."},
    {"_head_extra_keys", py_head_extra_keys, METH_NOARGS,
     "_head_extra_keys()\n--\n\nThe head keys a contract can ask for: "
     "(key, kind, name) per row."},
    {"_head_function", py_head_function, METH_O,
     "_head_function(card_linker, /)\n--\n\nzelko.head.head_of, with "
     "card_linker(payload, config, site, page) linking a social card."},
    {"_page_html", as_method(py_page_html), kFunctionFlags,
     "_page_html(data, links, summary=False, reader=None)\n--\n\nWhat zelko "
     "check reads from a page's HTML: the head's facts, JSON-LD script "
     "texts, (with links) <a href> targets and (with summary) what the "
     "JSON-LD holds; a reader from _page_reader() keeps its parser from "
     "page to page."},
    {"_page_reader", py_page_reader, METH_NOARGS,
     "_page_reader()\n--\n\nA page reader for _page_html, which keeps its "
     "parser and memory from page to page."},
    {"_input_fields", py_input_fields, METH_O,
     "_input_fields(cls, /)\n--\n\nThe fields of an input class: (key, "
     "kind, required, description, nested class or None, (low, high) of an "
     "integer or None) per row."},
    {"_page_record", as_method(py_page_record), kFunctionFlags,
     "_page_record(line, route, payload)\n--\n\nThe batch record of a "
     "payload."},
    {"_restore", py_restore, METH_VARARGS,
     "_restore(name, state)\n--\n\nAn object from what its __reduce__ "
     "returned (pickle and copy call this)."},
    {nullptr, nullptr, 0, nullptr},
};

// Appends `name` to the module's __all__ (creating the list on first use)
// and sets the attribute. Steals `member`.
bool add_member(PyObject* module, const char* name, PyObject* member) {
  PyRef owned = PyRef::steal(member);
  if (!owned) return false;
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0)
      return false;
  }
  PyRef py_name = PyRef::steal(PyUnicode_FromString(name));
  if (!py_name || PyList_Append(all.get(), py_name.get()) < 0) return false;
  return PyObject_SetAttr(module, py_name.get(), owned.get()) == 0;
}

bool add_classes(PyObject* module) {
  if (!ensure_classes(kClassDefs)) return false;
  for (std::size_t index = 0; index < kClassCount; ++index) {
    auto id = static_cast<ClassId>(index);
    PyTypeObject* type = class_object(id);
    if (type == nullptr) continue;  // not part of this build
    std::string name(class_name(id));
    PyObject* object = Py_NewRef(reinterpret_cast<PyObject*>(type));
    // The classes of the whole head are attributes outside __all__.
    if (index >= kPublicClassCount) {
      if (PyModule_AddObject(module, name.c_str(), object) < 0) {
        Py_DECREF(object);
        return false;
      }
      continue;
    }
    if (!add_member(module, name.c_str(), object)) return false;
  }
  return true;
}

bool add_functions(PyObject* module) {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return false;
  for (PyMethodDef& def : kFunctionDefs) {
    if (def.ml_name == nullptr) break;
    PyObject* function =
        PyCMethod_New(&def, module, module_name.get(), nullptr);
    if (!add_member(module, def.ml_name, function)) return false;
  }
  return true;
}

bool add_exceptions(PyObject* module) {
  const std::array<PyObject*, kExceptionCount>* classes = exception_classes();
  if (classes == nullptr) return false;
  for (std::size_t index = 0; index < kExceptionCount; ++index) {
    if (!add_member(module, kExceptionNames[index],
                    Py_NewRef((*classes)[index]))) {
      return false;
    }
  }
  return true;
}

int exec_module(PyObject* module) {
  return guarded([&]() -> int {
    if (!PyModule_Check(module)) {
      PyErr_Format(PyExc_TypeError,
                   "'%s' object cannot be converted to 'PyModule'",
                   type_name(module).c_str());
      return -1;
    }
    track_forks();
    bool added = add_classes(module) && add_functions(module) &&
                 add_exceptions(module) && add_crawl_members(module) &&
                 PyModule_AddFunctions(module, kPrivateFunctionDefs) == 0;
    return added ? 0 : -1;
  });
}

PyModuleDef_Slot kModuleSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT,
    "_zelko_native",
    "Python bindings for the zelko engine core.",
    0,
    nullptr,
    kModuleSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace zelko::py

PyMODINIT_FUNC PyInit__zelko_native(void) {
  return PyModuleDef_Init(&zelko::py::kModuleDef);
}
