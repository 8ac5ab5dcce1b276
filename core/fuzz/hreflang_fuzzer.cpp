// Hreflang tags and links under any configuration.
//
// Invariants: canonical_hreflang_tag is idempotent and gives letters,
// digits and "-" only; hreflang_links is deterministic, its tags are
// canonical and distinct, "x-default" comes last, and every URL is http(s);
// render_hreflang writes one <link> element per link, each ending a line,
// with no raw '<' from a URL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "fuzz_support.hpp"
#include "zelko/crawl.hpp"

namespace {

using namespace zelko;

void check_tag(const std::string& given) {
  Result<std::string> tag = canonical_hreflang_tag(given);
  if (!tag) return;
  FUZZ_CHECK(!tag->empty());
  for (char c : *tag) {
    FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               (c >= '0' && c <= '9') || c == '-');
  }
  Result<std::string> again = canonical_hreflang_tag(*tag);
  FUZZ_CHECK(again.ok() && *again == *tag);
}

constexpr std::array<std::string_view, 8> kTags = {
    "en", "de-AT", "zh-hant-tw", "x-default", "EN", "sr-Latn", "en_GB", "i"};
constexpr std::array<std::string_view, 6> kValues = {
    "/de/a?utm_source=x",
    "https://www.example.com/a/",
    "https://other.example/x?a=1&b=<2>",
    "mailto:a@b",
    "https://exa mple.com/",
    "blog/post"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::optional<SEOConfig> config = fuzz::config(data);
  if (!config) return 0;
  Alternates alternates;
  const int count = data.ConsumeIntegralInRange<int>(0, 5);
  for (int i = 0; i < count; ++i) {
    std::string tag = data.ConsumeBool() ? std::string(fuzz::pick(data, kTags))
                                         : fuzz::text(data, 16);
    std::string value = data.ConsumeBool()
                            ? std::string(fuzz::pick(data, kValues))
                            : fuzz::text(data, 48);
    check_tag(tag);
    alternates.emplace_back(std::move(tag), std::move(value));
  }
  Result<std::vector<HreflangLink>> links = hreflang_links(alternates, *config);
  Result<std::vector<HreflangLink>> again = hreflang_links(alternates, *config);
  FUZZ_CHECK(links.ok() == again.ok());
  if (!links) return 0;
  FUZZ_CHECK(links->size() == alternates.size());
  for (std::size_t i = 0; i < links->size(); ++i) {
    const HreflangLink& link = (*links)[i];
    FUZZ_CHECK(link.tag == (*again)[i].tag && link.url == (*again)[i].url);
    Result<std::string> canonical = canonical_hreflang_tag(link.tag);
    FUZZ_CHECK(canonical.ok() && *canonical == link.tag);
    // Absolute: a route takes the scheme of public_base_url (which the
    // configuration's check leaves open), a URL its own.
    FUZZ_CHECK(fuzz::contains(link.url, "://"));
    for (std::size_t j = i + 1; j < links->size(); ++j) {
      FUZZ_CHECK((*links)[j].tag != link.tag);
    }
    if (link.tag == "x-default") FUZZ_CHECK(i + 1 == links->size());
  }
  const std::string html = render_hreflang(*links);
  FUZZ_CHECK(fuzz::count_of(html, "<link ") == links->size());
  // A route's URL keeps its bytes, a line break included (zelko validate
  // warns about such a canonical): each link ends a line, at least.
  FUZZ_CHECK(fuzz::count_of(html, ">\n") == links->size());
  FUZZ_CHECK(fuzz::count_of(html, "<") == links->size());
  return 0;
}
