#include "url_parser.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "text.hpp"
#include "url_parser_internal.hpp"

namespace zelko {
namespace detail {
namespace {

// Failure descriptions. ada reports success or failure only, so the reason
// is recovered by looking at the input again with a few simple rules, in
// this order:
//   1. no "scheme:" prefix                     -> relative URL without a base
//   2. the authority of a special URL is empty -> empty host
//   3. a port that is not digits or > 65535    -> invalid port number
//   4. a host in brackets                      -> invalid IPv6 address
//   5. a special host ending in a number       -> invalid IPv4 address
//   6. a forbidden host code point             -> invalid domain character
//   7. any other special host                  -> invalid international
//                                                 domain name
// The rules look at the raw authority, not at the host after IDNA mapping, so
// a rare input may get a near description; none gets a wrong kind of error.
constexpr std::string_view kRelative = "relative URL without a base";
constexpr std::string_view kEmptyHost = "empty host";
constexpr std::string_view kInvalidPort = "invalid port number";
constexpr std::string_view kInvalidIpv6 = "invalid IPv6 address";
constexpr std::string_view kInvalidIpv4 = "invalid IPv4 address";
constexpr std::string_view kInvalidDomainCharacter = "invalid domain character";
constexpr std::string_view kInvalidIdn = "invalid international domain name";
// Non-special URLs fail only in their authority; anything left is named
// for what it is.
constexpr std::string_view kInvalidHost = "invalid host";
constexpr std::string_view kInvalidSyntax = "invalid URL syntax";

constexpr std::array<std::string_view, 6> kSpecialSchemes{
    "http", "https", "ws", "wss", "ftp", "file"};

bool is_ascii_alpha(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }

bool is_ascii_hex_digit(char c) noexcept {
  return is_ascii_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The text the parser actually reads: C0 controls and spaces trimmed at both
// ends, tabs and line breaks removed everywhere.
std::string parser_view_of(std::string_view input) {
  while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) {
    input.remove_prefix(1);
  }
  while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) {
    input.remove_suffix(1);
  }
  std::string out;
  out.reserve(input.size());
  for (const char c : input) {
    if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
  }
  return out;
}

// Length of the scheme before its ':', or nothing when the input does not
// begin with an ASCII letter followed by letters, digits, '+', '-' or '.'
// and a ':'.
std::optional<std::size_t> scheme_length(std::string_view text) noexcept {
  if (text.empty() || !is_ascii_alpha(text.front())) return std::nullopt;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i;
    if (!is_ascii_alpha(c) && !is_ascii_digit(c) && c != '+' && c != '-' &&
        c != '.') {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// Whether `input` begins with a scheme and its ':' as the parser reads it:
// leading C0 controls and spaces dropped, tabs and line breaks ignored. An
// input without one never parses without a base, and checking in place keeps
// the many path references the engine resolves away from the parser.
bool begins_with_scheme(std::string_view input) noexcept {
  std::size_t pos = 0;
  while (pos < input.size() && static_cast<unsigned char>(input[pos]) <= 0x20) {
    ++pos;
  }
  bool first = true;
  for (; pos < input.size(); ++pos) {
    const char c = input[pos];
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (c == ':') return !first;
    const bool allowed =
        is_ascii_alpha(c) ||
        (!first && (is_ascii_digit(c) || c == '+' || c == '-' || c == '.'));
    if (!allowed) return false;
    first = false;
  }
  return false;
}

bool is_special_scheme(std::string_view scheme) noexcept {
  for (const std::string_view special : kSpecialSchemes) {
    if (equals_ascii_case_insensitive(scheme, special)) return true;
  }
  return false;
}

struct Authority {
  std::string_view host;
  std::optional<std::string_view> port;
};

// The authority runs from after the slashes to the first '/', '?' or '#'
// ('\\' too for special schemes). Credentials end at the last '@'. The port
// starts at the first ':' outside brackets. A file URL has neither
// credentials nor port: its whole authority is the host.
Authority split_authority(std::string_view rest, bool special, bool file) {
  if (special) {
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) {
      rest.remove_prefix(1);
    }
  } else {
    rest.remove_prefix(2);  // "//"
  }
  const std::string_view terminators = special ? "/?#\\" : "/?#";
  rest = rest.substr(0, rest.find_first_of(terminators));
  if (file) return {rest, std::nullopt};

  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
    rest.remove_prefix(at + 1);
  }
  bool inside_brackets = false;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '[') inside_brackets = true;
    if (rest[i] == ']') inside_brackets = false;
    if (rest[i] == ':' && !inside_brackets) {
      return {rest.substr(0, i), rest.substr(i + 1)};
    }
  }
  return {rest, std::nullopt};
}

bool is_valid_port(std::string_view port) noexcept {
  unsigned long value = 0;
  for (const char c : port) {
    if (!is_ascii_digit(c)) return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return false;
  }
  return true;
}

// A host whose last label (ignoring one trailing dot) is decimal digits or
// "0x" with hex digits is parsed as IPv4.
bool ends_in_number(std::string_view host) noexcept {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  const std::size_t dot = host.rfind('.');
  const std::string_view last =
      dot == std::string_view::npos ? host : host.substr(dot + 1);
  if (last.empty()) return false;
  bool all_digits = true;
  for (const char c : last) all_digits = all_digits && is_ascii_digit(c);
  if (all_digits) return true;
  if (last.size() < 2 || last[0] != '0' || (last[1] != 'x' && last[1] != 'X')) {
    return false;
  }
  for (const char c : last.substr(2)) {
    if (!is_ascii_hex_digit(c)) return false;
  }
  return true;
}

std::string percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        is_ascii_hex_digit(text[i + 1]) && is_ascii_hex_digit(text[i + 2])) {
      out.push_back(static_cast<char>(hex_digit_value(text[i + 1]) * 16 +
                                      hex_digit_value(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool is_forbidden_host_code_point(char c) noexcept {
  switch (c) {
    case '\0':
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '#':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|':
      return true;
    default:
      return false;
  }
}

bool is_forbidden_domain_code_point(char c) noexcept {
  const auto byte = static_cast<unsigned char>(c);
  return is_forbidden_host_code_point(c) || byte <= 0x1F || c == '%' ||
         byte == 0x7F;
}

// Special hosts are percent-decoded before they are checked; opaque hosts
// (non-special schemes) are checked as written and may contain '%'.
bool has_forbidden_character(std::string_view host, bool special) {
  if (!special) {
    for (const char c : host) {
      if (is_forbidden_host_code_point(c)) return true;
    }
    return false;
  }
  for (const char c : percent_decode(host)) {
    if (is_forbidden_domain_code_point(c)) return true;
  }
  return false;
}

std::string_view describe_authority_failure(const Authority& authority,
                                            bool special, bool file) {
  if (special && !file && authority.host.empty()) return kEmptyHost;
  if (authority.port && !is_valid_port(*authority.port)) return kInvalidPort;
  if (!authority.host.empty() && authority.host.front() == '[') {
    return kInvalidIpv6;
  }
  if (special && ends_in_number(authority.host)) return kInvalidIpv4;
  if (has_forbidden_character(authority.host, special)) {
    return kInvalidDomainCharacter;
  }
  return special ? kInvalidIdn : kInvalidHost;
}

// Since Unicode 15.1, UTS #46 requires an "xn--" label to decode by Punycode
// to a label that is not empty, not all ASCII, unchanged by the IDNA mapping
// and by NFC, and valid by the label validity criteria; ada checks only that
// the Punycode is well formed, so "xn--" and "xn--a" (U+0080) get through.
bool is_broken_punycode_label(std::string_view label) {
  std::string lowered(label.substr(4));
  for (char& c : lowered) c = ascii_lower(c);
  std::u32string decoded;
  if (!ada::idna::punycode_to_utf32(lowered, decoded)) return true;
  const bool all_ascii = std::all_of(decoded.begin(), decoded.end(),
                                     [](char32_t c) { return c < 0x80; });
  if (all_ascii || ada::idna::map(decoded) != decoded) return true;
  std::u32string normalized = decoded;
  if (!ada::idna::normalize(normalized) || normalized != decoded) return true;
  return !ada::idna::is_label_valid(decoded);
}

}  // namespace

bool has_broken_punycode_label(std::string_view host) {
  // A port written into a configured host ("h:8080") is not part of a label.
  if (const std::size_t colon = host.rfind(':');
      colon != std::string_view::npos && !host.starts_with('[')) {
    host = host.substr(0, colon);
  }
  while (!host.empty()) {
    const std::size_t dot = host.find('.');
    const std::string_view label = host.substr(0, dot);
    if (label.size() >= 4 &&
        equals_ascii_case_insensitive(label.substr(0, 4), "xn--") &&
        is_broken_punycode_label(label)) {
      return true;
    }
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return false;
}

namespace {}  // namespace

std::string_view describe_parse_failure(std::string_view input) {
  const std::string text = parser_view_of(input);
  const std::optional<std::size_t> length = scheme_length(text);
  if (!length) return kRelative;

  const std::string_view scheme = std::string_view(text).substr(0, *length);
  const std::string_view rest = std::string_view(text).substr(*length + 1);
  const bool special = is_special_scheme(scheme);
  if (!special && !rest.starts_with("//")) return kInvalidSyntax;
  const bool file = equals_ascii_case_insensitive(scheme, "file");
  return describe_authority_failure(split_authority(rest, special, file),
                                    special, file);
}

std::optional<ada::url_aggregator> try_parse_url_without_base(
    std::string_view input) {
  if (!begins_with_scheme(input)) return std::nullopt;
  std::string repaired;
  if (!is_valid_utf8(input)) {
    repaired = to_valid_utf8(input);
    input = repaired;
  }
  auto parsed = ada::parse<ada::url_aggregator>(input, nullptr);
  if (!parsed) return std::nullopt;
  if (parsed->is_special() &&
      has_broken_punycode_label(parsed->get_hostname())) {
    return std::nullopt;
  }
  return std::move(*parsed);
}

Result<ada::url_aggregator> parse_url_without_base(std::string_view input) {
  std::optional<ada::url_aggregator> parsed = try_parse_url_without_base(input);
  if (!parsed) {
    return Error(ErrorKind::InvalidUrl,
                 std::string(describe_parse_failure(input)));
  }
  return std::move(*parsed);
}

std::string_view scheme_of(const ada::url_aggregator& url) {
  std::string_view protocol = url.get_protocol();
  if (protocol.ends_with(':')) protocol.remove_suffix(1);
  return protocol;
}

std::string_view query_of(const ada::url_aggregator& url) {
  std::string_view search = url.get_search();
  if (search.starts_with('?')) search.remove_prefix(1);
  return search;
}

}  // namespace detail

Result<ParsedUrl> parse_absolute_url(std::string_view input) {
  auto parsed = detail::parse_url_without_base(input);
  if (!parsed) return std::move(parsed).error();
  const ada::url_aggregator& url = parsed.value();
  return ParsedUrl{std::string(detail::scheme_of(url)),
                   std::string(url.get_pathname()),
                   std::string(detail::query_of(url))};
}

}  // namespace zelko
