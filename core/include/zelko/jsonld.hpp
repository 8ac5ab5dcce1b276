// Schema.org JSON-LD generation: the builder context, the registry of
// builders for further type names, and the entry point. The typed builders
// themselves are internal (core/src/jsonld/builders.hpp).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "zelko/error.hpp"
#include "zelko/json.hpp"
#include "zelko/records.hpp"

namespace zelko {

struct SchemaContext;

// A native builder for a Schema.org type name; it may yield no node, and its
// error ends the payload build unchanged.
using SchemaBuilder =
    std::function<Result<std::optional<JsonValue>>(const SchemaContext&)>;
// Schema.org type name -> builder, consulted only for names without a
// built-in builder. Python generators do not go through it; why, and how the
// two differ, is said in python/src/stages.hpp.
using SchemaRegistry = std::map<std::string, SchemaBuilder, std::less<>>;

// The input of every builder. Everything referenced is owned by the caller
// for the duration of the call.
struct SchemaContext {
  const SEOEntity& entity;
  const SEOConfig& config;
  std::string_view url;   // the canonical URL
  std::string_view name;  // the final title
  std::optional<std::string_view> description;
  std::optional<std::string_view> image;  // the Open Graph image URL
  const SchemaRegistry* registry = nullptr;
};

// Looks the entity type up in config.schema_type_map and dispatches on the
// Schema.org type name found (exact, case-sensitive). No map entry yields no
// node. Only a registry builder can fail.
[[nodiscard]] Result<std::optional<JsonValue>> generate_schema(
    const SchemaContext& ctx);

}  // namespace zelko
