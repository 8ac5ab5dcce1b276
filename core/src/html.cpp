#include "zelko/html.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

}  // namespace

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

namespace {

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

  // <meta {attribute}="{key}" content="{content}">, the content escaped.
  void meta(std::string_view attribute, std::string_view key,
            std::string_view content) {
    meta_start(attribute, key);
    append_escaped_html(out_, content);
    out_.append("\">");
  }

  // Numbers are plain decimal digits: nothing to escape.
  void meta_number(std::string_view attribute, std::string_view key,
                   std::uint32_t number) {
    std::array<char, 16> digits{};
    const auto end =
        std::to_chars(digits.data(), digits.data() + digits.size(), number);
    meta_start(attribute, key);
    out_.append(digits.data(), end.ptr - digits.data());
    out_.append("\">");
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

  std::string& out_;
  bool first_ = true;
};

// One field's elements. A present field gives its element even when its
// value is empty; a list gives one element per item.
void write_field(ElementWriter& writer, std::string_view attribute,
                 std::string_view key, const std::string& text) {
  writer.meta(attribute, key, text);
}

void write_field(ElementWriter& writer, std::string_view attribute,
                 std::string_view key, const std::optional<std::string>& text) {
  if (text) writer.meta(attribute, key, *text);
}

void write_field(ElementWriter& writer, std::string_view attribute,
                 std::string_view key,
                 const std::optional<std::uint32_t>& number) {
  if (number) writer.meta_number(attribute, key, *number);
}

void write_field(ElementWriter& writer, std::string_view attribute,
                 std::string_view key,
                 const std::optional<std::vector<std::string>>& list) {
  if (!list) return;
  for (const std::string& item : *list) writer.meta(attribute, key, item);
}

template <class Record>
void write_tags(ElementWriter& writer, const Record& record) {
  for_each_tag_field<Record>([&](const auto& field) {
    write_field(writer, TagFields<Record>::html_attribute, field.html_name,
                record.*field.member);
  });
}

std::size_t field_size(const std::string& text) {
  return text.size() + kElementOverhead;
}

std::size_t field_size(const std::optional<std::string>& text) {
  return text ? text->size() + kElementOverhead : 0;
}

std::size_t field_size(const std::optional<std::uint32_t>&) {
  return kElementOverhead;
}

std::size_t field_size(const std::optional<std::vector<std::string>>& list) {
  std::size_t size = 0;
  if (list) {
    for (const std::string& item : *list)
      size += item.size() + kElementOverhead;
  }
  return size;
}

template <class Record>
std::size_t estimated_size(const Record& record) {
  std::size_t size = 0;
  for_each_tag_field<Record>(
      [&](const auto& field) { size += field_size(record.*field.member); });
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
  write_tags(writer, payload.og);
  return out;
}

std::string render_twitter(const SEOPayload& payload) {
  std::string out;
  out.reserve(estimated_size(payload.twitter));
  ElementWriter writer(out);
  write_tags(writer, payload.twitter);
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
  return render_html(payload, payload.robots);
}

namespace {

// `json` is the JSON-LD text, or null for none.
std::string render_with(const SEOPayload& payload, std::string_view robots,
                        const std::string_view* json) {
  std::string out;
  out.reserve(estimated_size(payload, json != nullptr ? json->size() : 0));
  ElementWriter writer(out);
  writer.title(payload.title);
  if (!payload.description.empty()) {
    writer.meta("name", "description", payload.description);
  }
  writer.canonical_link(payload.canonical);
  writer.meta("name", "robots", robots);
  write_tags(writer, payload.og);
  write_tags(writer, payload.twitter);
  if (json != nullptr) writer.script(*json);
  out.push_back('\n');
  return out;
}

}  // namespace

Result<std::string> render_html(const SEOPayload& payload,
                                std::string_view robots) {
  if (!payload.schema_jsonld) return render_with(payload, robots, nullptr);
  Result<std::string> text = schema_json_text(*payload.schema_jsonld);
  if (!text) return std::move(text).error();
  const std::string_view json = *text;
  return render_with(payload, robots, &json);
}

Result<std::string> render_html(const SEOPayload& payload,
                                std::string_view robots,
                                std::string_view jsonld_text) {
  return render_with(payload, robots, &jsonld_text);
}

}  // namespace zelko
