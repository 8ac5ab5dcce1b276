// SHA256() for the self-contained wheel, which links libcrypto statically.
//
// In OpenSSL 3, SHA256() goes through EVP_Q_digest: it looks the algorithm up
// in a provider, which drags the whole provider machinery (and with it most
// of libcrypto, some 4 MB) into the extension and makes the digest depend on
// the OpenSSL configuration of the machine it runs on. The wheel links with
// --wrap=SHA256 so that the engine's SHA256() calls land here instead, on the
// SHA-256 functions themselves: the same digest, a few kilobytes of code, and
// nothing to configure.

// The SHA256_Init/Update/Final functions are deprecated in OpenSSL 3 in
// favour of EVP, which is exactly what this file avoids.
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
