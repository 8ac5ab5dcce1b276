// build_seo_payload on arbitrary entities, routes, configurations and
// overrides, followed by everything a caller does with a payload.
//
// Invariants: the build fails only with the URL and configuration errors it
// documents; it is deterministic; the title is never empty; a canonical URL
// not given by override starts with the scheme and canonical_host; the
// payload renders, hashes and validates, and reads back from its own JSON
// text as the same payload. The page's linked JSON-LD graph, with the
// caller's nodes joined, is written, is JSON and is deterministic.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "url_parser.hpp"
#include "zelko/builder.hpp"
#include "zelko/graph.hpp"
#include "zelko/hash.hpp"
#include "zelko/html.hpp"
#include "zelko/payload.hpp"
#include "zelko/validation.hpp"

namespace {

using namespace zelko;
using fuzz::optional_text;

std::optional<SEOImage> image(FuzzedDataProvider& data) {
  if (!data.ConsumeBool()) return std::nullopt;
  SEOImage image;
  image.url = fuzz::text(data, 32);
  if (data.ConsumeBool()) image.width = data.ConsumeIntegral<std::uint32_t>();
  if (data.ConsumeBool()) image.height = data.ConsumeIntegral<std::uint32_t>();
  image.alt = optional_text(data, 16);
  return image;
}

Robots robots(FuzzedDataProvider& data) {
  Robots robots;
  robots.index = data.ConsumeBool();
  robots.follow = data.ConsumeBool();
  if (data.ConsumeBool())
    robots.max_snippet = data.ConsumeIntegral<std::int32_t>();
  robots.max_image_preview = optional_text(data, 12);
  if (data.ConsumeBool()) {
    robots.max_video_preview = data.ConsumeIntegral<std::int32_t>();
  }
  return robots;
}

std::optional<Robots> optional_robots(FuzzedDataProvider& data) {
  if (!data.ConsumeBool()) return std::nullopt;
  return robots(data);
}

SEOEntity entity(FuzzedDataProvider& data) {
  SEOEntity entity;
  entity.entity_type =
      static_cast<EntityType>(data.ConsumeIntegralInRange<std::uint8_t>(0, 10));
  entity.slug = optional_text(data, 16);
  entity.title = optional_text(data);
  entity.excerpt = optional_text(data);
  entity.body_html = optional_text(data, 400);
  entity.status = optional_text(data, 12);
  entity.featured_image = image(data);
  entity.published_at = optional_text(data, 24);
  entity.updated_at = optional_text(data, 24);
  entity.author_name = optional_text(data, 24);
  if (data.ConsumeBool()) {
    std::vector<Breadcrumb> crumbs(data.ConsumeIntegralInRange<int>(0, 3));
    for (Breadcrumb& crumb : crumbs) {
      crumb.name = fuzz::text(data, 16);
      crumb.url = fuzz::text(data, 32);
    }
    entity.breadcrumbs = std::move(crumbs);
  }
  entity.sku = optional_text(data, 12);
  entity.price = optional_text(data, 12);
  entity.price_currency = optional_text(data, 4);
  entity.availability = optional_text(data, 24);
  if (data.ConsumeBool()) entity.same_as = fuzz::text_list(data);
  entity.address = optional_text(data, 32);
  if (data.ConsumeBool()) {
    std::vector<FAQItem> items(data.ConsumeIntegralInRange<int>(0, 3));
    for (FAQItem& item : items) {
      item.question = fuzz::text(data, 24);
      item.answer = fuzz::text(data, 48);
    }
    entity.faq_items = std::move(items);
  }
  return entity;
}

void add_site_fields(FuzzedDataProvider& data, SEOConfig& config) {
  if (data.ConsumeBool()) config.default_robots = robots(data);
  config.default_og_image = image(data);
  config.site_name = optional_text(data, 16);
  if (data.ConsumeBool()) {
    config.title_template =
        fuzz::text(data, 8) + "{title}" + fuzz::text(data, 8);
  }
  config.auto_generate_schema = data.ConsumeBool();
  config.publisher_name = optional_text(data, 16);
  config.publisher_logo = optional_text(data, 32);
  config.locale = optional_text(data, 8);
  if (data.ConsumeBool()) config.locale_alternate = fuzz::text_list(data);
  config.twitter_site = optional_text(data, 12);
  config.search_url_template = optional_text(data, 32);
}

SEOOverrides overrides(FuzzedDataProvider& data) {
  SEOOverrides overrides;
  overrides.meta_title = optional_text(data);
  overrides.meta_description = optional_text(data);
  if (data.ConsumeIntegralInRange<int>(0, 3) == 0) {
    overrides.canonical_url = optional_text(data);
  }
  if (data.ConsumeIntegralInRange<int>(0, 3) == 0) {
    overrides.canonical_path = optional_text(data);
  }
  overrides.robots = optional_robots(data);
  overrides.og_title = optional_text(data);
  overrides.og_description = optional_text(data);
  overrides.og_image = image(data);
  overrides.twitter_card = optional_text(data, 20);
  overrides.twitter_title = optional_text(data);
  overrides.twitter_description = optional_text(data);
  overrides.twitter_image = image(data);
  if (data.ConsumeBool()) overrides.schema_jsonld = fuzz::json_value(data);
  overrides.omit_schema = data.ConsumeBool();
  overrides.skip_title_template = data.ConsumeBool();
  overrides.twitter_creator = optional_text(data, 16);
  overrides.og_audio = optional_text(data, 24);
  overrides.og_video = optional_text(data, 24);
  return overrides;
}

void check_payload(const SEOPayload& payload) {
  FUZZ_CHECK(!payload.title.empty());
  FUZZ_CHECK(payload.extra_fields.empty());
  const Result<std::string> html = render_html(payload);
  FUZZ_CHECK(html.ok());
  FUZZ_CHECK(payload_hash(payload).ok());
  (void)validate_payload(payload);

  Result<JsonValue> text = parse_json(to_json_pretty(payload));
  FUZZ_CHECK(text.ok());
  Result<SEOPayload> read_back = payload_from_value(*text);
  FUZZ_CHECK(read_back.ok() && *read_back == payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  std::optional<SEOConfig> config = fuzz::config(data);
  if (!config) return 0;
  add_site_fields(data, *config);
  const SEOEntity page = entity(data);
  const std::string route = fuzz::text(data, 48);
  const bool with_overrides = data.ConsumeBool();
  const SEOOverrides given = overrides(data);
  const SEOOverrides* chosen = with_overrides ? &given : nullptr;

  const Result<SEOPayload> first =
      build_seo_payload(page, route, *config, chosen);
  const Result<SEOPayload> second =
      build_seo_payload(page, route, *config, chosen);
  FUZZ_CHECK(first.ok() == second.ok());
  if (!first) {
    const ErrorKind kind = first.error().kind();
    FUZZ_CHECK(kind == ErrorKind::InvalidUrl ||
               kind == ErrorKind::Configuration);
    FUZZ_CHECK(first.error() == second.error());
    return 0;
  }
  FUZZ_CHECK(*first == *second);
  check_payload(*first);

  const GraphPage graph_page{page, *config, *first, chosen, nullptr};
  const Result<std::vector<JsonValue>> supplied = supplied_nodes(graph_page);
  FUZZ_CHECK(supplied.ok());
  const Result<std::string> graph = write_jsonld_graph(graph_page, *supplied);
  FUZZ_CHECK(graph.ok() && parse_json(*graph).ok());
  FUZZ_CHECK(*write_jsonld_graph(graph_page, *supplied) == *graph);

  if (!chosen || !chosen->canonical_url) {
    const Result<ParsedUrl> base = parse_absolute_url(config->public_base_url);
    FUZZ_CHECK(base.ok());
    const std::string scheme =
        config->url_policy.enforce_https ? "https" : base->scheme;
    FUZZ_CHECK(
        first->canonical.starts_with(scheme + "://" + config->canonical_host));
  }
  return 0;
}
