#include "jsonld/builders.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "jsonld/breadcrumbs.hpp"
#include "zelko/json.hpp"
#include "zelko/url.hpp"

namespace zelko {
namespace {

using namespace nlohmann::literals;

SEOConfig site_config() {
  SEOConfig config;
  config.canonical_host = "example.com";
  config.public_base_url = "https://example.com/";
  return config;
}

// Owns everything a SchemaContext refers to.
struct ContextOwner {
  SEOEntity entity;
  SEOConfig config = site_config();
  std::string url = "https://example.com/x";
  std::string name = "Name";
  std::optional<std::string> description = "D";
  std::optional<std::string> image;
  const SchemaRegistry* registry = nullptr;

  SchemaContext context() const {
    return SchemaContext{.entity = entity,
                         .config = config,
                         .url = url,
                         .name = name,
                         .description = description,
                         .image = image,
                         .registry = registry};
  }
  std::optional<JsonValue> generate() const {
    Result<std::optional<JsonValue>> node = generate_schema(context());
    EXPECT_TRUE(node.ok()) << node.error().display();
    return node.ok() ? node.value() : std::nullopt;
  }
};

std::vector<std::string> keys_of(const JsonValue& node) {
  std::vector<std::string> keys;
  for (auto member = node.begin(); member != node.end(); ++member) {
    keys.push_back(member.key());
  }
  return keys;
}

// ---------------------------------------------------------------------------
// Type choice and dispatch.

struct DefaultMapCase {
  EntityType type;
  std::optional<std::string> schema_type;
};

class DefaultSchemaTypeTest : public ::testing::TestWithParam<DefaultMapCase> {
};

TEST_P(DefaultSchemaTypeTest, DefaultMapPicksTheSchemaTypeOfEachEntityType) {
  ContextOwner owner;
  owner.entity.entity_type = GetParam().type;
  const std::optional<JsonValue> node = owner.generate();
  if (!GetParam().schema_type) {
    EXPECT_FALSE(node);
    return;
  }
  ASSERT_TRUE(node);
  EXPECT_EQ(node->at("@type"), *GetParam().schema_type);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEntityType, DefaultSchemaTypeTest,
    ::testing::Values(DefaultMapCase{EntityType::Home, "WebSite"},
                      DefaultMapCase{EntityType::Post, "Article"},
                      DefaultMapCase{EntityType::Page, "WebPage"},
                      DefaultMapCase{EntityType::Video, "VideoObject"},
                      DefaultMapCase{EntityType::Taxonomy, "CollectionPage"},
                      DefaultMapCase{EntityType::Search, "SearchResultsPage"},
                      DefaultMapCase{EntityType::Other, std::nullopt},
                      DefaultMapCase{EntityType::Product, "Product"},
                      DefaultMapCase{EntityType::Organization, "Organization"},
                      DefaultMapCase{EntityType::LocalBusiness,
                                     "LocalBusiness"},
                      DefaultMapCase{EntityType::Faq, "FAQPage"}));

// A page entity mapped to each name, with every field some builder reads,
// so the keys show which builder ran.
struct DispatchCase {
  const char* type_name;
  std::vector<std::string> keys;
};

class DispatchTest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchTest, OnlyTheMappedNameChoosesTheBuilder) {
  ContextOwner owner;
  owner.entity.entity_type = EntityType::Page;
  owner.entity.published_at = "2024-01-01";
  owner.entity.sku = "S1";
  owner.entity.price = "1";
  owner.entity.same_as = std::vector<std::string>{"https://a"};
  owner.entity.address = "1 Main St";
  owner.entity.faq_items = std::vector<FAQItem>{{"Q", "A"}};
  owner.image = "/i.png";
  owner.config.search_url_template = "/s?q={search_term_string}";
  owner.config.schema_type_map = {{"page", GetParam().type_name}};
  const std::optional<JsonValue> node = owner.generate();
  ASSERT_TRUE(node);
  EXPECT_EQ(node->at("@type"), GetParam().type_name);
  EXPECT_EQ(keys_of(*node), GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    BuiltInAndUnknownNames, DispatchTest,
    ::testing::Values(
        DispatchCase{"Article",
                     {"@context", "@type", "datePublished", "description",
                      "image", "mainEntityOfPage", "name", "url"}},
        DispatchCase{"BlogPosting",
                     {"@context", "@type", "datePublished", "description",
                      "image", "mainEntityOfPage", "name", "url"}},
        DispatchCase{"NewsArticle",
                     {"@context", "@type", "datePublished", "description",
                      "image", "mainEntityOfPage", "name", "url"}},
        DispatchCase{"Product",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "offers", "sku", "url"}},
        DispatchCase{"FAQPage",
                     {"@context", "@type", "datePublished", "description",
                      "image", "mainEntity", "name", "url"}},
        DispatchCase{"VideoObject",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "thumbnailUrl", "uploadDate", "url"}},
        DispatchCase{"Organization",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "sameAs", "url"}},
        DispatchCase{"LocalBusiness",
                     {"@context", "@type", "address", "datePublished",
                      "description", "image", "name", "sameAs", "url"}},
        DispatchCase{"WebSite",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "potentialAction", "url"}},
        DispatchCase{"WebPage",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "url"}},
        DispatchCase{"CollectionPage",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "url"}},
        DispatchCase{"SearchResultsPage",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "url"}},
        DispatchCase{"Event",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "url"}},
        DispatchCase{"product",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "url"}},
        DispatchCase{"website",
                     {"@context", "@type", "datePublished", "description",
                      "image", "name", "url"}}),
    [](const auto& info) {
      std::string label = info.param.type_name;
      if (label[0] >= 'a') label = "lower_" + label;
      return label;
    });

TEST(GenerateSchemaTest, UnmappedEntityTypeGetsNoNodeAndNoError) {
  ContextOwner owner;
  owner.config.schema_type_map = {{"post", "BlogPosting"}};
  for (const EntityType type :
       {EntityType::Home, EntityType::Product, EntityType::Other}) {
    owner.entity.entity_type = type;
    EXPECT_FALSE(owner.generate()) << to_text(type);
  }
  owner.config.schema_type_map = {};
  owner.entity.entity_type = EntityType::Post;
  EXPECT_FALSE(owner.generate());
}

// ---------------------------------------------------------------------------
// Native registry.

Result<std::optional<JsonValue>> custom_event(const SchemaContext& ctx) {
  return std::optional<JsonValue>(
      JsonValue{{"@type", "Event"}, {"name", ctx.name}});
}

TEST(SchemaRegistryTest, AnUnknownNameUsesTheRegisteredBuilder) {
  const SchemaRegistry registry{{"Event", custom_event}};
  ContextOwner owner;
  owner.registry = &registry;
  owner.config.schema_type_map = {{"page", "Event"}};
  EXPECT_EQ(owner.generate(), R"({"@type": "Event", "name": "Name"})"_json);
}

TEST(SchemaRegistryTest, ARegisteredBuilderMayYieldNoNode) {
  const SchemaRegistry registry{
      {"Event", [](const SchemaContext&) -> Result<std::optional<JsonValue>> {
         return std::optional<JsonValue>();
       }}};
  ContextOwner owner;
  owner.registry = &registry;
  owner.config.schema_type_map = {{"page", "Event"}};
  EXPECT_FALSE(owner.generate());
}

TEST(SchemaRegistryTest, BuiltInNamesNeverReachTheRegistry) {
  const SchemaRegistry registry{{"Article", custom_event}};
  ContextOwner owner;
  owner.registry = &registry;
  owner.entity.entity_type = EntityType::Post;
  EXPECT_EQ(owner.generate()->at("@type"), "Article");
}

TEST(SchemaRegistryTest, NamesMissingFromTheRegistryGetAGenericNode) {
  const SchemaRegistry registry{{"Event", custom_event},
                                {"Course", SchemaBuilder()}};
  ContextOwner owner;
  owner.registry = &registry;
  for (const char* name : {"event", "Recipe", "Course"}) {
    owner.config.schema_type_map = {{"page", name}};
    const std::optional<JsonValue> node = owner.generate();
    ASSERT_TRUE(node) << name;
    EXPECT_EQ(node->at("@context"), "https://schema.org") << name;
    EXPECT_EQ(node->at("@type"), name);
  }
}

TEST(SchemaRegistryTest, ABuilderErrorPassesThroughUnchanged) {
  const SchemaRegistry registry{
      {"Event", [](const SchemaContext&) -> Result<std::optional<JsonValue>> {
         return Error(ErrorKind::Entity, "no venue");
       }}};
  ContextOwner owner;
  owner.registry = &registry;
  owner.config.schema_type_map = {{"page", "Event"}};
  const auto node = generate_schema(owner.context());
  ASSERT_FALSE(node.ok());
  EXPECT_EQ(node.error(), Error(ErrorKind::Entity, "no venue"));
}

TEST(SchemaRegistryTest, AThrowingBuilderBecomesASchemaError) {
  const SchemaRegistry registry{
      {"Event",
       [](const SchemaContext&) -> Result<std::optional<JsonValue>> {
         throw std::runtime_error("boom");
       }},
      {"Gig", [](const SchemaContext&) -> Result<std::optional<JsonValue>> {
         throw 42;
       }}};
  ContextOwner owner;
  owner.registry = &registry;
  owner.config.schema_type_map = {{"page", "Event"}, {"post", "Gig"}};
  auto node = generate_schema(owner.context());
  ASSERT_FALSE(node.ok());
  EXPECT_EQ(node.error(), Error(ErrorKind::Schema,
                                "schema builder for 'Event' failed: boom"));
  owner.entity.entity_type = EntityType::Post;
  node = generate_schema(owner.context());
  ASSERT_FALSE(node.ok());
  EXPECT_EQ(node.error(),
            Error(ErrorKind::Schema, "schema builder for 'Gig' failed"));
}

// ---------------------------------------------------------------------------
// Base node and asset URLs.

TEST(BaseSchemaTest, CarriesEveryPresentSourceInSortedKeyOrder) {
  ContextOwner owner;
  owner.entity.published_at = "2024-01-02";
  owner.entity.updated_at = "yesterday";
  owner.entity.author_name = " Ann ";
  owner.config.publisher_name = "Pub";
  owner.config.publisher_logo = "/logo.png";
  owner.image = "/media/a.jpg";
  const JsonValue node = build_base_schema("Thing", owner.context());
  EXPECT_EQ(node, R"({
    "@context": "https://schema.org",
    "@type": "Thing",
    "author": {"@type": "Person", "name": " Ann "},
    "dateModified": "yesterday",
    "datePublished": "2024-01-02",
    "description": "D",
    "image": "https://example.com/media/a.jpg",
    "name": "Name",
    "publisher": {"@type": "Organization", "logo": "https://example.com/logo.png",
                  "name": "Pub"},
    "url": "https://example.com/x"
  })"_json);
  EXPECT_EQ(keys_of(node),
            (std::vector<std::string>{
                "@context", "@type", "author", "dateModified", "datePublished",
                "description", "image", "name", "publisher", "url"}));
}

TEST(BaseSchemaTest, AbsentSourcesLeaveTheirKeysOut) {
  ContextOwner owner;
  owner.description.reset();
  owner.config.publisher_logo = "/logo.png";  // without a publisher name
  EXPECT_EQ(build_base_schema("Thing", owner.context()), R"({
    "@context": "https://schema.org", "@type": "Thing", "name": "Name",
    "url": "https://example.com/x"})"_json);
}

TEST(BaseSchemaTest, PublisherWithoutLogoHasNoLogoKey) {
  ContextOwner owner;
  owner.config.publisher_name = "Pub";
  EXPECT_EQ(build_base_schema("Thing", owner.context()).at("publisher"),
            R"({"@type": "Organization", "name": "Pub"})"_json);
}

struct AssetCase {
  const char* base;
  const char* value;
  const char* expected;
};

class AbsoluteAssetUrlTest : public ::testing::TestWithParam<AssetCase> {};

TEST_P(AbsoluteAssetUrlTest, MakesReferencesAbsoluteAgainstThePublicBase) {
  SEOConfig config = site_config();
  config.public_base_url = GetParam().base;
  EXPECT_EQ(absolute_asset_url(GetParam().value, config), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AbsoluteAssetUrlTest,
    ::testing::Values(
        AssetCase{"https://example.com/", "https://cdn.test/a.png",
                  "https://cdn.test/a.png"},
        AssetCase{"https://example.com/", "http://cdn.test/a.png",
                  "http://cdn.test/a.png"},
        AssetCase{"https://example.com/", "/img/a.png",
                  "https://example.com/img/a.png"},
        AssetCase{"https://example.com", "/img/a.png",
                  "https://example.com/img/a.png"},
        AssetCase{"https://example.com/docs///", "/img/a.png",
                  "https://example.com/docs/img/a.png"},
        // A relative value gets exactly one separator, not glued on.
        AssetCase{"https://example.com/", "img/a.png",
                  "https://example.com/img/a.png"},
        AssetCase{"https://example.com", "img/a.png",
                  "https://example.com/img/a.png"},
        AssetCase{"https://example.com/docs/", "img/a.png",
                  "https://example.com/docs/img/a.png"},
        // Only the exact lower-case schemes count as absolute.
        AssetCase{"https://example.com/", "HTTPS://cdn.test/a.png",
                  "https://example.com/HTTPS://cdn.test/a.png"},
        AssetCase{"https://example.com/", "//cdn.test/a.png",
                  "https://example.com//cdn.test/a.png"}));

// ---------------------------------------------------------------------------
// Typed builders.

TEST(ArticleSchemaTest, WritesTheDocumentedPostExactly) {
  ContextOwner owner;
  owner.entity.entity_type = EntityType::Post;
  owner.entity.author_name = "Ann";
  owner.entity.published_at = "2024-05-01";
  owner.url = "https://example.com/blog/hello";
  owner.name = "Hello";
  const std::optional<JsonValue> node = owner.generate();
  ASSERT_TRUE(node);
  EXPECT_EQ(write_json(*node, false),
            R"({"@context":"https://schema.org","@type":"Article",)"
            R"("author":{"@type":"Person","name":"Ann"},)"
            R"("datePublished":"2024-05-01","description":"D",)"
            R"("mainEntityOfPage":{"@id":"https://example.com/blog/hello"},)"
            R"("name":"Hello","url":"https://example.com/blog/hello"})");
}

TEST(ArticleSchemaTest, TakesTheGivenTypeNameAndPointsAtTheCanonicalUrl) {
  ContextOwner owner;
  const JsonValue node = build_article_schema("BlogPosting", owner.context());
  EXPECT_EQ(node, R"({
    "@context": "https://schema.org", "@type": "BlogPosting",
    "description": "D", "mainEntityOfPage": {"@id": "https://example.com/x"},
    "name": "Name", "url": "https://example.com/x"})"_json);
}

TEST(FaqPageSchemaTest, WithoutItemsHasNoMainEntity) {
  ContextOwner owner;
  EXPECT_FALSE(build_faq_page_schema(owner.context()).contains("mainEntity"));
}

TEST(FaqPageSchemaTest, AnEmptyItemListGivesAnEmptyArray) {
  ContextOwner owner;
  owner.entity.faq_items = std::vector<FAQItem>{};
  EXPECT_EQ(build_faq_page_schema(owner.context()).at("mainEntity"),
            JsonValue::array());
}

TEST(FaqPageSchemaTest, ItemsBecomeQuestionsInListOrder) {
  ContextOwner owner;
  owner.entity.faq_items =
      std::vector<FAQItem>{{"Why?", " Because "}, {"How?", "So"}};
  const JsonValue node = build_faq_page_schema(owner.context());
  EXPECT_EQ(node, R"({
    "@context": "https://schema.org", "@type": "FAQPage", "description": "D",
    "mainEntity": [
      {"@type": "Question", "acceptedAnswer": {"@type": "Answer",
                                               "text": " Because "},
       "name": "Why?"},
      {"@type": "Question", "acceptedAnswer": {"@type": "Answer", "text": "So"},
       "name": "How?"}],
    "name": "Name", "url": "https://example.com/x"})"_json);
  EXPECT_EQ(keys_of(node["mainEntity"][0]),
            (std::vector<std::string>{"@type", "acceptedAnswer", "name"}));
}

TEST(OrganizationSchemaTest, AddsSameAsAndTheLogoAsGiven) {
  ContextOwner owner;
  owner.entity.same_as = std::vector<std::string>{"a", "b"};
  owner.config.publisher_logo = "/logo.png";
  owner.config.publisher_name = "Pub";
  EXPECT_EQ(build_organization_schema(owner.context()), R"({
    "@context": "https://schema.org", "@type": "Organization",
    "description": "D", "logo": "/logo.png", "name": "Name",
    "publisher": {"@type": "Organization",
                  "logo": "https://example.com/logo.png", "name": "Pub"},
    "sameAs": ["a", "b"], "url": "https://example.com/x"})"_json);
}

TEST(OrganizationSchemaTest, PresentEmptySameAsIsAnEmptyArray) {
  ContextOwner owner;
  owner.entity.same_as = std::vector<std::string>{};
  const JsonValue node = build_organization_schema(owner.context());
  EXPECT_EQ(node.at("sameAs"), JsonValue::array());
  EXPECT_FALSE(node.contains("logo"));
}

TEST(LocalBusinessSchemaTest, IsAnOrganizationWithItsTypeAndAddress) {
  ContextOwner owner;
  owner.entity.same_as = std::vector<std::string>{"a"};
  owner.entity.address = "1 Main St, Springfield, 12345";
  owner.config.publisher_logo = "https://example.com/l.png";
  EXPECT_EQ(build_local_business_schema(owner.context()), R"({
    "@context": "https://schema.org", "@type": "LocalBusiness",
    "address": {"@type": "PostalAddress",
                "streetAddress": "1 Main St, Springfield, 12345"},
    "description": "D", "logo": "https://example.com/l.png", "name": "Name",
    "sameAs": ["a"], "url": "https://example.com/x"})"_json);
}

struct ProductCase {
  const char* label;
  std::optional<std::string> sku;
  std::optional<std::string> price;
  std::optional<std::string> currency;
  std::optional<std::string> availability;
  std::optional<JsonValue> offers;
};

class ProductSchemaTest : public ::testing::TestWithParam<ProductCase> {};

TEST_P(ProductSchemaTest, OffersOnlyWhenAnOfferFieldIsPresent) {
  const ProductCase& c = GetParam();
  ContextOwner owner;
  owner.entity.sku = c.sku;
  owner.entity.price = c.price;
  owner.entity.price_currency = c.currency;
  owner.entity.availability = c.availability;
  JsonValue expected = R"({
    "@context": "https://schema.org", "@type": "Product", "description": "D",
    "name": "Name", "url": "https://example.com/x"})"_json;
  if (c.sku) expected["sku"] = *c.sku;
  if (c.offers) expected["offers"] = *c.offers;
  EXPECT_EQ(build_product_schema(owner.context()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, ProductSchemaTest,
    ::testing::Values(
        ProductCase{"nothing", std::nullopt, std::nullopt, std::nullopt,
                    std::nullopt, std::nullopt},
        ProductCase{"sku_only", "SKU-1", std::nullopt, std::nullopt,
                    std::nullopt, std::nullopt},
        ProductCase{"currency_only", std::nullopt, std::nullopt, "EUR",
                    std::nullopt,
                    R"({"@type": "Offer", "priceCurrency": "EUR"})"_json},
        ProductCase{"price_stays_text", std::nullopt, "19.99", std::nullopt,
                    std::nullopt,
                    R"({"@type": "Offer", "price": "19.99"})"_json},
        ProductCase{"availability_prefixed", std::nullopt, std::nullopt,
                    std::nullopt, "InStock",
                    R"({"@type": "Offer",
                        "availability": "https://schema.org/InStock"})"_json},
        ProductCase{"full_url_prefixed_too", std::nullopt, std::nullopt,
                    std::nullopt, "https://schema.org/InStock",
                    R"({"@type": "Offer", "availability":
                        "https://schema.org/https://schema.org/InStock"})"_json},
        ProductCase{"everything", "S", "", "USD", "OutOfStock",
                    R"({"@type": "Offer",
                        "availability": "https://schema.org/OutOfStock",
                        "price": "", "priceCurrency": "USD"})"_json}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VideoObjectSchemaTest, WithoutImageHasNoThumbnail) {
  ContextOwner owner;
  owner.entity.published_at = "2024-02-03T10:00:00Z";
  const JsonValue node = build_video_object_schema(owner.context());
  EXPECT_FALSE(node.contains("thumbnailUrl"));
  EXPECT_EQ(node.at("uploadDate"), "2024-02-03T10:00:00Z");
  EXPECT_EQ(node.at("datePublished"), "2024-02-03T10:00:00Z");
}

TEST(VideoObjectSchemaTest, ThumbnailIsTheAbsoluteImage) {
  ContextOwner owner;
  owner.image = "/thumb.jpg";
  EXPECT_EQ(build_video_object_schema(owner.context()), R"({
    "@context": "https://schema.org", "@type": "VideoObject",
    "description": "D", "image": "https://example.com/thumb.jpg",
    "name": "Name", "thumbnailUrl": "https://example.com/thumb.jpg",
    "url": "https://example.com/x"})"_json);
}

struct SearchActionCase {
  const char* label;
  const char* type_name;
  std::optional<std::string> search_template;
  bool has_action;
};

class WebPageSchemaTest : public ::testing::TestWithParam<SearchActionCase> {};

TEST_P(WebPageSchemaTest, SearchActionOnlyForWebSiteWithThePlaceholder) {
  ContextOwner owner;
  owner.config.search_url_template = GetParam().search_template;
  const JsonValue node =
      build_web_page_schema(GetParam().type_name, owner.context());
  EXPECT_EQ(node.at("@type"), GetParam().type_name);
  ASSERT_EQ(node.contains("potentialAction"), GetParam().has_action);
  if (!GetParam().has_action) return;
  JsonValue expected = R"({
    "@type": "SearchAction", "query-input": "required name=search_term_string",
    "target": {"@type": "EntryPoint"}})"_json;
  expected["target"]["urlTemplate"] = *GetParam().search_template;
  EXPECT_EQ(node.at("potentialAction"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, WebPageSchemaTest,
    ::testing::Values(
        SearchActionCase{"website_with_placeholder", "WebSite",
                         "https://example.com/s?q={search_term_string}", true},
        SearchActionCase{"relative_template_as_given", "WebSite",
                         "search/{search_term_string}", true},
        SearchActionCase{"webpage_never", "WebPage",
                         "/s?q={search_term_string}", false},
        SearchActionCase{"placeholder_other_case", "WebSite",
                         "/s?q={Search_Term_String}", false},
        SearchActionCase{"no_placeholder", "WebSite", "/s?q=", false},
        SearchActionCase{"no_template", "WebSite", std::nullopt, false},
        SearchActionCase{"lower_case_type", "website",
                         "/s?q={search_term_string}", false}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Breadcrumb list.

TEST(BreadcrumbListTest, ResolvesEveryUrlAndNumbersPositionsFromOne) {
  const SEOConfig config = site_config();
  const Result<JsonValue> list = build_breadcrumb_list(
      {{"Home", "/"}, {"Blog", "blog"}, {" Post ", "/blog/post/?utm_source=x"}},
      config);
  ASSERT_TRUE(list.ok()) << list.error().display();
  EXPECT_EQ(list.value(), R"({
    "@context": "https://schema.org", "@type": "BreadcrumbList",
    "itemListElement": [
      {"@type": "ListItem", "item": "https://example.com/", "name": "Home",
       "position": 1},
      {"@type": "ListItem", "item": "https://example.com/blog", "name": "Blog",
       "position": 2},
      {"@type": "ListItem", "item": "https://example.com/blog/post",
       "name": " Post ", "position": 3}]})"_json);
  for (const JsonValue& item : list.value()["itemListElement"]) {
    EXPECT_TRUE(item["position"].is_number_unsigned());
    EXPECT_EQ(keys_of(item),
              (std::vector<std::string>{"@type", "item", "name", "position"}));
  }
}

TEST(BreadcrumbListTest, AnEmptyTrailStillGivesANode) {
  const Result<JsonValue> list = build_breadcrumb_list({}, site_config());
  ASSERT_TRUE(list.ok());
  EXPECT_EQ(list.value(), R"({"@context": "https://schema.org",
    "@type": "BreadcrumbList", "itemListElement": []})"_json);
}

TEST(BreadcrumbListTest, TheFirstUnresolvableUrlEndsTheListUnchanged) {
  const SEOConfig config = site_config();
  for (const char* bad : {"", " ", "\t\xE3\x80\x80"}) {
    const Result<JsonValue> list = build_breadcrumb_list(
        {{"Home", "/"}, {"Bad", bad}, {"Ok", "/ok"}}, config);
    ASSERT_FALSE(list.ok());
    EXPECT_EQ(list.error(), Error(ErrorKind::InvalidUrl,
                                  "url_or_path must be a non-empty string"));
  }
}

TEST(BreadcrumbListTest, ABrokenPublicBaseUrlFailsWithItsOwnError) {
  SEOConfig config = site_config();
  config.public_base_url = "example.com";
  const Result<JsonValue> list = build_breadcrumb_list({{"Home", "/"}}, config);
  ASSERT_FALSE(list.ok());
  const Result<std::string> direct = normalize_public_url("/", config);
  ASSERT_FALSE(direct.ok());
  EXPECT_EQ(list.error(), direct.error());
  EXPECT_EQ(list.error().kind(), ErrorKind::Configuration);
  EXPECT_EQ(list.error().message(),
            "invalid public_base_url: relative URL without a base");
}

TEST(BreadcrumbListTest, ItemsAreExactlyThePublicUrlResolutionOfEachUrl) {
  const SEOConfig config = site_config();
  const std::vector<std::string> urls = {"http://[::1", "/a b",
                                         "https://other.test:8443/x/",
                                         "mailto:someone", "?utm_source=x"};
  std::vector<Breadcrumb> crumbs;
  for (const std::string& url : urls) crumbs.push_back({"N", url});
  const Result<JsonValue> list = build_breadcrumb_list(crumbs, config);
  ASSERT_TRUE(list.ok()) << list.error().display();
  const JsonValue& items = list.value()["itemListElement"];
  ASSERT_EQ(items.size(), urls.size());
  for (std::size_t i = 0; i < urls.size(); ++i) {
    const Result<std::string> resolved = normalize_public_url(urls[i], config);
    ASSERT_TRUE(resolved.ok()) << urls[i];
    EXPECT_EQ(items[i]["item"], resolved.value()) << urls[i];
  }
  EXPECT_EQ(items[2]["item"], "https://example.com/x");
}

}  // namespace
}  // namespace zelko
