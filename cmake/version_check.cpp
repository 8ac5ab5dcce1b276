// Compiled into the engine so that the build stops when the generator version
// written into SEO contracts and the package version in pyproject.toml part
// ways.
#include "zelko/contract.hpp"
#include "zelko/version.hpp"

static_assert(
    zelko::SEOContract::kGeneratorVersion == zelko::kVersion,
    "SEOContract::kGeneratorVersion (core/include/zelko/contract.hpp) "
    "must be the version in pyproject.toml");
