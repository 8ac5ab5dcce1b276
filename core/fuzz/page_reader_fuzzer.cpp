// The batch page reader on arbitrary lines, as zelko batch hands them over.
//
// Invariants: total and deterministic; a line it takes is valid UTF-8 and
// its route holds visible text; a page it takes builds, or is refused with
// an engine error (never a crash), and builds the same payload twice.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.hpp"
#include "page_reader.hpp"
#include "text.hpp"
#include "zelko/builder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  using namespace zelko;
  const std::string_view line(reinterpret_cast<const char*>(bytes), size);
  const std::optional<PageInput> page = read_page(line);
  const std::optional<PageInput> again = read_page(line);
  FUZZ_CHECK(page.has_value() == again.has_value());
  if (!page) return 0;
  FUZZ_CHECK(page->route == again->route && page->entity == again->entity &&
             page->overrides == again->overrides);
  FUZZ_CHECK(is_valid_utf8(line));
  FUZZ_CHECK(!trim_white_space(page->route).empty());

  SEOConfig config;
  config.canonical_host = "www.example.com";
  config.public_base_url = "https://www.example.com";
  const SEOOverrides* overrides = page->overrides ? &*page->overrides : nullptr;
  Result<SEOPayload> built =
      build_seo_payload(page->entity, page->route, config, overrides);
  Result<SEOPayload> rebuilt =
      build_seo_payload(page->entity, page->route, config, overrides);
  FUZZ_CHECK(built.ok() == rebuilt.ok());
  if (built) FUZZ_CHECK(*built == *rebuilt);
  return 0;
}
