// The head reader of zelko check on arbitrary text, as if a parser had
// serialized it.
//
// Invariants: total and deterministic; a head it reads has a count for every
// extra key, link targets without white space around them, and Open Graph
// and Twitter keys each once, with their prefix.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "zelko/head_facts.hpp"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  using namespace zelko;
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const std::optional<HeadFacts> facts = read_head_facts(text);
  const std::optional<HeadFacts> again = read_head_facts(text);
  FUZZ_CHECK(facts.has_value() == again.has_value());
  if (!facts) return 0;
  FUZZ_CHECK(facts->title == again->title && facts->robots == again->robots &&
             facts->open_graph == again->open_graph &&
             facts->hreflang == again->hreflang &&
             facts->extra_counts == again->extra_counts);
  FUZZ_CHECK(facts->extra_counts.size() == head_extra_keys().size());
  FUZZ_CHECK(!facts->canonical || is_stripped(*facts->canonical));
  for (const auto& [language, href] : facts->hreflang) {
    FUZZ_CHECK(is_stripped(href));
  }
  FUZZ_CHECK(unique_with_prefix(facts->open_graph, "og:"));
  FUZZ_CHECK(unique_with_prefix(facts->twitter, "twitter:"));
  return 0;
}
