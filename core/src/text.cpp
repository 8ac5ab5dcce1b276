#include "text.hpp"

#include <cstdint>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/stringpiece.h>
#include <unicode/utypes.h>

#include "debug_check.hpp"

namespace zelko {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

// One step of a strict UTF-8 decoder. An invalid sequence reports the length
// of its maximal subpart: the lead byte plus every continuation byte that
// still fitted a well-formed sequence (so "\xE2\x82A" consumes two bytes).
Utf8Sequence decode_utf8_at(std::string_view text, std::size_t pos) noexcept {
  ZELKO_DEBUG_CHECK(pos < text.size());
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {lead, 1, true};

  std::size_t continuation_count = 0;
  char32_t code_point = 0;
  // The first continuation byte has a narrower range for E0, ED, F0 and F4:
  // that is what excludes overlong forms, surrogates and values past U+10FFFF.
  unsigned char lower = 0x80;
  unsigned char upper = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation_count = 1;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation_count = 2;
    code_point = lead & 0x0F;
    if (lead == 0xE0) lower = 0xA0;
    if (lead == 0xED) upper = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation_count = 3;
    code_point = lead & 0x07;
    if (lead == 0xF0) lower = 0x90;
    if (lead == 0xF4) upper = 0x8F;
  } else {
    return {kReplacement, 1, false};
  }

  std::size_t next = pos + 1;
  for (std::size_t i = 0; i < continuation_count; ++i, ++next) {
    if (next >= text.size()) return {kReplacement, next - pos, false};
    const auto byte = static_cast<unsigned char>(text[next]);
    if (byte < lower || byte > upper) {
      return {kReplacement, next - pos, false};
    }
    code_point = (code_point << 6) | (byte & 0x3F);
    lower = 0x80;
    upper = 0xBF;
  }
  return {code_point, next - pos, true};
}

namespace {

// Length of a White_Space character that ends `text`, or 0. Every White_Space
// character is one, two or three bytes long, and its lead byte can never be a
// continuation byte, so matching the final bytes is enough.
std::size_t trailing_white_space_length(std::string_view text) noexcept {
  ZELKO_DEBUG_CHECK(!text.empty());
  const auto last = static_cast<unsigned char>(text.back());
  if (last < 0x80) return is_white_space(last) ? 1 : 0;
  for (const std::size_t length : {std::size_t{2}, std::size_t{3}}) {
    if (text.size() < length) break;
    const std::size_t start = text.size() - length;
    const Utf8Sequence decoded = decode_utf8_at(text, start);
    if (decoded.valid && decoded.length == length) {
      return is_white_space(decoded.code_point) ? length : 0;
    }
  }
  return 0;
}

// ICU takes 32-bit lengths; longer text is lowercased in slices that end on
// a code point boundary. The final-sigma context can only be misjudged at a
// slice edge, which needs a word of over a gigabyte.
constexpr std::size_t kMaxIcuSlice = std::size_t{1} << 30;

std::size_t slice_end(std::string_view text, std::size_t start) noexcept {
  std::size_t end = start + kMaxIcuSlice;
  if (end >= text.size()) return text.size();
  while (end > start &&
         (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return end == start ? start + kMaxIcuSlice : end;
}

bool lower_with_icu(std::string_view text, std::string& out) {
  icu::StringByteSink<std::string> sink(&out);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = slice_end(text, start);
    UErrorCode status = U_ZERO_ERROR;
    // "" selects the root locale: no Turkish or Lithuanian special cases.
    icu::CaseMap::utf8ToLower(
        "", 0,
        icu::StringPiece(text.data() + start,
                         static_cast<std::int32_t>(end - start)),
        sink, nullptr, status);
    if (U_FAILURE(status)) return false;
    start = end;
  }
  return true;
}

}  // namespace

bool is_white_space(char32_t code_point) noexcept {
  switch (code_point) {
    case 0x0009:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return code_point >= 0x2000 && code_point <= 0x200A;
  }
}

std::string_view trim_white_space(std::string_view text) noexcept {
  while (!text.empty()) {
    const Utf8Sequence decoded = decode_utf8_at(text, 0);
    if (!decoded.valid || !is_white_space(decoded.code_point)) break;
    text.remove_prefix(decoded.length);
  }
  while (!text.empty()) {
    const std::size_t length = trailing_white_space_length(text);
    if (length == 0) break;
    text.remove_suffix(length);
  }
  return text;
}

std::optional<std::string_view> usable_value(
    const std::optional<std::string>& candidate) noexcept {
  if (!candidate) return std::nullopt;
  const std::string_view trimmed = trim_white_space(*candidate);
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

std::string to_lower_full(std::string_view text) {
  std::string out;
  if (is_ascii(text)) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = ascii_lower(text[i]);
    return out;
  }
  out.reserve(text.size());
  // ICU copies ill-formed sequences through unchanged; should it still
  // report a failure (memory), the text is better kept as given than lost.
  if (!lower_with_icu(text, out)) return std::string(text);
  return out;
}

std::size_t count_scalars(std::string_view text) noexcept {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
    } else {
      (void)next_code_point(text, pos);
    }
  }
  return count;
}

// At or past the end there is nothing to decode: U+FFFD, and `pos` stays.
char32_t next_code_point(std::string_view text, std::size_t& pos) noexcept {
  if (pos >= text.size()) return kReplacement;
  const Utf8Sequence decoded = decode_utf8_at(text, pos);
  pos += decoded.valid ? decoded.length : 1;
  return decoded.code_point;
}

void append_utf8(std::string& out, char32_t code_point) {
  // Surrogates and values past U+10FFFF have no UTF-8 form.
  if ((code_point >= 0xD800 && code_point <= 0xDFFF) || code_point > 0x10FFFF) {
    code_point = kReplacement;
  }
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

bool is_valid_utf8(std::string_view text) noexcept {
  for (std::size_t pos = 0; pos < text.size();) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const Utf8Sequence decoded = decode_utf8_at(text, pos);
    if (!decoded.valid) return false;
    pos += decoded.length;
  }
  return true;
}

std::string to_valid_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // Valid runs are copied in one piece; only bad sequences are rewritten.
    const std::size_t run_start = pos;
    Utf8Sequence decoded{0, 0, true};
    while (pos < bytes.size()) {
      decoded = decode_utf8_at(bytes, pos);
      if (!decoded.valid) break;
      pos += decoded.length;
    }
    out.append(bytes.substr(run_start, pos - run_start));
    if (pos < bytes.size()) {
      append_utf8(out, kReplacement);
      pos += decoded.length;
    }
  }
  return out;
}

bool equals_ascii_case_insensitive(std::string_view a,
                                   std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

std::string in_quotes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  out.append(text);
  out.push_back('"');
  return out;
}

}  // namespace zelko
