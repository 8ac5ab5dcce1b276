#include "social.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zelko {
namespace {

SEOConfig site_config() {
  SEOConfig config;
  config.canonical_host = "example.com";
  config.public_base_url = "https://example.com/";
  return config;
}

SEOImage image(std::string url, std::optional<std::string> alt = std::nullopt,
               std::optional<std::uint32_t> width = std::nullopt,
               std::optional<std::uint32_t> height = std::nullopt) {
  return SEOImage{std::move(url), width, height, std::move(alt)};
}

constexpr SocialInputs kInputs{"Title", "Description",
                               "https://example.com/page"};

SocialTags derive(const SEOEntity& entity, const SEOConfig& config,
                  const SEOOverrides& overrides = {},
                  const SocialInputs& inputs = kInputs) {
  return derive_social_tags(inputs, entity, config, overrides);
}

struct TypeCase {
  EntityType type;
  const char* og_type;
};

class OpenGraphTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(OpenGraphTypeTest, PostsAndVideosAreArticlesEverythingElseAWebsite) {
  SEOEntity entity;
  entity.entity_type = GetParam().type;
  EXPECT_EQ(derive(entity, site_config()).og.type, GetParam().og_type);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEntityType, OpenGraphTypeTest,
    ::testing::Values(TypeCase{EntityType::Home, "website"},
                      TypeCase{EntityType::Post, "article"},
                      TypeCase{EntityType::Page, "website"},
                      TypeCase{EntityType::Video, "article"},
                      TypeCase{EntityType::Taxonomy, "website"},
                      TypeCase{EntityType::Search, "website"},
                      TypeCase{EntityType::Other, "website"},
                      TypeCase{EntityType::Product, "website"},
                      TypeCase{EntityType::Organization, "website"},
                      TypeCase{EntityType::LocalBusiness, "website"},
                      TypeCase{EntityType::Faq, "website"}));

TEST(SocialTagsTest, WithoutAnyImageTheImageFieldsAreAbsentButTheCardStays) {
  const SocialTags tags = derive(SEOEntity{}, site_config());
  EXPECT_EQ(tags.og_image_source, nullptr);
  EXPECT_FALSE(tags.og.image);
  EXPECT_FALSE(tags.og.image_width);
  EXPECT_FALSE(tags.og.image_height);
  EXPECT_FALSE(tags.og.image_alt);
  EXPECT_FALSE(tags.twitter.image);
  EXPECT_FALSE(tags.twitter.image_alt);
  EXPECT_EQ(tags.twitter.card, "summary_large_image");
}

// Which record the Open Graph image comes from, for each combination of
// override, entity image and configured default.
struct ImageCase {
  const char* label;
  bool override_image;
  bool entity_image;
  bool default_image;
  std::optional<std::string> expected_url;
};

class OpenGraphImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(OpenGraphImageTest, OverrideBeatsEntityBeatsConfiguredDefault) {
  const ImageCase& c = GetParam();
  SEOEntity entity;
  SEOConfig config = site_config();
  SEOOverrides overrides;
  if (c.override_image) overrides.og_image = image("/override.png");
  if (c.entity_image) entity.featured_image = image("/entity.png");
  if (c.default_image) config.default_og_image = image("/default.png");
  const SocialTags tags = derive(entity, config, overrides);
  EXPECT_EQ(tags.og.image, c.expected_url);
  EXPECT_EQ(tags.twitter.image, c.expected_url);
  if (c.expected_url) {
    ASSERT_NE(tags.og_image_source, nullptr);
    EXPECT_EQ(tags.og_image_source->url, *c.expected_url);
    EXPECT_EQ(tags.og_image_source, choose_og_image(entity, config, overrides));
  } else {
    EXPECT_EQ(tags.og_image_source, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, OpenGraphImageTest,
    ::testing::Values(
        ImageCase{"none", false, false, false, std::nullopt},
        ImageCase{"default_only", false, false, true, "/default.png"},
        ImageCase{"entity_over_default", false, true, true, "/entity.png"},
        ImageCase{"override_over_all", true, true, true, "/override.png"},
        ImageCase{"override_alone", true, false, false, "/override.png"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SocialTagsTest, OpenGraphTakesWidthHeightAndAltFromTheChosenRecord) {
  SEOEntity entity;
  entity.featured_image = image("https://cdn/x.png", "Alt", 1200, 630);
  const SocialTags tags = derive(entity, site_config());
  EXPECT_EQ(tags.og.image, "https://cdn/x.png");
  EXPECT_EQ(tags.og.image_width, 1200u);
  EXPECT_EQ(tags.og.image_height, 630u);
  EXPECT_EQ(tags.og.image_alt, "Alt");
  EXPECT_EQ(tags.twitter.image_alt, "Alt");
}

TEST(SocialTagsTest, AnImageRecordIsTakenWholeNeverMixedWithAnother) {
  SEOEntity entity;
  entity.featured_image = image("/entity.png", "Entity alt", 10, 20);
  SEOOverrides overrides;
  overrides.og_image = image("/override.png");
  const SocialTags tags = derive(entity, site_config(), overrides);
  EXPECT_EQ(tags.og.image, "/override.png");
  EXPECT_FALSE(tags.og.image_alt);
  EXPECT_FALSE(tags.og.image_width);
  EXPECT_FALSE(tags.og.image_height);
  EXPECT_FALSE(tags.twitter.image_alt);
}

TEST(SocialTagsTest, TwitterImageOverrideLeavesOpenGraphOnTheEntityImage) {
  SEOEntity entity;
  entity.featured_image = image("/entity.png", "Entity alt");
  SEOOverrides overrides;
  overrides.twitter_image = image("/tw.png", "Tw alt", 5, 5);
  const SocialTags tags = derive(entity, site_config(), overrides);
  EXPECT_EQ(tags.og.image, "/entity.png");
  EXPECT_EQ(tags.og.image_alt, "Entity alt");
  EXPECT_EQ(tags.twitter.image, "/tw.png");
  EXPECT_EQ(tags.twitter.image_alt, "Tw alt");
  EXPECT_EQ(tags.og_image_source, &*entity.featured_image);
}

TEST(SocialTagsTest, ImageUrlsAreCopiedUncheckedAndUntrimmed) {
  SEOEntity entity;
  entity.featured_image = image(" not a url ", "");
  const SocialTags tags = derive(entity, site_config());
  EXPECT_EQ(tags.og.image, " not a url ");
  EXPECT_EQ(tags.og.image_alt, "");
  EXPECT_EQ(tags.twitter.image_alt, "");
}

struct CardCase {
  std::optional<std::string> override_card;
  const char* expected;
};

class TwitterCardTest : public ::testing::TestWithParam<CardCase> {};

TEST_P(TwitterCardTest, FirstUsableOverrideElseSummaryLargeImage) {
  SEOOverrides overrides;
  overrides.twitter_card = GetParam().override_card;
  EXPECT_EQ(derive(SEOEntity{}, site_config(), overrides).twitter.card,
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, TwitterCardTest,
    ::testing::Values(CardCase{std::nullopt, "summary_large_image"},
                      CardCase{"summary", "summary"},
                      CardCase{"  summary \t", "summary"},
                      CardCase{"   ", "summary_large_image"},
                      CardCase{"", "summary_large_image"},
                      CardCase{"\xE3\x80\x80player\xC2\xA0", "player"}));

TEST(SocialTagsTest, OgTitleOverrideReachesTwitterUnlessTwitterTitleIsGiven) {
  SEOOverrides overrides;
  overrides.og_title = " OG title ";
  SocialTags tags = derive(SEOEntity{}, site_config(), overrides);
  EXPECT_EQ(tags.og.title, "OG title");
  EXPECT_EQ(tags.twitter.title, "OG title");

  overrides.twitter_title = "\tTw title";
  tags = derive(SEOEntity{}, site_config(), overrides);
  EXPECT_EQ(tags.og.title, "OG title");
  EXPECT_EQ(tags.twitter.title, "Tw title");
}

TEST(SocialTagsTest, BlankTitleOverridesFallBackToThePayloadTitle) {
  SEOOverrides overrides;
  overrides.og_title = "  ";
  overrides.twitter_title = "";
  const SocialTags tags = derive(SEOEntity{}, site_config(), overrides);
  EXPECT_EQ(tags.og.title, "Title");
  EXPECT_EQ(tags.twitter.title, "Title");
}

TEST(SocialTagsTest, PayloadTitleBlanksFromATemplateAreTrimmedForTheTags) {
  const SocialInputs inputs{"  Hello | Site ", "", "https://example.com/"};
  const SocialTags tags = derive(SEOEntity{}, site_config(), {}, inputs);
  EXPECT_EQ(tags.og.title, "Hello | Site");
  EXPECT_EQ(tags.twitter.title, "Hello | Site");
}

TEST(SocialTagsTest, EmptyDescriptionLeavesBothDescriptionsAbsent) {
  const SocialInputs inputs{"Title", "", "https://example.com/"};
  const SocialTags tags = derive(SEOEntity{}, site_config(), {}, inputs);
  EXPECT_FALSE(tags.og.description);
  EXPECT_FALSE(tags.twitter.description);
}

TEST(SocialTagsTest, DescriptionOverridesChainOpenGraphThenTwitter) {
  const SocialInputs inputs{"Title", "", "https://example.com/"};
  SEOOverrides overrides;
  overrides.og_description = " OG desc ";
  SocialTags tags = derive(SEOEntity{}, site_config(), overrides, inputs);
  EXPECT_EQ(tags.og.description, "OG desc");
  EXPECT_EQ(tags.twitter.description, "OG desc");

  overrides.og_description = "   ";
  overrides.twitter_description = " Tw desc";
  tags = derive(SEOEntity{}, site_config(), overrides, inputs);
  EXPECT_FALSE(tags.og.description);
  EXPECT_EQ(tags.twitter.description, "Tw desc");
}

TEST(SocialTagsTest, ConfigurationAndOverrideCopiesKeepPresentEmptyValues) {
  SEOConfig config = site_config();
  config.site_name = "";
  config.locale = " en_US ";
  config.locale_alternate = std::vector<std::string>{};
  config.twitter_site = "";
  SEOOverrides overrides;
  overrides.og_audio = "";
  overrides.og_video = " /v.mp4 ";
  overrides.twitter_creator = " @ann ";
  const SocialTags tags = derive(SEOEntity{}, config, overrides);
  EXPECT_EQ(tags.og.site_name, "");
  EXPECT_EQ(tags.og.locale, " en_US ");
  ASSERT_TRUE(tags.og.locale_alternate);
  EXPECT_TRUE(tags.og.locale_alternate->empty());
  EXPECT_EQ(tags.og.audio, "");
  EXPECT_EQ(tags.og.video, " /v.mp4 ");
  EXPECT_EQ(tags.twitter.site, "");
  EXPECT_EQ(tags.twitter.creator, " @ann ");
}

}  // namespace
}  // namespace zelko
