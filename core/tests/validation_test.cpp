#include "zelko/validation.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelko/payload.hpp"

namespace zelko {
namespace {

// A payload that passes every check; each test spoils one field.
SEOPayload clean_payload() {
  SEOPayload payload;
  payload.title = "A good title";
  payload.description = "A good description";
  payload.canonical = "https://example.com/page";
  payload.robots = "index,follow";
  payload.og.type = "website";
  payload.og.image = "https://example.com/image.png";
  payload.twitter.card = "summary";
  return payload;
}

std::vector<std::string> rule_ids(const std::vector<SEOIssue>& issues) {
  std::vector<std::string> ids;
  for (const SEOIssue& issue : issues) ids.push_back(issue.rule_id);
  return ids;
}

std::string repeat(std::string_view unit, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text.append(unit);
  return text;
}

TEST(ValidatePayload, CleanPayloadHasNoFindings) {
  EXPECT_TRUE(validate_payload(clean_payload()).empty());
}

TEST(ValidatePayload, ReportsDefaultTitleEmptyDescriptionRelativeCanonical) {
  SEOPayload payload = clean_payload();
  payload.title = "Untitled";
  payload.description = "";
  payload.canonical = "example.com/page";
  payload.og.image.reset();

  const std::vector<SEOIssue> issues = validate_payload(payload);

  const JsonValue no_details = JsonValue::object();
  const std::vector<SEOIssue> expected = {
      {"ZELKO101", Severity::Warning, "Title is missing or default",
       "example.com/page", no_details},
      {"ZELKO103", Severity::Warning, "Meta description is missing",
       "example.com/page", no_details},
      {"ZELKO105", Severity::Warning, "Canonical URL is not absolute",
       "example.com/page", no_details},
      {"ZELKO108", Severity::Warning,
       "OG image is missing; set default_og_image or an entity image",
       "example.com/page", no_details},
  };
  EXPECT_EQ(issues, expected);
}

// ---- Title and description lengths ------------------------------------------

struct TextCase {
  std::string label;
  std::string text;
  std::vector<std::string> expected_rules;
  // Message and details of the single finding, when there is one.
  std::string expected_message;
  JsonValue expected_details = JsonValue::object();
};

JsonValue length_details(std::uint64_t length) {
  JsonValue details = JsonValue::object();
  details["length"] = length;
  return details;
}

void PrintTo(const TextCase& text_case, std::ostream* out) {
  *out << text_case.label;
}

class TitleCheckTest : public testing::TestWithParam<TextCase> {};

TEST_P(TitleCheckTest, CountsCharactersAndRecognizesTheDefault) {
  SEOPayload payload = clean_payload();
  payload.title = GetParam().text;

  const std::vector<SEOIssue> issues = validate_payload(payload);

  ASSERT_EQ(rule_ids(issues), GetParam().expected_rules);
  if (issues.empty()) return;
  EXPECT_EQ(issues[0].message, GetParam().expected_message);
  EXPECT_EQ(issues[0].details, GetParam().expected_details);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleCheckTest,
    testing::Values(
        TextCase{"sixty_ascii", repeat("a", 60), {}, ""},
        TextCase{"sixty_one_ascii",
                 repeat("a", 61),
                 {"ZELKO102"},
                 "Title is 61 characters (recommended max 60)",
                 length_details(61)},
        TextCase{"sixty_with_two_byte_chars", repeat("\xC3\xA9", 60), {}, ""},
        TextCase{"sixty_one_with_four_byte_char",
                 repeat("a", 60) + "\xF0\x9F\x98\x80",
                 {"ZELKO102"},
                 "Title is 61 characters (recommended max 60)",
                 length_details(61)},
        TextCase{"empty", "", {"ZELKO101"}, "Title is missing or default"},
        TextCase{
            "default", "Untitled", {"ZELKO101"}, "Title is missing or default"},
        TextCase{"default_lower_case", "untitled", {}, ""},
        TextCase{"default_with_trailing_space", "Untitled ", {}, ""}),
    [](const auto& info) { return info.param.label; });

class DescriptionCheckTest : public testing::TestWithParam<TextCase> {};

TEST_P(DescriptionCheckTest, CountsCharactersAndFlagsOnlyEmptyText) {
  SEOPayload payload = clean_payload();
  payload.description = GetParam().text;

  const std::vector<SEOIssue> issues = validate_payload(payload);

  ASSERT_EQ(rule_ids(issues), GetParam().expected_rules);
  if (issues.empty()) return;
  EXPECT_EQ(issues[0].message, GetParam().expected_message);
  EXPECT_EQ(issues[0].details, GetParam().expected_details);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, DescriptionCheckTest,
    testing::Values(
        TextCase{"one_sixty", repeat("d", 160), {}, ""},
        TextCase{"one_sixty_one",
                 repeat("d", 161),
                 {"ZELKO104"},
                 "Meta description is 161 characters (recommended max 160)",
                 length_details(161)},
        TextCase{"one_sixty_non_ascii", repeat("\xE2\x82\xAC", 160), {}, ""},
        TextCase{"empty", "", {"ZELKO103"}, "Meta description is missing"},
        TextCase{"single_space", " ", {}, ""}),
    [](const auto& info) { return info.param.label; });

TEST(ValidatePayload, LongDescriptionDetailsCarryTheLength) {
  SEOPayload payload = clean_payload();
  payload.description = repeat("\xC3\xA9", 200);

  const std::vector<SEOIssue> issues = validate_payload(payload);

  ASSERT_EQ(issues.size(), 1U);
  EXPECT_EQ(issues[0].message,
            "Meta description is 200 characters (recommended max 160)");
  EXPECT_EQ(issues[0].details, JsonValue::parse(R"({"length":200})"));
  EXPECT_TRUE(issues[0].details["length"].is_number_unsigned());
}

// ---- Canonical and Open Graph image -----------------------------------------

struct UrlCase {
  std::string url;
  bool absolute;
};

class AbsoluteUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(AbsoluteUrlTest, CanonicalIsAbsoluteOnlyWithLowerCaseWebScheme) {
  SEOPayload payload = clean_payload();
  payload.canonical = GetParam().url;

  const std::vector<SEOIssue> issues = validate_payload(payload);

  EXPECT_EQ(rule_ids(issues), GetParam().absolute
                                  ? std::vector<std::string>{}
                                  : std::vector<std::string>{"ZELKO105"});
  for (const SEOIssue& issue : issues) EXPECT_EQ(issue.url, GetParam().url);
}

TEST_P(AbsoluteUrlTest, OgImageIsAbsoluteOnlyWithLowerCaseWebScheme) {
  SEOPayload payload = clean_payload();
  payload.og.image = GetParam().url;

  const std::vector<SEOIssue> issues = validate_payload(payload);

  if (GetParam().absolute) {
    EXPECT_TRUE(issues.empty());
    return;
  }
  ASSERT_EQ(rule_ids(issues), std::vector<std::string>{"ZELKO106"});
  EXPECT_EQ(issues[0].message, "OG image URL is not absolute");
  JsonValue details = JsonValue::object();
  details["image"] = GetParam().url;
  EXPECT_EQ(issues[0].details, details);
}

INSTANTIATE_TEST_SUITE_P(Urls, AbsoluteUrlTest,
                         testing::Values(UrlCase{"https://example.com/", true},
                                         UrlCase{"http://example.com", true},
                                         UrlCase{"https://", true},
                                         UrlCase{"http://", true},
                                         UrlCase{"", false},
                                         UrlCase{"HTTPS://example.com", false},
                                         UrlCase{"//example.com/x", false},
                                         UrlCase{"ftp://example.com/x", false},
                                         UrlCase{"/relative/path", false},
                                         UrlCase{"https:/example.com", false}));

TEST(ValidatePayload, EmptyCanonicalIsCopiedIntoEveryFinding) {
  SEOPayload payload = clean_payload();
  payload.canonical = "";
  payload.title = "";

  const std::vector<SEOIssue> issues = validate_payload(payload);

  ASSERT_EQ(rule_ids(issues),
            (std::vector<std::string>{"ZELKO101", "ZELKO105"}));
  for (const SEOIssue& issue : issues) {
    EXPECT_EQ(issue.url, std::optional<std::string>(""));
    EXPECT_EQ(issue.severity, Severity::Warning);
  }
}

// ---- Robots -----------------------------------------------------------------

struct RobotsCase {
  std::string robots;
  std::vector<std::string> rejected_pieces;
};

void PrintTo(const RobotsCase& robots_case, std::ostream* out) {
  *out << '"' << robots_case.robots << '"';
}

class RobotsCheckTest : public testing::TestWithParam<RobotsCase> {};

TEST_P(RobotsCheckTest, ReportsEveryUnknownDirectiveInOrder) {
  SEOPayload payload = clean_payload();
  payload.robots = GetParam().robots;

  const std::vector<SEOIssue> issues = validate_payload(payload);

  ASSERT_EQ(issues.size(), GetParam().rejected_pieces.size());
  for (std::size_t i = 0; i < issues.size(); ++i) {
    const std::string& piece = GetParam().rejected_pieces[i];
    EXPECT_EQ(issues[i].rule_id, "ZELKO107");
    EXPECT_EQ(issues[i].severity, Severity::Warning);
    EXPECT_EQ(issues[i].message, "Invalid robots directive: '" + piece + "'");
    JsonValue details = JsonValue::object();
    details["directive"] = piece;
    EXPECT_EQ(issues[i].details, details);
    EXPECT_EQ(issues[i].url, payload.canonical);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Directives, RobotsCheckTest,
    testing::Values(
        RobotsCase{"index, follow", {}}, RobotsCase{"index,,follow", {""}},
        RobotsCase{"", {""}}, RobotsCase{"max-snippet : 5", {}},
        RobotsCase{"index :x", {"index :x"}},
        RobotsCase{"NOINDEX", {"NOINDEX"}}, RobotsCase{"all", {"all"}},
        RobotsCase{"noimageindex", {"noimageindex"}},
        RobotsCase{"index:anything", {}},
        RobotsCase{"noindex,max-snippet:-1,max-image-preview:large", {}},
        RobotsCase{"none,nofollow,noarchive,nosnippet,notranslate,"
                   "unavailable_after: 2030-01-01,max-video-preview:10",
                   {}},
        RobotsCase{"max-snippetx,max-image-previewing:big", {}},
        // U+00A0 and U+3000 are White_Space and are trimmed like spaces.
        RobotsCase{"\xC2\xA0index\xE3\x80\x80,\tfollow\n", {}},
        // U+200B is not White_Space, so the piece keeps it and is unknown.
        RobotsCase{"\xE2\x80\x8Bindex", {"\xE2\x80\x8Bindex"}},
        RobotsCase{"foo, index , bar:baz ,", {"foo", "bar:baz", ""}},
        RobotsCase{":index", {":index"}}));

TEST(ValidatePayload, RobotsFindingsComeAfterAllOthers) {
  SEOPayload payload = clean_payload();
  payload.robots = "bogus";
  payload.title = repeat("t", 70);
  payload.og.image.reset();

  EXPECT_EQ(rule_ids(validate_payload(payload)),
            (std::vector<std::string>{"ZELKO102", "ZELKO108", "ZELKO107"}));
}

// ---- Severity ---------------------------------------------------------------

TEST(Severity, ParsesOnlyExactLowerCaseWarningAndInfo) {
  const std::vector<std::pair<std::string, Severity>> cases = {
      {"warning", Severity::Warning}, {"info", Severity::Info},
      {"error", Severity::Error},     {"Warning", Severity::Error},
      {"INFO", Severity::Error},      {"warn", Severity::Error},
      {"", Severity::Error},          {" info", Severity::Error}};
  for (const auto& [text, severity] : cases) {
    EXPECT_EQ(parse_severity(text), severity) << '"' << text << '"';
  }
}

TEST(Severity, HasLowerCaseAndCapitalizedTextForms) {
  EXPECT_EQ(severity_text(Severity::Error), "error");
  EXPECT_EQ(severity_text(Severity::Warning), "warning");
  EXPECT_EQ(severity_text(Severity::Info), "info");
  EXPECT_EQ(severity_contract_text(Severity::Error), "Error");
  EXPECT_EQ(severity_contract_text(Severity::Warning), "Warning");
  EXPECT_EQ(severity_contract_text(Severity::Info), "Info");
}

}  // namespace
}  // namespace zelko
