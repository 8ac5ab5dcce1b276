// Plain text derived from an HTML body, for meta descriptions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelko {

// A description derived from HTML keeps at most this many Unicode scalar
// values; a longer text is cut and ends with kDescriptionEllipsis.
inline constexpr std::size_t kDescriptionMaxScalars = 160;
inline constexpr std::string_view kDescriptionEllipsis = "...";

// Strips tags from `html` in one linear pass:
// - text outside tags is copied byte for byte; character references such as
//   "&amp;" stay as written;
// - a tag ("<" up to the next ">") writes one space, except that a tag whose
//   full-Unicode-lowercased text is exactly "style", "script" or "noscript"
//   drops everything up to the matching "/style", "/script" or "/noscript";
// - a "<" without a later ">" ends the text there;
// - runs of White_Space become one space and both ends are trimmed.
[[nodiscard]] std::string html_to_text(std::string_view html);

// Keeps `text` when it has at most kDescriptionMaxScalars scalar values;
// otherwise its first 157 scalar values followed by "..." (nothing is trimmed
// before the dots). Invalid UTF-8 bytes count as one scalar each.
[[nodiscard]] std::string shorten_description(std::string text);

// shorten_description(html_to_text(html)), without scanning past the point
// where the cut is decided: cheap on long bodies.
[[nodiscard]] std::string html_to_description(std::string_view html);

}  // namespace zelko
