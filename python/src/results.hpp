// The payload, result, contract and registry classes: their class
// definitions, the records they own and constructors of new objects.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "binding.hpp"
#include "zelko/contract.hpp"
#include "zelko/jsonld.hpp"
#include "zelko/payload.hpp"
#include "zelko/validation.hpp"

namespace zelko::py {

extern const ClassDef kOGPayloadClass;
extern const ClassDef kSEOContractClass;
extern const ClassDef kSEOContractConfigClass;
extern const ClassDef kSEOContractRuleClass;
extern const ClassDef kSEOExpectationClass;
extern const ClassDef kSEOIssueClass;
extern const ClassDef kSEOPayloadClass;
extern const ClassDef kSchemaRegistryClass;
extern const ClassDef kTwitterPayloadClass;

// A validation finding as Python sees it. The details are kept as compact
// JSON text and read back on every access, so each read is a new object.
struct IssueRecord {
  std::string rule_id;
  zelko::Severity severity = zelko::Severity::Warning;
  std::string message;
  std::optional<std::string> url;
  std::string details_json;
};

// A contract rule as given: the severity stays text until the rule enters
// a contract configuration (the engine rule's own severity is unused here).
struct RuleRecord {
  zelko::SEOContractRule rule;
  std::optional<std::string> severity;
};

// The native registry handle: a map of native schema builders behind its own
// lock. Held through a pointer, since a mutex cannot move with the record.
struct RegistryRecord {
  struct State {
    std::mutex lock;
    zelko::SchemaRegistry builders;
  };
  std::unique_ptr<State> state = std::make_unique<State>();
};

// Record types per class (the Record of NativeObject<Record>):
//   OGPayload -> zelko::OGPayload
//   TwitterPayload -> zelko::TwitterPayload
//   SEOPayload -> zelko::SEOPayload
//   SEOIssue -> IssueRecord
//   SEOExpectation -> zelko::SEOExpectation
//   SEOContractRule -> RuleRecord
//   SEOContractConfig -> zelko::SEOContractConfig
//   SEOContract -> zelko::SEOContract
//   SchemaRegistry -> RegistryRecord

// A new SEOIssue holding the finding (nullptr with the error set).
[[nodiscard]] PyObject* new_issue_object(const zelko::SEOIssue& issue);

}  // namespace zelko::py
