#include "zelko/error.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "zelko/builder.hpp"
#include "zelko/records.hpp"
#include "zelko/url.hpp"

namespace zelko {
namespace {

struct KindCase {
  ErrorKind kind;
  int code;
  const char* prefix;
};

class ErrorKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ErrorKindTest, HasStableCodeAndPrefix) {
  const KindCase& c = GetParam();
  EXPECT_EQ(static_cast<int>(c.kind), c.code);
  EXPECT_EQ(display_prefix(c.kind), c.prefix);
}

TEST_P(ErrorKindTest, DisplayIsPrefixThenBareMessage) {
  const KindCase& c = GetParam();
  const Error error(c.kind, "detail");
  EXPECT_EQ(error.kind(), c.kind);
  EXPECT_EQ(error.message(), "detail");
  EXPECT_EQ(error.display(), std::string(c.prefix) + "detail");
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ErrorKindTest,
    ::testing::Values(
        KindCase{ErrorKind::InvalidUrl, 0, "invalid URL: "},
        KindCase{ErrorKind::Configuration, 1, "invalid configuration: "},
        KindCase{ErrorKind::Entity, 2, "invalid entity: "},
        KindCase{ErrorKind::Schema, 3, "invalid schema: "},
        KindCase{ErrorKind::Serialization, 4, "serialization error: "},
        KindCase{ErrorKind::UrlPolicy, 6, "URL policy error: "}));

TEST(ErrorDisplay, ConfigurationErrorForEmptyHost) {
  const Error error(ErrorKind::Configuration,
                    "canonical_host must be a non-empty string");
  EXPECT_EQ(error.display(),
            "invalid configuration: canonical_host must be a non-empty string");
  EXPECT_EQ(error.message(), "canonical_host must be a non-empty string");
}

TEST(ErrorDisplay, EmptyMessageLeavesOnlyThePrefix) {
  EXPECT_EQ(Error(ErrorKind::Schema, "").display(), "invalid schema: ");
}

TEST(ErrorEquality, ComparesKindFieldAndMessage) {
  const Error error(ErrorKind::Entity, "x");
  EXPECT_EQ(error, Error(ErrorKind::Entity, "x"));
  EXPECT_NE(error, Error(ErrorKind::Schema, "x"));
  EXPECT_NE(error, Error(ErrorKind::Entity, "y"));
  EXPECT_NE(error, Error(ErrorKind::Entity, ErrorField::EntityType, "x"));
}

// Each refusal that is about one input field names it as data, with the
// message unchanged.
struct FieldCase {
  const char* name;
  Error (*fail)();
  ErrorField field;
  const char* field_text;
  const char* message_start;
};

void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }

SEOConfig valid_config() {
  SEOConfig config;
  config.canonical_host = "example.com";
  config.public_base_url = "https://example.com";
  return config;
}

Error config_failure(void (*change)(SEOConfig&)) {
  SEOConfig config = valid_config();
  change(config);
  Status status = validate_config(config);
  return status ? Error(ErrorKind::Serialization, "accepted") : status.error();
}

Error build_failure(void (*change)(SEOConfig&, SEOOverrides&)) {
  SEOConfig config = valid_config();
  SEOOverrides overrides;
  change(config, overrides);
  Result<SEOPayload> built =
      build_seo_payload(SEOEntity{}, "/", config, &overrides);
  return built ? Error(ErrorKind::Serialization, "built") : built.error();
}

class ErrorFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ErrorFieldTest, NamesTheFieldAtFault) {
  const FieldCase& c = GetParam();
  const Error error = c.fail();
  EXPECT_EQ(error.field(), c.field);
  EXPECT_EQ(field_name(error.field()), c.field_text);
  EXPECT_TRUE(error.message().starts_with(c.message_start)) << error.message();
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ErrorFieldTest,
    ::testing::Values(
        FieldCase{"empty host",
                  [] {
                    return config_failure(
                        [](SEOConfig& c) { c.canonical_host.clear(); });
                  },
                  ErrorField::CanonicalHost, "canonical_host",
                  "canonical_host must be a non-empty string"},
        FieldCase{"host with a path",
                  [] {
                    return config_failure(
                        [](SEOConfig& c) { c.canonical_host = "a.com/x"; });
                  },
                  ErrorField::CanonicalHost, "canonical_host",
                  "canonical_host must be host-only"},
        FieldCase{"empty base URL",
                  [] {
                    return config_failure(
                        [](SEOConfig& c) { c.public_base_url.clear(); });
                  },
                  ErrorField::PublicBaseUrl, "public_base_url",
                  "public_base_url must be"},
        FieldCase{"template without placeholder",
                  [] {
                    return config_failure(
                        [](SEOConfig& c) { c.title_template = "x"; });
                  },
                  ErrorField::TitleTemplate, "title_template",
                  "title_template must include"},
        FieldCase{"unknown entity type",
                  [] { return parse_entity_type("blog").error(); },
                  ErrorField::EntityType, "entity_type",
                  "entity_type must be one of"},
        FieldCase{"unparsable base URL",
                  [] {
                    SEOConfig config = valid_config();
                    config.public_base_url = "not a url";
                    return normalize_public_url("/a", config).error();
                  },
                  ErrorField::PublicBaseUrl, "public_base_url",
                  "invalid public_base_url: "},
        FieldCase{"relative canonical override",
                  [] {
                    return build_failure([](SEOConfig&, SEOOverrides& o) {
                      o.canonical_url = "/relative";
                    });
                  },
                  ErrorField::CanonicalUrl, "canonical_url",
                  "canonical_url override must be an absolute URL"},
        FieldCase{"ftp canonical override",
                  [] {
                    return build_failure([](SEOConfig&, SEOOverrides& o) {
                      o.canonical_url = "ftp://example.com/";
                    });
                  },
                  ErrorField::CanonicalUrl, "canonical_url",
                  "canonical_url override must use http or https"},
        FieldCase{"host that is not a domain name",
                  [] {
                    SEOConfig config = valid_config();
                    config.canonical_host = "xn--.example";
                    return normalize_public_url("/a", config).error();
                  },
                  ErrorField::CanonicalHost, "canonical_host",
                  "invalid canonical_host: "},
        FieldCase{"trailing slash rule",
                  [] { return parse_trailing_slash("Never").error(); },
                  ErrorField::TrailingSlash, "trailing_slash",
                  "invalid trailing_slash: Never"},
        FieldCase{
            "blank route",
            [] { return normalize_public_url(" ", valid_config()).error(); },
            ErrorField::None, "", "url_or_path must be"}));

TEST(ResultTest, HoldsEitherAValueOrAnError) {
  const Result<int> value = 7;
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(*value, 7);

  const Result<int> failure = Error(ErrorKind::InvalidUrl, "bad");
  ASSERT_FALSE(failure.ok());
  EXPECT_EQ(failure.error().kind(), ErrorKind::InvalidUrl);
  EXPECT_EQ(failure.error().message(), "bad");
}

TEST(StatusTest, DefaultIsSuccessAndAnErrorIsKept) {
  const Status success;
  EXPECT_TRUE(success.ok());

  const Status failure = Error(ErrorKind::UrlPolicy, "no");
  ASSERT_FALSE(failure.ok());
  EXPECT_EQ(failure.error().display(), "URL policy error: no");
}

}  // namespace
}  // namespace zelko
