#include "zelko/builder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "html_text.hpp"
#include "text.hpp"
#include "url_parser.hpp"
#include "zelko/json.hpp"
#include "zelko/jsonld.hpp"
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

SEOEntity entity_of(EntityType type) {
  SEOEntity entity;
  entity.entity_type = type;
  return entity;
}

SEOPayload build_ok(const SEOEntity& entity, std::string_view route,
                    const SEOConfig& config,
                    const SEOOverrides* overrides = nullptr,
                    const SchemaRegistry* registry = nullptr) {
  Result<SEOPayload> payload =
      build_seo_payload(entity, route, config, overrides, registry);
  EXPECT_TRUE(payload.ok()) << payload.error().display();
  return payload.ok() ? std::move(payload).value() : SEOPayload{};
}

Error build_error(const SEOEntity& entity, std::string_view route,
                  const SEOConfig& config,
                  const SEOOverrides* overrides = nullptr) {
  Result<SEOPayload> payload =
      build_seo_payload(entity, route, config, overrides, nullptr);
  EXPECT_FALSE(payload.ok());
  return payload.ok() ? Error(ErrorKind::Serialization, "unexpected success")
                      : std::move(payload).error();
}

std::string repeated(std::string_view piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// ---------------------------------------------------------------------------
// HTML to text.

struct HtmlCase {
  const char* label;
  std::string html;
  std::string text;
};

class HtmlToTextTest : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(HtmlToTextTest, StripsTagsAndCollapsesWhiteSpace) {
  EXPECT_EQ(html_to_text(GetParam().html), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlToTextTest,
    ::testing::Values(
        HtmlCase{"nested_inline", "<p>Hello <b>world</b></p>", "Hello world"},
        HtmlCase{"upper_case_script", "<SCRIPT>x()</SCRIPT>Text", "Text"},
        HtmlCase{"unclosed_lt_ends_text", "a < b", "a"},
        HtmlCase{"references_stay", "Fish &amp; Chips", "Fish &amp; Chips"},
        HtmlCase{"tags_separate_words", "<p>a</p><p>b", "a b"},
        HtmlCase{"skipped_elements_write_nothing",
                 "<style>p{}</style>x<noscript>n</noscript>y", "xy"},
        HtmlCase{"script_with_attributes_is_ordinary",
                 "<script type=\"t\">a</script>b", "a b"},
        HtmlCase{"tags_inside_script_dropped", "<script>a<b>c</b></script>d",
                 "d"},
        HtmlCase{"only_matching_close_ends_skip",
                 "<script>a</style>b</SCRIPT >c</Script>d", "d"},
        HtmlCase{"skip_never_closed", "x<script>never closed", "x"},
        HtmlCase{"unicode_lowercase_no_match", "<SCR\xC4\xB0PT>x", "x"},
        HtmlCase{"unicode_close_no_match", "<script>x</SCR\xC4\xB0PT>y", ""},
        HtmlCase{"white_space_runs", "  a \n\t b \r\n", "a b"},
        HtmlCase{"unicode_white_space",
                 "\xE3\x80\x80"
                 "a\xC2\xA0\xE2\x80\x83"
                 "b\xC2\x85",
                 "a b"},
        HtmlCase{"zero_width_space_is_text",
                 "a\xE2\x80\x8B"
                 "b",
                 "a\xE2\x80\x8B"
                 "b"},
        HtmlCase{"empty_tag", "<>x", "x"}, HtmlCase{"trailing_lt", "x<", "x"},
        HtmlCase{"gt_inside_attribute_closes", "<a title='>'>t", "'>t"},
        HtmlCase{"lt_inside_tag_text", "<<b>>x", ">x"},
        HtmlCase{"invalid_utf8_kept", "\xFF<b>\xFE", "\xFF \xFE"},
        // Regression (fuzzing): a skipped element writes nothing, so the
        // bytes around it form one sequence, here U+2028, which is white
        // space and so trimmed; U+00E9 around a style element stays a letter.
        HtmlCase{"sequence_joined_across_skipped_element",
                 "\xE2<script>x</script>\x80\xA8"
                 "b",
                 "b"},
        HtmlCase{"letter_joined_across_skipped_element",
                 "a\xC3<style>p{}</style>\xA9<i>z", "a\xC3\xA9 z"},
        HtmlCase{"only_tags", "</p><br/>", ""}, HtmlCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.label); });

struct ShortenCase {
  const char* label;
  std::string text;
  std::string expected;
};

class ShortenDescriptionTest : public ::testing::TestWithParam<ShortenCase> {};

TEST_P(ShortenDescriptionTest, KeepsAtMost160ScalarValues) {
  EXPECT_EQ(shorten_description(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ShortenDescriptionTest,
    ::testing::Values(
        ShortenCase{"exactly_160", repeated("a", 160), repeated("a", 160)},
        ShortenCase{"161_is_cut", repeated("a", 161),
                    repeated("a", 157) + "..."},
        ShortenCase{"blank_at_157_stays",
                    repeated("a", 156) + " " + repeated("b", 50),
                    repeated("a", 156) + " ..."},
        ShortenCase{"multibyte_kept", repeated("\xC3\xA9", 160),
                    repeated("\xC3\xA9", 160)},
        ShortenCase{"multibyte_cut_on_scalars",
                    repeated("\xF0\x9F\x98\x80", 161),
                    repeated("\xF0\x9F\x98\x80", 157) + "..."},
        ShortenCase{"invalid_bytes_count_one_each", repeated("\xFF", 161),
                    repeated("\xFF", 157) + "..."},
        ShortenCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(HtmlToTextTest, MegabyteInputsOfEveryShapeFinish) {
  const std::size_t mb = 1 << 20;
  EXPECT_EQ(html_to_text(std::string(mb, '<')), "");
  EXPECT_EQ(html_to_text("<" + std::string(mb, 'A')), "");
  EXPECT_EQ(html_to_text("<" + std::string(mb, 'A') + ">x"), "x");
  EXPECT_EQ(html_to_text(repeated("<b>", mb / 3)), "");
  EXPECT_EQ(html_to_text("<script>" + repeated("<p>x", mb / 4)), "");
  EXPECT_EQ(html_to_text("x" + std::string(mb, ' ') + "y"), "x y");
  const std::string words = html_to_text(repeated("w<i>", mb / 4));
  EXPECT_EQ(words.size(), mb / 4 * 2 - 1);
  EXPECT_EQ(shorten_description(words), repeated("w ", 78) + "w...");
}

// html_to_description stops scanning once the cut is decided; on any input
// it must agree with converting everything and shortening afterwards.
TEST(HtmlToDescriptionTest, AgreesWithFullConversionThenShortening) {
  const std::vector<std::string> pieces = {"a",
                                           "bc",
                                           "\xC3\xA9",
                                           "\xF0\x9F\x98\x80",
                                           " ",
                                           "\n\t",
                                           "\xE3\x80\x80",
                                           "\xC2\xA0",
                                           "<b>",
                                           "<script>",
                                           "</script>",
                                           "\xFF",
                                           "\xC3",
                                           "\xF0\x9F",
                                           "<",
                                           ">",
                                           "<p class='x'>"};
  std::mt19937 random(20240501);  // fixed seed: the same cases every run
  for (int round = 0; round < 400; ++round) {
    std::string html;
    const std::size_t count = random() % 700;
    for (std::size_t i = 0; i < count; ++i) {
      html += pieces[random() % pieces.size()];
    }
    ASSERT_EQ(html_to_description(html),
              shorten_description(html_to_text(html)))
        << "round " << round;
  }
  for (const std::string& html :
       {repeated("\xF0\x9F\x98\x80", 170), repeated("\xFF", 700),
        repeated("a ", 400), std::string(1 << 20, 'x'),
        "<b>" + repeated("\xE3\x80\x80", 300) + "tail"}) {
    EXPECT_EQ(html_to_description(html),
              shorten_description(html_to_text(html)));
  }
}

// ---------------------------------------------------------------------------
// Title.

struct TitleCase {
  const char* label;
  std::optional<std::string> meta_title;
  std::optional<std::string> entity_title;
  std::optional<std::string> title_template;
  bool skip_template;
  std::string expected;
};

class TitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleTest, BaseTitleByPrecedenceThenTheTemplate) {
  const TitleCase& c = GetParam();
  SEOEntity entity;
  entity.title = c.entity_title;
  SEOConfig config = site_config();
  config.title_template = c.title_template;
  SEOOverrides overrides;
  overrides.meta_title = c.meta_title;
  overrides.skip_title_template = c.skip_template;
  EXPECT_EQ(build_ok(entity, "/", config, &overrides).title, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TitleTest,
    ::testing::Values(
        TitleCase{"untitled", {}, {}, {}, false, "Untitled"},
        TitleCase{"untitled_templated",
                  {},
                  {},
                  "{title} | Blog",
                  false,
                  "Untitled | Blog"},
        TitleCase{"blank_title_is_missing", {}, " \t ", {}, false, "Untitled"},
        TitleCase{"override_first", " M ", "T", {}, false, "M"},
        TitleCase{"blank_override_skipped", "  ", "T", {}, false, "T"},
        TitleCase{
            "placeholder_twice", {}, "A", "{title} - {title}", false, "A - A"},
        TitleCase{"template_skipped", {}, "A", "{title} - {title}", true, "A"},
        TitleCase{"base_trimmed_first", {}, "  A  ", "{title}!", false, "A!"},
        TitleCase{"template_blanks_kept", {}, "A", " {title} ", false, " A "},
        TitleCase{
            "adjacent_placeholders", {}, "A", "{title}{title}", false, "AA"},
        TitleCase{"other_braces_copied",
                  {},
                  "A",
                  "{{title}} {Title}",
                  false,
                  "{A} {Title}"},
        TitleCase{"replacement_not_rescanned",
                  {},
                  "{title}",
                  "x{title}y",
                  false,
                  "x{title}y"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Description.

struct DescriptionCase {
  const char* label;
  std::optional<std::string> meta_description;
  std::optional<std::string> excerpt;
  std::optional<std::string> body_html;
  std::string expected;
};

class DescriptionTest : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(DescriptionTest, OverrideThenExcerptThenBodyText) {
  const DescriptionCase& c = GetParam();
  SEOEntity entity;
  entity.excerpt = c.excerpt;
  entity.body_html = c.body_html;
  SEOOverrides overrides;
  overrides.meta_description = c.meta_description;
  EXPECT_EQ(build_ok(entity, "/", site_config(), &overrides).description,
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescriptionTest,
    ::testing::Values(
        DescriptionCase{"nothing_is_empty", {}, {}, {}, ""},
        DescriptionCase{
            "blank_excerpt_falls_to_body", {}, "  ", "<p>Hi</p>", "Hi"},
        DescriptionCase{"override_first", " M ", "E", "<p>B</p>", "M"},
        DescriptionCase{"excerpt_trimmed", {}, " E ", "<p>B</p>", "E"},
        DescriptionCase{"blank_override_skipped", "\t", {}, "<p>B</p>", "B"},
        DescriptionCase{"body_without_text", {}, {}, "<script>x</script>", ""},
        DescriptionCase{"body_shortened",
                        {},
                        {},
                        "<p>" + repeated("a", 161),
                        repeated("a", 157) + "..."},
        DescriptionCase{"body_of_exactly_160",
                        {},
                        {},
                        "<b>" + repeated("a", 160) + "</b>",
                        repeated("a", 160)},
        DescriptionCase{"excerpt_never_shortened",
                        {},
                        repeated("e", 300),
                        {},
                        repeated("e", 300)},
        DescriptionCase{"override_never_shortened",
                        repeated("m", 300),
                        {},
                        {},
                        repeated("m", 300)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DescriptionTest, AMegabyteBodyGivesAShortDescription) {
  SEOEntity entity;
  entity.body_html = repeated("<p>Lorem <b>ipsum</b></p>\n", 40000);
  const SEOPayload payload = build_ok(entity, "/", site_config());
  EXPECT_EQ(count_scalars(payload.description), 160u);
  EXPECT_TRUE(payload.description.starts_with("Lorem ipsum Lorem ipsum"));
  EXPECT_TRUE(payload.description.ends_with("..."));
}

// ---------------------------------------------------------------------------
// Canonical URL.

struct CanonicalCase {
  const char* label;
  std::string route;
  std::optional<std::string> canonical_url;
  std::optional<std::string> canonical_path;
  std::string expected;
};

class CanonicalUrlTest : public ::testing::TestWithParam<CanonicalCase> {};

TEST_P(CanonicalUrlTest, OverrideKeptAsWrittenElsePublicUrlResolution) {
  const CanonicalCase& c = GetParam();
  SEOOverrides overrides;
  overrides.canonical_url = c.canonical_url;
  overrides.canonical_path = c.canonical_path;
  const SEOPayload payload =
      build_ok(SEOEntity{}, c.route, site_config(), &overrides);
  EXPECT_EQ(payload.canonical, c.expected);
  EXPECT_EQ(payload.og.url, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanonicalUrlTest,
    ::testing::Values(
        CanonicalCase{"route",
                      " /Blog//Post/?utm_source=x&id=3#top ",
                      {},
                      {},
                      "https://example.com/Blog/Post?id=3"},
        CanonicalCase{"path_override_beats_route",
                      "/route",
                      {},
                      "docs/a",
                      "https://example.com/docs/a"},
        CanonicalCase{"url_override_trimmed_not_normalized", "/route",
                      " \thttps://Other.test/A//B/?utm_source=x ", "/path",
                      "https://Other.test/A//B/?utm_source=x"},
        CanonicalCase{"url_override_upper_case_scheme",
                      "/",
                      "HTTP://example.com/x",
                      {},
                      "HTTP://example.com/x"},
        CanonicalCase{"url_override_ignores_blank_path", "/",
                      "https://example.com/x", "   ", "https://example.com/x"},
        CanonicalCase{"url_override_ignores_blank_route",
                      "  ",
                      "https://example.com/x",
                      {},
                      "https://example.com/x"},
        CanonicalCase{"path_override_ignores_blank_route",
                      "",
                      {},
                      "/p",
                      "https://example.com/p"},
        CanonicalCase{"unparsable_route_is_a_path",
                      "http://[::1",
                      {},
                      {},
                      "https://example.com/http:/[::1"}),
    [](const auto& info) { return std::string(info.param.label); });

struct CanonicalFailureCase {
  const char* label;
  std::string route;
  std::optional<std::string> canonical_url;
  std::optional<std::string> canonical_path;
  ErrorKind kind;
  std::string message;
};

class CanonicalUrlFailureTest
    : public ::testing::TestWithParam<CanonicalFailureCase> {};

TEST_P(CanonicalUrlFailureTest, FailsWithKindAndExactMessage) {
  const CanonicalFailureCase& c = GetParam();
  SEOOverrides overrides;
  overrides.canonical_url = c.canonical_url;
  overrides.canonical_path = c.canonical_path;
  const Error error =
      build_error(SEOEntity{}, c.route, site_config(), &overrides);
  EXPECT_EQ(error.kind(), c.kind);
  EXPECT_EQ(error.message(), c.message);
}

// The parser's own description of why `text` is not an absolute URL.
std::string parser_failure(std::string_view text) {
  const Result<ParsedUrl> parsed = parse_absolute_url(text);
  return parsed.ok() ? "(parsed)" : parsed.error().message();
}

constexpr const char* kNotAbsolute =
    "canonical_url override must be an absolute URL: ";
constexpr const char* kNotHttp =
    "canonical_url override must use http or https";
constexpr const char* kBlankInput = "url_or_path must be a non-empty string";

INSTANTIATE_TEST_SUITE_P(
    Cases, CanonicalUrlFailureTest,
    ::testing::Values(
        CanonicalFailureCase{
            "url_without_scheme",
            "/",
            "example.com/x",
            {},
            ErrorKind::InvalidUrl,
            std::string(kNotAbsolute) + "relative URL without a base"},
        CanonicalFailureCase{"url_empty_no_fallback", "/", "", "/p",
                             ErrorKind::InvalidUrl,
                             kNotAbsolute + parser_failure("")},
        CanonicalFailureCase{"url_blank_no_fallback",
                             "/",
                             " \xC2\xA0 ",
                             {},
                             ErrorKind::InvalidUrl,
                             kNotAbsolute + parser_failure("")},
        CanonicalFailureCase{
            "url_bad_host",
            "/",
            "https://exa mple.com/",
            {},
            ErrorKind::InvalidUrl,
            kNotAbsolute + parser_failure("https://exa mple.com/")},
        CanonicalFailureCase{"url_bad_ipv6",
                             "/",
                             "http://[::1",
                             {},
                             ErrorKind::InvalidUrl,
                             kNotAbsolute + parser_failure("http://[::1")},
        CanonicalFailureCase{
            "url_bad_port",
            "/",
            "https://example.com:99999/",
            {},
            ErrorKind::InvalidUrl,
            kNotAbsolute + parser_failure("https://example.com:99999/")},
        CanonicalFailureCase{"url_ftp",
                             "/",
                             "ftp://example.com/x",
                             {},
                             ErrorKind::InvalidUrl,
                             kNotHttp},
        CanonicalFailureCase{"url_mailto",
                             "/",
                             " mailto:a@example.com",
                             {},
                             ErrorKind::InvalidUrl,
                             kNotHttp},
        CanonicalFailureCase{
            "route_empty", "", {}, {}, ErrorKind::InvalidUrl, kBlankInput},
        CanonicalFailureCase{"route_blank",
                             " \t\xE3\x80\x80",
                             {},
                             {},
                             ErrorKind::InvalidUrl,
                             kBlankInput},
        CanonicalFailureCase{"path_blank_no_fallback",
                             "/route",
                             {},
                             "  ",
                             ErrorKind::InvalidUrl,
                             kBlankInput},
        CanonicalFailureCase{"path_empty_no_fallback",
                             "/route",
                             {},
                             "",
                             ErrorKind::InvalidUrl,
                             kBlankInput}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CanonicalUrlFailureTest, BrokenPublicBaseUrlIsAConfigurationError) {
  SEOConfig config = site_config();
  config.public_base_url = "example.com";
  const Error error = build_error(SEOEntity{}, "/", config);
  EXPECT_EQ(error.kind(), ErrorKind::Configuration);
  EXPECT_EQ(error.message(),
            "invalid public_base_url: relative URL without a base");
  EXPECT_EQ(error, normalize_public_url("/", config).error());
}

TEST(CanonicalUrlFailureTest, AUrlOverrideNeverParsesThePublicBaseUrl) {
  SEOConfig config = site_config();
  config.public_base_url = "example.com";
  SEOOverrides overrides;
  overrides.canonical_url = "https://example.com/a";
  overrides.omit_schema = true;
  EXPECT_EQ(build_ok(SEOEntity{}, "", config, &overrides).canonical,
            "https://example.com/a");
}

// ---------------------------------------------------------------------------
// Robots.

Robots robots(bool index, bool follow,
              std::optional<std::int32_t> max_snippet = std::nullopt,
              std::optional<std::string> max_image_preview = std::nullopt) {
  Robots value;
  value.index = index;
  value.follow = follow;
  value.max_snippet = max_snippet;
  value.max_image_preview = std::move(max_image_preview);
  return value;
}

struct RobotsCase {
  const char* label;
  std::optional<Robots> override_robots;
  EntityType type;
  std::optional<std::string> status;
  Robots default_robots;
  Robots search_robots;
  const char* expected;
};

class RobotsTest : public ::testing::TestWithParam<RobotsCase> {};

TEST_P(RobotsTest, OverrideThenSearchTypeThenStatusThenDefault) {
  const RobotsCase& c = GetParam();
  SEOEntity entity = entity_of(c.type);
  entity.status = c.status;
  SEOConfig config = site_config();
  config.default_robots = c.default_robots;
  config.search_robots = c.search_robots;
  SEOOverrides overrides;
  overrides.robots = c.override_robots;
  EXPECT_EQ(build_ok(entity, "/", config, &overrides).robots, c.expected);
}

const Robots kIndex = robots(true, true);
const Robots kNoIndex = robots(false, true);
const Robots kLimited = robots(false, true, 50, "large");

INSTANTIATE_TEST_SUITE_P(
    Precedence, RobotsTest,
    ::testing::Values(
        RobotsCase{"default",
                   {},
                   EntityType::Page,
                   {},
                   kIndex,
                   kNoIndex,
                   "index,follow"},
        RobotsCase{"default_with_limits",
                   {},
                   EntityType::Page,
                   {},
                   kLimited,
                   kNoIndex,
                   "noindex,follow,max-snippet:50,max-image-preview:large"},
        RobotsCase{"status_published_mixed_case",
                   {},
                   EntityType::Post,
                   "Published",
                   kNoIndex,
                   kNoIndex,
                   "index,follow"},
        RobotsCase{"status_published_upper",
                   {},
                   EntityType::Post,
                   "PUBLISHED",
                   kIndex,
                   kNoIndex,
                   "index,follow"},
        RobotsCase{"status_ignores_default_limits",
                   {},
                   EntityType::Post,
                   "published",
                   kLimited,
                   kNoIndex,
                   "index,follow"},
        RobotsCase{"status_not_trimmed",
                   {},
                   EntityType::Post,
                   " published",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"status_empty",
                   {},
                   EntityType::Post,
                   "",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"status_draft",
                   {},
                   EntityType::Post,
                   "draft",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"status_prefix",
                   {},
                   EntityType::Post,
                   "publishe",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"status_longer",
                   {},
                   EntityType::Post,
                   "publishedx",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"status_no_unicode_folding",
                   {},
                   EntityType::Post,
                   "PUBL\xC4\xB0SHED",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"search_beats_status",
                   {},
                   EntityType::Search,
                   "draft",
                   kIndex,
                   kNoIndex,
                   "noindex,follow"},
        RobotsCase{"search_robots_configured",
                   {},
                   EntityType::Search,
                   "published",
                   kIndex,
                   robots(false, false),
                   "noindex,nofollow"},
        RobotsCase{"override_beats_search",
                   robots(true, false, {}, "none"),
                   EntityType::Search,
                   {},
                   kIndex,
                   kNoIndex,
                   "index,nofollow,max-image-preview:none"},
        RobotsCase{"override_beats_status", robots(true, true),
                   EntityType::Post, "draft", kNoIndex, kNoIndex,
                   "index,follow"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// JSON-LD node list.

const JsonValue kNodeA = R"({"@type": "A"})"_json;
const JsonValue kNodeB = R"({"@type": "B"})"_json;

JsonValue breadcrumb_node() {
  return R"({"@context": "https://schema.org", "@type": "BreadcrumbList",
    "itemListElement": [{"@type": "ListItem", "item": "https://example.com/",
                         "name": "Home", "position": 1}]})"_json;
}

struct NodeListCase {
  const char* label;
  std::optional<JsonValue> override_schema;
  bool omit_schema;
  bool breadcrumbs;
  std::optional<JsonValue> expected;
};

class SchemaNodeListTest : public ::testing::TestWithParam<NodeListCase> {};

TEST_P(SchemaNodeListTest, FlattensAppendsBreadcrumbsAndUnwrapsASingleNode) {
  const NodeListCase& c = GetParam();
  SEOEntity entity = entity_of(EntityType::Other);  // nothing generated
  if (c.breadcrumbs)
    entity.breadcrumbs = std::vector<Breadcrumb>{{"Home", "/"}};
  SEOOverrides overrides;
  overrides.schema_jsonld = c.override_schema;
  overrides.omit_schema = c.omit_schema;
  EXPECT_EQ(build_ok(entity, "/", site_config(), &overrides).schema_jsonld,
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SchemaNodeListTest,
    ::testing::Values(
        NodeListCase{"nothing", {}, false, false, std::nullopt},
        NodeListCase{"breadcrumbs_alone", {}, false, true, breadcrumb_node()},
        NodeListCase{"omit_keeps_breadcrumbs", kNodeA, true, true,
                     breadcrumb_node()},
        NodeListCase{"omit_drops_override", kNodeA, true, false, std::nullopt},
        NodeListCase{"object_alone", kNodeA, false, false, kNodeA},
        NodeListCase{"object_then_breadcrumbs", kNodeA, false, true,
                     JsonValue::array({kNodeA, breadcrumb_node()})},
        NodeListCase{"array_of_one_unwrapped", JsonValue::array({kNodeA}),
                     false, false, kNodeA},
        NodeListCase{"empty_array_absent", JsonValue::array(), false, false,
                     std::nullopt},
        NodeListCase{"empty_array_with_breadcrumbs", JsonValue::array(), false,
                     true, breadcrumb_node()},
        NodeListCase{"array_flattened_before_breadcrumbs",
                     JsonValue::array({kNodeA, kNodeB}), false, true,
                     JsonValue::array({kNodeA, kNodeB, breadcrumb_node()})},
        NodeListCase{"nested_array_is_one_node",
                     JsonValue::array({JsonValue::array({kNodeA})}), false,
                     false, JsonValue::array({kNodeA})},
        NodeListCase{"string_is_one_node", JsonValue("x"), false, false,
                     JsonValue("x")},
        NodeListCase{"number_then_breadcrumbs", JsonValue(5), false, true,
                     JsonValue::array({5, breadcrumb_node()})},
        // Null only stands for a schema that could not be read: no node.
        NodeListCase{"null_absent", JsonValue(), false, false, std::nullopt},
        NodeListCase{"null_with_breadcrumbs", JsonValue(), false, true,
                     breadcrumb_node()},
        NodeListCase{"null_elements_dropped",
                     JsonValue::array({nullptr, kNodeA, nullptr}), false, false,
                     kNodeA},
        NodeListCase{"only_null_elements", JsonValue::array({nullptr, nullptr}),
                     false, false, std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SchemaNodeListTest, AnEmptyBreadcrumbTrailStillAddsItsNode) {
  SEOEntity entity = entity_of(EntityType::Other);
  entity.breadcrumbs = std::vector<Breadcrumb>{};
  EXPECT_EQ(build_ok(entity, "/", site_config()).schema_jsonld,
            R"({"@context": "https://schema.org", "@type": "BreadcrumbList",
                "itemListElement": []})"_json);
}

TEST(SchemaNodeListTest, GeneratedPrimaryComesBeforeBreadcrumbs) {
  SEOEntity entity = entity_of(EntityType::Page);
  entity.breadcrumbs = std::vector<Breadcrumb>{{"Home", "/"}};
  const SEOPayload payload = build_ok(entity, "/about", site_config());
  ASSERT_TRUE(payload.schema_jsonld);
  ASSERT_TRUE(payload.schema_jsonld->is_array());
  ASSERT_EQ(payload.schema_jsonld->size(), 2u);
  EXPECT_EQ((*payload.schema_jsonld)[0]["@type"], "WebPage");
  EXPECT_EQ((*payload.schema_jsonld)[1], breadcrumb_node());
}

TEST(SchemaNodeListTest, GenerationOffLeavesOnlyBreadcrumbs) {
  SEOConfig config = site_config();
  config.auto_generate_schema = false;
  SEOEntity entity = entity_of(EntityType::Post);
  EXPECT_FALSE(build_ok(entity, "/", config).schema_jsonld);
  entity.breadcrumbs = std::vector<Breadcrumb>{{"Home", "/"}};
  EXPECT_EQ(build_ok(entity, "/", config).schema_jsonld, breadcrumb_node());
}

TEST(SchemaNodeListTest, AnOverrideWinsOverGeneration) {
  SEOOverrides overrides;
  overrides.schema_jsonld = kNodeA;
  EXPECT_EQ(
      build_ok(entity_of(EntityType::Post), "/", site_config(), &overrides)
          .schema_jsonld,
      kNodeA);
}

TEST(SchemaNodeListTest, ABreadcrumbFailureEndsTheBuildEvenUnderOmitSchema) {
  SEOEntity entity = entity_of(EntityType::Post);
  entity.breadcrumbs = std::vector<Breadcrumb>{{"Home", "/"}, {"Bad", ""}};
  SEOOverrides overrides;
  overrides.omit_schema = true;
  EXPECT_EQ(build_error(entity, "/", site_config(), &overrides),
            Error(ErrorKind::InvalidUrl, kBlankInput));
}

TEST(SchemaNodeListTest, RegistryNodesAndErrorsPassThroughTheBuild) {
  const SchemaRegistry registry{
      {"Event",
       [](const SchemaContext& ctx) -> Result<std::optional<JsonValue>> {
         return std::optional<JsonValue>(JsonValue{{"name", ctx.name}});
       }},
      {"Null",
       [](const SchemaContext&) -> Result<std::optional<JsonValue>> {
         return std::optional<JsonValue>(JsonValue());
       }},
      {"Broken", [](const SchemaContext&) -> Result<std::optional<JsonValue>> {
         return Error(ErrorKind::Entity, "broken builder");
       }}};
  SEOConfig config = site_config();
  config.schema_type_map = {
      {"page", "Event"}, {"post", "Null"}, {"video", "Broken"}};
  EXPECT_EQ(
      build_ok(entity_of(EntityType::Page), "/", config, nullptr, &registry)
          .schema_jsonld,
      R"({"name": "Untitled"})"_json);
  EXPECT_FALSE(
      build_ok(entity_of(EntityType::Post), "/", config, nullptr, &registry)
          .schema_jsonld);
  const Result<SEOPayload> failed = build_seo_payload(
      entity_of(EntityType::Video), "/", config, nullptr, &registry);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(), Error(ErrorKind::Entity, "broken builder"));
  // Without a registry the unknown name gets the generic node.
  EXPECT_EQ(build_ok(entity_of(EntityType::Page), "/", config)
                .schema_jsonld->at("@type"),
            "Event");
}

TEST(SchemaContextTest, GenerationSeesTheResolvedPayloadFields) {
  SEOEntity entity = entity_of(EntityType::Post);
  entity.title = "Hello";
  entity.featured_image = SEOImage{"/entity.jpg", {}, {}, {}};
  SEOConfig config = site_config();
  config.title_template = "{title} | Site";
  SEOOverrides overrides;
  overrides.og_image = SEOImage{"media/o.jpg", {}, {}, {}};
  const SEOPayload payload =
      build_ok(entity, "/blog/hello/", config, &overrides);
  EXPECT_EQ(payload.schema_jsonld, R"({
    "@context": "https://schema.org", "@type": "Article", "description": "",
    "image": "https://example.com/media/o.jpg",
    "mainEntityOfPage": {"@id": "https://example.com/blog/hello"},
    "name": "Hello | Site", "url": "https://example.com/blog/hello"})"_json);
}

// ---------------------------------------------------------------------------
// Whole payloads.

SEOEntity typical_post() {
  SEOEntity entity = entity_of(EntityType::Post);
  entity.title = "Hello";
  entity.status = "published";
  entity.body_html = "<article><h1>Hello</h1>" +
                     repeated("<p>Some <em>body</em> text.</p>\n", 80) +
                     "</article>";
  entity.featured_image = SEOImage{"/img/hello.jpg", 1200, 630, "A greeting"};
  entity.author_name = "Ann";
  entity.published_at = "2024-05-01";
  entity.updated_at = "2024-05-02";
  entity.breadcrumbs = std::vector<Breadcrumb>{
      {"Home", "/"}, {"Blog", "/blog"}, {"Hello", "/blog/hello"}};
  return entity;
}

SEOConfig typical_config() {
  SEOConfig config = site_config();
  config.title_template = "{title} | Site";
  config.site_name = "Site";
  config.publisher_name = "Site Inc";
  config.publisher_logo = "/logo.png";
  config.twitter_site = "@site";
  return config;
}

TEST(BuildSeoPayloadTest, TypicalPostResolvesEveryField) {
  const SEOPayload payload =
      build_ok(typical_post(), "/blog/hello?utm_source=x", typical_config());
  EXPECT_EQ(payload.title, "Hello | Site");
  EXPECT_EQ(payload.description,
            "Hello " + repeated("Some body text. ", 9) + "Some bo...");
  EXPECT_EQ(count_scalars(payload.description), 160u);
  EXPECT_EQ(payload.canonical, "https://example.com/blog/hello");
  EXPECT_EQ(payload.robots, "index,follow");

  OGPayload og;
  og.type = "article";
  og.title = "Hello | Site";
  og.description = payload.description;
  og.url = payload.canonical;
  og.image = "/img/hello.jpg";
  og.image_width = 1200;
  og.image_height = 630;
  og.image_alt = "A greeting";
  og.site_name = "Site";
  EXPECT_EQ(payload.og, og);

  TwitterPayload twitter;
  twitter.card = "summary_large_image";
  twitter.title = "Hello | Site";
  twitter.description = payload.description;
  twitter.image = "/img/hello.jpg";
  twitter.image_alt = "A greeting";
  twitter.site = "@site";
  EXPECT_EQ(payload.twitter, twitter);

  ASSERT_TRUE(payload.schema_jsonld);
  JsonValue article = R"({
    "@context": "https://schema.org", "@type": "Article",
    "author": {"@type": "Person", "name": "Ann"},
    "dateModified": "2024-05-02", "datePublished": "2024-05-01",
    "image": "https://example.com/img/hello.jpg",
    "mainEntityOfPage": {"@id": "https://example.com/blog/hello"},
    "name": "Hello | Site",
    "publisher": {"@type": "Organization",
                  "logo": "https://example.com/logo.png", "name": "Site Inc"},
    "url": "https://example.com/blog/hello"})"_json;
  article["description"] = payload.description;
  const JsonValue crumbs = R"({
    "@context": "https://schema.org", "@type": "BreadcrumbList",
    "itemListElement": [
      {"@type": "ListItem", "item": "https://example.com/", "name": "Home",
       "position": 1},
      {"@type": "ListItem", "item": "https://example.com/blog", "name": "Blog",
       "position": 2},
      {"@type": "ListItem", "item": "https://example.com/blog/hello",
       "name": "Hello", "position": 3}]})"_json;
  EXPECT_EQ(*payload.schema_jsonld, JsonValue::array({article, crumbs}));
  EXPECT_TRUE(payload.extra_fields.empty());
}

TEST(BuildSeoPayloadTest, TwoBuildsOfTheSameInputsAreEqual) {
  SEOOverrides overrides;
  overrides.og_title = "OG";
  overrides.schema_jsonld = JsonValue::array({kNodeA, nullptr, kNodeB});
  const SEOEntity entity = typical_post();
  const SEOConfig config = typical_config();
  const SEOPayload first = build_ok(entity, "/blog/hello", config, &overrides);
  const SEOPayload second = build_ok(entity, "/blog/hello", config, &overrides);
  EXPECT_EQ(first, second);
  EXPECT_EQ(write_json(*first.schema_jsonld, false),
            write_json(*second.schema_jsonld, false));
}

TEST(BuildSeoPayloadTest, NoOverridesBehavesLikeEmptyOverrides) {
  const SEOOverrides empty;
  EXPECT_EQ(build_ok(typical_post(), "/blog/hello", typical_config()),
            build_ok(typical_post(), "/blog/hello", typical_config(), &empty));
}

TEST(BuildSeoPayloadTest, InputsAreLeftUnchanged) {
  const SEOEntity entity = typical_post();
  const SEOConfig config = typical_config();
  SEOOverrides overrides;
  overrides.schema_jsonld = JsonValue::array({kNodeA});
  const SEOEntity entity_before = entity;
  const SEOConfig config_before = config;
  const SEOOverrides overrides_before = overrides;
  (void)build_ok(entity, "/x", config, &overrides);
  EXPECT_EQ(entity, entity_before);
  EXPECT_EQ(config, config_before);
  EXPECT_EQ(overrides, overrides_before);
}

// Follows the first element of each level; the depth of a chain of arrays.
std::size_t array_depth(const JsonValue& value) {
  std::size_t depth = 0;
  for (const JsonValue* level = &value; level->is_array() && !level->empty();
       level = &(*level)[0]) {
    ++depth;
  }
  return depth;
}

TEST(BuildSeoPayloadTest, DeeplyNestedOverrideJsonIsCopiedWithoutRecursion) {
  constexpr std::size_t kDepth = 200000;
  JsonValue deep = JsonValue::array();
  JsonValue* level = &deep;
  for (std::size_t i = 1; i < kDepth; ++i) {
    level->push_back(JsonValue::array());
    level = &(*level)[0];
  }
  level->push_back(JsonValue::object({{"k", "v"}}));
  SEOOverrides overrides;
  overrides.schema_jsonld = JsonValue::object({{"deep", std::move(deep)}});
  const SEOPayload payload =
      build_ok(entity_of(EntityType::Page), "/", site_config(), &overrides);
  ASSERT_TRUE(payload.schema_jsonld);
  ASSERT_TRUE(payload.schema_jsonld->contains("deep"));
  EXPECT_EQ(array_depth((*payload.schema_jsonld)["deep"]), kDepth);
}

TEST(BuildSeoPayloadTest, BadTextAndUrlsInEveryUrlFieldNeverCrash) {
  SEOEntity entity = entity_of(EntityType::Video);
  entity.title = "\xFF\xFE title";
  entity.body_html = "<p>\xC3</p><script>";
  entity.featured_image = SEOImage{"http://[::1", {}, {}, {}};
  entity.breadcrumbs = std::vector<Breadcrumb>{
      {"A", "https://exa mple.com/a"}, {"B", "\xFF/x"}, {"C", "http://[::1"}};
  SEOConfig config = site_config();
  config.publisher_name = "P";
  config.publisher_logo = "::::";
  config.search_url_template = "\xFF{search_term_string}";
  SEOOverrides overrides;
  overrides.og_video = "not a url";
  overrides.twitter_image = SEOImage{"", {}, {}, ""};
  const SEOPayload payload =
      build_ok(entity, "http://[::1/%zz", config, &overrides);
  EXPECT_EQ(payload.title, "\xFF\xFE title");
  EXPECT_EQ(payload.description, "\xC3");
  EXPECT_EQ(payload.og.image, "http://[::1");
  EXPECT_EQ(payload.twitter.image, "");
  ASSERT_TRUE(payload.schema_jsonld && payload.schema_jsonld->is_array());
  const JsonValue& video = (*payload.schema_jsonld)[0];
  EXPECT_EQ(video["thumbnailUrl"], "http://[::1");
  EXPECT_EQ(video["publisher"]["logo"], "https://example.com/::::");
  EXPECT_EQ((*payload.schema_jsonld)[1]["itemListElement"].size(), 3u);
  // Writing the result never fails, whatever bytes it holds.
  EXPECT_FALSE(write_json(*payload.schema_jsonld, true).empty());
}

}  // namespace
}  // namespace zelko
