// The whole head beside the payload: what a site ships on every page (icons,
// a manifest, theme colours, verification tags, feeds, app links) and what
// one page adds (more images, videos, article times and tags, keywords,
// crawler-specific robots). The payload and its rendering stay as they are;
// a head renders the payload's elements first, then the hreflang links, then
// these, through the same escaper.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "zelko/crawl.hpp"
#include "zelko/error.hpp"
#include "zelko/identity.hpp"
#include "zelko/input_fields.hpp"
#include "zelko/payload.hpp"
#include "zelko/records.hpp"
#include "zelko/robots.hpp"

namespace zelko {

// ---------------------------------------------------------------------------
// Choices: an enumeration and the words that name it

template <class Choice>
struct ChoiceNames;

enum class IconRel : std::uint8_t {
  Icon,
  ShortcutIcon,
  AppleTouchIcon,
  MaskIcon
};
template <>
struct ChoiceNames<IconRel> {
  static constexpr std::string_view field = "rel";
  static constexpr std::array<std::pair<IconRel, std::string_view>, 4> names{{
      {IconRel::Icon, "icon"},
      {IconRel::ShortcutIcon, "shortcut icon"},
      {IconRel::AppleTouchIcon, "apple-touch-icon"},
      {IconRel::MaskIcon, "mask-icon"},
  }};
};

enum class FeedType : std::uint8_t { Rss, Atom, JsonFeed };
template <>
struct ChoiceNames<FeedType> {
  static constexpr std::string_view field = "type";
  static constexpr std::array<std::pair<FeedType, std::string_view>, 3> names{{
      {FeedType::Rss, "application/rss+xml"},
      {FeedType::Atom, "application/atom+xml"},
      {FeedType::JsonFeed, "application/feed+json"},
  }};
};

template <class Choice>
[[nodiscard]] constexpr std::string_view choice_text(Choice choice) noexcept {
  for (const auto& [value, name] : ChoiceNames<Choice>::names) {
    if (value == choice) return name;
  }
  return {};
}

// The choice a word names, exactly; a Configuration error listing the words
// otherwise.
template <class Choice>
[[nodiscard]] Result<Choice> parse_choice(std::string_view text) {
  std::string expected;
  for (const auto& [value, name] : ChoiceNames<Choice>::names) {
    if (name == text) return value;
    expected += expected.empty() ? "" : ", ";
    expected += "\"" + std::string(name) + "\"";
  }
  return Error(ErrorKind::Configuration,
               std::string(ChoiceNames<Choice>::field) + " must be one of " +
                   expected + ", got \"" + std::string(text) + "\"");
}

// ---------------------------------------------------------------------------
// Records

struct Icon {
  std::string href;
  IconRel rel = IconRel::Icon;
  std::optional<std::string> sizes;
  std::optional<std::string> type;
  std::optional<std::string> media;
  std::optional<std::string> color;

  friend bool operator==(const Icon&, const Icon&) = default;
};

struct Feed {
  std::string href;
  FeedType type = FeedType::Rss;
  std::optional<std::string> title;

  friend bool operator==(const Feed&, const Feed&) = default;
};

// Name -> content, in the order given.
using MetaPairs = std::vector<std::pair<std::string, std::string>>;

struct ThemeColor {
  std::string color;
  std::optional<std::string> media;

  friend bool operator==(const ThemeColor&, const ThemeColor&) = default;
};
using ThemeColors = std::vector<ThemeColor>;

struct Verification {
  std::optional<std::string> google;
  std::optional<std::string> bing;
  std::optional<std::string> yandex;
  std::optional<std::string> pinterest;
  std::optional<std::string> facebook;
  std::optional<std::string> baidu;
  std::optional<std::string> naver;
  MetaPairs other;

  friend bool operator==(const Verification&, const Verification&) = default;
};

struct AppLinks {
  std::optional<std::string> ios_url;
  std::optional<std::string> ios_app_store_id;
  std::optional<std::string> ios_app_name;
  std::optional<std::string> android_url;
  std::optional<std::string> android_package;
  std::optional<std::string> android_app_name;
  std::optional<std::string> web_url;

  friend bool operator==(const AppLinks&, const AppLinks&) = default;
};

// Social cards of a site: where they are served and how they are drawn
// (the drawing itself is the Python package's).
struct CardSettings {
  std::string path = "/og/";
  std::string template_name = "default";
  MetaPairs theme;
  std::uint32_t width = 1200;
  std::uint32_t height = 630;
  std::vector<std::string> fonts;
  std::optional<std::string> directory;

  friend bool operator==(const CardSettings&, const CardSettings&) = default;
};

struct SiteHead {
  std::vector<Icon> icons;
  std::optional<std::string> manifest;
  ThemeColors theme_color;
  Verification verification;
  std::vector<Feed> feeds;
  AppLinks app_links;
  std::optional<std::string> twitter_site_id;
  std::optional<std::string> application_name;
  MetaPairs meta;
  std::optional<CardSettings> cards;
  // Who the site is (identity.hpp), and whether pages get one linked JSON-LD
  // graph (graph.hpp) in place of the payload's nodes.
  std::optional<Identity> identity;
  bool jsonld_graph = false;

  friend bool operator==(const SiteHead&, const SiteHead&) = default;
};

struct Video {
  std::string url;
  std::optional<std::string> type;
  std::optional<std::uint32_t> width;
  std::optional<std::uint32_t> height;
  std::optional<std::string> secure_url;

  friend bool operator==(const Video&, const Video&) = default;
};

// Times are W3C Datetime text (a date, or a date and time with its zone).
struct ArticleMeta {
  std::optional<std::string> published_time;
  std::optional<std::string> modified_time;
  std::optional<std::string> expiration_time;
  std::vector<std::string> authors;
  std::optional<std::string> section;
  std::vector<std::string> tags;

  friend bool operator==(const ArticleMeta&, const ArticleMeta&) = default;
};

// Directives beyond the payload's robots string, appended to it in this
// order.
struct RobotsExtra {
  bool noarchive = false;
  bool nosnippet = false;
  bool noimageindex = false;
  bool notranslate = false;
  bool indexifembedded = false;
  std::optional<std::string> unavailable_after;

  friend bool operator==(const RobotsExtra&, const RobotsExtra&) = default;
};

// The robots of one crawler (googlebot, bingbot): its own meta element.
struct CrawlerRobots {
  Robots robots;
  RobotsExtra extra;

  friend bool operator==(const CrawlerRobots&, const CrawlerRobots&) = default;
};

struct PageHead {
  std::vector<SEOImage> images;
  std::vector<Video> videos;
  std::optional<ArticleMeta> article;
  std::vector<std::string> keywords;
  std::optional<RobotsExtra> robots;
  std::optional<CrawlerRobots> googlebot;
  std::optional<CrawlerRobots> bingbot;
  MetaPairs meta;
  std::optional<bool> card;

  friend bool operator==(const PageHead&, const PageHead&) = default;
};

// ---------------------------------------------------------------------------
// Field tables (see input_fields.hpp). Every value of these records is
// checked when it is made (check_head_value).

template <>
struct InputFields<Icon> {
  static constexpr std::string_view record_name = "Icon";
  static constexpr std::string_view description =
      "An icon of the site: <link rel=\"icon\"> and its kin.";
  static constexpr std::tuple fields{
      required_field("href", &Icon::href, FieldKind::Url,
                     "The icon's URL or route."),
      field("rel", &Icon::rel, FieldKind::Choice,
            "\"icon\", \"shortcut icon\", \"apple-touch-icon\" or "
            "\"mask-icon\"."),
      field("sizes", &Icon::sizes, FieldKind::Text,
            "The sizes attribute (\"32x32\"), or None."),
      field("type", &Icon::type, FieldKind::Text,
            "The media type (\"image/png\"), or None."),
      field("media", &Icon::media, FieldKind::Text, "A media query, or None."),
      field("color", &Icon::color, FieldKind::Text,
            "The colour of a mask icon, or None."),
  };
};

template <>
struct InputFields<Feed> {
  static constexpr std::string_view record_name = "Feed";
  static constexpr std::string_view description =
      "A feed of the site: <link rel=\"alternate\" type=...>.";
  static constexpr std::tuple fields{
      required_field("href", &Feed::href, FieldKind::Url,
                     "The feed's URL or route."),
      field("type", &Feed::type, FieldKind::Choice,
            "\"application/rss+xml\", \"application/atom+xml\" or "
            "\"application/feed+json\"."),
      field("title", &Feed::title, FieldKind::Text,
            "The feed's title, or None."),
  };
};

template <>
struct InputFields<Verification> {
  static constexpr std::string_view record_name = "Verification";
  static constexpr std::string_view description =
      "Site verification tags of search consoles and networks.";
  static constexpr std::tuple fields{
      field("google", &Verification::google, FieldKind::Text,
            "google-site-verification, or None."),
      field("bing", &Verification::bing, FieldKind::Text,
            "msvalidate.01, or None."),
      field("yandex", &Verification::yandex, FieldKind::Text,
            "yandex-verification, or None."),
      field("pinterest", &Verification::pinterest, FieldKind::Text,
            "p:domain_verify, or None."),
      field("facebook", &Verification::facebook, FieldKind::Text,
            "facebook-domain-verification, or None."),
      field("baidu", &Verification::baidu, FieldKind::Text,
            "baidu-site-verification, or None."),
      field("naver", &Verification::naver, FieldKind::Text,
            "naver-site-verification, or None."),
      field("other", &Verification::other, FieldKind::TextMap,
            "Further verification tags, meta name to content."),
  };
};

template <>
struct InputFields<AppLinks> {
  static constexpr std::string_view record_name = "AppLinks";
  static constexpr std::string_view description =
      "App Links (al:*) of the site's apps.";
  static constexpr std::tuple fields{
      field("ios_url", &AppLinks::ios_url, FieldKind::Text,
            "al:ios:url, or None."),
      field("ios_app_store_id", &AppLinks::ios_app_store_id, FieldKind::Text,
            "al:ios:app_store_id, or None."),
      field("ios_app_name", &AppLinks::ios_app_name, FieldKind::Text,
            "al:ios:app_name, or None."),
      field("android_url", &AppLinks::android_url, FieldKind::Text,
            "al:android:url, or None."),
      field("android_package", &AppLinks::android_package, FieldKind::Text,
            "al:android:package, or None."),
      field("android_app_name", &AppLinks::android_app_name, FieldKind::Text,
            "al:android:app_name, or None."),
      field("web_url", &AppLinks::web_url, FieldKind::Url,
            "al:web:url, or None."),
  };
};

template <>
struct InputFields<CardSettings> {
  static constexpr std::string_view record_name = "CardSettings";
  static constexpr std::string_view description =
      "Where a site's social cards are served and how they are drawn.";
  static constexpr std::tuple fields{
      field("path", &CardSettings::path, FieldKind::Url,
            "The route the cards are served under, \"/og/\" by default."),
      field("template", &CardSettings::template_name, FieldKind::Text,
            "\"default\", \"minimal\", \"image\" or the path of an SVG "
            "template."),
      field("theme", &CardSettings::theme, FieldKind::TextMap,
            "background, foreground and accent, each #rrggbb; unset ones "
            "keep the default theme's."),
      field("width", &CardSettings::width, FieldKind::Integer,
            "Width in pixels (100 to 4096)."),
      field("height", &CardSettings::height, FieldKind::Integer,
            "Height in pixels (100 to 4096)."),
      field("fonts", &CardSettings::fonts, FieldKind::TextList,
            "Font files used before the bundled one, in order."),
      field("directory", &CardSettings::directory, FieldKind::Text,
            "Where cards and what they are drawn from are kept, shared by "
            "the site's processes; None keeps them in memory."),
  };
};

template <>
struct InputFields<SiteHead> {
  static constexpr std::string_view record_name = "SiteHead";
  static constexpr std::string_view description =
      "What the head of every page of a site holds beside the payload.";
  static constexpr std::tuple fields{
      field("icons", &SiteHead::icons, FieldKind::RecordList,
            "The site's icons, in order."),
      field("manifest", &SiteHead::manifest, FieldKind::Url,
            "The web app manifest's URL or route, or None."),
      field("theme_color", &SiteHead::theme_color, FieldKind::TextMap,
            "Theme colours: a colour, or (colour, media) pairs."),
      field("verification", &SiteHead::verification, FieldKind::Record,
            "Verification tags by service, and \"other\"."),
      field("feeds", &SiteHead::feeds, FieldKind::RecordList,
            "The site's feeds, in order."),
      field("app_links", &SiteHead::app_links, FieldKind::Record,
            "App Links of the site's apps."),
      field("twitter_site_id", &SiteHead::twitter_site_id, FieldKind::Text,
            "twitter:site:id, or None."),
      field("application_name", &SiteHead::application_name, FieldKind::Text,
            "application-name, or None."),
      field("meta", &SiteHead::meta, FieldKind::TextMap,
            "Further <meta name> elements, (name, content) pairs."),
      field("cards", &SiteHead::cards, FieldKind::Record,
            "Social cards for pages without a picture of their own, or "
            "None."),
      field("identity", &SiteHead::identity, FieldKind::Record,
            "The Organization or Person behind the site, or None."),
      field("jsonld_graph", &SiteHead::jsonld_graph, FieldKind::Flag,
            "Whether the head holds one linked JSON-LD graph in place of "
            "the payload's nodes."),
  };
};

template <>
struct InputFields<Video> {
  static constexpr std::string_view record_name = "Video";
  static constexpr std::string_view description =
      "An Open Graph video: og:video and its properties.";
  static constexpr std::tuple fields{
      required_field("url", &Video::url, FieldKind::Url,
                     "The video's URL or route."),
      field("type", &Video::type, FieldKind::Text,
            "The media type (\"video/mp4\"), or None."),
      field("width", &Video::width, FieldKind::Integer,
            "Width in pixels, or None."),
      field("height", &Video::height, FieldKind::Integer,
            "Height in pixels, or None."),
      field("secure_url", &Video::secure_url, FieldKind::Url,
            "The https URL, or None."),
  };
};

template <>
struct InputFields<ArticleMeta> {
  static constexpr std::string_view record_name = "ArticleMeta";
  static constexpr std::string_view description =
      "Open Graph article:* times, authors, section and tags.";
  static constexpr std::tuple fields{
      field("published_time", &ArticleMeta::published_time, FieldKind::Time,
            "article:published_time (a date, or a time with its zone), or "
            "None."),
      field("modified_time", &ArticleMeta::modified_time, FieldKind::Time,
            "article:modified_time, or None."),
      field("expiration_time", &ArticleMeta::expiration_time, FieldKind::Time,
            "article:expiration_time, or None."),
      field("authors", &ArticleMeta::authors, FieldKind::TextList,
            "article:author, one per author (a name or a profile URL)."),
      field("section", &ArticleMeta::section, FieldKind::Text,
            "article:section, or None."),
      field("tags", &ArticleMeta::tags, FieldKind::TextList,
            "article:tag, one per tag."),
  };
};

template <>
struct InputFields<RobotsExtra> {
  static constexpr std::string_view record_name = "RobotsExtra";
  static constexpr std::string_view description =
      "Robots directives beyond index and follow.";
  static constexpr std::tuple fields{
      field("noarchive", &RobotsExtra::noarchive, FieldKind::Flag,
            "Whether no cached copy may be shown."),
      field("nosnippet", &RobotsExtra::nosnippet, FieldKind::Flag,
            "Whether no snippet may be shown."),
      field("noimageindex", &RobotsExtra::noimageindex, FieldKind::Flag,
            "Whether the page's images may not be indexed."),
      field("notranslate", &RobotsExtra::notranslate, FieldKind::Flag,
            "Whether no translation may be offered."),
      field("indexifembedded", &RobotsExtra::indexifembedded, FieldKind::Flag,
            "Whether the page may be indexed when embedded."),
      field("unavailable_after", &RobotsExtra::unavailable_after,
            FieldKind::Time,
            "When the page leaves the index (a date, or a time with its "
            "zone), or None."),
  };
};

template <>
struct InputFields<PageHead> {
  static constexpr std::string_view record_name = "PageHead";
  static constexpr std::string_view description =
      "What the head of one page holds beside the payload.";
  static constexpr std::tuple fields{
      field("images", &PageHead::images, FieldKind::RecordList,
            "Open Graph images after the payload's own, in order."),
      field("videos", &PageHead::videos, FieldKind::RecordList,
            "Open Graph videos, in order."),
      field("article", &PageHead::article, FieldKind::Record,
            "article:* meta, or None."),
      field("keywords", &PageHead::keywords, FieldKind::TextList,
            "The keywords meta, one entry per keyword."),
      field("robots", &PageHead::robots, FieldKind::Record,
            "Directives added to the payload's robots meta, or None."),
      field("googlebot", &PageHead::googlebot, FieldKind::Record,
            "Googlebot's own robots meta: a Robots or (Robots, RobotsExtra), "
            "or None."),
      field("bingbot", &PageHead::bingbot, FieldKind::Record,
            "Bingbot's own robots meta, as googlebot, or None."),
      field("meta", &PageHead::meta, FieldKind::TextMap,
            "Further <meta name> elements, (name, content) pairs."),
      field("card", &PageHead::card, FieldKind::Flag,
            "True: the social card in place of the page's picture; False: "
            "none; None: as the site's cards say."),
  };
};

// ---------------------------------------------------------------------------
// Checks and the head itself

// Whether a value of the given kind can be carried in a head: text without
// control characters (C0, DEL, C1, U+2028, U+2029) and valid UTF-8; a URL
// field also an absolute http(s) URL or a route starting with "/". A
// Configuration error naming the value otherwise.
[[nodiscard]] Status check_head_text(std::string_view text, FieldKind kind);

// A W3C Datetime (see parse_w3c_datetime); Configuration error otherwise.
[[nodiscard]] Status check_head_time(std::string_view text);

namespace detail {
[[nodiscard]] inline Status check_head_value(FieldKind kind,
                                             const std::string& text) {
  return kind == FieldKind::Time ? check_head_time(text)
                                 : check_head_text(text, kind);
}
[[nodiscard]] inline Status check_head_value(
    FieldKind kind, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    if (Status status = check_head_text(text, kind); !status) return status;
  }
  return {};
}
[[nodiscard]] inline Status check_head_value(FieldKind /*kind*/,
                                             const MetaPairs& pairs) {
  for (const auto& [name, content] : pairs) {
    if (Status status = check_head_text(name, FieldKind::Text); !status)
      return status;
    if (Status status = check_head_text(content, FieldKind::Text); !status)
      return status;
  }
  return {};
}
// Numbers, flags, choices and nested records (checked when they were made).
template <class T>
[[nodiscard]] Status check_head_value(FieldKind /*kind*/, const T& /*value*/) {
  return {};
}
template <class T>
[[nodiscard]] Status check_head_value(FieldKind kind,
                                      const std::optional<T>& value) {
  return value ? check_head_value(kind, *value) : Status{};
}
}  // namespace detail

// Every text of a record of the head, by its row's kind: check_head_text,
// and check_head_time for times. `field` is set to the key at fault.
template <class Record>
[[nodiscard]] Status check_head_record(const Record& record,
                                       std::string& field) {
  Status status;
  all_input_fields<Record>([&](const auto& row) {
    status = detail::check_head_value(row.kind, record.*row.member);
    if (!status) field = row.key;
    return status.ok();
  });
  return status;
}

// The record-level rules a table cannot say: one theme colour per media, no
// meta name that the head writes itself, a mask icon's colour only on a mask
// icon. Configuration errors; `field` is set to the key at fault.
[[nodiscard]] Status check_site_head(const SiteHead& head, std::string& field);
[[nodiscard]] Status check_page_head(const PageHead& head, std::string& field);
// A route ending in "/" (no query), sides of 100 to 4096 pixels, theme keys
// among background, foreground and accent with #rrggbb colours.
[[nodiscard]] Status check_card_settings(const CardSettings& cards,
                                         std::string& field);

// The social card a head shows in place of the payload's picture: its URL
// (a route or an absolute URL), size, media type and alternative text.
struct HeadCard {
  std::string url;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::string type;
  std::string alt;

  friend bool operator==(const HeadCard&, const HeadCard&) = default;
};

// Everything a head renders beside the payload, its URLs resolved against the
// configuration (routes against public_base_url, queries kept).
struct HeadExtras {
  std::vector<HreflangLink> hreflang;
  const SiteHead* site = nullptr;  // may be null
  const PageHead* page = nullptr;  // may be null
  const HeadCard* card = nullptr;  // may be null
  // JSON text written in place of the payload's JSON-LD when set (the
  // linked graph).
  const std::string* jsonld = nullptr;
  // The site's elements as render_site_block wrote them for this site and
  // the configuration's public_base_url, written in place of the site's when
  // set: they are the same on every page of a site.
  const std::string* site_block = nullptr;
};

// The site's elements alone (application-name to the site's own meta), as
// every head of the site writes them after its hreflang links. Only the site
// head and public_base_url reach them; a URL that does not resolve is the
// error render_head gives for it.
[[nodiscard]] Result<std::string> render_site_block(
    const SiteHead& site, std::string_view public_base_url);

// The payload's head (its robots meta with the page's extra directives, the
// card, when there is one, in place of its picture, and its JSON-LD or
// extras.jsonld in its place), then the hreflang links, then every extra in
// the documented order, one element per line, a line feed at the end. With no
// extras it is exactly render_html(payload).
[[nodiscard]] Result<std::string> render_head(const SEOPayload& payload,
                                              const HeadExtras& extras,
                                              const SEOConfig& config);

// SHA-256 of the rendered head, 64 lower-case hex digits, and the strong
// ETag made of it ("\"" + digest + "\"").
[[nodiscard]] std::string head_hash(std::string_view rendered);
[[nodiscard]] std::string head_etag(std::string_view rendered);

}  // namespace zelko
