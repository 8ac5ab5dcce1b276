// normalize_public_url under arbitrary configurations and inputs.
//
// Invariants: only the two documented failures occur; the result is the same
// on every call; it starts with the scheme and canonical_host; its path obeys
// the policy; its query keeps no empty piece and no stripped parameter. The
// engine's URL parsing accepts exactly what the WHATWG parser accepts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <ada.h>

#include "fuzz_support.hpp"
#include "url_parser.hpp"
#include "url_parser_internal.hpp"
#include "zelko/url.hpp"

namespace {

using namespace zelko;
using fuzz::contains;

void check_path(std::string_view path, const URLPolicy& policy) {
  FUZZ_CHECK(path.empty() || path.front() == '/');
  FUZZ_CHECK(!contains(path, "#"));
  if (policy.collapse_duplicate_slashes) {
    FUZZ_CHECK(!path.empty());
    FUZZ_CHECK(!contains(path, "//"));
  }
  switch (policy.trailing_slash) {
    case TrailingSlash::Always:
      FUZZ_CHECK(path.ends_with('/'));
      break;
    case TrailingSlash::Never:
      FUZZ_CHECK(path == "/" || !path.ends_with('/'));
      break;
    case TrailingSlash::Preserve:
      break;
  }
}

void check_query(std::string_view query, const URLPolicy& policy) {
  FUZZ_CHECK(!query.empty());
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view piece = query.substr(start, end - start);
    const std::string_view key = piece.substr(0, piece.find('='));
    FUZZ_CHECK(!key.empty());
    const std::string decoded = decode_param_key(key);
    if (!policy.allowed_query_params.empty()) {
      bool allowed = false;
      for (const std::string& name : policy.allowed_query_params) {
        allowed = allowed || name == decoded;
      }
      FUZZ_CHECK(allowed);
    } else if (policy.strip_tracking_params) {
      FUZZ_CHECK(!is_tracking_param(decoded, policy.extra_tracking_params));
    }
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::optional<SEOConfig> config = fuzz::config(data);
  if (!config) return 0;
  const std::string input = to_valid_utf8(data.ConsumeRemainingBytesAsString());

  const Result<std::string> first = normalize_public_url(input, *config);
  const Result<std::string> second = normalize_public_url(input, *config);
  FUZZ_CHECK(first.ok() == second.ok());

  // The engine skips the parser for text that cannot begin with a scheme;
  // that shortcut must never change the verdict. The one difference on
  // purpose: a special host with a broken "xn--" label, which the engine
  // refuses and ada takes.
  const auto parsed = ada::parse<ada::url_aggregator>(input, nullptr);
  const bool parser_accepts =
      parsed.has_value() &&
      !(parsed->is_special() &&
        detail::has_broken_punycode_label(parsed->get_hostname()));
  FUZZ_CHECK(parse_absolute_url(input).ok() == parser_accepts);

  const Result<ParsedUrl> base = parse_absolute_url(config->public_base_url);
  if (trim_white_space(input).empty()) {
    FUZZ_CHECK(!first.ok());
    FUZZ_CHECK(first.error().kind() == ErrorKind::InvalidUrl);
    FUZZ_CHECK(first.error().message() ==
               "url_or_path must be a non-empty string");
    return 0;
  }
  if (!base) {
    FUZZ_CHECK(!first.ok());
    FUZZ_CHECK(first.error().kind() == ErrorKind::Configuration);
    FUZZ_CHECK(first.error().message() ==
               "invalid public_base_url: " + base.error().message());
    return 0;
  }
  if (detail::has_broken_punycode_label(config->canonical_host)) {
    FUZZ_CHECK(!first.ok());
    FUZZ_CHECK(first.error().kind() == ErrorKind::Configuration);
    FUZZ_CHECK(first.error().message() ==
               "invalid canonical_host: invalid international domain name");
    return 0;
  }
  FUZZ_CHECK(first.ok());
  FUZZ_CHECK(*first == *second);

  const std::string scheme =
      config->url_policy.enforce_https ? "https" : base->scheme;
  const std::string origin = scheme + "://" + config->canonical_host;
  const std::string_view url = *first;
  FUZZ_CHECK(url.starts_with(origin));

  const std::string_view rest = url.substr(origin.size());
  const std::size_t question = rest.find('?');
  check_path(rest.substr(0, question), config->url_policy);
  if (question != std::string_view::npos) {
    check_query(rest.substr(question + 1), config->url_policy);
  }
  return 0;
}
