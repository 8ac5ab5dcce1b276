// The JSON reader and the payload read-back on arbitrary text.
//
// Invariants: reading never fails with anything but a Serialization error
// that names its position; a value read back from its own compact or pretty
// text is the same value; a payload read from a value, written in either
// text form and read again, is the same payload, and so is the payload read
// back from its own value form; the hash is the digest of the compact text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "sha256.hpp"
#include "zelko/hash.hpp"
#include "zelko/json.hpp"
#include "zelko/payload.hpp"

namespace {

using namespace zelko;

JsonValue reread(const std::string& text) {
  Result<JsonValue> value = parse_json(text);
  FUZZ_CHECK(value.ok());
  return std::move(value).value();
}

SEOPayload reread_payload(const JsonValue& value) {
  Result<SEOPayload> payload = payload_from_value(value);
  FUZZ_CHECK(payload.ok());
  return std::move(payload).value();
}

void check_payload(const SEOPayload& payload) {
  const std::string compact = to_json_compact(payload);
  const std::string pretty = to_json_pretty(payload);
  FUZZ_CHECK(reread(compact) == reread(pretty));
  FUZZ_CHECK(reread_payload(reread(compact)) == payload);
  FUZZ_CHECK(reread_payload(reread(pretty)) == payload);
  FUZZ_CHECK(reread_payload(to_value(payload)) == payload);
  FUZZ_CHECK(write_json(to_value(payload), false).size() == compact.size());

  const Result<std::string> hash = payload_hash(payload);
  FUZZ_CHECK(hash.ok() && *hash == sha256_hex(compact));
  const Result<std::string> etag = payload_etag(payload);
  FUZZ_CHECK(etag.ok() && *etag == "\"" + *hash + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  Result<JsonValue> value = parse_json(text);
  if (!value) {
    FUZZ_CHECK(value.error().kind() == ErrorKind::Serialization);
    FUZZ_CHECK(fuzz::contains(value.error().message(), " at line "));
    return 0;
  }
  const std::string compact = write_json(*value, false);
  const std::string pretty = write_json(*value, true);
  FUZZ_CHECK(reread(compact) == *value);
  FUZZ_CHECK(reread(pretty) == *value);
  FUZZ_CHECK(write_json(reread(pretty), false) == compact);

  Result<SEOPayload> payload = payload_from_value(*value);
  if (!payload) {
    FUZZ_CHECK(payload.error().kind() == ErrorKind::Serialization);
    return 0;
  }
  check_payload(*payload);
  return 0;
}
