#include "zelko/url.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <utility>

#include "text.hpp"
#include "url_parser_internal.hpp"

namespace zelko {
namespace {

constexpr std::string_view kEmptyInputMessage =
    "url_or_path must be a non-empty string";
constexpr std::string_view kInvalidBaseMessage = "invalid public_base_url: ";
constexpr std::string_view kInvalidCanonicalHostMessage =
    "invalid canonical_host: invalid international domain name";

// ---------------------------------------------------------------- paths --

// Copies `path` with every run of '/' reduced to one. `start` is where the
// path begins in `out`, so a slash before it never merges with the path.
void append_collapsed(std::string& out, std::size_t start,
                      std::string_view path) {
  std::size_t pos = 0;
  while (pos < path.size()) {
    const std::size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) {
      out.append(path.substr(pos));
      return;
    }
    out.append(path.substr(pos, slash - pos));
    if (out.size() == start || out.back() != '/') out.push_back('/');
    pos = path.find_first_not_of('/', slash);
    if (pos == std::string_view::npos) return;
  }
}

void lowercase_from(std::string& out, std::size_t start) {
  const std::string_view segment = std::string_view(out).substr(start);
  if (is_ascii(segment)) {
    for (std::size_t i = start; i < out.size(); ++i) {
      out[i] = ascii_lower(out[i]);
    }
    return;
  }
  std::string lowered = to_lower_full(segment);
  out.resize(start);
  out.append(lowered);
}

void apply_trailing_slash(std::string& out, std::size_t start,
                          TrailingSlash rule) {
  switch (rule) {
    case TrailingSlash::Always:
      if (out.size() == start || out.back() != '/') out.push_back('/');
      return;
    case TrailingSlash::Never:
      if (out.size() == start + 1 && out.back() == '/') return;
      // Without collapsing, a path of slashes only ends up empty.
      while (out.size() > start && out.back() == '/') out.pop_back();
      return;
    case TrailingSlash::Preserve:
      return;
  }
}

// Normalizes `path` straight onto the end of `out`, so that a full URL is
// assembled without an intermediate copy of its path.
void append_normalized_path(std::string& out, std::string_view path,
                            const URLPolicy& policy) {
  const std::size_t start = out.size();
  path = trim_white_space(path);
  if (path.empty() || path.front() != '/') out.push_back('/');
  if (policy.collapse_duplicate_slashes) {
    append_collapsed(out, start, path);
  } else {
    out.append(path);
  }
  if (policy.lowercase_paths) lowercase_from(out, start);
  apply_trailing_slash(out, start, policy.trailing_slash);
}

// -------------------------------------------------------------- queries --

// Decodes `key` into `scratch` and returns a view of the decoded text. A key
// with nothing to decode is returned as it is, so the common case copies
// nothing; `scratch` is reused from one key to the next.
std::string_view decode_key(std::string_view key, std::string& scratch) {
  if (key.find_first_of("%+") == std::string_view::npos) {
    if (is_valid_utf8(key)) return key;
    scratch = to_valid_utf8(key);
    return scratch;
  }
  scratch.clear();
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char c = key[i];
    if (c == '+') {
      scratch.push_back(' ');
      continue;
    }
    if (c == '%' && i + 2 < key.size() && hex_digit_value(key[i + 1]) >= 0 &&
        hex_digit_value(key[i + 2]) >= 0) {
      scratch.push_back(static_cast<char>(hex_digit_value(key[i + 1]) * 16 +
                                          hex_digit_value(key[i + 2])));
      i += 2;
      continue;
    }
    scratch.push_back(c);
  }
  if (!is_valid_utf8(scratch)) scratch = to_valid_utf8(scratch);
  return scratch;
}

// The built-in names are lower case, so only the candidate needs folding.
bool matches_builtin(std::string_view name, std::string_view entry) noexcept {
  if (name.size() != entry.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (ascii_lower(name[i]) != entry[i]) return false;
  }
  return true;
}

bool is_tracking_name(std::string_view name,
                      std::span<const std::string> extra) noexcept {
  for (const std::string_view entry : kTrackingParams) {
    if (matches_builtin(name, entry)) return true;
  }
  for (const std::string& entry : extra) {
    if (equals_ascii_case_insensitive(name, entry)) return true;
  }
  return false;
}

// Calls `visit` with every "&"-separated piece of `query`, empty ones too.
template <class Visit>
void for_each_piece(std::string_view query, Visit&& visit) {
  std::size_t pos = 0;
  while (true) {
    const std::size_t amp = query.find('&', pos);
    if (amp == std::string_view::npos) {
      visit(query.substr(pos));
      return;
    }
    visit(query.substr(pos, amp - pos));
    pos = amp + 1;
  }
}

std::string_view key_of(std::string_view piece) noexcept {
  return piece.substr(0, piece.find('='));
}

// Appends `piece` to a query under construction: the first piece kept opens
// the query with `opener`, the next ones follow an '&'.
void append_piece(std::string& out, std::string_view piece, bool& first,
                  std::optional<char> opener) {
  if (first) {
    if (opener) out.push_back(*opener);
    first = false;
  } else {
    out.push_back('&');
  }
  out.append(piece);
}

bool is_allowed(std::string_view key,
                const std::vector<std::string>& allowed) noexcept {
  for (const std::string& name : allowed) {
    if (name == key) return true;
  }
  return false;
}

// The policy's verdict on one query piece whose key is not empty. An allowed
// list, when given, decides alone; otherwise tracking names go when
// stripping is on.
bool keep_piece(std::string_view key, const URLPolicy& policy,
                std::string& scratch) {
  if (!policy.allowed_query_params.empty()) {
    return is_allowed(decode_key(key, scratch), policy.allowed_query_params);
  }
  if (!policy.strip_tracking_params) return true;
  return !is_tracking_name(decode_key(key, scratch),
                           policy.extra_tracking_params);
}

void append_filtered_query(std::string& out, std::string_view query,
                           const URLPolicy& policy) {
  if (query.empty()) return;
  std::string scratch;
  bool first = true;
  for_each_piece(query, [&](std::string_view piece) {
    const std::string_view key = key_of(piece);
    // Empty pieces ("&&", a leading or trailing '&') and "=x" carry no name.
    if (key.empty() || !keep_piece(key, policy, scratch)) return;
    append_piece(out, piece, first, '?');
  });
}

// ------------------------------------------------------- public URLs --

struct PathAndQuery {
  std::string_view path;
  std::string_view query;
};

// A path reference is taken as text: the fragment goes, the query is what
// follows the first '?'. Nothing is resolved or encoded.
PathAndQuery split_path_reference(std::string_view reference) noexcept {
  reference = reference.substr(0, reference.find('#'));
  const std::size_t question = reference.find('?');
  if (question == std::string_view::npos) return {reference, {}};
  return {reference.substr(0, question), reference.substr(question + 1)};
}

std::string_view mount_prefix(const ada::url_aggregator& base) noexcept {
  std::string_view prefix = base.get_pathname();
  while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
  return prefix;
}

bool is_under_prefix(std::string_view path, std::string_view prefix) noexcept {
  return path.starts_with(prefix) &&
         (path.size() == prefix.size() || path[prefix.size()] == '/');
}

void append_mounted_path(std::string& out, std::string_view prefix,
                         std::string_view path, const URLPolicy& policy) {
  if (prefix.empty() || is_under_prefix(path, prefix)) {
    append_normalized_path(out, path, policy);
    return;
  }
  std::string mounted;
  mounted.reserve(prefix.size() + 1 + path.size());
  mounted.append(prefix);
  if (!path.starts_with('/')) mounted.push_back('/');
  mounted.append(path);
  append_normalized_path(out, mounted, policy);
}

}  // namespace

std::string normalize_path(std::string_view path, const URLPolicy& policy) {
  std::string out;
  out.reserve(path.size() + 2);
  append_normalized_path(out, path, policy);
  return out;
}

std::string decode_param_key(std::string_view key) {
  std::string scratch;
  const std::string_view decoded = decode_key(key, scratch);
  if (decoded.data() == scratch.data()) return scratch;
  return std::string(decoded);
}

bool is_tracking_param(std::string_view name,
                       const std::vector<std::string>& extra) {
  return is_tracking_name(name, extra);
}

std::string clean_query(std::string_view query) {
  std::string out;
  if (query.empty()) return out;
  out.reserve(query.size());
  std::string scratch;
  bool first = true;
  for_each_piece(query, [&](std::string_view piece) {
    if (is_tracking_name(decode_key(key_of(piece), scratch), {})) return;
    append_piece(out, piece, first, std::nullopt);
  });
  return out;
}

CleanedUrl clean_url(std::string_view url) {
  CleanedUrl result;
  const std::size_t question = url.find('?');
  const std::string_view base = url.substr(0, question);
  const std::string_view query = question == std::string_view::npos
                                     ? std::string_view{}
                                     : url.substr(question + 1);
  result.url.reserve(url.size());
  result.url.append(base);
  if (query.empty()) return result;

  std::string scratch;
  bool first = true;
  for_each_piece(query, [&](std::string_view piece) {
    const std::string_view key = key_of(piece);
    const bool tracking = is_tracking_name(decode_key(key, scratch), {});
    if (!tracking) append_piece(result.url, piece, first, '?');
    // Only "key=value" pieces are reported; a bare name goes into no map.
    if (key.size() == piece.size()) return;
    auto& params = tracking ? result.removed_params : result.cleaned_params;
    params.insert_or_assign(std::string(key),
                            std::string(piece.substr(key.size() + 1)));
  });
  // When the only pieces kept are empty ones ("?gclid&") the cleaned query
  // is "", and a URL with an empty cleaned query carries no "?".
  if (result.url.size() == base.size() + 1) result.url.pop_back();
  return result;
}

Result<std::string> normalize_public_url(std::string_view url_or_path,
                                         const SEOConfig& config) {
  const std::string_view input = trim_white_space(url_or_path);
  if (input.empty()) {
    return Error(ErrorKind::InvalidUrl, std::string(kEmptyInputMessage));
  }
  const std::optional<ada::url_aggregator> input_url =
      detail::try_parse_url_without_base(input);
  // The base is parsed on every call, so a broken base URL is reported even
  // when the input is a complete URL of its own.
  auto base = detail::parse_url_without_base(config.public_base_url);
  if (!base) {
    std::string message(kInvalidBaseMessage);
    message += base.error().message();
    return Error(ErrorKind::Configuration, ErrorField::PublicBaseUrl,
                 std::move(message));
  }
  // The host is used as configured, unparsed; a Punycode label that no
  // parser would accept must not reach a canonical URL.
  if (detail::has_broken_punycode_label(config.canonical_host)) {
    return Error(ErrorKind::Configuration, ErrorField::CanonicalHost,
                 std::string(kInvalidCanonicalHostMessage));
  }

  // Of an absolute URL only the path and the query count: the host always
  // comes from the configuration.
  const PathAndQuery parts = input_url
                                 ? PathAndQuery{input_url->get_pathname(),
                                                detail::query_of(*input_url)}
                                 : split_path_reference(input);
  const URLPolicy& policy = config.url_policy;
  const std::string_view scheme = policy.enforce_https
                                      ? std::string_view("https")
                                      : detail::scheme_of(base.value());
  const std::string_view prefix = mount_prefix(base.value());

  std::string out;
  out.reserve(scheme.size() + 3 + config.canonical_host.size() + prefix.size() +
              parts.path.size() + parts.query.size() + 3);
  out.append(scheme);
  out.append("://");
  out.append(config.canonical_host);
  append_mounted_path(out, prefix, parts.path, policy);
  append_filtered_query(out, parts.query, policy);
  return out;
}

}  // namespace zelko
