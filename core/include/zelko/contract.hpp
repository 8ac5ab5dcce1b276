// Expectations, contract rules and SEO contracts: declarative statements of
// what routes must satisfy, assembled and serialized for an external checker.
// The engine never evaluates them; it stores and writes them exactly as given.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelko/error.hpp"
#include "zelko/json.hpp"
#include "zelko/validation.hpp"
#include "zelko/version.hpp"

namespace zelko {

// Zero or one T held on the heap and copied deeply, so that a record can
// nest values of its own type and still behave as a plain value.
template <class T>
class OptionalBox {
 public:
  OptionalBox() = default;
  OptionalBox(T value)  // NOLINT(google-explicit-constructor): like optional
      : value_(std::make_unique<T>(std::move(value))) {}
  OptionalBox(const OptionalBox& other) : value_(clone(other)) {}
  OptionalBox(OptionalBox&&) noexcept = default;
  OptionalBox& operator=(const OptionalBox& other) {
    // The copy is made before the old value goes, so assigning a box the
    // box nested inside its own value is safe.
    value_ = clone(other);
    return *this;
  }
  OptionalBox& operator=(OptionalBox&&) noexcept = default;
  ~OptionalBox() = default;

  [[nodiscard]] bool has_value() const noexcept { return value_ != nullptr; }
  explicit operator bool() const noexcept { return has_value(); }
  const T& operator*() const { return *value_; }
  T& operator*() { return *value_; }
  const T* operator->() const { return value_.get(); }
  T* operator->() { return value_.get(); }
  void reset() noexcept { value_.reset(); }

  friend bool operator==(const OptionalBox& a, const OptionalBox& b) {
    if (!a.value_ || !b.value_) return !a.value_ && !b.value_;
    return *a.value_ == *b.value_;
  }

 private:
  static std::unique_ptr<T> clone(const OptionalBox& other) {
    return other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
  }

  std::unique_ptr<T> value_;
};

struct SchemaExpectation {
  std::optional<bool> required;
  std::optional<std::vector<std::string>> types;
  // The JSON-LD checked against the schema.org vocabulary and the rich-result
  // rules (structured_data.hpp), and the rich results it must be eligible
  // for. Written into the contract only when set.
  std::optional<bool> valid = std::nullopt;
  std::optional<std::vector<std::string>> rich_results = std::nullopt;

  friend bool operator==(const SchemaExpectation&,
                         const SchemaExpectation&) = default;
};

struct SectionExpectation {
  std::optional<bool> required;

  friend bool operator==(const SectionExpectation&,
                         const SectionExpectation&) = default;
};

// The extras a page's head must hold: keys such as "icon",
// "verification.google" or "og:image:count>=2", which the checker reads.
struct HeadExpectation {
  std::optional<std::vector<std::string>> required;

  friend bool operator==(const HeadExpectation&,
                         const HeadExpectation&) = default;
};

// Every field is optional; an absent field is not checked and not written.
// Fields are declared in the order in which they are written.
struct SEOExpectation {
  std::optional<bool> required;
  std::optional<bool> forbidden;
  std::optional<std::string> equals;
  std::optional<std::string> not_equals;
  std::optional<std::string> contains;
  std::optional<std::string> matches;
  std::optional<std::vector<std::string>> one_of;
  std::optional<std::uint64_t> min_length;
  std::optional<std::uint64_t> max_length;
  std::optional<std::uint64_t> min_items;
  std::optional<std::uint64_t> max_items;
  std::optional<bool> indexable;
  std::optional<std::string> canonical;
  std::optional<SchemaExpectation> schema;
  std::optional<SectionExpectation> open_graph;
  std::optional<SectionExpectation> twitter;
  std::optional<SectionExpectation> sitemap;
  std::optional<SectionExpectation> hreflang;
  OptionalBox<SEOExpectation> title;
  OptionalBox<SEOExpectation> description;
  std::optional<HeadExpectation> head;

  friend bool operator==(const SEOExpectation&,
                         const SEOExpectation&) = default;
};

// A route pattern such as "/blog/*", stored verbatim, with its expectation.
struct SEOContractRule {
  std::string match;
  SEOExpectation expect;
  std::optional<Severity> severity;

  friend bool operator==(const SEOContractRule&,
                         const SEOContractRule&) = default;
};

// Routes iterate in ascending UTF-8 byte order.
using ExpectationMap = std::map<std::string, SEOExpectation, std::less<>>;

// Builds the per-route exceptions from (route, expectation) pairs; of several
// pairs for the same route the last one given wins.
[[nodiscard]] ExpectationMap build_exception_map(
    std::vector<std::pair<std::string, SEOExpectation>> pairs);

struct SEOContractConfig {
  // Stored verbatim: no check and no normalization.
  std::string canonical_host;
  std::string scheme = "https";
  SEOExpectation defaults;
  std::vector<SEOContractRule> rules;
  ExpectationMap exceptions;
};

// Writes an expectation as a JSON object, present fields only, in declared
// order; "title" and "description" recurse.
void write_expectation(JsonWriter& writer, const SEOExpectation& expectation);
[[nodiscard]] std::string expectation_to_json(const SEOExpectation& expectation,
                                              bool pretty);

// {"match", "expect", "severity" when present as "Error"/"Warning"/"Info"}.
void write_contract_rule(JsonWriter& writer, const SEOContractRule& rule);

class SEOContract {
 public:
  static constexpr std::string_view kContractVersion = "1";
  static constexpr std::string_view kGeneratorName = "zelko";
  static constexpr std::string_view kGeneratorVersion = kVersion;

  explicit SEOContract(SEOContractConfig config) : config_(std::move(config)) {}

  [[nodiscard]] std::string_view contract_version() const noexcept {
    return kContractVersion;
  }
  [[nodiscard]] const std::string& canonical_host() const noexcept {
    return config_.canonical_host;
  }
  [[nodiscard]] const std::string& scheme() const noexcept {
    return config_.scheme;
  }
  [[nodiscard]] const SEOExpectation& defaults() const noexcept {
    return config_.defaults;
  }
  [[nodiscard]] const std::vector<SEOContractRule>& rules() const noexcept {
    return config_.rules;
  }
  [[nodiscard]] const ExpectationMap& exceptions() const noexcept {
    return config_.exceptions;
  }

  // Pretty text in the fixed key order: contract_version, generator, site,
  // defaults, rules, exceptions. No final line break.
  [[nodiscard]] std::string to_json() const;
  // The same members without any whitespace.
  [[nodiscard]] std::string to_json_compact() const;
  // The compact text read back as a key-sorted value; fails only when the
  // nesting exceeds the reader's depth limit.
  [[nodiscard]] Result<JsonValue> to_value() const;
  // SHA-256 of exactly the to_json() text, as 64 lower-case hex digits.
  [[nodiscard]] std::string hash() const;

  // Replaces the file at `path` with the to_json() text. The text goes to a
  // temporary file in the same directory that is flushed to disk and then
  // renamed over `path`, so readers see either the old file or the complete
  // new one. Failures are Serialization errors "failed to write contract: "
  // + the system's description; no temporary file is left behind.
  [[nodiscard]] Status write(const std::string& path) const;

 private:
  void write_json_to(JsonWriter& writer) const;

  SEOContractConfig config_;
};

// Copies the configuration into a contract. Cannot fail.
[[nodiscard]] SEOContract build_seo_contract(const SEOContractConfig& config);

}  // namespace zelko
