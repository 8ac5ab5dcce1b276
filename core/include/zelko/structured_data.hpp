// Structured data checked against the schema.org vocabulary (a table built
// into the engine) and against the properties search engines need for their
// rich results. Findings are SEOIssues with rule ids ZELKO301 to ZELKO312;
// each carries details {"path": "$[0].offers.price", ...} naming the node
// and property, and no url.
//
//   ZELKO301 unknown @type (error)
//   ZELKO302 unknown property (error)
//   ZELKO303 property outside the domain of the node's types (error)
//   ZELKO304 value outside the property's range (warning)
//   ZELKO305 superseded or pending term (warning)
//   ZELKO306 a Date, DateTime, Time, URL or Number that is not one (error)
//   ZELKO310 a property a rich result requires is missing (error)
//   ZELKO311 a property a rich result recommends is missing (warning)
//   ZELKO312 no node eligible for a requested rich result (error)
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zelko/json.hpp"
#include "zelko/validation.hpp"

namespace zelko {

// The schema.org release the vocabulary table was built from ("30.0").
[[nodiscard]] std::string_view schema_vocabulary_release() noexcept;

// The type names the rich-result table has requirements for, sorted.
[[nodiscard]] std::vector<std::string> rich_result_types();

// Whether `name` is one of rich_result_types() or a schema.org subtype of
// one (BlogPosting, Restaurant).
[[nodiscard]] bool is_rich_result_type(std::string_view name) noexcept;

// Checks a JSON-LD document: a node, an array of nodes, or an object with an
// "@graph" array. "@id" references resolve within the document. Every name
// in `rich_results` must have an eligible node (a node of that type, or a
// subtype, anywhere in the document, with every required property); a name
// that is no rich-result type never has one. Rich-result requirements
// (ZELKO310/311) are checked on the document's own nodes (the root, its
// array items, its @graph). Pure and total: findings in document order, then
// the rich-result findings, then ZELKO312 in the order of `rich_results`.
[[nodiscard]] std::vector<SEOIssue> check_structured_data(
    const JsonValue& document, std::span<const std::string> rich_results = {});

}  // namespace zelko
