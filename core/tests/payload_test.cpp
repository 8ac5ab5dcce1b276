#include "zelko/payload.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "zelko/json.hpp"

namespace zelko {
namespace {

JsonValue parse_or_fail(std::string_view text) {
  Result<JsonValue> parsed = parse_json(text);
  EXPECT_TRUE(parsed.ok()) << text;
  return parsed.ok() ? std::move(parsed).value() : JsonValue();
}

SEOPayload full_payload() {
  SEOPayload payload;
  payload.title = "Hello \"World\"";
  payload.description = "A short description.";
  payload.canonical = "https://example.com/hello/";
  payload.robots = "index,follow";
  payload.og.type = "article";
  payload.og.title = "Hello";
  payload.og.description = "Desc";
  payload.og.url = "https://example.com/hello/";
  payload.og.image = "https://example.com/a.png";
  payload.og.image_width = 1200;
  payload.og.image_height = 630;
  payload.og.image_alt = "Alt";
  payload.og.site_name = "Example";
  payload.og.locale = "en_US";
  payload.og.locale_alternate = std::vector<std::string>{"fr_FR", "de_DE"};
  payload.og.audio = "https://example.com/a.mp3";
  payload.og.video = "https://example.com/v.mp4";
  payload.twitter.card = "summary_large_image";
  payload.twitter.title = "Hello";
  payload.twitter.description = "Desc";
  payload.twitter.image = "https://example.com/a.png";
  payload.twitter.image_alt = "Alt";
  payload.twitter.site = "@example";
  payload.twitter.creator = "@author";
  payload.schema_jsonld = parse_or_fail(
      R"({"headline":"Hello","@type":"Article","keywords":[],"about":{},)"
      R"("Author":{"name":"A"},"@context":"https://schema.org"})");
  return payload;
}

SEOPayload minimal_payload() {
  SEOPayload payload;
  payload.og.type = "website";
  payload.twitter.card = "summary";
  return payload;
}

std::vector<std::string> keys_of(const JsonValue& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

// ---------------------------------------------------------------------------
// Text forms

TEST(PayloadText, PrettyFormKeepsDeclaredOrderAndSortsJsonLdKeys) {
  EXPECT_EQ(to_json_pretty(full_payload()), R"({
  "title": "Hello \"World\"",
  "description": "A short description.",
  "canonical": "https://example.com/hello/",
  "robots": "index,follow",
  "og": {
    "type": "article",
    "title": "Hello",
    "description": "Desc",
    "url": "https://example.com/hello/",
    "image": "https://example.com/a.png",
    "image_width": 1200,
    "image_height": 630,
    "image_alt": "Alt",
    "site_name": "Example",
    "locale": "en_US",
    "locale_alternate": [
      "fr_FR",
      "de_DE"
    ],
    "audio": "https://example.com/a.mp3",
    "video": "https://example.com/v.mp4"
  },
  "twitter": {
    "card": "summary_large_image",
    "title": "Hello",
    "description": "Desc",
    "image": "https://example.com/a.png",
    "image_alt": "Alt",
    "site": "@example",
    "creator": "@author"
  },
  "schema_jsonld": {
    "@context": "https://schema.org",
    "@type": "Article",
    "Author": {
      "name": "A"
    },
    "about": {},
    "headline": "Hello",
    "keywords": []
  }
})");
}

TEST(PayloadText, CompactFormHasNoWhitespace) {
  EXPECT_EQ(
      to_json_compact(full_payload()),
      R"({"title":"Hello \"World\"","description":"A short description.",)"
      R"("canonical":"https://example.com/hello/","robots":"index,follow",)"
      R"("og":{"type":"article","title":"Hello","description":"Desc",)"
      R"("url":"https://example.com/hello/","image":"https://example.com/a.png",)"
      R"("image_width":1200,"image_height":630,"image_alt":"Alt",)"
      R"("site_name":"Example","locale":"en_US",)"
      R"("locale_alternate":["fr_FR","de_DE"],)"
      R"("audio":"https://example.com/a.mp3","video":"https://example.com/v.mp4"},)"
      R"("twitter":{"card":"summary_large_image","title":"Hello",)"
      R"("description":"Desc","image":"https://example.com/a.png",)"
      R"("image_alt":"Alt","site":"@example","creator":"@author"},)"
      R"("schema_jsonld":{"@context":"https://schema.org","@type":"Article",)"
      R"("Author":{"name":"A"},"about":{},"headline":"Hello","keywords":[]}})");
}

TEST(PayloadText, AbsentOptionalsAndSchemaAreLeftOut) {
  const SEOPayload payload = minimal_payload();
  EXPECT_EQ(to_json_compact(payload),
            R"({"title":"","description":"","canonical":"","robots":"",)"
            R"("og":{"type":"website"},"twitter":{"card":"summary"}})");
  EXPECT_EQ(to_json_pretty(payload), R"({
  "title": "",
  "description": "",
  "canonical": "",
  "robots": "",
  "og": {
    "type": "website"
  },
  "twitter": {
    "card": "summary"
  }
})");
}

TEST(PayloadText, PresentButEmptyOptionalsAreWritten) {
  SEOPayload payload = minimal_payload();
  payload.og.title = "";
  payload.og.locale_alternate = std::vector<std::string>{};
  payload.twitter.site = "";
  EXPECT_EQ(to_json_compact(payload),
            R"({"title":"","description":"","canonical":"","robots":"",)"
            R"("og":{"type":"website","title":"","locale_alternate":[]},)"
            R"("twitter":{"card":"summary","site":""}})");
  EXPECT_NE(to_json_pretty(payload).find("\"locale_alternate\": []\n"),
            std::string::npos);
}

TEST(PayloadText, TitleEscapingKeepsUtf8AndScriptTag) {
  SEOPayload payload = minimal_payload();
  payload.title = "Caf\xC3\xA9\tnight </script>";
  EXPECT_EQ(to_json_compact(payload),
            "{\"title\":\"Caf\xC3\xA9\\tnight </script>\",\"description\":\"\","
            R"("canonical":"","robots":"","og":{"type":"website"},)"
            R"("twitter":{"card":"summary"}})");
}

TEST(PayloadText, ExtraFieldsFollowSchemaInKeyOrder) {
  SEOPayload payload = minimal_payload();
  payload.schema_jsonld = JsonValue::array();
  payload.extra_fields.emplace("zeta", true);
  payload.extra_fields.emplace("custom", "x");
  EXPECT_EQ(to_json_compact(payload),
            R"({"title":"","description":"","canonical":"","robots":"",)"
            R"("og":{"type":"website"},"twitter":{"card":"summary"},)"
            R"("schema_jsonld":[],"custom":"x","zeta":true})");
}

TEST(PayloadText, ExtraNumbersKeepTheirKind) {
  SEOPayload payload = minimal_payload();
  payload.extra_fields.emplace("a_double", 5.0);
  payload.extra_fields.emplace("b_integer", 5);
  payload.extra_fields.emplace("c_nan",
                               std::numeric_limits<double>::quiet_NaN());
  const std::string text = to_json_compact(payload);
  EXPECT_NE(text.find(R"("a_double":5.0,"b_integer":5,"c_nan":null})"),
            std::string::npos)
      << text;
}

TEST(PayloadText, WritePayloadNestsInsideAnOuterWriter) {
  std::string out;
  JsonWriter writer(out, false);
  writer.begin_array();
  write_payload(writer, minimal_payload());
  writer.unsigned_integer(1);
  writer.end_array();
  EXPECT_EQ(out, "[" + to_json_compact(minimal_payload()) + ",1]");
}

// ---------------------------------------------------------------------------
// Value form

TEST(PayloadValue, TopLevelKeysAreSorted) {
  EXPECT_EQ(
      keys_of(to_value(full_payload())),
      (std::vector<std::string>{"canonical", "description", "og", "robots",
                                "schema_jsonld", "title", "twitter"}));
  EXPECT_EQ(keys_of(to_value(minimal_payload())),
            (std::vector<std::string>{"canonical", "description", "og",
                                      "robots", "title", "twitter"}));
}

TEST(PayloadValue, GroupKeysAreSorted) {
  const JsonValue value = to_value(full_payload());
  EXPECT_EQ(keys_of(value["og"]),
            (std::vector<std::string>{
                "audio", "description", "image", "image_alt", "image_height",
                "image_width", "locale", "locale_alternate", "site_name",
                "title", "type", "url", "video"}));
  EXPECT_EQ(keys_of(value["twitter"]),
            (std::vector<std::string>{"card", "creator", "description", "image",
                                      "image_alt", "site", "title"}));
}

TEST(PayloadValue, HoldsTypedMembers) {
  const JsonValue value = to_value(full_payload());
  EXPECT_TRUE(value["og"]["image_width"].is_number_unsigned());
  EXPECT_EQ(value["og"]["image_width"], 1200u);
  EXPECT_EQ(value["og"]["locale_alternate"],
            parse_or_fail(R"(["fr_FR","de_DE"])"));
  EXPECT_EQ(value["title"], "Hello \"World\"");
  EXPECT_EQ(value["schema_jsonld"], *full_payload().schema_jsonld);
  EXPECT_EQ(keys_of(value["schema_jsonld"]),
            (std::vector<std::string>{"@context", "@type", "Author", "about",
                                      "headline", "keywords"}));
}

TEST(PayloadValue, GroupsAloneMatchTheirPlaceInThePayload) {
  const SEOPayload payload = full_payload();
  EXPECT_EQ(to_value(payload.og), to_value(payload)["og"]);
  EXPECT_EQ(to_value(payload.twitter), to_value(payload)["twitter"]);
  EXPECT_EQ(write_json(to_value(minimal_payload().og), false),
            R"({"type":"website"})");
}

TEST(PayloadValue, ExtraFieldsAreSortedAndReplaceKnownKeys) {
  SEOPayload payload = minimal_payload();
  payload.title = "known";
  payload.extra_fields.emplace("custom", 1);
  payload.extra_fields.emplace("title", "extra");
  const JsonValue value = to_value(payload);
  EXPECT_EQ(keys_of(value),
            (std::vector<std::string>{"canonical", "custom", "description",
                                      "og", "robots", "title", "twitter"}));
  EXPECT_EQ(value["title"], "extra");
}

// ---------------------------------------------------------------------------
// Reading back

Result<SEOPayload> read_text(std::string_view text) {
  return payload_from_value(parse_or_fail(text));
}

TEST(PayloadRead, RoundTripsThroughEveryForm) {
  for (const SEOPayload& payload : {full_payload(), minimal_payload()}) {
    const Result<SEOPayload> from_value = payload_from_value(to_value(payload));
    ASSERT_TRUE(from_value.ok()) << from_value.error().message();
    EXPECT_EQ(*from_value, payload);

    const Result<SEOPayload> from_text =
        payload_from_value(parse_or_fail(to_json_pretty(payload)));
    ASSERT_TRUE(from_text.ok()) << from_text.error().message();
    EXPECT_EQ(*from_text, payload);
  }
}

TEST(PayloadRead, UnknownKeyGoesToExtraFieldsAndIsWrittenLast) {
  const Result<SEOPayload> payload = read_text(
      R"({"title":"t","description":"d","canonical":"c","robots":"r",)"
      R"("og":{"type":"website"},"twitter":{"card":"summary"},)"
      R"("schema_jsonld":{"@type":"Thing"},"custom":{"b":2,"a":1}})");
  ASSERT_TRUE(payload.ok()) << payload.error().message();
  ASSERT_EQ(payload->extra_fields.size(), 1u);
  EXPECT_EQ(payload->extra_fields.at("custom"),
            parse_or_fail(R"({"a":1,"b":2})"));
  EXPECT_EQ(to_json_compact(*payload),
            R"({"title":"t","description":"d","canonical":"c","robots":"r",)"
            R"("og":{"type":"website"},"twitter":{"card":"summary"},)"
            R"("schema_jsonld":{"@type":"Thing"},"custom":{"a":1,"b":2}})");
  EXPECT_EQ(keys_of(to_value(*payload)),
            (std::vector<std::string>{"canonical", "custom", "description",
                                      "og", "robots", "schema_jsonld", "title",
                                      "twitter"}));
}

TEST(PayloadRead, NullOptionalsBecomeAbsent) {
  const Result<SEOPayload> payload = read_text(
      R"({"title":"t","description":"d","canonical":"c","robots":"r",)"
      R"("og":{"type":"website","title":null,"image_width":null,)"
      R"("locale_alternate":null,"unknown":5},)"
      R"("twitter":{"card":"summary","site":null},"schema_jsonld":null})");
  ASSERT_TRUE(payload.ok()) << payload.error().message();
  EXPECT_EQ(payload->og, minimal_payload().og);
  EXPECT_EQ(payload->twitter, minimal_payload().twitter);
  EXPECT_FALSE(payload->schema_jsonld.has_value());
  EXPECT_TRUE(payload->extra_fields.empty());
}

TEST(PayloadRead, AnyNonNullSchemaIsKept) {
  for (const char* schema : {R"("text")", "5", "[]", R"({"@type":"X"})"}) {
    const Result<SEOPayload> payload = read_text(
        std::string(R"({"title":"t","description":"d","canonical":"c",)"
                    R"("robots":"r","og":{"type":"w"},"twitter":{"card":"s"},)"
                    R"("schema_jsonld":)") +
        schema + "}");
    ASSERT_TRUE(payload.ok()) << payload.error().message();
    ASSERT_TRUE(payload->schema_jsonld.has_value());
    EXPECT_EQ(*payload->schema_jsonld, parse_or_fail(schema));
  }
}

TEST(PayloadRead, GroupsAcceptPositionalArrays) {
  const Result<SEOPayload> payload = read_text(
      R"({"title":"t","description":"d","canonical":"c","robots":"r",)"
      R"("og":["article","T",null,null,null,800,null,null,null,null,)"
      R"(["fr_FR"],null,null],)"
      R"("twitter":["summary",null,null,null,null,"@site",null]})");
  ASSERT_TRUE(payload.ok()) << payload.error().message();
  OGPayload og;
  og.type = "article";
  og.title = "T";
  og.image_width = 800;
  og.locale_alternate = std::vector<std::string>{"fr_FR"};
  EXPECT_EQ(payload->og, og);
  TwitterPayload twitter;
  twitter.card = "summary";
  twitter.site = "@site";
  EXPECT_EQ(payload->twitter, twitter);
}

TEST(PayloadRead, ImageSizeAcceptsTheWholeU32Range) {
  const Result<SEOPayload> payload = read_text(
      R"({"title":"t","description":"d","canonical":"c","robots":"r",)"
      R"("og":{"type":"w","image_width":0,"image_height":4294967295},)"
      R"("twitter":{"card":"s"}})");
  ASSERT_TRUE(payload.ok()) << payload.error().message();
  EXPECT_EQ(payload->og.image_width, 0u);
  EXPECT_EQ(payload->og.image_height, 4294967295u);
}

struct ReadErrorCase {
  const char* label;
  std::string input;
  std::string message;
};

// A valid payload text with one member replaced or removed.
std::string payload_with(std::string_view title, std::string_view og,
                         std::string_view twitter) {
  std::string text = "{";
  if (!title.empty()) text += R"("title":)" + std::string(title) + ",";
  text += R"("description":"d","canonical":"c","robots":"r",)";
  text += R"("og":)" + std::string(og) + ",";
  text += R"("twitter":)" + std::string(twitter) + "}";
  return text;
}

std::string with_og(std::string_view og) {
  return payload_with(R"("t")", og, R"({"card":"s"})");
}

std::string with_twitter(std::string_view twitter) {
  return payload_with(R"("t")", R"({"type":"w"})", twitter);
}

class PayloadReadError : public ::testing::TestWithParam<ReadErrorCase> {};

TEST_P(PayloadReadError, FailsWithSerializationMessage) {
  const Result<SEOPayload> payload = read_text(GetParam().input);
  ASSERT_FALSE(payload.ok());
  EXPECT_EQ(payload.error().kind(), ErrorKind::Serialization);
  EXPECT_EQ(payload.error().message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PayloadReadError,
    ::testing::Values(
        ReadErrorCase{
            "top_string", R"("x")",
            R"(invalid type: string "x", expected struct SEOPayload)"},
        ReadErrorCase{
            "top_string_with_quote", R"("a\"b\n")",
            R"(invalid type: string "a\"b\n", expected struct SEOPayload)"},
        ReadErrorCase{"top_integer", "5",
                      "invalid type: integer `5`, expected struct SEOPayload"},
        ReadErrorCase{"top_negative", "-3",
                      "invalid type: integer `-3`, expected struct SEOPayload"},
        ReadErrorCase{"top_float", "1.5",
                      "invalid type: floating point `1.5`, expected struct "
                      "SEOPayload"},
        ReadErrorCase{"top_whole_float", "2.0",
                      "invalid type: floating point `2.0`, expected struct "
                      "SEOPayload"},
        ReadErrorCase{
            "top_boolean", "true",
            "invalid type: boolean `true`, expected struct SEOPayload"},
        ReadErrorCase{"top_null", "null",
                      "invalid type: null, expected struct SEOPayload"},
        ReadErrorCase{"top_array", "[]",
                      "invalid type: sequence, expected struct SEOPayload"},
        ReadErrorCase{"empty_object", "{}", "missing field `title`"},
        ReadErrorCase{"missing_robots",
                      R"({"title":"t","description":"d","canonical":"c",)"
                      R"("og":{"type":"w"},"twitter":{"card":"s"}})",
                      "missing field `robots`"},
        ReadErrorCase{"missing_title_and_robots",
                      R"({"description":"d","canonical":"c",)"
                      R"("og":{"type":"w"},"twitter":{"card":"s"}})",
                      "missing field `title`"},
        ReadErrorCase{"missing_twitter",
                      R"({"title":"t","description":"d","canonical":"c",)"
                      R"("robots":"r","og":{"type":"w"}})",
                      "missing field `twitter`"},
        ReadErrorCase{"title_integer",
                      payload_with("5", R"({"type":"w"})", R"({"card":"s"})"),
                      "invalid type: integer `5`, expected a string"},
        ReadErrorCase{
            "title_null",
            payload_with("null", R"({"type":"w"})", R"({"card":"s"})"),
            "invalid type: null, expected a string"},
        ReadErrorCase{"title_map",
                      payload_with("{}", R"({"type":"w"})", R"({"card":"s"})"),
                      "invalid type: map, expected a string"},
        ReadErrorCase{"og_missing_type", with_og(R"({"title":"t"})"),
                      "missing field `type`"},
        ReadErrorCase{"twitter_missing_card", with_twitter(R"({"site":"s"})"),
                      "missing field `card`"},
        ReadErrorCase{"og_string", with_og(R"("x")"),
                      R"(invalid type: string "x", expected struct OGPayload)"},
        ReadErrorCase{"og_null", with_og("null"),
                      "invalid type: null, expected struct OGPayload"},
        ReadErrorCase{"twitter_boolean", with_twitter("false"),
                      "invalid type: boolean `false`, expected struct "
                      "TwitterPayload"},
        ReadErrorCase{"og_type_integer", with_og(R"({"type":1})"),
                      "invalid type: integer `1`, expected a string"},
        ReadErrorCase{"og_width_negative",
                      with_og(R"({"type":"w","image_width":-1})"),
                      "invalid value: integer `-1`, expected u32"},
        ReadErrorCase{"og_height_too_large",
                      with_og(R"({"type":"w","image_height":4294967296})"),
                      "invalid value: integer `4294967296`, expected u32"},
        ReadErrorCase{"og_width_float",
                      with_og(R"({"type":"w","image_width":1.5})"),
                      "invalid type: floating point `1.5`, expected u32"},
        ReadErrorCase{"og_width_string",
                      with_og(R"({"type":"w","image_width":"600"})"),
                      R"(invalid type: string "600", expected u32)"},
        ReadErrorCase{"og_locales_string",
                      with_og(R"({"type":"w","locale_alternate":"en_US"})"),
                      R"(invalid type: string "en_US", expected a sequence)"},
        ReadErrorCase{"og_locales_element",
                      with_og(R"({"type":"w","locale_alternate":["a",1]})"),
                      "invalid type: integer `1`, expected a string"},
        ReadErrorCase{"og_short_array", with_og(R"(["website","t"])"),
                      "invalid length 2, expected struct OGPayload with 13 "
                      "elements"},
        ReadErrorCase{"og_empty_array", with_og("[]"),
                      "invalid length 0, expected struct OGPayload with 13 "
                      "elements"},
        ReadErrorCase{"og_long_array",
                      with_og(R"(["w",null,null,null,null,null,null,null,)"
                              R"(null,null,null,null,null,null])"),
                      "invalid length 14, expected fewer elements in array"},
        ReadErrorCase{"og_array_wrong_element", with_og(R"(["w",2])"),
                      "invalid type: integer `2`, expected a string"},
        ReadErrorCase{"twitter_short_array", with_twitter(R"(["summary"])"),
                      "invalid length 1, expected struct TwitterPayload with 7 "
                      "elements"},
        ReadErrorCase{"twitter_long_array",
                      with_twitter(R"(["s",null,null,null,null,null,null,1])"),
                      "invalid length 8, expected fewer elements in array"},
        ReadErrorCase{"twitter_array_null_card",
                      with_twitter(R"([null,null,null,null,null,null,null])"),
                      "invalid type: null, expected a string"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PayloadRead, UnsignedIntegerAboveI64IsDescribedExactly) {
  const Result<SEOPayload> payload =
      read_text(with_og(R"({"type":"w","image_width":18446744073709551615})"));
  ASSERT_FALSE(payload.ok());
  EXPECT_EQ(payload.error().message(),
            "invalid value: integer `18446744073709551615`, expected u32");
}

}  // namespace
}  // namespace zelko
