// Content digest of a payload and its strong HTTP entity tag.
#pragma once

#include <string>

#include "zelko/error.hpp"
#include "zelko/payload.hpp"

namespace zelko {

// SHA-256 of the payload's compact text form (declared key order, no
// whitespace), as 64 lower-case hexadecimal digits.
[[nodiscard]] Result<std::string> payload_hash(const SEOPayload& payload);

// The digest between double quotes: a strong entity tag, 66 characters.
[[nodiscard]] Result<std::string> payload_etag(const SEOPayload& payload);

}  // namespace zelko
