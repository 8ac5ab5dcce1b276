#include "zelko/head.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "url_parser.hpp"
#include "zelko/html.hpp"

namespace zelko {
namespace {

SEOPayload minimal_payload() {
  SEOPayload payload;
  payload.title = "Hello";
  payload.canonical = "https://example.com/hello";
  payload.robots = "index,follow";
  payload.og.type = "website";
  payload.twitter.card = "summary";
  return payload;
}

SEOConfig site_config() {
  SEOConfig config;
  config.canonical_host = "example.com";
  config.public_base_url = "https://example.com/shop/";
  return config;
}

Robots noindex() {
  Robots robots;
  robots.index = false;
  return robots;
}

RobotsExtra nosnippet() {
  RobotsExtra extra;
  extra.nosnippet = true;
  return extra;
}

TEST(HeadTest, WithoutExtrasItIsThePayloadsHead) {
  const SEOPayload payload = minimal_payload();
  EXPECT_EQ(*render_head(payload, {}, site_config()), *render_html(payload));
  SiteHead empty_site;
  PageHead empty_page;
  EXPECT_EQ(
      *render_head(payload, {{}, &empty_site, &empty_page}, site_config()),
      *render_html(payload));
}

// A site and a page with every kind of extra, hostile text and URLs of every
// form among them.
SiteHead full_site() {
  SiteHead site;
  site.application_name = "Shop";
  site.theme_color = {{"#fff", std::nullopt},
                      {"#000", "(prefers-color-scheme: dark)"}};
  site.icons = {{"/favicon.ico", IconRel::Icon, "32x32", std::nullopt,
                 std::nullopt, std::nullopt},
                {"https://cdn.example.net/m.svg?v=2", IconRel::MaskIcon,
                 std::nullopt, std::nullopt, std::nullopt, "#5bbad5"}};
  site.manifest = "site.webmanifest";
  site.feeds = {{"/feed.xml?x=1&y=2", FeedType::Atom, "News \"&\" <notes>"}};
  site.verification.google = "g-code";
  site.verification.other = {{"seznam-wmt", "s"}};
  site.twitter_site_id = "123";
  site.app_links.ios_app_store_id = "42";
  site.app_links.web_url = "/app";
  site.meta = {{"format-detection", "telephone=no"}};
  return site;
}

PageHead full_page() {
  PageHead page;
  page.keywords = {"coffee", "beans"};
  page.robots =
      RobotsExtra{.noarchive = true, .unavailable_after = "2030-01-01"};
  page.googlebot = CrawlerRobots{noindex(), nosnippet()};
  page.images = {{"/a.png?w=1", 10, 20, "A"}};
  page.videos = {{"/v.mp4", "video/mp4", 640, std::nullopt, std::nullopt}};
  page.article = ArticleMeta{"2024-05-01T08:00:00Z", std::nullopt, std::nullopt,
                             {"Ann", "Bob"},         "News",       {"a", "b"}};
  return page;
}

TEST(HeadTest, EveryExtraInItsOrderEscapedAndResolved) {
  const SiteHead site = full_site();
  const PageHead page = full_page();
  const HeadExtras extras{
      {{"de", "https://example.com/de/hello"}}, &site, &page};
  const std::string head =
      *render_head(minimal_payload(), extras, site_config());
  const std::string payload_part =
      "<title>Hello</title>\n"
      "<link rel=\"canonical\" href=\"https://example.com/hello\">\n"
      "<meta name=\"robots\" "
      "content=\"index,follow,noarchive,unavailable_after: 2030-01-01\">\n";
  EXPECT_TRUE(head.starts_with(payload_part)) << head;
  const std::string extras_part =
      "<link rel=\"alternate\" hreflang=\"de\" "
      "href=\"https://example.com/de/hello\">\n"
      "<meta name=\"application-name\" content=\"Shop\">\n"
      "<meta name=\"theme-color\" content=\"#fff\">\n"
      "<meta name=\"theme-color\" content=\"#000\" "
      "media=\"(prefers-color-scheme: dark)\">\n"
      "<link rel=\"icon\" href=\"https://example.com/favicon.ico\" "
      "sizes=\"32x32\">\n"
      "<link rel=\"mask-icon\" href=\"https://cdn.example.net/m.svg?v=2\" "
      "color=\"#5bbad5\">\n"
      "<link rel=\"manifest\" "
      "href=\"https://example.com/shop/site.webmanifest\">\n"
      "<link rel=\"alternate\" type=\"application/atom+xml\" "
      "title=\"News &quot;&amp;&quot; &lt;notes&gt;\" "
      "href=\"https://example.com/feed.xml?x=1&amp;y=2\">\n"
      "<meta name=\"google-site-verification\" content=\"g-code\">\n"
      "<meta name=\"seznam-wmt\" content=\"s\">\n"
      "<meta name=\"twitter:site:id\" content=\"123\">\n"
      "<meta property=\"al:ios:app_store_id\" content=\"42\">\n"
      "<meta property=\"al:web:url\" content=\"https://example.com/app\">\n"
      "<meta name=\"format-detection\" content=\"telephone=no\">\n"
      "<meta name=\"keywords\" content=\"coffee, beans\">\n"
      "<meta name=\"googlebot\" content=\"noindex,follow,nosnippet\">\n"
      "<meta property=\"og:image\" content=\"https://example.com/a.png?w=1\">\n"
      "<meta property=\"og:image:width\" content=\"10\">\n"
      "<meta property=\"og:image:height\" content=\"20\">\n"
      "<meta property=\"og:image:alt\" content=\"A\">\n"
      "<meta property=\"og:video\" content=\"https://example.com/v.mp4\">\n"
      "<meta property=\"og:video:type\" content=\"video/mp4\">\n"
      "<meta property=\"og:video:width\" content=\"640\">\n"
      "<meta property=\"article:published_time\" "
      "content=\"2024-05-01T08:00:00Z\">\n"
      "<meta property=\"article:author\" content=\"Ann\">\n"
      "<meta property=\"article:author\" content=\"Bob\">\n"
      "<meta property=\"article:section\" content=\"News\">\n"
      "<meta property=\"article:tag\" content=\"a\">\n"
      "<meta property=\"article:tag\" content=\"b\">\n";
  EXPECT_TRUE(head.ends_with(extras_part)) << head;
  EXPECT_EQ(head_etag(head), "\"" + head_hash(head) + "\"");
}

// The card takes the payload's picture's place in both groups, its route
// resolved and its alt escaped; the rest of the head is unchanged.
TEST(HeadTest, TheCardStandsWhereThePayloadsPictureWould) {
  SEOPayload payload = minimal_payload();
  payload.og.image = "https://example.com/own.jpg";
  payload.og.image_width = 640;
  payload.og.image_alt = "Own";
  payload.og.site_name = "Shop";
  payload.twitter.image = "https://example.com/own.jpg";
  payload.twitter.image_alt = "Own";
  payload.twitter.site = "@shop";
  const HeadCard card{"/og/og-0123.png", 1200, 630, "image/png",
                      "Tom & \"Jerry\""};
  HeadExtras extras;
  extras.card = &card;
  const Result<std::string> html = render_head(payload, extras, site_config());
  ASSERT_TRUE(html.ok());
  EXPECT_EQ(*html,
            "<title>Hello</title>\n"
            "<link rel=\"canonical\" href=\"https://example.com/hello\">\n"
            "<meta name=\"robots\" content=\"index,follow\">\n"
            "<meta property=\"og:type\" content=\"website\">\n"
            "<meta property=\"og:image\" "
            "content=\"https://example.com/og/og-0123.png\">\n"
            "<meta property=\"og:image:width\" content=\"1200\">\n"
            "<meta property=\"og:image:height\" content=\"630\">\n"
            "<meta property=\"og:image:type\" content=\"image/png\">\n"
            "<meta property=\"og:image:alt\" "
            "content=\"Tom &amp; &quot;Jerry&quot;\">\n"
            "<meta property=\"og:site_name\" content=\"Shop\">\n"
            "<meta name=\"twitter:card\" content=\"summary\">\n"
            "<meta name=\"twitter:image\" "
            "content=\"https://example.com/og/og-0123.png\">\n"
            "<meta name=\"twitter:image:alt\" "
            "content=\"Tom &amp; &quot;Jerry&quot;\">\n"
            "<meta name=\"twitter:site\" content=\"@shop\">\n");
}

TEST(HeadTest, AnUnresolvableBaseFailsTheWholeHead) {
  SiteHead site;
  site.manifest = "/m.json";
  SEOConfig config = site_config();
  config.public_base_url = "not a url";
  const Result<std::string> head =
      render_head(minimal_payload(), {{}, &site, nullptr}, config);
  ASSERT_FALSE(head.ok());
  EXPECT_EQ(head.error().field(), ErrorField::PublicBaseUrl);
}

// The site's elements written once and handed to every head of the site
// make the same bytes as the head writing them itself, for every base URL;
// a base that does not resolve fails both alike.
TEST(HeadTest, AKeptSiteBlockRendersTheSameHead) {
  SiteHead icon_only;
  icon_only.icons = {{"/i.png?a=1&b=2", IconRel::Icon, std::nullopt,
                      std::nullopt, std::nullopt, std::nullopt}};
  const SiteHead sites[] = {SiteHead{}, full_site(), icon_only};
  const PageHead page = full_page();
  const HeadCard card{"/og/c.png", 1200, 630, "image/png", "C"};
  for (const char* base :
       {"https://example.com/shop/", "http://127.0.0.1:8000/", "not a url",
        "https://EXAMPLE.com", "https://xn--bcher-kva.example/"}) {
    SEOConfig config = site_config();
    config.public_base_url = base;
    for (const SiteHead& site : sites) {
      SCOPED_TRACE(std::string(base));
      HeadExtras extras{{{"de", "https://example.com/de/hello"}}, &site, &page};
      extras.card = &card;
      const Result<std::string> direct =
          render_head(minimal_payload(), extras, config);
      const Result<std::string> block = render_site_block(site, base);
      if (!block.ok()) {
        ASSERT_FALSE(direct.ok());
        EXPECT_EQ(block.error(), direct.error());
        continue;
      }
      extras.site_block = &*block;
      const Result<std::string> kept =
          render_head(minimal_payload(), extras, config);
      ASSERT_EQ(kept.ok(), direct.ok());
      if (!direct.ok()) {
        EXPECT_EQ(kept.error(), direct.error());
        continue;
      }
      EXPECT_EQ(*kept, *direct);
      EXPECT_NE(direct->find(*block), std::string::npos);
    }
  }
}

struct Refusal {
  const char* name;
  Status (*check)(std::string& field);
  const char* field;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class HeadRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(HeadRefusalTest, NamesTheField) {
  std::string field;
  const Status status = GetParam().check(field);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind(), ErrorKind::Configuration);
  EXPECT_EQ(field, GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeadRefusalTest,
    ::testing::Values(
        Refusal{"duplicate theme media",
                [](std::string& field) {
                  SiteHead site;
                  site.theme_color = {{"#fff", "print"}, {"#000", "print"}};
                  return check_site_head(site, field);
                },
                "theme_color"},
        Refusal{"colour on a plain icon",
                [](std::string& field) {
                  SiteHead site;
                  site.icons = {{"/i.png", IconRel::Icon, std::nullopt,
                                 std::nullopt, std::nullopt, "#fff"}};
                  return check_site_head(site, field);
                },
                "icons"},
        Refusal{"meta naming the description",
                [](std::string& field) {
                  SiteHead site;
                  site.meta = {{"Description", "x"}};
                  return check_site_head(site, field);
                },
                "meta"},
        Refusal{"verification naming google's tag",
                [](std::string& field) {
                  SiteHead site;
                  site.verification.other = {{"google-site-verification", "x"}};
                  return check_site_head(site, field);
                },
                "verification"},
        Refusal{"page meta naming an og property",
                [](std::string& field) {
                  PageHead page;
                  page.meta = {{"og:title", "x"}};
                  return check_page_head(page, field);
                },
                "meta"},
        Refusal{"control character in a feed title",
                [](std::string& field) {
                  Feed feed{"/f.xml", FeedType::Rss, "a\nb"};
                  return check_head_record(feed, field);
                },
                "title"},
        Refusal{"line separator in a keyword",
                [](std::string& field) {
                  PageHead page;
                  page.keywords = {
                      "a\xE2\x80\xA8"
                      "b"};
                  return check_head_record(page, field);
                },
                "keywords"},
        Refusal{"icon on a javascript URL",
                [](std::string& field) {
                  Icon icon{
                      "javascript:alert(1)", IconRel::Icon, {}, {}, {}, {}};
                  return check_head_record(icon, field);
                },
                "href"},
        Refusal{"article time without a zone",
                [](std::string& field) {
                  ArticleMeta article;
                  article.published_time = "2024-05-01T08:00";
                  return check_head_record(article, field);
                },
                "published_time"}));

INSTANTIATE_TEST_SUITE_P(
    CardSettings, HeadRefusalTest,
    ::testing::Values(Refusal{"a path without its last slash",
                              [](std::string& field) {
                                CardSettings cards;
                                cards.path = "/og";
                                return check_card_settings(cards, field);
                              },
                              "path"},
                      Refusal{"a path with a query",
                              [](std::string& field) {
                                CardSettings cards;
                                cards.path = "/og/?v=2/";
                                return check_card_settings(cards, field);
                              },
                              "path"},
                      Refusal{"a side below 100 pixels",
                              [](std::string& field) {
                                CardSettings cards;
                                cards.height = 99;
                                return check_card_settings(cards, field);
                              },
                              "height"},
                      Refusal{"a colour the theme does not have",
                              [](std::string& field) {
                                CardSettings cards;
                                cards.theme = {{"border", "#000000"}};
                                return check_card_settings(cards, field);
                              },
                              "theme"},
                      Refusal{"a colour by name",
                              [](std::string& field) {
                                CardSettings cards;
                                cards.theme = {{"accent", "orange"}};
                                return check_card_settings(cards, field);
                              },
                              "theme"}));

TEST(HeadTest, ChoicesReadTheirWordsExactly) {
  EXPECT_EQ(*parse_choice<IconRel>("apple-touch-icon"),
            IconRel::AppleTouchIcon);
  EXPECT_EQ(*parse_choice<FeedType>("application/feed+json"),
            FeedType::JsonFeed);
  const Result<IconRel> refused = parse_choice<IconRel>("Icon");
  ASSERT_FALSE(refused.ok());
  EXPECT_TRUE(
      refused.error().message().starts_with("rel must be one of \"icon\""));
}

}  // namespace
}  // namespace zelko

namespace zelko {
namespace {

// Routes join the base's origin as the URL parser would resolve them: the
// plain ones without a parse, the others through it.
class ResolvedRouteTest
    : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(ResolvedRouteTest, IsWhatTheParserGives) {
  SiteHead site;
  site.manifest = GetParam().first;
  const std::string head =
      *render_head(minimal_payload(), {{}, &site, nullptr}, site_config());
  EXPECT_TRUE(head.ends_with("<link rel=\"manifest\" href=\"" +
                             std::string(GetParam().second) + "\">\n"))
      << head;
}

INSTANTIATE_TEST_SUITE_P(
    Routes, ResolvedRouteTest,
    ::testing::Values(
        std::pair{"/a/b.json?v=1&x=y",
                  "https://example.com/a/b.json?v=1&amp;x=y"},
        std::pair{"/a/./b", "https://example.com/a/b"},
        std::pair{"/a/../b", "https://example.com/b"},
        std::pair{"/a b", "https://example.com/a%20b"},
        std::pair{"/q?a='b'", "https://example.com/q?a=%27b%27"},
        std::pair{"/caf\xC3\xA9", "https://example.com/caf%C3%A9"},
        std::pair{"/x#top", "https://example.com/x#top"},
        std::pair{"/.well-known/x", "https://example.com/.well-known/x"},
        std::pair{"https://CDN.example.net:443/i.png",
                  "https://cdn.example.net/i.png"}));

// Every route of "/", ".", "a" and "?" up to seven characters (dot segments
// in every place, before and after the query) ends as the URL parser reads
// the same URL: the plain ones are joined to the origin without a parse.
TEST(ResolvedRoutes, EveryShortRouteIsWhatTheParserGives) {
  std::vector<std::string> routes{"/"};
  for (std::size_t at = 0; at < routes.size(); ++at) {
    if (routes[at].size() == 7) continue;
    for (const char c : {'/', '.', 'a', '?'}) routes.push_back(routes[at] + c);
  }
  for (const std::string& route : routes) {
    if (route.starts_with("//")) continue;  // another host
    SiteHead site;
    site.manifest = route;
    const Result<std::string> head =
        render_head(minimal_payload(), {{}, &site, nullptr}, site_config());
    const Result<ParsedUrl> parsed =
        parse_absolute_url("https://example.com" + route);
    ASSERT_TRUE(head && parsed) << route;
    std::string expected = "https://example.com" + parsed->path;
    if (route.find('?') != std::string::npos) expected += "?" + parsed->query;
    EXPECT_TRUE(head->ends_with("<link rel=\"manifest\" href=\"" +
                                escape_html(expected) + "\">\n"))
        << route << "\n"
        << *head;
  }
}

}  // namespace
}  // namespace zelko
