// What `zelko check` reads from a page's head, from the head's HTML as an
// HTML5 parser serializes it: the parser has already settled what is in the
// head (implied end tags, misnested markup, entities, attribute case), and
// its serialization is regular enough to read in one pass without building
// a tree.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelko {

// The extras of a head that a contract's `head.required` can ask for: each
// key counts elements of one kind, named one way.
enum class HeadExtraKind : std::uint8_t {
  kLink,    // a <link> with this rel token and an href
  kFeed,    // a <link rel="alternate"> of a feed type and an href
  kMeta,    // a <meta> with content, by name (or property)
  kPrefix,  // a <meta> with content whose name starts so
};

struct HeadExtraKey {
  std::string_view key;  // as a contract spells it
  HeadExtraKind kind;
  std::string_view name;
};

// Every key, in the order the contract documentation lists them.
[[nodiscard]] std::span<const HeadExtraKey> head_extra_keys();

using TextPair = std::pair<std::string, std::string>;

// The first title, description and canonical count, as they do for search
// engines. Texts are as the DOM holds them (entities decoded), not trimmed,
// except link targets, stripped of ASCII white space as URL attributes are.
struct HeadFacts {
  std::optional<std::string> title;  // the head's first <title>
  std::optional<std::string> description;
  std::optional<std::string> canonical;
  std::vector<std::string> robots;   // every robots meta's content, in order
  std::vector<TextPair> open_graph;  // "og:*" by property/name: the first each
  std::vector<TextPair> twitter;     // "twitter:*": the first of each
  std::vector<TextPair> hreflang;    // (hreflang, href) of alternate links
  // How many elements of each head_extra_keys() row, by row.
  std::vector<std::uint32_t> extra_counts;
};

// Reads `<head ...>...</head>` as the parser serialized it: the head's own
// children only (a meta inside <noscript> is not the head's). nullopt when
// the text holds anything that serialization does not produce or that this
// reader does not follow with certainty (a <template>, an unknown entity):
// the caller then reads the parsed tree itself.
[[nodiscard]] std::optional<HeadFacts> read_head_facts(std::string_view html);

}  // namespace zelko
