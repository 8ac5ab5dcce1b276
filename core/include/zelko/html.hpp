// HTML head rendering of a payload: title, meta, link and JSON-LD script
// elements, one per line, deterministic byte for byte.
#pragma once

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
// The same with `jsonld_text` (JSON text) written in place of the payload's
// JSON-LD.
[[nodiscard]] Result<std::string> render_html(const SEOPayload& payload,
                                              std::string_view robots,
                                              std::string_view jsonld_text);

}  // namespace zelko
