#include "page_reader.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "text.hpp"
#include "zelko/json.hpp"

namespace zelko {
namespace {

// Every reader returns false when the value is not one it takes for sure.

bool read_text(const JsonValue& value, std::string& out) {
  if (!value.is_string()) return false;
  out = value.get_ref<const std::string&>();
  return true;
}

bool read_flag(const JsonValue& value, bool& out) {
  if (!value.is_boolean()) return false;
  out = value.get<bool>();
  return true;
}

template <class Integer>
bool read_integer(const JsonValue& value, Integer& out) {
  using Limits = std::numeric_limits<Integer>;
  if (value.is_number_unsigned()) {
    const std::uint64_t number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(Limits::max())) return false;
    out = static_cast<Integer>(number);
    return true;
  }
  if (value.is_number_integer()) {
    const std::int64_t number = value.get<std::int64_t>();
    if (number < static_cast<std::int64_t>(Limits::min())) return false;
    out = static_cast<Integer>(number);
    return true;
  }
  return false;
}

bool read_texts(const JsonValue& value, std::vector<std::string>& out) {
  if (!value.is_array()) return false;
  out.reserve(value.size());
  for (const JsonValue& item : value) {
    if (!read_text(item, out.emplace_back())) return false;
  }
  return true;
}

// The optional fields of a record: JSON null counts as absent, as in page
// files; a present value must read.
template <class T, class Read>
bool read_optional(const JsonValue& value, std::optional<T>& out, Read read) {
  if (value.is_null()) return true;
  T item{};
  if (!read(value, item)) return false;
  out = std::move(item);
  return true;
}

// One known key of a record and how its value is read into the record.
template <class Record>
struct Field {
  std::string_view key;
  bool (*read)(const JsonValue& value, Record& record);
};

// Reads an object whose keys must all be in `fields`; the keys in `required`
// must be present and not null.
template <class Record>
bool read_record(const JsonValue& value, std::span<const Field<Record>> fields,
                 std::span<const std::string_view> required, Record& out) {
  if (!value.is_object()) return false;
  for (const auto& [key, member] : value.items()) {
    const Field<Record>* field = nullptr;
    for (const Field<Record>& candidate : fields) {
      if (candidate.key == key) field = &candidate;
    }
    if (field == nullptr || !field->read(member, out)) return false;
  }
  for (std::string_view key : required) {
    const auto found = value.find(key);
    if (found == value.end() || found->is_null()) return false;
  }
  return true;
}

#define ZELKO_TEXT(Record, name)                                         \
  Field<Record> {                                                        \
#name, [](const JsonValue& v,                                        \
              Record& r) { return read_optional(v, r.name, read_text); } \
  }

constexpr std::array<std::string_view, 1> kImageRequired{"url"};
constexpr std::array<Field<SEOImage>, 4> kImageFields{{
    {"url",
     [](const JsonValue& v, SEOImage& r) { return read_text(v, r.url); }},
    {"width",
     [](const JsonValue& v, SEOImage& r) {
       return read_optional(v, r.width, read_integer<std::uint32_t>);
     }},
    {"height",
     [](const JsonValue& v, SEOImage& r) {
       return read_optional(v, r.height, read_integer<std::uint32_t>);
     }},
    ZELKO_TEXT(SEOImage, alt),
}};

bool read_image(const JsonValue& value, SEOImage& out) {
  return read_record<SEOImage>(value, kImageFields, kImageRequired, out);
}

constexpr std::array<Field<Robots>, 5> kRobotsFields{{
    {"index", [](const JsonValue& v,
                 Robots& r) { return v.is_null() || read_flag(v, r.index); }},
    {"follow", [](const JsonValue& v,
                  Robots& r) { return v.is_null() || read_flag(v, r.follow); }},
    {"max_snippet",
     [](const JsonValue& v, Robots& r) {
       return read_optional(v, r.max_snippet, read_integer<std::int32_t>);
     }},
    ZELKO_TEXT(Robots, max_image_preview),
    {"max_video_preview",
     [](const JsonValue& v, Robots& r) {
       return read_optional(v, r.max_video_preview, read_integer<std::int32_t>);
     }},
}};

bool read_robots(const JsonValue& value, Robots& out) {
  return read_record<Robots>(value, kRobotsFields, {}, out);
}

constexpr std::array<std::string_view, 2> kBreadcrumbRequired{"name", "url"};
constexpr std::array<Field<Breadcrumb>, 2> kBreadcrumbFields{{
    {"name",
     [](const JsonValue& v, Breadcrumb& r) { return read_text(v, r.name); }},
    {"url",
     [](const JsonValue& v, Breadcrumb& r) { return read_text(v, r.url); }},
}};

constexpr std::array<std::string_view, 2> kFaqRequired{"question", "answer"};
constexpr std::array<Field<FAQItem>, 2> kFaqFields{{
    {"question",
     [](const JsonValue& v, FAQItem& r) { return read_text(v, r.question); }},
    {"answer",
     [](const JsonValue& v, FAQItem& r) { return read_text(v, r.answer); }},
}};

template <class Record, std::size_t FieldCount, std::size_t RequiredCount>
bool read_list(const JsonValue& value,
               const std::array<Field<Record>, FieldCount>& fields,
               const std::array<std::string_view, RequiredCount>& required,
               std::vector<Record>& out) {
  if (!value.is_array()) return false;
  out.reserve(value.size());
  for (const JsonValue& item : value) {
    if (!read_record<Record>(item, fields, required, out.emplace_back())) {
      return false;
    }
  }
  return true;
}

bool read_entity_type(const JsonValue& value, SEOEntity& out) {
  if (!value.is_string()) return false;
  Result<EntityType> type =
      parse_entity_type(value.get_ref<const std::string&>());
  if (!type) return false;
  out.entity_type = type.value();
  return true;
}

constexpr std::array<std::string_view, 1> kEntityRequired{"entity_type"};
constexpr std::array<Field<SEOEntity>, 18> kEntityFields{{
    {"entity_type", read_entity_type},
    ZELKO_TEXT(SEOEntity, slug),
    ZELKO_TEXT(SEOEntity, title),
    ZELKO_TEXT(SEOEntity, excerpt),
    ZELKO_TEXT(SEOEntity, body_html),
    ZELKO_TEXT(SEOEntity, status),
    {"featured_image",
     [](const JsonValue& v, SEOEntity& r) {
       return read_optional(v, r.featured_image, read_image);
     }},
    ZELKO_TEXT(SEOEntity, published_at),
    ZELKO_TEXT(SEOEntity, updated_at),
    ZELKO_TEXT(SEOEntity, author_name),
    {"breadcrumbs",
     [](const JsonValue& v, SEOEntity& r) {
       return read_optional(
           v, r.breadcrumbs,
           [](const JsonValue& list, std::vector<Breadcrumb>& out) {
             return read_list(list, kBreadcrumbFields, kBreadcrumbRequired,
                              out);
           });
     }},
    ZELKO_TEXT(SEOEntity, sku),
    ZELKO_TEXT(SEOEntity, price),
    ZELKO_TEXT(SEOEntity, price_currency),
    ZELKO_TEXT(SEOEntity, availability),
    {"same_as",
     [](const JsonValue& v, SEOEntity& r) {
       return read_optional(v, r.same_as, read_texts);
     }},
    ZELKO_TEXT(SEOEntity, address),
    {"faq_items",
     [](const JsonValue& v, SEOEntity& r) {
       return read_optional(
           v, r.faq_items,
           [](const JsonValue& list, std::vector<FAQItem>& out) {
             return read_list(list, kFaqFields, kFaqRequired, out);
           });
     }},
}};

// Structured data is taken as it is, but a number the loader would refuse
// (an infinity from a huge literal) or read differently sends the page to the
// loader.
// "-0" is one too: the loader's JSON makes it the integer 0, the engine's
// reader the double -0.0.
bool has_only_plain_numbers(const JsonValue& value) {
  if (value.is_number_float()) {
    const double number = value.get<double>();
    return std::isfinite(number) && !(number == 0.0 && std::signbit(number));
  }
  if (!value.is_structured()) return true;
  for (const JsonValue& item : value) {
    if (!has_only_plain_numbers(item)) return false;
  }
  return true;
}

bool read_structured_data(const JsonValue& value, JsonValue& out) {
  if (!has_only_plain_numbers(value)) return false;
  out = value;
  return true;
}

constexpr std::array<Field<SEOOverrides>, 18> kOverridesFields{{
    ZELKO_TEXT(SEOOverrides, meta_title),
    ZELKO_TEXT(SEOOverrides, meta_description),
    ZELKO_TEXT(SEOOverrides, canonical_url),
    ZELKO_TEXT(SEOOverrides, canonical_path),
    {"robots",
     [](const JsonValue& v, SEOOverrides& r) {
       return read_optional(v, r.robots, read_robots);
     }},
    ZELKO_TEXT(SEOOverrides, og_title),
    ZELKO_TEXT(SEOOverrides, og_description),
    {"og_image",
     [](const JsonValue& v, SEOOverrides& r) {
       return read_optional(v, r.og_image, read_image);
     }},
    ZELKO_TEXT(SEOOverrides, twitter_card),
    ZELKO_TEXT(SEOOverrides, twitter_title),
    ZELKO_TEXT(SEOOverrides, twitter_description),
    {"twitter_image",
     [](const JsonValue& v, SEOOverrides& r) {
       return read_optional(v, r.twitter_image, read_image);
     }},
    {"schema_jsonld",
     [](const JsonValue& v, SEOOverrides& r) {
       return read_optional(v, r.schema_jsonld, read_structured_data);
     }},
    {"omit_schema",
     [](const JsonValue& v, SEOOverrides& r) {
       return v.is_null() || read_flag(v, r.omit_schema);
     }},
    {"skip_title_template",
     [](const JsonValue& v, SEOOverrides& r) {
       return v.is_null() || read_flag(v, r.skip_title_template);
     }},
    ZELKO_TEXT(SEOOverrides, twitter_creator),
    ZELKO_TEXT(SEOOverrides, og_audio),
    ZELKO_TEXT(SEOOverrides, og_video),
}};

#undef ZELKO_TEXT

// The loader refuses a route that is blank by Python's str.strip(); a route
// with one visible ASCII character is never blank, anything else is left to
// the loader.
bool has_visible_ascii(std::string_view route) {
  for (const char c : route) {
    if (c > ' ' && c < 0x7F) return true;
  }
  return false;
}

constexpr std::array<std::string_view, 2> kPageRequired{"route", "entity"};
constexpr std::array<Field<PageInput>, 3> kPageFields{{
    {"route",
     [](const JsonValue& v, PageInput& r) {
       return read_text(v, r.route) && has_visible_ascii(r.route);
     }},
    {"entity",
     [](const JsonValue& v, PageInput& r) {
       return read_record<SEOEntity>(v, kEntityFields, kEntityRequired,
                                     r.entity);
     }},
    {"overrides",
     [](const JsonValue& v, PageInput& r) {
       return read_optional(
           v, r.overrides, [](const JsonValue& value, SEOOverrides& out) {
             return read_record<SEOOverrides>(value, kOverridesFields, {}, out);
           });
     }},
}};

}  // namespace

std::optional<PageInput> read_page(std::string_view text) {
  if (!is_valid_utf8(text)) return std::nullopt;
  Result<JsonValue> document =
      parse_json(text, JsonReadOptions{.refuse_duplicate_keys = true});
  if (!document) return std::nullopt;
  PageInput page;
  if (!read_record<PageInput>(document.value(), kPageFields, kPageRequired,
                              page)) {
    return std::nullopt;
  }
  return page;
}

}  // namespace zelko
