#include "zelko/structured_data.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "structured_values.hpp"
#include "vocabulary_table.hpp"

namespace zelko {
namespace {

JsonValue parse(const char* text) { return JsonValue::parse(text); }

struct Broken {
  const char* document;
  const char* rule_id;
  const char* path;
};

class BrokenNode : public testing::TestWithParam<Broken> {};

TEST_P(BrokenNode, IsFoundWithItsRuleAndPath) {
  const Broken& broken = GetParam();
  std::vector<SEOIssue> issues = check_structured_data(parse(broken.document));
  bool found = false;
  for (const SEOIssue& issue : issues) {
    if (issue.rule_id == broken.rule_id &&
        issue.details["path"] == broken.path) {
      found = true;
    }
  }
  std::string all;
  for (const SEOIssue& issue : issues) {
    all +=
        issue.rule_id + " " + issue.details.dump() + " " + issue.message + "\n";
  }
  EXPECT_TRUE(found) << broken.document << "\nfound:\n" << all;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRule, BrokenNode,
    testing::Values(
        Broken{R"({"@type": "Prodcut", "name": "x"})", "ZELKO301",
               "$['@type']"},
        Broken{R"([{"@type": ["Thing", "NoSuchType"]}])", "ZELKO301",
               "$[0]['@type'][1]"},
        Broken{R"({"@type": "InStock"})", "ZELKO301", "$['@type']"},
        Broken{R"({"@type": "Thing", "nmae": "x"})", "ZELKO302", "$.nmae"},
        Broken{R"({"@type": "Thing", "Person": "x"})", "ZELKO302", "$.Person"},
        Broken{
            R"({"@type": "Thing", "offers": {"@type": "Offer", "prise": 1}})",
            "ZELKO302", "$.offers.prise"},
        Broken{R"({"@type": "Person", "price": "1"})", "ZELKO303", "$.price"},
        Broken{
            R"({"@graph": [{"@type": "Thing"}, {"@type": "Article", "lowPrice": 1}]})",
            "ZELKO303", "$['@graph'][1].lowPrice"},
        Broken{R"({"@type": "Offer", "availability": "in stock"})", "ZELKO304",
               "$.availability"},
        Broken{R"({"@type": "Article", "author": {"@type": "Offer"}})",
               "ZELKO304", "$.author"},
        Broken{R"({"@graph": [{"@type": "Product", "offers": [{"@id": "#o"}]},)"
               R"({"@id": "#o", "@type": "Person"}]})",
               "ZELKO304", "$['@graph'][0].offers[0]"},
        Broken{R"({"@type": "Offer", "isFamilyFriendly": "yes"})", "ZELKO304",
               "$.isFamilyFriendly"},
        Broken{R"({"@type": "Thing", "description": null, "episodes": []})",
               "ZELKO305", "$.episodes"},
        Broken{R"({"@type": "Article", "datePublished": "yesterday"})",
               "ZELKO306", "$.datePublished"},
        Broken{R"({"@type": "Article", "datePublished": "2024-02-30"})",
               "ZELKO306", "$.datePublished"},
        Broken{R"({"@type": "Event", "startDate": "2024-01-05T25:00"})",
               "ZELKO306", "$.startDate"},
        Broken{R"({"@type": "Thing", "url": "not a url"})", "ZELKO306",
               "$.url"},
        Broken{R"({"@type": "Thing", "url": "https:/x"})", "ZELKO306", "$.url"},
        Broken{R"({"@type": "AggregateRating", "reviewCount": "12.5"})",
               "ZELKO306", "$.reviewCount"},
        Broken{R"({"@type": "AggregateRating", "reviewCount": true})",
               "ZELKO306", "$.reviewCount"},
        Broken{
            R"({"@type": "Product", "offers": {"@type": "Offer", "price": 1}})",
            "ZELKO310", "$.name"},
        Broken{
            R"({"@type": "Product", "name": "x", "offers": {"@type": "Offer"}})",
            "ZELKO310", "$.offers.price"},
        Broken{R"({"@type": "BreadcrumbList", "itemListElement": [)"
               R"({"@type": "ListItem", "position": 1, "name": "a"},)"
               R"({"@type": "ListItem", "position": 2, "name": "b"}]})",
               "ZELKO310", "$.itemListElement[0].item"},
        Broken{
            R"({"@type": "FAQPage", "mainEntity": [{"@type": "Question", "name": "q",)"
            R"( "acceptedAnswer": {"@type": "Answer"}}]})",
            "ZELKO310", "$.mainEntity[0].acceptedAnswer"},
        Broken{R"({"@type": "Restaurant", "name": "x"})", "ZELKO310",
               "$.address"},
        Broken{
            R"({"@type": "VideoObject", "name": "v", "uploadDate": "2024-01-01"})",
            "ZELKO310", "$.thumbnailUrl"},
        Broken{
            R"({"@type": "WebSite", "url": "https://a.example/", "potentialAction":)"
            R"( {"@type": "SearchAction", "target": "https://a.example/?q={q}"}})",
            "ZELKO310", "$.potentialAction['query-input']"},
        Broken{R"({"@type": "BlogPosting", "headline": "h"})", "ZELKO311",
               "$.author"},
        Broken{
            R"([{"@type": "Product", "name": "p", "offers": {"@type": "AggregateOffer",)"
            R"( "lowPrice": 1}}])",
            "ZELKO310", "$[0].offers.priceCurrency"}));

class ValidDocument : public testing::TestWithParam<const char*> {};

TEST_P(ValidDocument, HasNoFinding) {
  std::vector<SEOIssue> issues = check_structured_data(parse(GetParam()));
  std::string all;
  for (const SEOIssue& issue : issues) {
    all +=
        issue.rule_id + " " + issue.details.dump() + " " + issue.message + "\n";
  }
  EXPECT_TRUE(issues.empty()) << GetParam() << "\nfound:\n" << all;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRichResult, ValidDocument,
    testing::Values(
        R"({"@context": "https://schema.org", "@type": "NewsArticle",
            "headline": "h", "image": ["https://a.example/1.jpg"],
            "datePublished": "2024-01-05T08:00:00+08:00",
            "dateModified": "2024-02-05",
            "author": [{"@type": "Person", "name": "A", "url": "https://a.example/a"}]})",
        R"({"@context": "https://schema.org", "@graph": [
            {"@type": "Product", "@id": "#p", "name": "Shoe",
             "image": "https://a.example/s.jpg", "description": "d",
             "offers": {"@id": "#offer"},
             "aggregateRating": {"@type": "AggregateRating", "ratingValue": "4.4",
                                 "reviewCount": 89}},
            {"@type": "Offer", "@id": "#offer", "price": "19.99",
             "priceCurrency": "USD", "availability": "https://schema.org/InStock",
             "itemCondition": "NewCondition"}]})",
        R"({"@type": "Product", "name": "Set", "image": {"@type": "ImageObject",
            "contentUrl": "https://a.example/i.png", "width": 640}, "description": "d",
            "offers": {"@type": "AggregateOffer", "lowPrice": 10, "highPrice": 20.5,
                       "offerCount": 3, "priceCurrency": "EUR"}})",
        R"([{"@context": "https://schema.org", "@type": "BreadcrumbList",
             "itemListElement": [
               {"@type": "ListItem", "position": 1, "name": "Books",
                "item": "https://a.example/books"},
               {"@type": "ListItem", "position": 2,
                "item": {"@id": "https://a.example/books/sf", "name": "SF"}},
               {"@type": "ListItem", "position": 3, "name": "Dune"}]}])",
        R"({"@type": "FAQPage", "mainEntity": [{"@type": "Question",
            "name": "Why?", "acceptedAnswer": {"@type": "Answer", "text": "So."}}]})",
        R"({"@type": ["Organization", "schema:Brand"], "name": "Org",
            "url": "https://a.example/", "logo": "https://a.example/l.png",
            "sameAs": ["https://social.example/org"]})",
        R"({"@type": "Restaurant", "name": "R", "address": {"@type": "PostalAddress",
            "streetAddress": "1 Main St", "postalCode": 12345},
            "telephone": "+1-555", "priceRange": "$$", "url": "https://r.example/",
            "logo": "https://r.example/l.png", "sameAs": "https://r.example/x",
            "geo": {"@type": "GeoCoordinates", "latitude": 40.1, "longitude": -73.9},
            "openingHoursSpecification": {"@type": "OpeningHoursSpecification",
              "dayOfWeek": "Monday", "opens": "09:00", "closes": "17:30:00"}})",
        R"({"@type": "Event", "name": "Gig", "startDate": "2025-07-21T19:00-05:00",
            "endDate": "2025-07-21", "description": "d", "image": "https://a.example/e.jpg",
            "eventStatus": "https://schema.org/EventScheduled",
            "eventAttendanceMode": "schema:OfflineEventAttendanceMode",
            "location": {"@type": "Place", "name": "Hall",
                         "address": "1 Main St"},
            "offers": {"@type": "Offer", "price": 30, "priceCurrency": "USD",
                       "url": "https://a.example/t", "validFrom": "2025-05-21T12:00"},
            "organizer": {"@type": "Organization", "name": "O", "url": "https://o.example/"},
            "performer": {"@type": "PerformingGroup", "name": "Band"}})",
        R"({"@type": "VideoObject", "name": "V", "description": "d",
            "thumbnailUrl": ["https://a.example/t.jpg"], "uploadDate": "2024-03-31T08:00:00Z",
            "duration": "PT1M54S", "contentUrl": "https://a.example/v.mp4"})",
        R"({"@context": "https://schema.org", "@type": "WebSite",
            "url": "https://a.example/", "potentialAction": {"@type": "SearchAction",
            "target": {"@type": "EntryPoint", "urlTemplate": "https://a.example/?q={q}"},
            "query-input": "required name=q"}})"));

TEST(RichResults, EligibilityNeedsANodeWithoutRequiredFindings) {
  JsonValue product =
      parse(R"({"@type": "Product", "offers": {"@type": "Offer"}})");
  std::vector<std::string> wanted = {"Product", "Event", "Nonsense"};
  std::vector<SEOIssue> issues = check_structured_data(product, wanted);
  std::vector<std::string> missing;
  for (const SEOIssue& issue : issues) {
    if (issue.rule_id == "ZELKO312")
      missing.push_back(issue.details["rich_result"]);
  }
  EXPECT_EQ(missing,
            (std::vector<std::string>{"Product", "Event", "Nonsense"}));

  JsonValue website =
      parse(R"({"@type": "WebSite", "url": "https://a.example/"})");
  std::vector<std::string> site = {"WebSite"};
  EXPECT_EQ(check_structured_data(website, site).size(), 1u);
  EXPECT_TRUE(check_structured_data(website).empty());
}

TEST(RichResults, TypesIncludeSubtypes) {
  EXPECT_TRUE(is_rich_result_type("Product"));
  EXPECT_TRUE(is_rich_result_type("BlogPosting"));
  EXPECT_TRUE(is_rich_result_type("Restaurant"));
  EXPECT_FALSE(is_rich_result_type("Person"));
  EXPECT_FALSE(is_rich_result_type("price"));
  EXPECT_EQ(schema_vocabulary_release().substr(0, 2) >= "29", true);
}

struct FormatCase {
  bool (*check)(std::string_view) noexcept;
  const char* text;
  bool valid;
};

class Format : public testing::TestWithParam<FormatCase> {};

TEST_P(Format, ReadsTheTextForm) {
  EXPECT_EQ(GetParam().check(GetParam().text), GetParam().valid)
      << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    DataTypes, Format,
    testing::Values(
        FormatCase{structured::is_date_text, "2024-02-29", true},
        FormatCase{structured::is_date_text, "2023-02-29", false},
        FormatCase{structured::is_date_text, "2024-13-01", false},
        FormatCase{structured::is_date_text, "2024-06", true},
        FormatCase{structured::is_date_text, "24-06-01", false},
        FormatCase{structured::is_date_time_text, "2024-06-01T10:00:00.5Z",
                   true},
        FormatCase{structured::is_date_time_text, "2024-06-01 10:00", false},
        FormatCase{structured::is_date_time_text, "2024-06-01T10:00+25:00",
                   false},
        FormatCase{structured::is_time_text, "23:59:60", true},
        FormatCase{structured::is_time_text, "24:00", false},
        FormatCase{structured::is_time_text, "9:00", false},
        FormatCase{structured::is_number_text, "-1.5e3", true},
        FormatCase{structured::is_number_text, ".5", true},
        FormatCase{structured::is_number_text, "1.", true},
        FormatCase{structured::is_number_text, "1e", false},
        FormatCase{structured::is_number_text, "", false},
        FormatCase{structured::is_integer_text, "-12", true},
        FormatCase{structured::is_integer_text, "1.0", false},
        FormatCase{structured::is_url_text, "https://a.example/x?y#z", true},
        FormatCase{structured::is_url_text, "mailto:a@b.example", true},
        FormatCase{structured::is_url_text, "/relative/path", false},
        FormatCase{structured::is_url_text, "http:///x", false},
        FormatCase{structured::is_url_text, "https://a.example/a b", false}));

// A URL holds no space, control or DEL wherever it stands (the text is read
// eight bytes at a time); bytes above ASCII and punctuation are kept.
TEST(UrlText, EveryPlaceOfASpaceOrControlIsFound) {
  using namespace std::string_view_literals;
  const std::string url = "https://a.example/abcdefghijklmnopqrstuvwxyz0123";
  for (std::size_t at = 8; at <= url.size(); ++at) {
    for (const char c : " \t\x7f\x00\x1f"sv) {
      std::string text = url;
      text.insert(at, 1, c);
      EXPECT_FALSE(structured::is_url_text(text))
          << at << " " << static_cast<int>(c);
    }
    for (const char c : "!~\x80\xff"sv) {
      std::string text = url;
      text.insert(at, 1, c);
      EXPECT_TRUE(structured::is_url_text(text))
          << at << " " << static_cast<int>(c);
    }
  }
}

// The indexes generated with the vocabulary agree with its terms: every term
// is found by its name through the hash slots (the hash the same at compile
// time and at run time), and a type's ancestors are exactly what a walk up
// its subClassOf links finds.
TEST(VocabularyTable, NameSlotsFindEveryTerm) {
  const auto terms = vocabulary::terms();
  const auto slots = vocabulary::name_slots();
  ASSERT_EQ(slots.size() & (slots.size() - 1), 0U);
  ASSERT_LE(2 * terms.size(), slots.size());
  constexpr std::uint32_t kHash = vocabulary::name_hash("LocalBusiness");
  EXPECT_EQ(kHash, vocabulary::name_hash(std::string("LocalBusiness")));
  for (std::size_t id = 0; id < terms.size(); ++id) {
    std::size_t slot =
        vocabulary::name_hash(terms[id].name) & (slots.size() - 1);
    while (slots[slot] != id) {
      ASSERT_NE(slots[slot], vocabulary::kNoTerm) << terms[id].name;
      slot = (slot + 1) & (slots.size() - 1);
    }
  }
}

TEST(VocabularyTable, AncestorsAreTheSubClassOfClosure) {
  const auto terms = vocabulary::terms();
  const auto links = vocabulary::links();
  for (std::size_t id = 0; id < terms.size(); ++id) {
    std::set<std::uint16_t> walked;
    std::vector<std::uint16_t> pending{static_cast<std::uint16_t>(id)};
    while (!pending.empty()) {
      const vocabulary::Term& term = terms[pending.back()];
      pending.pop_back();
      if ((term.flags & vocabulary::kProperty) != 0) continue;
      for (std::size_t i = 0; i < term.first_count; ++i) {
        const std::uint16_t parent = links[term.links_begin + i];
        if (walked.insert(parent).second) pending.push_back(parent);
      }
    }
    const vocabulary::Ancestry& ancestry = vocabulary::ancestry()[id];
    const auto kept =
        vocabulary::ancestors().subspan(ancestry.begin, ancestry.count);
    EXPECT_EQ(std::vector<std::uint16_t>(kept.begin(), kept.end()),
              std::vector<std::uint16_t>(walked.begin(), walked.end()))
        << terms[id].name;
  }
}

}  // namespace
}  // namespace zelko
