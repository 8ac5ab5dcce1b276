#pragma once

#include <string>
#include <string_view>

namespace zelko {

// SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
[[nodiscard]] std::string sha256_hex(std::string_view bytes);

}  // namespace zelko
