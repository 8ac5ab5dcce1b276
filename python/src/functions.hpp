// The module functions and their docstrings, listed in module.cpp's function
// table. Each is METH_VARARGS | METH_KEYWORDS: (module, args, kwargs).
#pragma once

#include "binding.hpp"

namespace zelko::py {

PyObject* py_build_seo_contract(PyObject* module, PyObject* args,
                                PyObject* kwargs);
PyObject* py_build_seo_payload(PyObject* module, PyObject* args,
                               PyObject* kwargs);
PyObject* py_build_seo_payload_dict(PyObject* module, PyObject* args,
                                    PyObject* kwargs);
PyObject* py_build_seo_payload_with_overrides(PyObject* module, PyObject* args,
                                              PyObject* kwargs);
PyObject* py_clean_query_fn(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* py_clean_url_fn(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* py_normalize_path_fn(PyObject* module, PyObject* args,
                               PyObject* kwargs);
PyObject* py_normalize_public_url_fn(PyObject* module, PyObject* args,
                                     PyObject* kwargs);
PyObject* py_validate_payload(PyObject* module, PyObject* args,
                              PyObject* kwargs);

extern const char kBuildSeoContractDoc[];
extern const char kBuildSeoPayloadDoc[];
extern const char kBuildSeoPayloadDictDoc[];
extern const char kBuildSeoPayloadWithOverridesDoc[];
extern const char kCleanQueryDoc[];
extern const char kCleanUrlDoc[];
extern const char kNormalizePathDoc[];
extern const char kNormalizePublicUrlDoc[];
extern const char kValidatePayloadDoc[];

}  // namespace zelko::py
