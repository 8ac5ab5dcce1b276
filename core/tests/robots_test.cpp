#include "zelko/robots.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace zelko {
namespace {

Robots make(bool index, bool follow, std::optional<std::int32_t> snippet,
            std::optional<std::string> image,
            std::optional<std::int32_t> video) {
  Robots robots;
  robots.index = index;
  robots.follow = follow;
  robots.max_snippet = snippet;
  robots.max_image_preview = std::move(image);
  robots.max_video_preview = video;
  return robots;
}

struct SerializeCase {
  std::string name;
  Robots robots;
  std::string expected;
};

class RobotsSerialize : public ::testing::TestWithParam<SerializeCase> {};

TEST_P(RobotsSerialize, WritesDirectivesInFixedOrder) {
  EXPECT_EQ(serialize(GetParam().robots), GetParam().expected);
}

constexpr auto kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, RobotsSerialize,
    ::testing::Values(
        SerializeCase{"defaults", default_robots(), "index,follow"},
        SerializeCase{"search_defaults", default_search_robots(),
                      "noindex,follow"},
        SerializeCase{"nothing_allowed",
                      make(false, false, kNone, kNone, kNone),
                      "noindex,nofollow"},
        SerializeCase{"negative_snippet", make(true, true, -1, kNone, kNone),
                      "index,follow,max-snippet:-1"},
        SerializeCase{"snippet_before_video", make(true, true, 50, kNone, 0),
                      "index,follow,max-snippet:50,max-video-preview:0"},
        SerializeCase{"image_preview", make(true, false, kNone, "large", kNone),
                      "index,nofollow,max-image-preview:large"},
        SerializeCase{
            "all_five", make(false, true, 20, "standard", 30),
            "noindex,follow,max-snippet:20,max-image-preview:standard,"
            "max-video-preview:30"},
        SerializeCase{"empty_image_preview", make(true, true, kNone, "", kNone),
                      "index,follow,max-image-preview:"},
        // Free text is written as stored, commas included.
        SerializeCase{"image_preview_with_comma",
                      make(true, true, kNone, "a,b", kNone),
                      "index,follow,max-image-preview:a,b"},
        SerializeCase{"int32_extremes",
                      make(true, true, std::numeric_limits<std::int32_t>::min(),
                           kNone, std::numeric_limits<std::int32_t>::max()),
                      "index,follow,max-snippet:-2147483648,"
                      "max-video-preview:2147483647"}),
    [](const auto& info) { return info.param.name; });

TEST(RobotsDefaults, DifferOnlyInIndex) {
  EXPECT_TRUE(default_robots().index);
  EXPECT_FALSE(default_search_robots().index);
  Robots search = default_search_robots();
  search.index = true;
  EXPECT_EQ(search, default_robots());
}

}  // namespace
}  // namespace zelko
