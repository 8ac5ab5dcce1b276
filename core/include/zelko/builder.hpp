// The payload builder: entity + route + configuration + overrides -> payload.
#pragma once

#include <string_view>

#include "zelko/error.hpp"
#include "zelko/jsonld.hpp"
#include "zelko/payload.hpp"
#include "zelko/records.hpp"

namespace zelko {

// The fallback of the base title.
inline constexpr std::string_view kUntitled = "Untitled";

// Resolves every payload field by its precedence chain. `overrides` may be
// null (same as overrides with every field absent); `registry` may be null
// and is handed through to schema generation. `config` is trusted to have
// passed validate_config. Pure: the same inputs give an equal payload.
// Failures, in the order they can occur: the canonical_url override
// (InvalidUrl), public URL resolution, schema generation, breadcrumbs; each
// is returned unchanged and no partial payload exists.
[[nodiscard]] Result<SEOPayload> build_seo_payload(
    const SEOEntity& entity, std::string_view route, const SEOConfig& config,
    const SEOOverrides* overrides = nullptr,
    const SchemaRegistry* registry = nullptr);

}  // namespace zelko
