#include "zelko/html_page.hpp"

#include <lexbor/dom/interfaces/text.h>
#include <lexbor/html/html.h>

#include <array>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace zelko {
namespace {

std::string_view view(const lxb_char_t* data, std::size_t size) {
  if (data == nullptr) return {};
  return {reinterpret_cast<const char*>(data), size};
}

bool is_element(const lxb_dom_node_t* node, lxb_tag_id_t tag) {
  return node->type == LXB_DOM_NODE_TYPE_ELEMENT && node->local_name == tag;
}

// The node after `node` in document order within `root`'s subtree,
// `first_child` left out when `skip_children`; nullptr past the end. A loop,
// not recursion: a hostile page may nest elements arbitrarily deep.
lxb_dom_node_t* next_in(const lxb_dom_node_t* root, lxb_dom_node_t* node,
                        bool skip_children = false) {
  if (!skip_children && node->first_child != nullptr) return node->first_child;
  while (node != root) {
    if (node->next != nullptr) return node->next;
    node = node->parent;
  }
  return nullptr;
}

// Every text node of the element, concatenated: the element's text.
std::string text_of(lxb_dom_node_t* element) {
  std::string text;
  for (lxb_dom_node_t* node = next_in(element, element); node != nullptr;
       node = next_in(element, node)) {
    if (node->local_name != LXB_TAG__TEXT) continue;
    const lexbor_str_t& data = lxb_dom_interface_text(node)->char_data.data;
    text.append(view(data.data, data.length));
  }
  return text;
}

// An attribute written without a value holds "".
std::optional<std::string_view> attribute(lxb_dom_node_t* element,
                                          std::string_view name) {
  for (lxb_dom_attr_t* attr =
           lxb_dom_element_first_attribute(lxb_dom_interface_element(element));
       attr != nullptr; attr = attr->next) {
    std::size_t size = 0;
    const lxb_char_t* qualified = lxb_dom_attr_qualified_name(attr, &size);
    if (view(qualified, size) != name) continue;
    const lxb_char_t* value = lxb_dom_attr_value(attr, &size);
    return view(value, size);
  }
  return std::nullopt;
}

HeadAttributes head_attributes(lxb_dom_node_t* element) {
  HeadAttributes attributes;
  for (lxb_dom_attr_t* attr =
           lxb_dom_element_first_attribute(lxb_dom_interface_element(element));
       attr != nullptr; attr = attr->next) {
    std::size_t name_size = 0;
    const lxb_char_t* name = lxb_dom_attr_qualified_name(attr, &name_size);
    std::size_t value_size = 0;
    const lxb_char_t* value = lxb_dom_attr_value(attr, &value_size);
    attributes.keep(view(name, name_size), view(value, value_size));
  }
  return attributes;
}

HeadFactsBuilder read_head(lxb_dom_node_t* head) {
  HeadFactsBuilder builder;
  if (head == nullptr) return builder;
  for (lxb_dom_node_t* child = head->first_child; child != nullptr;
       child = child->next) {
    if (is_element(child, LXB_TAG_META)) {
      builder.element("meta", head_attributes(child));
    } else if (is_element(child, LXB_TAG_LINK)) {
      builder.element("link", head_attributes(child));
    } else if (is_element(child, LXB_TAG_TITLE) && !builder.has_title()) {
      builder.title(text_of(child));
    }
  }
  return builder;
}

// What Python's str.strip() strips, as UTF-8: the white space of Unicode.
constexpr std::array<std::string_view, 19> kUnicodeSpaces = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\xA8",
    "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
    "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87",
    "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A"};

bool is_ascii_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || (c >= '\x1C' && c <= '\x1F');
}

// The length of the white space `text` begins (or, `at_end`, ends) with.
std::size_t space_size(std::string_view text, bool at_end) {
  if (text.empty()) return 0;
  if (is_ascii_space(at_end ? text.back() : text.front())) return 1;
  for (std::string_view space : kUnicodeSpaces) {
    if (at_end ? text.ends_with(space) : text.starts_with(space)) {
      return space.size();
    }
  }
  return 0;
}

std::string_view unicode_strip(std::string_view text) {
  while (const std::size_t size = space_size(text, false)) {
    text.remove_prefix(size);
  }
  while (const std::size_t size = space_size(text, true)) {
    text.remove_suffix(size);
  }
  return text;
}

// A script type of JSON-LD: the media type before any parameters, in any
// case, with white space around it.
bool is_jsonld_type(std::string_view type) {
  constexpr std::string_view kJsonLd = "application/ld+json";
  const std::string_view media_type =
      unicode_strip(type.substr(0, type.find(';')));
  if (media_type.size() != kJsonLd.size()) return false;
  for (std::size_t at = 0; at < kJsonLd.size(); ++at) {
    char c = media_type[at];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kJsonLd[at]) return false;
  }
  return true;
}

// The whole document in order: the first title (when the head has none),
// JSON-LD scripts and links.
//
// A script's text is all the text inside it. Only an SVG or MathML script
// can hold elements, and so other scripts; one inside a JSON-LD script is
// read as part of that script's text, not again on its own: a page of
// scripts nested N deep would otherwise give N texts of up to N bytes each.
void read_body(lxb_dom_node_t* root, bool want_links, HeadFactsBuilder& head,
               PageHtml& page) {
  bool in_jsonld = false;
  const lxb_dom_node_t* jsonld_end = nullptr;  // the node after its subtree
  for (lxb_dom_node_t* node = next_in(root, root); node != nullptr;
       node = next_in(root, node)) {
    if (in_jsonld && node == jsonld_end) in_jsonld = false;
    if (node->type != LXB_DOM_NODE_TYPE_ELEMENT) continue;
    if (node->local_name == LXB_TAG_TITLE && !head.has_title()) {
      head.title(text_of(node));
    } else if (node->local_name == LXB_TAG_SCRIPT && !in_jsonld) {
      const auto type = attribute(node, "type");
      if (!type || !is_jsonld_type(*type)) continue;
      page.jsonld.push_back(text_of(node));
      in_jsonld = true;
      jsonld_end = next_in(root, node, true);
    } else if (want_links && node->local_name == LXB_TAG_A) {
      const auto href = attribute(node, "href");
      if (href && !href->empty()) page.links.emplace_back(*href);
    }
  }
}

// The page handed to the parser in pieces of this size, its depth looked at
// after each: a piece adds a few thousand elements at most, so a page that
// stays under the limit costs time in proportion to its size.
constexpr std::size_t kPiece = 16 * 1024;

std::size_t open_elements(lxb_html_document_t* document) {
  auto* parser = static_cast<lxb_html_parser_t*>(document->dom_document.parser);
  return lxb_html_parser_tree(parser)->open_elements->length;
}

// Parses the page piece by piece, as the parser reads a stream: the same
// tree as one call. false when it nests too deep; nullopt when the parser
// fails (memory).
std::optional<bool> parse_bounded(lxb_html_document_t* document,
                                  std::string_view bytes) {
  if (lxb_html_document_parse_chunk_begin(document) != LXB_STATUS_OK) {
    return std::nullopt;
  }
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::string_view piece = bytes.substr(at, kPiece);
    if (lxb_html_document_parse_chunk(
            document, reinterpret_cast<const lxb_char_t*>(piece.data()),
            piece.size()) != LXB_STATUS_OK) {
      return std::nullopt;
    }
    if (open_elements(document) > kMaxOpenElements) {
      // The parse ends here, as at the end of the page: the document is
      // left as a finished one, to be cleared for the next.
      (void)lxb_html_document_parse_chunk_end(document);
      return false;
    }
  }
  if (lxb_html_document_parse_chunk_end(document) != LXB_STATUS_OK) {
    return std::nullopt;
  }
  return true;
}

// Reads a page into `document`, a new one or one that has read pages
// before (the parser clears it first).
std::optional<PageHtml> read_with(lxb_html_document_t* document,
                                  std::string_view bytes, bool want_links) {
  PageHtml page;
  const std::optional<bool> parsed = parse_bounded(document, bytes);
  if (!parsed) return std::nullopt;
  if (!*parsed) {
    page.unread = "elements nested more than " +
                  std::to_string(kMaxOpenElements) + " deep";
    return page;
  }
  HeadFactsBuilder head = read_head(
      lxb_dom_interface_node(lxb_html_document_head_element(document)));
  read_body(lxb_dom_interface_node(document), want_links, head, page);
  page.head = std::move(head).finish();
  return page;
}

}  // namespace

std::optional<PageHtml> read_html_page(std::string_view bytes,
                                       bool want_links) noexcept {
  return HtmlPageReader().read(bytes, want_links);
}

HtmlPageReader::HtmlPageReader() noexcept = default;

HtmlPageReader::~HtmlPageReader() { lxb_html_document_destroy(document_); }

std::optional<PageHtml> HtmlPageReader::read(std::string_view bytes,
                                             bool want_links) noexcept try {
  if (document_ == nullptr) {
    document_ = lxb_html_document_create();
    if (document_ == nullptr) return std::nullopt;
  }
  std::optional<PageHtml> page = read_with(document_, bytes, want_links);
  if (!page) {
    // Memory ran out midway: the next page starts from a new document.
    document_ = lxb_html_document_destroy(document_);
  }
  return page;
} catch (const std::bad_alloc&) {
  document_ = lxb_html_document_destroy(document_);
  return std::nullopt;
}

}  // namespace zelko
