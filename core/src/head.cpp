#include "zelko/head.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "sha256.hpp"
#include "text.hpp"
#include "url_parser_internal.hpp"
#include "zelko/html.hpp"

namespace zelko {
namespace {

using namespace std::string_view_literals;

Error refuse(std::string message) {
  return Error(ErrorKind::Configuration, std::move(message));
}

// The text in quotes for a message of one line: control bytes as \xNN.
std::string shown(std::string_view text) {
  static constexpr std::string_view kHex = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

// C0 controls, DEL, C1 controls (U+0080..U+009F, bytes C2 80..C2 9F) and the
// line and paragraph separators U+2028/U+2029 (E2 80 A8/A9): none of them
// belongs in a head, and some end a line for readers that split on them.
bool has_control(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) return true;
    if (byte == 0xC2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return true;
    }
    if (byte == 0xE2 && text.substr(i + 1, 2) == "\x80\xA8"sv) return true;
    if (byte == 0xE2 && text.substr(i + 1, 2) == "\x80\xA9"sv) return true;
  }
  return false;
}

// A path on the site's own host: it starts with "/" and resolves against any
// base to that base's host ("//host/x" and "/\\host/x", which the parser
// reads as "//host/x", leave it).
// `text` resolved against a stand-in site, as the head resolves its URLs.
std::optional<ada::url_aggregator> resolved_on_probe(std::string_view text) {
  static constexpr std::string_view kProbe = "https://zelko.invalid/";
  const auto base = ada::parse<ada::url_aggregator>(kProbe, nullptr);
  auto resolved = ada::parse<ada::url_aggregator>(text, &*base);
  if (!resolved) return std::nullopt;
  return std::move(*resolved);
}

bool is_route(std::string_view text) {
  if (!text.starts_with('/')) return false;
  const auto resolved = resolved_on_probe(text);
  return resolved && resolved->get_host() == "zelko.invalid";
}

// Whether `text`, resolved against a site as the head resolves a picture's
// URL, is an http(s) URL (a path is; javascript: or data: is not). Text that
// does not parse is left to the build, which refuses it.
bool resolves_to_http(std::string_view text) {
  const auto resolved = resolved_on_probe(text);
  if (!resolved) return true;
  const std::string_view protocol = resolved->get_protocol();
  return protocol == "http:" || protocol == "https:";
}

bool is_http_url(std::string_view text) {
  const std::optional<ada::url_aggregator> url =
      detail::try_parse_url_without_base(text);
  if (!url) return false;
  const std::string_view scheme = detail::scheme_of(*url);
  return scheme == "http" || scheme == "https";
}

// Whether the parser would keep a route as it is after the origin: a path
// of characters that no percent-encode set of a special URL holds, no dot
// segment, and a query of the same characters. ("'" is encoded in a query.)
// The bytes of a route by what they mean to that: most are plain, "/" may
// start a dot segment, "?" starts the query.
enum class RouteByte : std::uint8_t { Refused, Plain, Slash, Query };
constexpr std::array<RouteByte, 256> kRouteBytes = [] {
  std::array<RouteByte, 256> table{};
  auto mark = [&](char c, RouteByte kind) {
    table[static_cast<unsigned char>(c)] = kind;
  };
  for (char c = 'a'; c <= 'z'; ++c) mark(c, RouteByte::Plain);
  for (char c = 'A'; c <= 'Z'; ++c) mark(c, RouteByte::Plain);
  for (char c = '0'; c <= '9'; ++c) mark(c, RouteByte::Plain);
  for (const char c : "-._~!$&()*+,;=:@"sv) mark(c, RouteByte::Plain);
  mark('/', RouteByte::Slash);
  mark('?', RouteByte::Query);
  return table;
}();

RouteByte route_byte(char c) {
  return kRouteBytes[static_cast<unsigned char>(c)];
}

// Whether a path segment ends at `at`: the route's end, "/" or the query.
bool ends_segment(std::string_view route, std::size_t at) {
  return at == route.size() || route[at] == '/' || route[at] == '?';
}

bool is_plain_route(std::string_view route) {
  if (!route.starts_with('/') || route.starts_with("//")) return false;
  for (std::size_t at = 0; at < route.size(); ++at) {
    switch (route_byte(route[at])) {
      case RouteByte::Plain:
        break;
      case RouteByte::Refused:
        return false;
      case RouteByte::Slash:
        // A dot segment in the path: "/." or "/.." ending its segment.
        if (at + 1 < route.size() && route[at + 1] == '.' &&
            (ends_segment(route, at + 2) ||
             (route[at + 2] == '.' && ends_segment(route, at + 3)))) {
          return false;
        }
        break;
      case RouteByte::Query:
        // The query: plain bytes, "/" and "?" among them, no segments.
        return std::none_of(
            route.begin() + static_cast<std::ptrdiff_t>(at), route.end(),
            [](char c) { return route_byte(c) == RouteByte::Refused; });
    }
  }
  return true;
}

// Routes and absolute URLs resolved against the site's base URL, which is
// parsed once; the query stays as given (an asset is not a page: no URL
// policy applies). The first failure is kept and every later URL is "".
class Resolver {
 public:
  explicit Resolver(std::string_view public_base_url)
      : public_base_url_(public_base_url) {}

  // The resolved URL, valid until the next call.
  std::string_view operator()(std::string_view value) {
    if (failure_ || !ready()) return {};
    // Most assets are plain routes: the origin and the route, as the parser
    // would give them, without a parse.
    url_.assign(origin_);
    if (is_plain_route(value)) return url_.append(value);
    if (const auto absolute = detail::try_parse_url_without_base(value)) {
      return url_.assign(absolute->get_href());
    }
    if (!base_ && !parse_base()) return {};
    auto resolved = ada::parse<ada::url_aggregator>(value, &*base_);
    if (!resolved) {
      failure_ =
          Error(ErrorKind::InvalidUrl, "cannot resolve " + in_quotes(value));
      return {};
    }
    return url_.assign(resolved->get_href());
  }
  [[nodiscard]] const std::optional<Error>& failure() const { return failure_; }

 private:
  // The origin, found the first time a URL is resolved: read off a base URL
  // that the parser would keep as it is ("https://www.example.com/..."),
  // else from the parsed base.
  bool ready() {
    if (!origin_.empty()) return true;
    const std::string_view base = public_base_url_;
    const std::size_t scheme_end = base.find("://");
    const std::string_view scheme = base.substr(0, scheme_end);
    if (scheme == "https" || scheme == "http") {
      const std::size_t host_end = base.find('/', scheme_end + 3);
      const std::string_view host =
          base.substr(scheme_end + 3, host_end - scheme_end - 3);
      const bool plain_host =
          !host.empty() && host.find("xn--") == std::string_view::npos &&
          std::all_of(host.begin(), host.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-';
          });
      if (plain_host && host.front() != '.' && host.back() != '.') {
        origin_ = base.substr(0, host_end);
        url_.reserve(origin_.size() + kRouteRoom);
        return true;
      }
    }
    if (!parse_base()) return false;
    origin_ = base_->get_origin();
    url_.reserve(origin_.size() + kRouteRoom);
    return true;
  }

  // Room for most routes after the origin, made once.
  static constexpr std::size_t kRouteRoom = 128;

  bool parse_base() {
    Result<ada::url_aggregator> base =
        detail::parse_url_without_base(public_base_url_);
    if (!base) {
      failure_ = Error(ErrorKind::Configuration, ErrorField::PublicBaseUrl,
                       "invalid public_base_url: " + base.error().message());
      return false;
    }
    base_ = std::move(*base);
    return true;
  }

  std::string_view public_base_url_;
  std::optional<ada::url_aggregator> base_;
  std::string origin_;
  std::string url_;
  std::optional<Error> failure_;
};

std::string ascii_lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), ascii_lower);
  return lower;
}

// Meta names the head writes itself: a caller's own meta may not repeat one.
constexpr std::array kVerificationNames{
    "google-site-verification"sv,     "msvalidate.01"sv,
    "yandex-verification"sv,          "p:domain_verify"sv,
    "facebook-domain-verification"sv, "baidu-site-verification"sv,
    "naver-site-verification"sv};
constexpr std::array kOwnNames{
    "description"sv,      "robots"sv,    "keywords"sv, "theme-color"sv,
    "application-name"sv, "googlebot"sv, "bingbot"sv};
constexpr std::array kOwnPrefixes{"og:"sv, "twitter:"sv, "article:"sv, "al:"sv};

bool is_own_name(std::string_view name) {
  const std::string lower = ascii_lowercase(name);
  auto equal = [&](std::string_view own) { return own == lower; };
  auto prefix = [&](std::string_view own) { return lower.starts_with(own); };
  return std::any_of(kOwnNames.begin(), kOwnNames.end(), equal) ||
         std::any_of(kVerificationNames.begin(), kVerificationNames.end(),
                     equal) ||
         std::any_of(kOwnPrefixes.begin(), kOwnPrefixes.end(), prefix);
}

// Names neither empty, nor the head's own, nor given twice.
Status check_meta_names(const MetaPairs& pairs, std::string_view what) {
  std::vector<std::string> seen;
  for (const auto& [name, content] : pairs) {
    if (name.empty()) return refuse(std::string(what) + ": an empty name");
    if (is_own_name(name)) {
      return refuse(std::string(what) + ": " + in_quotes(name) +
                    " is written by the head itself; give it through its "
                    "own field");
    }
    const std::string lower = ascii_lowercase(name);
    if (std::find(seen.begin(), seen.end(), lower) != seen.end()) {
      return refuse(std::string(what) + ": " + in_quotes(name) +
                    " is given twice");
    }
    seen.push_back(lower);
  }
  return {};
}

// ---------------------------------------------------------------------------
// Writing

// Where the extras are written: a small buffer in front of the head's text.
// Nearly everything the extras write is a short fixed piece or a short
// value, and copying one into the buffer (fixed pieces of a known size, in
// place) costs a fraction of a string append; the buffer goes to the text
// when full and at the end.
class Sink {
 public:
  explicit Sink(std::string& out) : out_(out) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  ~Sink() { flush(); }

  void put(char c) {
    if (used_ == buffer_.size()) flush();
    buffer_[used_++] = c;
  }
  void put(std::string_view text) {
    // An empty view may have no data at all (a URL that did not resolve):
    // memcpy must not see it.
    if (text.empty()) return;
    if (text.size() > buffer_.size() - used_) {
      flush();
      if (text.size() > buffer_.size()) {
        out_.append(text);
        return;
      }
    }
    std::memcpy(buffer_.data() + used_, text.data(), text.size());
    used_ += text.size();
  }
  // A fixed piece: its size is known here, so the copy is made in place.
  template <std::size_t N>
  void put_fixed(const char (&text)[N]) {
    constexpr std::size_t kSize = N - 1;
    if (kSize > buffer_.size() - used_) flush();
    std::memcpy(buffer_.data() + used_, text, kSize);
    used_ += kSize;
  }
  // A piece made at compile time, copied in place as the literals are.
  template <std::size_t N>
  void put_fixed(const std::array<char, N>& text) {
    static_assert(N <= kBufferSize);
    if (N > buffer_.size() - used_) flush();
    std::memcpy(buffer_.data() + used_, text.data(), N);
    used_ += N;
  }
  // The decimal digits of a number, written in place.
  void put_number(std::uint32_t number) {
    constexpr std::size_t kMostDigits = 10;
    if (kMostDigits > buffer_.size() - used_) flush();
    char* const start = buffer_.data() + used_;
    used_ += static_cast<std::size_t>(
        std::to_chars(start, start + kMostDigits, number).ptr - start);
  }
  // Through the engine's escaper (the bytes append_escaped_html writes).
  void put_escaped(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t at = find_html_special(text, 0); at < text.size();
         at = find_html_special(text, at + 1)) {
      put(text.substr(start, at - start));
      put(html_entity(text[at]));
      start = at + 1;
    }
    put(text.substr(start));
  }
  void flush() {
    out_.append(buffer_.data(), used_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBufferSize = 1024;
  std::string& out_;
  std::array<char, kBufferSize> buffer_;
  std::size_t used_ = 0;
};

// One element per line: `<name key="value" ...>`, attributes in the order
// set, absent ones left out, every value through the escaper.
class Element {
 public:
  template <std::size_t N>
  Element(Sink& out, const char (&name)[N]) : out_(out) {
    out_.put('<');
    out_.put_fixed(name);
  }
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;
  ~Element() { out_.put_fixed(">\n"); }

  template <std::size_t N>
  Element& set(const char (&key)[N], std::string_view value) {
    out_.put(' ');
    out_.put_fixed(key);
    out_.put_fixed("=\"");
    out_.put_escaped(value);
    out_.put('"');
    return *this;
  }
  template <std::size_t N>
  Element& set_present(const char (&key)[N],
                       const std::optional<std::string>& value) {
    return value ? set(key, *value) : *this;
  }

 private:
  Sink& out_;
};

// `<meta name="..." content="...">` (or property=), the bytes an Element
// with the two attributes writes, its fixed text written in three pieces.
// The key is one of the head's own names, which hold no character to escape.
template <std::size_t N>
void meta(Sink& out, const char (&opening)[N], std::string_view key,
          std::string_view content) {
  out.put_fixed(opening);
  out.put(key);
  out.put_fixed("\" content=\"");
  out.put_escaped(content);
  out.put_fixed("\">\n");
}
void meta_name(Sink& out, std::string_view name, std::string_view content) {
  meta(out, "<meta name=\"", name, content);
}
// A meta element the caller names (a site's or page's own meta, another
// verification tag): its name is escaped too.
void caller_meta(Sink& out, std::string_view name, std::string_view content) {
  out.put_fixed("<meta name=\"");
  out.put_escaped(name);
  out.put_fixed("\" content=\"");
  out.put_escaped(content);
  out.put_fixed("\">\n");
}
void meta_property(Sink& out, std::string_view property,
                   std::string_view content) {
  meta(out, "<meta property=\"", property, content);
}

// A word known when the head is compiled (an attribute, one of the head's
// own names), as a template argument.
template <std::size_t N>
struct Word {
  std::array<char, N - 1> text{};
  // Implicit, so that a literal is a template argument: property<"og:image">.
  constexpr Word(const char (&word)[N]) {  // NOLINT
    std::copy_n(word, N - 1, text.begin());
  }
};

// `<meta ATTRIBUTE="NAME" content="` in one piece: most of a page's extras
// are meta elements of the head's own names, and one copy of a piece whose
// size is known is what writing them costs beside their content.
template <Word Attribute, Word Name>
constexpr auto kMetaOpening = [] {
  constexpr std::string_view kStart = "<meta ";
  constexpr std::string_view kEquals = "=\"";
  constexpr std::string_view kContent = "\" content=\"";
  std::array<char, kStart.size() + Attribute.text.size() + kEquals.size() +
                       Name.text.size() + kContent.size()>
      text{};
  auto at = std::copy(kStart.begin(), kStart.end(), text.begin());
  at = std::copy(Attribute.text.begin(), Attribute.text.end(), at);
  at = std::copy(kEquals.begin(), kEquals.end(), at);
  at = std::copy(Name.text.begin(), Name.text.end(), at);
  std::copy(kContent.begin(), kContent.end(), at);
  return text;
}();

template <Word Attribute, Word Name>
void own_meta(Sink& out, std::string_view content) {
  out.put_fixed(kMetaOpening<Attribute, Name>);
  out.put_escaped(content);
  out.put_fixed("\">\n");
}
template <Word Name>
void named(Sink& out, std::string_view content) {
  own_meta<"name", Name>(out, content);
}
template <Word Name>
void property(Sink& out, std::string_view content) {
  own_meta<"property", Name>(out, content);
}
template <Word Name>
void present_property(Sink& out, const std::optional<std::string>& content) {
  if (content) property<Name>(out, *content);
}
// Digits hold nothing to escape.
template <Word Name>
void present_property(Sink& out, const std::optional<std::uint32_t>& number) {
  if (!number) return;
  out.put_fixed(kMetaOpening<"property", Name>);
  out.put_number(*number);
  out.put_fixed("\">\n");
}

std::string robots_extra_text(const RobotsExtra& extra) {
  std::string text;
  auto add = [&](bool on, std::string_view word) {
    if (!on) return;
    if (!text.empty()) text.push_back(',');
    text.append(word);
  };
  add(extra.noarchive, "noarchive");
  add(extra.nosnippet, "nosnippet");
  add(extra.noimageindex, "noimageindex");
  add(extra.notranslate, "notranslate");
  add(extra.indexifembedded, "indexifembedded");
  if (extra.unavailable_after) {
    if (!text.empty()) text.push_back(',');
    text += "unavailable_after: " + *extra.unavailable_after;
  }
  return text;
}

std::string with_extra(std::string robots, const RobotsExtra& extra) {
  const std::string more = robots_extra_text(extra);
  if (!more.empty()) {
    if (!robots.empty()) robots.push_back(',');
    robots += more;
  }
  return robots;
}

constexpr std::array kVerificationFields{
    &Verification::google,    &Verification::bing,     &Verification::yandex,
    &Verification::pinterest, &Verification::facebook, &Verification::baidu,
    &Verification::naver};

constexpr std::array kAppLinkProperties{
    std::pair{&AppLinks::ios_url, "al:ios:url"sv},
    std::pair{&AppLinks::ios_app_store_id, "al:ios:app_store_id"sv},
    std::pair{&AppLinks::ios_app_name, "al:ios:app_name"sv},
    std::pair{&AppLinks::android_url, "al:android:url"sv},
    std::pair{&AppLinks::android_package, "al:android:package"sv},
    std::pair{&AppLinks::android_app_name, "al:android:app_name"sv},
    std::pair{&AppLinks::web_url, "al:web:url"sv}};

void write_site(Sink& out, const SiteHead& site, Resolver& resolve) {
  if (site.application_name) {
    meta_name(out, "application-name", *site.application_name);
  }
  for (const ThemeColor& theme : site.theme_color) {
    Element(out, "meta")
        .set("name", "theme-color")
        .set("content", theme.color)
        .set_present("media", theme.media);
  }
  for (const Icon& icon : site.icons) {
    Element(out, "link")
        .set("rel", choice_text(icon.rel))
        .set("href", resolve(icon.href))
        .set_present("sizes", icon.sizes)
        .set_present("type", icon.type)
        .set_present("media", icon.media)
        .set_present("color", icon.color);
  }
  if (site.manifest) {
    Element(out, "link")
        .set("rel", "manifest")
        .set("href", resolve(*site.manifest));
  }
  for (const Feed& feed : site.feeds) {
    Element(out, "link")
        .set("rel", "alternate")
        .set("type", choice_text(feed.type))
        .set_present("title", feed.title)
        .set("href", resolve(feed.href));
  }
  for (std::size_t i = 0; i < kVerificationFields.size(); ++i) {
    const std::optional<std::string>& code =
        site.verification.*kVerificationFields[i];
    if (code) meta_name(out, kVerificationNames[i], *code);
  }
  for (const auto& [name, content] : site.verification.other) {
    caller_meta(out, name, content);
  }
  if (site.twitter_site_id) {
    meta_name(out, "twitter:site:id", *site.twitter_site_id);
  }
  for (const auto& [member, property] : kAppLinkProperties) {
    const std::optional<std::string>& value = site.app_links.*member;
    if (!value) continue;
    meta_property(out, property,
                  member == &AppLinks::web_url ? resolve(*value) : *value);
  }
  for (const auto& [name, content] : site.meta) caller_meta(out, name, content);
}

void write_page(Sink& out, const PageHead& page, Resolver& resolve) {
  if (!page.keywords.empty()) {
    std::string joined;
    for (const std::string& keyword : page.keywords) {
      if (!joined.empty()) joined += ", ";
      joined += keyword;
    }
    named<"keywords">(out, joined);
  }
  if (page.googlebot) {
    named<"googlebot">(out, with_extra(serialize(page.googlebot->robots),
                                       page.googlebot->extra));
  }
  if (page.bingbot) {
    named<"bingbot">(
        out, with_extra(serialize(page.bingbot->robots), page.bingbot->extra));
  }
  for (const SEOImage& image : page.images) {
    property<"og:image">(out, resolve(image.url));
    present_property<"og:image:width">(out, image.width);
    present_property<"og:image:height">(out, image.height);
    present_property<"og:image:alt">(out, image.alt);
  }
  for (const Video& video : page.videos) {
    property<"og:video">(out, resolve(video.url));
    if (video.secure_url) {
      property<"og:video:secure_url">(out, resolve(*video.secure_url));
    }
    present_property<"og:video:type">(out, video.type);
    present_property<"og:video:width">(out, video.width);
    present_property<"og:video:height">(out, video.height);
  }
  if (page.article) {
    const ArticleMeta& article = *page.article;
    present_property<"article:published_time">(out, article.published_time);
    present_property<"article:modified_time">(out, article.modified_time);
    present_property<"article:expiration_time">(out, article.expiration_time);
    for (const std::string& author : article.authors) {
      property<"article:author">(out, author);
    }
    present_property<"article:section">(out, article.section);
    for (const std::string& tag : article.tags) {
      property<"article:tag">(out, tag);
    }
  }
  for (const auto& [name, content] : page.meta) caller_meta(out, name, content);
}

// Room for what a head writes after the payload's part: the texts and the
// fixed parts of every element (an over-estimate, so the buffer grows once).
constexpr std::size_t kElementRoom = 64;

std::size_t text_room(const std::optional<std::string>& text) {
  return text ? text->size() + kElementRoom : 0;
}
std::size_t pairs_room(const MetaPairs& pairs) {
  std::size_t size = 0;
  for (const auto& [name, content] : pairs) {
    size += name.size() + content.size() + kElementRoom;
  }
  return size;
}
std::size_t texts_room(const std::vector<std::string>& texts) {
  std::size_t size = 0;
  for (const std::string& text : texts) size += text.size() + kElementRoom;
  return size;
}

std::size_t site_size(const SiteHead& site) {
  std::size_t size = 0;
  for (const Icon& icon : site.icons) {
    size += icon.href.size() + 2 * kElementRoom + text_room(icon.sizes) +
            text_room(icon.type) + text_room(icon.media) +
            text_room(icon.color);
  }
  for (const Feed& feed : site.feeds) {
    size += feed.href.size() + 2 * kElementRoom + text_room(feed.title);
  }
  for (const ThemeColor& theme : site.theme_color) {
    size += theme.color.size() + kElementRoom + text_room(theme.media);
  }
  return size + text_room(site.manifest) + text_room(site.application_name) +
         text_room(site.twitter_site_id) + pairs_room(site.meta) +
         pairs_room(site.verification.other) +
         kVerificationNames.size() * kElementRoom +
         kAppLinkProperties.size() * kElementRoom;
}

// Escaping may still grow the text: then the buffer grows as usual.
std::size_t extras_size(const HeadExtras& extras) {
  std::size_t size = 0;
  for (const HreflangLink& link : extras.hreflang) {
    size += link.tag.size() + link.url.size() + kElementRoom;
  }
  if (extras.site_block != nullptr) {
    size += extras.site_block->size();
  } else if (extras.site != nullptr) {
    size += site_size(*extras.site);
  }
  if (const PageHead* page = extras.page; page != nullptr) {
    size +=
        3 * kElementRoom + texts_room(page->keywords) + pairs_room(page->meta);
    for (const SEOImage& image : page->images) {
      size += image.url.size() + 4 * kElementRoom + text_room(image.alt);
    }
    for (const Video& video : page->videos) {
      size += video.url.size() + 5 * kElementRoom +
              text_room(video.secure_url) + text_room(video.type);
    }
    if (page->article) {
      size += 4 * kElementRoom + texts_room(page->article->authors) +
              texts_room(page->article->tags);
    }
  }
  return size;
}

void append_hreflang(Sink& out, const std::vector<HreflangLink>& links) {
  for (const HreflangLink& link : links) {
    Element(out, "link")
        .set("rel", "alternate")
        .set("hreflang", link.tag)
        .set("href", link.url);
  }
}

bool is_hex_colour(std::string_view text) {
  return text.size() == 7 && text[0] == '#' &&
         std::all_of(text.begin() + 1, text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                  (c >= 'A' && c <= 'F');
         });
}

constexpr std::uint32_t kMinCardSide = 100;
constexpr std::uint32_t kMaxCardSide = 4096;

}  // namespace

Status check_head_text(std::string_view text, FieldKind kind) {
  if (!is_valid_utf8(text) || has_control(text)) {
    return refuse(shown(text) +
                  ": control characters (and U+2028, U+2029) cannot be "
                  "carried in a head");
  }
  if (kind == FieldKind::Url && !is_route(text) && !is_http_url(text)) {
    return refuse(in_quotes(text) +
                  " is neither an http(s) URL nor a route starting with /");
  }
  return {};
}

Status check_head_time(std::string_view text) {
  Result<Instant> instant = parse_w3c_datetime(text);
  if (!instant) {
    return refuse(in_quotes(text) +
                  " is not a date, or a date and time with its zone "
                  "(YYYY-MM-DD, YYYY-MM-DDThh:mm[:ss[.s]] with Z or +hh:mm)");
  }
  return {};
}

Status check_site_head(const SiteHead& head, std::string& field) {
  std::vector<std::optional<std::string>> media;
  for (const ThemeColor& theme : head.theme_color) {
    if (std::find(media.begin(), media.end(), theme.media) != media.end()) {
      field = "theme_color";
      return refuse("theme_color: two colours for the media " +
                    (theme.media ? in_quotes(*theme.media) : "of every page"));
    }
    media.push_back(theme.media);
  }
  for (const Icon& icon : head.icons) {
    if (icon.color && icon.rel != IconRel::MaskIcon) {
      field = "icons";
      return refuse("icons: a colour belongs to a mask-icon only, not to " +
                    in_quotes(choice_text(icon.rel)));
    }
  }
  if (Status names =
          check_meta_names(head.verification.other, "verification.other");
      !names) {
    field = "verification";
    return names;
  }
  if (Status names = check_meta_names(head.meta, "meta"); !names) {
    field = "meta";
    return names;
  }
  return {};
}

Status check_page_head(const PageHead& head, std::string& field) {
  if (Status names = check_meta_names(head.meta, "meta"); !names) {
    field = "meta";
    return names;
  }
  for (std::size_t index = 0; index < head.images.size(); ++index) {
    const std::string_view url = head.images[index].url;
    if (!resolves_to_http(url)) {
      field = "images[" + std::to_string(index) + "].url";
      return refuse(shown(url) + " is neither an http(s) URL nor a path");
    }
  }
  return {};
}

Status check_card_settings(const CardSettings& cards, std::string& field) {
  const std::string_view path = cards.path;
  if (!path.starts_with('/') || !path.ends_with('/') ||
      path.find_first_of("?#") != std::string_view::npos) {
    field = "path";
    return refuse(
        "path must be a route such as \"/og/\" (starting and "
        "ending with /, no query), got " +
        in_quotes(path));
  }
  if (cards.template_name.empty()) {
    field = "template";
    return refuse("template must be a template's name or an SVG path");
  }
  for (const auto& [side, value] : {std::pair{"width"sv, cards.width},
                                    std::pair{"height"sv, cards.height}}) {
    if (value < kMinCardSide || value > kMaxCardSide) {
      field = side;
      return refuse(std::string(side) + " must be 100 to 4096 pixels, got " +
                    std::to_string(value));
    }
  }
  std::vector<std::string_view> seen;
  for (const auto& [key, colour] : cards.theme) {
    field = "theme";
    if (key != "background" && key != "foreground" && key != "accent") {
      return refuse("theme has background, foreground and accent, not " +
                    in_quotes(key));
    }
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
      return refuse("theme gives " + in_quotes(key) + " twice");
    }
    seen.push_back(key);
    if (!is_hex_colour(colour)) {
      return refuse("theme " + key + " must be a #rrggbb colour, got " +
                    in_quotes(colour));
    }
  }
  field.clear();
  return {};
}

Result<std::string> render_head(const SEOPayload& payload,
                                const HeadExtras& extras,
                                const SEOConfig& config) {
  const PageHead* page = extras.page;
  const std::string robots = page != nullptr && page->robots
                                 ? with_extra(payload.robots, *page->robots)
                                 : std::string();
  const std::string_view robots_text = page != nullptr && page->robots
                                           ? std::string_view(robots)
                                           : std::string_view(payload.robots);
  // The URLs are resolved while the elements are written; one that does not
  // resolve fails the whole head, so no partial text escapes.
  Resolver resolve(config.public_base_url);
  std::string card_url;
  std::optional<HeadPicture> picture;
  if (extras.card != nullptr) {
    card_url = resolve(extras.card->url);
    if (resolve.failure()) return *resolve.failure();
    picture = HeadPicture{card_url, extras.card->width, extras.card->height,
                          extras.card->type, extras.card->alt};
  }
  std::string out;
  // One buffer, sized once for the payload's part and the extras.
  const std::size_t more = extras_size(extras);
  const std::optional<std::string_view> jsonld =
      extras.jsonld != nullptr ? std::optional<std::string_view>(*extras.jsonld)
                               : std::nullopt;
  if (Status status =
          append_html(out, payload, robots_text, picture ? &*picture : nullptr,
                      jsonld ? &*jsonld : nullptr, more);
      !status) {
    return std::move(status).error();
  }
  {
    Sink sink(out);
    append_hreflang(sink, extras.hreflang);
    if (extras.site_block != nullptr) {
      sink.put(*extras.site_block);
    } else if (extras.site != nullptr) {
      write_site(sink, *extras.site, resolve);
    }
    if (page != nullptr) write_page(sink, *page, resolve);
  }
  if (resolve.failure()) return *resolve.failure();
  return out;
}

Result<std::string> render_site_block(const SiteHead& site,
                                      std::string_view public_base_url) {
  Resolver resolve(public_base_url);
  std::string out;
  out.reserve(site_size(site));
  {
    Sink sink(out);
    write_site(sink, site, resolve);
  }
  if (resolve.failure()) return *resolve.failure();
  return out;
}

std::string head_hash(std::string_view rendered) {
  return sha256_hex(rendered);
}

std::string head_etag(std::string_view rendered) {
  return in_quotes(head_hash(rendered));
}

}  // namespace zelko
