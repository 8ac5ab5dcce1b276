// The whole head: the classes of the site and page extras (made from their
// field tables) and SEOHead, the rendered head of one built payload.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "binding.hpp"
#include "zelko/head.hpp"

namespace zelko::py {

// The site's elements as last rendered, with the public_base_url they were
// resolved against (nothing else reaches them).
struct SiteBlockMemo {
  std::mutex lock;
  std::string public_base_url;
  std::shared_ptr<const std::string> block;  // null until rendered
};

// What a Python SiteHead holds: the record, and beside it its elements once
// rendered, since a site renders them alike on every page. The memo is
// never copied: a SiteHead made from another one (pickling, copying, a
// rebuild with changed fields) starts without one.
struct SiteHeadRecord {
  zelko::SiteHead site;
  std::unique_ptr<SiteBlockMemo> memo = std::make_unique<SiteBlockMemo>();
};

// The site's elements for `public_base_url`: the kept ones when they were
// rendered against that very text, else rendered now and kept. Null when a
// URL does not resolve (nothing is kept; no Python error is set): the head
// then writes the site's elements itself and reports the error as it would.
// The caller holds a borrow of the SiteHead.
[[nodiscard]] std::shared_ptr<const std::string> site_block(
    const SiteHeadRecord& site, std::string_view public_base_url);

extern const ClassDef kAppLinksClass;
extern const ClassDef kArticleMetaClass;
extern const ClassDef kCardSettingsClass;
extern const ClassDef kFeedClass;
extern const ClassDef kIconClass;
extern const ClassDef kOrganizationClass;
extern const ClassDef kPersonClass;
extern const ClassDef kPageHeadClass;
extern const ClassDef kRobotsExtraClass;
extern const ClassDef kSEOHeadClass;
extern const ClassDef kSiteHeadClass;
extern const ClassDef kVerificationClass;
extern const ClassDef kVideoClass;

// _head(payload, config, site=None, page=None, alternates=None, card=None,
// entity=None, overrides=None, route=None): the SEOHead of a built payload;
// alternates are (tag, route or URL) pairs, the card (url, width, height,
// media type, alt). A site head asking for the linked JSON-LD graph needs the
// entity (and the overrides and route) the payload was built from.
[[nodiscard]] PyObject* py_head(PyObject* module, PyObject* args,
                                PyObject* kwargs);

// _head_function(card_linker): zelko.head.head_of, a function taking
// (payload, config, *, site=None, page=None, alternates=None, entity=None,
// overrides=None, route=None) as the package documents it, bound without a
// tuple or dict. When the site or the page asks for a social card it calls
// card_linker(payload, config, site, page), which returns the card as _head
// takes it, or None.
[[nodiscard]] PyObject* py_head_function(PyObject* module,
                                         PyObject* card_linker);

}  // namespace zelko::py
