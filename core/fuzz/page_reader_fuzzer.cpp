// The batch page reader on arbitrary lines, as zelko batch hands them over.
//
// Invariants: total and deterministic; a line it takes is valid UTF-8 and
// its route holds visible text; a page it takes builds, or is refused with
// an engine error (never a crash), and builds the same payload twice; its
// head, when it has one, renders or is refused, the same way twice.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.hpp"
#include "page_reader.hpp"
#include "text.hpp"
#include "zelko/builder.hpp"
#include "zelko/head.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  using namespace zelko;
  const std::string_view line(reinterpret_cast<const char*>(bytes), size);
  const std::optional<PageInput> page = read_page(line);
  const std::optional<PageInput> again = read_page(line);
  FUZZ_CHECK(page.has_value() == again.has_value());
  if (!page) return 0;
  FUZZ_CHECK(page->route == again->route && page->entity == again->entity &&
             page->overrides == again->overrides && page->head == again->head);
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
  if (built && page->head) {
    const HeadExtras extras{{}, nullptr, &*page->head};
    Result<std::string> head = render_head(*built, extras, config);
    Result<std::string> head_again = render_head(*built, extras, config);
    FUZZ_CHECK(head.ok() == head_again.ok());
    if (head) FUZZ_CHECK(*head == *head_again);
  }
  return 0;
}
