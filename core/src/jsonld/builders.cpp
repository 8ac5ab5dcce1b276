#include <string>

#include "jsonld/builders.hpp"

namespace zelko {
namespace {

constexpr std::string_view kSearchPlaceholder = "{search_term_string}";
constexpr std::string_view kSearchQueryInput =
    "required name=search_term_string";

// Nodes are filled member by member, in ascending key order (see
// detail::add_member): a braced JsonValue would build every pair as a
// temporary array first and then copy it.
JsonValue faq_question(const FAQItem& item) {
  JsonValue answer = JsonValue::object();
  auto& answer_members = answer.get_ref<JsonValue::object_t&>();
  detail::add_member(answer_members, "@type", "Answer");
  detail::add_member(answer_members, "text", item.answer);
  JsonValue question = JsonValue::object();
  auto& members = question.get_ref<JsonValue::object_t&>();
  detail::add_member(members, "@type", "Question");
  detail::add_member(members, "acceptedAnswer", std::move(answer));
  detail::add_member(members, "name", item.question);
  return question;
}

// Schema.org availability values are vocabulary terms, so the given text is
// always prefixed with the vocabulary URL, even when it already is a URL.
std::string availability_url(std::string_view availability) {
  std::string url(kSchemaOrgUrl);
  url.push_back('/');
  url += availability;
  return url;
}

// Present only when at least one offer field is present.
std::optional<JsonValue> product_offer(const SEOEntity& entity) {
  if (!entity.price && !entity.price_currency && !entity.availability) {
    return std::nullopt;
  }
  JsonValue offer = JsonValue::object();
  offer["@type"] = "Offer";
  // The price stays the text given: it is never turned into a number.
  if (entity.price) offer["price"] = *entity.price;
  if (entity.price_currency) offer["priceCurrency"] = *entity.price_currency;
  if (entity.availability) {
    offer["availability"] = availability_url(*entity.availability);
  }
  return offer;
}

// Only a WebSite node with a template holding the placeholder gets a search
// action; the template is copied as given.
std::optional<JsonValue> search_action(std::string_view type_name,
                                       const SEOConfig& config) {
  if (type_name != "WebSite" || !config.search_url_template ||
      config.search_url_template->find(kSearchPlaceholder) ==
          std::string::npos) {
    return std::nullopt;
  }
  JsonValue target = JsonValue::object();
  target["@type"] = "EntryPoint";
  target["urlTemplate"] = *config.search_url_template;
  JsonValue action = JsonValue::object();
  action["@type"] = "SearchAction";
  action["target"] = std::move(target);
  action["query-input"] = kSearchQueryInput;
  return action;
}

}  // namespace

JsonValue build_article_schema(std::string_view type_name,
                               const SchemaContext& ctx) {
  JsonValue node = build_base_schema(type_name, ctx);
  JsonValue page = JsonValue::object();
  page["@id"] = ctx.url;
  node["mainEntityOfPage"] = std::move(page);
  return node;
}

JsonValue build_faq_page_schema(const SchemaContext& ctx) {
  JsonValue node = build_base_schema("FAQPage", ctx);
  if (ctx.entity.faq_items) {
    JsonValue questions = JsonValue::array();
    questions.get_ref<JsonValue::array_t&>().reserve(
        ctx.entity.faq_items->size());
    for (const FAQItem& item : *ctx.entity.faq_items) {
      questions.push_back(faq_question(item));
    }
    node["mainEntity"] = std::move(questions);
  }
  return node;
}

JsonValue build_product_schema(const SchemaContext& ctx) {
  JsonValue node = build_base_schema("Product", ctx);
  if (ctx.entity.sku) node["sku"] = *ctx.entity.sku;
  if (auto offer = product_offer(ctx.entity))
    node["offers"] = std::move(*offer);
  return node;
}

JsonValue build_video_object_schema(const SchemaContext& ctx) {
  JsonValue node = build_base_schema("VideoObject", ctx);
  // The thumbnail is the image already made absolute by the base node.
  if (const auto image = node.find("image"); image != node.end()) {
    node["thumbnailUrl"] = *image;
  }
  if (ctx.entity.published_at) node["uploadDate"] = *ctx.entity.published_at;
  return node;
}

JsonValue build_web_page_schema(std::string_view type_name,
                                const SchemaContext& ctx) {
  JsonValue node = build_base_schema(type_name, ctx);
  if (auto action = search_action(type_name, ctx.config)) {
    node["potentialAction"] = std::move(*action);
  }
  return node;
}

}  // namespace zelko
