// Private module functions for batch builds (not part of __all__).
#pragma once

#include "binding.hpp"

namespace zelko::py {

// _build_records(config, lines, first_line) -> list[str | None]: the record
// of each line (bytes or str in the page-file schema), numbered from
// first_line, built with the GIL released; None where the line needs the
// package's loader (an error to report, or input only the loader takes).
PyObject* py_build_records(PyObject* module, PyObject* args, PyObject* kwargs);

// _page_record(line, route, payload) -> str: the record of a payload built
// by the package itself (the path that runs hooks and registries).
PyObject* py_page_record(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace zelko::py
