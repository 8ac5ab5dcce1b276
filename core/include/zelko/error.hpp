// Engine errors: every fallible operation returns a value or one Error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace zelko {

// The codes are stable. The binding maps each kind to its exception class in
// one switch (errors.cpp, exception_index); two kinds share a class there.
// Code 5 was a contract kind that nothing reported: building a contract
// cannot fail, and writing one fails as Serialization.
enum class ErrorKind : std::uint8_t {
  InvalidUrl = 0,
  Configuration = 1,
  Entity = 2,
  Schema = 3,
  Serialization = 4,
  UrlPolicy = 6,
};

// "invalid URL: ", "invalid configuration: ", ... (each ends with ": ").
[[nodiscard]] std::string_view display_prefix(ErrorKind kind) noexcept;

// The input field at fault, when a single field is: callers use it to point
// at the field without reading the message. A field is named as the member
// of the input record that holds it.
enum class ErrorField : std::uint8_t {
  None = 0,
  CanonicalHost = 1,  // SEOConfig.canonical_host
  PublicBaseUrl = 2,  // SEOConfig.public_base_url
  TitleTemplate = 3,  // SEOConfig.title_template
  EntityType = 4,     // SEOEntity.entity_type
  TrailingSlash = 5,  // URLPolicy.trailing_slash
  CanonicalUrl = 6,   // SEOOverrides.canonical_url
  Location = 7,       // SitemapUrl.location
  Lastmod = 8,        // SitemapUrl.lastmod
  Alternates = 9,     // the alternates of a page (hreflang)
  Images = 10,        // SitemapUrl.images
};

// "canonical_host", "public_base_url", ...; "" for None.
[[nodiscard]] std::string_view field_name(ErrorField field) noexcept;

class Error {
 public:
  Error(ErrorKind kind, std::string message)
      : kind_(kind), message_(std::move(message)) {}
  Error(ErrorKind kind, ErrorField field, std::string message)
      : kind_(kind), field_(field), message_(std::move(message)) {}

  // A failure of the operating system, with its error number (errno) as
  // data beside the message that describes it.
  [[nodiscard]] static Error from_system(ErrorKind kind, int error_number,
                                         std::string message) {
    Error error(kind, std::move(message));
    error.system_error_ = error_number;
    return error;
  }

  // The same error, naming `field` as the one at fault.
  [[nodiscard]] Error at(ErrorField field) && {
    field_ = field;
    return std::move(*this);
  }

  [[nodiscard]] ErrorKind kind() const noexcept { return kind_; }
  [[nodiscard]] ErrorField field() const noexcept { return field_; }
  // The errno of a system failure, or 0.
  [[nodiscard]] int system_error() const noexcept { return system_error_; }
  [[nodiscard]] const std::string& message() const noexcept { return message_; }
  // The kind's prefix immediately followed by the message.
  [[nodiscard]] std::string display() const;

  friend bool operator==(const Error&, const Error&) = default;

 private:
  ErrorKind kind_;
  ErrorField field_ = ErrorField::None;
  int system_error_ = 0;
  std::string message_;
};

// A value or an Error; never both, never neither.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value)
      : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  Result(Error error)
      : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  [[nodiscard]] bool ok() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  [[nodiscard]] T& value() & { return std::get<0>(state_); }
  [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
  [[nodiscard]] T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  [[nodiscard]] const Error& error() const& { return std::get<1>(state_); }
  [[nodiscard]] Error&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, Error> state_;
};

// Success without a value, or an Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT

  [[nodiscard]] bool ok() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return ok(); }
  [[nodiscard]] const Error& error() const& { return error_; }
  [[nodiscard]] Error&& error() && { return std::move(error_); }

 private:
  Error error_{ErrorKind::InvalidUrl, {}};
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace zelko
