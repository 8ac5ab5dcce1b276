// Shared pieces of the fuzz targets: the invariant check and generators that
// turn fuzzer bytes into engine records.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "text.hpp"
#include "zelko/json.hpp"
#include "zelko/records.hpp"

// An invariant of the engine that the input broke: report it and stop the run
// so that libFuzzer saves the input as a reproducer.
#define FUZZ_CHECK(condition)                                         \
  do {                                                                \
    if (!(condition)) {                                               \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, \
                   __LINE__, #condition);                             \
      std::abort();                                                   \
    }                                                                 \
  } while (0)

namespace zelko::fuzz {

inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

inline std::size_t count_of(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t pos = text.find(part); pos != std::string_view::npos;
       pos = text.find(part, pos + part.size())) {
    ++count;
  }
  return count;
}

// Text that is valid UTF-8, as everything that arrives from Python is.
inline std::string text(FuzzedDataProvider& data, std::size_t max_length = 64) {
  return to_valid_utf8(data.ConsumeRandomLengthString(max_length));
}

inline std::optional<std::string> optional_text(FuzzedDataProvider& data,
                                                std::size_t max_length = 64) {
  if (!data.ConsumeBool()) return std::nullopt;
  return text(data, max_length);
}

template <class T, std::size_t N>
T pick(FuzzedDataProvider& data, const std::array<T, N>& choices) {
  return choices[data.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

inline std::vector<std::string> text_list(FuzzedDataProvider& data,
                                          std::size_t max_items = 3) {
  std::vector<std::string> items(
      data.ConsumeIntegralInRange<std::size_t>(0, max_items));
  for (std::string& item : items) item = text(data, 24);
  return items;
}

inline URLPolicy policy(FuzzedDataProvider& data) {
  URLPolicy policy;
  policy.enforce_https = data.ConsumeBool();
  policy.lowercase_paths = data.ConsumeBool();
  policy.trailing_slash = static_cast<TrailingSlash>(
      data.ConsumeIntegralInRange<std::uint8_t>(0, 2));
  policy.collapse_duplicate_slashes = data.ConsumeBool();
  policy.strip_tracking_params = data.ConsumeBool();
  if (data.ConsumeIntegralInRange<int>(0, 3) == 0) {
    policy.allowed_query_params = text_list(data);
  }
  if (data.ConsumeBool()) policy.extra_tracking_params = text_list(data);
  return policy;
}

// Base URLs that exercise mounting, scheme choice and parse failures; the
// fuzzer may also write its own.
inline constexpr std::array<std::string_view, 9> kBaseUrls = {
    "https://www.example.com",
    "http://www.example.com/",
    "HTTP://Example.COM/Docs//",
    "https://example.com/docs/api?x=1#top",
    "ftp://files.example.com/pub",
    "mailto:someone",
    "www.example.com",
    "https://exa mple.com",
    "https://xn--nxasmq6b.example/Ü/"};

inline constexpr std::array<std::string_view, 4> kHosts = {
    "www.example.com", "Example.COM:8443", "xn--bcher-kva.example",
    "bücher.example"};

// A configuration that passed validate_config, as every SEOConfig the
// builder sees has; nullopt when the fuzzer's host or base is refused.
inline std::optional<SEOConfig> config(FuzzedDataProvider& data) {
  SEOConfig config;
  config.canonical_host =
      data.ConsumeBool() ? std::string(pick(data, kHosts)) : text(data, 24);
  config.public_base_url =
      data.ConsumeBool() ? std::string(pick(data, kBaseUrls)) : text(data, 48);
  config.url_policy = policy(data);
  if (!validate_config(config)) return std::nullopt;
  return config;
}

// A JSON tree of bounded size, with every kind of value the engine holds.
inline JsonValue json_value(FuzzedDataProvider& data, int depth = 0) {
  switch (data.ConsumeIntegralInRange<int>(0, depth < 4 ? 8 : 5)) {
    case 0:
      return nullptr;
    case 1:
      return data.ConsumeBool();
    case 2:
      return data.ConsumeIntegral<std::uint64_t>();
    case 3:
      return -static_cast<std::int64_t>(
          data.ConsumeIntegralInRange<std::uint32_t>(1, 1u << 31));
    case 4:
      return data.ConsumeFloatingPoint<double>();
    case 5:
      return text(data, 32);
    case 6:
    case 7: {
      JsonValue object = JsonValue::object();
      const int members = data.ConsumeIntegralInRange<int>(0, 4);
      for (int i = 0; i < members; ++i) {
        object[text(data, 12)] = json_value(data, depth + 1);
      }
      return object;
    }
    default: {
      JsonValue array = JsonValue::array();
      const int items = data.ConsumeIntegralInRange<int>(0, 4);
      for (int i = 0; i < items; ++i) {
        array.push_back(json_value(data, depth + 1));
      }
      return array;
    }
  }
}

}  // namespace zelko::fuzz
