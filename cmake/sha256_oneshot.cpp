// SHA256() as the engine gets it, in every build: the engine's calls are
// routed here at link time (-Wl,--wrap=SHA256, core/CMakeLists.txt).
//
// OpenSSL 3's own SHA256() goes through EVP_Q_digest, which looks SHA-256 up
// in whatever providers the machine's OpenSSL configuration loads. When that
// configuration offers none (OPENSSL_CONF naming a file that loads only the
// base provider, say), it returns NULL and leaves the digest untouched, and
// the engine, which does not look at the result, would hand out 64 zeros as
// the payload's hash and ETag. The SHA-256 functions themselves need no
// provider and no configuration and do not fail. They are also all that a
// static link (the self-contained wheel) has to carry: a few kilobytes
// instead of the provider machinery and most of libcrypto.

// SHA256_Init/Update/Final are deprecated in OpenSSL 3 in favour of EVP,
// which is what this file avoids on purpose.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <cstddef>

extern "C" unsigned char* __wrap_SHA256(const unsigned char* data,
                                        std::size_t size,
                                        unsigned char* digest) {
  static unsigned char own_digest[SHA256_DIGEST_LENGTH];
  if (digest == nullptr) digest = own_digest;
  SHA256_CTX context;
  if (SHA256_Init(&context) != 1 || SHA256_Update(&context, data, size) != 1 ||
      SHA256_Final(digest, &context) != 1) {
    return nullptr;
  }
  return digest;
}
