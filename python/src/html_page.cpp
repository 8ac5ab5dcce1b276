#include "html_page.hpp"

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_set>

#include "zelko/html_page.hpp"
#include "zelko/jsonld_summary.hpp"

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

// The link targets, each once, in the order first found: pages repeat their
// links (a menu, a footer, the same article linked again), and what is
// checked of them is where they lead.
PyObject* unique_links(const std::vector<std::string>& links) {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return nullptr;
  std::unordered_set<std::string_view> seen;
  for (const std::string& link : links) {
    if (!seen.insert(link).second) continue;
    PyRef item = PyRef::steal(new_str(link));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

// (scripts, nodes, types) of the JSON-LD summary, or None when there is
// none.
PyObject* summary_tuple(const std::optional<zelko::JsonLdSummary>& summary) {
  if (!summary) return Py_NewRef(Py_None);
  PyRef scripts = PyRef::steal(to_python(summary->scripts));
  PyRef nodes = PyRef::steal(to_python(summary->nodes));
  PyRef types = PyRef::steal(to_python(summary->types));
  if (!scripts || !nodes || !types) return nullptr;
  return PyTuple_Pack(3, scripts.get(), nodes.get(), types.get());
}

PyObject* page_tuple(const zelko::PageHtml& page,
                     const std::optional<zelko::JsonLdSummary>& summary) {
  const zelko::HeadFacts& facts = page.head;
  PyRef items[] = {
      PyRef::steal(to_python(facts.title)),
      PyRef::steal(to_python(facts.description)),
      PyRef::steal(to_python(facts.canonical)),
      PyRef::steal(to_python(facts.robots)),
      PyRef::steal(pair_dict(facts.open_graph)),
      PyRef::steal(pair_dict(facts.twitter)),
      PyRef::steal(pair_tuple(facts.hreflang)),
      PyRef::steal(count_dict(facts.extra_counts)),
      PyRef::steal(to_python(page.jsonld)),
      PyRef::steal(unique_links(page.links)),
      PyRef::steal(to_python(page.unread)),
      PyRef::steal(summary_tuple(summary)),
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

// The bytes to parse: bytes as they are, text as UTF-8 (a lone surrogate,
// which UTF-8 cannot hold, left out).
bool page_bytes(PyObject* data, PyRef& owner, std::string_view& out) {
  if (PyBytes_Check(data)) {
    char* bytes = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(data, &bytes, &size) < 0) return false;
    out = std::string_view(bytes, static_cast<std::size_t>(size));
    return true;
  }
  if (!PyUnicode_Check(data)) {
    PyErr_Format(PyExc_TypeError,
                 "argument 'data' must be bytes or str, not %s",
                 type_name(data).c_str());
    return false;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(data, &size);
  if (text == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
    PyErr_Clear();
    owner = PyRef::steal(PyUnicode_AsEncodedString(data, "utf-8", "ignore"));
    if (!owner) return false;
    return page_bytes(owner.get(), owner, out);
  }
  out = std::string_view(text, static_cast<std::size_t>(size));
  return true;
}

// A reader kept by the caller from page to page. Its parser is used by one
// page at a time; a page that comes while it is busy (another thread) is
// read with a parser of its own.
struct SharedReader {
  std::mutex lock;
  zelko::HtmlPageReader reader;
};

constexpr const char* kReaderName = "zelko._page_reader";

void drop_reader(PyObject* capsule) {
  delete static_cast<SharedReader*>(PyCapsule_GetPointer(capsule, kReaderName));
}

// The reader an argument holds (nullptr for None), or false with the error
// set.
bool reader_argument(PyObject* value, SharedReader*& out) {
  out = nullptr;
  if (value == nullptr || value == Py_None) return true;
  out = static_cast<SharedReader*>(PyCapsule_GetPointer(value, kReaderName));
  return out != nullptr;
}

std::optional<zelko::PageHtml> read_page(SharedReader* shared,
                                         std::string_view bytes, bool links) {
  if (shared != nullptr) {
    std::unique_lock<std::mutex> hold(shared->lock, std::try_to_lock);
    if (hold.owns_lock()) return shared->reader.read(bytes, links);
  }
  return zelko::read_html_page(bytes, links);
}

}  // namespace

PyObject* py_page_reader(PyObject* /*module*/, PyObject* /*unused*/) {
  return guarded([]() -> PyObject* {
    auto shared = std::make_unique<SharedReader>();
    PyObject* capsule = PyCapsule_New(shared.get(), kReaderName, drop_reader);
    if (capsule != nullptr) shared.release();
    return capsule;
  });
}

PyObject* py_page_html(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"data", "links", "summary",
                                             "reader"};
    static constexpr Signature kSignature{"_page_html", kNames, 4, 2};
    std::array<PyObject*, 4> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PyRef owner;
    std::string_view bytes;
    bool links = false;
    bool summarize = false;
    SharedReader* shared = nullptr;
    if (!page_bytes(arg[0], owner, bytes) ||
        !arg_flag(arg[1], "links", links) ||
        (arg[2] != nullptr && !arg_flag(arg[2], "summary", summarize)) ||
        !reader_argument(arg[3], shared)) {
      return nullptr;
    }
    // Parsing needs no Python object: other threads run meanwhile (the
    // capsule, and so the reader, is kept alive by the caller's argument).
    PyThreadState* thread = PyEval_SaveThread();
    std::optional<zelko::PageHtml> page = read_page(shared, bytes, links);
    std::optional<zelko::JsonLdSummary> summary;
    if (page && summarize && !page->unread) {
      summary = zelko::summarize_jsonld(page->jsonld);
    }
    PyEval_RestoreThread(thread);
    if (!page) return PyErr_NoMemory();
    return page_tuple(*page, summary);
  });
}

}  // namespace zelko::py
