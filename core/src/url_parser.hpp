// The WHATWG URL parser (ada, with UTS #46 host processing) seen through the
// few things the engine needs from it.
#pragma once

#include <string>
#include <string_view>

#include "zelko/error.hpp"

namespace zelko {

struct ParsedUrl {
  std::string scheme;  // serialized, lower case, without the ':'
  std::string path;    // serialized path ("/a%20b", or "someone" for mailto)
  std::string query;   // serialized query without '?', empty when none
};

// Parses `input` as an absolute URL (no base). On failure the error is of
// kind InvalidUrl and its message is a short description in plain words:
// "relative URL without a base", "empty host", "invalid port number",
// "invalid IPv4 address", "invalid IPv6 address",
// "invalid international domain name", "invalid domain character", ...
[[nodiscard]] Result<ParsedUrl> parse_absolute_url(std::string_view input);

}  // namespace zelko
