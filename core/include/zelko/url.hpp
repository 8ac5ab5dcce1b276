// URL handling: route path normalization, tracking-parameter stripping and
// resolution of any path or URL into the site's canonical absolute URL.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "zelko/error.hpp"
#include "zelko/records.hpp"

namespace zelko {

// Trims White_Space, ensures a leading "/", collapses runs of "/", lowercases
// (full Unicode mapping) and applies the trailing-slash rule, each under the
// policy's switches. Total: every input gives a result.
[[nodiscard]] std::string normalize_path(std::string_view path,
                                         const URLPolicy& policy);

// The built-in tracking parameter names, all lower case.
inline constexpr std::array<std::string_view, 39> kTrackingParams{
    "utm_source",
    "utm_medium",
    "utm_campaign",
    "utm_term",
    "utm_content",
    "utm_id",
    "utm_cid",
    "utm_reader",
    "utm_name",
    "utm_social",
    "utm_social-type",
    "fbclid",
    "gclid",
    "gclsrc",
    "dclid",
    "msclkid",
    "twclid",
    "igclid",
    "ttclid",
    "li_fat_id",
    "mc_cid",
    "mc_eid",
    "_ga",
    "_gl",
    "_gac",
    "_gu",
    "_kx",
    "_hsenc",
    "_hsmi",
    "_openstat",
    "vero_id",
    "wickedid",
    "yclid",
    "phpsessid",
    "jsessionid",
    "asp.net_sessionid",
    "ncid",
    "zanpid",
    "zanphp"};

// Decodes a query key by the application/x-www-form-urlencoded rules ("+" is
// a space, "%XX" a byte, any other "%" stays) and reads the bytes as UTF-8,
// each invalid sequence becoming U+FFFD. Used for matching only.
[[nodiscard]] std::string decode_param_key(std::string_view key);

// Whole-name match of an already decoded key against the built-in list, then
// against `extra`; only ASCII letters are case-folded. Allocates nothing.
[[nodiscard]] bool is_tracking_param(std::string_view name,
                                     const std::vector<std::string>& extra);

// Drops the "&"-separated pieces whose decoded key is a built-in tracking
// name; every other piece, empty ones included, is kept as written.
[[nodiscard]] std::string clean_query(std::string_view query);

struct CleanedUrl {
  std::string url;
  // Raw key -> raw value of the "key=value" pieces, split by the verdict.
  std::map<std::string, std::string, std::less<>> removed_params;
  std::map<std::string, std::string, std::less<>> cleaned_params;

  friend bool operator==(const CleanedUrl&, const CleanedUrl&) = default;
};

// Cleans the text after the first "?" with clean_query; a "#" gets no special
// treatment. The URL loses its "?" when no piece is left.
[[nodiscard]] CleanedUrl clean_url(std::string_view url);

// The public, canonical, absolute URL for a route, path or URL: the path
// (mounted under the base URL's path and normalized) and the filtered query,
// on `canonical_host`. Fails with InvalidUrl for a blank input and with
// Configuration when `public_base_url` is not an absolute URL.
[[nodiscard]] Result<std::string> normalize_public_url(
    std::string_view url_or_path, const SEOConfig& config);

}  // namespace zelko
