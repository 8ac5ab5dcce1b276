// Open Graph and Twitter Card tags of a payload.
#pragma once

#include <string_view>

#include "zelko/payload.hpp"
#include "zelko/records.hpp"

namespace zelko {

// The card type when no usable twitter_card override is given.
inline constexpr std::string_view kDefaultTwitterCard = "summary_large_image";

// The already resolved payload fields the tags are derived from.
struct SocialInputs {
  std::string_view title;        // after the title template
  std::string_view description;  // possibly empty
  std::string_view canonical;
};

struct SocialTags {
  OGPayload og;
  TwitterPayload twitter;
  // The image record Open Graph took its image from (override, entity or
  // configuration), or null; JSON-LD generation reuses its URL.
  const SEOImage* og_image_source = nullptr;
};

// The Open Graph image record: override og_image, else the entity's
// featured_image, else the configuration's default_og_image, else null.
[[nodiscard]] const SEOImage* choose_og_image(const SEOEntity& entity,
                                              const SEOConfig& config,
                                              const SEOOverrides& overrides);

// Fills both tag groups. Text fields chosen by precedence take the first
// usable (trimmed, non-blank) candidate; fields said to be copied keep the
// stored text as is. Images come from one record each, never mixed.
// Cannot fail.
[[nodiscard]] SocialTags derive_social_tags(const SocialInputs& inputs,
                                            const SEOEntity& entity,
                                            const SEOConfig& config,
                                            const SEOOverrides& overrides);

}  // namespace zelko
