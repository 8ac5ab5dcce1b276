#include "zelko/html.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "zelko/json.hpp"

namespace zelko {
namespace {

// Fixed text around one element, at most: `<meta property="` + key +
// `" content="` + `">` plus the line feed; used only to size buffers.
constexpr std::size_t kElementOverhead = 48;

constexpr std::string_view kHtmlSpecials = "&<>\"'";

// One flag per byte value. A table lookup per byte, rather than
// find_first_of (which searches the five specials once per byte of text),
// keeps escaping a small share of rendering.
constexpr std::array<bool, 256> kIsHtmlSpecial = [] {
  std::array<bool, 256> table{};
  for (const char c : kHtmlSpecials)
    table[static_cast<unsigned char>(c)] = true;
  return table;
}();

std::string_view html_entity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return "&#x27;";
  }
}

// One pass over the text: each special character is replaced by its entity
// exactly once, which is what replacing "&" first and the others after it
// would give.
void append_escaped_html(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    if (!kIsHtmlSpecial[static_cast<unsigned char>(text[pos])]) continue;
    out.append(text.data() + start, pos - start);
    out.append(html_entity(text[pos]));
    start = pos + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

// Copies JSON text so that it cannot leave a script element: "</" becomes
// "<\/" (no end tag can form) and "<!--" becomes "\u003c!--" (the tokenizer
// never enters its escaped script states, where "<script" inside the text
// would stop a later "</script>" from closing the element). Both only ever
// occur inside JSON strings, where the replacements are valid escapes that
// read back to the same value.
void append_script_safe_json(std::string& out, std::string_view json) {
  std::size_t start = 0;
  while (start < json.size()) {
    const std::size_t less_than = json.find('<', start);
    if (less_than == std::string_view::npos) {
      out.append(json.substr(start));
      return;
    }
    out.append(json.substr(start, less_than - start));
    const std::string_view rest = json.substr(less_than);
    if (rest.starts_with("</")) {
      out.append("<\\/");
      start = less_than + 2;
    } else if (rest.starts_with("<!--")) {
      out.append("\\u003c");
      start = less_than + 1;
    } else {
      out.push_back('<');
      start = less_than + 1;
    }
  }
}

// Appends elements to one buffer, a line feed between two elements and none
// after the last, so groups written in a row join like a single list.
class ElementWriter {
 public:
  explicit ElementWriter(std::string& out) : out_(out) {}

  void title(std::string_view text) {
    begin_element();
    out_.append("<title>");
    append_escaped_html(out_, text);
    out_.append("</title>");
  }

  void canonical_link(std::string_view href) {
    begin_element();
    out_.append("<link rel=\"canonical\" href=\"");
    append_escaped_html(out_, href);
    out_.append("\">");
  }

  void name_meta(std::string_view key, std::string_view content) {
    meta("name", key, content);
  }

  void property_meta(std::string_view key, std::string_view content) {
    meta("property", key, content);
  }

  // Dimensions are plain decimal digits: nothing to escape.
  void property_meta_number(std::string_view key, std::uint32_t number) {
    std::array<char, 16> digits{};
    const auto end =
        std::to_chars(digits.data(), digits.data() + digits.size(), number);
    meta_unescaped("property", key,
                   std::string_view(digits.data(), end.ptr - digits.data()));
  }

  void script(std::string_view json) {
    begin_element();
    out_.append("<script type=\"application/ld+json\">\n");
    append_script_safe_json(out_, json);
    out_.append("\n</script>");
  }

 private:
  void begin_element() {
    if (!first_) out_.push_back('\n');
    first_ = false;
  }

  void meta_start(std::string_view attribute, std::string_view key) {
    begin_element();
    out_.append("<meta ");
    out_.append(attribute);
    out_.append("=\"");
    out_.append(key);
    out_.append("\" content=\"");
  }

  void meta(std::string_view attribute, std::string_view key,
            std::string_view content) {
    meta_start(attribute, key);
    append_escaped_html(out_, content);
    out_.append("\">");
  }

  void meta_unescaped(std::string_view attribute, std::string_view key,
                      std::string_view content) {
    meta_start(attribute, key);
    out_.append(content);
    out_.append("\">");
  }

  std::string& out_;
  bool first_ = true;
};

// A present field gives its element even when its value is empty.
void optional_property(ElementWriter& writer, std::string_view key,
                       const std::optional<std::string>& value) {
  if (value) writer.property_meta(key, *value);
}

void optional_name(ElementWriter& writer, std::string_view key,
                   const std::optional<std::string>& value) {
  if (value) writer.name_meta(key, *value);
}

void write_opengraph(ElementWriter& writer, const OGPayload& og) {
  writer.property_meta("og:type", og.type);
  optional_property(writer, "og:title", og.title);
  optional_property(writer, "og:description", og.description);
  optional_property(writer, "og:url", og.url);
  optional_property(writer, "og:image", og.image);
  if (og.image_width)
    writer.property_meta_number("og:image:width", *og.image_width);
  if (og.image_height) {
    writer.property_meta_number("og:image:height", *og.image_height);
  }
  optional_property(writer, "og:image:alt", og.image_alt);
  optional_property(writer, "og:site_name", og.site_name);
  optional_property(writer, "og:locale", og.locale);
  if (og.locale_alternate) {
    for (const std::string& locale : *og.locale_alternate) {
      writer.property_meta("og:locale:alternate", locale);
    }
  }
  optional_property(writer, "og:audio", og.audio);
  optional_property(writer, "og:video", og.video);
}

void write_twitter(ElementWriter& writer, const TwitterPayload& twitter) {
  writer.name_meta("twitter:card", twitter.card);
  optional_name(writer, "twitter:title", twitter.title);
  optional_name(writer, "twitter:description", twitter.description);
  optional_name(writer, "twitter:image", twitter.image);
  optional_name(writer, "twitter:image:alt", twitter.image_alt);
  optional_name(writer, "twitter:site", twitter.site);
  optional_name(writer, "twitter:creator", twitter.creator);
}

std::size_t text_size(const std::optional<std::string>& value) {
  return value ? value->size() + kElementOverhead : 0;
}

std::size_t estimated_size(const OGPayload& og) {
  std::size_t size = og.type.size() + kElementOverhead;
  for (const auto* field :
       {&og.title, &og.description, &og.url, &og.image, &og.image_alt,
        &og.site_name, &og.locale, &og.audio, &og.video}) {
    size += text_size(*field);
  }
  size += 2 * kElementOverhead;  // the two dimensions
  if (og.locale_alternate) {
    for (const std::string& locale : *og.locale_alternate) {
      size += locale.size() + kElementOverhead;
    }
  }
  return size;
}

std::size_t estimated_size(const TwitterPayload& twitter) {
  std::size_t size = twitter.card.size() + kElementOverhead;
  for (const auto* field :
       {&twitter.title, &twitter.description, &twitter.image,
        &twitter.image_alt, &twitter.site, &twitter.creator}) {
    size += text_size(*field);
  }
  return size;
}

// Escaping can still grow the text; this only saves most reallocations.
std::size_t estimated_size(const SEOPayload& payload, std::size_t json_size) {
  return payload.title.size() + payload.description.size() +
         payload.canonical.size() + payload.robots.size() +
         4 * kElementOverhead + estimated_size(payload.og) +
         estimated_size(payload.twitter) + json_size + kElementOverhead;
}

// The JSON writer is total, so this cannot fail today; callers still get a
// Result so that a writer error would reach them as a Serialization error.
Result<std::string> schema_json_text(const JsonValue& schema) {
  return write_json(schema, /*pretty=*/true);
}

}  // namespace

std::string escape_html(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_escaped_html(out, text);
  return out;
}

std::string render_opengraph(const SEOPayload& payload) {
  std::string out;
  out.reserve(estimated_size(payload.og));
  ElementWriter writer(out);
  write_opengraph(writer, payload.og);
  return out;
}

std::string render_twitter(const SEOPayload& payload) {
  std::string out;
  out.reserve(estimated_size(payload.twitter));
  ElementWriter writer(out);
  write_twitter(writer, payload.twitter);
  return out;
}

Result<std::string> render_jsonld(const SEOPayload& payload) {
  if (!payload.schema_jsonld) return std::string();
  Result<std::string> json = schema_json_text(*payload.schema_jsonld);
  if (!json) return std::move(json).error();
  std::string out;
  out.reserve(json->size() + kElementOverhead);
  ElementWriter writer(out);
  writer.script(*json);
  return out;
}

Result<std::string> render_html(const SEOPayload& payload) {
  std::string json;
  if (payload.schema_jsonld) {
    Result<std::string> text = schema_json_text(*payload.schema_jsonld);
    if (!text) return std::move(text).error();
    json = std::move(*text);
  }

  std::string out;
  out.reserve(estimated_size(payload, json.size()));
  ElementWriter writer(out);
  writer.title(payload.title);
  if (!payload.description.empty()) {
    writer.name_meta("description", payload.description);
  }
  writer.canonical_link(payload.canonical);
  writer.name_meta("robots", payload.robots);
  write_opengraph(writer, payload.og);
  write_twitter(writer, payload.twitter);
  if (payload.schema_jsonld) writer.script(json);
  out.push_back('\n');
  return out;
}

}  // namespace zelko
