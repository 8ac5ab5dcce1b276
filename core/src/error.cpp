#include "zelko/error.hpp"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "debug_check.hpp"

namespace zelko {

std::string_view display_prefix(ErrorKind kind) noexcept {
  switch (kind) {
    case ErrorKind::InvalidUrl:
      return "invalid URL: ";
    case ErrorKind::Configuration:
      return "invalid configuration: ";
    case ErrorKind::Entity:
      return "invalid entity: ";
    case ErrorKind::Schema:
      return "invalid schema: ";
    case ErrorKind::Serialization:
      return "serialization error: ";
    case ErrorKind::UrlPolicy:
      return "URL policy error: ";
  }
  return "error: ";
}

namespace {

// Indexed by the enumerator's code.
constexpr std::array<std::string_view, 11> kFieldNames = {"",
                                                          "canonical_host",
                                                          "public_base_url",
                                                          "title_template",
                                                          "entity_type",
                                                          "trailing_slash",
                                                          "canonical_url",
                                                          "location",
                                                          "lastmod",
                                                          "alternates",
                                                          "images"};

}  // namespace

std::string_view field_name(ErrorField field) noexcept {
  const auto code = static_cast<std::size_t>(field);
  return code < kFieldNames.size() ? kFieldNames[code] : std::string_view{};
}

std::string Error::display() const {
  std::string text(display_prefix(kind_));
  text += message_;
  return text;
}

namespace detail {

// Defined in every build, so that objects built with and without the checks
// link together.
void debug_check_failed(const char* condition, const char* file,
                        int line) noexcept {
  std::fprintf(stderr, "zelko: debug check failed: %s (%s:%d)\n", condition,
               file, line);
  std::abort();
}

}  // namespace detail

}  // namespace zelko
