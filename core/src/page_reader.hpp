// Pages in the page-file schema (route, entity, overrides, head), read from
// JSON text without Python: the fast path of batch builds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "zelko/head.hpp"
#include "zelko/records.hpp"

namespace zelko {

struct PageInput {
  std::string route;
  SEOEntity entity;
  std::optional<SEOOverrides> overrides;
  // Checked as the package's head classes check it when they are made.
  std::optional<PageHead> head;
};

// Reads one page. The reader takes only what it can read with certainty
// exactly as the package's file loader would: every key known, every value of
// its expected kind, no duplicate key, valid UTF-8, numbers in range, a route
// with visible text, structured data without non-finite numbers. Anything
// else gives nullopt; the caller then reads the page with the loader, which
// either builds it or says what is wrong, so the two never disagree on a
// page they both accept.
[[nodiscard]] std::optional<PageInput> read_page(std::string_view text);

}  // namespace zelko
