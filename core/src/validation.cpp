#include "zelko/validation.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "text.hpp"
#include "zelko/builder.hpp"

namespace zelko {
namespace {

constexpr std::size_t kMaxTitleLength = 60;
constexpr std::size_t kMaxDescriptionLength = 160;

constexpr std::array<std::string_view, 9> kRobotsDirectives = {
    "none",      "index",     "follow",      "noindex",          "nofollow",
    "noarchive", "nosnippet", "notranslate", "unavailable_after"};

// Directives that carry a value; matched by prefix so that the name part is
// accepted whatever follows it.
constexpr std::array<std::string_view, 3> kRobotsDirectivePrefixes = {
    "max-snippet", "max-image-preview", "max-video-preview"};

// Only the two web schemes, byte for byte: no parsing, no case folding.
bool is_absolute(std::string_view url) {
  return url.starts_with("http://") || url.starts_with("https://");
}

class IssueList {
 public:
  explicit IssueList(const SEOPayload& payload)
      : canonical_(payload.canonical) {}

  void add(std::string_view rule_id, std::string message,
           JsonValue details = JsonValue::object()) {
    issues_.push_back(SEOIssue{std::string(rule_id), Severity::Warning,
                               std::move(message), canonical_,
                               std::move(details)});
  }

  std::vector<SEOIssue> take() && { return std::move(issues_); }

 private:
  const std::string& canonical_;
  std::vector<SEOIssue> issues_;
};

JsonValue length_details(std::size_t length) {
  JsonValue details = JsonValue::object();
  details["length"] = static_cast<std::uint64_t>(length);
  return details;
}

std::string too_long_message(std::string_view subject, std::size_t length,
                             std::size_t maximum) {
  std::string message(subject);
  message.append(" is ");
  message.append(std::to_string(length));
  message.append(" characters (recommended max ");
  message.append(std::to_string(maximum));
  message.append(")");
  return message;
}

void check_title(const std::string& title, IssueList& issues) {
  // The builder's fallback title counts as no title at all.
  if (title.empty() || title == kUntitled) {
    issues.add("ZELKO101", "Title is missing or default");
    return;
  }
  const std::size_t length = count_scalars(title);
  if (length > kMaxTitleLength) {
    issues.add("ZELKO102", too_long_message("Title", length, kMaxTitleLength),
               length_details(length));
  }
}

// Whitespace-only text is a description; only the empty one is missing.
void check_description(const std::string& description, IssueList& issues) {
  if (description.empty()) {
    issues.add("ZELKO103", "Meta description is missing");
    return;
  }
  const std::size_t length = count_scalars(description);
  if (length > kMaxDescriptionLength) {
    issues.add(
        "ZELKO104",
        too_long_message("Meta description", length, kMaxDescriptionLength),
        length_details(length));
  }
}

void check_canonical(const std::string& canonical, IssueList& issues) {
  if (!is_absolute(canonical)) {
    issues.add("ZELKO105", "Canonical URL is not absolute");
  }
}

void check_og_image(const std::optional<std::string>& image,
                    IssueList& issues) {
  if (!image) {
    issues.add("ZELKO108",
               "OG image is missing; set default_og_image or an entity image");
    return;
  }
  if (!is_absolute(*image)) {
    JsonValue details = JsonValue::object();
    details["image"] = *image;
    issues.add("ZELKO106", "OG image URL is not absolute", std::move(details));
  }
}

// The name is everything before the first colon, untrimmed and compared
// case-sensitively; the value after the colon is never looked at.
bool is_known_robots_directive(std::string_view piece) {
  const std::string_view name = piece.substr(0, piece.find(':'));
  for (std::string_view directive : kRobotsDirectives) {
    if (name == directive) return true;
  }
  for (std::string_view prefix : kRobotsDirectivePrefixes) {
    if (name.starts_with(prefix)) return true;
  }
  return false;
}

// Every comma separates a piece, so empty pieces (",," or an empty string)
// are reported too.
void check_robots(std::string_view robots, IssueList& issues) {
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = robots.find(',', start);
    const std::string_view piece = trim_white_space(robots.substr(
        start, comma == std::string_view::npos ? std::string_view::npos
                                               : comma - start));
    if (!is_known_robots_directive(piece)) {
      std::string message = "Invalid robots directive: '";
      message.append(piece);
      message.push_back('\'');
      JsonValue details = JsonValue::object();
      details["directive"] = std::string(piece);
      issues.add("ZELKO107", std::move(message), std::move(details));
    }
    if (comma == std::string_view::npos) return;
    start = comma + 1;
  }
}

}  // namespace

std::string_view severity_text(Severity severity) noexcept {
  switch (severity) {
    case Severity::Warning:
      return "warning";
    case Severity::Info:
      return "info";
    case Severity::Error:
      break;
  }
  return "error";
}

std::string_view severity_contract_text(Severity severity) noexcept {
  switch (severity) {
    case Severity::Warning:
      return "Warning";
    case Severity::Info:
      return "Info";
    case Severity::Error:
      break;
  }
  return "Error";
}

Severity parse_severity(std::string_view text) noexcept {
  if (text == "warning") return Severity::Warning;
  if (text == "info") return Severity::Info;
  return Severity::Error;
}

std::vector<SEOIssue> validate_payload(const SEOPayload& payload) {
  IssueList issues(payload);
  check_title(payload.title, issues);
  check_description(payload.description, issues);
  check_canonical(payload.canonical, issues);
  check_og_image(payload.og.image, issues);
  check_robots(payload.robots, issues);
  return std::move(issues).take();
}

}  // namespace zelko
