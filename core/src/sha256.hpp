#pragma once

#include <string>
#include <string_view>

namespace zelko {

// SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
[[nodiscard]] std::string sha256_hex(std::string_view bytes);

// SHA-256 of bytes that arrive in pieces (a file as it is written).
class Sha256 {
 public:
  Sha256() noexcept;
  void update(std::string_view bytes) noexcept;
  // The digest as 64 lower-case hexadecimal digits; ends the hashing.
  [[nodiscard]] std::string hex_digest();

 private:
  // OpenSSL's SHA256_CTX, kept opaque so that its header stays in the .cpp.
  alignas(8) unsigned char state_[112];
};

}  // namespace zelko
