// render_html and the group renderers on arbitrary payloads.
//
// Invariants: rendering never fails and is deterministic; no value can end
// or open an element: the only "</" in the snippet close the title and the
// script element, "<!--" never appears, the JSON text inside the script
// holds neither "</" nor "<!--" and reads back to the payload's JSON-LD; the
// snippet is the title element followed by the groups in their order.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One field of a tag record, by its kind.
void fill(FuzzedDataProvider& data, std::string& text) {
  text = fuzz::text(data);
}
void fill(FuzzedDataProvider& data, std::optional<std::string>& text) {
  text = optional_text(data);
}
void fill(FuzzedDataProvider& data, std::optional<std::uint32_t>& number) {
  if (data.ConsumeBool()) number = data.ConsumeIntegral<std::uint32_t>();
}
void fill(FuzzedDataProvider& data,
          std::optional<std::vector<std::string>>& list) {
  if (data.ConsumeBool()) list = fuzz::text_list(data);
}

// Every field of the record's table, in declared order.
template <class Record>
Record tags(FuzzedDataProvider& data) {
  Record record;
  for_each_tag_field<Record>(
      [&](const auto& field) { fill(data, record.*field.member); });
  return record;
}

SEOPayload payload(FuzzedDataProvider& data) {
  SEOPayload payload;
  payload.title = fuzz::text(data);
  payload.description = fuzz::text(data, 200);
  payload.canonical = fuzz::text(data);
  payload.robots = fuzz::text(data, 24);
  payload.og = tags<OGPayload>(data);
  payload.twitter = tags<TwitterPayload>(data);
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
