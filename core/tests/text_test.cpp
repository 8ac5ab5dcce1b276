#include "text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace zelko {
namespace {

using namespace std::string_literals;

// ------------------------------------------------------------ White_Space --

TEST(WhiteSpace, ContainsExactlyTheListedCodePoints) {
  const std::vector<char32_t> listed = {
      0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,   0xA0,   0x1680,
      0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
      0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  std::size_t count = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (is_white_space(cp)) ++count;
  }
  EXPECT_EQ(count, listed.size());
  for (const char32_t cp : listed)
    EXPECT_TRUE(is_white_space(cp)) << static_cast<unsigned>(cp);
}

TEST(WhiteSpace, NeighboursAndLookalikesAreNotWhiteSpace) {
  for (const char32_t cp : {0x08, 0x0E, 0x1F, 0x21, 0x84, 0x86, 0x200B, 0x200D,
                            0x2060, 0xFEFF, 0x180E}) {
    EXPECT_FALSE(is_white_space(cp)) << static_cast<unsigned>(cp);
  }
}

struct TrimCase {
  std::string input;
  std::string expected;
};

class TrimWhiteSpace : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimWhiteSpace, RemovesOnlyOuterWhiteSpace) {
  EXPECT_EQ(trim_white_space(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimWhiteSpace,
    ::testing::Values(
        TrimCase{"", ""}, TrimCase{"abc", "abc"},
        TrimCase{" \t\n\v\f\r abc \r\n", "abc"}, TrimCase{"a b\tc", "a b\tc"},
        // U+00A0, U+0085, U+1680, U+2003, U+2028, U+3000 at both ends.
        TrimCase{"\u00A0\u0085\u1680x\u2003\u2028\u3000", "x"},
        TrimCase{"\u202F\u205F\u2029", ""},
        // U+200B ZERO WIDTH SPACE is not White_Space.
        TrimCase{"\u200Bx\u200B", "\u200Bx\u200B"},
        // A lone continuation byte or a truncated sequence is not white space
        // and stops the trim without being damaged.
        TrimCase{" \x80 "s, "\x80"s}, TrimCase{" \xC2"s, "\xC2"s},
        TrimCase{"\xE2\x80 "s, "\xE2\x80"s},
        // A truncated lead before a complete U+00A0 leaves the lead alone.
        TrimCase{"x\xE2\xC2\xA0"s, "x\xE2"s}));

TEST(UsableValue, AbsentBlankAndPresentValues) {
  EXPECT_FALSE(usable_value(std::nullopt).has_value());
  EXPECT_FALSE(usable_value(std::optional<std::string>("")).has_value());
  EXPECT_FALSE(
      usable_value(std::optional<std::string>(" \t\u3000")).has_value());
  const std::optional<std::string> value(" \u00A0Title  ");
  const auto usable = usable_value(value);
  ASSERT_TRUE(usable.has_value());
  EXPECT_EQ(*usable, "Title");
  // The view points into the candidate: nothing was copied.
  EXPECT_GE(usable->data(), value->data());
  EXPECT_LE(usable->data() + usable->size(), value->data() + value->size());
}

// -------------------------------------------------------------- lowercase --

struct LowerCase {
  std::string input;
  std::string expected;
};

class ToLowerFull : public ::testing::TestWithParam<LowerCase> {};

TEST_P(ToLowerFull, MapsLikeTheRootLocale) {
  EXPECT_EQ(to_lower_full(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToLowerFull,
    ::testing::Values(
        LowerCase{"", ""}, LowerCase{"/About-Us/2024", "/about-us/2024"},
        LowerCase{"/Über/ΟΔΟΣ", "/über/οδο\u03C2"},
        // Final sigma only at the end of a word; a medial sigma stays σ.
        LowerCase{"ΣΟΦΟΣ ΟΔΟΣ/ΑΣ", "\u03C3οφο\u03C2 οδο\u03C2/α\u03C2"},
        // U+0130 lowercases to "i" plus U+0307 in the root locale: longer.
        LowerCase{"İ", "i\u0307"},
        // Dotless I keeps the root mapping (no Turkish rule).
        LowerCase{"I", "i"}, LowerCase{"ẞ", "ß"},
        // Characters without a lowercase mapping stay unchanged.
        LowerCase{"日本語-123_ß", "日本語-123_ß"},
        // Ill-formed bytes are copied unchanged; their neighbours still map.
        LowerCase{"A\xFF"
                  "B\xC3"s,
                  "a\xFF"
                  "b\xC3"s},
        LowerCase{"Ä\xED\xA0\x80Ö"s, "ä\xED\xA0\x80ö"s},
        LowerCase{"\x80\x80Σ"s, "\x80\x80σ"s}));

TEST(ToLowerFull, LongMixedTextKeepsItsLength) {
  std::string input;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    input += "AÄ";
    expected += "aä";
  }
  EXPECT_EQ(to_lower_full(input), expected);
}

// ------------------------------------------------------------ code points --

TEST(CountScalars, CountsEachInvalidByteAsOne) {
  EXPECT_EQ(count_scalars(""), 0u);
  EXPECT_EQ(count_scalars("abc"), 3u);
  EXPECT_EQ(count_scalars("über"), 4u);
  EXPECT_EQ(count_scalars("日本"), 2u);
  EXPECT_EQ(count_scalars("😀a"), 2u);
  EXPECT_EQ(count_scalars("\xE2\x82"s), 2u);
  EXPECT_EQ(count_scalars("\xF0\x80\x80\x80"s), 4u);
  EXPECT_EQ(count_scalars("a\xFF"
                          "b"s),
            3u);
}

struct DecodeCase {
  std::string input;
  std::vector<char32_t> code_points;
  std::vector<std::size_t> positions;  // pos after each step
};

class NextCodePoint : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(NextCodePoint, DecodesStrictlyAndStepsOneByteOnError) {
  const DecodeCase& c = GetParam();
  std::size_t pos = 0;
  std::vector<char32_t> seen;
  std::vector<std::size_t> positions;
  while (pos < c.input.size()) {
    seen.push_back(next_code_point(c.input, pos));
    positions.push_back(pos);
  }
  EXPECT_EQ(seen, c.code_points);
  EXPECT_EQ(positions, c.positions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NextCodePoint,
    ::testing::Values(
        DecodeCase{"a", {U'a'}, {1}},
        DecodeCase{
            "\u00E9\u20AC\U0001F600", {0xE9, 0x20AC, 0x1F600}, {2, 5, 9}},
        DecodeCase{"\xF4\x8F\xBF\xBF"s, {0x10FFFF}, {4}},
        // Overlong, surrogate, past U+10FFFF, truncated: one byte each.
        DecodeCase{"\xC0\xAF"s, {0xFFFD, 0xFFFD}, {1, 2}},
        DecodeCase{"\xED\xA0\x80"s, {0xFFFD, 0xFFFD, 0xFFFD}, {1, 2, 3}},
        DecodeCase{"\xF4\x90\x80\x80"s,
                   {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD},
                   {1, 2, 3, 4}},
        DecodeCase{"\xE2\x82"
                   "a"s,
                   {0xFFFD, 0xFFFD, U'a'},
                   {1, 2, 3}}));

TEST(NextCodePoint, AtTheEndYieldsReplacementAndDoesNotMove) {
  std::size_t pos = 3;
  EXPECT_EQ(next_code_point("abc", pos), 0xFFFDu);
  EXPECT_EQ(pos, 3u);
}

TEST(AppendUtf8, EncodesEveryLengthAndReplacesNonScalars) {
  std::string out;
  for (const char32_t cp :
       {char32_t{0x41}, char32_t{0xE9}, char32_t{0x20AC}, char32_t{0x1F600},
        char32_t{0xD800}, char32_t{0x110000}}) {
    append_utf8(out, cp);
  }
  EXPECT_EQ(out, "A\u00E9\u20AC\U0001F600\uFFFD\uFFFD");
}

TEST(AppendUtf8, RoundTripsThroughNextCodePoint) {
  for (char32_t cp = 0; cp <= 0x10FFFF; cp += 97) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string encoded;
    append_utf8(encoded, cp);
    std::size_t pos = 0;
    ASSERT_EQ(next_code_point(encoded, pos), cp);
    ASSERT_EQ(pos, encoded.size());
  }
}

// ----------------------------------------------------------- valid UTF-8 --

struct RepairCase {
  std::string input;
  std::string expected;
};

class ToValidUtf8 : public ::testing::TestWithParam<RepairCase> {};

TEST_P(ToValidUtf8, ReplacesEachMaximalSubpart) {
  const RepairCase& c = GetParam();
  const std::string repaired = to_valid_utf8(c.input);
  EXPECT_EQ(repaired, c.expected);
  EXPECT_TRUE(is_valid_utf8(repaired));
  EXPECT_EQ(is_valid_utf8(c.input), c.input == c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToValidUtf8,
    ::testing::Values(
        RepairCase{"", ""}, RepairCase{"plain ü 日 😀", "plain ü 日 😀"},
        RepairCase{"\uFFFD", "\uFFFD"},
        // A truncated three-byte sequence is one maximal subpart.
        RepairCase{"\xE2\x82"
                   "a"s,
                   "\uFFFDa"},
        // F0 80: 80 cannot follow F0, so each byte is its own subpart.
        RepairCase{"\xF0\x80\x80"s, "\uFFFD\uFFFD\uFFFD"},
        RepairCase{"\xF0\x9F\x98"s, "\uFFFD"},
        RepairCase{"\xED\xA0\x80"s, "\uFFFD\uFFFD\uFFFD"},
        RepairCase{"\xC0\xAF"s, "\uFFFD\uFFFD"},
        RepairCase{"\xF5\xFF"s, "\uFFFD\uFFFD"},
        RepairCase{"a\x80"
                   "b\xE0\xA0"
                   "c"s,
                   "a\uFFFDb\uFFFDc"}));

struct CaseFoldCase {
  std::string a;
  std::string b;
  bool equal;
};

class EqualsAsciiCaseInsensitive
    : public ::testing::TestWithParam<CaseFoldCase> {};

TEST_P(EqualsAsciiCaseInsensitive, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(equals_ascii_case_insensitive(GetParam().a, GetParam().b),
            GetParam().equal);
  EXPECT_EQ(equals_ascii_case_insensitive(GetParam().b, GetParam().a),
            GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EqualsAsciiCaseInsensitive,
    ::testing::Values(CaseFoldCase{"", "", true},
                      CaseFoldCase{"Published", "pUBLISHED", true},
                      CaseFoldCase{"published", "published ", false},
                      CaseFoldCase{"Ü", "ü", false},
                      // '@' and '`' sit next to the letters but do not fold.
                      CaseFoldCase{"@", "`", false},
                      CaseFoldCase{"[", "{", false}));

}  // namespace
}  // namespace zelko
