// The Python-side stages that run after the engine has built a payload: the
// schema registry, the post_process hooks and the validation warnings.
#pragma once

#include "binding.hpp"
#include "zelko/payload.hpp"
#include "zelko/records.hpp"

namespace zelko::py {

// Why custom JSON-LD generators exist twice.
//
// The engine has a registry of native builders (zelko::SchemaRegistry,
// consulted inside generate_schema); the binding always passes none. Python
// generators (config.schema_registry) run here instead, after the build,
// because they cannot go through the engine's registry without changing
// what they do:
//
// - the engine consults its registry only for mapped type names that have
//   no built-in builder, and only for the primary node, before the
//   breadcrumb list is appended; the Python stage looks at the finished
//   schema_jsonld, whatever its "@type" (built-in types included), and
//   leaves an array (primary node plus breadcrumbs) alone;
// - the engine generates nothing when the overrides supply schema_jsonld or
//   omit it, or auto_generate_schema is off; the Python stage still sees a
//   schema supplied by the overrides;
// - a Python generator's result replaces schema_jsonld whole and may be any
//   JSON value, and its exceptions must reach the caller unchanged, which
//   an engine Error cannot carry.
//
// So both stay: the engine's registry for native builders (the engine's own
// tests use it), the stage below for Python's.

// Runs the three stages in order on `payload`, each replacing it with its
// result. `config` is the caller's SEOConfig object, held under a shared
// borrow by the caller for the whole call; `entity` is the build's entity
// record. Hooks and generators only ever see new objects holding copies.
// False with the Python exception set when a stage fails.
[[nodiscard]] bool run_post_build_stages(zelko::SEOPayload& payload,
                                         const zelko::SEOEntity& entity,
                                         PyObject* config);

}  // namespace zelko::py
