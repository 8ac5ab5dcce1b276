// SEOPayload: a read-only, dict-compatible view of a built payload, with its
// typed parts, serialization, hash and HTML rendering.
#include <array>
#include <utility>

#include "payload_view.hpp"
#include "pickling.hpp"
#include "results.hpp"
#include "zelko/hash.hpp"
#include "zelko/html.hpp"

namespace zelko::py {
namespace {

using zelko::SEOPayload;

// Runs `use(view)` on a freshly built dictionary view of `self`. Nothing is
// cached: the record is read under a shared borrow each time.
template <class Use>
auto with_view(PyObject* self, Use&& use) -> decltype(use(nullptr)) {
  PyRef view;
  {
    SharedBorrow borrow(self);
    if (!borrow) return failure_value<decltype(use(nullptr))>();
    view = PyRef::steal(payload_view(record_of<SEOPayload>(self)));
  }
  if (!view) return failure_value<decltype(use(nullptr))>();
  return use(view.get());
}

// A lookup key: refused unless it is a str, and checked to be encodable
// before any view is built. The result is an exact str, so a str subclass
// cannot bring its own hashing into the lookup.
PyRef lookup_key(PyObject* key) {
  if (!PyUnicode_Check(key)) {
    PyErr_Format(PyExc_TypeError, "argument 'key' must be str, not %s",
                 type_name(key).c_str());
    return {};
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(key, &size);
  if (text == nullptr) return {};  // lone surrogate: the encoding error
  if (PyUnicode_CheckExact(key)) return PyRef::borrow(key);
  return PyRef::steal(
      new_str(std::string_view(text, static_cast<std::size_t>(size))));
}

PyObject* payload_subscript(PyObject* self, PyObject* key) {
  return guarded([&]() -> PyObject* {
    PyRef name = lookup_key(key);
    if (!name) return nullptr;
    return with_view(self, [&](PyObject* view) -> PyObject* {
      PyObject* value = PyDict_GetItemWithError(view, name.get());
      if (value != nullptr) return Py_NewRef(value);
      if (PyErr_Occurred() == nullptr) PyErr_SetObject(PyExc_KeyError, key);
      return nullptr;
    });
  });
}

int payload_contains(PyObject* self, PyObject* key) {
  return guarded([&]() -> int {
    PyRef name = lookup_key(key);
    if (!name) return -1;
    return with_view(self, [&](PyObject* view) -> int {
      return PyDict_Contains(view, name.get());
    });
  });
}

Py_ssize_t payload_length(PyObject* self) {
  return guarded([&]() -> Py_ssize_t {
    return with_view(
        self, [](PyObject* view) -> Py_ssize_t { return PyDict_Size(view); });
  });
}

PyObject* payload_keys(PyObject* self, PyObject* /*unused*/) {
  return guarded([&]() -> PyObject* {
    return with_view(self, [](PyObject* view) { return PyDict_Keys(view); });
  });
}

PyObject* payload_iter(PyObject* self) {
  return guarded([&]() -> PyObject* {
    PyRef keys = PyRef::steal(payload_keys(self, nullptr));
    if (!keys) return nullptr;
    return PyObject_GetIter(keys.get());
  });
}

PyObject* payload_to_dict(PyObject* self, PyObject* /*unused*/) {
  return guarded([&]() -> PyObject* {
    return with_view(self, [](PyObject* view) { return Py_NewRef(view); });
  });
}

PyObject* payload_get(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"key", "default"};
    static constexpr Signature kSignature{"get", kNames, 2, 1};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PyRef name = lookup_key(arg[0]);
    if (!name) return nullptr;
    PyObject* fallback = arg[1] == nullptr ? Py_None : arg[1];
    return with_view(self, [&](PyObject* view) -> PyObject* {
      PyObject* value = PyDict_GetItemWithError(view, name.get());
      if (value != nullptr) return Py_NewRef(value);
      if (PyErr_Occurred() != nullptr) return nullptr;
      return Py_NewRef(fallback);
    });
  });
}

// payload == other: field by field against another payload, through the
// view against a dict, False against anything else. -1 on error.
int payload_equals(PyObject* self, PyObject* other) {
  if (is_instance(other, ClassId::SEOPayload)) {
    SharedBorrow mine(self);
    if (!mine) return -1;
    SharedBorrow theirs(other);
    if (!theirs) return -1;
    return same_payload(record_of<SEOPayload>(self),
                        record_of<SEOPayload>(other))
               ? 1
               : 0;
  }
  if (!PyDict_Check(other)) return 0;
  return with_view(self, [&](PyObject* view) -> int {
    PyRef result = PyRef::steal(PyObject_RichCompare(view, other, Py_EQ));
    if (!result) return -1;
    return PyObject_IsTrue(result.get());
  });
}

PyObject* payload_richcompare(PyObject* self, PyObject* other, int op) {
  return guarded([&]() -> PyObject* {
    if (op == Py_EQ) {
      int equal = payload_equals(self, other);
      if (equal < 0) return nullptr;
      return to_python(equal == 1);
    }
    if (op == Py_NE) {
      // The negation of the interpreter's own ==, reflection included.
      PyRef equal = PyRef::steal(PyObject_RichCompare(self, other, Py_EQ));
      if (!equal) return nullptr;
      int truth = PyObject_IsTrue(equal.get());
      if (truth < 0) return nullptr;
      return to_python(truth == 0);
    }
    return Py_NewRef(Py_NotImplemented);
  });
}

// ---------------------------------------------------------------------------
// Properties

PyObject* payload_get_og(PyObject* self, void* /*closure*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return make_object(ClassId::OGPayload, zelko::OGPayload(payload.og));
  });
}

PyObject* payload_get_twitter(PyObject* self, void* /*closure*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return make_object(ClassId::TwitterPayload,
                       zelko::TwitterPayload(payload.twitter));
  });
}

PyObject* payload_get_schema(PyObject* self, void* /*closure*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    if (!payload.schema_jsonld) return Py_NewRef(Py_None);
    return json_to_python(*payload.schema_jsonld, 0);
  });
}

// ---------------------------------------------------------------------------
// Serialization and rendering

PyObject* text_or_value_error(const zelko::Result<std::string>& text) {
  if (!text) return raise_display_value_error(text.error());
  return new_str(text.value());
}

PyObject* payload_to_json(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return new_str(zelko::to_json_pretty(payload));
  });
}

PyObject* payload_hash(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return text_or_value_error(zelko::payload_hash(payload));
  });
}

PyObject* payload_etag(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return text_or_value_error(zelko::payload_etag(payload));
  });
}

PyObject* payload_render_html(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return text_or_value_error(zelko::render_html(payload));
  });
}

PyObject* payload_render_opengraph(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return new_str(zelko::render_opengraph(payload));
  });
}

PyObject* payload_render_twitter(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return new_str(zelko::render_twitter(payload));
  });
}

PyObject* payload_render_jsonld(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOPayload>(self, [](const SEOPayload& payload) {
    return text_or_value_error(zelko::render_jsonld(payload));
  });
}

PyGetSetDef kPayloadGetSet[] = {
    {"title", member_getter<SEOPayload, &SEOPayload::title>, nullptr,
     "The resolved page title.", nullptr},
    {"description", member_getter<SEOPayload, &SEOPayload::description>,
     nullptr, "The resolved meta description.", nullptr},
    {"canonical", member_getter<SEOPayload, &SEOPayload::canonical>, nullptr,
     "The canonical absolute URL.", nullptr},
    {"robots", member_getter<SEOPayload, &SEOPayload::robots>, nullptr,
     "The robots directives, for example \"index,follow\".", nullptr},
    {"og", payload_get_og, nullptr, "The Open Graph tags as a new OGPayload.",
     nullptr},
    {"twitter", payload_get_twitter, nullptr,
     "The Twitter Card tags as a new TwitterPayload.", nullptr},
    {"schema_jsonld", payload_get_schema, nullptr,
     "The JSON-LD structured data (a dict or a list), or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kPayloadMethods[] = {
    reduce_method<SEOPayload, ClassId::SEOPayload, payload_state>(),
    {"get", as_method(payload_get), METH_VARARGS | METH_KEYWORDS,
     "get($self, key, default=None)\n--\n\n"
     "The value under key, or default when the payload has no such key."},
    {"keys", payload_keys, METH_NOARGS,
     "keys($self, /)\n--\n\n"
     "A new list of the payload's keys, in ascending order."},
    {"to_dict", payload_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The payload as a new plain dict with sorted keys at every level."},
    {"to_json", payload_to_json, METH_NOARGS,
     "to_json($self, /)\n--\n\n"
     "The payload as pretty JSON text, keys in declared field order."},
    {"hash", payload_hash, METH_NOARGS,
     "hash($self, /)\n--\n\n"
     "SHA-256 of the compact JSON form, as 64 lower-case hex digits."},
    {"etag", payload_etag, METH_NOARGS,
     "etag($self, /)\n--\n\n"
     "The hash between double quotes: a strong HTTP entity tag."},
    {"render_html", payload_render_html, METH_NOARGS,
     "render_html($self, /)\n--\n\n"
     "The full HTML head snippet: title, meta, link and JSON-LD elements."},
    // Template engines (MarkupSafe, Django's conditional_escape) insert an
    // object with __html__ as it is: the snippet is already escaped.
    {"__html__", payload_render_html, METH_NOARGS,
     "__html__($self, /)\n--\n\n"
     "The same text as render_html(), for templates that insert it as "
     "markup."},
    {"render_opengraph", payload_render_opengraph, METH_NOARGS,
     "render_opengraph($self, /)\n--\n\n"
     "The Open Graph meta elements, one per line."},
    {"render_twitter", payload_render_twitter, METH_NOARGS,
     "render_twitter($self, /)\n--\n\n"
     "The Twitter Card meta elements, one per line."},
    {"render_jsonld", payload_render_jsonld, METH_NOARGS,
     "render_jsonld($self, /)\n--\n\n"
     "The JSON-LD script element, or an empty string without schema."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kPayloadSlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "The resolved, deterministic SEO payload.\n\n"
         "The object is dict-compatible: it supports indexing, get(), len(), "
         "iteration over its keys, and equality against another payload or "
         "a plain dictionary.")},
    {Py_tp_dealloc, as_slot(native_dealloc<SEOPayload>)},
    {Py_tp_richcompare, as_slot(payload_richcompare)},
    // Equality without a hash: payloads cannot be set members or dict keys.
    {Py_tp_hash, as_slot(PyObject_HashNotImplemented)},
    {Py_tp_iter, as_slot(payload_iter)},
    {Py_mp_subscript, as_slot(payload_subscript)},
    {Py_mp_length, as_slot(payload_length)},
    {Py_sq_contains, as_slot(payload_contains)},
    {Py_tp_getset, kPayloadGetSet},
    {Py_tp_methods, kPayloadMethods},
    {0, nullptr},
};

PyType_Spec kPayloadSpec = {"builtins.SEOPayload",
                            sizeof(NativeObject<SEOPayload>), 0,
                            kNoConstructorFlags, kPayloadSlots};

}  // namespace

const ClassDef kSEOPayloadClass = {ClassId::SEOPayload, &kPayloadSpec};

}  // namespace zelko::py
