#include "html_text.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "text.hpp"

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

// The tag text under the full Unicode lowercase mapping, or "" for a text
// too long to be of interest ("" never matches a skipped element either).
std::string lowered_tag(std::string_view tag) {
  if (tag.size() > kLongestTagWorthLowering) return {};
  if (!is_ascii(tag)) return to_lower_full(tag);
  // On ASCII text the full mapping is plain ASCII lowercasing; doing it here
  // keeps ordinary tags off the Unicode path.
  std::string lowered(tag);
  for (char& c : lowered) c = ascii_lower(c);
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

constexpr bool is_ascii_white_space(unsigned char byte) noexcept {
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

// ASCII bytes that belong to a word: neither white space nor 0x80 and above.
// One table lookup per byte in the loop that copies most of the text.
constexpr std::array<bool, 256> kIsAsciiWordByte = [] {
  std::array<bool, 256> table{};
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    table[byte] = !is_ascii_white_space(static_cast<unsigned char>(byte));
  }
  return table;
}();

// Collects output text with every run of White_Space already reduced to one
// space and none at either end, so no second pass over the text is needed.
// Bytes that are not valid UTF-8 are kept as they are.
class CollapsingText {
 public:
  // Once `limit` scalar values are out the caller has all it needs, and
  // later text may be left out.
  CollapsingText(std::size_t capacity, std::size_t limit) : limit_(limit) {
    out_.reserve(std::min(capacity, limit));
  }

  bool full() const noexcept { return scalars_ >= limit_; }

  void space() noexcept { pending_space_ = !out_.empty(); }

  // `text` must not end inside a UTF-8 sequence that the following text
  // completes: the caller hands over text that a tag writing a space (or the
  // end of the document) follows.
  void text(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && !full()) {
      const std::size_t run_end = ascii_word_end(text, pos);
      if (run_end > pos) {
        append(text.substr(pos, run_end - pos), run_end - pos);
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
        // One valid sequence or one invalid byte: one scalar either way.
        append(text.substr(start, pos - start), 1);
      }
    }
  }

  std::string finish() && { return std::move(out_); }

 private:
  // The end of the run of ASCII bytes other than white space from `pos`.
  static std::size_t ascii_word_end(std::string_view text,
                                    std::size_t pos) noexcept {
    while (pos < text.size() &&
           kIsAsciiWordByte[static_cast<unsigned char>(text[pos])]) {
      ++pos;
    }
    return pos;
  }

  void append(std::string_view piece, std::size_t scalars) {
    if (pending_space_) {
      out_.push_back(' ');
      pending_space_ = false;
      ++scalars_;
    }
    out_.append(piece);
    scalars_ += scalars;
  }

  std::string out_;
  std::size_t limit_;
  std::size_t scalars_ = 0;
  bool pending_space_ = false;
};

// The page text between two tags that write a space. A skipped element
// writes nothing, so the text on both sides of it is one text: a UTF-8
// sequence may begin before the element and end after it. Such text is
// joined before it is read; text without a skipped element inside (nearly
// all of it) is read where it lies.
class TextRun {
 public:
  explicit TextRun(CollapsingText& out) : out_(out) {}

  void add(std::string_view text) {
    if (latest_.empty()) {
      latest_ = text;
      return;
    }
    joined_.append(latest_);
    latest_ = text;
    is_joined_ = true;
  }

  void flush() {
    if (is_joined_) {
      joined_.append(latest_);
      out_.text(joined_);
      joined_.clear();
      is_joined_ = false;
    } else {
      out_.text(latest_);
    }
    latest_ = {};
  }

 private:
  CollapsingText& out_;
  std::string_view latest_;
  std::string joined_;
  bool is_joined_ = false;
};

// Every byte is looked at a bounded number of times: each search resumes
// where the previous one stopped. Stops once `limit` scalars are out.
std::string html_to_text_prefix(std::string_view html, std::size_t limit) {
  CollapsingText out(html.size(), limit);
  TextRun run(out);
  std::string_view skipping;  // the element whose content is being dropped
  std::size_t pos = 0;
  while (pos < html.size() && !out.full()) {
    const std::size_t open = html.find('<', pos);
    if (skipping.empty()) run.add(html.substr(pos, open - pos));
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
      run.flush();
      out.space();
    }
    pos = close + 1;
  }
  run.flush();
  return std::move(out).finish();
}

}  // namespace

std::string html_to_text(std::string_view html) {
  return html_to_text_prefix(html, std::string_view::npos);
}

std::string html_to_description(std::string_view html) {
  // Once the text has more than kDescriptionMaxScalars scalars it is cut,
  // and the cut falls within the scalars already out.
  return shorten_description(
      html_to_text_prefix(html, kDescriptionMaxScalars + 1));
}

std::string shorten_description(std::string text) {
  constexpr std::size_t kKeptScalars =
      kDescriptionMaxScalars - kDescriptionEllipsis.size();
  // Plain ASCII, the usual case, has one scalar per byte: the cut is found
  // without walking the text scalar by scalar.
  const std::size_t window = std::min(text.size(), kDescriptionMaxScalars + 1);
  if (std::all_of(text.begin(), text.begin() + window, [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
      })) {
    if (text.size() <= kDescriptionMaxScalars) return text;
    text.resize(kKeptScalars);
    text.append(kDescriptionEllipsis);
    return text;
  }
  // Walk at most kDescriptionMaxScalars + 1 scalars: a long text is never
  // counted to its end.
  std::size_t pos = 0;
  std::size_t cut = 0;
  for (std::size_t scalars = 0; scalars <= kDescriptionMaxScalars; ++scalars) {
    if (pos >= text.size()) return text;
    if (scalars == kKeptScalars) cut = pos;
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;  // ASCII: one byte, one scalar
    } else {
      (void)next_code_point(text, pos);
    }
  }
  text.resize(cut);
  text.append(kDescriptionEllipsis);
  return text;
}

}  // namespace zelko
