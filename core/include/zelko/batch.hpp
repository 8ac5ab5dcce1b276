// Batch builds: one output record per page, written without Python.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zelko/error.hpp"
#include "zelko/head.hpp"
#include "zelko/payload.hpp"
#include "zelko/records.hpp"

namespace zelko {

// The record of one built page, compact JSON on one line (no line break):
//   {"line":N,"route":...,"payload":<value form>,"head":<render_html>,
//    "etag":...,"findings":[{"rule_id","severity","message","url","details"}]}
// "url" is null when a finding has none. Fails only where rendering or
// hashing the payload fails. With `whole_head` (the page's whole head, when
// it has extras), "head" holds it instead of the payload's head, and
// "head_etag", after "etag", its strong ETag.
[[nodiscard]] Result<std::string> page_record(
    std::uint64_t line, std::string_view route, const SEOPayload& payload,
    std::optional<std::string_view> whole_head = std::nullopt);

// Reads the page on `text` (see read_page), builds it with `config` (which
// has passed validate_config) and returns its record, whose head is the
// whole head when the site (`site`, may be null) or the page has extras.
// nullopt when the page needs the package's loader or its build fails: the
// slower path then says why, with the field at fault.
[[nodiscard]] std::optional<std::string> build_page_record(
    std::string_view text, std::uint64_t line, const SEOConfig& config,
    const SiteHead* site = nullptr);

}  // namespace zelko
