#include "zelko/head_facts.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace zelko {
namespace {

using enum HeadExtraKind;

constexpr std::array kHeadExtraKeys = {
    HeadExtraKey{"icon", kLink, "icon"},
    HeadExtraKey{"apple-touch-icon", kLink, "apple-touch-icon"},
    HeadExtraKey{"mask-icon", kLink, "mask-icon"},
    HeadExtraKey{"manifest", kLink, "manifest"},
    HeadExtraKey{"feed", kFeed, ""},
    HeadExtraKey{"theme-color", kMeta, "theme-color"},
    HeadExtraKey{"application-name", kMeta, "application-name"},
    HeadExtraKey{"verification.google", kMeta, "google-site-verification"},
    HeadExtraKey{"verification.bing", kMeta, "msvalidate.01"},
    HeadExtraKey{"verification.yandex", kMeta, "yandex-verification"},
    HeadExtraKey{"verification.pinterest", kMeta, "p:domain_verify"},
    HeadExtraKey{"verification.facebook", kMeta,
                 "facebook-domain-verification"},
    HeadExtraKey{"verification.baidu", kMeta, "baidu-site-verification"},
    HeadExtraKey{"verification.naver", kMeta, "naver-site-verification"},
    HeadExtraKey{"twitter:site:id", kMeta, "twitter:site:id"},
    HeadExtraKey{"app_links", kPrefix, "al:"},
    HeadExtraKey{"keywords", kMeta, "keywords"},
    HeadExtraKey{"googlebot", kMeta, "googlebot"},
    HeadExtraKey{"bingbot", kMeta, "bingbot"},
    HeadExtraKey{"og:image", kMeta, "og:image"},
    HeadExtraKey{"og:video", kMeta, "og:video"},
    HeadExtraKey{"article.published_time", kMeta, "article:published_time"},
    HeadExtraKey{"article.modified_time", kMeta, "article:modified_time"},
    HeadExtraKey{"article.expiration_time", kMeta, "article:expiration_time"},
    HeadExtraKey{"article.author", kMeta, "article:author"},
    HeadExtraKey{"article.section", kMeta, "article:section"},
    HeadExtraKey{"article.tag", kMeta, "article:tag"},
};

constexpr std::array<std::string_view, 3> kFeedTypes = {
    "application/rss+xml", "application/atom+xml", "application/feed+json"};

// HTML's white space: what rel tokens are split on and URLs are stripped of.
constexpr std::string_view kWhitespace = " \t\n\f\r";

bool is_whitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

std::string_view strip(std::string_view text) {
  while (!text.empty() && is_whitespace(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_whitespace(text.back())) text.remove_suffix(1);
  return text;
}

// `text` lowered (ASCII only, as HTML compares names): `text` itself when
// it has no capital, else a view of `buffer`.
std::string_view ascii_lower(std::string_view text, std::string& buffer) {
  const auto is_upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  if (std::none_of(text.begin(), text.end(), is_upper)) return text;
  buffer.assign(text);
  for (char& c : buffer) {
    if (is_upper(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  return buffer;
}

template <typename Visit>
void for_each_token(std::string_view text, Visit&& visit) {
  while (true) {
    const std::size_t start = text.find_first_not_of(kWhitespace);
    if (start == std::string_view::npos) return;
    text.remove_prefix(start);
    const std::size_t end = text.find_first_of(kWhitespace);
    visit(text.substr(0, end));
    if (end == std::string_view::npos) return;
    text.remove_prefix(end);
  }
}

// A head's usual dozen tags: compared pairwise, nothing allocated.
constexpr std::size_t kFewPairs = 32;
void dedupe_few(std::vector<TextPair>& pairs) {
  std::size_t kept = 0;
  for (std::size_t index = 0; index < pairs.size(); ++index) {
    const auto seen = std::find_if(
        pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(kept),
        [&](const TextPair& pair) { return pair.first == pairs[index].first; });
    if (seen != pairs.begin() + static_cast<std::ptrdiff_t>(kept)) continue;
    if (kept != index) pairs[kept] = std::move(pairs[index]);
    ++kept;
  }
  pairs.resize(kept);
}

// Keeps the first pair of each key, in the order of their first
// appearance; sorting indices keeps a hostile head of many tags linear
// times log.
void dedupe_first(std::vector<TextPair>& pairs) {
  if (pairs.size() < 2) return;
  if (pairs.size() <= kFewPairs) {
    dedupe_few(pairs);
    return;
  }
  std::vector<std::size_t> order(pairs.size());
  for (std::size_t index = 0; index < order.size(); ++index)
    order[index] = index;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) {
                     return pairs[a].first < pairs[b].first;
                   });
  std::vector<bool> keep(pairs.size(), false);
  for (std::size_t index = 0; index < order.size(); ++index) {
    keep[order[index]] = index == 0 || pairs[order[index]].first !=
                                           pairs[order[index - 1]].first;
  }
  std::size_t kept = 0;
  for (std::size_t index = 0; index < pairs.size(); ++index) {
    if (!keep[index]) continue;
    if (kept != index) pairs[kept] = std::move(pairs[index]);
    ++kept;
  }
  pairs.resize(kept);
}

}  // namespace

std::span<const HeadExtraKey> head_extra_keys() { return kHeadExtraKeys; }

void HeadAttributes::keep(std::string_view attribute, std::string_view value) {
  std::optional<std::string_view>* slot = nullptr;
  if (attribute == "content") {
    slot = &content;
  } else if (attribute == "property") {
    slot = &property;
  } else if (attribute == "name") {
    slot = &name;
  } else if (attribute == "href") {
    slot = &href;
  } else if (attribute == "rel") {
    slot = &rel;
  } else if (attribute == "hreflang") {
    slot = &hreflang;
  } else if (attribute == "type") {
    slot = &type;
  }
  if (slot != nullptr && !*slot) *slot = value;
}

HeadFactsBuilder::HeadFactsBuilder() {
  facts_.extra_counts.assign(kHeadExtraKeys.size(), 0);
}

void HeadFactsBuilder::element(std::string_view tag,
                               const HeadAttributes& attributes) {
  if (tag == "meta") {
    meta(attributes);
  } else if (tag == "link") {
    link(attributes);
  }
}

void HeadFactsBuilder::title(std::string_view text) {
  if (!facts_.title) facts_.title.emplace(text);
}

HeadFacts HeadFactsBuilder::finish() && {
  dedupe_first(facts_.open_graph);
  dedupe_first(facts_.twitter);
  return std::move(facts_);
}

void HeadFactsBuilder::meta(const HeadAttributes& attributes) {
  const auto content = attributes.content;
  if (!content) return;
  const auto property = attributes.property;
  const auto key = property && !property->empty() ? property : attributes.name;
  if (!key || key->empty()) return;
  const std::string_view name = ascii_lower(strip(*key), lower_buffer_);
  if (key->starts_with("og:")) {
    facts_.open_graph.emplace_back(*key, *content);
  } else if (key->starts_with("twitter:")) {
    facts_.twitter.emplace_back(*key, *content);
  } else if (name == "description") {
    if (!facts_.description) facts_.description.emplace(*content);
  } else if (name == "robots") {
    facts_.robots.emplace_back(*content);
  }
  count_meta(name);
}

void HeadFactsBuilder::count_meta(std::string_view name) {
  for (std::size_t row = 0; row < kHeadExtraKeys.size(); ++row) {
    const HeadExtraKey& key = kHeadExtraKeys[row];
    if ((key.kind == kMeta && name == key.name) ||
        (key.kind == kPrefix && name.starts_with(key.name))) {
      ++facts_.extra_counts[row];
      return;
    }
  }
}

void HeadFactsBuilder::link(const HeadAttributes& attributes) {
  const auto href = attributes.href;
  if (!href) return;
  const std::string_view relations =
      ascii_lower(attributes.rel.value_or(""), lower_buffer_);
  bool canonical = false;
  bool alternate = false;
  for_each_token(relations, [&](std::string_view token) {
    canonical = canonical || token == "canonical";
    alternate = alternate || token == "alternate";
    if (href->empty()) return;
    for (std::size_t row = 0; row < kHeadExtraKeys.size(); ++row) {
      const HeadExtraKey& key = kHeadExtraKeys[row];
      if (key.kind == kLink && token == key.name) ++facts_.extra_counts[row];
    }
  });
  // Link targets are URLs: stripped of white space around them.
  if (canonical && !facts_.canonical) facts_.canonical.emplace(strip(*href));
  if (alternate && attributes.hreflang) {
    facts_.hreflang.emplace_back(*attributes.hreflang, strip(*href));
  }
  if (alternate && !href->empty()) count_feed(attributes.type);
}

void HeadFactsBuilder::count_feed(std::optional<std::string_view> type) {
  if (!type) return;
  const std::string_view media_type =
      ascii_lower(strip(type->substr(0, type->find(';'))), lower_buffer_);
  if (std::find(kFeedTypes.begin(), kFeedTypes.end(), media_type) ==
      kFeedTypes.end()) {
    return;
  }
  for (std::size_t row = 0; row < kHeadExtraKeys.size(); ++row) {
    if (kHeadExtraKeys[row].kind == kFeed) ++facts_.extra_counts[row];
  }
}

}  // namespace zelko
