#include "url_parser.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace zelko {
namespace {

using namespace std::string_literals;

struct ParseCase {
  std::string input;
  std::string scheme;
  std::string path;
  std::string query;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.input; }

class ParseAbsoluteUrl : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseAbsoluteUrl, GivesSerializedSchemePathAndQuery) {
  const ParseCase& c = GetParam();
  const Result<ParsedUrl> parsed = parse_absolute_url(c.input);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message();
  EXPECT_EQ(parsed->scheme, c.scheme);
  EXPECT_EQ(parsed->path, c.path);
  EXPECT_EQ(parsed->query, c.query);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseAbsoluteUrl,
    ::testing::Values(ParseCase{"https://example.com", "https", "/", ""},
                      ParseCase{"HTTPS://Example.COM:8443/a/b/?gclid=1#frag",
                                "https", "/a/b/", "gclid=1"},
                      ParseCase{"http://h/a/../b", "http", "/b", ""},
                      ParseCase{"http://h/a b?x=a b", "http", "/a%20b",
                                "x=a%20b"},
                      ParseCase{"http://h/p?", "http", "/p", ""},
                      ParseCase{"mailto:someone", "mailto", "someone", ""},
                      ParseCase{"tag:news", "tag", "news", ""},
                      ParseCase{"ftp://files.example.org/x", "ftp", "/x", ""},
                      ParseCase{"  https://h/p  ", "https", "/p", ""},
                      ParseCase{"https://h/\u00FC", "https", "/%C3%BC", ""},
                      // Ill-formed UTF-8 reaches the parser as U+FFFD.
                      ParseCase{"https://h/\xFF"s, "https", "/%EF%BF%BD", ""},
                      ParseCase{"https://bücher.example/", "https", "/", ""}));

struct FailureCase {
  std::string input;
  std::string description;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.input; }

class ParseAbsoluteUrlFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ParseAbsoluteUrlFailure, DescribesTheCauseInPlainWords) {
  const Result<ParsedUrl> parsed = parse_absolute_url(GetParam().input);
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().kind(), ErrorKind::InvalidUrl);
  EXPECT_EQ(parsed.error().message(), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseAbsoluteUrlFailure,
    ::testing::Values(
        FailureCase{"", "relative URL without a base"},
        FailureCase{"example.com", "relative URL without a base"},
        FailureCase{"/tag:news", "relative URL without a base"},
        FailureCase{"blog/post", "relative URL without a base"},
        FailureCase{"1http://h", "relative URL without a base"},
        FailureCase{"\xFF"s, "relative URL without a base"},
        FailureCase{"http://", "empty host"},
        FailureCase{"http://?x", "empty host"},
        FailureCase{"http://user@/", "empty host"},
        FailureCase{"http://:80/", "empty host"},
        FailureCase{"http://a:99999", "invalid port number"},
        FailureCase{"http://a:8x/", "invalid port number"},
        FailureCase{"http://a:65536", "invalid port number"},
        FailureCase{"http://[::1", "invalid IPv6 address"},
        FailureCase{"http://[::g]/", "invalid IPv6 address"},
        FailureCase{"http://1.2.3.4.5/", "invalid IPv4 address"},
        FailureCase{"http://999.1.1.1/", "invalid IPv4 address"},
        FailureCase{"http://0x100000000/", "invalid IPv4 address"},
        FailureCase{"http://exa mple.com", "invalid domain character"},
        FailureCase{"http://a<b/", "invalid domain character"},
        FailureCase{"http://a%20b/", "invalid domain character"},
        FailureCase{"file://a:80/", "invalid domain character"},
        FailureCase{"foo://exa mple/", "invalid domain character"},
        FailureCase{"foo://a:x/", "invalid port number"},
        FailureCase{"foo://[::1/", "invalid IPv6 address"},
        FailureCase{"http://[::1]x/", "invalid IPv6 address"},
        FailureCase{"http://[::1]:99999/", "invalid port number"},
        FailureCase{"http://a%2Fb/", "invalid domain character"},
        FailureCase{"http://%00/", "invalid domain character"},
        // U+FFFD is disallowed in domain names; so is the U+FFFD that an
        // ill-formed byte becomes.
        FailureCase{"http://a\uFFFDb/", "invalid international domain name"},
        FailureCase{"http://\xFF/"s, "invalid international domain name"},
        // A soft hyphen maps to nothing, leaving no domain at all.
        FailureCase{"http://%C2%AD/", "invalid international domain name"},
        // An "xn--" label must decode to a non-empty, not all-ASCII label that
        // the IDNA mapping and NFC leave as it is and that is valid.
        FailureCase{"https://xn--/", "invalid international domain name"},
        FailureCase{"http://xn--a.com/", "invalid international domain name"},
        FailureCase{"http://XN--A.com/", "invalid international domain name"},
        FailureCase{"http://a.xn--ba-.com/",
                    "invalid international domain name"},
        FailureCase{"http://xn--ssa.com/", "invalid international domain name"},
        FailureCase{"http://xn--a-ecp.com/",
                    "invalid international domain name"},
        FailureCase{"http://xn--zz!.com/",
                    "invalid international domain name"}));

TEST(ParseAbsoluteUrl, WellFormedPunycodeLabelsAreAccepted) {
  for (const char* input :
       {"http://xn--mnchen-3ya.de/", "http://xn--ls8h.la/",
        "http://www.xn--wgv71a119e.jp/", "http://xn--d1a.xn--80a./",
        "foo://xn--/opaque-hosts-are-not-checked"}) {
    EXPECT_TRUE(parse_absolute_url(input).ok()) << input;
  }
}

TEST(ParseAbsoluteUrl, PortAtTheLimitIsAccepted) {
  const Result<ParsedUrl> parsed = parse_absolute_url("http://a:65535/x");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed->path, "/x");
}

TEST(ParseAbsoluteUrl, LongPathDoesNotFail) {
  const std::string path(1 << 20, 'a');
  const Result<ParsedUrl> parsed = parse_absolute_url("https://h/" + path);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed->path, "/" + path);
}

}  // namespace
}  // namespace zelko
