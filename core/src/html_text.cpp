#include "zelko/html_text.hpp"

#include <array>
#include <optional>

#include "zelko/text.hpp"

namespace zelko {
namespace {

// Elements whose content is never page text.
constexpr std::array<std::string_view, 3> kSkippedElements = {"style", "script",
                                                              "noscript"};

// The longest lowercased tag text that matters: "/noscript".
constexpr std::size_t kLongestTagOfInterest = 9;
// A full lowercase mapping never shrinks a character below a third of its
// UTF-8 length (KELVIN SIGN, three bytes, becomes "k"), so a tag text longer
// than this cannot lowercase to one of interest and is not lowered at all.
constexpr std::size_t kLongestTagWorthLowering = 3 * kLongestTagOfInterest;

bool is_ascii(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The tag text under the full Unicode lowercase mapping, or "" for a text
// too long to be of interest ("" never matches a skipped element either).
std::string lowered_tag(std::string_view tag) {
  if (tag.size() > kLongestTagWorthLowering) return {};
  if (!is_ascii(tag)) return to_lower_full(tag);
  // On ASCII text the full mapping is plain ASCII lowercasing; doing it here
  // keeps ordinary tags off the Unicode path.
  std::string lowered(tag);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

std::optional<std::string_view> skipped_element(std::string_view lowered) {
  for (const std::string_view name : kSkippedElements) {
    if (lowered == name) return name;
  }
  return std::nullopt;
}

bool closes_element(std::string_view lowered, std::string_view name) {
  return lowered.size() == name.size() + 1 && lowered.front() == '/' &&
         lowered.substr(1) == name;
}

// Text outside tags, with a space for every ordinary tag and nothing from
// inside style/script/noscript. Every byte is looked at a bounded number of
// times: each search resumes where the previous one stopped.
std::string strip_tags(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  std::string_view skipping;  // the element whose content is being dropped
  std::size_t pos = 0;
  while (pos < html.size()) {
    const std::size_t open = html.find('<', pos);
    if (skipping.empty()) out.append(html.substr(pos, open - pos));
    if (open == std::string_view::npos) break;
    const std::size_t close = html.find('>', open + 1);
    // A "<" that is never closed ends the text: it and the rest are dropped.
    if (close == std::string_view::npos) break;
    const std::string tag =
        lowered_tag(html.substr(open + 1, close - open - 1));
    if (!skipping.empty()) {
      if (closes_element(tag, skipping)) skipping = {};
    } else if (const auto element = skipped_element(tag)) {
      skipping = *element;
    } else {
      out.push_back(' ');
    }
    pos = close + 1;
  }
  return out;
}

bool is_ascii_white_space(unsigned char byte) noexcept {
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

// Replaces every run of White_Space with one space and drops it at both
// ends. Bytes that are not valid UTF-8 are kept as they are.
std::string collapse_white_space(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pending_space = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const auto byte = static_cast<unsigned char>(text[pos]);
    bool white;
    if (byte < 0x80) {
      white = is_ascii_white_space(byte);
      ++pos;
    } else {
      white = is_white_space(next_code_point(text, pos));
    }
    if (white) {
      pending_space = !out.empty();
      continue;
    }
    if (pending_space) {
      out.push_back(' ');
      pending_space = false;
    }
    out.append(text.substr(start, pos - start));
  }
  return out;
}

}  // namespace

std::string html_to_text(std::string_view html) {
  return collapse_white_space(strip_tags(html));
}

std::string shorten_description(std::string text) {
  constexpr std::size_t kKeptScalars =
      kDescriptionMaxScalars - kDescriptionEllipsis.size();
  // Walk at most kDescriptionMaxScalars + 1 scalars: a long text is never
  // counted to its end.
  std::size_t pos = 0;
  std::size_t cut = 0;
  for (std::size_t scalars = 0; scalars <= kDescriptionMaxScalars; ++scalars) {
    if (pos >= text.size()) return text;
    if (scalars == kKeptScalars) cut = pos;
    (void)next_code_point(text, pos);
  }
  text.resize(cut);
  text.append(kDescriptionEllipsis);
  return text;
}

}  // namespace zelko
