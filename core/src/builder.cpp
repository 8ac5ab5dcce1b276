#include "zelko/builder.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "html_text.hpp"
#include "jsonld/breadcrumbs.hpp"
#include "social.hpp"
#include "text.hpp"
#include "url_parser.hpp"
#include "zelko/robots.hpp"
#include "zelko/url.hpp"

namespace zelko {
namespace {

constexpr std::string_view kTitlePlaceholder = "{title}";

// Every occurrence of the placeholder, left to right, non-overlapping; the
// rest of the template is copied unchanged, blanks included.
std::string apply_title_template(std::string_view title_template,
                                 std::string_view base_title) {
  std::string title;
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = title_template.find(kTitlePlaceholder, pos);
    title.append(title_template.substr(pos, hit - pos));
    if (hit == std::string_view::npos) break;
    title.append(base_title);
    pos = hit + kTitlePlaceholder.size();
  }
  return title;
}

std::string resolve_title(const SEOEntity& entity, const SEOConfig& config,
                          const SEOOverrides& overrides) {
  std::string_view base = kUntitled;
  if (const auto text = usable_value(overrides.meta_title)) {
    base = *text;
  } else if (const auto title = usable_value(entity.title)) {
    base = *title;
  }
  if (config.title_template && !overrides.skip_title_template) {
    return apply_title_template(*config.title_template, base);
  }
  return std::string(base);
}

// The body text is only worked out when neither the override nor the excerpt
// gives a description; it cannot fail, so skipping it changes nothing else.
std::string resolve_description(const SEOEntity& entity,
                                const SEOOverrides& overrides) {
  if (const auto text = usable_value(overrides.meta_description)) {
    return std::string(*text);
  }
  if (const auto excerpt = usable_value(entity.excerpt)) {
    return std::string(*excerpt);
  }
  if (entity.body_html) {
    // Already collapsed and trimmed, so a non-empty body text is usable.
    return html_to_description(*entity.body_html);
  }
  return {};
}

// The override is kept exactly as the caller wrote it (less the blanks
// around it); parsing only proves it is an absolute http(s) URL.
Result<std::string> check_canonical_override(std::string_view raw) {
  const std::string_view trimmed = trim_white_space(raw);
  const Result<ParsedUrl> parsed = parse_absolute_url(trimmed);
  if (!parsed) {
    return Error(ErrorKind::InvalidUrl, ErrorField::CanonicalUrl,
                 "canonical_url override must be an absolute URL: " +
                     parsed.error().message());
  }
  if (parsed->scheme != "http" && parsed->scheme != "https") {
    return Error(ErrorKind::InvalidUrl, ErrorField::CanonicalUrl,
                 "canonical_url override must use http or https");
  }
  return std::string(trimmed);
}

Result<std::string> resolve_canonical_url(std::string_view route,
                                          const SEOConfig& config,
                                          const SEOOverrides& overrides) {
  if (overrides.canonical_url) {
    return check_canonical_override(*overrides.canonical_url);
  }
  // A canonical_path override replaces the route even when it is blank.
  const std::string_view target =
      overrides.canonical_path ? std::string_view(*overrides.canonical_path)
                               : route;
  return normalize_public_url(target, config);
}

// A status decides indexability on its own: the configured defaults, limits
// included, play no part then.
Robots robots_for_status(std::string_view status) {
  Robots robots;
  robots.index = equals_ascii_case_insensitive(status, "published");
  robots.follow = true;
  return robots;
}

std::string resolve_robots(const SEOEntity& entity, const SEOConfig& config,
                           const SEOOverrides& overrides) {
  if (overrides.robots) return serialize(*overrides.robots);
  if (entity.entity_type == EntityType::Search) {
    return serialize(config.search_robots);
  }
  if (entity.status) return serialize(robots_for_status(*entity.status));
  return serialize(config.default_robots);
}

// A fresh value holding the same scalar, or an empty container of the same
// kind; the elements are filled in by deep_copy.
JsonValue shallow_copy(const JsonValue& value) {
  if (value.is_array()) return JsonValue::array();
  if (value.is_object()) return JsonValue::object();
  return value;
}

// Copies a JSON tree with an explicit work list instead of recursion, so an
// override nested arbitrarily deep cannot exhaust the stack.
JsonValue deep_copy(const JsonValue& source) {
  JsonValue root = shallow_copy(source);
  std::vector<std::pair<const JsonValue*, JsonValue*>> pending;
  pending.emplace_back(&source, &root);
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    if (from->is_array()) {
      auto& elements = to->get_ref<JsonValue::array_t&>();
      elements.reserve(from->size());
      for (const JsonValue& element : *from) {
        elements.push_back(shallow_copy(element));
      }
      // The vector is complete, so the element addresses are stable now.
      for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].is_structured()) {
          pending.emplace_back(&(*from)[i], &elements[i]);
        }
      }
    } else if (from->is_object()) {
      auto& members = to->get_ref<JsonValue::object_t&>();
      for (auto member = from->begin(); member != from->end(); ++member) {
        JsonValue& slot =
            members.emplace(member.key(), shallow_copy(*member)).first->second;
        if (slot.is_structured()) pending.emplace_back(&*member, &slot);
      }
    }
  }
  return root;
}

// An array contributes its elements, anything else itself. Null never
// becomes a node: it only stands for a schema that could not be read.
void append_nodes(JsonValue::array_t& nodes, JsonValue primary) {
  if (primary.is_null()) return;
  if (!primary.is_array()) {
    nodes.push_back(std::move(primary));
    return;
  }
  for (JsonValue& element : primary.get_ref<JsonValue::array_t&>()) {
    if (!element.is_null()) nodes.push_back(std::move(element));
  }
}

struct SchemaInputs {
  const SEOEntity& entity;
  const SEOConfig& config;
  const SEOOverrides& overrides;
  const SchemaRegistry* registry;
  const SEOPayload& payload;  // title, description and canonical are set
  const SEOImage* og_image;   // the Open Graph image record, or null
};

Status append_primary_nodes(const SchemaInputs& in, JsonValue::array_t& nodes) {
  if (in.overrides.omit_schema) return {};
  if (in.overrides.schema_jsonld) {
    append_nodes(nodes, deep_copy(*in.overrides.schema_jsonld));
    return {};
  }
  if (!in.config.auto_generate_schema) return {};
  const SchemaContext ctx{
      .entity = in.entity,
      .config = in.config,
      .url = in.payload.canonical,
      .name = in.payload.title,
      .description = in.payload.description,
      .image = in.og_image != nullptr
                   ? std::optional<std::string_view>(in.og_image->url)
                   : std::nullopt,
      .registry = in.registry,
  };
  Result<std::optional<JsonValue>> generated = generate_schema(ctx);
  if (!generated) return std::move(generated).error();
  if (generated->has_value()) append_nodes(nodes, std::move(**generated));
  return {};
}

// No node leaves schema_jsonld absent, one node is unwrapped, several make
// an array with the primary nodes first.
Result<std::optional<JsonValue>> resolve_schema(const SchemaInputs& in) {
  JsonValue::array_t nodes;
  nodes.reserve(2);  // the usual most: a primary node and the breadcrumbs
  if (Status primary = append_primary_nodes(in, nodes); !primary) {
    return std::move(primary).error();
  }
  // Breadcrumbs add their node whatever happened to the primary value,
  // omit_schema included.
  if (in.entity.breadcrumbs) {
    Result<JsonValue> list =
        build_breadcrumb_list(*in.entity.breadcrumbs, in.config);
    if (!list) return std::move(list).error();
    nodes.push_back(std::move(list).value());
  }
  if (nodes.empty()) return std::optional<JsonValue>();
  if (nodes.size() == 1) return std::optional<JsonValue>(std::move(nodes[0]));
  JsonValue all = JsonValue::array();
  all.get_ref<JsonValue::array_t&>() = std::move(nodes);
  return std::optional<JsonValue>(std::move(all));
}

}  // namespace

Result<SEOPayload> build_seo_payload(const SEOEntity& entity,
                                     std::string_view route,
                                     const SEOConfig& config,
                                     const SEOOverrides* overrides,
                                     const SchemaRegistry* registry) {
  const SEOOverrides no_overrides;
  const SEOOverrides& o = overrides != nullptr ? *overrides : no_overrides;

  SEOPayload payload;
  payload.title = resolve_title(entity, config, o);
  payload.description = resolve_description(entity, o);
  Result<std::string> canonical = resolve_canonical_url(route, config, o);
  if (!canonical) return std::move(canonical).error();
  payload.canonical = std::move(canonical).value();
  payload.robots = resolve_robots(entity, config, o);

  SocialTags social = derive_social_tags(
      {payload.title, payload.description, payload.canonical}, entity, config,
      o);
  Result<std::optional<JsonValue>> schema = resolve_schema(
      {entity, config, o, registry, payload, social.og_image_source});
  if (!schema) return std::move(schema).error();
  payload.og = std::move(social.og);
  payload.twitter = std::move(social.twitter);
  payload.schema_jsonld = std::move(schema).value();
  return payload;
}

}  // namespace zelko
