// What `zelko check` reads from a page's HTML: the page is parsed with an
// HTML5 parser (lexbor) and its tree walked once.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zelko/head_facts.hpp"

// lexbor's document, kept by HtmlPageReader.
struct lxb_html_document;

namespace zelko {

// Texts are the bytes the tree holds: the page's own bytes, references
// decoded (invalid UTF-8 passes through as it was).
struct PageHtml {
  // Read from the head's own children, where search engines take metadata
  // from; the title is the first <title> of the whole page when the head has
  // none.
  HeadFacts head;
  // The text of every <script> whose type is application/ld+json (before
  // any ';', white space around it stripped, any case), in document order.
  std::vector<std::string> jsonld;
  // Each <a> element's non-empty href, in document order (when asked for).
  std::vector<std::string> links;
  // Why the page was not read, when it was not (the facts are then empty).
  std::optional<std::string> unread;
};

// How deep a page may nest elements to be read. The parser looks through
// the open elements for each element it inserts, so a page nested N deep
// costs N squared: a hostile page of nested <div>s takes seconds per
// hundred kilobytes. Browsers stop nesting at about this depth too.
inline constexpr std::size_t kMaxOpenElements = 512;

// Parses `bytes` as a whole document (as UTF-8, without looking for another
// encoding). nullopt when memory runs out. A page whose open elements pass
// kMaxOpenElements is not read further: `unread` says so, and nothing else
// is given.
[[nodiscard]] std::optional<PageHtml> read_html_page(std::string_view bytes,
                                                     bool want_links) noexcept;

// Reads pages one after another as read_html_page does, with one parser
// whose document and memory are kept from page to page: making and
// dropping them costs a third of reading a small page. What a page leaves
// is cleared before the next (the memory beyond the parser's first blocks
// is given back). One thread at a time.
class HtmlPageReader {
 public:
  HtmlPageReader() noexcept;
  ~HtmlPageReader();
  HtmlPageReader(const HtmlPageReader&) = delete;
  HtmlPageReader& operator=(const HtmlPageReader&) = delete;

  [[nodiscard]] std::optional<PageHtml> read(std::string_view bytes,
                                             bool want_links) noexcept;

 private:
  lxb_html_document* document_ = nullptr;  // made by the first read
};

}  // namespace zelko
