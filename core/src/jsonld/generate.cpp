#include <array>
#include <exception>
#include <string>

#include "jsonld/builders.hpp"

namespace zelko {
namespace {

enum class BuiltIn {
  Article,
  Product,
  FaqPage,
  VideoObject,
  Organization,
  LocalBusiness,
  WebPage,
};

struct Dispatch {
  std::string_view type_name;
  BuiltIn builder;
};

// Schema.org type names with a built-in builder. Names are matched exactly
// and case-sensitively; every other name goes to the registry, then to the
// generic web page builder.
constexpr std::array<Dispatch, 12> kBuiltIns = {{
    {"Article", BuiltIn::Article},
    {"BlogPosting", BuiltIn::Article},
    {"NewsArticle", BuiltIn::Article},
    {"Product", BuiltIn::Product},
    {"FAQPage", BuiltIn::FaqPage},
    {"VideoObject", BuiltIn::VideoObject},
    {"Organization", BuiltIn::Organization},
    {"LocalBusiness", BuiltIn::LocalBusiness},
    {"WebSite", BuiltIn::WebPage},
    {"WebPage", BuiltIn::WebPage},
    {"CollectionPage", BuiltIn::WebPage},
    {"SearchResultsPage", BuiltIn::WebPage},
}};

const Dispatch* find_built_in(std::string_view type_name) noexcept {
  for (const Dispatch& entry : kBuiltIns) {
    if (entry.type_name == type_name) return &entry;
  }
  return nullptr;
}

JsonValue run_built_in(BuiltIn builder, std::string_view type_name,
                       const SchemaContext& ctx) {
  switch (builder) {
    case BuiltIn::Article:
      return build_article_schema(type_name, ctx);
    case BuiltIn::Product:
      return build_product_schema(ctx);
    case BuiltIn::FaqPage:
      return build_faq_page_schema(ctx);
    case BuiltIn::VideoObject:
      return build_video_object_schema(ctx);
    case BuiltIn::Organization:
      return build_organization_schema(ctx);
    case BuiltIn::LocalBusiness:
      return build_local_business_schema(ctx);
    case BuiltIn::WebPage:
      break;
  }
  return build_web_page_schema(type_name, ctx);
}

// A registry builder is caller code: whatever it throws is turned into an
// error here so that no exception leaves the engine.
Result<std::optional<JsonValue>> run_registered(const SchemaBuilder& builder,
                                                std::string_view type_name,
                                                const SchemaContext& ctx) {
  std::string failure = "schema builder for '";
  failure += type_name;
  failure += "' failed";
  try {
    return builder(ctx);
  } catch (const std::exception& exception) {
    failure += ": ";
    failure += exception.what();
  } catch (...) {
  }
  return Error(ErrorKind::Schema, std::move(failure));
}

std::string_view without_trailing_slashes(std::string_view text) noexcept {
  while (!text.empty() && text.back() == '/') text.remove_suffix(1);
  return text;
}

}  // namespace

Result<std::optional<JsonValue>> generate_schema(const SchemaContext& ctx) {
  const auto mapped =
      ctx.config.schema_type_map.find(to_text(ctx.entity.entity_type));
  // An entity type without a map entry simply gets no primary node.
  if (mapped == ctx.config.schema_type_map.end()) {
    return std::optional<JsonValue>();
  }
  const std::string_view type_name = mapped->second;
  if (const Dispatch* built_in = find_built_in(type_name)) {
    return std::optional<JsonValue>(
        run_built_in(built_in->builder, type_name, ctx));
  }
  if (ctx.registry != nullptr) {
    const auto registered = ctx.registry->find(type_name);
    if (registered != ctx.registry->end() && registered->second) {
      return run_registered(registered->second, type_name, ctx);
    }
  }
  return std::optional<JsonValue>(build_web_page_schema(type_name, ctx));
}

JsonValue build_base_schema(std::string_view type_name,
                            const SchemaContext& ctx) {
  const SEOEntity& entity = ctx.entity;
  const SEOConfig& config = ctx.config;
  // Members are added in ascending key order (see detail::add_member), and
  // nested nodes member by member too: braced JsonValues cost several times
  // as much (temporary arrays, then copies).
  JsonValue node = JsonValue::object();
  auto& members = node.get_ref<JsonValue::object_t&>();
  detail::add_member(members, "@context", kSchemaOrgUrl);
  detail::add_member(members, "@type", type_name);
  if (entity.author_name) {
    JsonValue author = JsonValue::object();
    auto& author_members = author.get_ref<JsonValue::object_t&>();
    detail::add_member(author_members, "@type", "Person");
    detail::add_member(author_members, "name", *entity.author_name);
    detail::add_member(members, "author", std::move(author));
  }
  if (entity.updated_at) {
    detail::add_member(members, "dateModified", *entity.updated_at);
  }
  if (entity.published_at) {
    detail::add_member(members, "datePublished", *entity.published_at);
  }
  if (ctx.description) {
    detail::add_member(members, "description", *ctx.description);
  }
  if (ctx.image) {
    detail::add_member(members, "image",
                       absolute_asset_url(*ctx.image, config));
  }
  detail::add_member(members, "name", ctx.name);
  if (config.publisher_name) {
    JsonValue publisher = JsonValue::object();
    auto& publisher_members = publisher.get_ref<JsonValue::object_t&>();
    detail::add_member(publisher_members, "@type", "Organization");
    if (config.publisher_logo) {
      detail::add_member(publisher_members, "logo",
                         absolute_asset_url(*config.publisher_logo, config));
    }
    detail::add_member(publisher_members, "name", *config.publisher_name);
    detail::add_member(members, "publisher", std::move(publisher));
  }
  detail::add_member(members, "url", ctx.url);
  return node;
}

std::string absolute_asset_url(std::string_view value,
                               const SEOConfig& config) {
  if (value.starts_with("http://") || value.starts_with("https://")) {
    return std::string(value);
  }
  std::string url(without_trailing_slashes(config.public_base_url));
  // A relative value such as "img/a.png" needs its own separator; without
  // it the value would be glued onto the base's last segment.
  if (!value.starts_with('/')) url.push_back('/');
  url += value;
  return url;
}

}  // namespace zelko
