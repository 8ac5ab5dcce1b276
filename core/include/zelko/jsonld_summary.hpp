// What the per-page checks of `zelko check` need of a page's JSON-LD, read
// without building the values: how many scripts parse, how many nodes they
// hold and the nodes' types.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelko {

struct JsonLdSummary {
  std::uint32_t scripts = 0;  // every script, all of which parse
  // The nodes: a top-level object, each object of a top-level array, the
  // members of an object's "@graph" list (the object itself too when it has
  // an "@type").
  std::uint32_t nodes = 0;
  // Each node's "@type" texts (a text, or the texts of a list), node by node.
  std::vector<std::string> types;
};

// The summary of a page's JSON-LD scripts, or nullopt when the scripts need
// reading in full: one does not parse here (its error message is the full
// reader's to give; this reader refuses a byte order mark, lone surrogates
// and nesting deeper than 128, which the full reader may take), or an
// object names an "@id" (the linked-data checks look at every object), or
// a node object gives "@graph" or "@type" twice. Never throws.
[[nodiscard]] std::optional<JsonLdSummary> summarize_jsonld(
    std::span<const std::string> scripts) noexcept;

}  // namespace zelko
