// Unicode and ASCII text helpers shared by the URL handling, the JSON reader,
// the builder and validation. Internal to the engine.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelko {

// Unicode White_Space: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
[[nodiscard]] bool is_white_space(char32_t code_point) noexcept;

// Removes White_Space at both ends; inner white space stays.
[[nodiscard]] std::string_view trim_white_space(std::string_view text) noexcept;

// A usable value is present and not empty after trimming; the trimmed text is
// what callers keep.
[[nodiscard]] std::optional<std::string_view> usable_value(
    const std::optional<std::string>& candidate) noexcept;

// Full Unicode lowercase mapping (ICU, root locale), including the
// final-sigma rule. Characters without a mapping and invalid UTF-8 bytes are
// copied unchanged.
[[nodiscard]] std::string to_lower_full(std::string_view text);

// Number of Unicode scalar values; each invalid UTF-8 byte counts as one.
[[nodiscard]] std::size_t count_scalars(std::string_view text) noexcept;

// Decodes one UTF-8 sequence starting at `pos` and advances `pos` past it.
// An invalid or truncated sequence yields U+FFFD and advances by one byte.
[[nodiscard]] char32_t next_code_point(std::string_view text,
                                       std::size_t& pos) noexcept;

// One UTF-8 sequence as found at a byte position. An invalid sequence has
// the length of its maximal subpart (at least one byte), so that one U+FFFD
// can stand for it, as the Unicode replacement practice recommends.
struct Utf8Sequence {
  char32_t code_point;  // U+FFFD when invalid
  std::size_t length;
  bool valid;
};

// Decodes the sequence that starts at `pos` (which must be < text.size()).
[[nodiscard]] Utf8Sequence decode_utf8_at(std::string_view text,
                                          std::size_t pos) noexcept;

// Appends `code_point` encoded as UTF-8.
void append_utf8(std::string& out, char32_t code_point);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view text) noexcept;

// Replaces every invalid UTF-8 sequence with U+FFFD (maximal subparts, as
// the WHATWG decoder does).
[[nodiscard]] std::string to_valid_utf8(std::string_view bytes);

// True when every byte of `text` is below 0x80.
[[nodiscard]] constexpr bool is_ascii(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// 'A'..'Z' to 'a'..'z'; every other byte unchanged.
[[nodiscard]] constexpr char ascii_lower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value of an ASCII hex digit (either case), or -1 for any other byte.
[[nodiscard]] constexpr int hex_digit_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ASCII-only case folding comparison.
[[nodiscard]] bool equals_ascii_case_insensitive(std::string_view a,
                                                 std::string_view b) noexcept;

// `text` between double quotes, as messages show a value.
[[nodiscard]] std::string in_quotes(std::string_view text);

}  // namespace zelko
