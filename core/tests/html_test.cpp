#include "zelko/html.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "sha256.hpp"
#include "zelko/hash.hpp"
#include "zelko/json.hpp"
#include "zelko/payload.hpp"

namespace zelko {
namespace {

SEOPayload minimal_payload() {
  SEOPayload payload;
  payload.title = "Hello";
  payload.description = "A page";
  payload.canonical = "https://example.com/hello";
  payload.robots = "index,follow";
  payload.og.type = "website";
  payload.twitter.card = "summary";
  return payload;
}

// ---- escape_html ------------------------------------------------------------

// The reference behaviour: five whole-text replacements, ampersand first.
std::string escape_by_sequential_replacement(std::string text) {
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"&", "&amp;"},
      {"<", "&lt;"},
      {">", "&gt;"},
      {"\"", "&quot;"},
      {"'", "&#x27;"}};
  for (const auto& [from, to] : steps) {
    std::string replaced;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string::npos;
         start = at + from.size()) {
      replaced += text.substr(start, at - start) + to;
    }
    replaced += text.substr(start);
    text = replaced;
  }
  return text;
}

struct EscapeCase {
  std::string input;
  std::string expected;
};

class EscapeHtmlTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeHtmlTest, ReplacesTheFiveSpecialCharactersOnly) {
  EXPECT_EQ(escape_html(GetParam().input), GetParam().expected);
}

TEST_P(EscapeHtmlTest, AgreesWithSequentialReplacement) {
  EXPECT_EQ(escape_html(GetParam().input),
            escape_by_sequential_replacement(GetParam().input));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapeHtmlTest,
    testing::Values(EscapeCase{"Tom & Jerry's <Show>",
                               "Tom &amp; Jerry&#x27;s &lt;Show&gt;"},
                    EscapeCase{"&amp;", "&amp;amp;"},
                    EscapeCase{"say \"hi\"", "say &quot;hi&quot;"},
                    EscapeCase{"&lt;&#x27;", "&amp;lt;&amp;#x27;"},
                    EscapeCase{
                        "<<>>&&''\"\"",
                        "&lt;&lt;&gt;&gt;&amp;&amp;&#x27;&#x27;&quot;&quot;"},
                    EscapeCase{"caf\xC3\xA9\n\t\x01/", "caf\xC3\xA9\n\t\x01/"},
                    EscapeCase{"", ""}, EscapeCase{"plain", "plain"}));

// Texts are skipped many bytes at a time (sixteen, or eight where there are
// no vector instructions): a special, or a byte next to one in value, at
// every place of texts of 1 to 40 bytes (across the blocks and in the tail)
// escapes as the reference does.
TEST(EscapeHtml, EverySpecialAtEveryPlaceOfShortAndLongTexts) {
  using namespace std::string_view_literals;
  constexpr std::string_view kBytes = "&<>\"'%;=?!\x00\x80\xA6\xBC\xFF"sv;
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (const char c : kBytes) {
        std::string text(length, 'a');
        text[at] = c;
        text[length - 1 - at] = c;
        EXPECT_EQ(escape_html(text), escape_by_sequential_replacement(text))
            << "length " << length << ", at " << at << ", byte "
            << static_cast<int>(static_cast<unsigned char>(c));
      }
    }
  }
}

// ---- render_html ------------------------------------------------------------

TEST(RenderHtml, WritesEveryElementInOrderWithOneFinalLineFeed) {
  SEOPayload payload = minimal_payload();
  payload.og.title = "Hello";
  payload.og.url = "https://example.com/hello";
  payload.twitter.site = "@site";
  payload.schema_jsonld = JsonValue::parse(
      R"({"@context":"https://schema.org","@type":"WebPage","name":"Hello"})");

  const Result<std::string> html = render_html(payload);

  ASSERT_TRUE(html.ok());
  EXPECT_EQ(*html,
            "<title>Hello</title>\n"
            "<meta name=\"description\" content=\"A page\">\n"
            "<link rel=\"canonical\" href=\"https://example.com/hello\">\n"
            "<meta name=\"robots\" content=\"index,follow\">\n"
            "<meta property=\"og:type\" content=\"website\">\n"
            "<meta property=\"og:title\" content=\"Hello\">\n"
            "<meta property=\"og:url\" content=\"https://example.com/hello\">\n"
            "<meta name=\"twitter:card\" content=\"summary\">\n"
            "<meta name=\"twitter:site\" content=\"@site\">\n"
            "<script type=\"application/ld+json\">\n"
            "{\n"
            "  \"@context\": \"https://schema.org\",\n"
            "  \"@type\": \"WebPage\",\n"
            "  \"name\": \"Hello\"\n"
            "}\n"
            "</script>\n");
}

TEST(RenderHtml, EscapesTitleAndEveryAttributeValue) {
  SEOPayload payload = minimal_payload();
  payload.title = "Tom & Jerry's <Show>";
  payload.canonical = "https://example.com/?a=1&b=\"2\"";
  payload.og.title = "Tom & Jerry's <Show>";

  const std::string html = render_html(payload).value();

  EXPECT_EQ(html.substr(0, html.find('\n')),
            "<title>Tom &amp; Jerry&#x27;s &lt;Show&gt;</title>");
  EXPECT_NE(html.find("<link rel=\"canonical\" "
                      "href=\"https://example.com/?a=1&amp;b=&quot;2&quot;\">"),
            std::string::npos);
  EXPECT_NE(html.find("<meta property=\"og:title\" content=\"Tom &amp; "
                      "Jerry&#x27;s &lt;Show&gt;\">"),
            std::string::npos);
}

TEST(RenderHtml, EmptyTitleStillGivesTheTitleElement) {
  SEOPayload payload = minimal_payload();
  payload.title = "";
  EXPECT_TRUE(render_html(payload).value().starts_with("<title></title>\n"));
}

TEST(RenderHtml, EmptyDescriptionGivesNoElementButASpaceDoes) {
  SEOPayload payload = minimal_payload();
  payload.description = "";
  EXPECT_EQ(render_html(payload).value().find("name=\"description\""),
            std::string::npos);

  payload.description = " ";
  EXPECT_NE(render_html(payload).value().find(
                "\n<meta name=\"description\" content=\" \">\n"),
            std::string::npos);
}

TEST(RenderHtml, WithoutSchemaEndsAfterTheLastTwitterElement) {
  SEOPayload payload = minimal_payload();
  payload.twitter.creator = "@me";

  const std::string html = render_html(payload).value();

  EXPECT_TRUE(
      html.ends_with("<meta name=\"twitter:card\" content=\"summary\">\n"
                     "<meta name=\"twitter:creator\" content=\"@me\">\n"));
  EXPECT_EQ(html.find("<script"), std::string::npos);
}

// ---- render_opengraph -------------------------------------------------------

TEST(RenderOpenGraph, WritesAllFieldsInFixedOrderWithoutFinalLineFeed) {
  SEOPayload payload = minimal_payload();
  OGPayload& og = payload.og;
  og.type = "article";
  og.video = "https://example.com/v.mp4";
  og.audio = "https://example.com/a.mp3";
  og.locale_alternate = std::vector<std::string>{"de_DE", "fr_FR"};
  og.locale = "en_US";
  og.site_name = "Site";
  og.image_alt = "Alt";
  og.image_height = 630;
  og.image_width = 1200;
  og.image = "https://example.com/i.png";
  og.url = "https://example.com/p";
  og.description = "Desc";
  og.title = "Title";

  EXPECT_EQ(
      render_opengraph(payload),
      "<meta property=\"og:type\" content=\"article\">\n"
      "<meta property=\"og:title\" content=\"Title\">\n"
      "<meta property=\"og:description\" content=\"Desc\">\n"
      "<meta property=\"og:url\" content=\"https://example.com/p\">\n"
      "<meta property=\"og:image\" content=\"https://example.com/i.png\">\n"
      "<meta property=\"og:image:width\" content=\"1200\">\n"
      "<meta property=\"og:image:height\" content=\"630\">\n"
      "<meta property=\"og:image:alt\" content=\"Alt\">\n"
      "<meta property=\"og:site_name\" content=\"Site\">\n"
      "<meta property=\"og:locale\" content=\"en_US\">\n"
      "<meta property=\"og:locale:alternate\" content=\"de_DE\">\n"
      "<meta property=\"og:locale:alternate\" content=\"fr_FR\">\n"
      "<meta property=\"og:audio\" content=\"https://example.com/a.mp3\">\n"
      "<meta property=\"og:video\" content=\"https://example.com/v.mp4\">");
}

TEST(RenderOpenGraph, DimensionsAreWrittenEvenWithoutAnImage) {
  SEOPayload payload = minimal_payload();
  payload.og.image_width = 0;
  payload.og.image_height = 4294967295U;

  EXPECT_EQ(render_opengraph(payload),
            "<meta property=\"og:type\" content=\"website\">\n"
            "<meta property=\"og:image:width\" content=\"0\">\n"
            "<meta property=\"og:image:height\" content=\"4294967295\">");
}

TEST(RenderOpenGraph, PresentEmptyValuesGiveElementsAndEmptyListGivesNone) {
  SEOPayload payload = minimal_payload();
  payload.og.type = "";
  payload.og.title = "";
  payload.og.locale_alternate = std::vector<std::string>{};

  EXPECT_EQ(render_opengraph(payload),
            "<meta property=\"og:type\" content=\"\">\n"
            "<meta property=\"og:title\" content=\"\">");
}

// ---- render_twitter ---------------------------------------------------------

TEST(RenderTwitter, OnlyTheCardGivesOneElementWithoutLineFeed) {
  EXPECT_EQ(render_twitter(minimal_payload()),
            "<meta name=\"twitter:card\" content=\"summary\">");
}

TEST(RenderTwitter, WritesAllFieldsInFixedOrder) {
  SEOPayload payload = minimal_payload();
  TwitterPayload& twitter = payload.twitter;
  twitter.card = "summary_large_image";
  twitter.creator = "@author";
  twitter.site = "@site";
  twitter.image_alt = "Alt & more";
  twitter.image = "https://example.com/i.png";
  twitter.description = "";
  twitter.title = "T";

  EXPECT_EQ(
      render_twitter(payload),
      "<meta name=\"twitter:card\" content=\"summary_large_image\">\n"
      "<meta name=\"twitter:title\" content=\"T\">\n"
      "<meta name=\"twitter:description\" content=\"\">\n"
      "<meta name=\"twitter:image\" content=\"https://example.com/i.png\">\n"
      "<meta name=\"twitter:image:alt\" content=\"Alt &amp; more\">\n"
      "<meta name=\"twitter:site\" content=\"@site\">\n"
      "<meta name=\"twitter:creator\" content=\"@author\">");
}

// ---- render_jsonld ----------------------------------------------------------

TEST(RenderJsonLd, AbsentSchemaGivesEmptyText) {
  EXPECT_EQ(render_jsonld(minimal_payload()).value(), "");
}

std::string json_inside_script(const std::string& script) {
  const std::string open = "<script type=\"application/ld+json\">\n";
  const std::string close = "\n</script>";
  EXPECT_TRUE(script.starts_with(open));
  EXPECT_TRUE(script.ends_with(close));
  return script.substr(open.size(), script.size() - open.size() - close.size());
}

TEST(RenderJsonLd, NeutralizesEndTagsAndCommentOpenersInsideStrings) {
  SEOPayload payload = minimal_payload();
  payload.schema_jsonld = JsonValue::object();
  (*payload.schema_jsonld)["name"] = "<!--<script>";
  (*payload.schema_jsonld)["text"] = "</script>";
  (*payload.schema_jsonld)["</key>"] = "a<b & c's";

  const std::string script = render_jsonld(payload).value();

  EXPECT_EQ(script,
            "<script type=\"application/ld+json\">\n"
            "{\n"
            "  \"<\\/key>\": \"a<b & c's\",\n"
            "  \"name\": \"\\u003c!--<script>\",\n"
            "  \"text\": \"<\\/script>\"\n"
            "}\n"
            "</script>");
  const Result<JsonValue> read_back = parse_json(json_inside_script(script));
  ASSERT_TRUE(read_back.ok()) << read_back.error().message();
  EXPECT_EQ(*read_back, *payload.schema_jsonld);
}

TEST(RenderJsonLd, ArrayOfNodesGivesOneScriptElement) {
  SEOPayload payload = minimal_payload();
  payload.schema_jsonld =
      JsonValue::parse(R"([{"@type":"WebPage"},{"@type":"BreadcrumbList"}])");

  EXPECT_EQ(render_jsonld(payload).value(),
            "<script type=\"application/ld+json\">\n"
            "[\n"
            "  {\n"
            "    \"@type\": \"WebPage\"\n"
            "  },\n"
            "  {\n"
            "    \"@type\": \"BreadcrumbList\"\n"
            "  }\n"
            "]\n"
            "</script>");
}

TEST(RenderJsonLd, ScalarSchemaIsWrittenAsIs) {
  SEOPayload payload = minimal_payload();
  payload.schema_jsonld = JsonValue("a</b");
  EXPECT_EQ(render_jsonld(payload).value(),
            "<script type=\"application/ld+json\">\n\"a<\\/b\"\n</script>");
}

// ---- payload_hash / payload_etag
// ---------------------------------------------

TEST(PayloadHash, IsTheDigestOfTheCompactDeclaredOrderText) {
  SEOPayload payload = minimal_payload();
  payload.title = "Caf\xC3\xA9\tBar";
  payload.og.image_width = 1200;
  payload.og.locale_alternate = std::vector<std::string>{};
  payload.twitter.title = "";
  payload.schema_jsonld = JsonValue::parse(R"({"b":1.0,"a":[1,-2]})");

  const std::string expected_text =
      "{\"title\":\"Caf\xC3\xA9\\tBar\",\"description\":\"A page\","
      "\"canonical\":\"https://example.com/hello\",\"robots\":\"index,follow\","
      "\"og\":{\"type\":\"website\",\"image_width\":1200,"
      "\"locale_alternate\":[]},"
      "\"twitter\":{\"card\":\"summary\",\"title\":\"\"},"
      "\"schema_jsonld\":{\"a\":[1,-2],\"b\":1.0}}";

  EXPECT_EQ(payload_hash(payload).value(), sha256_hex(expected_text));
}

TEST(PayloadHash, ExtraFieldsFollowTheKnownKeysInKeyOrder) {
  SEOPayload payload = minimal_payload();
  payload.extra_fields["zeta"] = true;
  payload.extra_fields["custom"] = nullptr;

  const std::string expected_text =
      "{\"title\":\"Hello\",\"description\":\"A page\","
      "\"canonical\":\"https://example.com/hello\",\"robots\":\"index,follow\","
      "\"og\":{\"type\":\"website\"},\"twitter\":{\"card\":\"summary\"},"
      "\"custom\":null,\"zeta\":true}";

  EXPECT_EQ(payload_hash(payload).value(), sha256_hex(expected_text));
}

TEST(PayloadHash, IsSixtyFourLowerCaseHexDigitsAndStableAcrossCalls) {
  const SEOPayload payload = minimal_payload();
  const std::string hash = payload_hash(payload).value();
  EXPECT_EQ(hash.size(), 64U);
  EXPECT_EQ(hash.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(payload_hash(minimal_payload()).value(), hash);
}

TEST(PayloadHash, ChangesWithContentButNotWithSchemaKeyInsertionOrder) {
  const std::string base = payload_hash(minimal_payload()).value();

  SEOPayload changed = minimal_payload();
  changed.description = "A pagf";
  EXPECT_NE(payload_hash(changed).value(), base);

  SEOPayload with_schema = minimal_payload();
  with_schema.schema_jsonld = JsonValue::object();
  EXPECT_NE(payload_hash(with_schema).value(), base);

  SEOPayload forward = minimal_payload();
  forward.schema_jsonld = JsonValue::parse(R"({"a":1,"b":2})");
  SEOPayload backward = minimal_payload();
  backward.schema_jsonld = JsonValue::parse(R"({"b":2,"a":1})");
  EXPECT_EQ(payload_hash(forward).value(), payload_hash(backward).value());

  SEOPayload integer_one = minimal_payload();
  integer_one.schema_jsonld = JsonValue(1);
  SEOPayload double_one = minimal_payload();
  double_one.schema_jsonld = JsonValue(1.0);
  EXPECT_NE(payload_hash(integer_one).value(),
            payload_hash(double_one).value());
}

TEST(PayloadEtag, IsTheHashBetweenDoubleQuotes) {
  SEOPayload payload = minimal_payload();
  payload.schema_jsonld = JsonValue::parse(R"({"name":"x"})");

  const std::string etag = payload_etag(payload).value();

  EXPECT_EQ(etag, "\"" + payload_hash(payload).value() + "\"");
  EXPECT_EQ(etag.size(), 66U);
}

}  // namespace
}  // namespace zelko
