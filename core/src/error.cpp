#include "zelko/error.hpp"

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
    case ErrorKind::Contract:
      return "contract error: ";
    case ErrorKind::UrlPolicy:
      return "URL policy error: ";
  }
  return "error: ";
}

std::string Error::display() const {
  std::string text(display_prefix(kind_));
  text += message_;
  return text;
}

}  // namespace zelko
