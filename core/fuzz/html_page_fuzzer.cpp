// The page reader of zelko check (lexbor's parser and the walk over its
// tree) on arbitrary bytes.
//
// Invariants: total and deterministic; reading links changes nothing else;
// a page has a count for every extra key, link targets without white space
// around them, Open Graph and Twitter keys each once with their prefix, no
// empty <a href>, and no more JSON-LD text than the page's text can give;
// scripts the JSON-LD summary takes are JSON the engine's reader takes too,
// and summing a page's scripts twice over doubles the summary.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "zelko/html_page.hpp"
#include "zelko/json.hpp"
#include "zelko/jsonld_summary.hpp"

namespace {

bool is_stripped(std::string_view text) {
  constexpr std::string_view kWhitespace = " \t\n\f\r";
  return text.empty() ||
         (kWhitespace.find(text.front()) == std::string_view::npos &&
          kWhitespace.find(text.back()) == std::string_view::npos);
}

bool unique_with_prefix(const std::vector<zelko::TextPair>& pairs,
                        std::string_view prefix) {
  std::set<std::string> keys;
  for (const auto& pair : pairs) {
    if (!pair.first.starts_with(prefix) || !keys.insert(pair.first).second) {
      return false;
    }
  }
  return true;
}

void check_summary(const std::vector<std::string>& scripts) {
  const auto summary = zelko::summarize_jsonld(scripts);
  if (!summary) return;
  for (const std::string& script : scripts) {
    FUZZ_CHECK(zelko::parse_json(script).ok());
  }
  std::vector<std::string> twice = scripts;
  twice.insert(twice.end(), scripts.begin(), scripts.end());
  const auto doubled = zelko::summarize_jsonld(twice);
  FUZZ_CHECK(doubled && doubled->scripts == 2 * summary->scripts &&
             doubled->nodes == 2 * summary->nodes &&
             doubled->types.size() == 2 * summary->types.size());
}

bool same_head(const zelko::HeadFacts& a, const zelko::HeadFacts& b) {
  return a.title == b.title && a.description == b.description &&
         a.canonical == b.canonical && a.robots == b.robots &&
         a.open_graph == b.open_graph && a.twitter == b.twitter &&
         a.hreflang == b.hreflang && a.extra_counts == b.extra_counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  using namespace zelko;
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const std::optional<PageHtml> page = read_html_page(text, true);
  const std::optional<PageHtml> without_links = read_html_page(text, false);
  FUZZ_CHECK(page.has_value() && without_links.has_value());
  FUZZ_CHECK(same_head(page->head, without_links->head));
  FUZZ_CHECK(page->jsonld == without_links->jsonld);
  FUZZ_CHECK(without_links->links.empty());
  const HeadFacts& facts = page->head;
  FUZZ_CHECK(facts.extra_counts.size() == head_extra_keys().size());
  FUZZ_CHECK(!facts.canonical || is_stripped(*facts.canonical));
  for (const auto& [language, href] : facts.hreflang) {
    FUZZ_CHECK(is_stripped(href));
  }
  FUZZ_CHECK(unique_with_prefix(facts.open_graph, "og:"));
  FUZZ_CHECK(unique_with_prefix(facts.twitter, "twitter:"));
  for (const std::string& link : page->links) FUZZ_CHECK(!link.empty());
  // Each text node is read once (a NUL becomes U+FFFD, three bytes; a
  // reference decodes to at most a little more than itself).
  std::size_t script_text = 0;
  for (const std::string& script : page->jsonld) script_text += script.size();
  FUZZ_CHECK(script_text <= 3 * size);
  check_summary(page->jsonld);
  // The page's bytes as one script, as a summary would meet them.
  check_summary({std::string(text)});
  return 0;
}
