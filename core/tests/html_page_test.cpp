#include "zelko/html_page.hpp"
#include "zelko/jsonld_summary.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

PageHtml read(std::string_view html, bool want_links = true) {
  auto page = read_html_page(html, want_links);
  EXPECT_TRUE(page) << html;
  return page ? std::move(*page) : PageHtml{};
}

TEST(HtmlPage, ReadsTheHeadsOwnElementsAsTheTreeHoldsThem) {
  const PageHtml page = read(
      R"(<!doctype html><html><head lang="en"><meta charset="utf-8">)"
      R"(<title>A &amp; &lt;b&gt;&nbsp;c</title><title>second</title>)"
      R"(<meta name=" Description " content='x "y"'><meta name="description" content="later">)"
      R"(<meta property="og:title" content="T"><meta property="og:title" content="T2">)"
      R"(<meta name="twitter:card" content=summary><META NAME="ROBOTS" CONTENT="noindex">)"
      R"(<meta name="robots" content="nofollow" name="ignored">)"
      R"(<link rel="Canonical  alternate" href=" https://a.example/x&amp;y " hreflang="en">)"
      R"(<link rel="canonical" href="https://a.example/other">)"
      R"(<!-- <meta name="description" content="comment"> --><noscript>)"
      R"(<meta name="robots" content="none"></noscript><template><meta name="robots" )"
      R"(content="noarchive"></template></head><body><meta name="robots" content="noimageindex">)"
      R"(<link rel="canonical" href="/body"></body></html>)");
  const HeadFacts& facts = page.head;
  EXPECT_EQ(facts.title,
            "A & <b>\xC2\xA0"
            "c");
  EXPECT_EQ(facts.description, "x \"y\"");
  EXPECT_EQ(facts.canonical, "https://a.example/x&y");
  EXPECT_EQ(facts.robots, (std::vector<std::string>{"noindex", "nofollow"}));
  EXPECT_EQ(facts.open_graph, (std::vector<TextPair>{{"og:title", "T"}}));
  EXPECT_EQ(facts.twitter,
            (std::vector<TextPair>{{"twitter:card", "summary"}}));
  EXPECT_EQ(facts.hreflang,
            (std::vector<TextPair>{{"en", "https://a.example/x&y"}}));
}

// Few tags are deduplicated pairwise, many by sorting: both keep the first
// value of each key, in the order keys first appear.
TEST(HtmlPage, KeepsTheFirstValueOfEachKeyHoweverManyTagsThereAre) {
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
    EXPECT_EQ(read(head + "</head>").head.open_graph, expected) << keys;
  }
}

TEST(HtmlPage, CountsTheExtrasAContractAsksFor) {
  const PageHtml page = read(
      R"(<head><link rel="icon shortcut" href="/a.ico"><link rel="icon" href="">)"
      R"(<link rel="apple-touch-icon" href="/t.png"><link rel="manifest" href="/m">)"
      R"(<link rel="alternate" type="Application/RSS+XML; charset=utf-8" href="/f">)"
      R"(<link rel="alternate" type="text/html" href="/g"><meta name="al:ios:url" content="x">)"
      R"(<meta name="al:android:package" content="y"><meta property="OG:IMAGE " content="i">)"
      R"(<meta property="og:image" content="j"><meta name="keywords">)"
      R"(<meta name="google-site-verification" content></head>)"
      R"(<body><link rel="icon" href="/body.ico"></body>)");
  const std::vector<std::pair<std::string_view, std::uint32_t>> expected = {
      {"icon", 1},     {"apple-touch-icon", 1},    {"manifest", 1},
      {"feed", 1},     {"app_links", 2},           {"og:image", 2},
      {"keywords", 0}, {"verification.google", 1}, {"mask-icon", 0}};
  for (const auto& [key, count] : expected)
    EXPECT_EQ(count_of(page.head, key), count) << key;
}

struct TitleCase {
  std::string_view html;
  std::optional<std::string> title;
};

TEST(HtmlPage, TakesTheHeadsTitleElseThePagesFirst) {
  const std::vector<TitleCase> cases = {
      {"<title>a</title><p><title>b</title>", "a"},
      // A title after content belongs to the body: the page's first counts.
      {"<p>x</p><title>b</title><title>c</title>", "b"},
      {"<svg><title>s<tspan>v</tspan>g</title></svg>", "svg"},
      {"<head><title></title></head><body><title>b</title>", ""},
      {"<template><title>t</title></template>", std::nullopt},
      {"<p>no title</p>", std::nullopt},
  };
  for (const auto& [html, title] : cases) {
    EXPECT_EQ(read(html).head.title, title) << html;
  }
}

struct ScriptCase {
  std::string_view html;
  std::vector<std::string> jsonld;
};

TEST(HtmlPage, ReadsEveryJsonLdScriptInDocumentOrder) {
  const std::vector<ScriptCase> cases = {
      {R"(<script type="application/ld+json">{"a":"</b>"}</script>)"
       R"(<p><script type=" APPLICATION/LD+JSON ; charset=utf-8">[1]</script>)",
       {R"({"a":"</b>"})", "[1]"}},
      // Python's str.strip() takes Unicode white space too.
      {"<script type=\"\xC2\xA0\xE2\x80\x80"
       "application/ld+json\xE3\x80\x80\">1</script>",
       {"1"}},
      {R"(<script type="application/json">1</script><script>2</script>)"
       R"(<script type>3</script><script type="application/ld+jsonx">4</script>)"
       R"(<template><script type="application/ld+json">5</script></template>)",
       {}},
      {R"(<svg><script type="application/ld+json">a<g>b</g>&amp;</script></svg>)",
       {"ab&"}},
      // A script inside a JSON-LD script is part of its text only; one
      // inside another script is read.
      {R"(<svg><script type="application/ld+json">a<script type="application/ld+json">)"
       R"(b</script>c</script><script type="application/ld+json">d</script></svg>)",
       {"abc", "d"}},
      {R"(<svg><script>a<script type="application/ld+json">b</script></script></svg>)",
       {"b"}},
  };
  for (const auto& [html, jsonld] : cases) {
    EXPECT_EQ(read(html).jsonld, jsonld) << html;
  }
}

TEST(HtmlPage, ReadsLinksOnlyWhenAskedFor) {
  constexpr std::string_view html =
      R"(<head><a href="/h">x</a></head><a href=" /a ">a</a><a href>b</a>)"
      R"(<a>c</a><a HREF="/b&amp;c" href="/dup"></a><svg><a xlink:href="/x"></a>)"
      R"(<a href="/svg"></a></svg>)";
  EXPECT_EQ(read(html).links,
            (std::vector<std::string>{"/h", " /a ", "/b&c", "/svg"}));
  EXPECT_TRUE(read(html, false).links.empty());
}

// Up to the limit a page is read whatever its nesting; past it, nothing is
// read, whatever nests (the limit bounds the parser's time: nested <div>s
// cost it the square of their depth).
TEST(HtmlPage, ReadsPagesNestedUpToTheLimitAndNoDeeper) {
  for (const std::string_view element : {"<div>", "<span>", "<svg>"}) {
    for (const std::size_t depth :
         {kMaxOpenElements - 10, kMaxOpenElements + 10, std::size_t{100000}}) {
      std::string html = "<title>t</title>";
      for (std::size_t level = 0; level < depth; ++level) html += element;
      html += R"(<a href="/deep">x</a>)";
      const PageHtml page = read(html);
      const bool readable = depth < kMaxOpenElements;
      EXPECT_EQ(page.unread.has_value(), !readable) << element << depth;
      EXPECT_EQ(page.links.size(), readable ? 1U : 0U) << element << depth;
      EXPECT_EQ(page.head.title.has_value(), readable) << element << depth;
    }
  }
}

// Each text node of the page is read once: scripts nested in scripts do not
// multiply the page's text.
TEST(HtmlPage, ReadsNoMoreScriptTextThanThePageHolds) {
  std::string html = "<svg>";
  for (int level = 0; level < 500; ++level) {
    html += R"(<script type="application/ld+json">x<a href="/l">y</a>)";
  }
  const PageHtml page = read(html);
  std::size_t text = 0;
  for (const std::string& script : page.jsonld) text += script.size();
  EXPECT_LE(text, html.size());
  ASSERT_EQ(page.jsonld.size(), 1U);
  EXPECT_EQ(page.jsonld[0].size(), 1000U);
  EXPECT_EQ(page.links.size(), 500U);  // links inside scripts still count
}

TEST(HtmlPage, ReadsBytesAsTheyAre) {
  // Invalid UTF-8 and NUL pass into the tree as the parser leaves them.
  const std::string html("<title>a\xFF\0b</title>", 17);
  const PageHtml page = read(html);
  ASSERT_TRUE(page.head.title);
  EXPECT_TRUE(page.head.title->starts_with("a\xFF")) << *page.head.title;
  EXPECT_EQ(read("").head.extra_counts.size(), head_extra_keys().size());
}

bool same_page(const PageHtml& a, const PageHtml& b) {
  const HeadFacts& x = a.head;
  const HeadFacts& y = b.head;
  return x.title == y.title && x.description == y.description &&
         x.canonical == y.canonical && x.robots == y.robots &&
         x.open_graph == y.open_graph && x.twitter == y.twitter &&
         x.hreflang == y.hreflang && x.extra_counts == y.extra_counts &&
         a.jsonld == b.jsonld && a.links == b.links && a.unread == b.unread;
}

// One reader over many pages reads each as a fresh parser would, whatever
// came before: a page cut off for its depth, an unclosed script or
// template, a frameset.
TEST(HtmlPageReader, ReadsEachPageAsIfItWereTheFirst) {
  const std::vector<std::string> pages = {
      R"(<title>One</title><meta name="description" content="d">)"
      R"(<link rel="canonical" href="/a"><a href="/x">x</a>)",
      [] {
        std::string deep;
        for (int level = 0; level < 600; ++level) deep += "<div>";
        return deep + "<title>deep</title>";
      }(),
      R"(<script type="application/ld+json">{"@type": "A"})",
      "<template><title>t</title><meta name=robots content=noindex>",
      "<frameset><frame></frameset><a href='/f'>",
      "",
      R"(<svg><title>s</title></svg><head><meta property="og:title")"
      R"( content="o"></head>)",
  };
  HtmlPageReader reader;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& html : pages) {
      const auto fresh = read_html_page(html, true);
      const auto reused = reader.read(html, true);
      ASSERT_TRUE(fresh && reused) << html;
      EXPECT_TRUE(same_page(*fresh, *reused)) << html;
    }
  }
  EXPECT_TRUE(reader.read(pages[1], false)->unread);
  EXPECT_EQ(reader.read(pages[0], false)->head.title, "One");
}

// The JSON-LD summary: nodes and types as the full reading finds them, and
// nullopt for every script the full reading must see.
TEST(JsonLdSummary, CountsNodesAndTypesOrDefers) {
  struct Row {
    std::vector<std::string> scripts;
    std::optional<std::uint32_t> nodes;  // nullopt: deferred
    std::vector<std::string> types;
  };
  const std::vector<Row> rows = {
      {{}, 0, {}},
      {{R"({"@type": "Article", "author": {"@type": "Person"}})"},
       1,
       {"Article"}},
      {{R"([{"@type": ["A", 1, "B", ["C"]]}, 2, [{"@type": "D"}], {}])"},
       2,
       {"A", "B"}},
      // A graph's holder is a node only with a type of its own.
      {{R"({"@context": "x", "@graph": [{"@type": "A"}, 3, {"b": 1}]})"},
       2,
       {"A"}},
      {{R"({"@type": "W", "@graph": [{"@type": "A", "@graph": []}]})"},
       2,
       {"W", "A"}},
      {{R"({"@graph": {"@type": "A"}})", R"("text")", "[]"}, 1, {}},
      {{R"({"@graph": [[{"@type": "A"}], {"@type": "B"}]})"}, 1, {"B"}},
      {{R"({"@type": {"@type": "A"}, "x": ["@type"]})"}, 1, {}},
      {{R"({"\u0040type": "Escaped"})"}, 1, {"Escaped"}},
      {{R"({"a": 1})", "{"}, std::nullopt, {}},
      // An id naming a page, given alone, is neither a node nor a
      // reference to one; anything else about ids is deferred.
      {{R"({"a": {"@id": "https://x.example/p", "@context": "c"}})"}, 1, {}},
      {{R"({"a": {"@id": "#x"}})"}, std::nullopt, {}},
      {{R"({"a": {"@id": "_:b0"}})"}, std::nullopt, {}},
      {{R"({"a": {"@id": "https://x.example/p", "b": 1}})"}, std::nullopt, {}},
      {{R"({"a": {"@id": 5}})"}, std::nullopt, {}},
      {{R"({"a": {"@id": "p", "@id": "q"}})"}, std::nullopt, {}},
      {{R"({"@type": "A", "@type": "B"})"}, std::nullopt, {}},
      {{R"({"@graph": [], "@graph": []})"}, std::nullopt, {}},
      {{"\xEF\xBB\xBF{}"}, std::nullopt, {}},
      {{R"({"a": NaN})"}, std::nullopt, {}},
      {{R"({"a": "\ud800"})"}, std::nullopt, {}},
      {{std::string(129, '[') + std::string(129, ']')}, std::nullopt, {}},
      {{std::string(128, '[') + std::string(128, ']')}, 0, {}},
  };
  for (const Row& row : rows) {
    const auto summary = summarize_jsonld(row.scripts);
    const std::string shown = row.scripts.empty() ? "" : row.scripts.back();
    ASSERT_EQ(summary.has_value(), row.nodes.has_value()) << shown;
    if (!summary) continue;
    EXPECT_EQ(summary->scripts, row.scripts.size()) << shown;
    EXPECT_EQ(summary->nodes, *row.nodes) << shown;
    EXPECT_EQ(summary->types, row.types) << shown;
  }
}

}  // namespace
}  // namespace zelko
