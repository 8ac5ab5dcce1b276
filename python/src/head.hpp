// The whole head: the classes of the site and page extras (made from their
// field tables) and SEOHead, the rendered head of one built payload.
#pragma once

#include "binding.hpp"

namespace zelko::py {

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

}  // namespace zelko::py
