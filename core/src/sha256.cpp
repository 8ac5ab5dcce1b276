#include "sha256.hpp"

// The SHA256_Init/Update/Final functions, deprecated in OpenSSL 3 in favour of
// EVP, are what the self-contained wheel carries (cmake/sha256_oneshot.cpp).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <array>
#include <new>

namespace zelko {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string hex(const unsigned char* digest, std::size_t size) {
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kHexDigits[digest[i] >> 4]);
    out.push_back(kHexDigits[digest[i] & 0x0F]);
  }
  return out;
}

}  // namespace

static_assert(sizeof(SHA256_CTX) <= 112 && alignof(SHA256_CTX) <= 8);

Sha256::Sha256() noexcept { SHA256_Init(new (state_) SHA256_CTX{}); }

void Sha256::update(std::string_view bytes) noexcept {
  SHA256_Update(std::launder(reinterpret_cast<SHA256_CTX*>(state_)),
                bytes.data(), bytes.size());
}

std::string Sha256::hex_digest() {
  std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
  SHA256_Final(digest.data(),
               std::launder(reinterpret_cast<SHA256_CTX*>(state_)));
  return hex(digest.data(), digest.size());
}

std::string sha256_hex(std::string_view bytes) {
  std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
         digest.data());
  return hex(digest.data(), digest.size());
}

}  // namespace zelko
