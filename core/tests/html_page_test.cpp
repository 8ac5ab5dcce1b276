#include <lexbor/html/html.h>

#include <cstddef>
#include <string_view>

#include "gtest/gtest.h"

namespace {

std::size_t count_elements(lxb_dom_node_t* node) {
  std::size_t count = node->type == LXB_DOM_NODE_TYPE_ELEMENT ? 1 : 0;
  for (lxb_dom_node_t* child = node->first_child; child != nullptr;
       child = child->next) {
    count += count_elements(child);
  }
  return count;
}

TEST(Lexbor, ParsesADocumentWithTheImpliedElements) {
  constexpr std::string_view html = "<title>a</title><p>b<p>c";
  lxb_html_document_t* document = lxb_html_document_create();
  ASSERT_NE(document, nullptr);
  ASSERT_EQ(lxb_html_document_parse(
                document, reinterpret_cast<const lxb_char_t*>(html.data()),
                html.size()),
            LXB_STATUS_OK);
  // html, head, title, body and two paragraphs.
  EXPECT_EQ(count_elements(lxb_dom_interface_node(document)), 6U);
  lxb_html_document_destroy(document);
}

}  // namespace
