#include "zelko/hash.hpp"

#include <string>
#include <utility>

#include "sha256.hpp"

namespace zelko {

// The compact writer is total, so the hash cannot fail today; the Result
// keeps the door open for a writer that reports errors without changing
// every caller.
Result<std::string> payload_hash(const SEOPayload& payload) {
  return sha256_hex(to_json_compact(payload));
}

Result<std::string> payload_etag(const SEOPayload& payload) {
  Result<std::string> hash = payload_hash(payload);
  if (!hash) return std::move(hash).error();
  std::string tag;
  tag.reserve(hash->size() + 2);
  tag.push_back('"');
  tag.append(*hash);
  tag.push_back('"');
  return tag;
}

}  // namespace zelko
