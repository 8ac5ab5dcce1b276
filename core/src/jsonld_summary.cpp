#include "zelko/jsonld_summary.hpp"

#include <array>
#include <cstddef>
#include <exception>
#include <string_view>
#include <utility>

#include "text.hpp"

namespace zelko {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t kMaxDepth = 128;

// What a value is to the summary, from where it stands.
enum class Where : std::uint8_t {
  Top,           // the script's value: an object is a node, a list holds nodes
  TopList,       // an element of a top-level list: an object is a node
  GraphValue,    // a node's "@graph": a list of nodes, or nothing
  GraphItem,     // an element of a node's "@graph" list: an object is a node
  NodeType,      // a node's "@type": a text, or a list of texts
  NodeTypeList,  // an element of a node's "@type" list
  Other,
};

// A node while it is read: its own types and, when it holds a graph, its
// members' count and types, which follow its own.
struct Node {
  bool has_type = false;
  bool seen_graph = false;
  bool has_graph_list = false;
  std::vector<std::string> types;
  std::uint32_t members = 0;
  std::vector<std::string> member_types;
};

// Bytes a string may hold as they are: printable ASCII but '"' and '\'.
constexpr std::array<bool, 256> kPlainStringByte = [] {
  std::array<bool, 256> table{};
  for (int byte = 0x20; byte < 0x80; ++byte) table[byte] = true;
  table['"'] = false;
  table['\\'] = false;
  return table;
}();

// A strict JSON reader that keeps no values: it takes only what RFC 8259
// allows and Python's json module reads alike (so no NaN, no byte order
// mark, no lone surrogate, valid UTF-8 only), and holds on to the few texts
// the summary needs. Anything else fails the script, which then goes to
// the full reading.
class Scanner {
 public:
  Scanner(std::string_view text, JsonLdSummary& out) : text_(text), out_(out) {}

  bool document() {
    skip_whitespace();
    if (!value(Where::Top, nullptr)) return false;
    skip_whitespace();
    return at_ == text_.size();
  }

 private:
  bool at_end() const noexcept { return at_ >= text_.size(); }
  char peek() const noexcept { return text_[at_]; }

  void skip_whitespace() noexcept {
    while (!at_end()) {
      const char c = peek();
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++at_;
    }
  }

  bool take(char wanted) noexcept {
    skip_whitespace();
    if (at_end() || peek() != wanted) return false;
    ++at_;
    return true;
  }

  // A value where `where` says; `node` is the node a "@type" or "@graph"
  // value belongs to.
  bool value(Where where, Node* node) {
    skip_whitespace();
    if (at_end()) return false;
    switch (peek()) {
      case '{':
        return object(where, node);
      case '[':
        return list(where, node);
      case '"': {
        if (where != Where::NodeType && where != Where::NodeTypeList) {
          return string(nullptr);
        }
        std::string type;
        if (!string(&type)) return false;
        node->types.push_back(std::move(type));
        return true;
      }
      case 't':
        return literal("true"sv);
      case 'f':
        return literal("false"sv);
      case 'n':
        return literal("null"sv);
      default:
        return number();
    }
  }

  bool literal(std::string_view word) noexcept {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool digits() noexcept {
    const std::size_t start = at_;
    while (!at_end() && peek() >= '0' && peek() <= '9') ++at_;
    return at_ > start;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number() noexcept {
    if (!at_end() && peek() == '-') ++at_;
    if (at_end()) return false;
    if (peek() == '0') {
      ++at_;
    } else if (!digits()) {
      return false;
    }
    if (!at_end() && peek() == '.') {
      ++at_;
      if (!digits()) return false;
    }
    if (!at_end() && (peek() == 'e' || peek() == 'E')) {
      ++at_;
      if (!at_end() && (peek() == '+' || peek() == '-')) ++at_;
      if (!digits()) return false;
    }
    return true;
  }

  bool enter() noexcept { return ++depth_ <= kMaxDepth; }

  bool list(Where where, Node* node) {
    if (!enter()) return false;
    ++at_;  // '['
    Where item = Where::Other;
    Node* owner = nullptr;
    if (where == Where::Top) {
      item = Where::TopList;
    } else if (where == Where::NodeType) {
      item = Where::NodeTypeList;
      owner = node;
    } else if (where == Where::GraphValue) {
      // "@graph" given as a list: its objects are the node's members.
      node->has_graph_list = true;
      item = Where::GraphItem;
      owner = node;
    }
    skip_whitespace();
    if (!at_end() && peek() == ']') {
      ++at_;
      --depth_;
      return true;
    }
    do {
      if (!value(item, owner)) return false;
    } while (take(','));
    --depth_;
    return take(']');
  }

  // An object; `holder` is the node whose graph list holds it.
  bool object(Where where, Node* holder) {
    if (!enter()) return false;
    ++at_;  // '{'
    const bool is_node = where == Where::Top || where == Where::TopList ||
                         where == Where::GraphItem;
    const bool holds_graph = where == Where::Top || where == Where::TopList;
    Node node;
    bool has_id = false;
    bool id_names_node = false;
    bool describes = false;
    std::string key;
    skip_whitespace();
    if (!at_end() && peek() == '}') {
      ++at_;
    } else {
      do {
        skip_whitespace();
        if (at_end() || peek() != '"' || !string(&key) || !take(':')) {
          return false;
        }
        if (key == "@id"sv) {
          if (has_id) return false;
          has_id = true;
          if (!id_value(id_names_node)) return false;
          continue;
        }
        if (key != "@context"sv) describes = true;
        Where member = Where::Other;
        if (is_node && key == "@type"sv) {
          if (node.has_type) return false;
          node.has_type = true;
          member = Where::NodeType;
        } else if (holds_graph && key == "@graph"sv) {
          if (node.seen_graph) return false;
          node.seen_graph = true;
          member = Where::GraphValue;
        }
        if (!value(member, &node)) return false;
      } while (take(','));
      if (!take('}')) return false;
    }
    --depth_;
    // A node described under its id, or a reference to a node: the
    // linked-data checks must see them.
    if (has_id && (describes || id_names_node)) return false;
    if (is_node) add(node, where == Where::GraphItem ? holder : nullptr);
    return true;
  }

  // An "@id" must be a text here; whether it names a node (a fragment or a
  // blank node) rather than a document.
  bool id_value(bool& names_node) {
    skip_whitespace();
    std::string id;
    if (at_end() || peek() != '"' || !string(&id)) return false;
    names_node = id.find('#') != std::string::npos || id.starts_with("_:");
    return true;
  }

  void add(Node& node, Node* holder) {
    if (holder != nullptr) {
      ++holder->members;
      move_types(node.types, holder->member_types);
      return;
    }
    // A node holding a graph counts only with a type of its own.
    if (!node.has_graph_list || node.has_type) {
      ++out_.nodes;
      move_types(node.types, out_.types);
    }
    out_.nodes += node.members;
    move_types(node.member_types, out_.types);
  }

  static void move_types(std::vector<std::string>& from,
                         std::vector<std::string>& to) {
    for (std::string& type : from) to.push_back(std::move(type));
  }

  // A string at '"', its text decoded into `out` when given.
  bool string(std::string* out) {
    ++at_;  // '"'
    if (out != nullptr) out->clear();
    for (;;) {
      const std::size_t start = at_;
      while (!at_end() &&
             kPlainStringByte[static_cast<unsigned char>(peek())]) {
        ++at_;
      }
      if (out != nullptr) out->append(text_.substr(start, at_ - start));
      if (at_end()) return false;
      const auto byte = static_cast<unsigned char>(peek());
      if (byte == '"') {
        ++at_;
        return true;
      }
      if (byte < 0x20) return false;  // a control character as it is
      const std::size_t before = at_;
      if (byte == '\\' ? !escape(out) : !utf8_sequence()) return false;
      if (out != nullptr && byte != '\\') {
        out->append(text_.substr(before, at_ - before));
      }
    }
  }

  bool escape(std::string* out) {
    ++at_;  // '\'
    if (at_end()) return false;
    const char c = text_[at_++];
    char plain = 0;
    switch (c) {
      case '"':
        plain = '"';
        break;
      case '\\':
        plain = '\\';
        break;
      case '/':
        plain = '/';
        break;
      case 'b':
        plain = '\b';
        break;
      case 'f':
        plain = '\f';
        break;
      case 'n':
        plain = '\n';
        break;
      case 'r':
        plain = '\r';
        break;
      case 't':
        plain = '\t';
        break;
      case 'u':
        return unicode_escape(out);
      default:
        return false;
    }
    if (out != nullptr) out->push_back(plain);
    return true;
  }

  bool hex4(std::uint32_t& code) noexcept {
    if (text_.size() - at_ < 4) return false;
    code = 0;
    for (int index = 0; index < 4; ++index) {
      const int digit = hex_digit_value(text_[at_++]);
      if (digit < 0) return false;
      code = code * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  // After "\u": a code point, a surrogate pair whole; a lone surrogate
  // fails (Python would keep it, as no UTF-8 text can).
  bool unicode_escape(std::string* out) {
    std::uint32_t code = 0;
    if (!hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (!literal("\\u"sv) || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
        return false;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    if (out != nullptr) append_utf8(*out, static_cast<char32_t>(code));
    return true;
  }

  // One well-formed UTF-8 sequence (no overlong form, no surrogate).
  bool utf8_sequence() noexcept {
    const Utf8Sequence sequence = decode_utf8_at(text_, at_);
    if (!sequence.valid) return false;
    at_ += sequence.length;
    return true;
  }

  std::string_view text_;
  JsonLdSummary& out_;
  std::size_t at_ = 0;
  std::size_t depth_ = 0;
};

}  // namespace

std::optional<JsonLdSummary> summarize_jsonld(
    std::span<const std::string> scripts) noexcept {
  try {
    JsonLdSummary summary;
    for (const std::string& script : scripts) {
      if (!Scanner(script, summary).document()) return std::nullopt;
      ++summary.scripts;
    }
    return summary;
  } catch (const std::exception&) {
    // Memory ran out: the full reading will tell.
    return std::nullopt;
  }
}

}  // namespace zelko
