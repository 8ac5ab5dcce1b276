// normalize_path under every policy.
//
// Invariants: total and deterministic; the result starts with "/" (it is
// empty only for a path of slashes kept uncollapsed under Never); collapsing
// leaves no "//"; the trailing-slash rule holds; and normalizing a result
// again changes nothing, unless the rule stripped slashes off white space
// that the second pass then trims.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "zelko/url.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  using namespace zelko;
  using fuzz::contains;
  FuzzedDataProvider data(bytes, size);
  const URLPolicy policy = fuzz::policy(data);
  const std::string path = to_valid_utf8(data.ConsumeRemainingBytesAsString());

  const std::string result = normalize_path(path, policy);
  FUZZ_CHECK(result == normalize_path(path, policy));

  if (result.empty()) {
    FUZZ_CHECK(!policy.collapse_duplicate_slashes);
    FUZZ_CHECK(policy.trailing_slash == TrailingSlash::Never);
    return 0;
  }
  FUZZ_CHECK(result.front() == '/');
  if (policy.collapse_duplicate_slashes) FUZZ_CHECK(!contains(result, "//"));
  if (policy.trailing_slash == TrailingSlash::Always) {
    FUZZ_CHECK(result.back() == '/');
  }
  if (policy.trailing_slash == TrailingSlash::Never) {
    FUZZ_CHECK(result == "/" || result.back() != '/');
  }
  if (trim_white_space(result) == result) {
    FUZZ_CHECK(normalize_path(result, policy) == result);
  }
  return 0;
}
