#include "zelko/batch.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "page_reader.hpp"
#include "zelko/builder.hpp"
#include "zelko/graph.hpp"
#include "zelko/hash.hpp"
#include "zelko/html.hpp"
#include "zelko/json.hpp"
#include "zelko/validation.hpp"

namespace zelko {
namespace {

void write_finding(JsonWriter& writer, const SEOIssue& issue) {
  writer.begin_object();
  writer.member("rule_id", issue.rule_id);
  writer.member("severity", severity_text(issue.severity));
  writer.member("message", issue.message);
  writer.key("url");
  if (issue.url) {
    writer.string(*issue.url);
  } else {
    writer.null();
  }
  writer.key("details");
  writer.value(issue.details);
  writer.end_object();
}

// The payload's value form, written without building it: keys in their
// sorted order, the structured data written in place instead of copied (the
// copy was the largest cost of a record). Extra entries, which hooks may add,
// can fall anywhere in that order, so a payload with any goes through
// to_value.
void write_value_form(JsonWriter& writer, const SEOPayload& payload) {
  if (!payload.extra_fields.empty()) {
    writer.value(to_value(payload));
    return;
  }
  writer.begin_object();
  writer.member("canonical", payload.canonical);
  writer.member("description", payload.description);
  writer.key("og");
  writer.value(to_value(payload.og));
  writer.member("robots", payload.robots);
  if (payload.schema_jsonld) {
    writer.key("schema_jsonld");
    writer.value(*payload.schema_jsonld);
  }
  writer.member("title", payload.title);
  writer.key("twitter");
  writer.value(to_value(payload.twitter));
  writer.end_object();
}

}  // namespace

Result<std::string> page_record(std::uint64_t line, std::string_view route,
                                const SEOPayload& payload,
                                std::optional<std::string_view> whole_head) {
  std::string payload_head;
  if (!whole_head) {
    Result<std::string> head = render_html(payload);
    if (!head) return std::move(head).error();
    payload_head = std::move(head).value();
  }
  Result<std::string> etag = payload_etag(payload);
  if (!etag) return std::move(etag).error();

  std::string record;
  JsonWriter writer(record, /*pretty=*/false);
  writer.begin_object();
  writer.key("line");
  writer.unsigned_integer(line);
  writer.member("route", route);
  writer.key("payload");
  write_value_form(writer, payload);
  writer.member("head", whole_head ? *whole_head : payload_head);
  writer.member("etag", etag.value());
  // The whole head has extras the payload's ETag does not cover: a cache
  // keyed on what is served needs the head's own.
  if (whole_head) writer.member("head_etag", head_etag(*whole_head));
  writer.key("findings");
  writer.begin_array();
  for (const SEOIssue& issue : validate_payload(payload)) {
    write_finding(writer, issue);
  }
  writer.end_array();
  writer.end_object();
  return record;
}

namespace {

// Whether the page's head may show a social card: asked for by the page, or
// offered by the site's card settings to a page that does not refuse it (the
// package then tells whether the page's own picture wins).
bool asks_for_card(const SiteHead* site, const PageHead* page) {
  const std::optional<bool> wanted =
      page != nullptr ? page->card : std::nullopt;
  if (wanted) return *wanted;
  return site != nullptr && site->cards.has_value();
}

// The page's linked JSON-LD graph; a caller's nodes (the schema_jsonld
// override: the batch path runs no hooks) join it.
std::optional<std::string> page_graph(const PageInput& page,
                                      const SEOConfig& config,
                                      const SEOPayload& payload,
                                      const SiteHead& site) {
  const SEOOverrides* overrides = page.overrides ? &*page.overrides : nullptr;
  const GraphPage graph_page{page.entity, config, payload, overrides,
                             site.identity ? &*site.identity : nullptr};
  std::vector<JsonValue> supplied;
  if (overrides != nullptr && overrides->schema_jsonld) {
    Result<std::vector<JsonValue>> nodes =
        supplied_nodes(graph_page, page.route);
    if (!nodes) return std::nullopt;
    supplied = std::move(*nodes);
  }
  Result<std::string> graph = write_jsonld_graph(graph_page, supplied);
  if (!graph) return std::nullopt;
  return std::move(*graph);
}

}  // namespace

std::optional<std::string> build_page_record(std::string_view text,
                                             std::uint64_t line,
                                             const SEOConfig& config,
                                             const SiteHead* site) {
  std::optional<PageInput> page = read_page(text);
  if (!page) return std::nullopt;
  const SEOOverrides* overrides = page->overrides ? &*page->overrides : nullptr;
  Result<SEOPayload> payload =
      build_seo_payload(page->entity, page->route, config, overrides);
  if (!payload) return std::nullopt;
  std::optional<std::string> whole_head;
  if (site != nullptr || page->head) {
    // Cards are drawn and linked by the package.
    if (asks_for_card(site, page->head ? &*page->head : nullptr)) {
      return std::nullopt;
    }
    std::optional<std::string> graph;
    if (site != nullptr && site->jsonld_graph) {
      graph = page_graph(*page, config, payload.value(), *site);
      if (!graph) return std::nullopt;
    }
    const HeadExtras extras{{},
                            site,
                            page->head ? &*page->head : nullptr,
                            nullptr,
                            graph ? &*graph : nullptr};
    Result<std::string> html = render_head(payload.value(), extras, config);
    if (!html) return std::nullopt;
    whole_head = std::move(html).value();
  }
  Result<std::string> record =
      page_record(line, page->route, payload.value(), whole_head);
  if (!record) return std::nullopt;
  return std::move(record).value();
}

}  // namespace zelko
