#include "head_facts.hpp"

#include <span>
#include <string_view>

#include "values.hpp"
#include "zelko/head_facts.hpp"

namespace zelko::py {
namespace {

std::string_view kind_name(zelko::HeadExtraKind kind) {
  switch (kind) {
    case zelko::HeadExtraKind::kLink:
      return "link";
    case zelko::HeadExtraKind::kFeed:
      return "feed";
    case zelko::HeadExtraKind::kMeta:
      return "meta";
    case zelko::HeadExtraKind::kPrefix:
      return "prefix";
  }
  return "";
}

}  // namespace

PyObject* py_head_extra_keys(PyObject* /*module*/, PyObject* /*unused*/) {
  return guarded([&]() -> PyObject* {
    const std::span<const zelko::HeadExtraKey> keys = zelko::head_extra_keys();
    PyRef tuple =
        PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(keys.size())));
    if (!tuple) return nullptr;
    for (std::size_t row = 0; row < keys.size(); ++row) {
      PyRef key = PyRef::steal(new_str(keys[row].key));
      PyRef kind = PyRef::steal(new_str(kind_name(keys[row].kind)));
      PyRef name = PyRef::steal(new_str(keys[row].name));
      if (!key || !kind || !name) return nullptr;
      PyObject* entry = PyTuple_Pack(3, key.get(), kind.get(), name.get());
      if (entry == nullptr) return nullptr;
      PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(row), entry);
    }
    return tuple.release();
  });
}

}  // namespace zelko::py
