// The field tables of the contract inputs: expectations, rules and the
// contract configuration (see input_fields.hpp for what a table drives).
#pragma once

#include <tuple>

#include "zelko/contract.hpp"
#include "zelko/input_fields.hpp"

namespace zelko {

template <>
struct InputFields<SEOExpectation> {
  static constexpr std::string_view record_name = "SEOExpectation";
  static constexpr std::string_view description =
      "What a page's SEO metadata must satisfy; unset fields are not checked.";
  static constexpr std::tuple fields{
      field("required", &SEOExpectation::required, FieldKind::Flag,
            "Whether the field must be present, or None."),
      field("forbidden", &SEOExpectation::forbidden, FieldKind::Flag,
            "Whether the field must be absent, or None."),
      field("equals", &SEOExpectation::equals, FieldKind::Text,
            "The exact value, or None."),
      field("not_equals", &SEOExpectation::not_equals, FieldKind::Text,
            "A value the field must not have, or None."),
      field("contains", &SEOExpectation::contains, FieldKind::Text,
            "Text the value must contain, or None."),
      field("matches", &SEOExpectation::matches, FieldKind::Text,
            "A regular expression the value must match, or None."),
      field("one_of", &SEOExpectation::one_of, FieldKind::TextList,
            "The values allowed, or None."),
      field("min_length", &SEOExpectation::min_length, FieldKind::Integer,
            "The shortest length allowed, or None."),
      field("max_length", &SEOExpectation::max_length, FieldKind::Integer,
            "The longest length allowed, or None."),
      field("min_items", &SEOExpectation::min_items, FieldKind::Integer,
            "The fewest items allowed, or None."),
      field("max_items", &SEOExpectation::max_items, FieldKind::Integer,
            "The most items allowed, or None."),
      field("indexable", &SEOExpectation::indexable, FieldKind::Flag,
            "Whether the page must be indexable, or None."),
      field("canonical", &SEOExpectation::canonical, FieldKind::Text,
            "The expected canonical behaviour, or None."),
      SectionField<SEOExpectation, SchemaExpectation, bool>{
          "schema_required", &SEOExpectation::schema,
          &SchemaExpectation::required, FieldKind::Flag, false,
          "Whether the page must have JSON-LD, or None."},
      SectionField<SEOExpectation, SchemaExpectation, std::vector<std::string>>{
          "schema_types", &SEOExpectation::schema, &SchemaExpectation::types,
          FieldKind::TextList, false,
          "The Schema.org types the JSON-LD must have, or None."},
      SectionField<SEOExpectation, SchemaExpectation, bool>{
          "schema_valid", &SEOExpectation::schema, &SchemaExpectation::valid,
          FieldKind::Flag, false,
          "Whether the JSON-LD must pass the schema.org vocabulary and "
          "rich-result checks, or None."},
      SectionField<SEOExpectation, SchemaExpectation, std::vector<std::string>>{
          "schema_rich_results", &SEOExpectation::schema,
          &SchemaExpectation::rich_results, FieldKind::TextList, false,
          "The rich results the JSON-LD must be eligible for, or None."},
      SectionField<SEOExpectation, SectionExpectation, bool>{
          "og_required", &SEOExpectation::open_graph,
          &SectionExpectation::required, FieldKind::Flag, false,
          "Whether the page must have Open Graph tags, or None."},
      SectionField<SEOExpectation, SectionExpectation, bool>{
          "twitter_required", &SEOExpectation::twitter,
          &SectionExpectation::required, FieldKind::Flag, false,
          "Whether the page must have Twitter Card tags, or None."},
      SectionField<SEOExpectation, SectionExpectation, bool>{
          "sitemap_required", &SEOExpectation::sitemap,
          &SectionExpectation::required, FieldKind::Flag, false,
          "Whether a sitemap must list the page, or None."},
      SectionField<SEOExpectation, SectionExpectation, bool>{
          "hreflang_required", &SEOExpectation::hreflang,
          &SectionExpectation::required, FieldKind::Flag, false,
          "Whether the page must have hreflang links, or None."},
      field("title", &SEOExpectation::title, FieldKind::Record,
            "The expectation for the title, or None."),
      field("description", &SEOExpectation::description, FieldKind::Record,
            "The expectation for the description, or None."),
      SectionField<SEOExpectation, HeadExpectation, std::vector<std::string>>{
          "head_required", &SEOExpectation::head, &HeadExpectation::required,
          FieldKind::TextList, false,
          "The extras the page's head must hold (\"icon\", "
          "\"og:image:count>=2\", ...), or None."},
  };
};

template <>
struct InputFields<SEOContractRule> {
  static constexpr std::string_view record_name = "SEOContractRule";
  static constexpr std::string_view description =
      "An expectation applied to the routes matching a pattern.";
  static constexpr std::tuple fields{
      required_field("match", &SEOContractRule::match, FieldKind::Text,
                     "The route pattern, for example \"/blog/*\"."),
      required_field("expect", &SEOContractRule::expect, FieldKind::Record,
                     "The expectation."),
      field("severity", &SEOContractRule::severity, FieldKind::Choice,
            "The severity of a failure (\"error\", \"warning\", \"info\"), "
            "or None."),
  };
};

template <>
struct InputFields<SEOContractConfig> {
  static constexpr std::string_view record_name = "SEOContractConfig";
  static constexpr std::string_view description =
      "The input of build_seo_contract: site, default expectation, rules and "
      "per-route exceptions.";
  static constexpr std::tuple fields{
      required_field("canonical_host", &SEOContractConfig::canonical_host,
                     FieldKind::Text, "The host the contract is for."),
      field("scheme", &SEOContractConfig::scheme, FieldKind::Text,
            "The scheme of the site's URLs."),
      field("defaults", &SEOContractConfig::defaults, FieldKind::Record,
            "The expectation of every route."),
      field("rules", &SEOContractConfig::rules, FieldKind::RecordList,
            "The rules, in order."),
      field("exceptions", &SEOContractConfig::exceptions, FieldKind::RecordMap,
            "Per-route expectations, replacing the rules for that route."),
  };
};

}  // namespace zelko
