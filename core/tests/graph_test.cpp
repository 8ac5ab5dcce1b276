#include "zelko/graph.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "zelko/builder.hpp"

namespace zelko {
namespace {

SEOConfig site_config() {
  SEOConfig config;
  config.canonical_host = "example.com";
  config.public_base_url = "https://example.com/";
  config.site_name = "Site \"One\"";
  config.publisher_name = "Pub";
  config.publisher_logo = "/logo.png";
  config.locale = "en_GB";
  config.search_url_template = "https://example.com/s?q={search_term_string}";
  return config;
}

// Every input the builders read, with text that needs escaping.
SEOEntity full_entity(EntityType type) {
  SEOEntity entity;
  entity.entity_type = type;
  entity.title = "A \"quoted\" </script> title";
  entity.excerpt = "Line\tbreak \xC3\xA9";
  entity.author_name = "Zo\xC3\xAB O'Neil";
  entity.published_at = "2024-05-01";
  entity.updated_at = "2024-05-02";
  entity.featured_image = SEOImage{"/img/a.png", 800, 600, "Alt"};
  entity.breadcrumbs = std::vector<Breadcrumb>{{"Home", "/"}, {"Page", "/p"}};
  entity.sku = "S1";
  entity.price = "1.00";
  entity.price_currency = "EUR";
  entity.availability = "https://schema.org/InStock";
  entity.same_as = std::vector<std::string>{"https://social.example/x"};
  entity.address = "1 Road";
  entity.faq_items = std::vector<FAQItem>{{"Q?", "A."}};
  return entity;
}

struct Built {
  SEOPayload payload;
  std::string text;
};

Built build(const SEOEntity& entity, const SEOConfig& config,
            const Identity* identity, const std::vector<JsonValue>& user = {}) {
  Result<SEOPayload> payload = build_seo_payload(entity, "/p", config);
  EXPECT_TRUE(payload.ok());
  Built built{*payload, {}};
  Result<std::string> text = write_jsonld_graph(
      {entity, config, built.payload, nullptr, identity}, user);
  EXPECT_TRUE(text.ok());
  built.text = *text;
  return built;
}

// Ids described (an object with more than its @id) and referred to.
void collect(const JsonValue& value, std::set<std::string>& described,
             std::set<std::string>& referenced) {
  if (value.is_array()) {
    for (const JsonValue& item : value) collect(item, described, referenced);
    return;
  }
  if (!value.is_object()) return;
  const auto id = value.find("@id");
  if (id != value.end()) {
    (value.size() > 1 ? described : referenced).insert(id->get<std::string>());
  }
  for (const auto& [key, member] : value.items()) {
    collect(member, described, referenced);
  }
}

const EntityType kTypes[] = {
    EntityType::Post,         EntityType::Page,          EntityType::Product,
    EntityType::Organization, EntityType::LocalBusiness, EntityType::Faq,
    EntityType::Video,        EntityType::Taxonomy,      EntityType::Search,
    EntityType::Home,         EntityType::Other};

TEST(Graph, TextIsTheJsonModelsOwnAndEveryReferenceIsDescribed) {
  const SEOConfig config = site_config();
  const Identity organization = Organization{.name = "Org",
                                             .url = "/about",
                                             .logo = "/o.png",
                                             .same_as = {"https://x.example"},
                                             .legal_name = "Org Ltd",
                                             .email = "a@b.c",
                                             .telephone = "1",
                                             .address = "2 Road"};
  const Identity person = Person{.name = "Zo\xC3\xAB O'Neil",
                                 .url = "https://zoe.example/",
                                 .image = "/z.png",
                                 .same_as = {},
                                 .job_title = "Editor"};
  for (const Identity* identity :
       {&organization, &person, static_cast<const Identity*>(nullptr)}) {
    for (const EntityType type : kTypes) {
      const Built built = build(full_entity(type), config, identity);
      Result<JsonValue> parsed = parse_json(built.text);
      ASSERT_TRUE(parsed.ok()) << built.text;
      // Keys in byte order, compact: what writing the value again gives.
      EXPECT_EQ(write_json(*parsed, false), built.text) << to_text(type);
      std::set<std::string> described;
      std::set<std::string> referenced;
      collect(*parsed, described, referenced);
      for (const std::string& id : referenced) {
        EXPECT_TRUE(described.contains(id)) << id << " in " << to_text(type);
      }
      // The same inputs, the same bytes.
      EXPECT_EQ(build(full_entity(type), config, identity).text, built.text);
    }
  }
}

TEST(Graph, UserNodesReplaceByIdOrAreAppended) {
  const SEOConfig config = site_config();
  const SEOEntity entity = full_entity(EntityType::Post);
  const std::vector<JsonValue> user = {
      JsonValue::parse(R"({"@context": "https://schema.org/",
                           "@id": "https://example.com/p#article",
                           "@type": "NewsArticle"})"),
      JsonValue::parse(R"([{"@type": "Thing", "name": "x"}, 3, "text"])"),
  };
  const Built built = build(entity, config, nullptr, user);
  const JsonValue graph = *parse_json(built.text);
  const JsonValue& nodes = graph.at("@graph");
  const Built plain = build(entity, config, nullptr);
  const JsonValue plain_graph = *parse_json(plain.text);
  const JsonValue& own = plain_graph.at("@graph");
  ASSERT_EQ(nodes.size(), own.size() + 1);
  EXPECT_EQ(nodes[3],
            JsonValue::parse(R"({"@id": "https://example.com/p#article",
                                           "@type": "NewsArticle"})"));
  EXPECT_EQ(nodes.back(),
            JsonValue::parse(R"({"@type": "Thing", "name": "x"})"));
}

struct SuppliedCase {
  const char* what;
  bool override_nodes;
  std::size_t expected;
};

TEST(Graph, SuppliedNodesAreThoseTheEngineDoesNotMake) {
  const SEOConfig config = site_config();
  const SEOEntity entity = full_entity(EntityType::Post);
  for (const SuppliedCase& c : {SuppliedCase{"own nodes only", false, 0},
                                SuppliedCase{"an override", true, 2}}) {
    SEOOverrides overrides;
    if (c.override_nodes) {
      overrides.schema_jsonld = JsonValue::parse(
          R"([{"@type": "Thing"}, {"@type": "Event", "name": "e"}])");
    }
    Result<SEOPayload> payload =
        build_seo_payload(entity, "/p", config, &overrides);
    ASSERT_TRUE(payload.ok());
    Result<std::vector<JsonValue>> supplied =
        supplied_nodes({entity, config, *payload, &overrides, nullptr});
    ASSERT_TRUE(supplied.ok());
    EXPECT_EQ(supplied->size(), c.expected) << c.what;
  }
}

TEST(Graph, WithTheRouteAChangedTitleLeavesTheEnginesNodesItsOwn) {
  const SEOConfig config = site_config();
  const SEOEntity entity = full_entity(EntityType::Post);
  Result<SEOPayload> payload = build_seo_payload(entity, "/p", config);
  ASSERT_TRUE(payload.ok());
  payload->title = "Changed after the build";  // as a hook may
  const GraphPage page{entity, config, *payload, nullptr, nullptr};
  // From the payload's fields the article no longer matches; built again
  // from the route it does.
  EXPECT_EQ(supplied_nodes(page)->size(), 1U);
  EXPECT_EQ(supplied_nodes(page, "/p")->size(), 0U);
}

}  // namespace
}  // namespace zelko
