// The ada parser itself, for the engine's own URL code: callers that only
// need views into the parsed URL avoid the copies that ParsedUrl makes.
#pragma once

#include <optional>
#include <string_view>

#include <ada.h>

#include "zelko/error.hpp"

namespace zelko::detail {

// Parses `input` without a base; nothing when it is not an absolute URL.
// Ill-formed UTF-8 is first replaced with U+FFFD (one per maximal subpart),
// exactly as a browser decodes bytes before it parses them: the parser is
// never handed invalid UTF-8.
[[nodiscard]] std::optional<ada::url_aggregator> try_parse_url_without_base(
    std::string_view input);

// Parses `input` without a base. As above; a failure is an
// InvalidUrl error whose message is describe_parse_failure(input).
[[nodiscard]] Result<ada::url_aggregator> parse_url_without_base(
    std::string_view input);

// Why `input` is not an absolute URL, in a few plain words. The parser gives
// no reason, so the input is re-examined; see url_parser.cpp for the rules.
[[nodiscard]] std::string_view describe_parse_failure(std::string_view input);

// Whether a label of `host` (ASCII, any case, a port allowed after it)
// starts with "xn--" but is not the Punycode form of a valid international
// label. The parser refuses such hosts; a configured host is checked with it.
[[nodiscard]] bool has_broken_punycode_label(std::string_view host);

// The scheme without its ':' ("https"), as the parser serialized it.
[[nodiscard]] std::string_view scheme_of(const ada::url_aggregator& url);

// The query without its '?', empty when there is none.
[[nodiscard]] std::string_view query_of(const ada::url_aggregator& url);

}  // namespace zelko::detail
