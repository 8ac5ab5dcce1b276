#include "zelko/html_text.hpp"

#include <algorithm>
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

bool is_ascii_white_space(unsigned char byte) noexcept {
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

// Collects output text with every run of White_Space already reduced to one
// space and none at either end, so no second pass over the text is needed.
// Bytes that are not valid UTF-8 are kept as they are.
class CollapsingText {
 public:
  // Text beyond `limit` bytes may be left out: the caller only needs the
  // beginning.
  CollapsingText(std::size_t capacity, std::size_t limit) : limit_(limit) {
    out_.reserve(std::min(capacity, limit));
  }

  bool full() const noexcept { return out_.size() >= limit_; }

  void space() noexcept { pending_space_ = !out_.empty(); }

  void text(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && !full()) {
      const std::size_t run_end = ascii_word_end(text, pos);
      if (run_end > pos) {
        append(text.substr(pos, run_end - pos));
        pos = run_end;
        continue;
      }
      const std::size_t start = pos;
      const auto byte = static_cast<unsigned char>(text[pos]);
      bool white;
      if (byte < 0x80) {
        white = true;  // not part of a word, so ASCII white space
        ++pos;
      } else {
        white = is_white_space(next_code_point(text, pos));
      }
      if (white) {
        space();
      } else {
        append(text.substr(start, pos - start));
      }
    }
  }

  std::string finish() && { return std::move(out_); }

 private:
  // The end of the run of ASCII bytes other than white space from `pos`.
  static std::size_t ascii_word_end(std::string_view text,
                                    std::size_t pos) noexcept {
    while (pos < text.size()) {
      const auto byte = static_cast<unsigned char>(text[pos]);
      if (byte >= 0x80 || is_ascii_white_space(byte)) break;
      ++pos;
    }
    return pos;
  }

  void append(std::string_view piece) {
    if (pending_space_) {
      out_.push_back(' ');
      pending_space_ = false;
    }
    out_.append(piece);
  }

  std::string out_;
  std::size_t limit_;
  bool pending_space_ = false;
};

// Every byte is looked at a bounded number of times: each search resumes
// where the previous one stopped. Stops once `limit` bytes are out.
std::string html_to_text_prefix(std::string_view html, std::size_t limit) {
  CollapsingText out(html.size(), limit);
  std::string_view skipping;  // the element whose content is being dropped
  std::size_t pos = 0;
  while (pos < html.size() && !out.full()) {
    const std::size_t open = html.find('<', pos);
    if (skipping.empty()) out.text(html.substr(pos, open - pos));
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
      out.space();
    }
    pos = close + 1;
  }
  return std::move(out).finish();
}

}  // namespace

std::string html_to_text(std::string_view html) {
  return html_to_text_prefix(html, std::string_view::npos);
}

std::string html_to_description(std::string_view html) {
  // A UTF-8 scalar takes at most 4 bytes, so once this many bytes are out the
  // text surely has more than kDescriptionMaxScalars scalars: the cut falls
  // within them and nothing later can change it.
  constexpr std::size_t kDecidingBytes = 4 * (kDescriptionMaxScalars + 1);
  return shorten_description(html_to_text_prefix(html, kDecidingBytes));
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
