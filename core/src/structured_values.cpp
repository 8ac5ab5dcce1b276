#include "structured_values.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zelko::structured {
namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Reads `count` digits at `at` as a number; false when any is not a digit.
bool read_digits(std::string_view text, std::size_t at, std::size_t count,
                 int& value) noexcept {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!is_digit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Whether any byte is a space, a C0 control or DEL. URLs are long and
// nearly always clean: eight bytes are tested at a time (a word has a byte
// below 0x21 exactly when (w - 0x21..) & ~w & 0x80.. is not zero).
bool has_space_or_control(std::string_view text) noexcept {
  constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  std::size_t at = 0;
  for (; at + sizeof(std::uint64_t) <= text.size();
       at += sizeof(std::uint64_t)) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + at, sizeof word);
    const std::uint64_t del = word ^ (kEveryByte * 0x7F);
    if ((((word - kEveryByte * 0x21) & ~word) | ((del - kEveryByte) & ~del)) &
        kHighBits) {
      break;
    }
  }
  for (; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte <= 0x20 || byte == 0x7F) return true;
  }
  return false;
}

int days_in_month(int year, int month) noexcept {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The full YYYY-MM-DD form at the start of `text`.
bool is_full_date(std::string_view text) noexcept {
  int year = 0, month = 0, day = 0;
  return text.size() >= 10 && read_digits(text, 0, 4, year) && text[4] == '-' &&
         read_digits(text, 5, 2, month) && text[7] == '-' &&
         read_digits(text, 8, 2, day) && month >= 1 && month <= 12 &&
         day >= 1 && day <= days_in_month(year, month);
}

bool is_zone(std::string_view text) noexcept {
  if (text.empty() || text == "Z") return true;
  int hours = 0, minutes = 0;
  return text.size() == 6 && (text[0] == '+' || text[0] == '-') &&
         read_digits(text, 1, 2, hours) && text[3] == ':' &&
         read_digits(text, 4, 2, minutes) && hours <= 14 && minutes <= 59;
}

}  // namespace

bool is_date_text(std::string_view text) noexcept {
  int year = 0, month = 0;
  if (text.size() == 4) return read_digits(text, 0, 4, year);
  if (text.size() == 7) {
    return read_digits(text, 0, 4, year) && text[4] == '-' &&
           read_digits(text, 5, 2, month) && month >= 1 && month <= 12;
  }
  return text.size() == 10 && is_full_date(text);
}

bool is_date_time_text(std::string_view text) noexcept {
  if (is_date_text(text)) return true;
  return text.size() > 11 && is_full_date(text) && text[10] == 'T' &&
         is_time_text(text.substr(11));
}

bool is_time_text(std::string_view text) noexcept {
  int hours = 0, minutes = 0, seconds = 0;
  if (!read_digits(text, 0, 2, hours) || text.size() < 5 || text[2] != ':' ||
      !read_digits(text, 3, 2, minutes) || hours > 23 || minutes > 59) {
    return false;
  }
  std::size_t at = 5;
  if (at < text.size() && text[at] == ':') {
    if (!read_digits(text, at + 1, 2, seconds) || seconds > 60) return false;
    at += 3;
    if (at < text.size() && text[at] == '.') {
      std::size_t digits = at + 1;
      while (digits < text.size() && is_digit(text[digits])) ++digits;
      if (digits == at + 1) return false;
      at = digits;
    }
  }
  return is_zone(text.substr(at));
}

bool is_number_text(std::string_view text) noexcept {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::size_t digits = at;
  while (at < text.size() && is_digit(text[at])) ++at;
  bool whole = at > digits;
  bool fraction = false;
  if (at < text.size() && text[at] == '.') {
    std::size_t start = ++at;
    while (at < text.size() && is_digit(text[at])) ++at;
    fraction = at > start;
  }
  if (!whole && !fraction) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    std::size_t start = at;
    while (at < text.size() && is_digit(text[at])) ++at;
    if (at == start) return false;
  }
  return at == text.size();
}

bool is_integer_text(std::string_view text) noexcept {
  std::size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (at == text.size()) return false;
  for (; at < text.size(); ++at) {
    if (!is_digit(text[at])) return false;
  }
  return true;
}

bool is_url_text(std::string_view text) noexcept {
  std::size_t colon = text.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
  for (std::size_t i = 0; i < colon; ++i) {
    char c = lower(text[i]);
    bool letter = c >= 'a' && c <= 'z';
    if (!letter &&
        (i == 0 || !(is_digit(c) || c == '+' || c == '-' || c == '.')))
      return false;
  }
  if (has_space_or_control(text)) return false;
  std::string_view rest = text.substr(colon + 1);
  bool web = colon >= 4 && colon <= 5 &&
             (lower(text[0]) == 'h' && lower(text[1]) == 't' &&
              lower(text[2]) == 't' && lower(text[3]) == 'p') &&
             (colon == 4 || lower(text[4]) == 's');
  if (!web) return !rest.empty();
  return rest.size() > 2 && rest.starts_with("//") && rest[2] != '/' &&
         rest[2] != '?' && rest[2] != '#';
}

}  // namespace zelko::structured
