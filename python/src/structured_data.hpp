// The structured data checker's entry points, private module functions that
// zelko.check_structured_data wraps.
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _check_structured_data(value, rich_results): value is an SEOPayload (its
// JSON-LD is read in place), JSON text, or Python values; rich_results a
// sequence of str. A list of SEOIssue.
PyObject* py_check_structured_data(PyObject* module, PyObject* args,
                                   PyObject* kwargs);
// _schema_vocabulary() -> (release, rich-result type names).
PyObject* py_schema_vocabulary(PyObject* module, PyObject* unused);
// _is_rich_result_type(name) -> bool.
PyObject* py_is_rich_result_type(PyObject* module, PyObject* name);

}  // namespace zelko::py
