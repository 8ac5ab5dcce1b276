// What the sitemap writer shares with crawl.cpp: URL resolution with the
// configuration's base URL parsed once, for millions of routes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zelko/crawl.hpp"
#include "zelko/error.hpp"
#include "zelko/records.hpp"

namespace zelko::detail {

// normalize_public_url for path references ("/..."), with the scheme and
// the mount prefix read from public_base_url once instead of on every call.
// It follows normalize_public_url step for step (fragment dropped, query
// after the first "?", mounting, normalize_path, the policy's query filter);
// the engine tests compare the two on generated routes.
class RouteResolver {
 public:
  // Fails as normalize_public_url does when public_base_url does not parse.
  [[nodiscard]] static Result<RouteResolver> make(const SEOConfig& config);

  // `reference` is trimmed and begins with "/".
  [[nodiscard]] std::string resolve(std::string_view reference) const;

  // scheme "://" canonical_host: where path references point.
  [[nodiscard]] std::string_view origin() const noexcept { return origin_; }

 private:
  const SEOConfig* config_ = nullptr;
  std::string origin_;  // scheme "://" canonical_host
  std::string prefix_;  // the base path without trailing "/"
};

// resolve_crawl_url and hreflang_links with a prepared resolver (which must
// be made from `config`).
[[nodiscard]] Result<std::string> resolve_crawl_url(std::string_view value,
                                                    const SEOConfig& config,
                                                    const RouteResolver& routes,
                                                    ForeignHost foreign);
// The URL of an asset (a sitemap's image): unlike a page, it keeps its path
// and query as given. An absolute http(s) URL, on any host, comes back as
// its WHATWG serialization; a path reference ("/img.png?w=1") is taken
// against the site's origin; "//cdn/x.png" gets the site's scheme.
[[nodiscard]] Result<std::string> resolve_asset_url(
    std::string_view value, const RouteResolver& routes);
[[nodiscard]] Result<std::vector<HreflangLink>> hreflang_links(
    const Alternates& alternates, const SEOConfig& config,
    const RouteResolver& routes);

}  // namespace zelko::detail
