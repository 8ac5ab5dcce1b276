// The crawl surface's private entry points: hreflang links, their rendering
// and the streaming sitemap writer. They live on the module under
// underscore names outside __all__; the zelko package wraps them.
#include "crawl.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "inputs.hpp"
#include "zelko/crawl.hpp"

namespace zelko::py {
namespace {

// A refused value is the class of its kind (every one a ValueError), with
// the engine's bare message and its field; a file that cannot be written is
// an OSError.
PyObject* raise_crawl_error(const zelko::Error& error) {
  return raise_error(error);
}

bool arg_config(PyObject* value, const char* name) {
  if (is_instance(value, ClassId::SEOConfig)) return true;
  PyErr_Format(PyExc_TypeError, "argument '%s' must be SEOConfig, not %s", name,
               type_name(value).c_str());
  return false;
}

// A mapping of language tag to route or URL (str to str), in its own order.
bool arg_alternates(PyObject* value, const char* name, zelko::Alternates& out) {
  if (value == nullptr || value == Py_None) return true;
  auto add_pair = [&](PyObject* key, PyObject* item) {
    std::pair<std::string, std::string> pair;
    if (!arg_text(key, name, pair.first) ||
        !arg_text(item, name, pair.second)) {
      return false;
    }
    out.push_back(std::move(pair));
    return true;
  };
  if (PyDict_Check(value)) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(value, &position, &key, &item)) {
      PyRef held_key = PyRef::borrow(key);
      PyRef held_item = PyRef::borrow(item);
      if (!add_pair(key, item)) return false;
    }
    return true;
  }
  PyRef has_items = PyRef::steal(PyObject_GetAttrString(value, "items"));
  if (!has_items || PyUnicode_Check(value)) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError,
                 "argument '%s' must be a mapping of language tag to route or "
                 "URL, not %s",
                 name, type_name(value).c_str());
    return false;
  }
  PyRef items = PyRef::steal(PyMapping_Items(value));
  if (!items) return false;
  const Py_ssize_t count = PyList_Size(items.get());
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* pair = PyList_GetItem(items.get(), i);
    if (!PyTuple_Check(pair) || PyTuple_Size(pair) != 2) {
      PyErr_Format(PyExc_TypeError, "argument '%s': items() must give pairs",
                   name);
      return false;
    }
    if (!add_pair(PyTuple_GetItem(pair, 0), PyTuple_GetItem(pair, 1))) {
      return false;
    }
  }
  return true;
}

PyObject* links_to_python(const std::vector<zelko::HreflangLink>& links) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(links.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < links.size(); ++i) {
    PyRef tag = PyRef::steal(new_str(links[i].tag));
    PyRef url = PyRef::steal(new_str(links[i].url));
    if (!tag || !url) return nullptr;
    PyObject* pair = PyTuple_New(2);
    if (pair == nullptr) return nullptr;
    PyTuple_SetItem(pair, 0, tag.release());
    PyTuple_SetItem(pair, 1, url.release());
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), pair);
  }
  return list.release();
}

PyObject* py_hreflang_links(PyObject*, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"config", "alternates"};
    static constexpr Signature kSignature{"_hreflang_links", kNames, 2, 2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::Alternates alternates;
    if (!arg_config(arg[0], "config") ||
        !arg_alternates(arg[1], "alternates", alternates)) {
      return nullptr;
    }
    SharedBorrow borrow(arg[0]);
    if (!borrow) return nullptr;
    auto links = zelko::hreflang_links(alternates, config_record(arg[0]));
    if (!links) return raise_crawl_error(links.error());
    return links_to_python(*links);
  });
}

// A route or URL resolved as a crawl URL (another host's kept as written).
PyObject* py_resolve_url(PyObject*, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"config", "value"};
    static constexpr Signature kSignature{"_resolve_url", kNames, 2, 2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::string value;
    if (!arg_config(arg[0], "config") || !arg_text(arg[1], "value", value)) {
      return nullptr;
    }
    SharedBorrow borrow(arg[0]);
    if (!borrow) return nullptr;
    auto url = zelko::resolve_crawl_url(value, config_record(arg[0]),
                                        zelko::ForeignHost::Keep);
    if (!url) return raise_crawl_error(url.error());
    return new_str(*url);
  });
}

PyObject* py_render_hreflang(PyObject*, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"links"};
    static constexpr Signature kSignature{"_render_hreflang", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!arg_pair_list(arg[0], "links", pairs, arg_text, arg_text)) {
      return nullptr;
    }
    std::vector<zelko::HreflangLink> links;
    links.reserve(pairs.size());
    for (auto& [tag, url] : pairs) {
      links.push_back({std::move(tag), std::move(url)});
    }
    return new_str(zelko::render_hreflang(links));
  });
}

// --- The sitemap writer type
// ---------------------------------------------------

struct WriterObject {
  PyObject_HEAD std::optional<zelko::SitemapWriter> writer;
};

WriterObject* as_writer(PyObject* self) {
  return reinterpret_cast<WriterObject*>(self);
}

PyObject* writer_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"directory", "config", "max_urls",
                                             "max_bytes", "gzip"};
    static constexpr Signature kSignature{"SitemapWriter", kNames, 2, 2};
    std::array<PyObject*, 5> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::string directory;
    std::uint64_t max_urls = zelko::kSitemapMaxUrls;
    std::uint64_t max_bytes = zelko::kSitemapMaxBytes;
    zelko::SitemapOptions options;
    PyRef path = PyRef::steal(PyOS_FSPath(arg[0]));
    if (!path || !arg_text(path.get(), "directory", directory) ||
        !arg_config(arg[1], "config") ||
        !arg_uint64(arg[2], "max_urls", max_urls) ||
        !arg_uint64(arg[3], "max_bytes", max_bytes) ||
        !arg_flag(arg[4], "gzip", options.gzip)) {
      return nullptr;
    }
    options.max_urls = max_urls;
    options.max_bytes = max_bytes;
    SharedBorrow borrow(arg[1]);
    if (!borrow) return nullptr;
    auto opened = zelko::SitemapWriter::open(std::move(directory),
                                             config_record(arg[1]), options);
    if (!opened) return raise_crawl_error(opened.error());
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_writer(self)->writer)
        std::optional<zelko::SitemapWriter>(std::move(opened).value());
    return self;
  });
}

void writer_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  // Destroying an unclosed writer removes its temporary files.
  as_writer(self)->writer.~optional();
  auto free_memory =
      reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_memory(self);
  Py_DECREF(type);
}

// The ISO text of a datetime.date or an aware datetime.datetime; a naive
// datetime is refused (its instant is unknown).
bool isoformat_of_date(PyObject* value, PyRef& text) {
  PyRef module = PyRef::steal(PyImport_ImportModule("datetime"));
  if (!module) return false;
  PyRef datetime_type =
      PyRef::steal(PyObject_GetAttrString(module.get(), "datetime"));
  PyRef date_type = PyRef::steal(PyObject_GetAttrString(module.get(), "date"));
  if (!datetime_type || !date_type) return false;
  const int is_datetime = PyObject_IsInstance(value, datetime_type.get());
  const int is_date = PyObject_IsInstance(value, date_type.get());
  if (is_datetime < 0 || is_date < 0) return false;
  if (is_date == 0) {
    PyErr_Format(PyExc_TypeError,
                 "argument 'lastmod' must be str, datetime.date or "
                 "datetime.datetime, not %s",
                 type_name(value).c_str());
    return false;
  }
  if (is_datetime == 1) {
    PyRef offset =
        PyRef::steal(PyObject_CallMethod(value, "utcoffset", nullptr));
    if (!offset) return false;
    if (offset.get() == Py_None) {
      PyErr_SetString(PyExc_ValueError,
                      "lastmod: a naive datetime has no time zone; give it "
                      "a tzinfo");
      return false;
    }
  }
  text = PyRef::steal(PyObject_CallMethod(value, "isoformat", nullptr));
  return static_cast<bool>(text);
}

// lastmod: a str as given; a date or an aware datetime through isoformat().
// `text` keeps the str that the view points into.
bool arg_lastmod(PyObject* value, PyRef& text,
                 std::optional<std::string_view>& out) {
  if (value == nullptr || value == Py_None) return true;
  if (PyUnicode_Check(value)) {
    text = PyRef::borrow(value);
  } else if (!isoformat_of_date(value, text)) {
    return false;
  }
  out.emplace();
  return arg_text_view(text.get(), "lastmod", *out);
}

// add() is called once per URL, millions of times: it takes the vectorcall
// convention and binds its four parameters itself (one positional).
constexpr std::array<const char*, 4> kAddNames = {"location", "lastmod",
                                                  "alternates", "images"};

bool bind_add_arguments(PyObject* const* args, Py_ssize_t count,
                        PyObject* names, std::array<PyObject*, 4>& out) {
  if (count > 1) {
    PyErr_Format(PyExc_TypeError,
                 "add() takes at most 1 positional argument (%zd given)",
                 count);
    return false;
  }
  if (count == 1) out[0] = args[0];
  const Py_ssize_t keywords = names == nullptr ? 0 : PyTuple_Size(names);
  for (Py_ssize_t i = 0; i < keywords; ++i) {
    PyObject* name = PyTuple_GetItem(names, i);
    std::size_t slot = 0;
    while (slot < kAddNames.size() &&
           PyUnicode_CompareWithASCIIString(name, kAddNames[slot]) != 0) {
      ++slot;
    }
    if (slot == kAddNames.size()) {
      PyErr_Format(PyExc_TypeError,
                   "add() got an unexpected keyword argument '%U'", name);
      return false;
    }
    if (out[slot] != nullptr) {
      PyErr_Format(PyExc_TypeError,
                   "add() got multiple values for argument '%s'",
                   kAddNames[slot]);
      return false;
    }
    out[slot] = args[count + i];
  }
  if (out[0] == nullptr) {
    PyErr_SetString(PyExc_TypeError,
                    "add() missing required argument 'location' (pos 1)");
    return false;
  }
  return true;
}

PyObject* writer_add(PyObject* self, PyObject* const* args, Py_ssize_t count,
                     PyObject* names) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 4> arg{};
    if (!bind_add_arguments(args, count, names, arg)) return nullptr;
    zelko::SitemapUrl url;
    PyRef lastmod_text;
    zelko::Alternates alternates;
    std::vector<std::string> images;
    if (!arg_text_view(arg[0], "location", url.location) ||
        !arg_lastmod(arg[1], lastmod_text, url.lastmod) ||
        !arg_alternates(arg[2], "alternates", alternates) ||
        !arg_text_list(arg[3], "images", images)) {
      return nullptr;
    }
    url.alternates = &alternates;
    url.images = &images;
    // Every argument is converted: no Python code runs from here on.
    zelko::Status status = as_writer(self)->writer->add(url);
    if (!status) return raise_crawl_error(status.error());
    Py_RETURN_NONE;
  });
}

PyObject* writer_close(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    auto names = as_writer(self)->writer->close();
    if (!names) return raise_crawl_error(names.error());
    return to_python(*names);
  });
}

PyObject* writer_discard(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    as_writer(self)->writer->discard();
    Py_RETURN_NONE;
  });
}

PyObject* writer_closed(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    return to_python(!as_writer(self)->writer->is_open());
  });
}

PyMethodDef kWriterMethods[] = {
    {"add", as_method(writer_add), METH_FASTCALL | METH_KEYWORDS,
     "add($self, /, location, lastmod=None, alternates=None, images=())\n--\n\n"
     "Adds one URL entry."},
    {"close", as_method(writer_close), METH_NOARGS,
     "close($self, /)\n--\n\nRenames the files into place; returns their "
     "names."},
    {"discard", as_method(writer_discard), METH_NOARGS,
     "discard($self, /)\n--\n\nRemoves the temporary files; writes nothing."},
    {nullptr, nullptr, 0, nullptr}};

PyGetSetDef kWriterGetSet[] = {{"closed", writer_closed, nullptr,
                                "Whether the writer is closed.", nullptr},
                               {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot kWriterSlots[] = {
    {Py_tp_doc,
     const_cast<char*>("_SitemapWriter(directory, config, max_urls=50000, "
                       "max_bytes=52428800, gzip=False)\n--\n\n"
                       "The engine's streaming sitemap writer.")},
    {Py_tp_new, as_slot(writer_new)},
    {Py_tp_dealloc, as_slot(writer_dealloc)},
    {Py_tp_methods, kWriterMethods},
    {Py_tp_getset, kWriterGetSet},
    {0, nullptr}};

// A base type: zelko.SitemapWriter adds the context-manager protocol.
PyType_Spec kWriterSpec = {"_zelko_native._SitemapWriter", sizeof(WriterObject),
                           0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
                           kWriterSlots};

PyMethodDef kCrawlFunctions[] = {
    {"_hreflang_links", as_method(py_hreflang_links),
     METH_VARARGS | METH_KEYWORDS,
     "_hreflang_links(config, alternates)\n--\n\n"
     "Resolved (tag, url) pairs of a list of (tag, route or URL) pairs."},
    {"_resolve_url", as_method(py_resolve_url), METH_VARARGS | METH_KEYWORDS,
     "_resolve_url(config, value)\n--\n\nA route or URL resolved as the "
     "URLs of hreflang links are."},
    {"_render_hreflang", as_method(py_render_hreflang),
     METH_VARARGS | METH_KEYWORDS,
     "_render_hreflang(links)\n--\n\nLink elements of (tag, url) pairs."},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace

bool add_crawl_members(PyObject* module) {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return false;
  for (PyMethodDef& def : kCrawlFunctions) {
    if (def.ml_name == nullptr) break;
    PyRef function =
        PyRef::steal(PyCMethod_New(&def, module, module_name.get(), nullptr));
    if (!function ||
        PyObject_SetAttrString(module, def.ml_name, function.get()) < 0) {
      return false;
    }
  }
  PyRef writer_type = PyRef::steal(PyType_FromSpec(&kWriterSpec));
  return writer_type && PyObject_SetAttrString(module, "_SitemapWriter",
                                               writer_type.get()) == 0;
}

}  // namespace zelko::py
