#include "zelko/robots.hpp"

#include <string_view>

namespace zelko {

std::string serialize(const Robots& robots) {
  std::string out = robots.index ? "index" : "noindex";
  out += robots.follow ? ",follow" : ",nofollow";
  if (robots.max_snippet) {
    out += ",max-snippet:";
    out += std::to_string(*robots.max_snippet);
  }
  if (robots.max_image_preview) {
    // Free text, written as stored: the validator, not the serializer,
    // decides what is acceptable.
    out += ",max-image-preview:";
    out += *robots.max_image_preview;
  }
  if (robots.max_video_preview) {
    out += ",max-video-preview:";
    out += std::to_string(*robots.max_video_preview);
  }
  return out;
}

}  // namespace zelko
