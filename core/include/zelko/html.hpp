// HTML head rendering of a payload: title, meta, link and JSON-LD script
// elements, one per line, deterministic byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zelko/error.hpp"
#include "zelko/payload.hpp"

namespace zelko {

// Escapes text for element content and double-quoted attribute values:
// & < > " ' become &amp; &lt; &gt; &quot; &#x27;. Nothing else is touched.
[[nodiscard]] std::string escape_html(std::string_view text);
// The same, appended to `out`.
void append_escaped_html(std::string& out, std::string_view text);
// For writers with buffers of their own: the position of the first character
// escaping replaces at or after `from` (text.size() when there is none), and
// the entity that replaces it.
[[nodiscard]] std::size_t find_html_special(std::string_view text,
                                            std::size_t from) noexcept;
[[nodiscard]] std::string_view html_entity(char special) noexcept;

// Open Graph property meta elements joined by line feeds, "og:type" first;
// no line feed after the last element.
[[nodiscard]] std::string render_opengraph(const SEOPayload& payload);

// Twitter Card name meta elements joined by line feeds, "twitter:card"
// first; no line feed after the last element.
[[nodiscard]] std::string render_twitter(const SEOPayload& payload);

// The JSON-LD script element, or "" when the payload has no schema. The JSON
// text is pretty-printed and made safe to sit inside a script element.
[[nodiscard]] Result<std::string> render_jsonld(const SEOPayload& payload);

// The whole head snippet: title, description (when not empty), canonical,
// robots, the Open Graph and Twitter groups and the JSON-LD script, one
// element per line and one line feed at the end.
[[nodiscard]] Result<std::string> render_html(const SEOPayload& payload);
// The same with `robots` in the robots meta in place of the payload's.
[[nodiscard]] Result<std::string> render_html(const SEOPayload& payload,
                                              std::string_view robots);

// A picture that takes the place of the payload's own in a page's head (its
// social card): og:image with its width, height, type and alt, and
// twitter:image with its alt, where the payload's image would stand.
struct HeadPicture {
  std::string_view url;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::string_view type;
  std::string_view alt;
};

// Appends render_html(payload, robots) to `out`, with `picture` in place of
// the payload's image and `jsonld` (JSON text) in place of its JSON-LD when
// they are given, after making room for `more` bytes to follow it (so that a
// caller writing more after it need not grow the buffer again).
[[nodiscard]] Status append_html(std::string& out, const SEOPayload& payload,
                                 std::string_view robots,
                                 const HeadPicture* picture,
                                 const std::string_view* jsonld,
                                 std::size_t more);

}  // namespace zelko
