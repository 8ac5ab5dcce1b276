// The linked JSON-LD graph of a page: one {"@context", "@graph"} object whose
// nodes name each other by "@id", beside the payload's list of separate
// nodes (which stays as it is).
//
// The "@id" scheme, stable from run to run and from entry point to entry
// point ({base} is public_base_url without trailing slashes, {page} the
// canonical URL without its fragment):
//   {base}/#website         the WebSite
//   {base}/#organization    the identity, an Organization
//   {base}/#logo            its logo, an ImageObject
//   {base}/#person          the identity, a Person
//   {base}/#personimage     their picture, an ImageObject
//   {base}/#author/{name}   an author, a Person ({name} percent-encoded;
//                           the identity's own id when it is that person)
//   {page}#webpage          the WebPage (or CollectionPage, FAQPage, ...)
//   {page}#article          the primary entity: #article (Article,
//                           BlogPosting, NewsArticle), #product, #video,
//                           #organization, #localbusiness, or "#" and the
//                           type name in lower case for other types
//   {page}#question-{n}     the n-th question of an FAQ page, from 1
//   {page}#breadcrumb       the BreadcrumbList
//   {page}#primaryimage     the page's image, an ImageObject
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zelko/error.hpp"
#include "zelko/identity.hpp"
#include "zelko/json.hpp"
#include "zelko/payload.hpp"
#include "zelko/records.hpp"

namespace zelko {

// What a page's graph is made of. The payload gives the canonical URL, the
// title and the description as the builder resolved them.
struct GraphPage {
  const SEOEntity& entity;
  const SEOConfig& config;
  const SEOPayload& payload;
  const SEOOverrides* overrides = nullptr;  // may be null
  // The site's identity; without one, the configuration's publisher_name
  // (and publisher_logo) stands for an Organization, if it is set.
  const Identity* identity = nullptr;
};

// {"@context": "https://schema.org", "@graph": [nodes]} as compact JSON text
// (keys in byte order, as write_json writes a JsonValue): the website, the
// identity, the web page, the primary entity (where the payload would get a
// generated node: not with omit_schema, nor with auto_generate_schema off),
// the breadcrumb list, the primary image, the author; then `user_nodes`. A
// user node whose "@id" is one of these replaces it in place; any other is
// appended. Arrays and "@graph" objects among them are read for their
// nodes; values that are no objects do not join. A schema.org "@context" of
// a user node is dropped (the graph has it). Fails only where the payload
// build would (a breadcrumb URL that does not resolve).
[[nodiscard]] Result<std::string> write_jsonld_graph(
    const GraphPage& page, std::span<const JsonValue> user_nodes);

// The nodes of the payload's JSON-LD that the engine does not make itself
// for the page: the ones a caller supplied, through the schema_jsonld
// override, a schema generator or a hook. With the route, the engine's own
// nodes are those of the page built again without the override (so a hook
// that changed the title leaves them the engine's); without it, they are
// made from the payload's canonical URL, title and description. Fails where
// that build would.
[[nodiscard]] Result<std::vector<JsonValue>> supplied_nodes(
    const GraphPage& page,
    std::optional<std::string_view> route = std::nullopt);

}  // namespace zelko
