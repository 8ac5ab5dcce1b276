// render_html and the group renderers on arbitrary payloads.
//
// Invariants: rendering never fails and is deterministic; no value can end
// or open an element: the only "</" in the snippet close the title and the
// script element, "<!--" never appears, the JSON text inside the script
// holds neither "</" nor "<!--" and reads back to the payload's JSON-LD; the
// snippet is the title element followed by the groups in their order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "zelko/hash.hpp"
#include "zelko/html.hpp"
#include "zelko/json.hpp"
#include "zelko/payload.hpp"
#include "zelko/validation.hpp"

namespace {

using namespace zelko;
using fuzz::contains;
using fuzz::count_of;
using fuzz::optional_text;

constexpr std::string_view kScriptOpen =
    "<script type=\"application/ld+json\">\n";
constexpr std::string_view kScriptClose = "\n</script>";

OGPayload og(FuzzedDataProvider& data) {
  OGPayload og;
  og.type = fuzz::text(data);
  og.title = optional_text(data);
  og.description = optional_text(data);
  og.url = optional_text(data);
  og.image = optional_text(data);
  if (data.ConsumeBool())
    og.image_width = data.ConsumeIntegral<std::uint32_t>();
  if (data.ConsumeBool())
    og.image_height = data.ConsumeIntegral<std::uint32_t>();
  og.image_alt = optional_text(data);
  og.site_name = optional_text(data);
  og.locale = optional_text(data);
  if (data.ConsumeBool()) og.locale_alternate = fuzz::text_list(data);
  og.audio = optional_text(data);
  og.video = optional_text(data);
  return og;
}

TwitterPayload twitter(FuzzedDataProvider& data) {
  TwitterPayload twitter;
  twitter.card = fuzz::text(data);
  twitter.title = optional_text(data);
  twitter.description = optional_text(data);
  twitter.image = optional_text(data);
  twitter.image_alt = optional_text(data);
  twitter.site = optional_text(data);
  twitter.creator = optional_text(data);
  return twitter;
}

SEOPayload payload(FuzzedDataProvider& data) {
  SEOPayload payload;
  payload.title = fuzz::text(data);
  payload.description = fuzz::text(data, 200);
  payload.canonical = fuzz::text(data);
  payload.robots = fuzz::text(data, 24);
  payload.og = og(data);
  payload.twitter = twitter(data);
  if (data.ConsumeBool()) payload.schema_jsonld = fuzz::json_value(data);
  return payload;
}

void check_jsonld(const SEOPayload& payload, const std::string& script) {
  if (!payload.schema_jsonld) {
    FUZZ_CHECK(script.empty());
    return;
  }
  FUZZ_CHECK(script.starts_with(kScriptOpen) && script.ends_with(kScriptClose));
  const std::string_view json = std::string_view(script).substr(
      kScriptOpen.size(),
      script.size() - kScriptOpen.size() - kScriptClose.size());
  FUZZ_CHECK(!contains(json, "</"));
  FUZZ_CHECK(!contains(json, "<!--"));
  const Result<JsonValue> read_back = parse_json(json);
  FUZZ_CHECK(read_back.ok());
  FUZZ_CHECK(*read_back == *payload.schema_jsonld);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const SEOPayload page = payload(data);

  const Result<std::string> html = render_html(page);
  FUZZ_CHECK(html.ok());
  const Result<std::string> again = render_html(page);
  FUZZ_CHECK(again.ok() && *again == *html);
  const Result<std::string> script = render_jsonld(page);
  FUZZ_CHECK(script.ok());
  check_jsonld(page, *script);

  const std::string_view snippet = *html;
  FUZZ_CHECK(
      snippet.starts_with("<title>" + escape_html(page.title) + "</title>\n"));
  FUZZ_CHECK(snippet.ends_with("\n"));
  const std::string groups = render_opengraph(page) + "\n" +
                             render_twitter(page) +
                             (script->empty() ? "" : "\n" + *script) + "\n";
  FUZZ_CHECK(snippet.ends_with(groups));
  FUZZ_CHECK(count_of(snippet, "</") == (page.schema_jsonld ? 2u : 1u));
  FUZZ_CHECK(!contains(snippet, "<!--"));
  // Outside the script element every "<" starts or ends one of the
  // renderer's own elements: title, link and the meta elements.
  const std::string_view head =
      snippet.substr(0, snippet.size() - script->size() - 1);
  FUZZ_CHECK(count_of(head, "<") ==
             count_of(head, "<meta ") + count_of(head, "</") + 2);

  // Hashing and validation are total on any payload as well.
  FUZZ_CHECK(payload_hash(page).ok());
  FUZZ_CHECK(validate_payload(page) == validate_payload(page));
  return 0;
}
