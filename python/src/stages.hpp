// The Python-side stages that run after the engine has built a payload: the
// schema registry, the post_process hooks and the validation warnings.
#pragma once

#include "binding.hpp"
#include "zelko/payload.hpp"
#include "zelko/records.hpp"

namespace zelko::py {

// Runs the three stages in order on `payload`, each replacing it with its
// result. `config` is the caller's SEOConfig object, held under a shared
// borrow by the caller for the whole call; `entity` is the build's entity
// record. Hooks and generators only ever see new objects holding copies.
// False with the Python exception set when a stage fails.
[[nodiscard]] bool run_post_build_stages(zelko::SEOPayload& payload,
                                         const zelko::SEOEntity& entity,
                                         PyObject* config);

}  // namespace zelko::py
