// The batch entry points behind zelko's batch builds. They are module
// attributes with private names, outside __all__: the package wraps them.
#include "batch.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inputs.hpp"
#include "record_fields.hpp"
#include "zelko/batch.hpp"

namespace zelko::py {
namespace {

// The UTF-8 text of a line given as bytes or str. A str that cannot be
// encoded (a lone surrogate) gives nullopt with no error set: the package's
// loader reports such a line.
std::optional<std::string_view> line_text(PyObject* line) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_Check(line)) {
    if (PyBytes_AsStringAndSize(line, &data, &size) < 0) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(size));
  }
  if (PyUnicode_Check(line)) {
    const char* text = PyUnicode_AsUTF8AndSize(line, &size);
    if (text == nullptr) {
      PyErr_Clear();
      return std::nullopt;
    }
    return std::string_view(text, static_cast<std::size_t>(size));
  }
  return std::nullopt;
}

}  // namespace

PyObject* py_build_records(PyObject* /*module*/, PyObject* args,
                           PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"config", "lines", "first_line",
                                             "site"};
    static constexpr Signature kSignature{"_build_records", kNames, 4, 3};
    std::array<PyObject*, 4> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    if (!is_instance(arg[0], ClassId::SEOConfig)) {
      PyErr_Format(PyExc_TypeError,
                   "argument 'config' must be SEOConfig, not %s",
                   type_name(arg[0]).c_str());
      return nullptr;
    }
    if (!PyList_Check(arg[1])) {
      PyErr_SetString(PyExc_TypeError, "argument 'lines' must be a list");
      return nullptr;
    }
    std::uint64_t first_line = 0;
    if (!arg_uint64(arg[2], "first_line", first_line)) return nullptr;
    const bool has_site = arg[3] != nullptr && arg[3] != Py_None;
    if (has_site && !is_instance(arg[3], ClassId::SiteHead)) {
      PyErr_Format(PyExc_TypeError,
                   "argument 'site' must be SiteHead or None, not %s",
                   type_name(arg[3]).c_str());
      return nullptr;
    }

    zelko::SEOConfig config;
    {
      SharedBorrow borrow(arg[0]);
      if (!borrow) return nullptr;
      config = config_record(arg[0]);
    }
    // A copy, as the configuration is: the engine works without the lock.
    std::optional<zelko::SiteHead> site;
    if (has_site) {
      SharedBorrow borrow(arg[3]);
      if (!borrow) return nullptr;
      site = record_of<SiteHeadRecord>(arg[3]).site;
    }
    // Each line object is held here, not only by the list (another thread
    // may change the list while the engine works), so its text stays valid.
    const Py_ssize_t count = PyList_Size(arg[1]);
    std::vector<PyRef> held;
    std::vector<std::optional<std::string_view>> texts;
    held.reserve(static_cast<std::size_t>(count));
    texts.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t index = 0; index < count; ++index) {
      held.push_back(PyRef::borrow(PyList_GetItem(arg[1], index)));
      texts.push_back(line_text(held.back().get()));
    }

    // No Python object is touched while the engine works, so other threads
    // build their own batches meanwhile.
    std::vector<std::optional<std::string>> records(texts.size());
    PyThreadState* saved = PyEval_SaveThread();
    try {
      for (std::size_t index = 0; index < texts.size(); ++index) {
        if (!texts[index]) continue;
        records[index] = zelko::build_page_record(
            *texts[index], first_line + index, config, site ? &*site : nullptr);
      }
    } catch (...) {
      PyEval_RestoreThread(saved);
      throw;
    }
    PyEval_RestoreThread(saved);

    PyRef result = PyRef::steal(PyList_New(count));
    if (!result) return nullptr;
    for (std::size_t index = 0; index < records.size(); ++index) {
      PyObject* item =
          records[index] ? new_str(*records[index]) : Py_NewRef(Py_None);
      if (item == nullptr) return nullptr;
      PyList_SetItem(result.get(), static_cast<Py_ssize_t>(index), item);
    }
    return result.release();
  });
}

PyObject* py_page_record(PyObject* /*module*/, PyObject* args,
                         PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"line", "route", "payload",
                                             "head"};
    static constexpr Signature kSignature{"_page_record", kNames, 4, 3};
    std::array<PyObject*, 4> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::uint64_t line = 0;
    std::string route;
    zelko::SEOPayload payload;
    std::optional<std::string> head;
    if (!arg_uint64(arg[0], "line", line) ||
        !arg_text(arg[1], "route", route) ||
        !arg_record(arg[2], "payload", ClassId::SEOPayload, payload) ||
        (arg[3] != nullptr && arg[3] != Py_None &&
         !arg_text(arg[3], "head", head.emplace()))) {
      return nullptr;
    }
    zelko::Result<std::string> record = zelko::page_record(
        line, route, payload,
        head ? std::optional<std::string_view>(*head) : std::nullopt);
    if (!record) return raise_engine_error(record.error());
    return new_str(record.value());
  });
}

}  // namespace zelko::py
