// Built-in payload checks ("ZELKO101" to "ZELKO108") and the severity scale
// shared by findings and contract rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zelko/json.hpp"
#include "zelko/payload.hpp"

namespace zelko {

enum class Severity { Error, Warning, Info };

// "error", "warning", "info": the form findings and rule arguments use.
[[nodiscard]] std::string_view severity_text(Severity severity) noexcept;

// "Error", "Warning", "Info": the form written into contracts.
[[nodiscard]] std::string_view severity_contract_text(
    Severity severity) noexcept;

// Exactly "warning" gives Warning and exactly "info" gives Info; any other
// text, including "Warning" or "", gives Error. Never fails.
[[nodiscard]] Severity parse_severity(std::string_view text) noexcept;

struct SEOIssue {
  std::string rule_id;
  Severity severity = Severity::Warning;
  std::string message;
  // The canonical URL the finding applies to, copied unchanged.
  std::optional<std::string> url;
  // Always an object; empty when the rule has nothing to add.
  JsonValue details = JsonValue::object();

  friend bool operator==(const SEOIssue&, const SEOIssue&) = default;
};

// Runs the eight checks in a fixed order: title, description, canonical,
// Open Graph image, then one finding per unknown robots directive. Pure and
// total: every payload yields a list, possibly empty.
[[nodiscard]] std::vector<SEOIssue> validate_payload(const SEOPayload& payload);

}  // namespace zelko
