// JSON text writer and reader for the engine's JsonValue model.
//
// Both are written by hand rather than taken from nlohmann: its dump throws on
// invalid UTF-8 and its parser differs in number handling, duplicate keys and
// error wording. The messages below keep the familiar serde_json wording.
#include "zelko/json.hpp"

#include "debug_check.hpp"
#include "text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

namespace zelko {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// ---------------------------------------------------------------------------
// Writing

// Bytes that go into a JSON string as they are, with no further look.
constexpr bool is_plain_ascii(unsigned char byte) noexcept {
  return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
}

// Whether all eight bytes of `word` are plain ASCII. Each test below sets the
// high bit of a byte that fails it (and may mark later bytes too, which only
// sends the word to the byte-by-byte path): below 0x20, a quotation mark, a
// backslash, or 0x80 and above.
constexpr bool is_plain_ascii_word(std::uint64_t word) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  const auto has_zero_byte = [](std::uint64_t v) {
    return (v - kOnes) & ~v & kHighBits;
  };
  const std::uint64_t below_space = (word - kOnes * 0x20) & ~word & kHighBits;
  const std::uint64_t quote = has_zero_byte(word ^ (kOnes * '"'));
  const std::uint64_t backslash = has_zero_byte(word ^ (kOnes * '\\'));
  return ((word & kHighBits) | below_space | quote | backslash) == 0;
}

void append_control_escape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\r':
      out += "\\r";
      return;
    default: {
      constexpr std::string_view kHex = "0123456789abcdef";
      const char escape[] = {
          '\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(escape, sizeof escape);
    }
  }
}

template <class Integer>
void append_integer(std::string& out, Integer number) {
  std::array<char, 24> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), number);
  out.append(buffer.data(), result.ptr);
}

// The shortest round-trip digits of a finite double, laid out the way ryu
// (and so serde_json) does: plain notation while the decimal point stays
// within 16 digits (5.0, 0.001234, 12340000000.0), otherwise one leading
// digit and an exponent without '+' or leading zeros (1e16, 1.5e-7).
void append_double(std::string& out, double number) {
  if (!std::isfinite(number)) {
    out += "null";
    return;
  }
  std::array<char, 40> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), number,
                    std::chars_format::scientific);
  std::string_view scientific(
      buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  if (scientific.front() == '-') {
    out.push_back('-');
    scientific.remove_prefix(1);
  }
  // scientific is now "d[.ddd]e(+|-)XX".
  const std::size_t e_pos = scientific.find('e');
  std::array<char, 20> digit_buffer{};
  std::size_t length = 0;
  for (const char c : scientific.substr(0, e_pos)) {
    if (c != '.') digit_buffer[length++] = c;
  }
  const std::string_view digits(digit_buffer.data(), length);
  int exponent = 0;
  const std::string_view exponent_text = scientific.substr(e_pos + 1);
  const char* exponent_begin =
      exponent_text.data() + (exponent_text.front() == '+' ? 1 : 0);
  std::from_chars(exponent_begin, exponent_text.data() + exponent_text.size(),
                  exponent);

  // The value is 0.digits × 10^point: `point` is where the decimal point goes.
  const int point = exponent + 1;
  const int digit_count = static_cast<int>(length);
  if (point >= digit_count && point <= 16) {
    out.append(digits);
    out.append(static_cast<std::size_t>(point - digit_count), '0');
    out += ".0";
  } else if (point > 0 && point <= 16) {
    out.append(digits.substr(0, static_cast<std::size_t>(point)));
    out.push_back('.');
    out.append(digits.substr(static_cast<std::size_t>(point)));
  } else if (point > -5 && point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out.append(digits);
  } else {
    out.push_back(digits.front());
    if (length > 1) {
      out.push_back('.');
      out.append(digits.substr(1));
    }
    out.push_back('e');
    append_integer(out, point - 1);
  }
}

// ---------------------------------------------------------------------------
// Reading

constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kInvalidEscape = "invalid escape";
constexpr std::string_view kLoneSurrogate =
    "lone leading surrogate in hex escape";

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

constexpr bool is_json_whitespace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A number whose digits were too many for a double either overflows (an
// error) or underflows (to a signed zero); which one depends on where its
// first significant digit sits.
bool overflows_double(std::string_view number) noexcept {
  const std::size_t e_pos = number.find_first_of("eE");
  const std::string_view mantissa = number.substr(0, e_pos);
  long long exponent = 0;
  if (e_pos != std::string_view::npos) {
    std::string_view text = number.substr(e_pos + 1);
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+') text.remove_prefix(1);
    for (const char c : text) {
      exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL);
    }
    if (negative) exponent = -exponent;
  }
  const std::size_t dot = mantissa.find('.');
  const std::size_t integer_end =
      dot == std::string_view::npos ? mantissa.size() : dot;
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;
  const long long magnitude =
      first < integer_end ? static_cast<long long>(integer_end - first) - 1
                          : -static_cast<long long>(first - integer_end);
  return magnitude + exponent > 0;
}

class Reader {
 public:
  Reader(std::string_view text, JsonReadOptions options)
      : text_(text), options_(options) {}

  Result<JsonValue> read_document() {
    JsonValue document;
    skip_whitespace();
    if (!parse_value(document)) return take_error();
    skip_whitespace();
    if (!at_end()) {
      fail("trailing characters", pos_);
      return take_error();
    }
    return document;
  }

 private:
  bool at_end() const noexcept { return pos_ >= text_.size(); }
  char peek() const noexcept { return text_[pos_]; }

  void skip_whitespace() noexcept {
    while (!at_end() && is_json_whitespace(peek())) ++pos_;
  }

  // Records a failure at the byte index `at` (text size for the end of input).
  bool fail(std::string_view message, std::size_t at) {
    message_ = message;
    error_at_ = at;
    return false;
  }

  // Line and column as serde_json counts them: the column is the 1-based
  // position of the offending byte in its line, or of the last byte at EOF.
  Error take_error() const {
    const std::size_t end = std::min(error_at_ + 1, text_.size());
    const std::string_view before = text_.substr(0, end);
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(
                                     before.begin(), before.end(), '\n'));
    const std::size_t last_newline = before.rfind('\n');
    const std::size_t column =
        last_newline == std::string_view::npos ? end : end - last_newline - 1;
    std::string text = message_;
    text += " at line ";
    append_integer(text, line);
    text += " column ";
    append_integer(text, column);
    return Error(ErrorKind::Serialization, std::move(text));
  }

  bool parse_value(JsonValue& out) {
    if (at_end()) return fail(kEofValue, pos_);
    switch (peek()) {
      case 'n':
        return parse_literal("null", nullptr, out);
      case 't':
        return parse_literal("true", true, out);
      case 'f':
        return parse_literal("false", false, out);
      case '"': {
        std::string text;
        if (!parse_string(text)) return false;
        out = std::move(text);
        return true;
      }
      case '[':
        return parse_array(out);
      case '{':
        return parse_object(out);
      default:
        if (peek() == '-' || is_digit(peek())) return parse_number(out);
        return fail("expected value", pos_);
    }
  }

  bool parse_literal(std::string_view word, JsonValue literal, JsonValue& out) {
    for (const char expected : word) {
      if (at_end()) return fail(kEofValue, pos_);
      if (peek() != expected) return fail("expected ident", pos_);
      ++pos_;
    }
    out = std::move(literal);
    return true;
  }

  bool enter_container() {
    if (depth_ >= kJsonMaxDepth) return fail("recursion limit exceeded", pos_);
    ++depth_;
    ++pos_;  // the opening bracket
    return true;
  }

  bool parse_array(JsonValue& out) {
    if (!enter_container()) return false;
    out = JsonValue::array();
    auto& items = out.get_ref<JsonValue::array_t&>();
    skip_whitespace();
    if (at_end()) return fail(kEofList, pos_);
    if (peek() != ']') {
      while (true) {
        if (!parse_value(items.emplace_back())) return false;
        skip_whitespace();
        if (at_end()) return fail(kEofList, pos_);
        if (peek() == ']') break;
        if (peek() != ',') return fail("expected `,` or `]`", pos_);
        ++pos_;
        skip_whitespace();
        if (!at_end() && peek() == ']') return fail("trailing comma", pos_);
      }
    }
    ++pos_;
    --depth_;
    return true;
  }

  bool parse_object(JsonValue& out) {
    if (!enter_container()) return false;
    out = JsonValue::object();
    auto& members = out.get_ref<JsonValue::object_t&>();
    skip_whitespace();
    if (at_end()) return fail(kEofObject, pos_);
    if (peek() != '}') {
      while (true) {
        if (!parse_member(members)) return false;
        skip_whitespace();
        if (at_end()) return fail(kEofObject, pos_);
        if (peek() == '}') break;
        if (peek() != ',') return fail("expected `,` or `}`", pos_);
        ++pos_;
        skip_whitespace();
        if (at_end()) return fail(kEofValue, pos_);
        if (peek() == '}') return fail("trailing comma", pos_);
      }
    }
    ++pos_;
    --depth_;
    return true;
  }

  // One "key": value pair; a key seen before keeps its last value.
  bool parse_member(JsonValue::object_t& members) {
    if (peek() != '"') return fail("key must be a string", pos_);
    const std::size_t key_start = pos_;
    std::string key;
    if (!parse_string(key)) return false;
    if (options_.refuse_duplicate_keys && members.contains(key)) {
      return fail("duplicate key", key_start);
    }
    skip_whitespace();
    if (at_end()) return fail(kEofObject, pos_);
    if (peek() != ':') return fail("expected `:`", pos_);
    ++pos_;
    skip_whitespace();
    JsonValue value;
    if (!parse_value(value)) return false;
    members.insert_or_assign(std::move(key), std::move(value));
    return true;
  }

  bool parse_string(std::string& out) {
    ++pos_;  // the opening quote
    while (true) {
      const std::size_t run_start = pos_;
      while (!at_end() && is_plain_ascii(static_cast<unsigned char>(peek()))) {
        ++pos_;
      }
      out.append(text_.data() + run_start, pos_ - run_start);
      if (at_end()) return fail(kEofString, pos_);
      const auto byte = static_cast<unsigned char>(peek());
      if (byte == '"') {
        ++pos_;
        return true;
      }
      if (byte == '\\') {
        ++pos_;
        if (!parse_escape(out)) return false;
      } else if (byte < 0x20) {
        return fail(
            "control character (\\u0000-\\u001F) found while parsing a string",
            pos_);
      } else {
        const Utf8Sequence sequence = decode_utf8_at(text_, pos_);
        if (!sequence.valid) return fail("invalid unicode code point", pos_);
        out.append(text_.substr(pos_, sequence.length));
        pos_ += sequence.length;
      }
    }
  }

  bool parse_escape(std::string& out) {
    if (at_end()) return fail(kEofString, pos_);
    const char escape = peek();
    ++pos_;
    switch (escape) {
      case '"':
      case '\\':
      case '/':
        out.push_back(escape);
        return true;
      case 'b':
        out.push_back('\b');
        return true;
      case 'f':
        out.push_back('\f');
        return true;
      case 'n':
        out.push_back('\n');
        return true;
      case 'r':
        out.push_back('\r');
        return true;
      case 't':
        out.push_back('\t');
        return true;
      case 'u':
        return parse_unicode_escape(out);
      default:
        return fail(kInvalidEscape, pos_ - 1);
    }
  }

  // The four hex digits after "\u".
  bool parse_hex4(char32_t& unit) {
    if (text_.size() - pos_ < 4) return fail(kEofString, text_.size());
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit =
          hex_digit_value(text_[pos_ + static_cast<std::size_t>(i)]);
      if (digit < 0) return fail(kInvalidEscape, pos_ + 3);
      unit = unit * 16 + static_cast<char32_t>(digit);
    }
    pos_ += 4;
    return true;
  }

  // A UTF-16 code unit, or a surrogate pair written as two escapes. Lone
  // surrogates cannot be held in UTF-8 and are refused.
  bool parse_unicode_escape(std::string& out) {
    char32_t unit = 0;
    if (!parse_hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return fail(kLoneSurrogate, pos_ - 1);
    if (unit < 0xD800 || unit > 0xDBFF) {
      append_utf8(out, unit);
      return true;
    }
    for (const char expected : std::string_view("\\u")) {
      if (at_end()) return fail(kEofString, pos_);
      if (peek() != expected) return fail("unexpected end of hex escape", pos_);
      ++pos_;
    }
    char32_t low = 0;
    if (!parse_hex4(low)) return false;
    if (low < 0xDC00 || low > 0xDFFF) return fail(kLoneSurrogate, pos_ - 1);
    append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    return true;
  }

  // Skips a run of digits; false when there is none.
  bool skip_digits() noexcept {
    const std::size_t start = pos_;
    while (!at_end() && is_digit(peek())) ++pos_;
    return pos_ > start;
  }

  bool fail_number() {
    return fail(at_end() ? kEofValue : kInvalidNumber, pos_);
  }

  bool parse_number(JsonValue& out) {
    const std::size_t start = pos_;
    const bool negative = peek() == '-';
    if (negative) ++pos_;
    if (at_end() || !is_digit(peek())) return fail(kInvalidNumber, pos_);
    if (peek() == '0') {
      ++pos_;
      if (!at_end() && is_digit(peek())) return fail(kInvalidNumber, pos_);
    } else {
      skip_digits();
    }
    bool integral = true;
    if (!at_end() && peek() == '.') {
      integral = false;
      ++pos_;
      if (!skip_digits()) return fail_number();
    }
    if (!at_end() && (peek() == 'e' || peek() == 'E')) {
      integral = false;
      ++pos_;
      if (!at_end() && (peek() == '+' || peek() == '-')) ++pos_;
      if (!skip_digits()) return fail_number();
    }
    const std::string_view number = text_.substr(start, pos_ - start);
    if (integral && store_integer(number, negative, out)) return true;
    return store_double(number, out);
  }

  // Integers that fit stay integers: u64 when non-negative, i64 when
  // negative. "-0" has no integer form with a sign and becomes the double -0.0.
  static bool store_integer(std::string_view number, bool negative,
                            JsonValue& out) {
    const std::string_view digits = negative ? number.substr(1) : number;
    std::uint64_t magnitude = 0;
    const auto result = std::from_chars(
        digits.data(), digits.data() + digits.size(), magnitude);
    if (result.ec != std::errc()) return false;
    if (!negative) {
      out = magnitude;
      return true;
    }
    constexpr auto kMinMagnitude =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
        1;
    if (magnitude == 0 || magnitude > kMinMagnitude) return false;
    out = -static_cast<std::int64_t>(magnitude - 1) - 1;
    return true;
  }

  bool store_double(std::string_view number, JsonValue& out) {
    double value = 0.0;
    const auto result =
        std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
      if (overflows_double(number)) {
        return fail("number out of range", pos_ - 1);
      }
      value = number.front() == '-' ? -0.0 : 0.0;
    } else if (result.ec != std::errc()) {
      return fail(kInvalidNumber, pos_ - 1);
    }
    out = value;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  JsonReadOptions options_;
  std::size_t depth_ = 0;
  std::string message_;
  std::size_t error_at_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// JsonWriter

void JsonWriter::newline_and_indent() {
  out_.push_back('\n');
  out_.append(2 * counts_.size(), ' ');
}

// Separates a new array element from the one before it. A value that follows
// a key has had its separator written by key().
void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (counts_.empty()) return;
  if (counts_.back()++ > 0) out_.push_back(',');
  if (pretty_) newline_and_indent();
}

void JsonWriter::key(std::string_view name) {
  ZELKO_DEBUG_CHECK(!counts_.empty() && !after_key_);
  if (counts_.back()++ > 0) out_.push_back(',');
  if (pretty_) newline_and_indent();
  append_json_string(out_, name);
  if (pretty_) {
    out_ += ": ";
  } else {
    out_.push_back(':');
  }
  after_key_ = true;
}

void JsonWriter::begin_object() {
  before_value();
  out_.push_back('{');
  counts_.push_back(0);
}

void JsonWriter::end_object() {
  ZELKO_DEBUG_CHECK(!counts_.empty() && !after_key_);
  const std::size_t members = counts_.back();
  counts_.pop_back();
  if (pretty_ && members > 0) newline_and_indent();
  out_.push_back('}');
}

void JsonWriter::begin_array() {
  before_value();
  out_.push_back('[');
  counts_.push_back(0);
}

void JsonWriter::end_array() {
  ZELKO_DEBUG_CHECK(!counts_.empty() && !after_key_);
  const std::size_t elements = counts_.back();
  counts_.pop_back();
  if (pretty_ && elements > 0) newline_and_indent();
  out_.push_back(']');
}

void JsonWriter::string(std::string_view text) {
  before_value();
  append_json_string(out_, text);
}

void JsonWriter::unsigned_integer(std::uint64_t number) {
  before_value();
  append_integer(out_, number);
}

void JsonWriter::signed_integer(std::int64_t number) {
  before_value();
  append_integer(out_, number);
}

void JsonWriter::floating(double number) {
  before_value();
  append_double(out_, number);
}

void JsonWriter::boolean(bool flag) {
  before_value();
  out_ += flag ? "true" : "false";
}

void JsonWriter::null() {
  before_value();
  out_ += "null";
}

void JsonWriter::value(const JsonValue& json) {
  using Type = JsonValue::value_t;
  switch (json.type()) {
    case Type::object:
      begin_object();
      for (const auto& [name, member] :
           json.get_ref<const JsonValue::object_t&>()) {
        key(name);
        value(member);
      }
      end_object();
      return;
    case Type::array:
      begin_array();
      for (const auto& element : json.get_ref<const JsonValue::array_t&>()) {
        value(element);
      }
      end_array();
      return;
    case Type::string:
      string(json.get_ref<const std::string&>());
      return;
    case Type::boolean:
      boolean(json.get<bool>());
      return;
    case Type::number_unsigned:
      unsigned_integer(json.get<std::uint64_t>());
      return;
    case Type::number_integer:
      signed_integer(json.get<std::int64_t>());
      return;
    case Type::number_float:
      floating(json.get<double>());
      return;
    case Type::null:
    case Type::binary:
    case Type::discarded:
      // Binary and discarded values never come out of the reader or the
      // builders; null keeps the text valid should one appear.
      null();
      return;
  }
}

// ---------------------------------------------------------------------------
// Free functions

std::string write_json(const JsonValue& json, bool pretty) {
  std::string out;
  out.reserve(256);
  JsonWriter writer(out, pretty);
  writer.value(json);
  return out;
}

void append_json_string(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out.push_back('"');
  std::size_t run_start = 0;
  std::size_t pos = 0;
  const auto flush_run = [&] {
    out.append(text.data() + run_start, pos - run_start);
  };
  while (pos < text.size()) {
    // Most text is plain ASCII: skip it eight bytes at a time.
    if (text.size() - pos >= sizeof(std::uint64_t)) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + pos, sizeof word);
      if (is_plain_ascii_word(word)) {
        pos += sizeof word;
        continue;
      }
    }
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (is_plain_ascii(byte)) {
      ++pos;
      continue;
    }
    if (byte >= 0x80) {
      const Utf8Sequence sequence = decode_utf8_at(text, pos);
      if (sequence.valid) {
        pos += sequence.length;
        continue;
      }
      flush_run();
      out += kReplacementCharacter;
      pos += sequence.length;
    } else {
      flush_run();
      append_control_escape(out, byte);
      ++pos;
    }
    run_start = pos;
  }
  flush_run();
  out.push_back('"');
}

Result<JsonValue> parse_json(std::string_view text) {
  return parse_json(text, JsonReadOptions{});
}

Result<JsonValue> parse_json(std::string_view text, JsonReadOptions options) {
  try {
    return Reader(text, options).read_document();
  } catch (const std::exception& failure) {
    // Only allocation can throw here; it must still not cross the boundary.
    return Error(ErrorKind::Serialization, failure.what());
  }
}

}  // namespace zelko
