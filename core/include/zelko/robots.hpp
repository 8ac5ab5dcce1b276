// Robots directives and their serialized directive string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelko {

struct Robots {
  bool index = true;
  bool follow = true;
  std::optional<std::int32_t> max_snippet;
  std::optional<std::string> max_image_preview;
  std::optional<std::int32_t> max_video_preview;

  friend bool operator==(const Robots&, const Robots&) = default;
};

// "index"/"noindex", "follow"/"nofollow", then the present limits in the
// fixed order snippet, image preview, video preview; joined with ",".
[[nodiscard]] std::string serialize(const Robots& robots);

// index and follow, no limits.
[[nodiscard]] inline Robots default_robots() { return Robots{}; }
// noindex and follow, no limits.
[[nodiscard]] inline Robots default_search_robots() {
  Robots robots;
  robots.index = false;
  return robots;
}

}  // namespace zelko
