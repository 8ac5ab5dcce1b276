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

// The first of `stops` in `text` from `from`, or npos: one pass, where
// string_view::find_first_of looks each character up in the set.
template <char... Stops>
std::size_t find_any(std::string_view text, std::size_t from) {
  for (std::size_t at = from; at < text.size(); ++at) {
    const char c = text[at];
    if (((c == Stops) || ...)) return at;
  }
  return std::string_view::npos;
}

// The five references the serializer writes.
constexpr std::array<std::pair<std::string_view, std::string_view>, 5>
    kReferences = {{{"&amp;", "&"},
                    {"&quot;", "\""},
                    {"&lt;", "<"},
                    {"&gt;", ">"},
                    {"&nbsp;", "\xC2\xA0"}}};

const std::pair<std::string_view, std::string_view>* reference_at(
    std::string_view text) {
  for (const auto& reference : kReferences) {
    if (text.starts_with(reference.first)) return &reference;
  }
  return nullptr;
}

// Whether every '&' of `text` begins one of those references.
bool well_escaped(std::string_view text) {
  for (std::size_t amp = text.find('&'); amp != std::string_view::npos;
       amp = text.find('&', amp + 1)) {
    if (reference_at(text.substr(amp)) == nullptr) return false;
  }
  return true;
}

// `text` (well escaped) with its references replaced: a view of `text`
// itself when it has none, else of `buffer`.
std::string_view decoded(std::string_view text, std::string& buffer) {
  std::size_t amp = text.find('&');
  if (amp == std::string_view::npos) return text;
  buffer.clear();
  while (amp != std::string_view::npos) {
    buffer.append(text.substr(0, amp));
    text.remove_prefix(amp);
    const auto* reference = reference_at(text);
    buffer.append(reference->second);
    text.remove_prefix(reference->first.size());
    amp = text.find('&');
  }
  buffer.append(text);
  return buffer;
}

// The attributes the reader looks at; any other is passed over.
enum class Slot : std::uint8_t {
  kContent,
  kProperty,
  kName,
  kHref,
  kRel,
  kHreflang,
  kType
};
constexpr std::array<std::string_view, 7> kSlotNames = {
    "content", "property", "name", "href", "rel", "hreflang", "type"};

struct StartTag {
  std::string_view name;
  // Each looked-at attribute as written (references not yet replaced);
  // the parser keeps the first of a repeated one, so each is there once.
  std::array<std::optional<std::string_view>, kSlotNames.size()> slots;

  [[nodiscard]] std::optional<std::string_view> find(Slot slot) const {
    return slots[static_cast<std::size_t>(slot)];
  }

  void keep(std::string_view attribute, std::string_view value) {
    for (std::size_t slot = 0; slot < kSlotNames.size(); ++slot) {
      if (kSlotNames[slot] == attribute) {
        slots[slot] = value;
        return;
      }
    }
  }
};

enum class Content : std::uint8_t { kVoid, kText, kHeadOnly };

// How each element the parser lets stand in a head is serialized. Any other
// element (a <template>, whose content may be anything) is not followed.
std::optional<Content> content_of(std::string_view tag) {
  static constexpr std::array<std::pair<std::string_view, Content>, 10>
      kElements = {{{"meta", Content::kVoid},
                    {"link", Content::kVoid},
                    {"base", Content::kVoid},
                    {"basefont", Content::kVoid},
                    {"bgsound", Content::kVoid},
                    {"title", Content::kText},
                    {"script", Content::kText},
                    {"style", Content::kText},
                    {"noframes", Content::kText},
                    {"noscript", Content::kHeadOnly}}};
  for (const auto& [name, content] : kElements) {
    if (name == tag) return content;
  }
  return std::nullopt;
}

// One pass over the serialized head. Every step either advances or fails,
// so hostile text costs one pass at most.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<HeadFacts> read() {
    facts_.extra_counts.assign(kHeadExtraKeys.size(), 0);
    auto head = start_tag();
    if (!head || head->name != "head" || !children(1, "</head>")) {
      return std::nullopt;
    }
    if (!text_.empty()) return std::nullopt;
    dedupe_first(facts_.open_graph);
    dedupe_first(facts_.twitter);
    return std::move(facts_);
  }

 private:
  // Children up to `end_tag`; depth 1 is the head's own.
  bool children(int depth, std::string_view end_tag) {
    while (true) {
      const std::size_t open = text_.find('<');
      if (open == std::string_view::npos) return false;
      text_.remove_prefix(open);
      if (text_.starts_with(end_tag)) {
        text_.remove_prefix(end_tag.size());
        return true;
      }
      if (text_.starts_with("<!--")) {
        const std::size_t close = text_.find("-->", 4);
        if (close == std::string_view::npos) return false;
        text_.remove_prefix(close + 3);
        continue;
      }
      if (!element(depth)) return false;
    }
  }

  bool element(int depth) {
    auto tag = start_tag();
    if (!tag) return false;
    const auto content = content_of(tag->name);
    if (!content) return false;
    switch (*content) {
      case Content::kVoid:
        if (depth == 1) take(*tag);
        return true;
      case Content::kText:
        return text_content(*tag, depth == 1 && tag->name == "title");
      case Content::kHeadOnly:
        // <noscript> holds metadata elements only, never another one.
        return depth == 1 && children(depth + 1, "</noscript>");
    }
    return false;
  }

  // Text up to the element's end tag, which the text cannot hold: the
  // parser ends the element at the first one.
  bool text_content(const StartTag& tag, bool is_title) {
    end_tag_.assign("</").append(tag.name).push_back('>');
    const std::size_t end = text_.find(end_tag_);
    if (end == std::string_view::npos) return false;
    const std::string_view text = text_.substr(0, end);
    text_.remove_prefix(end + end_tag_.size());
    if (!is_title || facts_.title) return true;
    if (!well_escaped(text)) return false;
    facts_.title = owned(text);
    return true;
  }

  // `<name attr="value" ...>`: names end at '=' (a name may begin with
  // one), values are always double-quoted, with '"' written as a reference.
  std::optional<StartTag> start_tag() {
    if (!text_.starts_with('<')) return std::nullopt;
    const std::size_t name_end = find_any<' ', '>'>(text_, 1);
    if (name_end == std::string_view::npos || name_end == 1)
      return std::nullopt;
    StartTag tag{text_.substr(1, name_end - 1), {}};
    text_.remove_prefix(name_end);
    while (text_.starts_with(' ')) {
      const std::size_t equals = find_any<'=', ' ', '>'>(text_, 2);
      if (equals == std::string_view::npos || text_[equals] != '=' ||
          equals + 1 >= text_.size() || text_[equals + 1] != '"') {
        return std::nullopt;
      }
      const std::size_t quote = text_.find('"', equals + 2);
      if (quote == std::string_view::npos) return std::nullopt;
      const std::string_view value =
          text_.substr(equals + 2, quote - equals - 2);
      if (!well_escaped(value)) return std::nullopt;
      tag.keep(text_.substr(1, equals - 1), value);
      text_.remove_prefix(quote + 1);
    }
    if (!text_.starts_with('>')) return std::nullopt;
    text_.remove_prefix(1);
    return tag;
  }

  void take(const StartTag& tag) {
    if (tag.name == "meta") {
      take_meta(tag);
    } else if (tag.name == "link") {
      take_link(tag);
    }
  }

  void take_meta(const StartTag& tag) {
    const auto content = tag.find(Slot::kContent);
    if (!content) return;
    const auto property = tag.find(Slot::kProperty);
    const auto named =
        property && !property->empty() ? property : tag.find(Slot::kName);
    if (!named || named->empty()) return;
    const std::string_view key = decoded(*named, key_buffer_);
    const std::string_view name = ascii_lower(strip(key), lower_buffer_);
    if (key.starts_with("og:")) {
      facts_.open_graph.emplace_back(key, owned(*content));
    } else if (key.starts_with("twitter:")) {
      facts_.twitter.emplace_back(key, owned(*content));
    } else if (name == "description") {
      if (!facts_.description) facts_.description = owned(*content);
    } else if (name == "robots") {
      facts_.robots.push_back(owned(*content));
    }
    count_meta(name);
  }

  void count_meta(std::string_view name) {
    for (std::size_t row = 0; row < kHeadExtraKeys.size(); ++row) {
      const HeadExtraKey& key = kHeadExtraKeys[row];
      if ((key.kind == kMeta && name == key.name) ||
          (key.kind == kPrefix && name.starts_with(key.name))) {
        ++facts_.extra_counts[row];
        return;
      }
    }
  }

  void take_link(const StartTag& tag) {
    const auto href = tag.find(Slot::kHref);
    if (!href) return;
    const std::string_view relations = ascii_lower(
        decoded(tag.find(Slot::kRel).value_or(""), key_buffer_), lower_buffer_);
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
    if (canonical && !facts_.canonical) facts_.canonical = owned(*href, true);
    const auto language = tag.find(Slot::kHreflang);
    if (alternate && language) {
      facts_.hreflang.emplace_back(owned(*language), owned(*href, true));
    }
    if (alternate && !href->empty()) count_feed(tag.find(Slot::kType));
  }

  void count_feed(std::optional<std::string_view> type) {
    if (!type) return;
    const std::string_view whole = decoded(*type, key_buffer_);
    const std::string_view media_type =
        ascii_lower(strip(whole.substr(0, whole.find(';'))), lower_buffer_);
    if (std::find(kFeedTypes.begin(), kFeedTypes.end(), media_type) ==
        kFeedTypes.end()) {
      return;
    }
    for (std::size_t row = 0; row < kHeadExtraKeys.size(); ++row) {
      if (kHeadExtraKeys[row].kind == kFeed) ++facts_.extra_counts[row];
    }
  }

  // Text as the DOM holds it; a URL stripped of white space around it.
  std::string owned(std::string_view written, bool is_url = false) {
    const std::string_view text = decoded(written, value_buffer_);
    return std::string(is_url ? strip(text) : text);
  }

  template <typename Visit>
  static void for_each_token(std::string_view text, Visit&& visit) {
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
  static constexpr std::size_t kFewPairs = 32;
  static void dedupe_few(std::vector<TextPair>& pairs) {
    std::size_t kept = 0;
    for (std::size_t index = 0; index < pairs.size(); ++index) {
      const auto seen = std::find_if(
          pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(kept),
          [&](const TextPair& pair) {
            return pair.first == pairs[index].first;
          });
      if (seen != pairs.begin() + static_cast<std::ptrdiff_t>(kept)) continue;
      if (kept != index) pairs[kept] = std::move(pairs[index]);
      ++kept;
    }
    pairs.resize(kept);
  }

  // Keeps the first pair of each key, in the order of their first
  // appearance; sorting indices keeps a hostile head of many tags linear
  // times log.
  static void dedupe_first(std::vector<TextPair>& pairs) {
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

  std::string_view text_;
  HeadFacts facts_;
  // Reused from tag to tag: what is read is compared before it is kept.
  std::string end_tag_;
  std::string key_buffer_;
  std::string value_buffer_;
  std::string lower_buffer_;
};

}  // namespace

std::span<const HeadExtraKey> head_extra_keys() { return kHeadExtraKeys; }

std::optional<HeadFacts> read_head_facts(std::string_view html) {
  return Reader(html).read();
}

}  // namespace zelko
