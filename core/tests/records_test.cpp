#include "zelko/records.hpp"

#include "zelko/input_fields.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace zelko {
namespace {

const std::string kEntityTypeMessagePrefix =
    "entity_type must be one of home/post/page/video/taxonomy/search/other/"
    "product/organization/local_business/faq, got '";

struct EntityTypeRow {
  EntityType type;
  std::string text;
  std::string enumerator;
};

class EntityTypeNames : public ::testing::TestWithParam<EntityTypeRow> {};

TEST_P(EntityTypeNames, TextEnumeratorAndParseAgree) {
  const EntityTypeRow& row = GetParam();
  EXPECT_EQ(to_text(row.type), row.text);
  EXPECT_EQ(enumerator_name(row.type), row.enumerator);
  const Result<EntityType> parsed = parse_entity_type(row.text);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(*parsed, row.type);
}

INSTANTIATE_TEST_SUITE_P(
    AllEleven, EntityTypeNames,
    ::testing::Values(
        EntityTypeRow{EntityType::Home, "home", "Home"},
        EntityTypeRow{EntityType::Post, "post", "Post"},
        EntityTypeRow{EntityType::Page, "page", "Page"},
        EntityTypeRow{EntityType::Video, "video", "Video"},
        EntityTypeRow{EntityType::Taxonomy, "taxonomy", "Taxonomy"},
        EntityTypeRow{EntityType::Search, "search", "Search"},
        EntityTypeRow{EntityType::Other, "other", "Other"},
        EntityTypeRow{EntityType::Product, "product", "Product"},
        EntityTypeRow{EntityType::Organization, "organization", "Organization"},
        EntityTypeRow{EntityType::LocalBusiness, "local_business",
                      "LocalBusiness"},
        EntityTypeRow{EntityType::Faq, "faq", "Faq"}));

TEST(EntityTypeNames, CodesAreFixed) {
  EXPECT_EQ(static_cast<int>(EntityType::Home), 0);
  EXPECT_EQ(static_cast<int>(EntityType::Other), 6);
  EXPECT_EQ(static_cast<int>(EntityType::Faq), 10);
}

class ParseEntityTypeRejects : public ::testing::TestWithParam<std::string> {};

TEST_P(ParseEntityTypeRejects, WithTheTextBetweenQuotes) {
  const Result<EntityType> parsed = parse_entity_type(GetParam());
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().kind(), ErrorKind::Entity);
  EXPECT_EQ(parsed.error().message(),
            kEntityTypeMessagePrefix + GetParam() + "'");
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseEntityTypeRejects,
                         ::testing::Values("", "Home", " post", "post ",
                                           "localbusiness", "LocalBusiness",
                                           "blog", "FAQ", "local-business"));

TEST(ParseEntityType, DisplayTextEndsWithRejectedText) {
  const Result<EntityType> parsed = parse_entity_type("blog");
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().display(),
            "invalid entity: " + kEntityTypeMessagePrefix + "blog'");
}

struct TrailingSlashRow {
  TrailingSlash rule;
  std::string text;
  std::string enumerator;
};

class TrailingSlashNames : public ::testing::TestWithParam<TrailingSlashRow> {};

TEST_P(TrailingSlashNames, TextEnumeratorAndParseAgree) {
  const TrailingSlashRow& row = GetParam();
  EXPECT_EQ(to_text(row.rule), row.text);
  EXPECT_EQ(enumerator_name(row.rule), row.enumerator);
  const Result<TrailingSlash> parsed = parse_trailing_slash(row.text);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(*parsed, row.rule);
}

INSTANTIATE_TEST_SUITE_P(
    AllThree, TrailingSlashNames,
    ::testing::Values(
        TrailingSlashRow{TrailingSlash::Always, "always", "Always"},
        TrailingSlashRow{TrailingSlash::Never, "never", "Never"},
        TrailingSlashRow{TrailingSlash::Preserve, "preserve", "Preserve"}));

class ParseTrailingSlashRejects : public ::testing::TestWithParam<std::string> {
};

TEST_P(ParseTrailingSlashRejects, WithTheTextUnquoted) {
  const Result<TrailingSlash> parsed = parse_trailing_slash(GetParam());
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().kind(), ErrorKind::UrlPolicy);
  EXPECT_EQ(parsed.error().field(), ErrorField::TrailingSlash);
  EXPECT_EQ(parsed.error().message(), "invalid trailing_slash: " + GetParam());
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseTrailingSlashRejects,
                         ::testing::Values("NEVER", "Never", "", " never",
                                           "always/"));

TEST(SchemaTypeMap, DefaultHasTenEntriesAndNoOther) {
  const SchemaTypeMap map = default_schema_type_map();
  const SchemaTypeMap expected{{"faq", "FAQPage"},
                               {"home", "WebSite"},
                               {"local_business", "LocalBusiness"},
                               {"organization", "Organization"},
                               {"page", "WebPage"},
                               {"post", "Article"},
                               {"product", "Product"},
                               {"search", "SearchResultsPage"},
                               {"taxonomy", "CollectionPage"},
                               {"video", "VideoObject"}};
  EXPECT_EQ(map, expected);
  EXPECT_FALSE(map.contains("other"));
  EXPECT_EQ(SEOConfig{}.schema_type_map, expected);
}

TEST(SchemaTypeMap, PairsReplaceTheDefaultWhole) {
  const SchemaTypeMap map = schema_type_map_from_pairs({{"post", "Article"}});
  EXPECT_EQ(map, (SchemaTypeMap{{"post", "Article"}}));
  EXPECT_FALSE(map.contains("home"));
}

TEST(SchemaTypeMap, LastDuplicateWins) {
  const SchemaTypeMap map = schema_type_map_from_pairs(
      {{"post", "WebPage"}, {"page", "X"}, {"post", "Article"}});
  EXPECT_EQ(map, (SchemaTypeMap{{"page", "X"}, {"post", "Article"}}));
}

TEST(SchemaTypeMap, NoPairsGiveAnEmptyMap) {
  EXPECT_TRUE(schema_type_map_from_pairs({}).empty());
}

SEOConfig config_with(std::string host, std::string base,
                      std::optional<std::string> title_template) {
  SEOConfig config;
  config.canonical_host = std::move(host);
  config.public_base_url = std::move(base);
  config.title_template = std::move(title_template);
  return config;
}

struct ConfigCase {
  std::string name;
  SEOConfig config;
  std::string expected_message;  // empty: valid
};

class ValidateConfig : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(ValidateConfig, ReportsTheFirstFailingCheck) {
  const Status status = validate_config(GetParam().config);
  if (GetParam().expected_message.empty()) {
    EXPECT_TRUE(status.ok()) << status.error().message();
    return;
  }
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind(), ErrorKind::Configuration);
  EXPECT_EQ(status.error().message(), GetParam().expected_message);
}

const std::string kBase = "https://example.com";
const std::string kHostEmpty = "canonical_host must be a non-empty string";
const std::string kHostOnly =
    "canonical_host must be host-only (no scheme/path/query)";
const std::string kBaseEmpty = "public_base_url must be a non-empty string";
const std::string kTemplate =
    "title_template must include '{title}' placeholder";

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidateConfig,
    ::testing::Values(
        ConfigCase{"valid", config_with("example.com", kBase, std::nullopt),
                   ""},
        ConfigCase{"host_with_port",
                   config_with("example.com:8080", kBase, std::nullopt), ""},
        ConfigCase{"blank_host_passes", config_with("   ", kBase, std::nullopt),
                   ""},
        ConfigCase{"empty_host", config_with("", kBase, std::nullopt),
                   kHostEmpty},
        ConfigCase{"empty_host_checked_before_empty_base",
                   config_with("", "", std::nullopt), kHostEmpty},
        ConfigCase{"scheme_in_host",
                   config_with("https://example.com", kBase, std::nullopt),
                   kHostOnly},
        ConfigCase{"host_with_slash",
                   config_with("example.com/", kBase, std::nullopt), kHostOnly},
        ConfigCase{"host_with_query",
                   config_with("example.com?x", kBase, std::nullopt),
                   kHostOnly},
        ConfigCase{"host_with_fragment",
                   config_with("example.com#x", kBase, std::nullopt),
                   kHostOnly},
        ConfigCase{"empty_base", config_with("example.com", "", std::nullopt),
                   kBaseEmpty},
        ConfigCase{"unparsable_base_passes_here",
                   config_with("example.com", "not a url", std::nullopt), ""},
        ConfigCase{"template_with_placeholder",
                   config_with("example.com", kBase, "{title} | Site"), ""},
        ConfigCase{"template_placeholder_anywhere",
                   config_with("example.com", kBase, "Site: {title}!"), ""},
        ConfigCase{"template_capital_t",
                   config_with("example.com", kBase, "{Title} | Site"),
                   kTemplate},
        ConfigCase{"empty_template", config_with("example.com", kBase, ""),
                   kTemplate},
        ConfigCase{"base_checked_before_template",
                   config_with("example.com", "", "no placeholder"),
                   kBaseEmpty}),
    [](const auto& info) { return info.param.name; });

TEST(ValidateConfig, DisplayTextOfEmptyHost) {
  const Status status = validate_config(config_with("", kBase, std::nullopt));
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().display(),
            "invalid configuration: canonical_host must be a non-empty string");
}

TEST(URLPolicyDefaults, MatchTheDocumentedDefaults) {
  const URLPolicy policy;
  EXPECT_TRUE(policy.enforce_https);
  EXPECT_FALSE(policy.lowercase_paths);
  EXPECT_EQ(policy.trailing_slash, TrailingSlash::Never);
  EXPECT_TRUE(policy.collapse_duplicate_slashes);
  EXPECT_TRUE(policy.strip_tracking_params);
  EXPECT_TRUE(policy.allowed_query_params.empty());
  EXPECT_TRUE(policy.extra_tracking_params.empty());
}

}  // namespace
}  // namespace zelko

// Every table: keys unique, required rows first (they are the positional
// parameters), a description on every row.
template <class Record>
void expect_well_formed_table() {
  std::vector<std::string_view> keys;
  bool optional_seen = false;
  zelko::for_each_input_field<Record>([&](const auto& row) {
    EXPECT_FALSE(row.required && optional_seen)
        << zelko::InputFields<Record>::record_name << "." << row.key;
    optional_seen = optional_seen || !row.required;
    EXPECT_FALSE(row.description.empty()) << row.key;
    EXPECT_EQ(std::count(keys.begin(), keys.end(), row.key), 0) << row.key;
    keys.push_back(row.key);
  });
  EXPECT_EQ(keys.size(), zelko::kInputFieldCount<Record>);
}

TEST(InputFieldsTest, EveryTableIsWellFormed) {
  expect_well_formed_table<zelko::SEOImage>();
  expect_well_formed_table<zelko::SEOAuthor>();
  expect_well_formed_table<zelko::Breadcrumb>();
  expect_well_formed_table<zelko::FAQItem>();
  expect_well_formed_table<zelko::Robots>();
  expect_well_formed_table<zelko::URLPolicy>();
  expect_well_formed_table<zelko::SEOEntity>();
  expect_well_formed_table<zelko::SEOConfig>();
  expect_well_formed_table<zelko::SEOOverrides>();
}

TEST(InputFieldsTest, KindsHaveTheirNames) {
  EXPECT_EQ(zelko::to_text(zelko::FieldKind::Text), "text");
  EXPECT_EQ(zelko::to_text(zelko::FieldKind::RecordList), "record list");
  EXPECT_EQ(zelko::to_text(zelko::FieldKind::Json), "json");
}
