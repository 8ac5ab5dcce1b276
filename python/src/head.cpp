// The classes of the whole head and SEOHead.
#include "head.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inputs.hpp"
#include "payload_view.hpp"
#include "record_fields.hpp"
#include "zelko/crawl.hpp"
#include "zelko/head.hpp"

namespace zelko::py {
namespace {

// What an SEOHead holds: the payload as built, the extras as given, the
// hreflang links as resolved, and the head rendered once from them.
struct HeadRecord {
  zelko::SEOPayload payload;
  std::optional<zelko::SiteHead> site;
  std::optional<zelko::PageHead> page;
  std::vector<zelko::HreflangLink> hreflang;
  std::string html;
};

PyObject* head_get_payload(PyObject* self, void* /*closure*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) {
    return make_object(ClassId::SEOPayload, zelko::SEOPayload(head.payload));
  });
}

PyObject* head_render_html(PyObject* self, PyObject* /*unused*/) {
  return read_record<HeadRecord>(
      self, [](const HeadRecord& head) { return new_str(head.html); });
}

PyObject* head_hash(PyObject* self, PyObject* /*unused*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) {
    return new_str(zelko::head_hash(head.html));
  });
}

PyObject* head_etag(PyObject* self, PyObject* /*unused*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) {
    return new_str(zelko::head_etag(head.html));
  });
}

PyObject* hreflang_list(const std::vector<zelko::HreflangLink>& links) {
  return fields::list_of(links, [](const zelko::HreflangLink& link) {
    return Py_BuildValue("{s:N,s:N}", "hreflang", new_str(link.tag), "href",
                         new_str(link.url));
  });
}

// The payload's dictionary plus "head": its hreflang links and the site and
// page extras as given (sorted keys, absent parts left out).
PyObject* head_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) -> PyObject* {
    PyRef dict = PyRef::steal(payload_view(head.payload));
    PyRef extras = PyRef::steal(PyDict_New());
    if (!dict || !extras ||
        !dict_set(extras.get(), "hreflang", hreflang_list(head.hreflang))) {
      return nullptr;
    }
    if (head.page && !dict_set(extras.get(), "page",
                               fields::record_dict(*head.page, true))) {
      return nullptr;
    }
    if (head.site && !dict_set(extras.get(), "site",
                               fields::record_dict(*head.site, true))) {
      return nullptr;
    }
    if (!dict_set(dict.get(), "head", extras.release())) return nullptr;
    return dict.release();
  });
}

PyGetSetDef kHeadGetSet[] = {
    {"payload", head_get_payload, nullptr,
     "The payload, byte for byte what build_seo_payload returns.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kHeadMethods[] = {
    {"render_html", head_render_html, METH_NOARGS,
     "render_html($self, /)\n--\n\nThe whole head: the payload's elements, "
     "the hreflang links, then the site's and the page's extras."},
    {"__html__", head_render_html, METH_NOARGS,
     "__html__($self, /)\n--\n\nThe whole head, for templates."},
    {"hash", head_hash, METH_NOARGS,
     "hash($self, /)\n--\n\nSHA-256 of render_html(), as 64 lower-case hex "
     "digits."},
    {"etag", head_etag, METH_NOARGS,
     "etag($self, /)\n--\n\nThe strong ETag of render_html(): the hash in "
     "double quotes."},
    {"to_dict", head_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\nThe payload's dict plus \"head\": the hreflang "
     "links and the extras."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kHeadSlots[] = {
    {Py_tp_doc, const_cast<char*>("The whole head of a page, made by "
                                  "zelko.build_head.")},
    {Py_tp_dealloc, as_slot(native_dealloc<HeadRecord>)},
    {Py_tp_getset, kHeadGetSet},
    {Py_tp_methods, kHeadMethods},
    {0, nullptr},
};

PyType_Spec kHeadSpec = {"builtins.SEOHead", sizeof(NativeObject<HeadRecord>),
                         0, kNoConstructorFlags, kHeadSlots};

// An optional argument of class Record: its record, or nothing for None.
template <class Record>
bool optional_record(PyObject* value, const char* name,
                     std::optional<Record>& out) {
  return value == nullptr || fields::read_argument(value, name, out);
}

}  // namespace

const ClassDef kAppLinksClass = record_class<zelko::AppLinks>({});
const ClassDef kArticleMetaClass = record_class<zelko::ArticleMeta>({});
const ClassDef kFeedClass = record_class<zelko::Feed>({});
const ClassDef kIconClass = record_class<zelko::Icon>({});
const ClassDef kPageHeadClass = record_class<zelko::PageHead>({});
const ClassDef kRobotsExtraClass = record_class<zelko::RobotsExtra>({});
const ClassDef kSEOHeadClass = {ClassId::SEOHead, &kHeadSpec};
const ClassDef kSiteHeadClass = record_class<zelko::SiteHead>({});
const ClassDef kVerificationClass = record_class<zelko::Verification>({});
const ClassDef kVideoClass = record_class<zelko::Video>({});

PyObject* py_head(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"payload", "config", "site",
                                             "page", "alternates"};
    static constexpr Signature kSignature{"_head", kNames, 2, 2};
    std::array<PyObject*, 5> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    HeadRecord head;
    zelko::SEOConfig config;
    zelko::Alternates alternates;
    if (!arg_record(arg[0], "payload", ClassId::SEOPayload, head.payload) ||
        !fields::read_argument(arg[1], "config", config) ||
        !optional_record(arg[2], "site", head.site) ||
        !optional_record(arg[3], "page", head.page) ||
        (arg[4] != nullptr && arg[4] != Py_None &&
         !arg_pair_list(arg[4], "alternates", alternates, arg_text,
                        arg_text))) {
      return nullptr;
    }
    zelko::Result<std::vector<zelko::HreflangLink>> links =
        zelko::hreflang_links(alternates, config);
    if (!links) return raise_engine_error_at(links.error(), "alternates");
    head.hreflang = std::move(*links);
    const zelko::HeadExtras extras{head.hreflang,
                                   head.site ? &*head.site : nullptr,
                                   head.page ? &*head.page : nullptr};
    zelko::Result<std::string> html =
        zelko::render_head(head.payload, extras, config);
    if (!html) return raise_engine_error(html.error());
    head.html = std::move(*html);
    return make_object(ClassId::SEOHead, std::move(head));
  });
}

}  // namespace zelko::py
