// The classes of the whole head and SEOHead.
#include "head.hpp"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inputs.hpp"
#include "json_values.hpp"
#include "payload_view.hpp"
#include "record_fields.hpp"
#include "zelko/crawl.hpp"
#include "zelko/graph.hpp"
#include "zelko/head.hpp"

namespace zelko::py {
namespace {

// The head's text and its digest, made the first time they are asked for
// and kept: everything a head renders from is immutable.
struct RenderCache {
  std::mutex lock;
  std::optional<std::string> html;
  std::optional<std::string> hash;
};

// What an SEOHead holds: the objects it was made of (all immutable but the
// configuration's registries, which rendering never reads), the hreflang
// links as resolved and the social card, if any. The head is rendered once,
// when first asked for, from the records, and so is the linked JSON-LD graph.
struct HeadRecord {
  PyRef payload;
  PyRef config;
  PyRef site;  // empty when None
  PyRef page;  // empty when None
  std::vector<zelko::HreflangLink> hreflang;
  std::optional<zelko::HeadCard> card;
  std::unique_ptr<RenderCache> cache = std::make_unique<RenderCache>();
  // Set only when the site head asks for the graph: what it is made of.
  PyRef entity;
  PyRef overrides;                   // empty when None
  std::optional<std::string> route;  // the payload's route, when given
};

// The graph's JSON text into `out`, when the head has one; false with the
// error set. The caller holds borrows of the payload, config and site.
bool write_graph(const HeadRecord& head, std::optional<std::string>& out) {
  if (!head.entity) return true;
  SharedBorrow entity(head.entity.get());
  std::optional<SharedBorrow> overrides_borrow;
  if (!entity ||
      (head.overrides && !overrides_borrow.emplace(head.overrides.get()))) {
    return false;
  }
  const zelko::SiteHead& site = record_of<SiteHeadRecord>(head.site.get()).site;
  const zelko::SEOOverrides* overrides =
      head.overrides ? &record_of<zelko::SEOOverrides>(head.overrides.get())
                     : nullptr;
  const zelko::GraphPage page{
      .entity = record_of<zelko::SEOEntity>(head.entity.get()),
      .config = config_record(head.config.get()),
      .payload = record_of<zelko::SEOPayload>(head.payload.get()),
      .overrides = overrides,
      .identity = site.identity ? &*site.identity : nullptr,
  };
  // Only a caller's JSON-LD needs telling apart from the engine's own.
  const bool may_hold_supplied =
      (overrides != nullptr && overrides->schema_jsonld) ||
      config_hooks(head.config.get()) != nullptr ||
      config_schema_registry(head.config.get()) != nullptr;
  std::vector<zelko::JsonValue> supplied;
  if (may_hold_supplied) {
    zelko::Result<std::vector<zelko::JsonValue>> nodes =
        zelko::supplied_nodes(page, head.route);
    if (!nodes) return raise_engine_error(nodes.error()) != nullptr;
    supplied = std::move(*nodes);
  }
  zelko::Result<std::string> graph = zelko::write_jsonld_graph(page, supplied);
  if (!graph) return raise_engine_error(graph.error()) != nullptr;
  out = std::move(*graph);
  return true;
}

// Reads the records of a head's objects under shared borrows; the extras
// carry the graph's text when `with_graph` is set and the head has one, and
// the site's kept elements when `for_render` is.
template <class Read>
PyObject* with_records(const HeadRecord& head, bool with_graph, bool for_render,
                       Read&& read) {
  if (!head.payload || !head.config) {
    PyErr_SetString(PyExc_RuntimeError, "SEOHead was cleared");
    return nullptr;
  }
  SharedBorrow payload(head.payload.get());
  SharedBorrow config(head.config.get());
  if (!payload || !config) return nullptr;
  std::optional<SharedBorrow> site;
  std::optional<SharedBorrow> page;
  if (head.site && !site.emplace(head.site.get())) return nullptr;
  if (head.page && !page.emplace(head.page.get())) return nullptr;
  std::optional<std::string> graph;
  if (with_graph && !write_graph(head, graph)) return nullptr;
  const zelko::SEOConfig& config_fields = config_record(head.config.get());
  const SiteHeadRecord* site_record =
      head.site ? &record_of<SiteHeadRecord>(head.site.get()) : nullptr;
  std::shared_ptr<const std::string> block;
  if (for_render && site_record != nullptr) {
    block = site_block(*site_record, config_fields.public_base_url);
  }
  const zelko::HeadExtras extras{
      head.hreflang,
      site_record != nullptr ? &site_record->site : nullptr,
      head.page ? &record_of<zelko::PageHead>(head.page.get()) : nullptr,
      head.card ? &*head.card : nullptr,
      graph ? &*graph : nullptr,
      block.get()};
  return read(record_of<zelko::SEOPayload>(head.payload.get()), config_fields,
              extras);
}

// The kept text, or null before the first render. Once set it never
// changes, so it may be read after the lock is let go.
const std::string* kept_html(RenderCache& cache) {
  std::lock_guard<std::mutex> hold(cache.lock);
  return cache.html ? &*cache.html : nullptr;
}

// The rendered head passed to `use` with its cache, or nullptr with the
// error set. The lock is held only while the engine renders: no Python code
// runs under it (a finalizer rendering the same head could not deadlock). A
// head that fails to render is not kept.
template <class Use>
PyObject* with_rendered(PyObject* self, Use&& use) {
  return read_record<HeadRecord>(self, [&](const HeadRecord& head) {
    RenderCache& cache = *head.cache;
    if (const std::string* html = kept_html(cache)) return use(*html, cache);
    return with_records(
        head, true, true,
        [&](const zelko::SEOPayload& payload, const zelko::SEOConfig& config,
            const zelko::HeadExtras& extras) {
          std::optional<zelko::Error> failure;
          const std::string* html = nullptr;
          {
            std::lock_guard<std::mutex> hold(cache.lock);
            if (!cache.html) {
              zelko::Result<std::string> made =
                  zelko::render_head(payload, extras, config);
              if (made) {
                cache.html = std::move(*made);
              } else {
                failure = made.error();
              }
            }
            if (cache.html) html = &*cache.html;
          }
          if (html == nullptr) return raise_engine_error(*failure);
          return use(*html, cache);
        });
  });
}

// The head's digest, computed once; set once, as the text.
const std::string& cached_hash(const std::string& html, RenderCache& cache) {
  std::lock_guard<std::mutex> hold(cache.lock);
  if (!cache.hash) cache.hash = zelko::head_hash(html);
  return *cache.hash;
}

PyObject* head_get_payload(PyObject* self, void* /*closure*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) {
    return Py_NewRef(head.payload ? head.payload.get() : Py_None);
  });
}

PyObject* head_render_html(PyObject* self, PyObject* /*unused*/) {
  return with_rendered(self, [](const std::string& html, RenderCache&) {
    return new_str(html);
  });
}

PyObject* head_hash(PyObject* self, PyObject* /*unused*/) {
  return with_rendered(self, [](const std::string& html, RenderCache& cache) {
    return new_str(cached_hash(html, cache));
  });
}

PyObject* head_etag(PyObject* self, PyObject* /*unused*/) {
  return with_rendered(self, [](const std::string& html, RenderCache& cache) {
    return new_str("\"" + cached_hash(html, cache) + "\"");
  });
}

PyObject* hreflang_list(const std::vector<zelko::HreflangLink>& links) {
  return fields::list_of(links, [](const zelko::HreflangLink& link) {
    return Py_BuildValue("{s:N,s:N}", "hreflang", new_str(link.tag), "href",
                         new_str(link.url));
  });
}

// The payload's dictionary plus "head": its hreflang links, the linked
// JSON-LD graph and the site and page extras as given (sorted keys, absent
// parts left out).
PyObject* head_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) -> PyObject* {
    return with_records(
        head, true, false,
        [&](const zelko::SEOPayload& payload,
            const zelko::SEOConfig& /*config*/,
            const zelko::HeadExtras& extras) -> PyObject* {
          PyRef dict = PyRef::steal(payload_view(payload));
          PyRef more = PyRef::steal(PyDict_New());
          if (!dict || !more ||
              !dict_set(more.get(), "hreflang", hreflang_list(head.hreflang))) {
            return nullptr;
          }
          if (extras.jsonld != nullptr &&
              !dict_set(more.get(), "jsonld_graph",
                        json_text_to_dict(*extras.jsonld))) {
            return nullptr;
          }
          if (extras.page != nullptr &&
              !dict_set(more.get(), "page",
                        fields::record_dict(*extras.page, true))) {
            return nullptr;
          }
          if (extras.site != nullptr &&
              !dict_set(more.get(), "site",
                        fields::record_dict(*extras.site, true))) {
            return nullptr;
          }
          if (head.card &&
              !dict_set(
                  more.get(), "card",
                  Py_BuildValue("{s:N,s:I,s:I,s:N,s:N}", "url",
                                new_str(head.card->url), "width",
                                head.card->width, "height", head.card->height,
                                "type", new_str(head.card->type), "alt",
                                new_str(head.card->alt)))) {
            return nullptr;
          }
          if (!dict_set(dict.get(), "head", more.release())) return nullptr;
          return dict.release();
        });
  });
}

PyObject* head_jsonld_graph(PyObject* self, PyObject* /*unused*/) {
  return read_record<HeadRecord>(self, [](const HeadRecord& head) {
    return with_records(head, true, false,
                        [](const zelko::SEOPayload& /*payload*/,
                           const zelko::SEOConfig& /*config*/,
                           const zelko::HeadExtras& extras) {
                          return extras.jsonld != nullptr
                                     ? json_text_to_dict(*extras.jsonld)
                                     : Py_NewRef(Py_None);
                        });
  });
}

int head_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self)));
  HeadRecord& head = record_of<HeadRecord>(self);
  Py_VISIT(head.payload.get());
  Py_VISIT(head.config.get());
  Py_VISIT(head.site.get());
  Py_VISIT(head.page.get());
  Py_VISIT(head.entity.get());
  Py_VISIT(head.overrides.get());
  return 0;
}

// A configuration may hold any object as its hooks, so a head can be part of
// a cycle through it.
int head_clear(PyObject* self) {
  HeadRecord& head = record_of<HeadRecord>(self);
  release_without_recursion(std::move(head.config));
  release_without_recursion(std::move(head.payload));
  release_without_recursion(std::move(head.site));
  release_without_recursion(std::move(head.page));
  release_without_recursion(std::move(head.entity));
  release_without_recursion(std::move(head.overrides));
  return 0;
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
    {"jsonld_graph", head_jsonld_graph, METH_NOARGS,
     "jsonld_graph($self, /)\n--\n\nThe linked JSON-LD graph that "
     "render_html() writes, as Python values; None unless the site head "
     "asks for it (jsonld_graph=True)."},
    {"to_dict", head_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\nThe payload's dict plus \"head\": the hreflang "
     "links, the linked JSON-LD graph and the extras."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kHeadSlots[] = {
    {Py_tp_doc, const_cast<char*>("The whole head of a page, made by "
                                  "zelko.build_head.")},
    {Py_tp_dealloc, as_slot(native_dealloc<HeadRecord>)},
    {Py_tp_traverse, as_slot(head_traverse)},
    {Py_tp_clear, as_slot(head_clear)},
    {Py_tp_getset, kHeadGetSet},
    {Py_tp_methods, kHeadMethods},
    {0, nullptr},
};

PyType_Spec kHeadSpec = {"builtins.SEOHead", sizeof(NativeObject<HeadRecord>),
                         0, kNoConstructorFlags | Py_TPFLAGS_HAVE_GC,
                         kHeadSlots};

}  // namespace

std::shared_ptr<const std::string> site_block(
    const SiteHeadRecord& site, std::string_view public_base_url) {
  SiteBlockMemo& memo = *site.memo;
  {
    std::lock_guard<std::mutex> hold(memo.lock);
    if (memo.block && memo.public_base_url == public_base_url) {
      return memo.block;
    }
  }
  // Rendered without the lock (the engine is pure): two threads may both
  // render the same text, and the later one keeps it.
  zelko::Result<std::string> made =
      zelko::render_site_block(site.site, public_base_url);
  if (!made) return nullptr;
  auto block = std::make_shared<const std::string>(std::move(*made));
  std::lock_guard<std::mutex> hold(memo.lock);
  memo.public_base_url.assign(public_base_url);
  memo.block = block;
  return block;
}

const ClassDef kAppLinksClass = record_class<zelko::AppLinks>({});
const ClassDef kCardSettingsClass = record_class<zelko::CardSettings>({});
const ClassDef kArticleMetaClass = record_class<zelko::ArticleMeta>({});
const ClassDef kFeedClass = record_class<zelko::Feed>({});
const ClassDef kIconClass = record_class<zelko::Icon>({});
const ClassDef kOrganizationClass = record_class<zelko::Organization>({});
const ClassDef kPersonClass = record_class<zelko::Person>({});
const ClassDef kPageHeadClass = record_class<zelko::PageHead>({});
const ClassDef kRobotsExtraClass = record_class<zelko::RobotsExtra>({});
const ClassDef kSEOHeadClass = {ClassId::SEOHead, &kHeadSpec};
const ClassDef kSiteHeadClass = record_class<zelko::SiteHead>({});
const ClassDef kVerificationClass = record_class<zelko::Verification>({});
const ClassDef kVideoClass = record_class<zelko::Video>({});

// An instance of class `id` (TypeError otherwise), or None for an optional
// one; the object itself is kept.
bool arg_instance(PyObject* value, const char* name, ClassId id, bool optional,
                  PyRef& out) {
  if (value == nullptr || (optional && value == Py_None)) return true;
  if (!is_instance(value, id)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be %s, not %s", name,
                 std::string(class_name(id)).c_str(), type_name(value).c_str());
    return false;
  }
  out = PyRef::borrow(value);
  return true;
}

namespace {

// A card as (url, width, height, media type, alt), its texts checked as the
// head's own are.
bool read_card(PyObject* value, zelko::HeadCard& out) {
  PyObject* url = nullptr;
  PyObject* type = nullptr;
  PyObject* alt = nullptr;
  if (!PyArg_ParseTuple(value, "OIIOO:card", &url, &out.width, &out.height,
                        &type, &alt) ||
      !arg_text(url, "card", out.url) || !arg_text(type, "card", out.type) ||
      !arg_text(alt, "card", out.alt)) {
    return false;
  }
  for (const auto& [text, kind] :
       {std::pair{&out.url, zelko::FieldKind::Url},
        std::pair{&out.type, zelko::FieldKind::Text},
        std::pair{&out.alt, zelko::FieldKind::Text}}) {
    if (zelko::Status status = zelko::check_head_text(*text, kind); !status) {
      return raise_engine_error_at(status.error(), "card") != nullptr;
    }
  }
  return true;
}

// Keeps what the graph is made of when the site head asks for one.
bool keep_graph_sources(HeadRecord& head, PyRef entity, PyRef overrides) {
  if (!head.site) return true;
  SharedBorrow site(head.site.get());
  if (!site) return false;
  if (!record_of<SiteHeadRecord>(head.site.get()).site.jsonld_graph) {
    return true;
  }
  if (!entity) {
    PyErr_SetString(PyExc_TypeError,
                    "_head: a site head with jsonld_graph=True needs the "
                    "entity the payload was built from");
    return false;
  }
  head.entity = std::move(entity);
  head.overrides = std::move(overrides);
  return true;
}

}  // namespace

namespace {

// The arguments of a head, in the order _head takes them.
enum HeadArgument : std::size_t {
  kPayload,
  kConfig,
  kSite,
  kPage,
  kAlternates,
  kCard,
  kEntity,
  kOverrides,
  kRoute,
  kHeadArguments
};
using HeadArguments = std::array<PyObject*, kHeadArguments>;

// Whether the page or, where the page leaves it open, the site asks for a
// social card (either says anything at all: the linker decides the rest).
bool asks_for_card(const HeadRecord& head, bool& asks) {
  asks = false;
  if (head.page) {
    SharedBorrow page(head.page.get());
    if (!page) return false;
    asks = record_of<zelko::PageHead>(head.page.get()).card.has_value();
  }
  if (!asks && head.site) {
    SharedBorrow site(head.site.get());
    if (!site) return false;
    asks = record_of<SiteHeadRecord>(head.site.get()).site.cards.has_value();
  }
  return true;
}

// The card as `card_linker(payload, config, site, page)` gives it, when the
// site or the page asks for one.
bool link_card(HeadRecord& head, PyObject* card_linker) {
  bool asks = false;
  if (!asks_for_card(head, asks)) return false;
  if (!asks) return true;
  PyRef card = PyRef::steal(PyObject_CallFunctionObjArgs(
      card_linker, head.payload.get(), head.config.get(),
      head.site ? head.site.get() : Py_None,
      head.page ? head.page.get() : Py_None, nullptr));
  if (!card) return false;
  return card.get() == Py_None || read_card(card.get(), head.card.emplace());
}

// The SEOHead of bound arguments. Without a `card` argument a given
// `card_linker` is asked for the card (see link_card).
PyObject* make_head(const HeadArguments& arg, PyObject* card_linker) {
  HeadRecord head;
  PyRef entity;
  PyRef overrides;
  zelko::Alternates alternates;
  if (!arg_instance(arg[kPayload], "payload", ClassId::SEOPayload, false,
                    head.payload) ||
      !arg_instance(arg[kConfig], "config", ClassId::SEOConfig, false,
                    head.config) ||
      !arg_instance(arg[kSite], "site", ClassId::SiteHead, true, head.site) ||
      !arg_instance(arg[kPage], "page", ClassId::PageHead, true, head.page) ||
      !arg_instance(arg[kEntity], "entity", ClassId::SEOEntity, true, entity) ||
      !arg_instance(arg[kOverrides], "overrides", ClassId::SEOOverrides, true,
                    overrides) ||
      (arg[kAlternates] != nullptr && arg[kAlternates] != Py_None &&
       !arg_pair_list(arg[kAlternates], "alternates", alternates, arg_text,
                      arg_text)) ||
      (arg[kCard] != nullptr && arg[kCard] != Py_None &&
       !read_card(arg[kCard], head.card.emplace()))) {
    return nullptr;
  }
  if (!alternates.empty()) {
    SharedBorrow config(head.config.get());
    if (!config) return nullptr;
    zelko::Result<std::vector<zelko::HreflangLink>> links =
        zelko::hreflang_links(alternates, config_record(head.config.get()));
    if (!links) return raise_engine_error_at(links.error(), "alternates");
    head.hreflang = std::move(*links);
  }
  if (!keep_graph_sources(head, std::move(entity), std::move(overrides))) {
    return nullptr;
  }
  if (head.entity && arg[kRoute] != nullptr && arg[kRoute] != Py_None) {
    std::string route;
    if (!arg_text(arg[kRoute], "route", route)) return nullptr;
    head.route = std::move(route);
  }
  if (card_linker != nullptr && arg[kCard] == nullptr &&
      !link_card(head, card_linker)) {
    return nullptr;
  }
  return make_object(ClassId::SEOHead, std::move(head));
}

// zelko.head.head_of: its keywords bound without a dict, `card_linker` (the
// function's self) asked for the card.
PyObject* head_of(PyObject* card_linker, PyObject* const* args,
                  Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {
        "payload",    "config", "site",      "page",
        "alternates", "entity", "overrides", "route"};
    static constexpr Signature kSignature{"head_of", kNames, 2, 2};
    std::array<PyObject*, std::size(kNames)> given{};
    if (!bind_fast_arguments(kSignature, args, nargs, kwnames, given)) {
      return nullptr;
    }
    const HeadArguments arg{given[0], given[1], given[2], given[3], given[4],
                            nullptr,  given[5], given[6], given[7]};
    return make_head(arg, card_linker);
  });
}

PyMethodDef kHeadOfDef = {
    "head_of", as_method(head_of), METH_FASTCALL | METH_KEYWORDS,
    "head_of(payload, config, *, site=None, page=None, alternates=None, "
    "entity=None, overrides=None, route=None)\n--\n\n"
    "The whole head of a built payload, its card linked when it shows one; "
    "a site head asking for the linked JSON-LD graph needs the entity (and "
    "the overrides and route) the payload was built from."};

}  // namespace

PyObject* py_head(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"payload", "config",     "site",
                                             "page",    "alternates", "card",
                                             "entity",  "overrides",  "route"};
    static constexpr Signature kSignature{"_head", kNames, 9, 2};
    HeadArguments arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    return make_head(arg, nullptr);
  });
}

PyObject* py_head_function(PyObject* /*module*/, PyObject* card_linker) {
  return guarded([&]() -> PyObject* {
    if (PyCallable_Check(card_linker) == 0) {
      PyErr_Format(PyExc_TypeError, "card_linker must be callable, not %s",
                   type_name(card_linker).c_str());
      return nullptr;
    }
    // The function belongs where its linker does (zelko.head).
    PyRef module = get_attribute(card_linker, "__module__");
    if (!module) return nullptr;
    return PyCFunction_NewEx(&kHeadOfDef, card_linker, module.get());
  });
}

}  // namespace zelko::py
