#include "zelko/crawl.hpp"
#include "sha256.hpp"

#include "zelko/url.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zelko {
namespace {

SEOConfig site() {
  SEOConfig config;
  config.canonical_host = "www.example.com";
  config.public_base_url = "https://www.example.com";
  return config;
}

struct TagCase {
  const char* given;
  const char* canonical;  // nullptr: refused
};

TEST(CrawlTest, HreflangTagsAreCheckedAndCanonicallyCased) {
  const TagCase cases[] = {
      {"en", "en"},
      {"EN-gb", "en-GB"},
      {"zh-hant-tw", "zh-Hant-TW"},
      {"es-419", "es-419"},
      {"X-Default", "x-default"},
      {"sr-LATN", "sr-Latn"},
      {"en_GB", nullptr},
      {"e", nullptr},
      {"en-", nullptr},
      {"en-GB-extra", nullptr},
      {"en-12", nullptr},
      {"", nullptr},
  };
  for (const TagCase& c : cases) {
    Result<std::string> tag = canonical_hreflang_tag(c.given);
    if (c.canonical == nullptr) {
      ASSERT_FALSE(tag) << c.given;
      EXPECT_NE(tag.error().message().find(std::string("\"") + c.given + "\""),
                std::string::npos);
    } else {
      ASSERT_TRUE(tag) << c.given;
      EXPECT_EQ(*tag, c.canonical);
    }
  }
}

TEST(CrawlTest, HreflangLinksResolveSortAndRender) {
  const Alternates alternates{{"x-default", "/blog/x/"},
                              {"fr", "https://example.fr/blog/x?a=1&b=2"},
                              {"de", "/de/blog/x?utm_source=feed"},
                              {"EN-gb", "https://www.example.com/en//x"}};
  Result<std::vector<HreflangLink>> links = hreflang_links(alternates, site());
  ASSERT_TRUE(links) << links.error().message();
  const std::vector<HreflangLink> expected{
      {"de", "https://www.example.com/de/blog/x"},
      {"en-GB", "https://www.example.com/en/x"},
      {"fr", "https://example.fr/blog/x?a=1&b=2"},
      {"x-default", "https://www.example.com/blog/x"}};
  EXPECT_EQ(*links, expected);
  EXPECT_EQ(render_hreflang({expected[2]}),
            "<link rel=\"alternate\" hreflang=\"fr\" "
            "href=\"https://example.fr/blog/x?a=1&amp;b=2\">\n");
  EXPECT_EQ(render_hreflang({}), "");
}

TEST(CrawlTest, CrawlUrlsAreReadAsTheUrlParserReadsThem) {
  struct Case {
    const char* value;
    ForeignHost foreign;
    const char* expected;  // nullptr: refused
  };
  const Case cases[] = {
      {"blog/post", ForeignHost::Refuse, "https://www.example.com/blog/post"},
      {" /a?utm_source=x ", ForeignHost::Refuse, "https://www.example.com/a"},
      {"http://WWW.example.com/a/", ForeignHost::Refuse,
       "https://www.example.com/a"},
      {"ht\ttps://www.example.com/b", ForeignHost::Refuse,
       "https://www.example.com/b"},
      {"\u00a0https://other.example/c", ForeignHost::Keep,
       "https://other.example/c"},
      {"\u00a0https://other.example/c", ForeignHost::Refuse, nullptr},
      {"https://other.example:8443/x#f", ForeignHost::Keep,
       "https://other.example:8443/x#f"},
      {"tag:news", ForeignHost::Keep, nullptr},
      {"https://exa mple.com/", ForeignHost::Keep, nullptr},
  };
  for (const Case& c : cases) {
    Result<std::string> url = resolve_crawl_url(c.value, site(), c.foreign);
    if (c.expected == nullptr) {
      EXPECT_FALSE(url) << c.value;
    } else {
      ASSERT_TRUE(url) << c.value << ": " << url.error().message();
      EXPECT_EQ(*url, c.expected);
    }
  }
}

TEST(CrawlTest, HreflangRefusalsNameTheTagOrValue) {
  const std::vector<std::pair<Alternates, std::string>> cases{
      {{{"en", "/a"}, {"EN", "/b"}}, "duplicate hreflang tag \"EN\""},
      {{{"de", "https://exa mple.com/"}}, "\"https://exa mple.com/\""},
      {{{"de", "ftp://example.com/"}}, "not an http or https URL"},
      {{{"de", "   "}}, "alternate \"de\""},
  };
  for (const auto& [alternates, fragment] : cases) {
    Result<std::vector<HreflangLink>> links =
        hreflang_links(alternates, site());
    ASSERT_FALSE(links) << fragment;
    EXPECT_NE(links.error().message().find(fragment), std::string::npos)
        << links.error().message();
  }
}

TEST(CrawlTest, W3cDatetimesAreCheckedAndOrdered) {
  for (const char* good :
       {"2024", "2024-02", "2024-02-29", "2024-05-01T10:00Z",
        "2024-05-01T10:00:59+02:00", "2024-05-01T10:00:00.123456-05:30"}) {
    EXPECT_TRUE(parse_w3c_datetime(good)) << good;
  }
  for (const char* bad :
       {"2023-02-29", "2024-13-01", "2024-05-01T10:00", "2024-05-01 10:00Z",
        "2024-5-1", "2024-05-01T24:00Z", "2024-05-01T10:00:00.Z", "24-05-01",
        "2024-05-01T10:00+2:00", "2024-05-01Z"}) {
    EXPECT_FALSE(parse_w3c_datetime(bad)) << bad;
  }
  // The same instant in two zones; a date is its midnight UTC.
  EXPECT_EQ(*parse_w3c_datetime("2024-05-01T12:00:00+02:00"),
            *parse_w3c_datetime("2024-05-01T10:00Z"));
  EXPECT_LT(*parse_w3c_datetime("2024-05-01"),
            *parse_w3c_datetime("2024-05-01T00:00:00.5Z"));
  EXPECT_LT(*parse_w3c_datetime("2023-12-31T23:59Z"),
            *parse_w3c_datetime("2024"));
}

SitemapUrl at(std::string_view location,
              std::optional<std::string_view> lastmod = std::nullopt) {
  SitemapUrl url;
  url.location = location;
  url.lastmod = lastmod;
  return url;
}

class SitemapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        std::filesystem::temp_directory_path() /
        ("zelko-crawl-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(directory_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  SitemapWriter writer(SitemapOptions options = {}) {
    Result<SitemapWriter> opened =
        SitemapWriter::open(directory_.string(), site(), options);
    EXPECT_TRUE(opened);
    return std::move(opened).value();
  }

  std::filesystem::path directory_;
};

TEST_F(SitemapTest, OneFileHoldsEscapedEntries) {
  SitemapWriter out = writer();
  const Alternates alternates{{"de", "/de/a"}, {"x-default", "/a"}};
  const std::vector<std::string> images{
      "https://cdn.example.net/a.png?x=1&y=2"};
  SitemapUrl first = at("/a?page=2&utm_source=x", "2024-05-01");
  first.alternates = &alternates;
  first.images = &images;
  ASSERT_TRUE(out.add(first));
  Status again = out.add(at("https://www.example.com/a/?page=2"));
  ASSERT_FALSE(again);
  EXPECT_NE(again.error().message().find("already in the sitemap"),
            std::string::npos);
  ASSERT_FALSE(out.add(at("https://elsewhere.example/b")));
  ASSERT_FALSE(out.add(at("/b", "yesterday")));
  for (const char* unwritable :
       {"/b\x01c", "/b\nc", "/b\xEF\xBF\xBF", "/b\xC3"}) {
    Status refused = out.add(at(unwritable));
    ASSERT_FALSE(refused) << unwritable;
    EXPECT_NE(refused.error().message().find("cannot be written to XML"),
              std::string::npos);
  }
  ASSERT_TRUE(out.add(at("/b")));
  EXPECT_EQ(files().size(), 1u);  // the part, under a temporary name
  Result<std::vector<std::string>> names = out.close();
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{"sitemap.xml"});
  EXPECT_EQ(files(), std::vector<std::string>{"sitemap.xml"});
  const std::string text = read("sitemap.xml");
  EXPECT_NE(text.find("<loc>https://www.example.com/a?page=2</loc>\n"
                      "  <lastmod>2024-05-01</lastmod>\n"
                      "  <xhtml:link rel=\"alternate\" hreflang=\"de\" "
                      "href=\"https://www.example.com/de/a\"/>\n"),
            std::string::npos)
      << text;
  EXPECT_NE(
      text.find(
          "<image:loc>https://cdn.example.net/a.png?x=1&amp;y=2</image:loc>"),
      std::string::npos);
  EXPECT_TRUE(text.ends_with("</url>\n</urlset>\n"));
  EXPECT_FALSE(out.close());
}

TEST_F(SitemapTest, ImagesKeepTheirPathAndQuery) {
  SitemapWriter out = writer();
  const std::vector<std::string> images{
      "https://www.example.com/i.png?w=1&utm_source=x", "/s//i.png/?v=2",
      "//cdn.example.net/c.png?h=3"};
  SitemapUrl first = at("/a");
  first.images = &images;
  ASSERT_TRUE(out.add(first));
  const std::vector<std::string> broken{"https://exa mple.com/i.png"};
  SitemapUrl second = at("/b");
  second.images = &broken;
  ASSERT_FALSE(out.add(second));
  ASSERT_TRUE(out.close());
  const std::string text = read("sitemap.xml");
  for (const char* written :
       {"<image:loc>https://www.example.com/i.png?w=1&amp;utm_source=x<",
        "<image:loc>https://www.example.com/s//i.png/?v=2<",
        "<image:loc>https://cdn.example.net/c.png?h=3<"}) {
    EXPECT_NE(text.find(written), std::string::npos) << written << text;
  }
}

TEST_F(SitemapTest, SplitsIntoPartsAndAnIndex) {
  SitemapWriter out =
      writer({.max_urls = 2, .max_bytes = kSitemapMaxBytes, .gzip = true});
  const char* lastmods[] = {"2024-01-02", "2024-03-01T00:00+05:00",
                            "2024-02-28", "2024-02-28T01:00+05:00"};
  for (int i = 0; i < 5; ++i) {
    std::string route = "/p" + std::to_string(i);
    SitemapUrl url = at(route);
    if (i < 4) url.lastmod = lastmods[i];
    ASSERT_TRUE(out.add(url));
  }
  Result<std::vector<std::string>> names = out.close();
  ASSERT_TRUE(names);
  // Each part is named by its number and the start of its SHA-256.
  ASSERT_EQ(names->size(), 4u);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string& name = (*names)[i];
    const std::string prefix = "sitemap-" + std::to_string(i + 1) + "-";
    ASSERT_TRUE(name.starts_with(prefix) && name.ends_with(".xml.gz")) << name;
    EXPECT_EQ(name.substr(prefix.size(), 12),
              sha256_hex(read(name)).substr(0, 12));
    EXPECT_EQ(read(name).substr(0, 2), "\x1f\x8b");
  }
  EXPECT_EQ(names->back(), "sitemap.xml");
  EXPECT_EQ(files(), *names);
  const std::vector<std::string>& n = *names;
  EXPECT_EQ(
      read("sitemap.xml"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
      "<sitemap>\n  <loc>https://www.example.com/" +
          n[0] +
          "</loc>\n"
          "  <lastmod>2024-03-01T00:00+05:00</lastmod>\n</sitemap>\n"
          "<sitemap>\n  <loc>https://www.example.com/" +
          n[1] +
          "</loc>\n"
          "  <lastmod>2024-02-28</lastmod>\n</sitemap>\n"
          "<sitemap>\n  <loc>https://www.example.com/" +
          n[2] +
          "</loc>\n"
          "</sitemap>\n</sitemapindex>\n");
}

TEST_F(SitemapTest, ANewSetReplacesTheOldOneWholeAndLeavesNothingBehind) {
  auto write_set = [&](int urls, const char* version) {
    SitemapWriter out = writer({.max_urls = 2});
    for (int i = 0; i < urls; ++i) {
      const std::string route = "/p" + std::to_string(i);
      SitemapUrl url = at(route);
      url.lastmod = version;
      EXPECT_TRUE(out.add(url));
    }
    Result<std::vector<std::string>> names = out.close();
    EXPECT_TRUE(names);
    return names ? *names : std::vector<std::string>{};
  };
  const std::vector<std::string> large = write_set(7, "2024-01-01");
  ASSERT_EQ(large.size(), 5u);
  // A killed writer's leftovers: a temporary of a process that is gone, a
  // part of an earlier version's naming; a live writer's temporary stays.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string stale = ".sitemap-2.xml-" + std::to_string(gone) + "-0.tmp";
  const std::string live =
      ".sitemap-2.xml-" + std::to_string(::getpid()) + "-7.tmp";
  for (const std::string& name : {stale, live, std::string("sitemap-9.xml")}) {
    std::ofstream(directory_ / name) << "left over";
  }
  const std::vector<std::string> small = write_set(3, "2024-02-02");
  ASSERT_EQ(small.size(), 3u);
  // Same URLs, other content: no part of the new set took an old one's name.
  for (const std::string& name : large) {
    if (name != "sitemap.xml") {
      EXPECT_EQ(std::find(small.begin(), small.end(), name), small.end());
    }
  }
  std::vector<std::string> expected = small;
  expected.push_back(live);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files(), expected);
  // The same set again is the same files.
  EXPECT_EQ(write_set(3, "2024-02-02"), small);
  std::filesystem::remove(directory_ / live);
  const std::vector<std::string> single = write_set(2, "2024-03-03");
  EXPECT_EQ(single, std::vector<std::string>{"sitemap.xml"});
  EXPECT_EQ(files(), single);
}

TEST_F(SitemapTest, DiscardingLeavesTheDirectoryAsItWas) {
  {
    SitemapWriter out = writer({.max_urls = 1});
    ASSERT_TRUE(out.add(at("/a")));
    ASSERT_TRUE(out.add(at("/b")));
  }
  EXPECT_TRUE(files().empty());
  SitemapWriter tiny = writer({.max_bytes = 400});
  const std::string long_route = "/" + std::string(300, 'x');
  Status refused = tiny.add(at(long_route));
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().message().find("max_bytes"), std::string::npos);
  EXPECT_FALSE(
      SitemapWriter::open(directory_.string(), site(), {.max_urls = 0}));
  EXPECT_FALSE(
      SitemapWriter::open((directory_ / "missing").string(), site(), {}));
}

// The writer resolves routes with the base URL parsed once; every location
// must still be exactly normalize_public_url's answer.
std::vector<std::string> locations_in(const std::string& xml) {
  const std::pair<std::string_view, std::string_view> entities[] = {
      {"&amp;", "&"},
      {"&lt;", "<"},
      {"&gt;", ">"},
      {"&quot;", "\""},
      {"&apos;", "'"}};
  std::vector<std::string> found;
  for (std::size_t at = xml.find("<loc>"); at != std::string::npos;
       at = xml.find("<loc>", at + 1)) {
    const std::size_t end = xml.find("</loc>", at);
    std::string text = xml.substr(at + 5, end - at - 5);
    for (const auto& [entity, character] : entities) {
      for (std::size_t i = text.find(entity); i != std::string::npos;
           i = text.find(entity, i + 1)) {
        text.replace(i, entity.size(), character);
      }
    }
    found.push_back(std::move(text));
  }
  return found;
}

std::vector<SEOConfig> resolver_configs() {
  std::vector<SEOConfig> configs(5, site());
  configs[1].public_base_url = "https://www.example.com/docs/";
  configs[1].url_policy.lowercase_paths = true;
  configs[1].url_policy.trailing_slash = TrailingSlash::Always;
  configs[2].public_base_url = "http://Example.COM/Base?x=1#f";
  configs[2].url_policy.enforce_https = false;
  configs[2].url_policy.allowed_query_params = {"page", "Sort"};
  configs[2].url_policy.trailing_slash = TrailingSlash::Preserve;
  configs[3].url_policy.strip_tracking_params = false;
  configs[3].url_policy.collapse_duplicate_slashes = false;
  configs[4].url_policy.extra_tracking_params = {"ref"};
  return configs;
}

TEST_F(SitemapTest, LocationsAreTheCanonicalUrlsOfTheirRoutes) {
  const std::vector<std::string> pieces{"/",
                                        "//",
                                        "a",
                                        "B",
                                        "docs",
                                        "Docs",
                                        "\xC3\xA9",
                                        "?",
                                        "&",
                                        "=",
                                        "#",
                                        "%2F",
                                        "%7",
                                        "+",
                                        " ",
                                        "..",
                                        ".",
                                        "page=2",
                                        "Sort=1",
                                        "ref=z",
                                        "utm_source=x",
                                        "UTM_Medium=y",
                                        "%75tm_source=q",
                                        "\xC2\xA0",
                                        "\xC4\xB0"};
  std::mt19937 random(20240501);
  int config_number = 0;
  for (const SEOConfig& config : resolver_configs()) {
    const std::filesystem::path where =
        directory_ / std::to_string(config_number++);
    std::filesystem::create_directories(where);
    Result<SitemapWriter> out = SitemapWriter::open(where.string(), config, {});
    ASSERT_TRUE(out);
    std::vector<std::string> expected;
    std::set<std::string> seen;
    for (int n = 0; n < 2000; ++n) {
      std::string route = "/";
      for (std::size_t count = random() % 8; count > 0; --count) {
        route += pieces[random() % pieces.size()];
      }
      Result<std::string> canonical = normalize_public_url(route, config);
      ASSERT_TRUE(canonical);
      const bool fresh = seen.insert(*canonical).second;
      if (fresh) expected.push_back(*canonical);
      EXPECT_EQ(static_cast<bool>(out->add(at(route))), fresh) << route;
    }
    ASSERT_TRUE(out->close());
    std::ifstream in(where / "sitemap.xml", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(locations_in(text.str()), expected);
  }
}

}  // namespace
}  // namespace zelko
