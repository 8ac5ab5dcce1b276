#include "social.hpp"

#include <optional>
#include <string>

#include "text.hpp"

namespace zelko {
namespace {

std::optional<std::string_view> usable_text(std::string_view text) noexcept {
  const std::string_view trimmed = trim_white_space(text);
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

// The first usable candidate, kept trimmed.
std::optional<std::string> first_usable(
    const std::optional<std::string>& preferred,
    std::optional<std::string_view> fallback) {
  if (const auto text = usable_value(preferred)) return std::string(*text);
  if (fallback) return std::string(*fallback);
  return std::nullopt;
}

std::string_view open_graph_type(EntityType type) noexcept {
  return type == EntityType::Post || type == EntityType::Video ? "article"
                                                               : "website";
}

OGPayload derive_open_graph(const SocialInputs& inputs, const SEOEntity& entity,
                            const SEOConfig& config,
                            const SEOOverrides& overrides,
                            const SEOImage* image) {
  OGPayload og;
  og.type = open_graph_type(entity.entity_type);
  // The payload title is never blank, so the title is always present.
  og.title = first_usable(overrides.og_title, trim_white_space(inputs.title));
  og.description =
      first_usable(overrides.og_description, usable_text(inputs.description));
  og.url = std::string(inputs.canonical);
  if (image != nullptr) {
    og.image = image->url;
    og.image_width = image->width;
    og.image_height = image->height;
    og.image_alt = image->alt;
  }
  og.site_name = config.site_name;
  og.locale = config.locale;
  og.locale_alternate = config.locale_alternate;
  og.audio = overrides.og_audio;
  og.video = overrides.og_video;
  return og;
}

TwitterPayload derive_twitter(const OGPayload& og, const SEOConfig& config,
                              const SEOOverrides& overrides,
                              const SEOImage* image) {
  TwitterPayload twitter;
  twitter.card = *first_usable(overrides.twitter_card, kDefaultTwitterCard);
  // Title and description fall back to the Open Graph values, which carry an
  // og_title/og_description override on to Twitter.
  twitter.title = first_usable(overrides.twitter_title, og.title);
  twitter.description =
      first_usable(overrides.twitter_description, og.description);
  if (image != nullptr) {
    twitter.image = image->url;
    twitter.image_alt = image->alt;
  }
  twitter.site = config.twitter_site;
  twitter.creator = overrides.twitter_creator;
  return twitter;
}

}  // namespace

const SEOImage* choose_og_image(const SEOEntity& entity,
                                const SEOConfig& config,
                                const SEOOverrides& overrides) {
  if (overrides.og_image) return &*overrides.og_image;
  if (entity.featured_image) return &*entity.featured_image;
  if (config.default_og_image) return &*config.default_og_image;
  return nullptr;
}

SocialTags derive_social_tags(const SocialInputs& inputs,
                              const SEOEntity& entity, const SEOConfig& config,
                              const SEOOverrides& overrides) {
  SocialTags tags;
  tags.og_image_source = choose_og_image(entity, config, overrides);
  // Each group takes its image record whole; fields are never mixed.
  const SEOImage* twitter_image = overrides.twitter_image
                                      ? &*overrides.twitter_image
                                      : tags.og_image_source;
  tags.og = derive_open_graph(inputs, entity, config, overrides,
                              tags.og_image_source);
  tags.twitter = derive_twitter(tags.og, config, overrides, twitter_image);
  return tags;
}

}  // namespace zelko
