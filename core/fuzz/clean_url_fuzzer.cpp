// clean_url and clean_query on arbitrary text.
//
// Invariants: deterministic; the text before the first "?" is kept; no kept
// piece has a tracking key, and every dropped piece had one; the maps hold
// only keys of their side; cleaning a cleaned URL changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "zelko/url.hpp"

namespace {

using namespace zelko;

const std::vector<std::string> kNoExtra;

bool tracking_key(std::string_view piece) {
  return is_tracking_param(decode_param_key(piece.substr(0, piece.find('='))),
                           kNoExtra);
}

std::vector<std::string_view> pieces(std::string_view query) {
  std::vector<std::string_view> result;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = query.find('&', start);
    result.push_back(query.substr(start, end - start));
    if (end == std::string_view::npos) return result;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(bytes), size);
  const CleanedUrl cleaned = clean_url(input);
  FUZZ_CHECK(cleaned == clean_url(input));
  FUZZ_CHECK(clean_url(cleaned.url).url == cleaned.url);

  const std::size_t question = input.find('?');
  const std::string_view base = std::string_view(input).substr(0, question);
  FUZZ_CHECK(std::string_view(cleaned.url).substr(0, question) == base);
  const std::string_view query =
      question == std::string_view::npos
          ? std::string_view()
          : std::string_view(input).substr(question + 1);

  // The kept pieces are exactly the non-tracking ones, in their order.
  std::string expected;
  bool first_piece = true;
  for (const std::string_view piece : pieces(query)) {
    if (tracking_key(piece)) continue;
    if (!first_piece) expected.push_back('&');
    expected.append(piece);
    first_piece = false;
  }
  const std::string kept = clean_query(query);
  FUZZ_CHECK(kept == expected);
  FUZZ_CHECK(cleaned.url == (kept.empty() ? std::string(base)
                                          : std::string(base) + "?" + kept));

  for (const auto& [key, value] : cleaned.removed_params) {
    FUZZ_CHECK(tracking_key(key));
  }
  for (const auto& [key, value] : cleaned.cleaned_params) {
    FUZZ_CHECK(!tracking_key(key));
    FUZZ_CHECK(fuzz::contains(query, key + "=" + value));
  }
  return 0;
}
