// Text forms of the schema.org data types that structured data is checked
// against: ISO 8601 dates, date-times and times, numbers and absolute URLs.
#pragma once

#include <string_view>

namespace zelko::structured {

// YYYY, YYYY-MM or YYYY-MM-DD with a real month and day.
[[nodiscard]] bool is_date_text(std::string_view text) noexcept;
// A date, or YYYY-MM-DD "T" a time.
[[nodiscard]] bool is_date_time_text(std::string_view text) noexcept;
// hh:mm, hh:mm:ss or hh:mm:ss.fraction, then optionally Z or +hh:mm / -hh:mm.
[[nodiscard]] bool is_time_text(std::string_view text) noexcept;
// A decimal number: optional sign, digits, optional fraction and exponent.
[[nodiscard]] bool is_number_text(std::string_view text) noexcept;
// The same without fraction or exponent.
[[nodiscard]] bool is_integer_text(std::string_view text) noexcept;
// An absolute URL: a scheme, ':', and no whitespace or control characters;
// http and https need "//" and a host.
[[nodiscard]] bool is_url_text(std::string_view text) noexcept;

}  // namespace zelko::structured
