#include "zelko/url.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "text.hpp"

namespace zelko {
namespace {

using namespace std::string_literals;
using Params = std::map<std::string, std::string, std::less<>>;

URLPolicy path_policy(TrailingSlash rule, bool collapse = true,
                      bool lowercase = false) {
  URLPolicy policy;
  policy.trailing_slash = rule;
  policy.collapse_duplicate_slashes = collapse;
  policy.lowercase_paths = lowercase;
  return policy;
}

constexpr auto kAlways = TrailingSlash::Always;
constexpr auto kNever = TrailingSlash::Never;
constexpr auto kPreserve = TrailingSlash::Preserve;

// --------------------------------------------------------- normalize_path --

struct PathCase {
  std::string input;
  URLPolicy policy;
  std::string expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
  *os << '"' << c.input << "\" under " << to_text(c.policy.trailing_slash)
      << (c.policy.collapse_duplicate_slashes ? "" : ", no collapse")
      << (c.policy.lowercase_paths ? ", lowercase" : "");
}

class NormalizePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(NormalizePath, AppliesThePolicySteps) {
  EXPECT_EQ(normalize_path(GetParam().input, GetParam().policy),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EmptyAndBlank, NormalizePath,
    ::testing::Values(PathCase{"", path_policy(kNever), "/"},
                      PathCase{"", path_policy(kAlways), "/"},
                      PathCase{"", path_policy(kPreserve), "/"},
                      PathCase{" \t ", path_policy(kNever), "/"},
                      PathCase{" \t ", path_policy(kAlways), "/"},
                      PathCase{" \t ", path_policy(kPreserve), "/"},
                      PathCase{"\u3000\u00A0\u2029", path_policy(kNever), "/"},
                      PathCase{"/", path_policy(kNever), "/"},
                      PathCase{"/", path_policy(kAlways), "/"},
                      PathCase{"/", path_policy(kPreserve), "/"}));

INSTANTIATE_TEST_SUITE_P(
    SlashesAndTrim, NormalizePath,
    ::testing::Values(
        PathCase{"blog/post", path_policy(kNever), "/blog/post"},
        PathCase{" /blog/post/ ", path_policy(kNever), "/blog/post"},
        PathCase{"\u00A0/x\u3000", path_policy(kNever), "/x"},
        PathCase{"//a///b//", path_policy(kNever), "/a/b"},
        PathCase{"/a//", path_policy(kNever), "/a"},
        PathCase{"a//b", path_policy(kNever), "/a/b"},
        PathCase{"/a//b/", path_policy(kNever, false), "/a//b"},
        PathCase{"/a//b/", path_policy(kAlways, false), "/a//b/"},
        PathCase{"///", path_policy(kNever, false), ""},
        PathCase{"///", path_policy(kAlways, false), "///"},
        PathCase{"//", path_policy(kPreserve, false), "//"},
        PathCase{"a//", path_policy(kNever, false), "/a"},
        PathCase{"/a/", path_policy(kPreserve), "/a/"},
        PathCase{"/a", path_policy(kPreserve), "/a"},
        PathCase{"/feed.xml", path_policy(kAlways), "/feed.xml/"},
        PathCase{"/a b/", path_policy(kNever), "/a b"},
        // The query is not recognized at this level: its slashes collapse
        // and the trailing slash goes.
        PathCase{"/search?q=A//B/", path_policy(kNever), "/search?q=A/B"},
        // No dot-segment resolution, no percent-decoding.
        PathCase{"/a/./../b", path_policy(kNever), "/a/./../b"},
        PathCase{"/%41%2F", path_policy(kNever), "/%41%2F"}));

INSTANTIATE_TEST_SUITE_P(
    Lowercase, NormalizePath,
    ::testing::Values(
        PathCase{"/Über/ΟΔΟΣ", path_policy(kNever, true, true),
                 "/über/οδο\u03C2"},
        PathCase{"/ΑΣ/", path_policy(kNever, true, true), "/α\u03C2"},
        PathCase{"/About-Us", path_policy(kNever), "/About-Us"},
        PathCase{"/ABC", path_policy(kAlways, true, true), "/abc/"},
        PathCase{"//Ä//", path_policy(kPreserve, true, true), "/ä/"}));

TEST(NormalizePath, InvalidUtf8IsCarriedThrough) {
  const URLPolicy lower = path_policy(kNever, true, true);
  EXPECT_EQ(normalize_path("/A\xFF//B\xC3/"s, lower), "/a\xFF/b\xC3"s);
  EXPECT_EQ(normalize_path("\xE2\x80/"s, path_policy(kNever)), "/\xE2\x80"s);
}

TEST(NormalizePath, MegabytePath) {
  std::string path = "/";
  path.append(1 << 20, 'A');
  path += "//";
  const std::string result =
      normalize_path(path, path_policy(kNever, true, true));
  ASSERT_EQ(result.size(), (1u << 20) + 1);
  EXPECT_EQ(result.find_first_not_of('a', 1), std::string::npos);
}

// Inputs drawn from the characters that matter to the steps, ill-formed bytes
// included.
std::string random_path(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {
      "/",      "/",        "a",  "B", " ",    "\t",
      "\u00A0", ".",        "?",  "#", "ΟΔΟΣ", "\u3000",
      "\xFF",   "\xE2\x80", "%2", "İ", "x y",  "\u2028"};
  std::uniform_int_distribution<std::size_t> length(0, 12);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::string path;
  for (std::size_t n = length(rng); n > 0; --n) path += pieces[pick(rng)];
  return path;
}

bool ends_with_white_space(std::string_view text) {
  return !text.empty() && trim_white_space(text).size() != text.size();
}

// Normalizing a normalized path changes nothing. The one exception is a path
// left ending in white space once its trailing slashes went (from "/a /"):
// the trim ran before the slashes were removed, so a second pass trims again.
TEST(NormalizePathProperty, TotalAndIdempotentUnderDefaultPolicy) {
  std::mt19937 rng(20240611);
  const URLPolicy policy;
  for (int i = 0; i < 4000; ++i) {
    const std::string input = random_path(rng);
    const std::string once = normalize_path(input, policy);
    ASSERT_TRUE(once.starts_with('/')) << input;
    ASSERT_EQ(once.find("//"), std::string::npos) << input;
    ASSERT_TRUE(once == "/" || !once.ends_with('/')) << input;
    if (ends_with_white_space(once)) continue;
    ASSERT_EQ(normalize_path(once, policy), once) << input;
  }
}

TEST(NormalizePathProperty, TotalUnderEveryPolicy) {
  std::mt19937 rng(7);
  for (const TrailingSlash rule : {kAlways, kNever, kPreserve}) {
    for (const bool collapse : {true, false}) {
      for (const bool lowercase : {true, false}) {
        const URLPolicy policy = path_policy(rule, collapse, lowercase);
        for (int i = 0; i < 300; ++i) {
          const std::string input = random_path(rng);
          const std::string result = normalize_path(input, policy);
          if (rule == kAlways) {
            ASSERT_TRUE(result.ends_with('/')) << input;
          }
          if (rule != kNever) {
            ASSERT_TRUE(result.starts_with('/')) << input;
          }
        }
      }
    }
  }
}

TEST(NormalizePathProperty, WhiteSpaceBeforeTrailingSlashSurvivesOnePass) {
  EXPECT_EQ(normalize_path("/a /", URLPolicy{}), "/a ");
  EXPECT_EQ(normalize_path("/a ", URLPolicy{}), "/a");
}

// ------------------------------------------------------- tracking list --

TEST(TrackingList, HoldsThirtyNineDistinctLowerCaseNames) {
  EXPECT_EQ(kTrackingParams.size(), 39u);
  EXPECT_EQ(kTrackingParams.front(), "utm_source");
  EXPECT_EQ(kTrackingParams.back(), "zanphp");
  const std::set<std::string_view> distinct(kTrackingParams.begin(),
                                            kTrackingParams.end());
  EXPECT_EQ(distinct.size(), kTrackingParams.size());
  for (const std::string_view name : kTrackingParams) {
    EXPECT_TRUE(std::none_of(name.begin(), name.end(), [](char c) {
      return c >= 'A' && c <= 'Z';
    })) << name;
    EXPECT_TRUE(is_tracking_param(name, {})) << name;
  }
}

struct TrackingCase {
  std::string name;
  std::vector<std::string> extra;
  bool tracking;
};

void PrintTo(const TrackingCase& c, std::ostream* os) { *os << c.name; }

class IsTrackingParam : public ::testing::TestWithParam<TrackingCase> {};

TEST_P(IsTrackingParam, MatchesWholeNamesFoldingAsciiOnly) {
  EXPECT_EQ(is_tracking_param(GetParam().name, GetParam().extra),
            GetParam().tracking);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsTrackingParam,
    ::testing::Values(
        TrackingCase{"utm_source", {}, true},
        TrackingCase{"UTM_Source", {}, true}, TrackingCase{"GCLID", {}, true},
        TrackingCase{"_GA", {}, true}, TrackingCase{"JSESSIONID", {}, true},
        TrackingCase{"asp.net_sessionid", {}, true},
        TrackingCase{"ASP.NET_SessionId", {}, true},
        TrackingCase{"utm_social-type", {}, true},
        TrackingCase{"utm_foo", {}, false},
        TrackingCase{"utm_source_x", {}, false},
        TrackingCase{"utm_sourc", {}, false}, TrackingCase{"ga", {}, false},
        TrackingCase{"utm source", {}, false}, TrackingCase{"", {}, false},
        // Folding is ASCII only: U+212A KELVIN SIGN does not stand for 'k'.
        TrackingCase{"_\u212Ax", {}, false},
        TrackingCase{"ref", {"Ref", "session"}, true},
        TrackingCase{"REF", {"Ref"}, true},
        TrackingCase{"sessions", {"session"}, false},
        TrackingCase{"ñ", {"ñ"}, true}, TrackingCase{"Ñ", {"ñ"}, false},
        TrackingCase{"", {""}, true}));

struct DecodeCase {
  std::string key;
  std::string decoded;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.key; }

class DecodeParamKey : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeParamKey, FormDecodesToValidUtf8) {
  EXPECT_EQ(decode_param_key(GetParam().key), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeParamKey,
    ::testing::Values(
        DecodeCase{"", ""}, DecodeCase{"plain", "plain"},
        DecodeCase{"utm%5Fsource", "utm_source"},
        DecodeCase{"utm+source", "utm source"}, DecodeCase{"%41%62", "Ab"},
        DecodeCase{"%2B", "+"}, DecodeCase{"a%25b", "a%b"},
        DecodeCase{"%", "%"}, DecodeCase{"%4", "%4"},
        DecodeCase{"%zz1", "%zz1"}, DecodeCase{"%C3%BC", "ü"},
        // Decoded bytes that are not UTF-8 become U+FFFD,
        // one per maximal subpart.
        DecodeCase{"%FF", "\uFFFD"}, DecodeCase{"a%E2%82b", "a\uFFFDb"},
        DecodeCase{"%C3", "\uFFFD"}, DecodeCase{"raw\xFF"s, "raw\uFFFD"}));

// ------------------------------------------------------------- cleaners --

struct QueryCase {
  std::string query;
  std::string cleaned;
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.query; }

class CleanQuery : public ::testing::TestWithParam<QueryCase> {};

TEST_P(CleanQuery, DropsBuiltInTrackingPiecesOnly) {
  EXPECT_EQ(clean_query(GetParam().query), GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanQuery,
    ::testing::Values(
        QueryCase{"", ""}, QueryCase{"utm_source=a&id=3&UTM_MEDIUM=b", "id=3"},
        QueryCase{"a=1&&b=2", "a=1&&b=2"},
        QueryCase{"utm%5Fsource=x&utm+source=y", "utm+source=y"},
        QueryCase{"utm_foo=1", "utm_foo=1"}, QueryCase{"gclid", ""},
        QueryCase{"?utm_source=a", "?utm_source=a"}, QueryCase{"=x&&", "=x&&"},
        QueryCase{"&", "&"}, QueryCase{"a=1&utm_source=2&", "a=1&"},
        QueryCase{"utm_source=1&", ""},
        QueryCase{"q=a%20b+c&fbclid=1", "q=a%20b+c"},
        QueryCase{"%FF=1&x=%FF", "%FF=1&x=%FF"},
        QueryCase{"JSESSIONID=abc&asp.net_sessionid=1", ""}));

struct UrlCase {
  std::string url;
  std::string cleaned_url;
  Params removed;
  Params kept;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.url; }

class CleanUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(CleanUrl, SplitsAtTheFirstQuestionMark) {
  const CleanedUrl cleaned = clean_url(GetParam().url);
  EXPECT_EQ(cleaned.url, GetParam().cleaned_url);
  EXPECT_EQ(cleaned.removed_params, GetParam().removed);
  EXPECT_EQ(cleaned.cleaned_params, GetParam().kept);
}

const std::string kSite = "https://example.com";

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanUrl,
    ::testing::Values(
        UrlCase{kSite + "/p?utm_source=news&id=3&ref=x=y",
                kSite + "/p?id=3&ref=x=y",
                {{"utm_source", "news"}},
                {{"id", "3"}, {"ref", "x=y"}}},
        UrlCase{kSite + "/p?utm_campaign=spring",
                kSite + "/p",
                {{"utm_campaign", "spring"}},
                {}},
        UrlCase{kSite + "/p?a=1&a=2", kSite + "/p?a=1&a=2", {}, {{"a", "2"}}},
        UrlCase{
            kSite + "/p?x=1#top", kSite + "/p?x=1#top", {}, {{"x", "1#top"}}},
        // Bare names: the tracking one leaves the URL, neither is reported.
        UrlCase{kSite + "/p?gclid&id", kSite + "/p?id", {}, {}},
        UrlCase{kSite + "/p?", kSite + "/p", {}, {}},
        UrlCase{kSite + "/p", kSite + "/p", {}, {}},
        UrlCase{kSite + "/p#a?utm_source=1",
                kSite + "/p#a",
                {{"utm_source", "1"}},
                {}},
        UrlCase{"/p?=v&k=&&", "/p?=v&k=&&", {}, {{"", "v"}, {"k", ""}}},
        UrlCase{"/p?b?utm_source=1",
                "/p?b?utm_source=1",
                {},
                {{"b?utm_source", "1"}}},
        UrlCase{"?UTM_Medium=a%20b&utm%5Fsource=c",
                "",
                {{"UTM_Medium", "a%20b"}, {"utm%5Fsource", "c"}},
                {}},
        UrlCase{"", "", {}, {}},
        // Regression (fuzzing): only an empty piece survives, so the cleaned
        // query is "" and no "?" is left behind.
        UrlCase{"?gclid&", "", {}, {}},
        UrlCase{kSite + "/p?&gclid=1", kSite + "/p", {{"gclid", "1"}}, {}},
        UrlCase{kSite + "/p?gclid&&", kSite + "/p?&", {}, {}}));

// ------------------------------------------------- normalize_public_url --

SEOConfig site(std::string base = "https://example.com",
               URLPolicy policy = URLPolicy{},
               std::string host = "example.com") {
  SEOConfig config;
  config.canonical_host = std::move(host);
  config.public_base_url = std::move(base);
  config.url_policy = std::move(policy);
  return config;
}

URLPolicy allowing(std::vector<std::string> names) {
  URLPolicy policy;
  policy.allowed_query_params = std::move(names);
  return policy;
}

URLPolicy without_stripping() {
  URLPolicy policy;
  policy.strip_tracking_params = false;
  return policy;
}

URLPolicy with_extra(std::vector<std::string> names) {
  URLPolicy policy;
  policy.extra_tracking_params = std::move(names);
  return policy;
}

URLPolicy plain_http() {
  URLPolicy policy;
  policy.enforce_https = false;
  return policy;
}

URLPolicy lowercasing() {
  URLPolicy policy;
  policy.lowercase_paths = true;
  return policy;
}

struct PublicCase {
  std::string input;
  SEOConfig config;
  std::string expected;
};

void PrintTo(const PublicCase& c, std::ostream* os) {
  *os << '"' << c.input << "\" on " << c.config.public_base_url;
}

class NormalizePublicUrl : public ::testing::TestWithParam<PublicCase> {};

TEST_P(NormalizePublicUrl, ResolvesOntoTheCanonicalHost) {
  const Result<std::string> url =
      normalize_public_url(GetParam().input, GetParam().config);
  ASSERT_TRUE(url.ok()) << url.error().message();
  EXPECT_EQ(*url, GetParam().expected);
}

const std::string kHost = "https://example.com";

INSTANTIATE_TEST_SUITE_P(
    PathReferences, NormalizePublicUrl,
    ::testing::Values(PublicCase{"blog/post", site(), kHost + "/blog/post"},
                      PublicCase{"/", site(), kHost + "/"},
                      PublicCase{"?", site(), kHost + "/"},
                      PublicCase{" /Blog//Post/?utm_source=x&id=3#top ", site(),
                                 kHost + "/Blog/Post?id=3"},
                      PublicCase{"\u3000/p\u00A0", site(), kHost + "/p"},
                      PublicCase{"/a/../b", site(), kHost + "/a/../b"},
                      PublicCase{"/a b", site(), kHost + "/a b"},
                      PublicCase{"/tag:news", site(), kHost + "/tag:news"},
                      PublicCase{"/p#frag?x=1", site(), kHost + "/p"},
                      PublicCase{"/p?q=a%20b+c", site(),
                                 kHost + "/p?q=a%20b+c"}));

INSTANTIATE_TEST_SUITE_P(
    AbsoluteInputs, NormalizePublicUrl,
    ::testing::Values(
        PublicCase{"https://other.example:8443/a/b/?gclid=1", site(),
                   kHost + "/a/b"},
        PublicCase{"http://user:pw@other.example/x#frag", site(), kHost + "/x"},
        PublicCase{"https://other.example/a/../b", site(), kHost + "/b"},
        PublicCase{"https://other.example/a b", site(), kHost + "/a%20b"},
        PublicCase{"https://other.example/p?a=b c", site(),
                   kHost + "/p?a=b%20c"},
        PublicCase{"mailto:someone", site(), kHost + "/someone"},
        PublicCase{"tag:news", site(), kHost + "/news"},
        PublicCase{"HTTPS://OTHER.EXAMPLE", site(), kHost + "/"}));

INSTANTIATE_TEST_SUITE_P(
    Queries, NormalizePublicUrl,
    ::testing::Values(
        PublicCase{"?a=1&&b=2&=3&UTM_Source=x", site(), kHost + "/?a=1&b=2"},
        PublicCase{"/x?utm_source=1&&", site(), kHost + "/x"},
        PublicCase{"/list?page=2&sort=asc&utm_source=x",
                   site("https://example.com", allowing({"page"})),
                   kHost + "/list?page=2"},
        PublicCase{"/x?utm_source=a",
                   site("https://example.com", allowing({"utm_source"})),
                   kHost + "/x?utm_source=a"},
        // The allowed list compares decoded keys, case-sensitively.
        PublicCase{"/x?Page=1&page=2&pa%67e=3",
                   site("https://example.com", allowing({"page"})),
                   kHost + "/x?page=2&pa%67e=3"},
        PublicCase{"/x?utm_source=a&&=b&id=1",
                   site("https://example.com", without_stripping()),
                   kHost + "/x?utm_source=a&id=1"},
        PublicCase{"/x?ref=1&id=2&REF=3&utm_medium=4",
                   site("https://example.com", with_extra({"Ref"})),
                   kHost + "/x?id=2"},
        PublicCase{"/x?%FF=1&utm%5Fsource=2", site(), kHost + "/x?%FF=1"}));

INSTANTIATE_TEST_SUITE_P(
    SchemeAndHost, NormalizePublicUrl,
    ::testing::Values(
        PublicCase{"/p", site("http://example.com", plain_http()),
                   "http://example.com/p"},
        PublicCase{"https://other.example/p",
                   site("HTTP://example.com", plain_http()),
                   "http://example.com/p"},
        PublicCase{"http://other.example/p", site("http://example.com"),
                   kHost + "/p"},
        PublicCase{"/p", site("ftp://files.example", plain_http()),
                   "ftp://example.com/p"},
        // The host is used as stored: case and port stay.
        PublicCase{"/p",
                   site("https://example.com", URLPolicy{}, "Example.COM:8080"),
                   "https://Example.COM:8080/p"}));

INSTANTIATE_TEST_SUITE_P(
    MountPrefix, NormalizePublicUrl,
    ::testing::Values(
        PublicCase{"post", site("https://example.com/docs/"),
                   kHost + "/docs/post"},
        PublicCase{"/docs", site("https://example.com/docs/"), kHost + "/docs"},
        PublicCase{"/docs/post/", site("https://example.com/docs/"),
                   kHost + "/docs/post"},
        PublicCase{"/docs/a", site("https://example.com/docs"),
                   kHost + "/docs/a"},
        PublicCase{"/docsearch", site("https://example.com/docs"),
                   kHost + "/docs/docsearch"},
        PublicCase{"a", site("https://example.com/docs"), kHost + "/docs/a"},
        PublicCase{"?x=1", site("https://example.com/docs"),
                   kHost + "/docs?x=1"},
        PublicCase{"/Docs/a", site("https://example.com/docs"),
                   kHost + "/docs/Docs/a"},
        PublicCase{"https://other.example/a", site("https://example.com/docs"),
                   kHost + "/docs/a"},
        // Only the base's scheme and path count: its query and fragment go.
        PublicCase{"p", site("https://cdn.example/base//?q=1#f"),
                   kHost + "/base/p"},
        // Mounting comes before lowercasing, so the prefix is lowercased too.
        PublicCase{"Post", site("https://example.com/Docs", lowercasing()),
                   kHost + "/docs/post"}));

struct PublicFailure {
  std::string input;
  std::string base;
  ErrorKind kind;
  std::string message;
};

void PrintTo(const PublicFailure& c, std::ostream* os) {
  *os << '"' << c.input << "\" on " << c.base;
}

class NormalizePublicUrlFailure
    : public ::testing::TestWithParam<PublicFailure> {};

TEST_P(NormalizePublicUrlFailure, ReportsKindAndMessage) {
  const Result<std::string> url =
      normalize_public_url(GetParam().input, site(GetParam().base));
  ASSERT_FALSE(url.ok()) << *url;
  EXPECT_EQ(url.error().kind(), GetParam().kind);
  EXPECT_EQ(url.error().message(), GetParam().message);
}

const std::string kEmptyInput = "url_or_path must be a non-empty string";

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizePublicUrlFailure,
    ::testing::Values(
        PublicFailure{"", "https://example.com", ErrorKind::InvalidUrl,
                      kEmptyInput},
        PublicFailure{"   ", "https://example.com", ErrorKind::InvalidUrl,
                      kEmptyInput},
        PublicFailure{"\u3000\t\u00A0", "https://example.com",
                      ErrorKind::InvalidUrl, kEmptyInput},
        // The input is checked before the base.
        PublicFailure{" ", "example.com", ErrorKind::InvalidUrl, kEmptyInput},
        PublicFailure{"/p", "example.com", ErrorKind::Configuration,
                      "invalid public_base_url: relative URL without a base"},
        PublicFailure{"https://example.com/p", "example.com",
                      ErrorKind::Configuration,
                      "invalid public_base_url: relative URL without a base"},
        PublicFailure{"/p", "http://", ErrorKind::Configuration,
                      "invalid public_base_url: empty host"},
        // The parser itself drops outer ASCII blanks, but no other space.
        PublicFailure{"/p", "\u00A0https://example.com",
                      ErrorKind::Configuration,
                      "invalid public_base_url: relative URL without a base"},
        PublicFailure{"/p", "https://a:99999", ErrorKind::Configuration,
                      "invalid public_base_url: invalid port number"}));

TEST(NormalizePublicUrl, DisplayTextCarriesTheKindPrefix) {
  const Result<std::string> url = normalize_public_url("", site());
  ASSERT_FALSE(url.ok());
  EXPECT_EQ(url.error().display(),
            "invalid URL: url_or_path must be a non-empty string");
}

TEST(NormalizePublicUrl, InvalidUtf8NeverBreaksTheResult) {
  const Result<std::string> reference =
      normalize_public_url("/a\xFF?%FF%FE=1&k=\xC3"s, site());
  ASSERT_TRUE(reference.ok());
  EXPECT_EQ(*reference, kHost + "/a\xFF?%FF%FE=1&k=\xC3"s);
  const Result<std::string> absolute =
      normalize_public_url("https://x/\xFF?\xFE=1"s, site());
  ASSERT_TRUE(absolute.ok());
  EXPECT_EQ(*absolute, kHost + "/%EF%BF%BD?%EF%BF%BD=1");
}

// Random mixes of URL syntax and ill-formed bytes always resolve onto the
// canonical host, never carry a fragment, and never fail once non-blank.
TEST(NormalizePublicUrlProperty, AnyInputResolvesOntoTheHost) {
  static const std::vector<std::string> pieces = {
      "http", "s",  ":",      "//", "/",  "?",      "#", "&",    "=",
      "[",    "]",  "%",      "%F", "a",  "utm_id", " ", "\xFF", "\xC3",
      "@",    "..", "\u00A0", "+",  "\\", "Σ",      "\t"};
  std::mt19937 rng(99);
  std::uniform_int_distribution<std::size_t> length(1, 14);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  const SEOConfig config = site("https://example.com/docs");
  for (int i = 0; i < 3000; ++i) {
    std::string input;
    for (std::size_t n = length(rng); n > 0; --n) input += pieces[pick(rng)];
    const Result<std::string> url = normalize_public_url(input, config);
    if (trim_white_space(input).empty()) {
      ASSERT_FALSE(url.ok());
      continue;
    }
    ASSERT_TRUE(url.ok()) << input;
    ASSERT_TRUE(url->starts_with(kHost + "/docs")) << input << " " << *url;
    ASSERT_EQ(url->find('#'), std::string::npos) << input << " " << *url;
    const CleanedUrl cleaned = clean_url(input);
    ASSERT_LE(cleaned.url.size(), input.size()) << input;
  }
}

TEST(NormalizePublicUrl, MegabytePathAndQuery) {
  const std::string segment(1 << 20, 'p');
  const std::string query(1 << 20, 'q');
  for (const std::string& prefix : {""s, "https://other.example"s}) {
    const Result<std::string> url =
        normalize_public_url(prefix + "/" + segment + "?" + query + "=1",
                             site("https://example.com/docs"));
    ASSERT_TRUE(url.ok());
    EXPECT_EQ(*url, kHost + "/docs/" + segment + "?" + query + "=1");
  }
}

}  // namespace
}  // namespace zelko
