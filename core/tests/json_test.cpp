#include "zelko/json.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "debug_check.hpp"
#include "text.hpp"

namespace zelko {
namespace {

using namespace std::string_literals;

JsonValue parse_or_fail(std::string_view text) {
  Result<JsonValue> parsed = parse_json(text);
  EXPECT_TRUE(parsed.ok()) << "input: " << text << "\nerror: "
                           << (parsed.ok() ? "" : parsed.error().message());
  return parsed.ok() ? std::move(parsed).value() : JsonValue();
}

// ---------------------------------------------------------------------------
// Strings

struct EscapeCase {
  const char* label;
  std::string input;
  std::string expected;
};

class JsonStringEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonStringEscape, WritesExactText) {
  std::string out;
  append_json_string(out, GetParam().input);
  EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonStringEscape,
    ::testing::Values(
        EscapeCase{"quote", "say \"hi\"", R"("say \"hi\"")"},
        EscapeCase{"backslash", "a\\b", R"("a\\b")"},
        EscapeCase{"short_escapes", "\b\t\n\f\r", R"("\b\t\n\f\r")"},
        EscapeCase{"nul", "a\0b"s, R"("a\u0000b")"},
        EscapeCase{"control_lower_hex", "\x01\x1f\x0b",
                   R"("\u0001\u001f\u000b")"},
        EscapeCase{"solidus_kept", "a/b", R"("a/b")"},
        EscapeCase{"script_tag_kept", "</script>", R"("</script>")"},
        EscapeCase{"delete_kept", "\x7f", "\"\x7f\""},
        EscapeCase{"e_acute_as_utf8", "caf\xC3\xA9", "\"caf\xC3\xA9\""},
        EscapeCase{"e_acute_and_tab", "caf\xC3\xA9\tbar",
                   "\"caf\xC3\xA9\\tbar\""},
        EscapeCase{"astral_as_utf8", "\xF0\x9F\x98\x80",
                   "\"\xF0\x9F\x98\x80\""},
        EscapeCase{"empty", "", R"("")"},
        EscapeCase{"invalid_byte_replaced", "a\xFFz", "\"a\xEF\xBF\xBDz\""},
        EscapeCase{"truncated_sequence_one_replacement", "\xE2\x82",
                   "\"\xEF\xBF\xBD\""},
        EscapeCase{"truncated_at_end_after_text", "ab\xC3",
                   "\"ab\xEF\xBF\xBD\""},
        EscapeCase{"overlong_two_replacements", "\xC0\xAF",
                   "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        EscapeCase{"surrogate_three_replacements", "\xED\xA0\x80",
                   "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        EscapeCase{"above_max_code_point", "\xF4\x90\x80\x80x",
                   "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx\""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(JsonStringEscape, AppendsToExistingText) {
  std::string out = "x=";
  append_json_string(out, "y");
  EXPECT_EQ(out, R"(x="y")");
}

TEST(JsonStringEscape, InvalidUtf8OutputParsesBack) {
  const std::string text = write_json(JsonValue("a\xFF\xC3"), false);
  EXPECT_EQ(parse_or_fail(text), JsonValue("a\xEF\xBF\xBD\xEF\xBF\xBD"));
}

// ---------------------------------------------------------------------------
// Numbers

struct DoubleCase {
  double number;
  const char* expected;
};

class JsonDoubleText : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(JsonDoubleText, WritesShortestFormWithPointOrExponent) {
  EXPECT_EQ(write_json(JsonValue(GetParam().number), false),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonDoubleText,
    ::testing::Values(
        DoubleCase{5.0, "5.0"}, DoubleCase{1.5, "1.5"},
        DoubleCase{-2.25, "-2.25"}, DoubleCase{0.0, "0.0"},
        DoubleCase{-0.0, "-0.0"}, DoubleCase{0.1, "0.1"},
        DoubleCase{100000.0, "100000.0"}, DoubleCase{123456.0, "123456.0"},
        DoubleCase{1e15, "1000000000000000.0"}, DoubleCase{1e16, "1e16"},
        DoubleCase{1.5e20, "1.5e20"}, DoubleCase{0.0001, "0.0001"},
        DoubleCase{0.00001, "0.00001"}, DoubleCase{0.001234, "0.001234"},
        DoubleCase{1e-6, "1e-6"}, DoubleCase{-1.5e-7, "-1.5e-7"},
        DoubleCase{1.7976931348623157e308, "1.7976931348623157e308"},
        DoubleCase{5e-324, "5e-324"},
        DoubleCase{std::numeric_limits<double>::quiet_NaN(), "null"},
        DoubleCase{std::numeric_limits<double>::infinity(), "null"},
        DoubleCase{-std::numeric_limits<double>::infinity(), "null"}));

TEST(JsonIntegerText, WritesIntegersWithoutPoint) {
  EXPECT_EQ(write_json(JsonValue(5), false), "5");
  EXPECT_EQ(write_json(JsonValue(5u), false), "5");
  EXPECT_EQ(write_json(JsonValue(-1), false), "-1");
  EXPECT_EQ(
      write_json(JsonValue(std::numeric_limits<std::uint64_t>::max()), false),
      "18446744073709551615");
  EXPECT_EQ(
      write_json(JsonValue(std::numeric_limits<std::int64_t>::min()), false),
      "-9223372036854775808");
}

TEST(JsonDoubleText, EveryDoubleReadsBackToTheSameBits) {
  std::mt19937_64 bits(20240601);  // fixed seed: the same doubles every run
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t pattern = bits();
    double number = 0;
    std::memcpy(&number, &pattern, sizeof number);
    if (!std::isfinite(number)) continue;
    const std::string text = write_json(JsonValue(number), false);
    ASSERT_NE(text.find_first_of(".e"), std::string::npos) << text;
    const JsonValue back = parse_or_fail(text);
    ASSERT_TRUE(back.is_number_float()) << text;
    const double read = back.get<double>();
    ASSERT_EQ(std::memcmp(&read, &number, sizeof read), 0) << text;
  }
}

// ---------------------------------------------------------------------------
// Layout

const char* const kNestedText =
    R"({"list":[1,{},[],{"k":"v"}],"obj":{"a":null,"b":true,"c":false},"s":"x"})";

TEST(JsonLayout, CompactHasNoWhitespace) {
  EXPECT_EQ(write_json(parse_or_fail(kNestedText), false), kNestedText);
}

TEST(JsonLayout, PrettyUsesTwoSpacesAndInlineEmptyContainers) {
  EXPECT_EQ(write_json(parse_or_fail(kNestedText), true),
            R"({
  "list": [
    1,
    {},
    [],
    {
      "k": "v"
    }
  ],
  "obj": {
    "a": null,
    "b": true,
    "c": false
  },
  "s": "x"
})");
}

TEST(JsonLayout, ScalarsAndEmptyContainersAtTopLevel) {
  EXPECT_EQ(write_json(JsonValue::object(), true), "{}");
  EXPECT_EQ(write_json(JsonValue::array(), true), "[]");
  EXPECT_EQ(write_json(JsonValue(nullptr), true), "null");
  EXPECT_EQ(write_json(JsonValue("x"), true), R"("x")");
}

TEST(JsonLayout, ObjectKeysComeInByteOrder) {
  JsonValue object = JsonValue::object();
  for (const char* key : {"z", "b", "alpha", "\xC3\xA9", "Zeta", "@type", "a",
                          "@context", "@id"}) {
    object[key] = 1;
  }
  EXPECT_EQ(write_json(object, false),
            "{\"@context\":1,\"@id\":1,\"@type\":1,\"Zeta\":1,\"a\":1,"
            "\"alpha\":1,\"b\":1,\"z\":1,\"\xC3\xA9\":1}");
}

TEST(JsonWriterTest, StreamsMembersAndElements) {
  std::string out;
  JsonWriter writer(out, true);
  writer.begin_object();
  writer.member("name", "n");
  writer.key("values");
  writer.begin_array();
  writer.unsigned_integer(1);
  writer.signed_integer(-2);
  writer.floating(3.0);
  writer.boolean(false);
  writer.null();
  writer.begin_array();
  writer.end_array();
  writer.end_array();
  writer.key("empty");
  writer.begin_object();
  writer.end_object();
  writer.end_object();
  EXPECT_EQ(out, R"({
  "name": "n",
  "values": [
    1,
    -2,
    3.0,
    false,
    null,
    []
  ],
  "empty": {}
})");
}

TEST(JsonWriterTest, CompactStreamMatchesValueWriter) {
  std::string out;
  JsonWriter writer(out, false);
  writer.begin_array();
  writer.string("a");
  writer.value(parse_or_fail(R"({"k":[1,2]})"));
  writer.end_array();
  EXPECT_EQ(out, R"(["a",{"k":[1,2]}])");
}

// ---------------------------------------------------------------------------
// Reading

TEST(JsonRead, UnsignedMaximumStaysUnsigned) {
  const JsonValue value = parse_or_fail("18446744073709551615");
  ASSERT_TRUE(value.is_number_unsigned());
  EXPECT_EQ(value.get<std::uint64_t>(),
            std::numeric_limits<std::uint64_t>::max());
}

TEST(JsonRead, BeyondUnsignedBecomesDouble) {
  const JsonValue value = parse_or_fail("18446744073709551616");
  ASSERT_TRUE(value.is_number_float());
  EXPECT_EQ(value.get<double>(), 18446744073709551616.0);
}

TEST(JsonRead, NegativeIntegersAreSigned) {
  const JsonValue minus_one = parse_or_fail("-1");
  ASSERT_TRUE(minus_one.is_number_integer());
  ASSERT_FALSE(minus_one.is_number_unsigned());
  EXPECT_EQ(minus_one.get<std::int64_t>(), -1);

  const JsonValue minimum = parse_or_fail("-9223372036854775808");
  ASSERT_TRUE(minimum.is_number_integer());
  EXPECT_EQ(minimum.get<std::int64_t>(),
            std::numeric_limits<std::int64_t>::min());

  const JsonValue below = parse_or_fail("-9223372036854775809");
  ASSERT_TRUE(below.is_number_float());
  EXPECT_EQ(below.get<double>(), -9223372036854775808.0);
}

TEST(JsonRead, FractionOrExponentMakesDouble) {
  for (const char* text : {"1.0", "1e2", "1E+2", "10e-1", "-0.5"}) {
    EXPECT_TRUE(parse_or_fail(text).is_number_float()) << text;
  }
  EXPECT_EQ(parse_or_fail("1e2").get<double>(), 100.0);
  EXPECT_EQ(parse_or_fail("-0.5").get<double>(), -0.5);
}

TEST(JsonRead, ZeroIsUnsignedAndMinusZeroIsNegativeDouble) {
  EXPECT_TRUE(parse_or_fail("0").is_number_unsigned());
  const JsonValue minus_zero = parse_or_fail("-0");
  ASSERT_TRUE(minus_zero.is_number_float());
  EXPECT_TRUE(std::signbit(minus_zero.get<double>()));
  EXPECT_EQ(write_json(minus_zero, false), "-0.0");
}

TEST(JsonRead, TinyNumberUnderflowsToZero) {
  const JsonValue value = parse_or_fail("-1e-400");
  ASSERT_TRUE(value.is_number_float());
  EXPECT_EQ(value.get<double>(), 0.0);
  EXPECT_TRUE(std::signbit(value.get<double>()));
}

TEST(JsonRead, DuplicateKeyKeepsLastValue) {
  const JsonValue value = parse_or_fail(R"({"a":1,"b":0,"a":2})");
  EXPECT_EQ(value.size(), 2u);
  EXPECT_EQ(value["a"], 2);
}

TEST(JsonRead, StringEscapesDecodeToUtf8) {
  EXPECT_EQ(parse_or_fail(R"("\"\\\/\b\f\n\r\t")"),
            JsonValue("\"\\/\b\f\n\r\t"));
  EXPECT_EQ(parse_or_fail(R"("\u00e9\u00E9")"), JsonValue("\xC3\xA9\xC3\xA9"));
  EXPECT_EQ(parse_or_fail(R"("\ud83d\ude00")"), JsonValue("\xF0\x9F\x98\x80"));
  EXPECT_EQ(parse_or_fail(R"("a\u0000b")"), JsonValue("a\0b"s));
  EXPECT_EQ(parse_or_fail("\"caf\xC3\xA9\""), JsonValue("caf\xC3\xA9"));
}

TEST(JsonRead, SurroundingWhitespaceIsAllowed) {
  EXPECT_EQ(parse_or_fail(" \t\r\n[ 1 , { \"a\" : true } ]\n "),
            parse_or_fail(R"([1,{"a":true}])"));
}

std::string nested_arrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonRead, AcceptsNestingUpToTheLimit) {
  const JsonValue value = parse_or_fail(nested_arrays(kJsonMaxDepth));
  std::size_t depth = 0;
  for (const JsonValue* node = &value; node->is_array(); node = &(*node)[0]) {
    ++depth;
    if (node->empty()) break;
  }
  EXPECT_EQ(depth, kJsonMaxDepth);
}

TEST(JsonRead, RefusesNestingBeyondTheLimit) {
  const Result<JsonValue> arrays = parse_json(nested_arrays(kJsonMaxDepth + 1));
  ASSERT_FALSE(arrays.ok());
  EXPECT_EQ(arrays.error().message(),
            "recursion limit exceeded at line 1 column 129");

  std::string objects;
  for (std::size_t i = 0; i <= kJsonMaxDepth; ++i) objects += R"({"a":)";
  const Result<JsonValue> nested = parse_json(objects);
  ASSERT_FALSE(nested.ok());
  EXPECT_EQ(nested.error().message(),
            "recursion limit exceeded at line 1 column 641");
}

struct ReadErrorCase {
  const char* label;
  std::string input;
  const char* message;
};

class JsonReadError : public ::testing::TestWithParam<ReadErrorCase> {};

TEST_P(JsonReadError, FailsWithSerializationMessage) {
  const Result<JsonValue> parsed = parse_json(GetParam().input);
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().kind(), ErrorKind::Serialization);
  EXPECT_EQ(parsed.error().message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonReadError,
    ::testing::Values(
        ReadErrorCase{"empty", "",
                      "EOF while parsing a value at line 1 column 0"},
        ReadErrorCase{"only_space", "  ",
                      "EOF while parsing a value at line 1 column 2"},
        ReadErrorCase{"nan", "NaN", "expected value at line 1 column 1"},
        ReadErrorCase{"infinity", "Infinity",
                      "expected value at line 1 column 1"},
        ReadErrorCase{"minus_infinity", "-Infinity",
                      "invalid number at line 1 column 2"},
        ReadErrorCase{"nan_in_list", "[1, NaN]",
                      "expected value at line 1 column 5"},
        ReadErrorCase{"invalid_utf8_value", "\xFF",
                      "expected value at line 1 column 1"},
        ReadErrorCase{"trailing", "[1] x",
                      "trailing characters at line 1 column 5"},
        ReadErrorCase{"two_values", "1 2",
                      "trailing characters at line 1 column 3"},
        ReadErrorCase{"open_list", "[",
                      "EOF while parsing a list at line 1 column 1"},
        ReadErrorCase{"unclosed_list", "[1",
                      "EOF while parsing a list at line 1 column 2"},
        ReadErrorCase{"list_after_comma", "[1,",
                      "EOF while parsing a value at line 1 column 3"},
        ReadErrorCase{"list_missing_comma", "[1 2]",
                      "expected `,` or `]` at line 1 column 4"},
        ReadErrorCase{"list_trailing_comma", "[1,]",
                      "trailing comma at line 1 column 4"},
        ReadErrorCase{"open_object", "{",
                      "EOF while parsing an object at line 1 column 1"},
        ReadErrorCase{"number_key", "{1:2}",
                      "key must be a string at line 1 column 2"},
        ReadErrorCase{"key_at_end", R"({"a")",
                      "EOF while parsing an object at line 1 column 4"},
        ReadErrorCase{"missing_colon", R"({"a" 1})",
                      "expected `:` at line 1 column 6"},
        ReadErrorCase{"value_at_end", R"({"a":)",
                      "EOF while parsing a value at line 1 column 5"},
        ReadErrorCase{"unclosed_object", R"({"a":1)",
                      "EOF while parsing an object at line 1 column 6"},
        ReadErrorCase{"object_missing_comma", R"({"a":1 "b":2})",
                      "expected `,` or `}` at line 1 column 8"},
        ReadErrorCase{"object_trailing_comma", R"({"a":1,})",
                      "trailing comma at line 1 column 8"},
        ReadErrorCase{"object_after_comma", R"({"a":1,)",
                      "EOF while parsing a value at line 1 column 7"},
        ReadErrorCase{"unclosed_string", R"("abc)",
                      "EOF while parsing a string at line 1 column 4"},
        ReadErrorCase{"escape_at_end", R"("a\)",
                      "EOF while parsing a string at line 1 column 3"},
        ReadErrorCase{"unknown_escape", R"("a\x")",
                      "invalid escape at line 1 column 4"},
        ReadErrorCase{"bad_hex_escape", R"("\uZZZZ")",
                      "invalid escape at line 1 column 7"},
        ReadErrorCase{"short_hex_escape", R"("\u12")",
                      "EOF while parsing a string at line 1 column 6"},
        ReadErrorCase{"lone_leading_surrogate", R"("\ud800")",
                      "unexpected end of hex escape at line 1 column 8"},
        ReadErrorCase{"leading_surrogate_then_other_escape", R"("\ud800\n")",
                      "unexpected end of hex escape at line 1 column 9"},
        ReadErrorCase{
            "leading_surrogate_then_non_surrogate", R"("\ud800\u0041")",
            "lone leading surrogate in hex escape at line 1 column 13"},
        ReadErrorCase{
            "lone_trailing_surrogate", R"("\udc00")",
            "lone leading surrogate in hex escape at line 1 column 7"},
        ReadErrorCase{"control_in_string", "\"a\x01\"",
                      "control character (\\u0000-\\u001F) found while parsing "
                      "a string at line 1 column 3"},
        ReadErrorCase{"newline_in_string", "\"a\nb\"",
                      "control character (\\u0000-\\u001F) found while parsing "
                      "a string at line 2 column 0"},
        ReadErrorCase{"invalid_utf8_in_string", "\"a\xFF\"",
                      "invalid unicode code point at line 1 column 3"},
        ReadErrorCase{"surrogate_utf8_in_string", "\"\xED\xA0\x80\"",
                      "invalid unicode code point at line 1 column 2"},
        ReadErrorCase{"truncated_literal", "nul",
                      "EOF while parsing a value at line 1 column 3"},
        ReadErrorCase{"wrong_literal", "nulx",
                      "expected ident at line 1 column 4"},
        ReadErrorCase{"capital_true", "True",
                      "expected value at line 1 column 1"},
        ReadErrorCase{"leading_zero", "01",
                      "invalid number at line 1 column 2"},
        ReadErrorCase{"lone_minus", "-", "invalid number at line 1 column 1"},
        ReadErrorCase{"plus_sign", "+1", "expected value at line 1 column 1"},
        ReadErrorCase{"point_at_end", "1.",
                      "EOF while parsing a value at line 1 column 2"},
        ReadErrorCase{"point_without_digits", "1.x",
                      "invalid number at line 1 column 3"},
        ReadErrorCase{"leading_point", ".5",
                      "expected value at line 1 column 1"},
        ReadErrorCase{"exponent_at_end", "1e",
                      "EOF while parsing a value at line 1 column 2"},
        ReadErrorCase{"exponent_without_digits", "1e+]",
                      "invalid number at line 1 column 4"},
        ReadErrorCase{"too_large", "1e400",
                      "number out of range at line 1 column 5"},
        ReadErrorCase{"multi_line", "{\n  \"a\": 1,\n  \"b\": x\n}",
                      "expected value at line 3 column 8"},
        ReadErrorCase{"multi_line_eof", "[\n  1,\n  2",
                      "EOF while parsing a list at line 3 column 3"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Round trip

class JsonRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(JsonRoundTrip, WriteThenReadGivesTheSameValue) {
  const JsonValue original = parse_or_fail(GetParam());
  for (const bool pretty : {false, true}) {
    const std::string text = write_json(original, pretty);
    EXPECT_EQ(parse_or_fail(text), original) << text;
    // The text is canonical: writing what was read gives the same text.
    EXPECT_EQ(write_json(parse_or_fail(text), pretty), text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, JsonRoundTrip,
    ::testing::Values(
        "null", "true", "\"\"", "0", "-1", "18446744073709551615",
        "-9223372036854775808", "0.1", "5.0", "1e300", "-2.5e-300",
        R"({"@context":"https://schema.org","@type":"Thing","name":"caf\u00e9"})",
        R"([[],{},[[{}]],{"a":[{"b":{"c":[]}}]}])",
        R"(["\u0000\u001f\"\\/\b\f\n\r\t","\ud83d\ude00","</script>","\u007f"])",
        R"({"z":1,"y":{"x":[1,-1,1.5,true,false,null]}})"));

// ---------------------------------------------------------------------------
// Development checks: a misused writer or decoder stops at the call.

struct MisuseCase {
  const char* name;
  void (*misuse)();
};

void PrintTo(const MisuseCase& c, std::ostream* os) { *os << c.name; }

class DebugCheckTest : public ::testing::TestWithParam<MisuseCase> {};

TEST_P(DebugCheckTest, AbortsNamingTheBrokenCondition) {
  if (!ZELKO_DEBUG_CHECKS_ACTIVE) GTEST_SKIP() << "checks compiled out";
  EXPECT_DEATH(GetParam().misuse(), "debug check failed: ");
}

INSTANTIATE_TEST_SUITE_P(
    Misuse, DebugCheckTest,
    ::testing::Values(MisuseCase{"key outside any object",
                                 [] {
                                   std::string out;
                                   JsonWriter(out, false).key("a");
                                 }},
                      MisuseCase{"key after key",
                                 [] {
                                   std::string out;
                                   JsonWriter writer(out, false);
                                   writer.begin_object();
                                   writer.key("a");
                                   writer.key("b");
                                 }},
                      MisuseCase{"end_object with nothing open",
                                 [] {
                                   std::string out;
                                   JsonWriter(out, true).end_object();
                                 }},
                      MisuseCase{"end_array with nothing open",
                                 [] {
                                   std::string out;
                                   JsonWriter(out, true).end_array();
                                 }},
                      MisuseCase{"end_object after a key without its value",
                                 [] {
                                   std::string out;
                                   JsonWriter writer(out, false);
                                   writer.begin_object();
                                   writer.key("a");
                                   writer.end_object();
                                 }},
                      MisuseCase{"decode past the end", [] {
                                   static_cast<void>(decode_utf8_at("ab", 2));
                                 }}));

}  // namespace
}  // namespace zelko
