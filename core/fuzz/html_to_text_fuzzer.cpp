// html_to_text and shorten_description on arbitrary bytes.
//
// html_to_text is checked against a plain model of the same rules (every tag
// text lowercased through the full Unicode mapping, no shortcuts) and for
// the shape of its output: no "<", single spaces only, nothing at the ends,
// never longer than the input, unchanged by a second pass. The description
// shortcut must agree with converting everything and shortening afterwards.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "html_text.hpp"

namespace {

using namespace zelko;

constexpr std::array<std::string_view, 3> kSkipped = {"style", "script",
                                                      "noscript"};

std::string model_strip_tags(std::string_view html) {
  std::string out;
  std::string skipping;
  std::size_t pos = 0;
  while (pos < html.size()) {
    const std::size_t open = html.find('<', pos);
    if (skipping.empty()) out.append(html.substr(pos, open - pos));
    if (open == std::string_view::npos) break;
    const std::size_t close = html.find('>', open + 1);
    if (close == std::string_view::npos) break;
    const std::string tag =
        to_lower_full(html.substr(open + 1, close - open - 1));
    if (!skipping.empty()) {
      if (tag == "/" + skipping) skipping.clear();
    } else {
      bool skip = false;
      for (const std::string_view name : kSkipped) {
        if (tag == name) {
          skipping = name;
          skip = true;
        }
      }
      if (!skip) out.push_back(' ');
    }
    pos = close + 1;
  }
  return out;
}

std::string model_collapse(std::string_view text) {
  std::string out;
  bool pending = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    if (is_white_space(next_code_point(text, pos))) {
      pending = !out.empty();
      continue;
    }
    if (pending) out.push_back(' ');
    pending = false;
    out.append(text.substr(start, pos - start));
  }
  return out;
}

void check_shape(std::string_view text, std::size_t input_size) {
  FUZZ_CHECK(text.size() <= input_size);
  FUZZ_CHECK(!fuzz::contains(text, "<"));
  FUZZ_CHECK(!fuzz::contains(text, "  "));
  FUZZ_CHECK(text.empty() || (text.front() != ' ' && text.back() != ' '));
  std::size_t pos = 0;
  while (pos < text.size()) {
    const bool space = text[pos] == ' ';
    FUZZ_CHECK(space || !is_white_space(next_code_point(text, pos)));
    if (space) ++pos;
  }
}

void check_shortened(const std::string& text) {
  const std::string shortened = shorten_description(text);
  const std::size_t scalars = count_scalars(text);
  if (scalars <= kDescriptionMaxScalars) {
    FUZZ_CHECK(shortened == text);
    return;
  }
  FUZZ_CHECK(count_scalars(shortened) == kDescriptionMaxScalars);
  FUZZ_CHECK(shortened.ends_with(kDescriptionEllipsis));
  const std::size_t kept = shortened.size() - kDescriptionEllipsis.size();
  FUZZ_CHECK(std::string_view(text).substr(0, kept) ==
             std::string_view(shortened).substr(0, kept));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  const std::string html(reinterpret_cast<const char*>(bytes), size);
  const std::string text = html_to_text(html);
  FUZZ_CHECK(text == html_to_text(html));
  FUZZ_CHECK(text == model_collapse(model_strip_tags(html)));
  check_shape(text, html.size());
  FUZZ_CHECK(html_to_text(text) == text);
  check_shortened(text);
  check_shortened(html);
  FUZZ_CHECK(html_to_description(html) == shorten_description(text));
  return 0;
}
