#include "jsonld/builders.hpp"

namespace zelko {

JsonValue build_organization_schema(const SchemaContext& ctx) {
  JsonValue node = build_base_schema("Organization", ctx);
  if (ctx.entity.same_as) node["sameAs"] = *ctx.entity.same_as;
  // The organization's own logo is copied as given; only the publisher's
  // logo inside the base node is made absolute.
  if (ctx.config.publisher_logo) node["logo"] = *ctx.config.publisher_logo;
  return node;
}

JsonValue build_local_business_schema(const SchemaContext& ctx) {
  JsonValue node = build_organization_schema(ctx);
  node["@type"] = "LocalBusiness";
  if (ctx.entity.address) {
    // The whole address text goes into streetAddress, unsplit.
    node["address"] = {{"@type", "PostalAddress"},
                       {"streetAddress", *ctx.entity.address}};
  }
  return node;
}

}  // namespace zelko
