#include "zelko/error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace zelko {
namespace {

struct KindCase {
  ErrorKind kind;
  int code;
  const char* prefix;
};

class ErrorKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ErrorKindTest, HasStableCodeAndPrefix) {
  const KindCase& c = GetParam();
  EXPECT_EQ(static_cast<int>(c.kind), c.code);
  EXPECT_EQ(display_prefix(c.kind), c.prefix);
}

TEST_P(ErrorKindTest, DisplayIsPrefixThenBareMessage) {
  const KindCase& c = GetParam();
  const Error error(c.kind, "detail");
  EXPECT_EQ(error.kind(), c.kind);
  EXPECT_EQ(error.message(), "detail");
  EXPECT_EQ(error.display(), std::string(c.prefix) + "detail");
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ErrorKindTest,
    ::testing::Values(
        KindCase{ErrorKind::InvalidUrl, 0, "invalid URL: "},
        KindCase{ErrorKind::Configuration, 1, "invalid configuration: "},
        KindCase{ErrorKind::Entity, 2, "invalid entity: "},
        KindCase{ErrorKind::Schema, 3, "invalid schema: "},
        KindCase{ErrorKind::Serialization, 4, "serialization error: "},
        KindCase{ErrorKind::Contract, 5, "contract error: "},
        KindCase{ErrorKind::UrlPolicy, 6, "URL policy error: "}));

TEST(ErrorKindCount, CoversEveryKind) {
  EXPECT_EQ(kErrorKindCount, static_cast<int>(ErrorKind::UrlPolicy) + 1);
}

TEST(ErrorDisplay, ConfigurationErrorForEmptyHost) {
  const Error error(ErrorKind::Configuration,
                    "canonical_host must be a non-empty string");
  EXPECT_EQ(error.display(),
            "invalid configuration: canonical_host must be a non-empty string");
  EXPECT_EQ(error.message(), "canonical_host must be a non-empty string");
}

TEST(ErrorDisplay, EmptyMessageLeavesOnlyThePrefix) {
  EXPECT_EQ(Error(ErrorKind::Contract, "").display(), "contract error: ");
}

TEST(ErrorEquality, ComparesKindAndMessage) {
  const Error error(ErrorKind::Entity, "x");
  EXPECT_EQ(error, Error(ErrorKind::Entity, "x"));
  EXPECT_NE(error, Error(ErrorKind::Schema, "x"));
  EXPECT_NE(error, Error(ErrorKind::Entity, "y"));
}

TEST(ResultTest, HoldsEitherAValueOrAnError) {
  const Result<int> value = 7;
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(*value, 7);

  const Result<int> failure = Error(ErrorKind::InvalidUrl, "bad");
  ASSERT_FALSE(failure.ok());
  EXPECT_EQ(failure.error().kind(), ErrorKind::InvalidUrl);
  EXPECT_EQ(failure.error().message(), "bad");
}

TEST(StatusTest, DefaultIsSuccessAndAnErrorIsKept) {
  const Status success;
  EXPECT_TRUE(success.ok());

  const Status failure = Error(ErrorKind::UrlPolicy, "no");
  ASSERT_FALSE(failure.ok());
  EXPECT_EQ(failure.error().display(), "URL policy error: no");
}

}  // namespace
}  // namespace zelko
