// Who stands behind a site: an organisation or a person. The linked JSON-LD
// graph names it once per site ({base}/#organization or {base}/#person) and
// every page's website, articles and publisher point to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "zelko/input_fields.hpp"

namespace zelko {

struct Organization {
  std::string name;
  std::optional<std::string> url;
  std::optional<std::string> logo;
  std::vector<std::string> same_as;
  std::optional<std::string> legal_name;
  std::optional<std::string> email;
  std::optional<std::string> telephone;
  std::optional<std::string> address;

  friend bool operator==(const Organization&, const Organization&) = default;
};

struct Person {
  std::string name;
  std::optional<std::string> url;
  std::optional<std::string> image;
  std::vector<std::string> same_as;
  std::optional<std::string> job_title;

  friend bool operator==(const Person&, const Person&) = default;
};

using Identity = std::variant<Organization, Person>;

template <>
struct InputFields<Organization> {
  static constexpr std::string_view record_name = "Organization";
  static constexpr std::string_view description =
      "The organisation behind a site, for its linked JSON-LD graph.";
  static constexpr std::tuple fields{
      required_field("name", &Organization::name, FieldKind::Text,
                     "The organisation's name."),
      field("url", &Organization::url, FieldKind::Url,
            "Its home page (a URL or a route), or None for the site's."),
      field("logo", &Organization::logo, FieldKind::Url,
            "Its logo's URL or route, or None."),
      field("same_as", &Organization::same_as, FieldKind::TextList,
            "Its profiles elsewhere (sameAs), in order."),
      field("legal_name", &Organization::legal_name, FieldKind::Text,
            "Its registered name, or None."),
      field("email", &Organization::email, FieldKind::Text,
            "A contact address, or None."),
      field("telephone", &Organization::telephone, FieldKind::Text,
            "A contact number, or None."),
      field("address", &Organization::address, FieldKind::Text,
            "Its postal address as one line, or None."),
  };
};

template <>
struct InputFields<Person> {
  static constexpr std::string_view record_name = "Person";
  static constexpr std::string_view description =
      "The person behind a site, for its linked JSON-LD graph.";
  static constexpr std::tuple fields{
      required_field("name", &Person::name, FieldKind::Text,
                     "The person's name."),
      field("url", &Person::url, FieldKind::Url,
            "Their home page (a URL or a route), or None for the site's."),
      field("image", &Person::image, FieldKind::Url,
            "A picture's URL or route, or None."),
      field("same_as", &Person::same_as, FieldKind::TextList,
            "Their profiles elsewhere (sameAs), in order."),
      field("job_title", &Person::job_title, FieldKind::Text,
            "Their job title, or None."),
  };
};

}  // namespace zelko
