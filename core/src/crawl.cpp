// Hreflang tags and links, crawl URL resolution and W3C Datetime values.
#include "zelko/crawl.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crawl_internal.hpp"
#include "text.hpp"
#include "url_parser_internal.hpp"
#include "zelko/html.hpp"
#include "zelko/url.hpp"

namespace zelko {
namespace {

constexpr std::string_view kDefaultTag = "x-default";

bool is_alpha(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
char to_lower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char to_upper(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), to_lower);
  return out;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return to_lower(x) == to_lower(y); });
}

bool all_of(std::string_view text, bool (*test)(char) noexcept) {
  return std::all_of(text.begin(), text.end(), test);
}

// Each subtag kind: its canonical case, or nothing when `subtag` is not one.
std::optional<std::string> as_language(std::string_view subtag) {
  if (subtag.size() < 2 || subtag.size() > 3 || !all_of(subtag, is_alpha)) {
    return std::nullopt;
  }
  return lower_ascii(subtag);
}

std::optional<std::string> as_script(std::string_view subtag) {
  if (subtag.size() != 4 || !all_of(subtag, is_alpha)) return std::nullopt;
  std::string out = lower_ascii(subtag);
  out[0] = to_upper(out[0]);
  return out;
}

std::optional<std::string> as_region(std::string_view subtag) {
  if (subtag.size() == 3 && all_of(subtag, is_digit))
    return std::string(subtag);
  if (subtag.size() != 2 || !all_of(subtag, is_alpha)) return std::nullopt;
  return std::string{to_upper(subtag[0]), to_upper(subtag[1])};
}

std::vector<std::string_view> split_subtags(std::string_view tag) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t dash = tag.find('-', start);
    parts.push_back(tag.substr(start, dash - start));
    if (dash == std::string_view::npos) return parts;
    start = dash + 1;
  }
}

// Whether the text begins with "scheme:" as the URL parser reads it: after
// leading C0 controls and spaces, with tabs and line breaks ignored.
bool begins_with_scheme(std::string_view text) noexcept {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) {
    text.remove_prefix(1);
  }
  bool first = true;
  for (const char c : text) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (c == ':') return !first;
    const bool allowed =
        is_alpha(c) ||
        (!first && (is_digit(c) || c == '+' || c == '-' || c == '.'));
    if (!allowed) return false;
    first = false;
  }
  return false;
}

// Sort key: the lower-case tag, "x-default" after every language.
std::pair<bool, std::string> tag_order(const std::string& tag) {
  return {tag == kDefaultTag, lower_ascii(tag)};
}

}  // namespace

Result<std::string> canonical_hreflang_tag(std::string_view tag) {
  if (equals_ignoring_case(tag, kDefaultTag)) return std::string(kDefaultTag);
  const std::vector<std::string_view> parts = split_subtags(tag);
  std::optional<std::string> language = as_language(parts[0]);
  std::optional<std::string> script;
  std::optional<std::string> region;
  std::size_t next = 1;
  if (language && next < parts.size()) {
    script = as_script(parts[next]);
    if (script) ++next;
  }
  if (language && next < parts.size()) {
    region = as_region(parts[next]);
    if (region) ++next;
  }
  if (!language || next != parts.size()) {
    return Error(ErrorKind::Configuration,
                 "invalid hreflang tag " + in_quotes(tag) +
                     ": expected language[-script][-region] or x-default");
  }
  std::string out = std::move(*language);
  for (const auto* subtag : {&script, &region}) {
    if (*subtag) out += "-" + **subtag;
  }
  return out;
}

namespace detail {

Result<RouteResolver> RouteResolver::make(const SEOConfig& config) {
  auto base = parse_url_without_base(config.public_base_url);
  if (!base) {
    // The message normalize_public_url gives for the same configuration.
    Result<std::string> refused = normalize_public_url("/", config);
    if (!refused) return std::move(refused).error();
    return Error(ErrorKind::Configuration, "invalid public_base_url");
  }
  RouteResolver resolver;
  resolver.config_ = &config;
  resolver.origin_ = config.url_policy.enforce_https
                         ? std::string("https")
                         : std::string(scheme_of(*base));
  resolver.origin_ += "://";
  resolver.origin_ += config.canonical_host;
  std::string_view prefix = base->get_pathname();
  while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
  resolver.prefix_ = std::string(prefix);
  return resolver;
}

namespace {

bool keep_query_piece(std::string_view key, const URLPolicy& policy) {
  const std::vector<std::string>& allowed = policy.allowed_query_params;
  if (!allowed.empty()) {
    const std::string name = decode_param_key(key);
    return std::find(allowed.begin(), allowed.end(), name) != allowed.end();
  }
  return !policy.strip_tracking_params ||
         !is_tracking_param(decode_param_key(key),
                            policy.extra_tracking_params);
}

}  // namespace

std::string RouteResolver::resolve(std::string_view reference) const {
  const URLPolicy& policy = config_->url_policy;
  reference = reference.substr(0, reference.find('#'));
  const std::size_t question = reference.find('?');
  const std::string_view path = reference.substr(0, question);
  const std::string_view query = question == std::string_view::npos
                                     ? std::string_view{}
                                     : reference.substr(question + 1);
  std::string out = origin_;
  const bool under_prefix =
      prefix_.empty() ||
      (path.starts_with(prefix_) &&
       (path.size() == prefix_.size() || path[prefix_.size()] == '/'));
  if (under_prefix) {
    out += normalize_path(path, policy);
  } else {
    std::string mounted = prefix_;
    mounted += path;
    out += normalize_path(mounted, policy);
  }
  char separator = '?';
  std::size_t start = 0;
  while (!query.empty() && start <= query.size()) {
    const std::size_t amp = std::min(query.find('&', start), query.size());
    const std::string_view piece = query.substr(start, amp - start);
    const std::string_view key = piece.substr(0, piece.find('='));
    if (!key.empty() && keep_query_piece(key, policy)) {
      out += separator;
      out += piece;
      separator = '&';
    }
    start = amp + 1;
  }
  return out;
}

Result<std::string> resolve_crawl_url(std::string_view value,
                                      const SEOConfig& config,
                                      const RouteResolver* routes,
                                      ForeignHost foreign) {
  // The same reading as normalize_public_url: trimmed, an absolute URL if
  // it parses, else a path reference. A path cannot begin with a scheme.
  const std::string_view trimmed = trim_white_space(value);
  if (!trimmed.empty() && trimmed.front() == '/' && routes != nullptr) {
    return routes->resolve(trimmed);
  }
  if (trimmed.empty() || trimmed.front() == '/') {
    return normalize_public_url(value, config);
  }
  std::optional<ada::url_aggregator> parsed =
      try_parse_url_without_base(trimmed);
  if (!parsed) {
    // "blog/post" is a route; "https://exa mple.com/" is a broken URL.
    if (!begins_with_scheme(trimmed))
      return normalize_public_url(value, config);
    return Error(ErrorKind::InvalidUrl,
                 "cannot parse " + in_quotes(value) + ": " +
                     std::string(describe_parse_failure(trimmed)));
  }
  const std::string_view scheme = scheme_of(*parsed);
  if (scheme != "http" && scheme != "https") {
    return Error(ErrorKind::InvalidUrl,
                 "not an http or https URL: " + in_quotes(value));
  }
  if (equals_ignoring_case(parsed->get_host(), config.canonical_host)) {
    return normalize_public_url(value, config);
  }
  if (foreign == ForeignHost::Keep) return std::string(parsed->get_href());
  return Error(ErrorKind::InvalidUrl, "URL on another host than " +
                                          in_quotes(config.canonical_host) +
                                          ": " + in_quotes(value));
}

Result<std::vector<HreflangLink>> hreflang_links(const Alternates& alternates,
                                                 const SEOConfig& config,
                                                 const RouteResolver* routes) {
  std::vector<HreflangLink> links;
  links.reserve(alternates.size());
  for (const auto& [given_tag, value] : alternates) {
    Result<std::string> tag = canonical_hreflang_tag(given_tag);
    if (!tag) return std::move(tag).error().at(ErrorField::Alternates);
    for (const HreflangLink& seen : links) {
      if (seen.tag == *tag) {
        return Error(ErrorKind::Configuration, ErrorField::Alternates,
                     "duplicate hreflang tag " + in_quotes(given_tag) + " (" +
                         in_quotes(seen.tag) + " is already listed)");
      }
    }
    Result<std::string> url =
        resolve_crawl_url(value, config, routes, ForeignHost::Keep);
    if (!url) {
      const Error& error = url.error();
      return Error(error.kind(), ErrorField::Alternates,
                   "alternate " + in_quotes(given_tag) + " (" +
                       in_quotes(value) + "): " + error.message());
    }
    links.push_back({std::move(*tag), std::move(*url)});
  }
  std::sort(links.begin(), links.end(),
            [](const HreflangLink& a, const HreflangLink& b) {
              return tag_order(a.tag) < tag_order(b.tag);
            });
  return links;
}

Result<std::string> resolve_crawl_url(std::string_view value,
                                      const SEOConfig& config,
                                      const RouteResolver& routes,
                                      ForeignHost foreign) {
  return resolve_crawl_url(value, config, &routes, foreign);
}

Result<std::vector<HreflangLink>> hreflang_links(const Alternates& alternates,
                                                 const SEOConfig& config,
                                                 const RouteResolver& routes) {
  return hreflang_links(alternates, config, &routes);
}

Result<std::string> resolve_asset_url(std::string_view value,
                                      const RouteResolver& routes) {
  const std::string_view trimmed = trim_white_space(value);
  std::string absolute;
  if (trimmed.starts_with("//")) {
    const std::string_view origin = routes.origin();
    absolute = origin.substr(0, origin.find(':') + 1);
    absolute += trimmed;
  } else if (!begins_with_scheme(trimmed)) {
    absolute = routes.origin();
    if (!trimmed.starts_with('/')) absolute += '/';
    absolute += trimmed;
  } else {
    absolute = trimmed;
  }
  std::optional<ada::url_aggregator> parsed =
      try_parse_url_without_base(absolute);
  if (!parsed) {
    return Error(ErrorKind::InvalidUrl,
                 "cannot parse " + in_quotes(value) + ": " +
                     std::string(describe_parse_failure(absolute)));
  }
  const std::string_view scheme = scheme_of(*parsed);
  if (scheme != "http" && scheme != "https") {
    return Error(ErrorKind::InvalidUrl,
                 "not an http or https URL: " + in_quotes(value));
  }
  return std::string(parsed->get_href());
}

}  // namespace detail

Result<std::string> resolve_crawl_url(std::string_view value,
                                      const SEOConfig& config,
                                      ForeignHost foreign) {
  return detail::resolve_crawl_url(value, config, nullptr, foreign);
}

Result<std::vector<HreflangLink>> hreflang_links(const Alternates& alternates,
                                                 const SEOConfig& config) {
  return detail::hreflang_links(alternates, config, nullptr);
}

std::string render_hreflang(const std::vector<HreflangLink>& links) {
  std::string out;
  for (const HreflangLink& link : links) {
    out += "<link rel=\"alternate\" hreflang=\"";
    out += escape_html(link.tag);
    out += "\" href=\"";
    out += escape_html(link.url);
    out += "\">\n";
  }
  return out;
}

// --- W3C Datetime ------------------------------------------------------------

namespace {

// Reads `count` digits at `at`; nothing when they are not all digits.
std::optional<int> read_number(std::string_view text, std::size_t at,
                               std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool is_leap_year(int year) noexcept {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) noexcept {
  constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30,
                                      31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// Days since 0000-03-01 of a proleptic Gregorian date (Hinnant's algorithm).
std::int64_t days_from_civil(int year, int month, int day) noexcept {
  year -= month <= 2 ? 1 : 0;
  const int era = year / 400;
  const int year_of_era = year - era * 400;
  const int day_of_year =
      (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return static_cast<std::int64_t>(era) * 146097 + day_of_era;
}

struct Cursor {
  std::string_view text;
  std::size_t at = 0;

  bool literal(char c) {
    if (at < text.size() && text[at] == c) {
      ++at;
      return true;
    }
    return false;
  }
  std::optional<int> number(std::size_t count, int low, int high) {
    std::optional<int> value = read_number(text, at, count);
    if (!value || *value < low || *value > high) return std::nullopt;
    at += count;
    return value;
  }
  bool done() const noexcept { return at == text.size(); }
};

// The time part after "T": seconds into the day, nanoseconds and zone offset.
bool read_time(Cursor& cursor, Instant& instant) {
  std::optional<int> hour = cursor.number(2, 0, 23);
  if (!hour || !cursor.literal(':')) return false;
  std::optional<int> minute = cursor.number(2, 0, 59);
  if (!minute) return false;
  int second = 0;
  if (cursor.literal(':')) {
    std::optional<int> read = cursor.number(2, 0, 59);
    if (!read) return false;
    second = *read;
    if (cursor.literal('.')) {
      std::size_t digits = 0;
      std::int64_t nanos = 0;
      while (cursor.at < cursor.text.size() &&
             is_digit(cursor.text[cursor.at])) {
        if (digits < 9) nanos = nanos * 10 + (cursor.text[cursor.at] - '0');
        ++digits;
        ++cursor.at;
      }
      if (digits == 0) return false;
      for (std::size_t i = digits; i < 9; ++i) nanos *= 10;
      instant.nanos = nanos;
    }
  }
  int offset = 0;
  if (!cursor.literal('Z')) {
    const bool ahead = cursor.literal('+');
    if (!ahead && !cursor.literal('-')) return false;
    std::optional<int> zone_hour = cursor.number(2, 0, 23);
    if (!zone_hour || !cursor.literal(':')) return false;
    std::optional<int> zone_minute = cursor.number(2, 0, 59);
    if (!zone_minute) return false;
    offset = (*zone_hour * 60 + *zone_minute) * 60 * (ahead ? 1 : -1);
  }
  instant.seconds += *hour * 3600 + *minute * 60 + second - offset;
  return cursor.done();
}

bool read_datetime(std::string_view text, Instant& instant) {
  Cursor cursor{text};
  std::optional<int> year = cursor.number(4, 0, 9999);
  if (!year) return false;
  int month = 1;
  int day = 1;
  if (cursor.literal('-')) {
    std::optional<int> read_month = cursor.number(2, 1, 12);
    if (!read_month) return false;
    month = *read_month;
    if (cursor.literal('-')) {
      std::optional<int> read_day =
          cursor.number(2, 1, days_in_month(*year, month));
      if (!read_day) return false;
      day = *read_day;
    }
  }
  instant.seconds = days_from_civil(*year, month, day) * 86400;
  if (cursor.done()) return true;
  // A time needs the full date before it.
  if (cursor.at != 10 || !cursor.literal('T')) return false;
  return read_time(cursor, instant);
}

}  // namespace

Result<Instant> parse_w3c_datetime(std::string_view text) {
  Instant instant;
  if (!read_datetime(text, instant)) {
    return Error(ErrorKind::Entity,
                 "lastmod " + in_quotes(text) +
                     " is not a W3C Datetime (YYYY-MM-DD, or "
                     "YYYY-MM-DDThh:mm[:ss[.s]] with Z or +hh:mm)");
  }
  return instant;
}

}  // namespace zelko
