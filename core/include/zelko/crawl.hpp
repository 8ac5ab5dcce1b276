// The crawl surface beside the payload: hreflang alternates and XML sitemap
// sets, resolved by the same URL rules as canonical URLs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelko/error.hpp"
#include "zelko/records.hpp"

namespace zelko {

// "x-default", or a BCP 47 tag language[-script][-region] (2-3 letters, 4
// letters, 2 letters or 3 digits), matched case-insensitively and returned
// in canonical case: "en-GB", "zh-Hant-TW", "es-419". Configuration error
// naming the tag otherwise.
[[nodiscard]] Result<std::string> canonical_hreflang_tag(std::string_view tag);

// What to do with an absolute URL on another host than `canonical_host`.
enum class ForeignHost : std::uint8_t { Keep, Refuse };

// A route, or an absolute URL on the site's host, resolved exactly as a
// canonical URL (normalize_public_url). An absolute http(s) URL on another
// host is kept as the WHATWG serialization, or refused. A value that begins
// with a scheme but does not parse, or whose scheme is not http(s), is an
// InvalidUrl error.
[[nodiscard]] Result<std::string> resolve_crawl_url(std::string_view value,
                                                    const SEOConfig& config,
                                                    ForeignHost foreign);

struct HreflangLink {
  std::string tag;  // canonical case
  std::string url;

  friend bool operator==(const HreflangLink&, const HreflangLink&) = default;
};

// Tag -> route or URL, as the caller gave them.
using Alternates = std::vector<std::pair<std::string, std::string>>;

// Canonical tags with resolved URLs (other hosts kept), sorted by tag without
// regard to case and "x-default" last. An invalid or duplicate tag, or a
// value that does not resolve, fails naming the tag and the value.
[[nodiscard]] Result<std::vector<HreflangLink>> hreflang_links(
    const Alternates& alternates, const SEOConfig& config);

// One <link rel="alternate" hreflang="TAG" href="URL"> per link, each ended
// by a line feed, attributes escaped as escape_html does; "" for no links.
[[nodiscard]] std::string render_hreflang(
    const std::vector<HreflangLink>& links);

// A point in time for ordering W3C Datetime values: seconds since
// 0000-03-01 UTC and nanoseconds; a date alone is its midnight UTC.
struct Instant {
  std::int64_t seconds = 0;
  std::int64_t nanos = 0;

  friend auto operator<=>(const Instant&, const Instant&) = default;
};

// Checks a W3C Datetime: YYYY, YYYY-MM, YYYY-MM-DD, or a date with
// "Thh:mm", "Thh:mm:ss" or "Thh:mm:ss.s..." and a zone ("Z" or "+hh:mm").
// A time without a zone is refused. Entity error naming the value.
[[nodiscard]] Result<Instant> parse_w3c_datetime(std::string_view text);

// The sitemaps.org protocol's ceilings, also the defaults.
inline constexpr std::size_t kSitemapMaxUrls = 50000;
inline constexpr std::size_t kSitemapMaxBytes = 52428800;

struct SitemapOptions {
  std::size_t max_urls = kSitemapMaxUrls;    // per file, 1..50000
  std::size_t max_bytes = kSitemapMaxBytes;  // per file, uncompressed
  bool gzip = false;                         // parts as sitemap-N-*.xml.gz
};

struct SitemapUrl {
  std::string_view location;                // route or URL on the site's host
  std::optional<std::string_view> lastmod;  // W3C Datetime
  const Alternates* alternates = nullptr;   // tag -> route or URL
  const std::vector<std::string>* images = nullptr;
};

// Streams a sitemap set into a directory: URL entries go to temporary files
// as they are added (nothing but a 16-byte fingerprint per URL is kept, for
// the duplicate check); close() renames them into place, parts first and
// sitemap.xml last. A part is named sitemap-N-<12 hex digits of its SHA-256>
// (.xml, or .xml.gz), so the parts of a new set never take the names the
// served index lists: readers see one whole set or the other. Once the index
// is in place, the parts of the writer's pattern it does not list are
// removed; opening a writer removes the temporary files of writers that were
// killed. A writer destroyed or discarded before close() removes its
// temporary files and leaves the directory as it was.
//
// Errors: Configuration (options), InvalidUrl/Configuration/Entity for a
// refused add (the writer stays usable), Serialization for a file that
// cannot be written (message "cannot write ...: reason").
class SitemapWriter {
 public:
  [[nodiscard]] static Result<SitemapWriter> open(std::string directory,
                                                  const SEOConfig& config,
                                                  SitemapOptions options);
  SitemapWriter(SitemapWriter&&) noexcept;
  SitemapWriter& operator=(SitemapWriter&&) noexcept;
  ~SitemapWriter();

  [[nodiscard]] Status add(const SitemapUrl& url);
  // The file names written: {"sitemap.xml"}, or the parts then
  // "sitemap.xml" (the index). A writer is closed once; later calls fail.
  [[nodiscard]] Result<std::vector<std::string>> close();
  // Removes every temporary file; the writer is then closed.
  void discard() noexcept;
  [[nodiscard]] bool is_open() const noexcept;

  struct State;

 private:
  explicit SitemapWriter(std::unique_ptr<State> state) noexcept;
  std::unique_ptr<State> state_;
};

}  // namespace zelko
