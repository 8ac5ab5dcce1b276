#include "zelko/html.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "zelko/json.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelko {
namespace {

// Fixed text around one element, at most: `<meta property="` + key +
// `" content="` + `">` plus the line feed; used only to size buffers.
constexpr std::size_t kElementOverhead = 48;

constexpr std::string_view kHtmlSpecials = "&<>\"'";

// One flag per byte value, for the bytes looked at one by one.
constexpr std::array<bool, 256> kIsHtmlSpecial = [] {
  std::array<bool, 256> table{};
  for (const char c : kHtmlSpecials)
    table[static_cast<unsigned char>(c)] = true;
  return table;
}();

#if defined(__SSE2__)

// Sixteen bytes at a time: the five comparisons and a mask of the matches.
int special_mask(__m128i bytes) {
  __m128i found = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('&'));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>')));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\'')));
  return _mm_movemask_epi8(found);
}

// The position of the first special byte at or after `pos`, or the size.
// Nothing past the text is read: the tail of a long text is the text's last
// sixteen bytes, those already looked at masked off; a short text is looked
// at byte by byte.
std::size_t next_special(std::string_view text, std::size_t pos) {
  const std::size_t size = text.size();
  for (; pos + 16 <= size; pos += 16) {
    const int mask = special_mask(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos)));
    if (mask != 0) {
      return pos + static_cast<std::size_t>(
                       std::countr_zero(static_cast<unsigned>(mask)));
    }
  }
  if (pos < size && size >= 16) {
    const std::size_t seen = pos - (size - 16);
    const auto mask =
        static_cast<unsigned>(special_mask(_mm_loadu_si128(
            reinterpret_cast<const __m128i*>(text.data() + size - 16)))) >>
        seen;
    return mask != 0 ? pos + static_cast<std::size_t>(std::countr_zero(mask))
                     : size;
  }
  for (; pos < size; ++pos) {
    if (kIsHtmlSpecial[static_cast<unsigned char>(text[pos])]) return pos;
  }
  return size;
}

#else

// Whether any byte of an 8-byte word is one of the specials: a word with no
// byte equal to `c` has no zero byte after XOR with c in every byte, which
// (x - 0x01..) & ~x & 0x80.. detects exactly.
constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

constexpr bool has_byte(std::uint64_t word, char c) {
  const std::uint64_t x = word ^ (kEveryByte * static_cast<unsigned char>(c));
  return ((x - kEveryByte) & ~x & kHighBits) != 0;
}

bool has_html_special(std::uint64_t word) {
  return has_byte(word, '&') || has_byte(word, '<') || has_byte(word, '>') ||
         has_byte(word, '"') || has_byte(word, '\'');
}

// The position of the first special byte at or after `pos`, or the size:
// eight bytes at a time are skipped while they hold none.
std::size_t next_special(std::string_view text, std::size_t pos) {
  const std::size_t size = text.size();
  for (; pos + sizeof(std::uint64_t) <= size; pos += sizeof(std::uint64_t)) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + pos, sizeof word);
    if (has_html_special(word)) break;
  }
  for (; pos < size; ++pos) {
    if (kIsHtmlSpecial[static_cast<unsigned char>(text[pos])]) return pos;
  }
  return size;
}

#endif

}  // namespace

std::string_view html_entity(char special) noexcept {
  switch (special) {
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

std::size_t find_html_special(std::string_view text,
                              std::size_t from) noexcept {
  return next_special(text, from);
}

// One pass over the text: each special character is replaced by its entity
// exactly once, which is what replacing "&" first and the others after it
// would give. The runs between specials (most text has none) are found many
// bytes at a time and copied whole.
void append_escaped_html(std::string& out, std::string_view text) {
  const std::size_t size = text.size();
  std::size_t start = 0;
  for (std::size_t pos = next_special(text, 0); pos < size;
       pos = next_special(text, pos + 1)) {
    out.append(text.data() + start, pos - start);
    out.append(html_entity(text[pos]));
    start = pos + 1;
  }
  out.append(text.data() + start, size - start);
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

// The Open Graph and Twitter groups with `picture` where the payload's image
// stands (og:image, then its width, height, type and alt; twitter:image and
// its alt), the payload's own image fields left out.
void write_tags_with_picture(ElementWriter& writer, const SEOPayload& payload,
                             const HeadPicture& picture) {
  for_each_tag_field<OGPayload>([&](const auto& field) {
    const std::string_view name = field.html_name;
    if (name == "og:image") {
      writer.meta("property", name, picture.url);
      writer.meta_number("property", "og:image:width", picture.width);
      writer.meta_number("property", "og:image:height", picture.height);
      writer.meta("property", "og:image:type", picture.type);
      writer.meta("property", "og:image:alt", picture.alt);
    } else if (!name.starts_with("og:image:")) {
      write_field(writer, "property", name, payload.og.*field.member);
    }
  });
  for_each_tag_field<TwitterPayload>([&](const auto& field) {
    const std::string_view name = field.html_name;
    if (name == "twitter:image") {
      writer.meta("name", name, picture.url);
      writer.meta("name", "twitter:image:alt", picture.alt);
    } else if (name != "twitter:image:alt") {
      write_field(writer, "name", name, payload.twitter.*field.member);
    }
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

Result<std::string> render_html(const SEOPayload& payload,
                                std::string_view robots) {
  std::string out;
  if (Status status = append_html(out, payload, robots, nullptr, nullptr, 0);
      !status) {
    return std::move(status).error();
  }
  return out;
}

Status append_html(std::string& out, const SEOPayload& payload,
                   std::string_view robots, const HeadPicture* picture,
                   const std::string_view* jsonld, std::size_t more) {
  std::string json;
  if (jsonld == nullptr && payload.schema_jsonld) {
    Result<std::string> text = schema_json_text(*payload.schema_jsonld);
    if (!text) return std::move(text).error();
    json = std::move(*text);
  }
  const std::string_view script = jsonld != nullptr ? *jsonld : json;
  const bool has_script = jsonld != nullptr || payload.schema_jsonld;

  out.reserve(out.size() + estimated_size(payload, script.size()) + more);
  ElementWriter writer(out);
  writer.title(payload.title);
  if (!payload.description.empty()) {
    writer.meta("name", "description", payload.description);
  }
  writer.canonical_link(payload.canonical);
  writer.meta("name", "robots", robots);
  if (picture == nullptr) {
    write_tags(writer, payload.og);
    write_tags(writer, payload.twitter);
  } else {
    write_tags_with_picture(writer, payload, *picture);
  }
  if (has_script) writer.script(script);
  out.push_back('\n');
  return {};
}

}  // namespace zelko
