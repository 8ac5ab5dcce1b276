#include "zelko/head_facts.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelko {
namespace {

std::uint32_t count_of(const HeadFacts& facts, std::string_view key) {
  const auto keys = head_extra_keys();
  for (std::size_t row = 0; row < keys.size(); ++row) {
    if (keys[row].key == key) return facts.extra_counts.at(row);
  }
  ADD_FAILURE() << "no key " << key;
  return 0;
}

TEST(HeadFacts, ReadsTheHeadsOwnElementsAndDecodesTheirText) {
  const auto facts = read_head_facts(
      R"(<head lang="en"><meta charset="utf-8"><title>A &amp; &lt;b&gt;&nbsp;c</title>)"
      R"(<title>second</title><meta name=" Description " content="x &quot;y&quot;">)"
      R"(<meta name="description" content="later"><meta property="og:title" content="T">)"
      R"(<meta property="og:title" content="T2"><meta name="twitter:card" content="summary">)"
      R"(<meta name="ROBOTS" content="noindex"><meta name="robots" content="nofollow">)"
      R"(<link rel="Canonical  alternate" href=" https://a.example/x&amp;y " hreflang="en">)"
      R"(<link rel="canonical" href="https://a.example/other">)"
      R"(<script type="application/ld+json">{"a":"</b>"}</script><style>a>b{}</style>)"
      R"(<!-- <meta name="description" content="comment"> --><noscript>)"
      R"(<meta name="robots" content="none"><style>x</style></noscript></head>)");
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->title,
            "A & <b>\xC2\xA0"
            "c");
  EXPECT_EQ(facts->description, "x \"y\"");
  EXPECT_EQ(facts->canonical, "https://a.example/x&y");
  EXPECT_EQ(facts->robots, (std::vector<std::string>{"noindex", "nofollow"}));
  EXPECT_EQ(facts->open_graph, (std::vector<TextPair>{{"og:title", "T"}}));
  EXPECT_EQ(facts->twitter,
            (std::vector<TextPair>{{"twitter:card", "summary"}}));
  EXPECT_EQ(facts->hreflang,
            (std::vector<TextPair>{{"en", "https://a.example/x&y"}}));
}

// Few tags are deduplicated pairwise, many by sorting: both keep the first
// value of each key, in the order keys first appear.
TEST(HeadFacts, KeepsTheFirstValueOfEachKeyHoweverManyTagsThereAre) {
  for (const int keys : {3, 40}) {
    std::string head = "<head>";
    std::vector<TextPair> expected;
    for (int round = 0; round < 2; ++round) {
      for (int key = keys - 1; key >= 0; --key) {
        const std::string name = "og:k" + std::to_string(key);
        const std::string value = std::to_string(round);
        head +=
            R"(<meta property=")" + name + R"(" content=")" + value + R"(">)";
        if (round == 0) expected.emplace_back(name, value);
      }
    }
    const auto facts = read_head_facts(head + "</head>");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->open_graph, expected) << keys;
  }
}

TEST(HeadFacts, CountsTheExtrasAContractAsksFor) {
  const auto facts = read_head_facts(
      R"(<head><link rel="icon shortcut" href="/a.ico"><link rel="icon" href="">)"
      R"(<link rel="apple-touch-icon" href="/t.png"><link rel="manifest" href="/m">)"
      R"(<link rel="alternate" type="Application/RSS+XML; charset=utf-8" href="/f">)"
      R"(<link rel="alternate" type="text/html" href="/g"><meta name="al:ios:url" content="x">)"
      R"(<meta name="al:android:package" content="y"><meta property="OG:IMAGE " content="i">)"
      R"(<meta property="og:image" content="j"><meta name="keywords">)"
      R"(<meta name="google-site-verification" content=""></head>)");
  ASSERT_TRUE(facts);
  const std::vector<std::pair<std::string_view, std::uint32_t>> expected = {
      {"icon", 1},     {"apple-touch-icon", 1},    {"manifest", 1},
      {"feed", 1},     {"app_links", 2},           {"og:image", 2},
      {"keywords", 0}, {"verification.google", 1}, {"mask-icon", 0}};
  for (const auto& [key, count] : expected)
    EXPECT_EQ(count_of(*facts, key), count) << key;
}

TEST(HeadFacts, RefusesWhatTheSerializerDoesNotWrite) {
  for (const char* text : {
           "",
           "<head>",
           "<head></head>trailing",
           "<head><template><meta name=\"a\" content=\"b\"></template></head>",
           "<head><meta name='a' content='b'></head>",
           "<head><meta name=a content=b></head>",
           "<head><meta content=\"&copy;\"></head>",
           "<head><title>never closed</head>",
           "<head><div></div></head>",
           "<head><noscript><noscript></noscript></noscript></head>",
           "<head><!-- never closed </head>",
           "<head><meta content=\"x></head>",
       }) {
    EXPECT_FALSE(read_head_facts(text)) << text;
  }
}

TEST(HeadFacts, ReadsAttributeNamesTheTokenizerAllows) {
  const auto facts = read_head_facts(
      R"(<head><meta =b="" c'd="e" a<b="" name="description" content="d"></head>)");
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->description, "d");
}

}  // namespace
}  // namespace zelko
