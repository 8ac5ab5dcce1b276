#include "head_facts.hpp"

#include <span>
#include <string_view>

#include "arguments.hpp"
#include "values.hpp"
#include "zelko/head_facts.hpp"

namespace zelko::py {
namespace {

// (first, second) pairs as a dict, in order (keys are already unique).
PyObject* pair_dict(const std::vector<zelko::TextPair>& pairs) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& pair : pairs) {
    PyRef key = PyRef::steal(new_str(pair.first));
    PyRef value = PyRef::steal(new_str(pair.second));
    if (!key || !value ||
        PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) {
      return nullptr;
    }
  }
  return dict.release();
}

PyObject* pair_tuple(const std::vector<zelko::TextPair>& pairs) {
  PyRef tuple =
      PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(pairs.size())));
  if (!tuple) return nullptr;
  for (std::size_t index = 0; index < pairs.size(); ++index) {
    PyRef first = PyRef::steal(new_str(pairs[index].first));
    PyRef second = PyRef::steal(new_str(pairs[index].second));
    if (!first || !second) return nullptr;
    PyObject* pair = PyTuple_Pack(2, first.get(), second.get());
    if (pair == nullptr) return nullptr;
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(index), pair);
  }
  return tuple.release();
}

// The counts of the keys a head holds any of.
PyObject* count_dict(const std::vector<std::uint32_t>& counts) {
  const std::span<const zelko::HeadExtraKey> keys = zelko::head_extra_keys();
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (std::size_t row = 0; row < counts.size() && row < keys.size(); ++row) {
    if (counts[row] == 0) continue;
    PyRef key = PyRef::steal(new_str(keys[row].key));
    PyRef count = PyRef::steal(to_python(counts[row]));
    if (!key || !count ||
        PyDict_SetItem(dict.get(), key.get(), count.get()) < 0) {
      return nullptr;
    }
  }
  return dict.release();
}

PyObject* facts_tuple(const zelko::HeadFacts& facts) {
  PyRef items[] = {
      PyRef::steal(to_python(facts.title)),
      PyRef::steal(to_python(facts.description)),
      PyRef::steal(to_python(facts.canonical)),
      PyRef::steal(to_python(facts.robots)),
      PyRef::steal(pair_dict(facts.open_graph)),
      PyRef::steal(pair_dict(facts.twitter)),
      PyRef::steal(pair_tuple(facts.hreflang)),
      PyRef::steal(count_dict(facts.extra_counts)),
  };
  constexpr auto kSize = static_cast<Py_ssize_t>(std::size(items));
  PyRef tuple = PyRef::steal(PyTuple_New(kSize));
  if (!tuple) return nullptr;
  for (Py_ssize_t index = 0; index < kSize; ++index) {
    if (!items[index]) return nullptr;
    PyTuple_SetItem(tuple.get(), index, items[index].release());
  }
  return tuple.release();
}

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

PyObject* py_head_facts(PyObject* /*module*/, PyObject* html) {
  return guarded([&]() -> PyObject* {
    std::string_view text;
    if (!arg_text_view(html, "html", text)) return nullptr;
    const std::optional<zelko::HeadFacts> facts = zelko::read_head_facts(text);
    if (!facts) return Py_NewRef(Py_None);
    return facts_tuple(*facts);
  });
}

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
