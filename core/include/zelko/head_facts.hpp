// What `zelko check` reads from a page's head: the facts and the extras a
// contract can ask for, gathered from the head's own elements one at a time
// (zelko/html_page.hpp walks the parsed page and hands them over).
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

// The attributes of a head element the facts come from, as the DOM holds
// them: references decoded, one written without a value is "".
struct HeadAttributes {
  std::optional<std::string_view> content;
  std::optional<std::string_view> property;
  std::optional<std::string_view> name;
  std::optional<std::string_view> href;
  std::optional<std::string_view> rel;
  std::optional<std::string_view> hreflang;
  std::optional<std::string_view> type;

  // Keeps `value` when `attribute` (its qualified name) is one of the above;
  // the first of a name counts.
  void keep(std::string_view attribute, std::string_view value);
};

// Gathers HeadFacts from the head's own children, in document order.
class HeadFactsBuilder {
 public:
  HeadFactsBuilder();

  // A child element by its tag name: <meta> and <link> are read, any other
  // is passed over.
  void element(std::string_view tag, const HeadAttributes& attributes);
  // The text of a <title> child: the first one counts.
  void title(std::string_view text);
  [[nodiscard]] bool has_title() const { return facts_.title.has_value(); }
  // The facts, each Open Graph and Twitter key with its first value.
  [[nodiscard]] HeadFacts finish() &&;

 private:
  void meta(const HeadAttributes& attributes);
  void count_meta(std::string_view name);
  void link(const HeadAttributes& attributes);
  void count_feed(std::optional<std::string_view> type);

  HeadFacts facts_;
  std::string lower_buffer_;  // reused: names are compared before kept
};

}  // namespace zelko
